// Export and import of XLIFF 1.2 and PO catalogues over the workspace tree. An import goes
// through the translator window's model, so a translation read is validated, stored and given
// its status exactly as one typed into the window, and saved the same way.
#include <algorithm>
#include <filesystem>

#include "core/QEMIntlUtils.h"
#include "core/QEMUtilsFiles.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "translator/QEMTranslator.h"
#include "workspace/QEMWorkspace.h"

namespace {

// One translated file of the tree.
struct TTarget {
  std::u16string Path;     // the translated file
  std::u16string Original; // below the project's folder
  std::u16string InLang;   // below the language's translation folder
  LCID Locale = 0;
  IQEMFileTypePtr Type;
};

std::u16string Below(const std::u16string& Dir, const std::u16string& Path) {
  const std::u16string dir = IncludeTrailingPathDelimiter(QEMNormalizePath(Dir));
  const std::u16string path = QEMNormalizePath(Path);
  return path.starts_with(dir) ? path.substr(dir.size()) : std::u16string();
}

const TQEMTranslatorMgrClass* MgrClassOf(const IQEMFileTypePtr& Type) {
  auto* base = dynamic_cast<TQEMBaseFileType*>(Type.get());
  return base && base->Translator() ? &base->Translator()->GetMgrClass() : nullptr;
}

// Questions take the answer an unattended run gives; what is shown is kept, so that a refused
// entry can be reported with the message the window would have shown.
class TRecordingServices : public TQEMHeadlessUIServices {
public:
  TRecordingServices() : TQEMHeadlessUIServices([this](const std::u16string& M) { Shown = M; }) {}
  bool AskYesNo(const std::u16string& Msg, bool Default, bool*) override {
    Shown = Msg;
    return Default;
  }
  TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default, bool*) override {
    Shown = Msg;
    return Default;
  }
  bool WarningQuestion(const std::u16string& Msg, bool Default) override {
    Shown = Msg;
    return Default;
  }
  std::u16string Shown; // the last message
};

// A message in one line, as a log line wants it.
std::u16string OneLine(std::u16string S) {
  std::replace(S.begin(), S.end(), u'\n', u' ');
  std::erase(S, u'\r');
  return S;
}

bool Wanted(const TTarget& T, const std::vector<LCID>& Languages,
            const std::vector<std::u16string>& Files) {
  if (!Languages.empty() &&
      std::find(Languages.begin(), Languages.end(), T.Locale) == Languages.end())
    return false;
  if (Files.empty()) return true;
  return std::any_of(Files.begin(), Files.end(), [&](const std::u16string& F) {
    const std::u16string f = QEMSlashes(F);
    return f == ExtractFileName(T.Path) || f == T.Original || f == T.InLang;
  });
}

std::vector<std::u16string> Catalogues(const std::u16string& Path) {
  std::vector<std::u16string> found;
  TQEMExchangeFormat format;
  if (!DirectoryExists(Path)) return {Path};
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(QEMNativePath(Path), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    const std::u16string name = UTF8ToUTF16(it->path().string());
    if (it->is_regular_file(ec) && QEMExchangeFormatOf(name, format)) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

} // namespace

// ---- the translated files of the tree ----

namespace {

struct TTreeWalk {
  const TQEMBaseProjectFileList& Projects;
  std::u16string RootDir;
  std::vector<TTarget>& Out;

  std::u16string BaseDir(int Project) const {
    const TQEMBaseProjectFile* p =
        Project >= 0 && Project < Projects.GetCount() ? Projects.GetProject(Project) : nullptr;
    return !p || p->FileName.empty() ? RootDir : ExtractFilePath(p->FileName);
  }
  std::u16string XlatDir(int Project, LCID Locale) const {
    const TQEMBaseProjectFile* p =
        Project >= 0 && Project < Projects.GetCount() ? Projects.GetProject(Project) : nullptr;
    for (int l = 0; p && l < p->GetLangCount(); ++l)
      if (p->GetLang(l).LocaleID == Locale)
        return AbsoluteFileName(u"", BaseDir(Project),
                                IncludeTrailingPathDelimiter(p->GetLang(l).XlatPath));
    return BaseDir(Project);
  }
  void Walk(const TQEMTreeNode& N, LCID Locale, const IQEMFileTypePtr& Type) {
    if (N.Placeholder) return;
    if (N.Level == 1) Locale = N.Locale;
    if (N.Level != 3) {
      for (const auto& c : N.Children)
        Walk(*c, Locale, N.Level == 2 ? N.Info.TypeId : Type);
      return;
    }
    TTarget t;
    t.Path = N.Info.Path;
    t.Locale = Locale;
    t.Type = N.Info.TypeId ? N.Info.TypeId : Type;
    t.Original = Below(BaseDir(N.Project), t.Path);
    if (t.Original.empty()) t.Original = QEMNormalizePath(t.Path);
    t.InLang = Below(XlatDir(N.Project, Locale), t.Path);
    if (t.InLang.empty()) t.InLang = ExtractFileName(t.Path);
    Out.push_back(std::move(t));
  }
};

} // namespace

// ---- export ----

TQEMExchangeReport TQEMWorkspace::ExportNode(const TQEMTreeNode& Node, const std::u16string& Dir,
                                             TQEMExchangeFormat AFormat,
                                             const std::vector<LCID>& Languages,
                                             const std::vector<std::u16string>& Files) {
  TQEMExchangeReport report;
  std::vector<TTarget> targets;
  // A node below a language takes its language and file type from its parents.
  LCID locale = 0;
  IQEMFileTypePtr type;
  for (const TQEMTreeNode* n = &Node; n; n = n->Parent) {
    if (n->Level == 1 && !locale) locale = n->Locale;
    if (n->Level == 2 && !type) type = n->Info.TypeId;
  }
  TTreeWalk{*FProjects, GetBaseDir(), targets}.Walk(Node, locale, type);
  for (const TTarget& t : targets) {
    if (!Wanted(t, Languages, Files)) continue;
    const std::u16string out = IncludeTrailingPathDelimiter(Dir) + LCIDToLangTag(t.Locale) + u"/" +
                               t.InLang + QEMExchangeExt(AFormat);
    try {
      const TQEMTranslatorMgrClass* cls = MgrClassOf(t.Type);
      if (!cls) throw EQEMError(Format(SExchangeCannotRead, t.Path));
      const auto mgr = cls->Create(t.Path, false);
      const std::string text = QEMExchangeWrite(AFormat, QEMExchangeFileOf(*mgr, t.Original));
      const std::u16string folder = ExtractFilePath(out);
      if (!DirectoryExists(folder) && !ForceDirectories(folder))
        throw EQEMError(Format(SExchangeCannotWrite, out));
      QEMSaveFileAtomically(out, text);
      ++report.Files;
    } catch (const std::exception& E) {
      report.Errors.push_back(OneLine(QEMExceptionMessage(E)));
    }
  }
  return report;
}

// ---- import ----

namespace {

// Applies a planned file through the window model holding it (the user's window, or one of
// our own); returns the number of items changed.
class TImport {
public:
  TImport(const std::u16string& Catalogue, const TTarget& Target, TQEMExchangeReport& Report)
      : FCatalogue(Catalogue), FTarget(Target), FReport(Report) {}
  void Run(const TQEMExchangeFile& File);

private:
  void Error(const std::u16string& Msg) { FReport.Errors.push_back(OneLine(Msg)); }
  TQEMTranslatorFormModel* Open();
  void Apply(TQEMTranslatorFormModel& Model, const TQEMExchangeChange& C, const std::u16string& Id);

  const std::u16string& FCatalogue;
  const TTarget& FTarget;
  TQEMExchangeReport& FReport;
  std::unique_ptr<TQEMTranslatorFormModel> FOwn;
  std::shared_ptr<TRecordingServices> FServices = std::make_shared<TRecordingServices>();
  int FChanged = 0;
  TFilterIdSet FFilters = 0xFF;
  bool FOnlyStrings = false;
};

TQEMTranslatorFormModel* TImport::Open() {
  if (TQEMTranslatorFormModel* holder = TQEMTranslatorFormModel::HolderOf(FTarget.Path)) {
    // The user's unsaved edits are settled first, as before any batch operation.
    if (!holder->BeforeBatch()) return nullptr;
    // Every item needs a row while the import runs; the user's filters come back after it.
    FFilters = holder->Filters();
    FOnlyStrings = holder->ShowOnlyStrings();
    holder->ShowAllFilters();
    holder->SetShowOnlyStrings(false);
    return holder;
  }
  const TQEMTranslatorMgrClass* cls = MgrClassOf(FTarget.Type);
  if (!cls) return nullptr;
  FOwn =
      std::make_unique<TQEMTranslatorFormModel>(*cls, TQEMTranslatorFormModel::SettingsFor(*cls));
  const TQEMUIServicesScope quiet(FServices);
  FOwn->LoadFromFile(FTarget.Path, idColCurr, 0);
  if (!FOwn->Mgr()) {
    Error(FOwn->StatusMessage());
    return nullptr;
  }
  return FOwn.get();
}

void TImport::Apply(TQEMTranslatorFormModel& Model, const TQEMExchangeChange& C,
                    const std::u16string& Id) {
  const int row = Model.RowOfItemIndex(C.Index);
  if (row < 0) return;
  const std::u16string file = ExtractFileName(FTarget.Path);
  bool changed = false;
  FServices->Shown.clear();
  if (C.SetText) {
    const std::u16string before = Model.RowItem(row)->GetXlatText();
    if (!Model.AcceptEdit(row, idColCurr, C.Text))
      Error(Format(SExchangeRefused, FCatalogue, C.Line, Id, file, FServices->Shown));
    else
      changed = Model.RowItem(row)->GetXlatText() != before;
  }
  if (C.SetStatus) {
    bool ok = true;
    if (C.Status == TQEMTranslatorFormModel::EditedStatus()) {
      // Approving: the window's "change to translated" on this row.
      Model.SetSelection({row});
      Model.ChangeToXlat();
      Model.ClearSelection();
    } else {
      ok = Model.ChooseStatus(row, C.Status);
    }
    if (!ok)
      Error(Format(SExchangeStatusRefused, FCatalogue, C.Line, Id, file,
                   QEMStatusToString(C.Status)));
    changed = changed || ok;
  }
  if (C.SetComment) {
    Model.SetCellText(row, idColComment, C.Comment);
    changed = true;
  }
  if (changed) ++FChanged;
}

void TImport::Run(const TQEMExchangeFile& File) {
  TQEMTranslatorFormModel* model = Open();
  if (!model) {
    if (FOwn == nullptr) Error(Format(SExchangeCannotRead, FTarget.Path));
    return;
  }
  const TQEMExchangePlan plan = QEMExchangePlanFor(File, *model->Mgr());
  for (const TQEMExchangeProblem& p : plan.Problems)
    Error(p.Kind == TQEMExchangeProblemKind::epItemGone
              ? Format(SExchangeItemGone, FCatalogue, p.Line, p.Id)
              : Format(SExchangeSourceChanged, FCatalogue, p.Line, p.Id));
  const auto items = model->Mgr()->Items();
  {
    const TQEMUIServicesScope quiet(FServices);
    for (const TQEMExchangeChange& c : plan.Changes)
      Apply(*model, c, items->Get(c.Index)->GetID());
    FServices->Shown.clear();
    if (model->IsDirty() && !model->FileSave())
      Error(Format(SExchangeNotSaved, FTarget.Path, FServices->Shown));
  }
  if (model != FOwn.get()) {
    model->AfterBatch();
    model->SetFilters(FFilters);
    model->SetShowOnlyStrings(FOnlyStrings);
  }
  if (FChanged > 0) {
    ++FReport.Files;
    FReport.Changed += FChanged;
  }
}

const TTarget* FindTarget(const std::vector<TTarget>& Targets, const TQEMExchangeFile& File) {
  LCID locale = 0;
  if (!TryLangTagToLCID(File.TargetLang, locale)) return nullptr;
  const std::u16string original = QEMNormalizePath(QEMSlashes(File.Original));
  for (const TTarget& t : Targets)
    if (t.Locale == locale && (t.Original == original || QEMSameFileName(t.Path, original)))
      return &t;
  return nullptr;
}

} // namespace

TQEMExchangeReport TQEMWorkspace::ImportExchange(const std::u16string& Path) {
  TQEMExchangeReport report;
  std::vector<TTarget> targets;
  TTreeWalk walk{*FProjects, GetBaseDir(), targets};
  for (const auto& n : FTree)
    walk.Walk(*n, 0, nullptr);
  const std::vector<std::u16string> files = Catalogues(Path);
  if (files.empty()) report.Errors.push_back(Format(SExchangeNothingToImport, Path));
  for (const std::u16string& name : files) {
    TQEMExchangeFormat format = TQEMExchangeFormat::efXliff;
    if (!QEMExchangeFormatOf(name, format)) format = TQEMExchangeFormat::efXliff;
    std::string bytes;
    if (!QEMReadFileBytes(name, bytes)) {
      report.Errors.push_back(Format(SExchangeCannotRead, name));
      continue;
    }
    std::vector<TQEMExchangeFile> read;
    try {
      read = QEMExchangeRead(format, name, bytes);
    } catch (const std::exception& E) {
      report.Errors.push_back(OneLine(QEMExceptionMessage(E)));
      continue;
    }
    for (const TQEMExchangeFile& f : read) {
      const TTarget* t = FindTarget(targets, f);
      if (!t)
        report.Errors.push_back(Format(SExchangeNoFile, name, f.Original, f.TargetLang));
      else
        TImport(name, *t, report).Run(f);
    }
  }
  return report;
}

// ---- the command line ----

namespace {

std::u16string RunStamp() {
  const TQEMDateTimeParts p = DecodeDateTime(QEMNow());
  return Format(u"%d-%.2d-%.2d %.2d:%.2d:%.2d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
}

// Languages and files the command line names that the projects do not have are errors of the
// run; the rest is exported.
TQEMExchangeReport RunExport(TQEMWorkspace& W, const THlxCommandLine& C, std::u16string& Summary) {
  TQEMExchangeReport report;
  std::vector<TTarget> targets;
  TTreeWalk walk{W.Projects(), W.GetBaseDir(), targets};
  for (const auto& n : W.Tree())
    walk.Walk(*n, 0, nullptr);
  std::vector<LCID> languages;
  for (const std::u16string& tag : C.ExportLanguages()) {
    LCID locale = 0;
    const auto has = [&](const TTarget& t) { return t.Locale == locale; };
    if (!TryLangTagToLCID(tag, locale) || std::none_of(targets.begin(), targets.end(), has))
      report.Errors.push_back(Format(SExchangeUnknownLanguage, tag));
    else
      languages.push_back(locale);
  }
  // Nothing asked for exists: nothing is exported rather than everything.
  if (languages.empty() && !C.ExportLanguages().empty()) {
    Summary = Format(SExchangeExported, 0, C.ExchangePath());
    return report;
  }
  for (const std::u16string& file : C.ExportFiles())
    if (std::none_of(targets.begin(), targets.end(),
                     [&](const TTarget& t) { return Wanted(t, {}, {file}); }))
      report.Errors.push_back(Format(SExchangeNoSuchFile, file));
  const auto format = C.ExportPO() ? TQEMExchangeFormat::efPO : TQEMExchangeFormat::efXliff;
  for (const auto& node : W.Tree()) {
    if (node->Placeholder) continue;
    TQEMExchangeReport r =
        W.ExportNode(*node, C.ExchangePath(), format, languages, C.ExportFiles());
    report.Files += r.Files;
    report.Errors.insert(report.Errors.end(), r.Errors.begin(), r.Errors.end());
  }
  Summary = Format(SExchangeExported, report.Files, C.ExchangePath());
  return report;
}

} // namespace

int TQEMWorkspace::ExecuteExchange(const std::vector<std::u16string>& Args) {
  // A refused command line runs nothing and writes nothing.
  auto cmdLine = std::make_unique<THlxCommandLine>();
  cmdLine->ParseCmdLine(Args);
  cmdLine->CheckNamedFiles();
  FCmdLine = std::move(cmdLine);
  const THlxCommandLine& c = *FCmdLine;
  FCmdLine->AddLog(Format(SCmdIntegrationHeader, RunStamp()));
  FPackages.ReportMissing = true;
  FPackages.LoadFromRegistry();
  try {
    BatchPreparation();
    OpenFile(c.FileName());
    BuildTree();
    TQEMExchangeReport report;
    if (c.ExchangeRun() == THlxExchangeRun::erExport) {
      report = RunExport(*this, c, FExchangeSummary);
    } else {
      report = ImportExchange(c.ExchangePath());
      FExchangeSummary = Format(SExchangeImported, c.ExchangePath(), report.Changed, report.Files);
    }
    for (const std::u16string& e : report.Errors)
      ShowHLXError(e);
    FCmdLine->AddLog(FExchangeSummary);
  } catch (const std::exception& e) {
    ShowHLXError(Format(SCmdException, QEMExceptionMessage(e)));
  }
  if (OnRunEnd) OnRunEnd();
  FCmdLine->WriteLog();
  return FCmdLine->ProcessExitCode();
}
