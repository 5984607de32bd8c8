// The working half of the workspace: the unattended command line, the updater run, the
// workspace tree and the batch operations over its nodes.
#include "workspace/QEMWorkspace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridColor.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMStats.h"
#include "translator/QEMTiming.h"
#include "translator/QEMTranslator.h"
#include "translator/QEMTranslatorUpdater.h"
#include "workspace/QEMWorkspaceTmx.h"

namespace {

std::u16string DateTimeText(TDateTime Value) {
  const TQEMDateTimeParts p = DecodeDateTime(Value);
  return Format(u"%d-%.2d-%.2d %.2d:%.2d:%.2d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
}

// The file types in registry order with the files of one project assigned to each.
using TFilesByType = std::vector<std::pair<IQEMFileTypePtr, std::vector<std::u16string>>>;

TFilesByType FilesByType(const TQEMBaseProjectFile& P, const std::u16string& BaseDir,
                         std::vector<std::u16string>* Untyped = nullptr) {
  auto& types = QEMFileTypes();
  TFilesByType r;
  for (int t = 0; t < types.Count(); ++t)
    r.push_back({types.GetQEMFileType(t), {}});
  for (int i = 0; i < P.SourceFiles.Count(); ++i) {
    const std::u16string full = AbsoluteFileName(u"", BaseDir, P.SourceFiles.Get(i));
    const auto type = QEMFileTypeOfProjectFile(full, P.SourceFiles.Get2(i));
    if (!type) {
      if (Untyped) Untyped->push_back(full);
      continue;
    }
    for (auto& [t, files] : r)
      if (t == type) files.push_back(full);
  }
  return r;
}

std::u16string FolderKey(const std::u16string& Dir) {
  return IncludeTrailingPathDelimiter(QEMNormalizePath(Dir));
}

// Two names of one file give the same key: absolute, normalised, and through symbolic links
// as far as the path exists.
std::string PathKey(const std::u16string& Name) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(QEMNativePath(Name), ec);
  if (ec) return QEMNativePath(Name);
  const std::filesystem::path c = std::filesystem::weakly_canonical(p, ec);
  return (ec ? p.lexically_normal() : c).string();
}

// Whether Name is a file the run reads or writes: a project file, a source file, or a
// translated or notes file of one of its languages.
bool IsRunFile(const TQEMBaseProjectFileList& Projects, const std::u16string& DefaultBaseDir,
               const std::u16string& Name) {
  const std::string key = PathKey(Name);
  const auto same = [&](const std::u16string& F) { return !F.empty() && PathKey(F) == key; };
  for (int p = 0; p < Projects.GetCount(); ++p) {
    const TQEMBaseProjectFile& project = *Projects.GetProject(p);
    if (same(project.FileName)) return true;
    const std::u16string baseDir =
        project.FileName.empty() ? DefaultBaseDir : ExtractFilePath(project.FileName);
    std::vector<std::u16string> untyped;
    const auto byType = FilesByType(project, baseDir, &untyped);
    if (std::any_of(untyped.begin(), untyped.end(), same)) return true;
    for (const auto& [type, files] : byType) {
      const auto updater = type->GetUpdater();
      auto* notes = dynamic_cast<TQEMTranslatorUpdater*>(updater.get());
      for (const auto& f : files) {
        if (same(f)) return true;
        for (int l = 0; l < project.GetLangCount(); ++l) {
          const std::u16string xlatDir = AbsoluteFileName(
              u"", baseDir, IncludeTrailingPathDelimiter(project.GetLang(l).XlatPath));
          std::u16string xlat;
          try {
            xlat = QEMXlatFileNameOf(f, xlatDir, baseDir);
          } catch (const std::exception&) {
            continue; // the run refuses that file itself
          }
          if (same(xlat) || (notes && same(notes->GetNotesFileName(xlat)))) return true;
        }
      }
    }
  }
  return false;
}

// The engine takes the repository's name from the options when it starts: restarted under the
// run's name, with the option put back at once, the run reads that file, lazily as ever, and
// the stored option never changes.
void UseRepositoryForRun(const std::u16string& FileName) {
  if (!QEMINTOptionProps) return;
  const std::u16string kept = QEMINTOptionProps->RepositoryFilename;
  QEMNewRepositoryEngineFinalize();
  QEMINTOptionProps->RepositoryFilename = FileName;
  try {
    QEMNewRepositoryEngineInitialize();
  } catch (...) {
    QEMINTOptionProps->RepositoryFilename = kept;
    throw;
  }
  QEMINTOptionProps->RepositoryFilename = kept;
}

// Advances the shared counter and the window, when there is one; false once it was cancelled.
bool AdvanceProgress(int& Counter, IQEMProgress* Progress) {
  ++Counter;
  if (!Progress) return true;
  Progress->SetPosition(Counter);
  return !Progress->Cancelled();
}

// The counts and the quality warnings of a translated file from one reading of its notes: the
// open manager, else a temporary one that the type's own counting finds as well. Even a file
// the run skipped as unchanged is read once for its counts, so the warnings cost no more reads.
void ReadRunFileCounts(const IQEMFileTypePtr& Type, TQEMQualityWarningSet Enabled, TQEMRunFile& F) {
  TQEMTranslatorMgr* mgr = FindMgr(F.File);
  std::unique_ptr<TQEMTranslatorMgr> temporary;
  const auto* base = dynamic_cast<const TQEMBaseFileType*>(Type.get());
  if (!mgr && base && base->Translator()) {
    temporary = base->Translator()->GetMgrClass().Create(F.File, false);
    mgr = temporary.get();
  }
  F.Counts = Type->GetStats(F.File, true);
  if (F.Counts->Translated < 0 || F.Counts->UnTranslated < 0) {
    F.Counts.reset();
    return;
  }
  if (!mgr) return;
  TQEMQualityCheckSettings settings = QEMQualitySettingsFor(mgr->MgrClass());
  settings.Enabled = Enabled;
  F.Warnings = int32_t(QEMItemsQualityWarnings(*mgr->Items(), settings).size());
}

// False with errno set when the text did not reach standard output whole.
bool WriteStdout(const std::string& Text) {
  errno = 0;
  const bool ok = std::fwrite(Text.data(), 1, Text.size(), stdout) == Text.size() &&
                  std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!ok && errno == 0) errno = EIO;
  return ok;
}

} // namespace

// ---- the command line ----

int TQEMWorkspace::ExecuteCmdLine(const std::vector<std::u16string>& Args) {
  // A refused command line runs nothing and writes nothing.
  auto cmdLine = std::make_unique<THlxCommandLine>();
  cmdLine->ParseCmdLine(Args);
  cmdLine->CheckNamedFiles();
  FCmdLine = std::move(cmdLine);
  if (!FCmdLine->RepositoryFileName().empty()) UseRepositoryForRun(FCmdLine->RepositoryFileName());
  if (FCmdLine->Mode() == ecmIntegration)
    FCmdLine->AddLog(Format(SCmdIntegrationHeader, DateTimeText(QEMNow())));
  if (FCmdLine->Mode() == ecmEggInteg)
    FCmdLine->AddLog(Format(SCmdEggHeader, DateTimeText(QEMNow())));
  FPackages.ReportMissing = InBatch();
  // Packages load once the log can take their reports.
  FPackages.LoadFromRegistry();
  // The TMX steps' lines go to the log and, unless the summary is JSON or silenced, on stdout.
  const TQEMTmxReport tmxSummary = [this](const std::u16string& S) {
    FCmdLine->AddLog(S);
    if (!FCmdLine->Quiet() && !FCmdLine->Json() && !FCmdLine->OutputToStdout() &&
        !WriteStdout(UTF16ToUTF8(S) + "\n"))
      ShowHLXError(Format(SHlxCannotWriteStdout, UTF8ToUTF16(std::strerror(errno))));
  };
  const TQEMTmxReport tmxError = [this](const std::u16string& S) { ShowHLXError(S); };
  try {
    const std::u16string& project = FCmdLine->FileName();
    if (!project.empty()) OpenFile(project);
    // The updaters look up what the other tool's memory brings.
    if (!FCmdLine->ImportTmxFileName().empty())
      QEMRunTmxImport(FCmdLine->ImportTmxFileName(), tmxSummary, tmxError);
    switch (FCmdLine->Mode()) {
    case ecmNone:
      if (!FCmdLine->TmxRun() && !FCmdLine->ListWarnings()) return -1;
      break;
    case ecmIntegration:
      ProcessIntegration();
      break;
    case ecmEggInteg:
      ProcessEggIntegration();
      break;
    }
    if (FCmdLine->ListWarnings()) ProcessListWarnings(tmxSummary);
    if (!FCmdLine->ExportTmxFileName().empty())
      QEMRunTmxExport(FCmdLine->ExportTmxFileName(), tmxSummary, tmxError);
  } catch (const std::exception& e) {
    if (!InBatch()) throw;
    ShowHLXError(Format(SCmdException, QEMExceptionMessage(e)));
  }
  if (OnRunEnd) OnRunEnd();
  FCmdLine->WriteLog();
  return FCmdLine->ProcessExitCode();
}

void TQEMWorkspace::BatchPreparation() {
  const THlxCommandLine& c = *FCmdLine;
  if (c.FileName().empty()) return;
  if (!FileExists(c.FileName())) throw EHLXException(Format(SCmdFileNotFound, c.FileName()));
  if (c.LogFileName().empty()) throw EHLXException(std::u16string(SCmdLogMissing));
  if (c.OutputFileName().empty()) throw EHLXException(std::u16string(SCmdOutputMissing));
  // The log is appended to when it is written; only its folder has to exist now. Without a
  // log the run could not report anything: it stops here, loudly.
  const std::u16string logDir = ExtractFilePath(c.LogFileName());
  if (!logDir.empty() && !DirectoryExists(logDir) && !ForceDirectories(logDir))
    throw EHLXException(Format(SCmdCannotCreateLogDir, logDir));
  if (c.OutputToStdout()) return;
  // The statistics would overwrite what the run works on.
  if (c.OutputGiven() && IsRunFile(*FProjects, GetBaseDir(), c.OutputFileName()))
    throw EHLXException(Format(SCmdOutputIsRunFile, c.OutputFileName()));
  const std::u16string out = ExtractFilePath(c.OutputFileName());
  if (!out.empty() && !DirectoryExists(out) && !ForceDirectories(out))
    throw EHLXException(Format(SCmdCannotCreateDir, out));
}

void TQEMWorkspace::ProcessIntegration() {
  BatchPreparation();
  UpdateStatusBar(std::u16string(SCmdAddingFiles));
  UpdateStatusBar(std::u16string(SCmdRunningUpdaters));
  ProjectRunUpdatersExecute(FCmdLine.get());
  WriteOutput();
}

void TQEMWorkspace::ProcessEggIntegration() {
  BatchPreparation();
  BuildTree();
  // Every project of the run is egged, not only the first node.
  for (const auto& node : FTree) {
    if (node->Placeholder) continue;
    FSelected = node.get();
    ProcessListRequest(std::u16string(SEggQuestion), u"", std::u16string(SEggProgress), leEggBuild,
                       nullptr);
  }
  UpdateStatusBar(std::u16string(SCmdAddingFiles));
  UpdateStatusBar(std::u16string(SCmdRunningUpdaters));
  ProjectRunUpdatersExecute(FCmdLine.get());
  WriteOutput();
}

void TQEMWorkspace::ProcessListWarnings(const std::function<void(const std::u16string&)>& Report) {
  BuildTree();
  int32_t count = 0, files = 0;
  for (const auto& node : FTree) {
    if (node->Placeholder) continue;
    FSelected = node.get();
    if (!ListWarnings()) continue;
    for (const TQEMFileWarning& w : FWarnings.Warnings)
      Report(Format(SListWarningsLine, w.File, w.ItemId, QEMQualityWarningName(w.Kind), w.Message));
    count += int32_t(FWarnings.Warnings.size());
    files += FWarnings.Files;
  }
  Report(Format(SListWarningsDone, count, files));
}

TQEMRunReport TQEMWorkspace::RunReport() const {
  TQEMRunReport r = FReport;
  r.Errors = FCmdLine ? FCmdLine->ErrorCount() : 0;
  return r;
}

// The statistics of the run per file, for build servers: JSON on standard output ("-") or when
// the name ends in ".json", else tab-separated text with a header line.
void TQEMWorkspace::WriteOutput() {
  if (!FCmdLine || !FCmdLine->OutputGiven()) return;
  const std::u16string name = FCmdLine->OutputFileName();
  // Counts come from the translated files as the run left them. The report names its types:
  // it outlives the packages that a type belongs to.
  std::unordered_map<std::u16string, IQEMFileTypePtr> types;
  for (const auto& t : QEMFileTypes().Snapshot())
    types.emplace(t->GetName(), t);
  const TQEMQualityWarningSet enabled = QEMEnabledQualityWarnings();
  for (TQEMRunFile& f : FReport.Files) {
    f.Counts.reset();
    f.Warnings.reset();
    const auto type = types.find(f.FileType);
    if (f.Status == TQEMFileStatus::fsFailed || f.File.empty() || type == types.end()) continue;
    try {
      ReadRunFileCounts(type->second, enabled, f);
    } catch (const std::exception&) {
      f.Counts.reset(); // shown as unknown
      f.Warnings.reset();
    }
  }
  const bool toStdout = FCmdLine->OutputToStdout();
  const TQEMRunReport report = RunReport();
  const bool json = toStdout || QEMLowerCase(ExtractFileExt(name)) == u".json";
  const std::string out = json ? QEMRunReportJson(report, true) : QEMRunReportText(report);
  if (toStdout) {
    if (!WriteStdout(out))
      ShowHLXError(Format(SHlxCannotWriteStdout, UTF8ToUTF16(std::strerror(errno))));
    return;
  }
  try {
    QEMSaveFileAtomically(name, out);
  } catch (const std::exception& e) {
    ShowHLXError(Format(SCmdCannotWriteOutput, name, QEMExceptionMessage(e)));
  }
}

// ---- the updater run ----

// One project of an updater run: where its files are, which type takes each, and which of its
// languages may not run.
struct TQEMWorkspace::TRunPlan {
  const TQEMBaseProjectFile* Project = nullptr;
  std::u16string Caption;
  std::u16string BaseDir;
  TFilesByType ByType;
  std::vector<std::u16string> SourceDirs; // folder keys, which no translation folder may be
  std::vector<std::u16string> Refused;    // per language: why nothing is written for it
};

bool TQEMWorkspace::UpdaterCallBack(const std::u16string& Mess, void* Data) {
  bool result = true;
  if (const auto* d = static_cast<const TQEMCallBackData*>(Data)) {
    result = AdvanceProgress(FProgress, d->Progress);
    if (d->Kind == TQEMCallBackKind::ckStatusBar) {
      if (OnProgress)
        OnProgress(FProgress, FProgressTotal, Mess, FRunLocale);
      else
        UpdateStatusBar(Mess);
    }
  }
  QEMUIServices().ProcessMessages();
  return result;
}

TQEMRunFile& TQEMWorkspace::RecordRunFile(const std::u16string& Project, LCID Locale,
                                          const IQEMFileTypePtr& Type, const std::u16string& Source,
                                          const std::u16string& Message) {
  TQEMRunFile& f = FReport.Files.emplace_back();
  f.Project = Project;
  f.Locale = Locale;
  if (Type) f.FileType = Type->GetName();
  f.Source = Source;
  f.Status = Message.empty() ? TQEMFileStatus::fsOk : TQEMFileStatus::fsFailed;
  f.Message = Message;
  return f;
}

// The bullet list: each project, then each of its languages.
void TQEMWorkspace::ShowRunBullets(IQEMProgress& Progress) const {
  for (int p = 0; p < FProjects->GetCount(); ++p) {
    Progress.SetMessage(ProjectCaption(p));
    for (int l = 0; l < FProjects->GetProject(p)->GetLangCount(); ++l)
      Progress.SetMessage(Format(SProcessingLanguage,
                                 LCIDToLangName(FProjects->GetProject(p)->GetLang(l).LocaleID)));
  }
}

std::vector<TQEMWorkspace::TRunPlan> TQEMWorkspace::PlanUpdaterRun() {
  std::vector<TRunPlan> plans;
  FProgress = 0;
  FProgressTotal = 0;
  for (int p = 0; p < FProjects->GetCount(); ++p) {
    const TQEMBaseProjectFile& project = *FProjects->GetProject(p);
    TRunPlan& plan = plans.emplace_back();
    plan.Project = &project;
    plan.Caption = ProjectCaption(p);
    plan.BaseDir = project.FileName.empty() ? GetBaseDir() : ExtractFilePath(project.FileName);
    std::vector<std::u16string> untyped;
    plan.ByType = FilesByType(project, plan.BaseDir, &untyped);
    // A batch must not pass over a file it cannot translate.
    if (InBatch())
      for (const auto& f : untyped) {
        const std::u16string why = Format(SNoTypeForFile, f);
        ShowHLXError(why);
        RecordRunFile(plan.Caption, 0, nullptr, f, why);
      }
    plan.SourceDirs.push_back(FolderKey(plan.BaseDir));
    for (const auto& [type, files] : plan.ByType) {
      FProgressTotal += int(files.size()) * project.GetLangCount();
      for (const auto& f : files)
        plan.SourceDirs.push_back(FolderKey(ExtractFilePath(f)));
    }
  }
  for (TRunPlan& plan : plans)
    plan.Refused = RefuseSharedFolders(plan);
  return plans;
}

// Languages that share a translation folder would overwrite each other's files: refused, all
// of them, before anything is written.
std::vector<std::u16string> TQEMWorkspace::RefuseSharedFolders(const TRunPlan& Plan) {
  const TQEMBaseProjectFile& project = *Plan.Project;
  std::vector<std::u16string> refused(size_t(project.GetLangCount()));
  std::unordered_map<std::u16string, int> first;
  for (int l = 0; l < project.GetLangCount(); ++l) {
    const std::u16string dir = AbsoluteFileName(
        u"", Plan.BaseDir, IncludeTrailingPathDelimiter(project.GetLang(l).XlatPath));
    const auto [at, isNew] = first.emplace(FolderKey(dir), l);
    if (isNew) continue;
    const std::u16string why =
        Format(SXlatDirShared, LCIDToLangName(project.GetLang(at->second).LocaleID),
               LCIDToLangName(project.GetLang(l).LocaleID), dir);
    refused[size_t(at->second)] = refused[size_t(l)] = why;
    ShowHLXError(why);
  }
  return refused;
}

// Every file of a language that is refused is reported as failed.
void TQEMWorkspace::RefuseLanguage(const TRunPlan& Plan, LCID Locale, const std::u16string& Why) {
  for (const auto& [type, files] : Plan.ByType)
    for (const auto& f : files)
      RecordRunFile(Plan.Caption, Locale, type, f, Why);
}

bool TQEMWorkspace::RunLanguageUpdaters(const TRunPlan& Plan, int Lang, TStats& Stats,
                                        TQEMCallBackData& StatusBar) {
  const TQEMLang& lang = Plan.Project->GetLang(Lang);
  if (!Plan.Refused[size_t(Lang)].empty()) {
    RefuseLanguage(Plan, lang.LocaleID, Plan.Refused[size_t(Lang)]);
    return true;
  }
  ++Stats.LangCount;
  FRunLocale = lang.LocaleID;
  const std::u16string xlatDir =
      AbsoluteFileName(u"", Plan.BaseDir, IncludeTrailingPathDelimiter(lang.XlatPath));
  // Translations written into the source folder would replace the sources.
  const auto& sources = Plan.SourceDirs;
  if (std::find(sources.begin(), sources.end(), FolderKey(xlatDir)) != sources.end()) {
    const std::u16string why = Format(SXlatDirIsSource, xlatDir, LCIDToLangName(lang.LocaleID));
    ShowHLXError(why);
    RefuseLanguage(Plan, lang.LocaleID, why);
    return true;
  }
  for (const auto& [type, files] : Plan.ByType) {
    if (files.empty() || !type->GetUpdater()) continue;
    // The updater takes no notice of a cancel, so it is handed one file at a time: a
    // cancelled run stops after the current file, in the order the updater would take.
    std::vector<std::u16string> sorted = files;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& A, const auto& B) { return QEMCompareText(A, B) < 0; });
    for (const auto& f : sorted)
      if (!UpdateOneFile(Plan, lang, type, f, xlatDir, Stats, StatusBar)) return false;
  }
  return true;
}

bool TQEMWorkspace::UpdateOneFile(const TRunPlan& Plan, const TQEMLang& Lang,
                                  const IQEMFileTypePtr& Type, const std::u16string& File,
                                  const std::u16string& XlatDir, TStats& Stats,
                                  TQEMCallBackData& StatusBar) {
  const auto updater = Type->GetUpdater();
  const TCallBackFunc callback = [this](const std::u16string& Mess, void* Data) {
    return UpdaterCallBack(Mess, Data);
  };
  TStringList list;
  list.Add(File);
  const TStats before = Stats;
  const int errorsBefore = FErrorsShown;
  const int32_t processedBefore = Type->GetTranslatorCount();
  const int progressBefore = FProgress;
  try {
    updater->Execute(&list, u"", Plan.Project->FileName, Plan.BaseDir, XlatDir, Stats, false,
                     Plan.Project->BaseLang, Lang.LocaleID, &StatusBar, callback);
  } catch (const std::exception& e) {
    ShowHLXError(QEMExceptionMessage(e));
  }
  // A file that failed before the updater reported it still counts as taken.
  if (FProgress == progressBefore) UpdaterCallBack(File, &StatusBar);
  // An error reported while the file was worked on fails the file.
  TQEMRunFile& r = RecordRunFile(Plan.Caption, Lang.LocaleID, Type, File,
                                 FErrorsShown != errorsBefore ? FLastError : u"");
  if (r.Status == TQEMFileStatus::fsOk && Type->GetTranslatorCount() == processedBefore)
    r.Status = TQEMFileStatus::fsSkippedUnchanged;
  r.Items.NewCount = Stats.NewCount - before.NewCount;
  r.Items.ChangedCount = Stats.ChangedCount - before.ChangedCount;
  r.Items.UnchangedCount = Stats.UnchangedCount - before.UnchangedCount;
  r.Items.UnusedCount = Stats.UnusedCount - before.UnusedCount;
  try {
    r.File = updater->GetXlatFileName(File, XlatDir, Plan.BaseDir, nullptr);
  } catch (const std::exception&) {
    // no translated file to name
  }
  return !StatusBar.Progress || !StatusBar.Progress->Cancelled();
}

bool TQEMWorkspace::ProjectRunUpdatersExecute(const void* Sender) {
  UpdateStatusBar(u"");
  FilesAddedButNotUpdated = false;
  FSelected = nullptr;
  if (!AllFieldsEntered(true)) return false;
  SaveData();
  TStats stats;
  ClearStats(stats);
  FReport = TQEMRunReport{};
  auto progress = QEMUIServices().CreateProgress(u"");
  ShowRunBullets(*progress);
  TStopWatch watch;
  watch.Start();
  const std::vector<TRunPlan> plans = PlanUpdaterRun();
  progress->SetRange(FProgressTotal);
  // The updaters' messages go to the status bar; each file advances the run's window.
  TQEMCallBackData statusBar{TQEMCallBackKind::ckStatusBar, progress.get()};
  bool cancelled = false;
  for (size_t p = 0; p < plans.size() && !cancelled; ++p)
    for (int l = 0; l < plans[p].Project->GetLangCount() && !cancelled; ++l)
      cancelled = !RunLanguageUpdaters(plans[p], l, stats, statusBar);
  FRunLocale = 0;
  watch.Stop(false);
  stats.ProjCount = 1;
  FLastStats = stats;
  FLastElapsed = watch.GetAllTimesStr();
  FReport.Projects = FProjects->GetCount();
  FReport.Languages = stats.LangCount;
  FReport.Items = stats;
  FReport.ElapsedMs = watch.GetTime(-1);
  progress.reset();
  UpdateStatusBar(u"");
  if (!SenderIsCmdLine(Sender)) {
    QEMUIServices().MessageBox(StatsText(stats) + u"\r\n\r\n" + std::u16string(STimeElapsed) +
                               u"\r\n" + FLastElapsed);
  }
  return true;
}

// ---- the workspace tree ----

void TQEMWorkspace::SetOneIcon(TQEMTreeNode& Node) const {
  const bool colors = QEMColorSchemes && QEMColorSchemes->GetUseColors();
  Node.ImageVariant = Node.Info.UnXCount != 0 && colors ? 1 : 0;
  switch (Node.Level) {
  case 1:
    Node.Image = TQEMNodeImage::niGlobe;
    break;
  case 2:
    Node.Image = TQEMNodeImage::niKind;
    break;
  case 3:
    Node.Image = TQEMNodeImage::niFile;
    break;
  default:
    Node.Image = TQEMNodeImage::niNone;
    Node.ImageVariant = 0;
  }
}

void TQEMWorkspace::SetIconAndParents(TQEMTreeNode& Node) const {
  for (TQEMTreeNode* n = &Node; n; n = n->Parent)
    SetOneIcon(*n);
}

int TQEMWorkspace::NodeImageIndex(const TQEMTreeNode& Node) const {
  const int variant = std::clamp(Node.ImageVariant, 0, 2);
  const TQEMBitmap* bitmap = nullptr;
  switch (Node.Image) {
  case TQEMNodeImage::niGlobe:
    bitmap = &QEMFileTypes().GlobeBitmap(variant);
    break;
  case TQEMNodeImage::niKind:
    if (Node.Info.TypeId) bitmap = Node.Info.TypeId->GetKindBitmap(variant);
    break;
  case TQEMNodeImage::niFile:
    if (Node.Info.TypeId) bitmap = Node.Info.TypeId->GetFileBitmap(variant);
    break;
  default:
    break;
  }
  // A tinted variant the list never received falls back to the plain one.
  if ((!bitmap || bitmap->Index < 0) && variant != 0) {
    TQEMTreeNode plain;
    plain.Image = Node.Image;
    plain.Info.TypeId = Node.Info.TypeId;
    return NodeImageIndex(plain);
  }
  return bitmap ? bitmap->Index : -1;
}

void TQEMWorkspace::ClearTree() {
  FSelected = nullptr;
  FNodeView = TQEMNodeView::nvNone;
  FProjectStatus.Clear();
  FExplorerRows.clear();
  FTree.clear();
}

namespace {

// What a tree build carries from file to file.
struct TTreeBuild {
  IQEMProgress& Progress;
  int& Counter; // the shared progress counter
  bool HideEmpty = false;
  bool Cancelled = false;
  std::vector<std::u16string> BadStats;
};

std::u16string XlatPathOf(const IQEMTranslatorUpdaterPtr& Updater, const std::u16string& File,
                          const std::u16string& XlatDir, const std::u16string& BaseDir) {
  try {
    return Updater ? Updater->GetXlatFileName(File, XlatDir, BaseDir, nullptr)
                   : QEMXlatFileNameOf(File, XlatDir, BaseDir);
  } catch (const std::exception&) {
    return QEMXlatFileNameOf(File, XlatDir, BaseDir);
  }
}

// The counts of a translated file; both -1, and the file listed, when they cannot be read.
TNodeInfo FileNodeInfo(const IQEMFileTypePtr& Type, const std::u16string& Path, TTreeBuild& B) {
  TNodeInfo info;
  info.Path = Path;
  info.TypeId = Type;
  try {
    const TFileStats s = Type->GetStats(Path, true);
    info.XCount = s.Translated;
    info.UnXCount = s.UnTranslated;
  } catch (const std::exception&) {
    info.XCount = -1;
  }
  if (info.XCount < 0 || info.UnXCount < 0) {
    info.XCount = info.UnXCount = -1;
    B.BadStats.push_back(Path);
    QEMAssert(Format(SUnableToGetStats, Path), false);
  }
  return info;
}

// The file-type node of one language with a node per file; valid counts add up to the root.
std::unique_ptr<TQEMTreeNode> TypeNode(TQEMTreeNode& Parent, const IQEMFileTypePtr& Type,
                                       const std::vector<std::u16string>& Files,
                                       const std::u16string& XlatDir, const std::u16string& BaseDir,
                                       TTreeBuild& B) {
  auto tnode = std::make_unique<TQEMTreeNode>();
  tnode->Level = 2;
  tnode->Caption = Type->GetDesc();
  tnode->Info.TypeId = Type;
  tnode->Project = Parent.Project;
  tnode->Parent = &Parent;
  const auto updater = Type->GetUpdater();
  for (const auto& f : Files) {
    const std::u16string path = XlatPathOf(updater, f, XlatDir, BaseDir);
    B.Progress.SetPosition(++B.Counter);
    if ((B.Cancelled = B.Progress.Cancelled())) break;
    const TNodeInfo info = FileNodeInfo(Type, path, B);
    if (B.HideEmpty && info.XCount == 0 && info.UnXCount == 0) continue;
    auto fnode = std::make_unique<TQEMTreeNode>();
    fnode->Level = 3;
    fnode->Caption = ChangeFileExt(ExtractFileName(path), u"");
    fnode->Info = info;
    fnode->Project = Parent.Project;
    fnode->Parent = tnode.get();
    if (info.XCount >= 0)
      for (TQEMTreeNode* n = tnode.get(); n; n = n->Parent) {
        n->Info.XCount += info.XCount;
        n->Info.UnXCount += info.UnXCount;
      }
    tnode->Children.push_back(std::move(fnode));
  }
  return tnode;
}

std::unique_ptr<TQEMTreeNode> LanguageNode(TQEMTreeNode& Parent, const TQEMLang& Lang,
                                           const TFilesByType& ByType,
                                           const std::u16string& BaseDir, TTreeBuild& B) {
  auto lnode = std::make_unique<TQEMTreeNode>();
  lnode->Level = 1;
  lnode->Caption = LCIDToLangName(Lang.LocaleID);
  lnode->Locale = Lang.LocaleID;
  lnode->Project = Parent.Project;
  lnode->Parent = &Parent;
  const std::u16string xlatDir =
      AbsoluteFileName(u"", BaseDir, IncludeTrailingPathDelimiter(Lang.XlatPath));
  for (const auto& [type, files] : ByType) {
    if (files.empty() || B.Cancelled) continue;
    auto tnode = TypeNode(*lnode, type, files, xlatDir, BaseDir, B);
    if (!tnode->Children.empty()) lnode->Children.push_back(std::move(tnode));
  }
  return lnode;
}

// Alphabetical at every level, each node with its icon.
void SortTree(const TQEMWorkspace& W, std::vector<std::unique_ptr<TQEMTreeNode>>& Nodes) {
  std::stable_sort(Nodes.begin(), Nodes.end(), [](const auto& A, const auto& B) {
    return QEMCompareText(A->Caption, B->Caption) < 0;
  });
  for (auto& n : Nodes) {
    W.SetOneIcon(*n);
    SortTree(W, n->Children);
  }
}

} // namespace

void TQEMWorkspace::BuildTree() {
  SaveData();
  if (FilesAddedButNotUpdated) ProjectRunUpdatersExecute(FCmdLine.get());
  ClearTree();
  FProgress = 0;
  auto progress = QEMUIServices().CreateProgress(std::u16string(SProcessing));
  int total = 0;
  for (int p = 0; p < FProjects->GetCount(); ++p)
    total +=
        FProjects->GetProject(p)->SourceFiles.Count() * FProjects->GetProject(p)->GetLangCount();
  progress->SetRange(total);
  TTreeBuild build{
      *progress, FProgress, QEMINTOptionProps && QEMINTOptionProps->HideEmptyItems, false, {}};
  for (int p = 0; p < FProjects->GetCount() && !build.Cancelled; ++p) {
    const TQEMBaseProjectFile& project = *FProjects->GetProject(p);
    const std::u16string baseDir =
        project.FileName.empty() ? GetBaseDir() : ExtractFilePath(project.FileName);
    auto pnode = std::make_unique<TQEMTreeNode>();
    pnode->Caption = ProjectCaption(p);
    pnode->Project = p;
    const auto byType = FilesByType(project, baseDir);
    for (int l = 0; l < project.GetLangCount() && !build.Cancelled; ++l)
      pnode->Children.push_back(LanguageNode(*pnode, project.GetLang(l), byType, baseDir, build));
    FTree.push_back(std::move(pnode));
  }
  SortTree(*this, FTree);
  if (std::all_of(FTree.begin(), FTree.end(), [](const auto& n) { return n->FileCount() == 0; })) {
    FTree.clear();
    auto placeholder = std::make_unique<TQEMTreeNode>();
    placeholder->Caption = std::u16string(SNoFilesToDisplay);
    placeholder->Placeholder = true;
    FTree.push_back(std::move(placeholder));
  }
  FSelected = FTree.front().get();
  progress.reset();
  if (build.BadStats.empty()) return;
  const std::u16string file = GetTempDir() + std::u16string(SBadStatsFileName);
  std::u16string list;
  for (const auto& b : build.BadStats)
    list += b + u"\n";
  try {
    QEMSaveFileAtomically(file, UTF16ToUTF8(list));
  } catch (const std::exception&) {
  }
  ShowHLXError(Format(SFileSaved, file, list));
}

// ---- batch operations ----

void TQEMWorkspace::CollectFiles(const TQEMTreeNode& Node, TStringList& List) const {
  if (Node.Level == 3)
    List.Add(Node.Info.Path);
  else
    for (const auto& c : Node.Children)
      CollectFiles(*c, List);
}

bool TQEMWorkspace::ProcessListRequestCallBackFunc(const std::u16string&, void* Data) {
  const auto* window = static_cast<const TQEMCallBackData*>(Data);
  const bool result = AdvanceProgress(FProgress, window ? window->Progress : nullptr);
  QEMUIServices().ProcessMessages();
  return result;
}

void TQEMWorkspace::DispatchListRequest(const TQEMTreeNode& Node, TListEventType EventType,
                                        TQEMListRequestData& Request, const TCallBackFunc& CallBack,
                                        const IQEMProgress& Progress) const {
  if (Progress.Cancelled()) return;
  if (Node.Level >= 2) {
    TStringList files;
    CollectFiles(Node, files);
    if (Node.Info.TypeId && files.Count() > 0)
      Node.Info.TypeId->List(EventType, files, &Request, CallBack);
    return;
  }
  for (const auto& c : Node.Children)
    DispatchListRequest(*c, EventType, Request, CallBack, Progress);
}

bool TQEMWorkspace::ProcessListRequest(const std::u16string& Question,
                                       const std::u16string& DoneMessage,
                                       const std::u16string& ProgressCaption,
                                       TListEventType EventType, const void* Data) {
  if (!CanRunBatch()) return false;
  const TQEMTreeNode& node = *FSelected;
  if (!InBatch() && !Question.empty() && !QEMUIServices().AskYesNo(Question, false)) return false;
  auto progress = QEMUIServices().CreateProgress(ProgressCaption);
  FProgress = 0;
  progress->SetRange(node.FileCount());
  TQEMCallBackData window{TQEMCallBackKind::ckProgress, progress.get()};
  TQEMListRequestData request{&window, Data};
  const TCallBackFunc callback = [this](const std::u16string& Mess, void* CallBackData) {
    return ProcessListRequestCallBackFunc(Mess, CallBackData);
  };
  DispatchListRequest(node, EventType, request, callback, *progress);
  if (progress->Cancelled()) return false;
  progress->Done(DoneMessage.empty() && !InBatch());
  if (!DoneMessage.empty() && !InBatch()) QEMUIServices().MessageBox(DoneMessage);
  return true;
}

bool TQEMWorkspace::Purge() {
  return ProcessListRequest(std::u16string(SPurgeQuestion), u"", std::u16string(SPurgeProgress),
                            lePurge, nullptr);
}

bool TQEMWorkspace::EggBuild() {
  return ProcessListRequest(std::u16string(SEggQuestion), u"", std::u16string(SEggProgress),
                            leEggBuild, nullptr);
}

bool TQEMWorkspace::MakeDictionary() {
  std::u16string file;
  if (!QEMUIServices().ChooseSaveFile(u"", std::u16string(SDictionaryFilter), file)) return false;
  if (ExtractFileExt(file).empty()) file += u".dct";
  return ProcessListRequest(std::u16string(SDictionaryQuestion), u"",
                            std::u16string(SDictionaryProgress), leMakeDictionary, &file);
}

bool TQEMWorkspace::RecreateXlat() {
  return ProcessListRequest(std::u16string(SRecreateQuestion), u"",
                            std::u16string(SRecreateProgress), leRecreateXlat, nullptr);
}

bool TQEMWorkspace::ListWarnings() {
  FWarnings = {};
  FWarnings.Enabled = QEMEnabledQualityWarnings();
  return ProcessListRequest(u"", u"", std::u16string(SListWarningsProgress), leListWarnings,
                            &FWarnings);
}

namespace {
// The repository takes many additions in one transaction and leaves that mode on every exit.
struct TUpdateMode {
  TUpdateMode() { QEMRepositoryBeginUpdate(); }
  ~TUpdateMode() { QEMRepositoryEndUpdate(); }
};
} // namespace

bool TQEMWorkspace::AddToRepository(const TQEMAddToRepositoryData& Data) {
  TUpdateMode mode;
  return ProcessListRequest(std::u16string(SAddToRepQuestion), u"",
                            std::u16string(SAddToRepProgress), leAddToRepository, &Data);
}

bool TQEMWorkspace::GetFromRepository(const TQEMGetFromRepositoryData& Data) {
  return ProcessListRequest(std::u16string(SGetFromRepQuestion), u"",
                            std::u16string(SGetFromRepProgress), leGetFromRepository, &Data);
}

bool TQEMWorkspace::ChangeStatus(const TQEMChangeStatusData& Data) {
  return ProcessListRequest(std::u16string(SChangeStatusQuestion), u"",
                            std::u16string(SChangeStatusProgress), leChangeStatus, &Data);
}

namespace {

using TOptionFlag = bool TQEMINTOptionProps::*;
using TOpts = TQEMINTOptionProps;

// Which option of each of the three dialogs puts a status into its status set; the change and
// get dialogs have no box for unused items.
struct TStatusOption {
  TResStatus Status;
  TOptionFlag Add, Change, Get;
};
constexpr TStatusOption StatusOptions[] = {
    {rsUnTranslated, &TOpts::AddToRepositoryUntranslated, &TOpts::ChangeStatusUntranslated,
     &TOpts::GetFromRepositoryUntranslated},
    {rsTranslated, &TOpts::AddToRepositoryTranslated, &TOpts::ChangeStatusTranslated,
     &TOpts::GetFromRepositoryTranslated},
    // Adding, "Translated" takes the auto-translated items along.
    {rsAutoTranslated, &TOpts::AddToRepositoryTranslated, &TOpts::ChangeStatusAutoTranslated,
     &TOpts::GetFromRepositoryAutoTranslated},
    {rsUnused, &TOpts::AddToRepositoryUnused, nullptr, nullptr},
    {rsNewlyTranslated, &TOpts::AddToRepositoryNewlyTranslated, &TOpts::ChangeStatusNewlyTranslated,
     &TOpts::GetFromRepositoryNewlyTranslated},
    {rsHold, &TOpts::AddToRepositoryHold, &TOpts::ChangeStatusHold, &TOpts::GetFromRepositoryHold},
    {rsDoNotTranslate, &TOpts::AddToRepositoryDoNotTranslate, &TOpts::ChangeStatusDoNotTranslate,
     &TOpts::GetFromRepositoryDoNotTranslate},
};

TResStatuses StatusSet(const TQEMINTOptionProps& O, TOptionFlag TStatusOption::*Dialog) {
  TResStatuses set;
  for (const TStatusOption& row : StatusOptions)
    if (row.*Dialog && O.*(row.*Dialog)) set.Include(row.Status);
  return set;
}

} // namespace

TQEMAddToRepositoryData QEMAddToRepositoryOptions(const std::u16string& CommentString) {
  TQEMAddToRepositoryData d;
  if (!QEMINTOptionProps) return d;
  const auto& o = *QEMINTOptionProps;
  d.Status = StatusSet(o, &TStatusOption::Add);
  d.IncludeContext = o.AddToRepositoryIncludeContext;
  d.ValueType = int32_t(o.AddToRepositoryValue);
  d.Comment = o.AddToRepositoryComment;
  d.CommentAction = o.AddToRepositoryCommentAction;
  d.CommentString = CommentString;
  return d;
}

TQEMGetFromRepositoryData QEMGetFromRepositoryOptions(const std::u16string& CommentString) {
  TQEMGetFromRepositoryData d;
  if (!QEMINTOptionProps) return d;
  const auto& o = *QEMINTOptionProps;
  d.CurrentStatus = StatusSet(o, &TStatusOption::Get);
  d.NewStatus = o.GetFromRepositoryNewStatus;
  d.UseContext = o.GetFromRepositoryUseContext;
  d.Comment = o.GetFromRepositoryComment;
  d.CommentAction = o.GetFromRepositoryCommentAction;
  d.CommentString = CommentString;
  return d;
}

TQEMChangeStatusData QEMChangeStatusOptions(const std::u16string& CommentString) {
  TQEMChangeStatusData d;
  if (!QEMINTOptionProps) return d;
  const auto& o = *QEMINTOptionProps;
  d.CurrentStatus = StatusSet(o, &TStatusOption::Change);
  d.NewStatus = o.ChangeStatusNewStatus;
  d.Revert = o.ChangeStatusRevertToOriginal;
  d.UseRepository = o.ChangeStatusUseRepository;
  d.UseContext = o.ChangeStatusUseContext;
  d.Comment = o.ChangeStatusComment;
  d.CommentAction = o.ChangeStatusCommentAction;
  d.CommentString = CommentString;
  return d;
}
