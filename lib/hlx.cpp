#include "hlx.h"

#include "core/QEMIntlUtils.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "translator/QEMPackages.h"
#include "translator/QEMTranslatorMgr.h"
#include "translator/QEMTranslatorUpdater.h"
#include "workspace/QEMWorkspace.h"

namespace hlx {

std::u16string Result::Description() const {
  if (File.empty() || Message.starts_with(File)) return Message;
  if (Line > 0) return Format(u"%s(%d): %s", File, Line, Message);
  return File + u": " + Message;
}

Result Result::Fail(hlx::Status S, std::u16string Msg, std::u16string AFile, int32_t ALine) {
  Result r;
  r.Status = S;
  r.Message = std::move(Msg);
  r.File = std::move(AFile);
  r.Line = ALine;
  return r;
}

Result Result::FromException(const std::exception& E, const std::u16string& AFile) {
  const bool badFile = dynamic_cast<const EQEMNotesError*>(&E) ||
                       dynamic_cast<const EQEMXMLError*>(&E) ||
                       dynamic_cast<const EQEMProjectError*>(&E);
  Result r = Fail(dynamic_cast<const EHLXException*>(&E) ? hlx::Status::UsageError
                  : badFile                              ? hlx::Status::BadFile
                                                         : hlx::Status::Failed,
                  QEMExceptionMessage(E), AFile);
  // The packages' syntax errors read "File(Line): what".
  const std::u16string& m = r.Message;
  if (AFile.empty() || !m.starts_with(AFile + u"(")) return r;
  int64_t line = 0;
  size_t i = AFile.size() + 1;
  for (; i < m.size() && m[i] >= u'0' && m[i] <= u'9' && line < INT32_MAX; ++i)
    line = line * 10 + (m[i] - u'0');
  const bool digits = i > AFile.size() + 1 && line <= INT32_MAX;
  if (digits && m.substr(i, 3) == u"): ") r.Line = int32_t(line);
  return r;
}

ItemList ItemList::Read(IQEMNotesFile& Notes) {
  ItemList r;
  if (const IQEMNotesStatsPtr stats = Notes.GetStats()) {
    r.FOrigLCID = stats->GetOrigLCID();
    r.FXlatLCID = stats->GetXlatLCID();
  }
  const IQEMNotesItemsPtr items = Notes.GetItems();
  const int n = items ? items->Count() : 0;
  r.FItems.reserve(size_t(n));
  // The spans are set once the history no longer grows.
  std::vector<size_t> firstEntry;
  for (int i = 0; i < n; ++i) {
    const IQEMNotesItemPtr it = items->Get(i);
    firstEntry.push_back(r.FHistory.size());
    // A fresh item holds one empty entry for its first change: no history yet.
    for (int h = 0; h < it->GetPrevCount(); ++h) {
      HistoryEntry e{it->GetPrevOrigText(h), it->GetPrevXlatText(h), it->GetPrevTagName(h),
                     it->GetPrevModified(h)};
      if (!e.Original.empty() || !e.Translation.empty()) r.FHistory.push_back(std::move(e));
    }
    r.FItems.push_back({it->GetID(),
                        it->GetOrigText(),
                        it->GetXlatText(),
                        it->GetStatus(),
                        it->GetComment(),
                        it->GetCreated(),
                        it->GetModified(),
                        {}});
  }
  firstEntry.push_back(r.FHistory.size());
  const std::span<const HistoryEntry> all(r.FHistory);
  for (size_t i = 0; i < r.FItems.size(); ++i)
    r.FItems[i].History = all.subspan(firstEntry[i], firstEntry[i + 1] - firstEntry[i]);
  return r;
}

Result OpenNotes(const std::u16string& TranslatedFile, IQEMNotesFilePtr& Notes) {
  Notes.reset();
  try {
    const IQEMFileTypePtr type = QEMFileTypeOfProjectFile(TranslatedFile, u"");
    const IQEMTranslatorUpdaterPtr updater = type ? type->GetUpdater() : nullptr;
    const auto* custom = dynamic_cast<const TQEMCustomUpdater*>(updater.get());
    if (!custom)
      return Result::Fail(Status::NoFileType, Format(SFacadeNoFileType, TranslatedFile),
                          TranslatedFile);
    const TQEMTranslatorMgrClass& mgr = custom->MgrClass();
    const std::u16string notesName = mgr.FileNameToNoteName(TranslatedFile);
    if (!FileExists(notesName))
      return Result::Fail(Status::FileNotFound, Format(SFacadeNoNotes, TranslatedFile, notesName),
                          notesName);
    auto notes = std::dynamic_pointer_cast<IQEMNotesFile>(mgr.GetNotesClass().Create());
    if (!notes) return Result::Fail(Status::Failed, std::u16string(SMgrNoNotesClass), notesName);
    try {
      notes->Open(notesName);
    } catch (const std::exception& e) {
      return Result::FromException(e, notesName);
    }
    Notes = std::move(notes);
  } catch (const std::exception& e) {
    return Result::FromException(e, TranslatedFile);
  }
  return {};
}

Result ReadItems(const std::u16string& TranslatedFile, ItemList& Items) {
  IQEMNotesFilePtr notes;
  Result r = OpenNotes(TranslatedFile, notes);
  if (!r) return r;
  try {
    Items = ItemList::Read(*notes);
  } catch (const std::exception& e) {
    return Result::FromException(e, notes->GetFileName());
  }
  return r;
}

namespace {

// What can be refused before anything is read or written.
Result CheckOptions(const RunOptions& O, std::vector<LCID>& Languages) {
  for (const std::u16string& tag : O.Languages) {
    LCID locale = 0;
    if (!TryLangTagToLCID(tag, locale) || locale == 0)
      return Result::Fail(Status::UsageError, Format(SRunBadLanguageTag, tag));
    Languages.push_back(locale);
  }
  // Without a project the run goes ahead as hlx -I does, and says what is missing.
  if (!O.Project.empty() && !FileExists(O.Project))
    return Result::Fail(Status::FileNotFound, Format(SFileNotFound, O.Project), O.Project);
  if (!O.Repository.empty() && !FileExists(O.Repository))
    return Result::Fail(Status::FileNotFound, Format(SHlxRepositoryNotFound, O.Repository),
                        O.Repository);
  return {};
}

// The run as hlx's command line asks for it; the project after "--", whatever its name.
std::vector<std::u16string> RunArgs(const RunOptions& O) {
  std::vector<std::u16string> a{O.EggBuild ? u"-E" : u"-I"};
  if (!O.Log.empty()) a.insert(a.end(), {u"--log", O.Log});
  if (!O.Output.empty()) a.insert(a.end(), {u"--output", O.Output});
  if (!O.Repository.empty()) a.insert(a.end(), {u"--repository", O.Repository});
  if (!O.Project.empty()) a.insert(a.end(), {u"--", O.Project});
  return a;
}

void TakeResults(RunReport& Report, const TQEMWorkspace& W) {
  static_cast<TQEMRunReport&>(Report) = W.RunReport();
  Report.Summary.clear();
  if (W.LastStats().ProjCount > 0)
    Report.Summary =
        StatsText(W.LastStats()) + u"\n" + std::u16string(STimeElapsed) + W.LastElapsed();
}

void Connect(TQEMWorkspace& W, const RunOptions& O, RunReport& Report) {
  if (!O.Quiet) {
    W.OnStatus = O.OnStatus;
    W.OnProgress = O.OnProgress;
  }
  W.OnBatchError = [&Report, &O](const std::u16string& S) {
    Report.ErrorMessages.push_back(S);
    if (O.OnError) O.OnError(S);
  };
  W.OnRunEnd = [&W, &O, &Report] {
    TakeResults(Report, W);
    if (!O.OnRunEnd) return;
    if (const std::u16string error = O.OnRunEnd(Report); !error.empty()) W.ShowHLXError(error);
  };
}

} // namespace

RunReport Run(const RunOptions& Options) {
  RunReport report;
  std::vector<LCID> languages;
  report.Outcome = CheckOptions(Options, languages);
  if (!report.Outcome) {
    report.ExitCode = THlxCommandLine::UsageExitCode;
    return report;
  }
  try {
    TQEMWorkspace workspace;
    workspace.RunLanguages = std::move(languages);
    Connect(workspace, Options, report);
    report.ExitCode = workspace.ExecuteCmdLine(RunArgs(Options));
    TakeResults(report, workspace);
  } catch (const std::exception& e) {
    report.Outcome = Result::FromException(e, Options.Project);
    report.ExitCode =
        report.Outcome.Status == Status::UsageError ? THlxCommandLine::UsageExitCode : 1;
    return report;
  }
  if (report.ExitCode != 0) {
    const std::u16string first = report.ErrorMessages.empty() ? u"" : report.ErrorMessages[0];
    report.Outcome = Result::Fail(Status::RunErrors, first, Options.Project);
  }
  return report;
}

} // namespace hlx
