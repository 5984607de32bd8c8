#pragma once
// The translator window without its widgets: the rows and columns of one translated file, the
// cell reads and edits with their status rules and validation, dirty tracking, saving and
// closing, the actions, filters and repository commands, and the status-bar texts and cell
// colours a view paints. A view (a table model over this) and the tests drive it directly.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/QEMTypes.h"
#include "editing/QEMConcordance.h"
#include "editing/QEMSearchForm.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMFuzzyIndex.h"
#include "settings/QEMGridColor.h"
#include "settings/QEMGridFont.h"
#include "toolkit/QEMQualityChecks.h"
#include "toolkit/QEMSpellCheck.h"
#include "translator/QEMTranslator.h"

// The plug-in's choices for checking an edited translation.
struct TQEMTranslatorFormSettings {
  bool CheckFormatSpecifiers = false;
  bool CheckEscapes = false;
  char16_t QuoteChar = 0; // 0: no literal checks
};

inline constexpr int QEMGridColumnCount = 10;
using TQEMColumnOrder = std::array<TQEMAllColId, QEMGridColumnCount>;

// The status-bar panels, left to right.
enum TQEMStatusPanel : uint8_t { spPosition, spTranslated, spUntranslated, spItemId, spFileName };
inline constexpr int QEMStatusPanelCount = 5;

// How a view paints one cell. Without colours the view keeps its own palette.
struct TQEMCellStyle {
  bool UseColors = false;
  TColor Background = 0;
  TColor Foreground = 0;
  const TQEMFont* Font = nullptr; // null while the grid fonts do not exist
};

// What a view subscribes to; every hook may stay empty.
struct TQEMTranslatorFormEvents {
  std::function<void()> RowsReset; // a new file, a filter pass: rows re-read from scratch
  std::function<void(int Row)> RowChanged;
  std::function<void()> ColumnsChanged; // order, visibility or captions
  std::function<void()> StatusTextChanged;
  std::function<void(int Row, TQEMAllColId Col)> CurrentCellChanged;
  std::function<void(bool Visible)> GridVisibleChanged;
  std::function<void()> WindowChanged; // shown, hidden, dock panel
  std::function<void()> StyleChanged;  // grid fonts changed
};

// A workspace node's counts move from the old pair to the new one when the window lets go of
// its file.
using TQEMCountsChangedEvent =
    std::function<void(const std::u16string& FileName, int32_t OldTranslated,
                       int32_t OldUntranslated, int32_t NewTranslated, int32_t NewUntranslated)>;

// A quality warning or a misspelt word of an item of the open file.
struct TQEMItemWarning {
  int ItemIndex = -1;
  int Row = -1; // -1 when the filters hide the item
  TQEMQualityIssue Issue;
};
struct TQEMItemMisspelling {
  int ItemIndex = -1;
  int Row = -1;
  TQEMTextRange Range; // in the translation
};

class QEM_API TQEMTranslatorFormModel : public TQEMTranslatorForm {
public:
  TQEMTranslatorFormModel(const TQEMTranslatorMgrClass& AMgrClass,
                          TQEMTranslatorFormSettings ASettings = {});
  // The checks a package's literals call for, when the package does not say: literals that
  // come back quoted from the manager class take the quote checks and the format-specifier
  // comparison, double-quoted (C) ones the escape check as well; raw text takes none.
  static TQEMTranslatorFormSettings SettingsFor(const TQEMTranslatorMgrClass& AMgrClass);
  const TQEMTranslatorFormSettings& Settings() const { return FSettings; }
  ~TQEMTranslatorFormModel() override;
  TQEMTranslatorFormModel(const TQEMTranslatorFormModel&) = delete;
  TQEMTranslatorFormModel& operator=(const TQEMTranslatorFormModel&) = delete;

  // TQEMTranslatorForm
  // False keeps the window open: Cancel, or a save that failed.
  bool CanQuit(bool IsAppEnding) override;
  void ChangeSize() override {}
  void HideDockPanel() override;
  // ACol is a column identifier, AMgrIndex an item index of the manager.
  void LoadFromFile(const std::u16string& AFileName, int32_t ACol, int32_t AMgrIndex) override;
  void Search() override;
  void ShowDockPanel() override;
  void EditFile(const std::u16string& AFileName) override;
  void Idle(void* Sender, bool& Done) override;
  void SetVisible(bool Value) override;

  // The file.
  const std::u16string& FileName() const { return FFileName; }
  TQEMTranslatorMgr* Mgr() const { return FMgr.get(); }
  TDateTime FileDate() const { return FFileDate; }
  bool GridVisible() const { return FGridVisible; }
  bool Visible() const { return FVisible; }
  bool DockPanelVisible() const { return FDockPanelVisible; }
  bool IsDirty() const { return !FDirtyList.empty(); }
  bool CanSave() const { return FMgr && IsDirty(); }
  // Item indexes of the rows whose text differs from the file's, ascending.
  std::vector<int> DirtyItems() const { return {FDirtyList.begin(), FDirtyList.end()}; }
  // False after showing the error; the edits and the dirty state stay.
  bool FileSave();
  // Reloads the file, dropping every edit.
  void EditReset();
  bool ForceQuit() const { return FForceQuit; }
  void SetForceQuit(bool Value) { FForceQuit = Value; }
  // Re-reads rows and counts after the items changed behind the window's back.
  void Refresh();

  // Columns. A grid column is a position among the shown columns, in display order.
  const TQEMColumnOrder& ColIds() const { return FColIds; }
  // False (and nothing changes) unless Value names each of the ten columns once.
  bool SetColIds(const TQEMColumnOrder& Value);
  void MoveColumn(int FromCol, int ToCol);
  int ColumnCount() const { return int(FShownCols.size()); }
  int ColToEnum(int Col) const;         // -1 outside the shown columns
  int EnumToCol(TQEMAllColId Id) const; // -1 when hidden
  bool ColumnVisible(TQEMAllColId Id) const { return FColVisible.Contains(Id); }
  void SetColumnVisible(TQEMAllColId Id, bool Value);
  void ShowAllColumns();
  void ShowNoColumns();
  void ToggleColumns();
  std::u16string ColumnCaption(TQEMAllColId Id) const;
  static TLCIDType ColumnLCIDType(TQEMAllColId Id);
  const TQEMFont* ColumnFont(TQEMAllColId Id) const;

  // Rows: the visible items in file order.
  int RowCount() const { return int(FRows.size()); }
  const std::vector<int>& Rows() const { return FRows; }
  int ItemIndexOfRow(int Row) const { return FRows.at(size_t(Row)); }
  int RowOfItemIndex(int Index) const; // -1 when filtered out
  // The 1-based line a search reports for an item, -1 when it is filtered out.
  int DisplayLineOfItem(int Index) const;
  IQEMNotesItemPtr RowItem(int Row) const;

  // Cells.
  std::u16string CellText(int Row, TQEMAllColId Col) const;
  // The grid's set event: no validation, no questions. Raises EQEMError for a date or status
  // name that cannot be read.
  void SetCellText(int Row, TQEMAllColId Col, const std::u16string& Text);
  // The in-place editor's accept: validates a translation, stores it and re-evaluates the
  // status; a status name goes through ChooseStatus. False when refused (after the message).
  bool AcceptEdit(int Row, TQEMAllColId Col, const std::u16string& Text);
  bool CellEditable(int Row, TQEMAllColId Col) const;
  TQEMCellStyle CellStyle(int Row, TQEMAllColId Col) const;

  // The status drop-down. Both raise EQEMError for a row whose status cannot be read.
  bool StatusHasLookupValues(int Row) const;
  std::vector<std::u16string> StatusLookupValues(int Row) const;
  static std::vector<TResStatus> LookupStatuses(TResStatus Current);
  // A chosen drop-down entry: may ask whether to revert the translation. False when refused.
  bool ChooseStatus(int Row, TResStatus Status);
  // What an entered translation makes of an item's status.
  static TResStatus EditedStatus() { return TranslatedStatus; }

  // Current cell and selection (rows; an empty selection means the current row).
  int CurrentRow() const { return FCurrentRow; }
  TQEMAllColId CurrentCol() const { return FCurrentCol; }
  int CurrentItemIndex() const { return FCurrentRow < 0 ? -1 : FRows[size_t(FCurrentRow)]; }
  void SetCurrentCell(int Row, TQEMAllColId Col);
  // Moves to an item's row; false (and no move) when the item is filtered out.
  bool GotoItem(int Index, TQEMAllColId Col);
  void SetSelection(const std::vector<int>& Rows);
  void SelectRange(int FirstRow, int LastRow);
  void SelectAll();
  void ClearSelection();
  bool RowSelected(int Row) const;
  std::vector<int> SelectedRows() const;
  const std::vector<int>& SelectedItemIndexes() const { return FSelection; }

  // Actions on the selected rows, else the current row.
  void CopyOrig();
  void CopyPrevXlat();
  void CopyPrevLine();
  void ChangeToXlat();
  void ChangeStatusOfSelection(TResStatus Status);
  // The next untranslated row after the current one becomes current; true when one was found.
  bool FindNext();

  // Filters: one per status, and the string-items filter.
  bool Filter(FilterIds Id) const { return (FFilters >> Id) & 1u; }
  TFilterIdSet Filters() const { return FFilters; }
  void SetFilter(FilterIds Id, bool Value);
  void SetFilters(TFilterIdSet Value);
  void ShowAllFilters() { SetFilters(0xFF); }
  void ShowNoFilters() { SetFilters(0); }
  void ToggleFilters() { SetFilters(TFilterIdSet(~FFilters)); }
  bool ShowOnlyStrings() const { return FShowOnlyStrings; }
  void SetShowOnlyStrings(bool Value);
  int32_t TranslatedCount() const { return FTranslated; }
  int32_t UntranslatedCount() const { return FUntranslated; }
  // The file's header with the window's current counts.
  TFileStats FileStats() const;

  // Repository menu.
  void RepositoryAddStringsToRep();
  void RepositoryGetStringsFromRep();

  // Status bar.
  std::u16string StatusPanel(TQEMStatusPanel Panel) const;
  // The last message for the status bar ("Loading: ...", repository counts); may be empty.
  const std::u16string& StatusMessage() const { return FStatusMessage; }

  // Runs Change on the item of Index with what every change needs: the modification time
  // (unless Stamp is off), the dirty state, the counts and the view. Change returns whether it
  // changed anything. For plug-in windows that change items themselves.
  bool EditItem(int Index, const std::function<bool(IQEMNotesItem&)>& Change, bool Stamp = true);

  // What committing Text into the cell would stop at: the first error or question the entry
  // validation would show, without showing it or storing anything. Empty when the text would
  // be taken as it is. For a hint while the user types.
  std::u16string CheckEntry(int Row, TQEMAllColId Col, const std::u16string& Text) const;

  // Translator aids: advice only, never a reason to refuse an edit or a save.
  // How this file's texts are checked: the package's quoting, the kinds the options enable.
  TQEMQualityCheckSettings QualitySettings() const;
  std::vector<TQEMQualityIssue> Warnings(int Row) const;
  // The warnings of every item of the file in file order, hidden rows included.
  std::vector<TQEMItemWarning> FileWarnings() const;
  // The checker of the file's target language, made on first use; disabled (finding nothing)
  // when no file is open or no dictionary is installed.
  TQEMSpellChecker& SpellChecker();
  // The misspelt words of the file's translated items in file order.
  std::vector<TQEMItemMisspelling> FileMisspellings();
  // The repository's closest originals to the row's original with their translations in the
  // file's target language, as the item's literal syntax writes them; differences are marked
  // in the repository's raw text. Empty when the repository cannot be read.
  std::vector<TQEMFuzzyMatch> Suggestions(int Row) const;
  // Types the suggestion's translation into the row's translation cell (see AcceptEdit).
  bool AcceptSuggestion(int Row, const TQEMFuzzyMatch& Match);
  // Repository records holding Phrase in the file's original or target language.
  std::vector<TQEMConcordanceHit> Concordance(std::u16string_view Phrase,
                                              const TQEMConcordanceOptions& Options = {}) const;

  // A batch operation or updater run may change the open file through this window's manager.
  // Before it, a dirty window is saved or reverted (asked as on close; false when the user
  // cancels or the save fails: the run must not start). After it, the rows are read again:
  // from disk when the run wrote the file, else from the manager's items.
  bool BeforeBatch();
  void AfterBatch();

  // The live window holding FileName, null when none: a file is open in one window only.
  static TQEMTranslatorFormModel* HolderOf(const std::u16string& FileName);
  // A load asked for a file another window holds: that window moved to the item instead, and
  // this one kept its own file.
  std::function<void(TQEMTranslatorFormModel& Holder)> OnOpenElsewhere;

  TQEMTranslatorFormEvents Events;
  TQEMCountsChangedEvent OnCountsChanged;
  // Find in this file with the dialog's Find page over the rows the filters show; the lines
  // name the columns by this window's captions. The number of matches, -1 when the
  // selected-rows scope has no rows selected.
  int32_t Find(const TfrmQEMSearchForm& Form, TfrmQEMSearchResults& Results);

  // Search hooks: the search runs over this window; a new file clears its results.
  std::function<void()> OnSearch;
  std::function<void()> OnClearSearchResults;

private:
  // What a row holds, kept per item on its first change since load or save, so that opening a
  // large file copies nothing.
  struct TItemSnapshot {
    std::u16string Id, Orig, Xlat, PrevOrig, PrevXlat, Comment;
    TResStatus Status = rsUnTranslated;
    TDateTime Created = 0, Modified = 0, StoredModified = 0;
  };
  struct TOrigEntry {
    TItemSnapshot Data;
    bool ModifiedSet = false; // the user set the modification time itself
  };
  enum class TCloseAnswer { caClean, caSaved, caDiscarded, caKeep };

  void DoLoad(const std::u16string& AFileName, int32_t ACol, int32_t AMgrIndex);
  void DropFile();
  TCloseAnswer QuerySave();
  void ReportCounts();
  void FileDates(const std::u16string& Name, TDateTime& Xlat, TDateTime& Notes) const;
  void MoveToItem(int32_t Index, int32_t Col);
  void RecheckDirty(int Index);

  IQEMNotesItemPtr ItemAt(int Index) const;
  static TItemSnapshot Snapshot(const IQEMNotesItem& Item);
  bool ApplyStatus(int Row, TResStatus Status, bool Quiet, bool& Cancelled);
  TQEMAnswer AskRevert();
  void CountStatus(TResStatus Status, int Delta);
  std::vector<int> TargetRows() const;
  void CheckRowStatus(int Row, TResStatus Status) const;

  bool RowPasses(int Index, TResStatus Status);
  // Filters the rows; Only >= 0 re-filters just the rows of that status.
  void FilterPass(int Only = -1);
  void RowsChanged(int KeepItem);
  void RebuildColumns();
  void FontsChanged(TQEMGridFonts& Sender);
  void SetGridVisible(bool Value);
  void SetStatusMessage(std::u16string Value);

  template <class F, class... A> static void Fire(const F& Hook, A&&... Args) {
    if (Hook) Hook(std::forward<A>(Args)...);
  }

  const TQEMTranslatorMgrClass& FMgrClass;
  TQEMTranslatorFormSettings FSettings;
  std::unique_ptr<TQEMTranslatorMgr> FMgr;
  std::u16string FFileName;
  TDateTime FFileDate = 0;
  TDateTime FNotesDate = 0;
  TFileStats FFileStats;
  bool FForceQuit = false;
  bool FInSaveToFile = false;
  bool FModalDlgFlag = false;
  bool FGridVisible = false;
  bool FVisible = false;
  bool FDockPanelVisible = false;
  std::u16string FStatusMessage;

  std::unordered_map<int, TOrigEntry> FOrigList; // by item index
  std::set<int> FDirtyList;                      // item indexes

  TQEMColumnOrder FColIds;
  TQEMColIds FColVisible;
  std::vector<TQEMAllColId> FShownCols;
  std::array<int, QEMGridColumnCount> FColOfId{};

  std::vector<int> FRows;      // item index per row
  std::vector<int> FRowOfItem; // row per item index, -1 when filtered out
  std::vector<int> FSelection; // item indexes, ascending
  int FCurrentRow = -1;
  TQEMAllColId FCurrentCol = idColCurr;

  TFilterIdSet FFilters = 0xFF;
  bool FShowOnlyStrings = false;
  int32_t FTranslated = 0, FUntranslated = 0;
  // The counts of the file on disk, and those the workspace was last told.
  int32_t FSavedTranslated = 0, FSavedUntranslated = 0;
  int32_t FReportedTranslated = 0, FReportedUntranslated = 0;

  std::unique_ptr<TQEMSpellChecker> FSpeller;
  LCID FSpellerLCID = 0;
};

// Re-reads the stored answer of the revert question ("RevertToOrig", "RevertToOrig_DontAskAgain"
// below the base key); windows read it on first use.
QEM_API void QEMTranslatorFormLoadSettings();
// Drops what was read, so that the first window or question after a start reads it afresh.
QEM_API void QEMTranslatorFormForgetSettings();
