#pragma once
// The per-file object through which the editor window, the batch operations and the search
// reach the items of one translated file and its notes file. Packages derive their managers
// from TQEMTranslatorMgr and describe them to the host through a TQEMTranslatorMgrClass.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "notes/QEMNotes.h"
#include "platform/QEMClasses.h"
#include "translator/QEMTranslatorCommon.h"

class TQEMTranslatorMgr;
class TQEMCollationTable;
struct TQEMSearchState;

// Finds a pattern in texts the way the search compares: the pattern is compared, under the
// rules of Locale, with the text's substring of the pattern's length at every position
// (ignoring case unless CaseSensitive), and with WholeWordsOnly a match must also be a whole
// word. Gives exactly what that comparison at every position gives, without paying for it at
// positions whose first collation weight already differs. An empty pattern finds nothing.
class QEM_API TQEMSearchMatcher {
public:
  TQEMSearchMatcher(std::u16string_view Pattern, LCID Locale, bool CaseSensitive,
                    bool WholeWordsOnly);
  // Appends the 0-based positions of the matches in Text, in ascending order.
  void FindAll(std::u16string_view Text, std::vector<int32_t>& Positions) const;

private:
  enum class TVerdict { vNo, vYes, vAsk };
  TVerdict CompareKeys(std::u16string_view Text, size_t P) const;
  bool Same(std::u16string_view Window) const;

  std::u16string FPattern;
  bool FWholeWords;
  TQEMCollationTable* FTable;
  uint16_t FFirstPrimary = 0; // 0: every position takes the full comparison
  bool FKeysExact = false;    // FKeys decide for windows of plain code units
  std::vector<uint32_t> FKeys;
};

// The search state of one manager.
class QEM_API TQEMSearchSettings {
public:
  std::u16string Name;
  std::u16string Pattern;
  LCID PatternLCID = 0;
  TQEMAllColId CurrCol = idColIndex;
  int32_t CurrLine = 0;
  std::vector<int32_t> Lines;
  TQEMAllColIds Columns;
  bool CaseSensitive = false;
  bool IgnorePickLetters = false;
  bool WholeWordsOnly = false;
  LCID OrigLCID = 0;
  LCID XlatLCID = 0;
};

// What the host knows of a package's manager before any file is open: how to open one, its
// notes class, its literal syntax and where its notes live. Packages keep one static instance.
class QEM_API TQEMTranslatorMgrClass {
public:
  virtual ~TQEMTranslatorMgrClass();
  // Opens the translated file and its notes file.
  virtual std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string& AFileName,
                                                    bool PerformCheck) const = 0;
  virtual const TQEMBaseNotesFileClass& GetNotesClass() const = 0;
  // Item texts are kept in the file's literal syntax; the repository stores raw text.
  virtual std::u16string ConvertFromRawString(const std::u16string& S) const { return S; }
  virtual std::u16string ConvertToRawString(const std::u16string& S) const { return S; }
  virtual std::u16string FileNameToNoteName(const std::u16string& AFileName) const {
    return AFileName;
  }
};

class QEM_API TQEMTranslatorMgr : public TObject {
public:
  // Creates the notes object from the class's notes class and registers the manager.
  explicit TQEMTranslatorMgr(const TQEMTranslatorMgrClass& AClass);
  ~TQEMTranslatorMgr() override;
  TQEMTranslatorMgr(const TQEMTranslatorMgr&) = delete;
  TQEMTranslatorMgr& operator=(const TQEMTranslatorMgr&) = delete;

  // Slots in order.
  // Re-reads the translated file and its notes from disk.
  virtual void Reload() = 0;
  virtual int32_t GetItemCount(TResStatuses Statuses);
  virtual void AddItemToRepository(int Index);
  virtual void CheckStats() = 0;
  virtual void EggBuild() = 0;
  virtual std::u16string GetItemFromRepository(int Index);
  virtual bool IsLineVisible(int Index);
  virtual bool IsStorable(int Index);
  virtual bool IsStringType(int Index);
  virtual void MakeDictionary(TStringList& SL) = 0;
  virtual void Purge() = 0;
  virtual void RecreateXlat();
  virtual void Save(bool CreateXlat, LCID AOrigLCID, LCID AXlatLCID, bool IgnoreOrigDateOfFile) = 0;
  virtual std::u16string ConvertFromRawString(const std::u16string& S);
  virtual std::u16string ConvertToRawString(const std::u16string& S);
  virtual std::u16string FileNameToNoteName(const std::u16string& AFileName);
  virtual const TQEMBaseNotesFileClass& GetNotesClass();

  void AddToRepository(const TQEMAddToRepositoryData& Data);
  void GetFromRepository(const TQEMGetFromRepositoryData& Data);
  void ChangeStatus(const TQEMChangeStatusData& Data);
  void CalcStats(int32_t& Translated, int32_t& Untranslated);
  void ReCalcStats(int32_t& Translated, int32_t& Untranslated);

  int Count() { return Items()->Count(); }
  IQEMNotesItemsPtr Items() { return FNotesFile->GetItems(); }
  IQEMNotesStatsPtr Stats() { return FNotesFile->GetStats(); }
  const IQEMNotesFilePtr& NotesFile() const { return FNotesFile; }
  const TQEMTranslatorMgrClass& MgrClass() const { return FClass; }
  const std::u16string& FileName() const { return FFileName; }
  const std::u16string& OrigFileName() const { return FOrigFileName; }
  TQEMSearchSettings& SearchSettings() { return *FSearchSettings; }
  int32_t SearchCount() const { return FSearchCount; }

  // Prepares the comparison of each column in its language (original and previous original
  // under OrigLCID, translation and previous translation under XlatLCID, the rest under the
  // user's default language) for the current search settings. Search calls it itself.
  void InitSearchLocale();
  // Searches the items with the search settings: the listed Lines (line number -1) or every
  // item shown, numbered from 1; reports each match through OnSearchFound (position 1-based,
  // name = the settings' Name, else the file name) between OnSearchStart and OnSearchEnd.
  // Returns the number of matches, also kept as SearchCount.
  int32_t Search();

  TSearchStartEvent OnSearchStart;
  TSearchFoundEvent OnSearchFound;
  TSearchEndEvent OnSearchEnd;
  // Narrows the items a search without Lines visits to the rows a window shows (its filter);
  // empty: every item IsLineVisible accepts.
  std::function<bool(int Index)> SearchLineVisible;

protected:
  IQEMNotesFilePtr FNotesFile;
  int32_t FSearchCount = 0;
  std::unique_ptr<TQEMSearchSettings> FSearchSettings;
  std::u16string FFileName;
  std::u16string FOrigFileName;

private:
  std::unique_ptr<TQEMSearchState> FSearchState;
  void InitRepositoryServices();
  void WithContext(bool UseContext, int Index, const std::function<void()>& Body);
  bool ApplyComment(IQEMNotesItem& Item, bool Comment, bool CommentAction,
                    const std::u16string& CommentString);
  const TQEMTranslatorMgrClass& FClass;
};

// The live managers in creation order.
QEM_API const std::vector<TQEMTranslatorMgr*>& QEMTranslatorMgrs();
// The manager serving FileName whose notes file still exists, or null.
QEM_API TQEMTranslatorMgr* FindMgr(const std::u16string& FileName);
// The text an item shows in a grid column, as the window shows it and the search matches it:
// dates as date-time text, the previous values from the newest history entry, the status by its
// display name. The row-number column and the non-grid identifiers have no text here.
QEM_API std::u16string QEMItemColumnText(const IQEMNotesItem& Item, TQEMAllColId Col);
// Ordinal of a status display text, ignoring case; -1 when none matches.
QEM_API int32_t StrToStatusOrd(const std::u16string& S);
