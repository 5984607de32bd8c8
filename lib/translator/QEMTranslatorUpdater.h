#pragma once
// Brings the translation side of a project up to date with its source side: reads each source
// file's strings, merges them into the file's notes item by item (keeping previous values in
// the history, marking vanished items Unused) and recreates the translated copy. In the other
// direction it carries edits made in a translated file back into the notes.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMUtils.h"
#include "notes/QEMNotes.h"
#include "platform/QEMClasses.h"

class TQEMTranslatorMgrClass;

enum TResAction : uint8_t { raNew, raUpdate, raUnchanged, raUnused };

class QEM_API IQEMTranslatorUpdater {
public:
  virtual ~IQEMTranslatorUpdater();
  virtual void AfterSave(const std::u16string& AFileName) = 0;
  // AFiles (may be null): the source files of the run; on return the translated files done.
  // SingleFileName non-empty: update the notes of that translated file from it.
  virtual void Execute(TStringList* AFiles, const std::u16string& SingleFileName,
                       const std::u16string& AProjName, const std::u16string& ABaseDir,
                       const std::u16string& AXlatPath, TStats& AStats, bool OverwriteMode,
                       LCID AOrigLCID, LCID AXlatLCID, void* Data,
                       const TCallBackFunc& ACallBackFunc) = 0;
  virtual std::u16string GetXlatFileName(const std::u16string& AFileName,
                                         const std::u16string& AXlatPath,
                                         const std::u16string& ABaseDir, void* AObject) = 0;
  // Stores Count unless it is -1; returns the number of files processed.
  virtual int32_t GetTranslatorCount(int32_t Count) = 0;
};
using IQEMTranslatorUpdaterPtr = std::shared_ptr<IQEMTranslatorUpdater>;

// A package's writer of translated files. Both operations rewrite XlatName, a copy of the
// source file, with the translations of the notes; Reserved is always 0.
class QEM_API IQEMXlatWriter {
public:
  virtual ~IQEMXlatWriter();
  virtual void WriteFromNotesFileName(const std::u16string& NotesName,
                                      const std::u16string& XlatName, LCID XlatLCID,
                                      int32_t Reserved) = 0;
  virtual void WriteFromNotes(IQEMNotesFile& Notes, const std::u16string& XlatName, LCID XlatLCID,
                              int32_t Reserved) = 0;
};
using IQEMXlatWriterPtr = std::shared_ptr<IQEMXlatWriter>;

// Optional for a writer: it makes the translated file from the source as the updater that
// created it read and merged it in this run, so the source is neither copied nor read again.
class QEM_API IQEMXlatSourceWriter {
public:
  virtual ~IQEMXlatSourceWriter();
  // The bytes of the translated file XlatName (named in messages) of SourceName with the
  // translations of Notes, the notes just merged from that reading; false when the writer kept
  // no such reading (the source is then copied and rewritten through IQEMXlatWriter).
  virtual bool TranslateSource(IQEMNotesFile& Notes, const std::u16string& SourceName,
                               const std::u16string& XlatName, LCID XlatLCID,
                               std::string& Bytes) = 0;
  // The run is done with the file: what was kept of it goes.
  virtual void Forget() = 0;
};

// The source file a project names for a translated file, as this process last resolved it (the
// workspace tree and the updater runs both map sources through GetXlatFileName); empty when no
// project of this process named it. A notes file's record of its source is only a record: a
// notes file travels and may name any path, a project copied elsewhere names the new folder.
QEM_API std::u16string QEMProjectSourceFile(const std::u16string& XlatName);
QEM_API void QEMSetProjectSourceFile(const std::u16string& XlatName,
                                     const std::u16string& SourceName);

// The state of one file's update. A run makes one for each file it processes and the nested
// run over the translated file makes its own, so neither can see or spoil the other's state,
// whatever a package or a callback runs in between.
struct QEM_API TQEMUpdateContext {
  TQEMUpdateContext(LCID AOrigLCID, LCID AXlatLCID, bool AUpdateFromOrig);

  std::u16string CurrName;   // the source read, possibly a temporary copy of a map file
  std::u16string SourceName; // the source itself: CurrName or the map file behind its copy
  std::u16string CurrNotesName;
  std::u16string CurrXlatName;
  IQEMNotesFilePtr NewNotesFile;
  bool NotesChanged = false;
  std::u16string NewText;
  LCID OrigLCID = 0;
  LCID XlatLCID = 0;
  bool UpdateFromOrig = true;
  bool InExecute = false; // the nested run over the translated file
  // The source's size and time, taken before the package read it (see DataHasChanged).
  std::u16string OrigStamp;

  // Merge state: the strings read, the string being matched and, per identifier, the positions
  // of unmatched items in the notes list (in list order), so each lookup is constant time.
  TQEMStringPairList Strings;
  IQEMNotesItemPtr CurrItem;
  int32_t NotesCount = 0;
  int CurrIndex = 0;
  std::u16string MergeError; // why the last merge failed
  // Items appended by AddString/AddUnusedString during a merge; the notes list takes them when
  // the merge succeeds. Null outside a merge.
  std::vector<IQEMNotesItemPtr>* MergeList = nullptr;
  std::vector<IQEMNotesItemPtr> Unmatched;
  std::vector<bool> Matched;
  struct TPositions {
    std::vector<int> Pos;
    size_t Next = 0; // the first position not matched yet
  };
  std::unordered_map<std::u16string, TPositions> Index;

  // What this pass already looked at, so that one look at a file serves every later check.
  int8_t NotesSeen = -1; // whether the notes file was there when opened; -1 not looked at
  struct TSourceLook {
    bool Known = false;
    timespec Time{};
    int64_t Size = -1;
  } SourceLook; // the source, a regular file, as PrepareMapFile saw it
};

class QEM_API TQEMTranslatorUpdater : public IQEMTranslatorUpdater {
public:
  TQEMTranslatorUpdater();
  ~TQEMTranslatorUpdater() override;

  // Slots in order.
  virtual std::u16string _ConvertFromRawString(const std::u16string& S) = 0;
  virtual std::u16string _ConvertToRawString(const std::u16string& S) = 0;
  virtual void AddString(const IQEMNotesItemPtr& Item);
  virtual void AddUnusedString(const IQEMNotesItemPtr& Item);
  virtual bool ReadFileStrings(const std::u16string& FileName) = 0;
  virtual std::u16string GetNotesFileName(const std::u16string& AFileName) = 0;
  virtual void NewString(const IQEMNotesItemPtr& Item);
  virtual bool UpdateFile(TStats& AStats) = 0;
  std::u16string GetXlatFileName(const std::u16string& AFileName, const std::u16string& AXlatPath,
                                 const std::u16string& ABaseDir, void* AObject) override;
  void AfterSave(const std::u16string& AFileName) override;

  int32_t GetTranslatorCount(int32_t Count) override;

  // The file being processed; outside a run an empty state in the source direction.
  const std::u16string& CurrName() const { return FCtx->CurrName; }
  const std::u16string& CurrNotesName() const { return FCtx->CurrNotesName; }
  const std::u16string& CurrXlatName() const { return FCtx->CurrXlatName; }
  const IQEMNotesFilePtr& NewNotesFile() const { return FCtx->NewNotesFile; }
  bool NotesChanged() const { return FCtx->NotesChanged; }
  const std::u16string& NewText() const { return FCtx->NewText; }
  LCID OrigLCID() const { return FCtx->OrigLCID; }
  LCID XlatLCID() const { return FCtx->XlatLCID; }
  bool UpdateFromOrig() const { return FCtx->UpdateFromOrig; }
  bool InExecute() const { return FCtx->InExecute; }

protected:
  // Makes a context the current one for as long as the scope lives.
  class TContextScope {
  public:
    TContextScope(TQEMTranslatorUpdater& U, TQEMUpdateContext& C) : FU(U), FPrev(U.FCtx) {
      U.FCtx = &C;
    }
    ~TContextScope() { FU.FCtx = FPrev; }
    TContextScope(const TContextScope&) = delete;
    TContextScope& operator=(const TContextScope&) = delete;

  private:
    TQEMTranslatorUpdater& FU;
    TQEMUpdateContext* FPrev;
  };
  TQEMUpdateContext& Ctx() const { return *FCtx; }

  // FCurrStrings reads as it always did and reaches the strings of the file being processed.
  class TCurrStrings {
  public:
    explicit TCurrStrings(const TQEMTranslatorUpdater& U) : FU(U) {}
    TQEMStringPairList* operator->() const { return &FU.FCtx->Strings; }
    TQEMStringPairList& operator*() const { return FU.FCtx->Strings; }

  private:
    const TQEMTranslatorUpdater& FU;
  };

  std::unique_ptr<TStringList> FFiles;
  int32_t FTranslatorCount = 0;

private:
  TQEMUpdateContext FIdle{0, 0, true};
  TQEMUpdateContext* FCtx = &FIdle;
};

class QEM_API TQEMCustomUpdater : public TQEMTranslatorUpdater {
public:
  explicit TQEMCustomUpdater(const TQEMTranslatorMgrClass& AMgrClass);
  ~TQEMCustomUpdater() override;

  std::u16string _ConvertFromRawString(const std::u16string& S) override;
  std::u16string _ConvertToRawString(const std::u16string& S) override;
  bool ReadFileStrings(const std::u16string& FileName) override = 0;
  std::u16string GetNotesFileName(const std::u16string& AFileName) override;
  void NewString(const IQEMNotesItemPtr& Item) override;
  bool UpdateFile(TStats& AStats) override;
  void Execute(TStringList* AFiles, const std::u16string& SingleFileName,
               const std::u16string& AProjName, const std::u16string& ABaseDir,
               const std::u16string& AXlatPath, TStats& AStats, bool OverwriteMode, LCID AOrigLCID,
               LCID AXlatLCID, void* Data, const TCallBackFunc& ACallBackFunc) override;

  // Further slots in order.
  virtual TResAction ActionForString();
  virtual bool CanUpdateFromXlat();
  virtual IQEMXlatWriterPtr CreateXlatWriter() = 0;
  virtual bool GetProjectFiles(const std::u16string& AProjName) = 0;
  virtual std::u16string GetString(int Index);
  virtual bool IsSeparatedNotes(bool NotesExists, bool XlatExists);
  virtual bool MarkDeletedItemAsUnused();
  virtual bool GenerateXlat();
  virtual std::u16string GetDefaultNotesVersion();

  // Whether the source (FromOrig) or the translated file changed since the notes recorded it.
  // Dates count in whole even seconds; an equal date is checked against the size and exact
  // time recorded, and, where those were taken too close to an edit to tell, the content.
  bool DataHasChanged(bool FromOrig);
  void UpdateString(const IQEMNotesItemPtr& Item);
  void UnusedString(const IQEMNotesItemPtr& Item);
  TFileStats GetStats(const std::u16string& FileName, bool Reload);
  const TQEMTranslatorMgrClass& MgrClass() const { return FMgrClass; }
  const IQEMNotesItemPtr& CurrItem() const { return Ctx().CurrItem; }
  int32_t NotesCount() const { return Ctx().NotesCount; }

protected:
  TCurrStrings FCurrStrings{*this};
  const TQEMTranslatorMgrClass& FMgrClass;

private:
  struct TRunArgs;
  void SourceRun(TStringList* AFiles, TRunArgs& Args);
  void SourceFileRun(TStringList* AFiles, const std::u16string& File, const TRunArgs& Args);
  void TranslationRun(const std::u16string& FileName, const TRunArgs& Args);
  void ProcessFile(TStringList* AFiles, const TRunArgs& Args);
  void ProcessSourceFile(TStringList* AFiles, const TRunArgs& Args);
  struct TSourceState {
    bool NotesExist, XlatExists, Separated, XlatChanged;
  };
  void MergeSource(TStringList* AFiles, const TRunArgs& Args, const TSourceState& S);
  void SaveNotes(bool Separated);
  void NestedTranslationRun(const TRunArgs& Args);
  void WriteXlat(const std::u16string& Target, const IQEMXlatWriterPtr& Writer, bool FromObject);
  // The source file actually read: FCurrName, or the map file behind its temporary copy.
  const std::u16string& SourceFile() const {
    return Ctx().SourceName.empty() ? Ctx().CurrName : Ctx().SourceName;
  }
  void LookUpRepository(const IQEMNotesItemPtr& Item, const std::u16string& Orig);
  IQEMNotesItemPtr CopyOf(const IQEMNotesItemPtr& Item);
  int TakeUnmatched(const std::u16string& ID);
  void IndexNotes(const IQEMNotesItemsPtr& Items);
  void MergeStrings(TStats& Counts);
  void RecordDates();
  std::u16string PrepareMapFile(const std::u16string& FileName, std::u16string& Temporary);
};
