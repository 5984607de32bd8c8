#include "translator/QEMTranslatorUpdater.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

std::string ReadBytes(const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) throw EQEMError(Format(SFileNotFound, FileName));
  return bytes;
}

bool SameDate(TDateTime A, TDateTime B) {
  return QEMFloatToStr(A) == QEMFloatToStr(B);
}

// Deletes a file the run wants gone; a failure is an error of the file, not a silent success.
void DeleteOrReport(const std::u16string& FileName) {
  if (FileExists(FileName) && !DeleteFile(FileName))
    ShowError(Format(SUpdaterDeleteFailed, FileName));
}

// Keyed by the absolute, normalised translated path.
std::unordered_map<std::u16string, std::u16string> gProjectSources;

std::u16string SourceKey(const std::u16string& XlatName) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(QEMNativePath(XlatName), ec);
  return QEMNormalizePath(ec ? QEMSlashes(XlatName) : UTF8ToUTF16(abs.string()));
}

} // namespace

std::u16string QEMProjectSourceFile(const std::u16string& XlatName) {
  const auto found = gProjectSources.find(SourceKey(XlatName));
  return found == gProjectSources.end() ? std::u16string() : found->second;
}

void QEMSetProjectSourceFile(const std::u16string& XlatName, const std::u16string& SourceName) {
  gProjectSources[SourceKey(XlatName)] = SourceName;
}

IQEMTranslatorUpdater::~IQEMTranslatorUpdater() = default;
IQEMXlatWriter::~IQEMXlatWriter() = default;

// ---- TQEMTranslatorUpdater ----

TQEMTranslatorUpdater::TQEMTranslatorUpdater() : FFiles(std::make_unique<TStringList>()) {}
TQEMTranslatorUpdater::~TQEMTranslatorUpdater() = default;

void TQEMTranslatorUpdater::AddString(const IQEMNotesItemPtr& Item) {
  if (FMergeList)
    FMergeList->push_back(Item);
  else
    FNewNotesFile->GetItems()->Add(Item);
}

void TQEMTranslatorUpdater::AddUnusedString(const IQEMNotesItemPtr& Item) {
  AddString(Item);
}

void TQEMTranslatorUpdater::NewString(const IQEMNotesItemPtr& Item) {
  Item->SetCreated(QEMNow());
  Item->SetModified(Item->GetCreated());
  if (Item->GetPrevCount() > 0) {
    Item->SetPrevOrigText(0, u"");
    Item->SetPrevXlatText(0, u"");
  }
  Item->SetComment(u"");
  AddString(Item);
}

std::u16string TQEMTranslatorUpdater::GetXlatFileName(const std::u16string& AFileName,
                                                      const std::u16string& AXlatPath,
                                                      const std::u16string& ABaseDir, void*) {
  std::u16string result = ::GetXlatFileName(AFileName, AXlatPath, ABaseDir);
  QEMSetProjectSourceFile(result, AFileName);
  return result;
}

void TQEMTranslatorUpdater::AfterSave(const std::u16string&) {}

int32_t TQEMTranslatorUpdater::GetTranslatorCount(int32_t Count) {
  if (Count != -1) FTranslatorCount = Count;
  return FTranslatorCount;
}

// ---- TQEMCustomUpdater ----

struct TQEMCustomUpdater::TRunArgs {
  std::u16string ProjName, BaseDir, XlatPath;
  TStats* Stats;
  bool Overwrite;
  bool Counted; // the caller gave both languages
  void* Data;
  const TCallBackFunc* CallBack;
};

TQEMCustomUpdater::TQEMCustomUpdater(const TQEMTranslatorMgrClass& AMgrClass)
    : FCurrStrings(std::make_unique<TQEMStringPairList>()), FMgrClass(AMgrClass) {
  FCurrStrings->SetCaseSensitive(true);
}

TQEMCustomUpdater::~TQEMCustomUpdater() = default;

std::u16string TQEMCustomUpdater::_ConvertFromRawString(const std::u16string& S) {
  return FMgrClass.ConvertFromRawString(S);
}
std::u16string TQEMCustomUpdater::_ConvertToRawString(const std::u16string& S) {
  return FMgrClass.ConvertToRawString(S);
}
std::u16string TQEMCustomUpdater::GetNotesFileName(const std::u16string& AFileName) {
  return FMgrClass.FileNameToNoteName(AFileName);
}
bool TQEMCustomUpdater::CanUpdateFromXlat() {
  return true;
}
std::u16string TQEMCustomUpdater::GetString(int Index) {
  return FCurrStrings->Get2(Index);
}
bool TQEMCustomUpdater::IsSeparatedNotes(bool, bool) {
  return true;
}
bool TQEMCustomUpdater::MarkDeletedItemAsUnused() {
  return true;
}
bool TQEMCustomUpdater::GenerateXlat() {
  return true;
}
std::u16string TQEMCustomUpdater::GetDefaultNotesVersion() {
  return QEMDefaultNotesVersion;
}

void TQEMCustomUpdater::LookUpRepository(const IQEMNotesItemPtr& Item, const std::u16string& Orig) {
  if (!QEMINTOptionProps || !QEMINTOptionProps->AutomaticallyQueryRepository) return;
  auto& services = QEMRepositoryServices();
  try {
    services.Init();
  } catch (const EQEMError& e) {
    // The repository reads its file once: a damaged one is reported here, the first time, and
    // the run goes on without look-ups.
    ShowError(e.Message());
    return;
  }
  services.SetOrigLCID(FOrigLCID);
  services.SetXlatLCID(FXlatLCID);
  std::u16string found;
  services.GetTranslation(_ConvertToRawString(Orig), found);
  if (services.FromRepository()) {
    Item->SetXlatText(_ConvertFromRawString(found));
    Item->SetStatus(rsAutoTranslated);
  }
}

void TQEMCustomUpdater::NewString(const IQEMNotesItemPtr& Item) {
  Item->SetID(FCurrStrings->Get(FCurrIndex));
  Item->SetResName(FCurrStrings->GetResName(FCurrIndex));
  const std::u16string text = GetString(FCurrIndex);
  if (FUpdateFromOrig) {
    Item->SetOrigText(text);
    Item->SetXlatText(text);
    Item->SetStatus(rsUnTranslated);
    LookUpRepository(Item, text);
  } else {
    Item->SetOrigText(u"");
    Item->SetXlatText(text);
    Item->SetStatus(TranslatedStatus);
  }
  TQEMTranslatorUpdater::NewString(Item);
}

void TQEMCustomUpdater::UpdateString(const IQEMNotesItemPtr& Item) {
  Item->SetModified(QEMNow());
  if (FUpdateFromOrig) {
    if (Item->GetStatus() != rsUnTranslated) Item->MoveCurrentToHistory(u"");
    Item->SetOrigText(FNewText);
    Item->SetXlatText(FNewText);
    Item->SetStatus(rsUnTranslated);
    LookUpRepository(Item, FNewText);
  } else {
    Item->SetXlatText(FNewText);
    Item->SetStatus(TranslatedStatus);
  }
  AddString(Item);
}

void TQEMCustomUpdater::UnusedString(const IQEMNotesItemPtr& Item) {
  Item->SetModified(QEMNow());
  Item->SetStatus(rsUnused);
  AddUnusedString(Item);
}

// The merge edits a copy, so a failed merge leaves the items as they were. Assign leaves the
// resource name behind; the copy keeps it.
IQEMNotesItemPtr TQEMCustomUpdater::CopyOf(const IQEMNotesItemPtr& Item) {
  auto copy = FNewNotesFile->CreateNotesItem();
  copy->Assign(*Item);
  copy->SetResName(Item->GetResName());
  return copy;
}

// The position in the notes list of the first unmatched item of ID, taken; -1 when none.
int TQEMCustomUpdater::TakeUnmatched(const std::u16string& ID) {
  const auto found = FIndex.find(ID);
  if (found == FIndex.end() || found->second.Next >= found->second.Pos.size()) return -1;
  const int i = found->second.Pos[found->second.Next++];
  FMatched[i] = true;
  --FNotesCount;
  return i;
}

TResAction TQEMCustomUpdater::ActionForString() {
  const std::u16string& id = FCurrStrings->Get(FCurrIndex);
  std::u16string resName = FCurrStrings->GetResName(FCurrIndex);
  FNewText = GetString(FCurrIndex);
  int i = TakeUnmatched(id);
  bool migrated = false;
  if (i < 0) {
    // Notes written before the package keyed the item this way know it by its former id; in
    // the source direction only where that item still holds the same text.
    const std::u16string former = FCurrStrings->GetFormerID(FCurrIndex);
    const auto found = former.empty() ? FIndex.end() : FIndex.find(former);
    if (found == FIndex.end() || found->second.Next >= found->second.Pos.size()) return raNew;
    if (FUpdateFromOrig &&
        FUnmatched[found->second.Pos[found->second.Next]]->GetOrigText() != FNewText)
      return raNew;
    i = TakeUnmatched(former);
    migrated = true;
  }
  const auto& item = FUnmatched[i];
  const std::u16string& current = FUpdateFromOrig ? item->GetOrigText() : item->GetXlatText();
  const bool same = FNewText == current && item->GetStatus() != rsUnused;
  if (resName.empty()) resName = item->GetResName();
  if (same && !migrated && item->GetResName() == resName) {
    FCurrItem = item;
    return raUnchanged;
  }
  FCurrItem = CopyOf(item);
  FCurrItem->SetID(id);
  FCurrItem->SetResName(resName);
  return same ? raUnchanged : raUpdate;
}

bool TQEMCustomUpdater::UpdateFile(TStats& AStats) {
  const auto items = FNewNotesFile->GetItems();
  std::vector<IQEMNotesItemPtr> merged;
  merged.reserve(size_t(items->Count()) + size_t(FCurrStrings->Count()));
  TStats counts = AStats;
  try {
    FUnmatched.clear();
    FIndex.clear();
    for (int i = 0, n = items->Count(); i < n; ++i) {
      FUnmatched.push_back(items->Get(i));
      FIndex[FUnmatched.back()->GetID()].Pos.push_back(i);
    }
    FMatched.assign(FUnmatched.size(), false);
    FNotesCount = int32_t(FUnmatched.size());
    FMergeList = &merged;
    for (FCurrIndex = 0; FCurrIndex < FCurrStrings->Count(); ++FCurrIndex) {
      switch (ActionForString()) {
      case raNew:
        ++counts.NewCount;
        NewString(FNewNotesFile->CreateNotesItem());
        break;
      case raUpdate:
        ++counts.ChangedCount;
        UpdateString(FCurrItem);
        break;
      case raUnchanged:
        ++counts.UnchangedCount;
        AddString(FCurrItem);
        break;
      case raUnused:
        break;
      }
    }
    const bool markUnused = MarkDeletedItemAsUnused();
    for (size_t i = 0; i < FUnmatched.size(); ++i) {
      if (FMatched[i]) continue;
      // The translated file only carries translations: an item it lacks keeps its own.
      if (markUnused && FUpdateFromOrig) {
        ++counts.UnusedCount;
        UnusedString(CopyOf(FUnmatched[i]));
      } else {
        ++counts.UnchangedCount;
        AddString(FUnmatched[i]);
      }
    }
    FNotesCount = 0;
    FMergeList = nullptr;

    const auto stats = FNewNotesFile->GetStats();
    if (stats->GetVersion().empty()) stats->SetVersion(GetDefaultNotesVersion());
    const bool haveSource = !SourceFile().empty() && FileExists(SourceFile());
    if (FUpdateFromOrig && haveSource) stats->SetOrigDateTime(DateOfFile(SourceFile()));
    if (FileExists(FCurrXlatName))
      stats->SetXlatDateTime(DateOfFile(FCurrXlatName));
    else if (FUpdateFromOrig && GenerateXlat() && haveSource)
      stats->SetXlatDateTime(DateOfFile(SourceFile()));
    else
      stats->SetXlatDateTime(0);
    stats->SetOrigLCID(FOrigLCID);
    stats->SetXlatLCID(FXlatLCID);
    if (!SourceFile().empty()) stats->SetOrigFileName(SourceFile());
  } catch (const std::exception& e) {
    FMergeError = QEMExceptionMessage(e);
    FMergeList = nullptr;
    FCurrStrings->Clear();
    FUnmatched.clear();
    FIndex.clear();
    return false;
  }
  // Commit: the list is rebuilt once instead of deleting items one by one.
  items->Clear();
  for (auto& item : merged)
    items->Add(std::move(item));
  FCurrStrings->Clear();
  FUnmatched.clear();
  FIndex.clear();
  FCurrItem.reset();
  AStats = counts;
  FNotesChanged = true;
  return true;
}

bool TQEMCustomUpdater::DataHasChanged(bool FromOrig) {
  const std::u16string& name = FromOrig ? SourceFile() : FCurrXlatName;
  if (name.empty() || !FileExists(name)) return false;
  if (!FNewNotesFile) return true;
  const auto stats = FNewNotesFile->GetStats();
  const TDateTime recorded = FromOrig ? stats->GetOrigDateTime() : stats->GetXlatDateTime();
  return !SameDate(recorded, DateOfFile(name));
}

TFileStats TQEMCustomUpdater::GetStats(const std::u16string& FileName, bool Reload) {
  if (auto* mgr = FindMgr(FileName)) {
    if (Reload) mgr->Reload();
    return mgr->Stats()->GetFileStats();
  }
  const auto mgr = FMgrClass.Create(FileName, false);
  return mgr->Stats()->GetFileStats();
}

void TQEMCustomUpdater::Execute(TStringList* AFiles, const std::u16string& SingleFileName,
                                const std::u16string& AProjName, const std::u16string& ABaseDir,
                                const std::u16string& AXlatPath, TStats& AStats, bool OverwriteMode,
                                LCID AOrigLCID, LCID AXlatLCID, void* Data,
                                const TCallBackFunc& ACallBackFunc) {
  bool counted = true;
  if (AOrigLCID == 0 || AXlatLCID == 0) {
    const TFileStats stats = GetStats(SingleFileName, false);
    if (stats.OrigLCID == 0) return;
    AOrigLCID = stats.OrigLCID;
    AXlatLCID = stats.XlatLCID;
    counted = false;
  }
  FOrigLCID = AOrigLCID;
  FXlatLCID = AXlatLCID;
  FUpdateFromOrig = SingleFileName.empty();
  const TRunArgs args{AProjName,     ABaseDir, AXlatPath, &AStats,
                      OverwriteMode, counted,  Data,      &ACallBackFunc};
  if (FUpdateFromOrig) {
    FFiles->Clear();
    if (AFiles) {
      for (int i = 0; i < AFiles->Count(); ++i)
        FFiles->Add(AFiles->Get(i));
      AFiles->Clear();
    }
    SourceRun(AFiles, args);
  } else {
    FCurrXlatName = SingleFileName;
    TranslationRun(args);
  }
}

// Returns the file to read; Temporary names the converted copy to delete afterwards (empty
// when the file is read where it is).
std::u16string TQEMCustomUpdater::PrepareMapFile(const std::u16string& FileName,
                                                 std::u16string& Temporary) {
  Temporary.clear();
  if (FileExists(FileName)) return FileName;
  const std::u16string alt = ExtractFilePath(FileName) + u"debug/" + ExtractFileName(FileName);
  // A source that is in neither place is an error of the file, never a quiet success.
  if (!FileExists(alt)) throw EQEMError(Format(SFileNotFound, FileName));
  if (QEMUpperCase(ExtractFileExt(alt)) != u".ORC") return alt;
  std::u16string tmp;
  try {
    const uint32_t cp = LCIDToCodePage(FOrigLCID) ? LCIDToCodePage(FOrigLCID) : QEMSystemCodePage();
    const std::string ansi = QEMUTF8ToCodePageOrMarked(ReadBytes(alt), cp);
    tmp = QEMCreateTempFile(u"map", ExtractFileExt(alt));
    QEMSaveFileAtomically(tmp, ansi);
  } catch (const std::exception& e) {
    if (!tmp.empty()) DeleteFile(tmp);
    throw EQEMError(Format(SUpdaterMapFileFailed, alt, QEMExceptionMessage(e)));
  }
  Temporary = tmp;
  return tmp;
}

void TQEMCustomUpdater::SourceRun(TStringList* AFiles, const TRunArgs& Args) {
  if (FFiles->Count() == 0 && !GetProjectFiles(Args.ProjName)) return;
  FWriter = CreateXlatWriter();
  FFiles->SetCaseSensitive(false);
  FFiles->Sort();
  for (int f = 0; f < FFiles->Count(); ++f) {
    const std::u16string file = FFiles->Get(f);
    // Only the copy this pass made may be deleted, whatever failed on the way.
    std::u16string temporary;
    try {
      FCurrName.clear();
      FCurrName = PrepareMapFile(file, temporary);
      FCurrSourceName = !temporary.empty()
                            ? ExtractFilePath(file) + u"debug/" + ExtractFileName(file)
                            : FCurrName;
      FCurrXlatName = GetXlatFileName(file, Args.XlatPath, Args.BaseDir, nullptr);
      FCurrNotesName = GetNotesFileName(FCurrXlatName);
      // A run killed earlier may have left its temporary files here; they go before any work.
      QEMRemoveLeftoverTempFilesOnce(ExtractFilePath(FCurrXlatName));
      QEMRemoveLeftoverTempFilesOnce(ExtractFilePath(FCurrNotesName));
      if (AFiles) AFiles->Add(FCurrXlatName);
      ProcessFile(AFiles, Args);
    } catch (const std::exception& e) {
      FInExecute = false;
      FUpdateFromOrig = true;
      ShowError(Format(SUpdaterFileFailed, file, QEMExceptionMessage(e)));
    }
    if (!temporary.empty() && !DeleteFile(temporary))
      ShowError(Format(SUpdaterDeleteFailed, temporary));
  }
  FWriter.reset();
  FCurrSourceName.clear();
}

void TQEMCustomUpdater::TranslationRun(const TRunArgs& Args) {
  if (!CanUpdateFromXlat())
    QEMAssert(std::u16string(SUpdateFromTransNotAllowed) + FCurrXlatName + u"\"", false);
  FCurrNotesName = GetNotesFileName(FCurrXlatName);
  if (!FileExists(FCurrXlatName)) throw EQEMError(Format(SFileNotFound, FCurrXlatName));
  if (!FInExecute) {
    // A run of its own: no source file is being processed.
    FCurrName.clear();
    FCurrSourceName.clear();
  }
  ProcessFile(nullptr, Args);
}

void TQEMCustomUpdater::ProcessFile(TStringList* AFiles, const TRunArgs& Args) {
  if (Args.Overwrite) {
    DeleteOrReport(FCurrXlatName);
    DeleteOrReport(FCurrNotesName);
  }
  TQEMTranslatorMgr* mgr = nullptr;
  if (!FInExecute) {
    mgr = FindMgr(FCurrXlatName);
    if (mgr)
      FNewNotesFile = mgr->NotesFile();
    else {
      FNewNotesFile = std::dynamic_pointer_cast<IQEMNotesFile>(FMgrClass.GetNotesClass().Create());
      if (!FNewNotesFile) throw EQEMError(std::u16string(SMgrNoNotesClass));
      if (FileExists(FCurrNotesName)) FNewNotesFile->Open(FCurrNotesName);
    }
  }
  if (!FUpdateFromOrig) {
    if (!FInExecute) FNotesChanged = false;
    if (ReadFileStrings(FCurrXlatName) && !UpdateFile(*Args.Stats)) throw EQEMError(FMergeError);
    if (!FInExecute) {
      if (FNotesChanged) FNewNotesFile->SaveAs(FCurrNotesName);
      if (Args.Counted) ++FTranslatorCount;
    }
    return;
  }
  ProcessSourceFile(AFiles, Args, mgr);
}

// Copies the source to the translated file and lets the writer translate it. Both happen on a
// temporary file beside the target, renamed into place at the end: a failure leaves the
// previous translated file, never an untranslated copy that a later run would import.
void TQEMCustomUpdater::WriteXlat(const std::u16string& Target, const IQEMXlatWriterPtr& Writer,
                                  bool FromObject) {
  // A translated file reached through a link is replaced where the link points.
  std::u16string target = Target;
  std::error_code ec;
  if (std::filesystem::is_symlink(QEMNativePath(Target), ec)) {
    const auto resolved = std::filesystem::weakly_canonical(QEMNativePath(Target), ec);
    if (!ec) target = UTF8ToUTF16(resolved.string());
  }
  std::u16string tmp;
  try {
    tmp = QEMCreateSiblingTempFile(target);
    timespec mtime{};
    const bool haveTime = QEMGetFileTime(SourceFile(), mtime);
    QEMSaveFileAtomically(tmp, ReadBytes(FCurrName), haveTime ? &mtime : nullptr);
    if (Writer) {
      if (FromObject)
        Writer->WriteFromNotes(*FNewNotesFile, tmp, FXlatLCID, 0);
      else
        Writer->WriteFromNotesFileName(FCurrNotesName, tmp, FXlatLCID, 0);
    }
    // Named by the cause alone: the message below names the file, and the temporary name
    // means nothing to the user.
    if (std::rename(QEMNativePath(tmp).c_str(), QEMNativePath(target).c_str()) != 0)
      throw EQEMError(UTF8ToUTF16(std::strerror(errno)));
  } catch (const std::exception& e) {
    if (!tmp.empty()) DeleteFile(tmp);
    // The user knows the file by its own name, not by the temporary one.
    // Writers may name the temporary by its path or by its bare name.
    std::u16string why = QEMExceptionMessage(e);
    if (!tmp.empty()) {
      why = QEMStringReplace(why, tmp, Target, true);
      why = QEMStringReplace(why, ExtractFileName(tmp), ExtractFileName(Target), true);
    }
    throw EQEMError(Format(SUpdaterCopyFailed, Target, why));
  }
}

void TQEMCustomUpdater::NestedTranslationRun(const TRunArgs& Args) {
  if (!CanUpdateFromXlat()) return;
  const std::u16string xlat = FCurrXlatName, notes = FCurrNotesName;
  struct TRestore {
    TQEMCustomUpdater& U;
    const std::u16string &X, &N;
    ~TRestore() {
      U.FInExecute = false;
      U.FCurrXlatName = X;
      U.FCurrNotesName = N;
      U.FUpdateFromOrig = true;
    }
  } restore{*this, xlat, notes};
  TStats scratch;
  FInExecute = true;
  Execute(nullptr, xlat, Args.ProjName, Args.BaseDir, Args.XlatPath, scratch, false, FOrigLCID,
          FXlatLCID, nullptr, {});
}

void TQEMCustomUpdater::ProcessSourceFile(TStringList* AFiles, const TRunArgs& Args,
                                          TQEMTranslatorMgr*) {
  FNotesChanged = false;
  bool notesExist = FileExists(FCurrNotesName);
  const bool xlatExists = FileExists(FCurrXlatName);
  bool separated = IsSeparatedNotes(notesExist, xlatExists);
  if (!separated && xlatExists && FNewNotesFile->GetStats()->GetVersion().empty()) {
    FNewNotesFile->Open(FCurrXlatName);
    FNewNotesFile->SaveAsNewVersion(FCurrNotesName, u"9.0");
    notesExist = separated = true;
  }
  bool xlatChanged = separated && DataHasChanged(false);
  if (xlatChanged && notesExist) {
    NestedTranslationRun(Args);
    xlatChanged = false;
  }
  if (Args.CallBack && *Args.CallBack) (*Args.CallBack)(SourceFile(), Args.Data);

  if (!DataHasChanged(true)) {
    if (GenerateXlat() && separated && !xlatExists && FileExists(FCurrName)) {
      WriteXlat(FCurrXlatName, FWriter, false);
      const auto stats = FNewNotesFile->GetStats();
      const TDateTime date = DateOfFile(FCurrXlatName);
      if (!SameDate(stats->GetXlatDateTime(), date)) {
        stats->SetXlatDateTime(date);
        FNotesChanged = true;
      }
    }
  } else if (!ReadFileStrings(FCurrName)) {
    if (AFiles && AFiles->Count() > 0) AFiles->Delete(AFiles->Count() - 1);
    FNotesChanged = false;
  } else {
    // A merge that failed must not pass as done: the file is reported and nothing written.
    if (!UpdateFile(*Args.Stats)) {
      if (AFiles && AFiles->Count() > 0) AFiles->Delete(AFiles->Count() - 1);
      throw EQEMError(FMergeError);
    }
    if (!separated && !xlatExists)
      WriteXlat(FCurrXlatName, nullptr, false);
    else if (GenerateXlat() && (notesExist || !xlatExists)) {
      WriteXlat(FCurrXlatName, FWriter, true);
      const auto stats = FNewNotesFile->GetStats();
      // The recorded date and the file's must agree, or the next run would take the fresh
      // file for one a translator edited.
      if (xlatExists)
        QEMSetFileDate(FCurrXlatName, stats->GetXlatDateTime());
      else
        stats->SetXlatDateTime(DateOfFile(FCurrXlatName));
    }
    if (xlatChanged) NestedTranslationRun(Args);
    if (Args.Counted) ++FTranslatorCount;
  }

  // Where the source is, the project says; a notes file naming another path is corrected.
  if (separated && (FNotesChanged || FileExists(FCurrNotesName)) && !SourceFile().empty()) {
    const auto stats = FNewNotesFile->GetStats();
    if (stats->GetOrigFileName() != SourceFile()) {
      stats->SetOrigFileName(SourceFile());
      FNotesChanged = true;
    }
  }
  std::u16string backup;
  if (FNotesChanged && !separated) {
    backup = QEMMakeBackupFileName(FCurrNotesName);
    DeleteOrReport(backup);
    if (FileExists(FCurrNotesName) &&
        std::rename(QEMNativePath(FCurrNotesName).c_str(), QEMNativePath(backup).c_str()))
      ShowError(Format(SUpdaterRenameFailed, FCurrNotesName, backup));
    WriteXlat(FCurrNotesName, nullptr, false);
  }
  if (FNotesChanged) FNewNotesFile->SaveAs(FCurrNotesName);
  if (!backup.empty()) DeleteOrReport(backup);
}
