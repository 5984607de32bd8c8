#pragma once
// The repository browser without its drawing: one row per record in the order of the sort
// language's index, one column per language. Rows are read through the engine's per-language
// indexes, so a sort copies nothing and a million records stay interactive.
//
// Rows and columns are 0-based data coordinates (the view adds its header row). Columns follow
// the repository's language list, hidden ones included. Questions, messages and file choosers
// go through QEMUIServices().
//
// Find walks the visible columns row by row from the current cell; hidden columns are not
// searched, because the found cell becomes current and must be one the user can see. A new
// Find looks at the current cell first, Find Next starts after it. The walk stops at the last
// (or, backward, the first) cell unless the options ask it to wrap.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMGridFont.h"

enum class TQEMSortDirection { sdAscending, sdDescending };

struct TQEMRpsColDef {
  std::u16string LangTag;
  LCID Lang = 0;          // 0 when the tag names no known locale
  std::u16string Caption; // the language's name, or the tag when it has none
  TQEMFont Font;
  bool Visible = true;
};

struct TQEMRepositoryFindOptions {
  std::u16string Text;
  bool CaseSensitive = false;
  bool WholeWords = false;
  bool Forward = true;
  bool Wrap = false;
};

// The window's persisted options.
struct TQEMRepositoryFrameOptions {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool TextLabels = true;
  bool LangToolBarExpanded = true;
  bool FormattedXML = false;
};

// The history lists the browser keeps in the options.
inline constexpr std::u16string_view QEMRepositoryFileHistory = u"hlRepositoryFilename";
inline constexpr std::u16string_view QEMRepositoryFindHistory = u"hlRepositorySearchText";

class QEM_API TQEMRepositoryFrame {
public:
  // Over the process-wide repository (read now if it was not yet) when Repository is null.
  // The frame is the repository's notifier while it lives: one browser per repository.
  explicit TQEMRepositoryFrame(std::shared_ptr<IQEMRepository> Repository = nullptr);
  ~TQEMRepositoryFrame();
  TQEMRepositoryFrame(const TQEMRepositoryFrame&) = delete;
  TQEMRepositoryFrame& operator=(const TQEMRepositoryFrame&) = delete;

  IQEMRepository& Repository() const { return *FRepo; }

  // Columns.
  int ColCount() const { return int(FCols.size()); }
  const TQEMRpsColDef& Column(int Col) const { return FCols.at(size_t(Col)); }
  int ColumnOf(const std::u16string& LangTag) const; // ignores case; -1 when absent
  int VisibleColCount() const;
  // False when Col is out of range or it is the last visible column.
  bool SetColumnVisible(int Col, bool Visible);
  void ShowAllColumns();
  // Stores the font as the language's grid font (shared with the translator windows).
  void SetColumnFont(int Col, const TQEMFont& Font);
  std::u16string DeleteLanguageCaption(int Col) const;

  // Rows and sorting.
  int RowCount() const { return FRepo->RecCount(); }
  bool IsEmpty() const { return RowCount() == 0; }
  int SortColumn() const { return FSortCol; } // -1 while the repository has no language
  TQEMSortDirection SortDirection() const { return FSortDir; }
  void SortBy(int Col, TQEMSortDirection Direction);
  // The header click: the sort column changes direction, another column sorts ascending.
  void HeaderClicked(int Col);
  // Position in the sort language's index; without a language, rows are in record order.
  int RowToPosition(int Row) const;
  int PositionToRow(int Position) const;
  int RowToRecord(int Row) const;    // -1 when Row is out of range
  int RecordToRow(int Record) const; // -1 when Record is out of range

  // Cells.
  std::u16string GetCell(int Col, int Row) const;
  // Writes the text into the row's record for the column's language. When the sort column
  // changes, the rows move and the current cell follows its record.
  bool SetCell(int Col, int Row, const std::u16string& Text);
  std::u16string RowContext(int Row) const; // the record's tuid

  // The current cell.
  int CurrentCol() const { return FCurCol; }
  int CurrentRow() const { return FCurRow; }
  void SetCurrent(int Col, int Row); // clamped; a hidden column gives way to a visible one
  std::u16string CurrentText() const { return GetCell(FCurCol, FCurRow); }

  // Deleting; each asks first and returns whether anything was deleted.
  // Clears the texts of the region's visible cells ("Delete region?").
  bool DeleteRegion(int Col1, int Row1, int Col2, int Row2);
  // Removes the language from every record ("Delete '%s'?").
  bool DeleteLanguage(int Col);
  // Removes the records of rows Row1..Row2.
  bool DeleteRecords(int Row1, int Row2);

  // Texts of the window.
  std::u16string Caption() const;
  std::u16string StatusPosition() const; // "row/rows", or "Empty"
  std::u16string StatusContext() const;  // the current record's tuid

  // Files. Each returns whether the action was carried out; a failure is shown as an error.
  // Asks to save unsaved changes: false when the user cancels or the save fails.
  bool QuerySave();
  // The window's close query: as QuerySave, but No also drops the changes (the file is read
  // again), so what the user declined is not written later, e.g. when the program ends.
  bool QueryClose();
  bool NewRepository();
  bool OpenRepository(); // file chooser
  bool OpenFile(const std::u16string& FileName);
  // Without a file name, a save is a Save As.
  bool SaveRepository();
  bool SaveAsRepository();
  std::vector<std::u16string> RecentFiles() const;
  // "&1 name" .. "&9 name", then letters: the menu item of the open button's drop-down. An
  // ampersand in the name is doubled, so it shows as itself.
  std::u16string RecentFileCaption(int Index) const;
  bool OpenRecent(int Index);

  // Find. The options start from the stored search options; each Find stores them again and
  // puts the text into the find history.
  const TQEMRepositoryFindOptions& FindOptions() const { return FFind; }
  std::vector<std::u16string> FindHistory() const;
  bool Find(const TQEMRepositoryFindOptions& Options);
  bool FindNext();

  // The persisted window options; saving writes the options to the registry.
  static TQEMRepositoryFrameOptions LoadOptions();
  static void SaveOptions(const TQEMRepositoryFrameOptions& Options);

  // What a view redraws. OnReset: columns or row order changed as a whole.
  std::function<void()> OnReset;
  std::function<void(int Col, int Row)> OnCellChanged;
  std::function<void(int Col, int Row)> OnCurrentChanged;
  std::function<void()> OnCaptionChanged;
  std::function<void()> OnStatusChanged; // row count, current row or its context id

private:
  class TNotifier;
  class TQuiet;
  friend class TNotifier;
  friend class TQuiet;

  void RepositoryChanged();
  void FontsChanged(TQEMGridFonts& Sender);
  void Resync();  // columns, sort column and current cell after any change
  void Refresh(); // Resync and tell the view everything changed
  TQEMRpsColDef MakeColumn(const std::u16string& Tag) const;
  int FirstVisible(int From, int Step) const;
  const IQEMRepositoryIndex* SortIndex() const;
  bool LoadFile(const std::u16string& FileName);
  bool AskToSave(bool DiscardOnNo);
  void Discard();
  void Remember(const std::u16string& FileName);
  bool Search(const TQEMRepositoryFindOptions& Options, bool FromCurrent);
  void Fire(const std::function<void()>& Hook) const;
  void Fire(const std::function<void(int, int)>& Hook, int Col, int Row) const;

  std::shared_ptr<IQEMRepository> FRepo;
  std::shared_ptr<TNotifier> FNotifier;
  std::vector<TQEMRpsColDef> FCols;
  std::u16string FSortTag;
  int FSortCol = -1;
  TQEMSortDirection FSortDir = TQEMSortDirection::sdAscending;
  std::u16string FCurTag;
  int FCurCol = 0, FCurRow = 0;
  TQEMRepositoryFindOptions FFind;
  int FQuiet = 0;
  bool FChangedQuietly = false;
  bool FFontsHooked = false;
};
