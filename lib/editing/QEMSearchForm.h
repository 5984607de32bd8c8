#pragma once
// Search over translation items, without the widgets: the search dialog as data (page "Find"
// for the file of a translator window, page "Find in Files" for files of the workspace), the
// result lines and the results list, and the two searches that fill the list.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/QEMTypes.h"
#include "translator/QEMFileTypes.h"
#include "translator/QEMTranslatorMgr.h"

// Where "Find in Files" looks; the workspace turns the choice into groups of files.
enum TQEMSearchArea : uint8_t { saProject, saAllProjects, saNode };

// A grid column's caption as the translator window shows it.
using TQEMColumnCaptionFunc = std::function<std::u16string(TQEMAllColId Col)>;

// The text field and the options of one page.
struct TQEMSearchOptions {
  std::u16string Text;
  LCID TextLCID = 0; // the language of the field's font
  bool IgnorePickLetters = false;
  bool CaseSensitive = false;
  bool WholeWordsOnly = false;
};

// A file type on the "Find in Files" page and the fields searched in its files.
struct TQEMSearchFileType {
  IQEMFileTypePtr FileType;
  bool Checked = false;
  TQEMColIds Fields;
};

// The ten grid columns.
QEM_API TQEMColIds QEMAllGridColumns();
// A grid column's name without accelerator marks: as a window over a file of these languages
// captions it, or, without languages (0), the generic field name the file-type lists show.
QEM_API std::u16string QEMSearchColumnName(TQEMAllColId Col, LCID OrigLCID = 0, LCID XlatLCID = 0);

class QEM_API TfrmQEMSearchForm {
public:
  // The combo-box history list of the text fields.
  static constexpr std::u16string_view HistoryName = u"SearchText";

  // Both pages by default; the translator window shows only Find, the workspace only Find in
  // Files.
  TSearchTabs Tabs = (1u << stSearch) | (1u << stSearchInFiles);
  TSearchTab ActivePage = stSearch;

  TQEMSearchOptions Find;
  TGridSearchScope Scope = gssGlobal;
  TQEMColIds Columns = QEMAllGridColumns();
  // The translator window's captions for the Find page's columns; empty: the generic names.
  TQEMColumnCaptionFunc ColumnCaption;
  // A column's entry in the Find page's list, without accelerator marks.
  std::u16string ColumnName(TQEMAllColId Col) const;

  TQEMSearchOptions Files;
  TQEMSearchArea Area = saProject;
  std::vector<TQEMSearchFileType> FileTypes;
  int SelectedFileType = -1; // the type whose fields are shown

  // Most recent first.
  std::vector<std::u16string> History() const;

  // Languages the font buttons offer besides those with a grid font: the window's two file
  // languages, the project's languages.
  std::vector<LCID> Languages;
  // The grid fonts' languages, Languages and the pages' text languages, each once, by name.
  std::vector<LCID> TextLanguages() const;

  void CheckAllColumns(bool Checked);
  // One entry per type, checked and with the fields as its search settings last stored them
  // (all fields when it has none).
  void LoadFileTypes(const std::vector<IQEMFileTypePtr>& Types);
  // The registered file types.
  void LoadRegisteredFileTypes();
  void CheckFileType(int Index, bool Checked);
  void CheckAllFileTypes(bool Checked);
  // With the lists synchronized a field is checked or unchecked for every type at once.
  void CheckField(int Index, TQEMAllColId Field, bool Checked);
  void CheckAllFields(int Index, bool Checked);
  bool KeepSynchronized() const { return FKeepSynchronized; }
  // Turning it on gives every type the fields of the selected one.
  void SetKeepSynchronized(bool Value);

  // The OK button: checks the active page and shows what is missing (false then); adds the
  // text to the history; for Find in Files stores the page in the types' search settings.
  bool OK();
  // The Find page as the settings of a manager's search (pattern, options, columns).
  void ApplyFind(TQEMSearchSettings& Settings) const;
  // The Find in Files page into the search settings of every listed type.
  void StoreFileTypeSettings() const;

private:
  bool FKeepSynchronized = false;
};

// One match in the results list: the record of the match and the prefix its text starts with.
class QEM_API TQEMSearchLine {
public:
  TQEMSearchLine(TSearchLineRec Rec, const std::u16string& ColumnName);
  // LangName: the name of the record's translation language, for a Find in Files line.
  TQEMSearchLine(TSearchLineRec Rec, const std::u16string& ColumnName,
                 const std::u16string& LangName);
  const TSearchLineRec& Rec() const { return FRec; }
  const std::u16string& Prefix() const { return FPrefix; }
  std::u16string Text() const { return FPrefix + FRec.ATemplate; }
  // Where the match lies in Text(), for highlighting.
  size_t MatchStart() const {
    return FPrefix.size() + size_t(FRec.AFoundPos > 0 ? FRec.AFoundPos - 1 : 0);
  }
  size_t MatchLength() const { return FRec.APattern.size(); }

private:
  TSearchLineRec FRec;
  std::u16string FPrefix;
};

class QEM_API TfrmQEMSearchResults {
public:
  explicit TfrmQEMSearchResults(TQEMColumnCaptionFunc ColumnCaption = {});
  void SetColumnCaption(TQEMColumnCaptionFunc Value);
  // The caption function's name for the column, else the caption the record carries, else
  // the grid's caption for the record's languages; without accelerator marks.
  std::u16string ColumnName(const TSearchLineRec& Rec) const;

  const TQEMSearchLine& Add(const TSearchLineRec& Rec);
  void Clear();
  int Count() const { return int(FLines.size()); }
  const TQEMSearchLine& Line(int Index) const { return FLines.at(size_t(Index)); }
  std::vector<std::u16string> Lines() const;

  // One line per match, UTF-8; the old file stays intact when the save fails.
  void SaveToFile(const std::u16string& FileName) const;
  // The pop-up's save: asks for the file (".txt" added to a name without extension); false
  // when cancelled.
  bool Save();
  // Double-click: OnOpen when set, else the line's file type opens the file at the item and
  // column of the match.
  void Open(int Index) const;
  std::function<void(const TQEMSearchLine&)> OnOpen;

  // Shown for a search: the panel docked in the translator window, or the results window.
  bool Visible = false;
  // A search starts filling the list: Visible, and the view is told.
  void Show();

  // What a view follows; each may stay empty. They fire after the change.
  std::function<void(int Index)> OnAdded;
  std::function<void()> OnCleared;
  std::function<void()> OnShow;

private:
  TQEMColumnCaptionFunc FColumnCaption;
  std::deque<TQEMSearchLine> FLines; // lines stay where they are while more come
  // A search adds many lines with few names: the caption function's by column, the generic
  // ones by column and languages, the languages' own.
  mutable std::map<int, std::u16string> FCaptions;
  mutable std::map<std::tuple<int, LCID, LCID>, std::u16string> FColumnNames;
  std::map<LCID, std::u16string> FLangNames;
};

// What the translator window passes to a Find besides the dialog.
struct TQEMFindContext {
  LCID OrigLCID = 0; // the grid fonts' reference languages
  LCID XlatLCID = 0;
  std::vector<int32_t> SelectedRows;   // item indexes
  std::function<bool(int)> RowVisible; // the window's row filter; empty: every item shown
  IQEMFileTypePtr FileType;            // kept in the lines, for opening them
};

// Find in the file of Mgr (what the translator window's Find runs): the results are cleared,
// shown and filled; "Search string '%s' not found" when nothing matched. The manager keeps the
// search's settings. Returns the number of matches, or -1 when the scope asks for selected rows
// and none are selected (after saying so).
QEM_API int32_t QEMRunFind(TQEMTranslatorMgr& Mgr, const TfrmQEMSearchForm& Form,
                           const TQEMFindContext& Context, TfrmQEMSearchResults& Results);

// The files of one file type in the chosen area.
struct TQEMSearchFileGroup {
  IQEMFileTypePtr FileType;
  std::vector<std::u16string> Files;
};

// Find in Files: each file of a group whose type is checked on the page is searched by its
// type (the open copy when a window has the file open, else a temporary manager) in the fields
// checked for that type. Progress, when given, is called with each file name before it is
// searched and stops the run by returning false. The results are cleared, shown and filled;
// "Search string '%s' not found" when nothing matched. Returns the number of matches.
QEM_API int32_t QEMRunFindInFiles(const std::vector<TQEMSearchFileGroup>& Groups,
                                  const TfrmQEMSearchForm& Form, TfrmQEMSearchResults& Results,
                                  const TCallBackFunc& Progress = {});
