#include "editing/QEMSearchForm.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <utility>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"

TQEMColIds QEMAllGridColumns() {
  TQEMColIds all;
  for (int c = QEMColIdLow; c <= QEMColIdHigh; ++c)
    all.Include(TQEMAllColId(c));
  return all;
}

std::u16string QEMSearchColumnName(TQEMAllColId Col, LCID OrigLCID, LCID XlatLCID) {
  const auto lang = [](LCID L, std::u16string_view Generic) {
    std::u16string name = L ? LCIDToLangName(L) : std::u16string();
    return name.empty() ? std::u16string(Generic) : name;
  };
  std::u16string orig = lang(OrigLCID, SSearchFieldOriginal);
  std::u16string xlat = lang(XlatLCID, SSearchFieldTranslation);
  // A file translated within one language tells its two columns apart as the grid does.
  if (orig == xlat) {
    orig = Format(SGridColOriginal, orig);
    xlat = Format(SGridColTranslated, xlat);
  }
  switch (Col) {
  case idColIndex:
    return TrimPickLetter(SGridColIndex);
  case idColId:
    return TrimPickLetter(SGridColId);
  case idColOrig:
    return orig;
  case idColStatus:
    return TrimPickLetter(SGridColStatus);
  case idColCurr:
    return xlat;
  case idColCreated:
    return TrimPickLetter(SGridColCreated);
  case idColModified:
    return TrimPickLetter(SGridColModified);
  case idColPrevOrig:
    return Format(SGridColPrevious, orig);
  case idColPrevCurr:
    return Format(SGridColPrevious, xlat);
  case idColComment:
    return TrimPickLetter(SGridColComment);
  default:
    return Format(u"%d", int(Col));
  }
}

// ---- the dialog ----

std::u16string TfrmQEMSearchForm::ColumnName(TQEMAllColId Col) const {
  if (ColumnCaption) {
    std::u16string caption = ColumnCaption(Col);
    if (!caption.empty()) return TrimPickLetter(caption);
  }
  return QEMSearchColumnName(Col);
}

std::vector<std::u16string> TfrmQEMSearchForm::History() const {
  if (!QEMINTOptionProps) return {};
  return QEMINTOptionProps->QEMHistoryManager.GetHistory(std::u16string(HistoryName));
}

std::vector<LCID> TfrmQEMSearchForm::TextLanguages() const {
  std::vector<std::pair<std::u16string, LCID>> langs;
  std::set<LCID> seen;
  const auto add = [&](LCID Lang) {
    if (Lang != 0 && seen.insert(Lang).second) langs.emplace_back(LCIDToLangName(Lang), Lang);
  };
  if (QEMGridFonts)
    for (int i = 0; i < QEMGridFonts->GetCount(); ++i)
      add(QEMGridFonts->GetLang(i));
  for (LCID lang : Languages)
    add(lang);
  add(Find.TextLCID);
  add(Files.TextLCID);
  const LCID user = QEMUserDefaultLCID();
  std::sort(langs.begin(), langs.end(), [user](const auto& A, const auto& B) {
    return QEMWideCompareStr(user, A.first, B.first) < 0;
  });
  std::vector<LCID> r;
  r.reserve(langs.size());
  for (const auto& l : langs)
    r.push_back(l.second);
  return r;
}

void TfrmQEMSearchForm::CheckAllColumns(bool Checked) {
  Columns = Checked ? QEMAllGridColumns() : TQEMColIds();
}

void TfrmQEMSearchForm::LoadFileTypes(const std::vector<IQEMFileTypePtr>& Types) {
  FileTypes.clear();
  for (const auto& type : Types) {
    if (!type) continue;
    TQEMSearchFileType entry;
    entry.FileType = type;
    if (const TSearchSettings* s = type->GetSearchSettings()) {
      entry.Checked = s->Used;
      entry.Fields = s->Columns;
    }
    // No fields stored means all of them, as for a search.
    if (entry.Fields.Empty()) entry.Fields = QEMAllGridColumns();
    FileTypes.push_back(std::move(entry));
  }
  SelectedFileType = FileTypes.empty() ? -1 : 0;
}

void TfrmQEMSearchForm::LoadRegisteredFileTypes() {
  LoadFileTypes(QEMFileTypes().Snapshot());
}

void TfrmQEMSearchForm::CheckFileType(int Index, bool Checked) {
  FileTypes.at(size_t(Index)).Checked = Checked;
}

void TfrmQEMSearchForm::CheckAllFileTypes(bool Checked) {
  for (auto& t : FileTypes)
    t.Checked = Checked;
}

void TfrmQEMSearchForm::CheckField(int Index, TQEMAllColId Field, bool Checked) {
  auto apply = [&](TQEMSearchFileType& T) {
    Checked ? T.Fields.Include(Field) : T.Fields.Exclude(Field);
  };
  if (!FKeepSynchronized) return apply(FileTypes.at(size_t(Index)));
  for (auto& t : FileTypes)
    apply(t);
}

void TfrmQEMSearchForm::CheckAllFields(int Index, bool Checked) {
  const TQEMColIds fields = Checked ? QEMAllGridColumns() : TQEMColIds();
  if (!FKeepSynchronized) {
    FileTypes.at(size_t(Index)).Fields = fields;
    return;
  }
  for (auto& t : FileTypes)
    t.Fields = fields;
}

void TfrmQEMSearchForm::SetKeepSynchronized(bool Value) {
  FKeepSynchronized = Value;
  if (!Value || SelectedFileType < 0 || SelectedFileType >= int(FileTypes.size())) return;
  const TQEMColIds fields = FileTypes[size_t(SelectedFileType)].Fields;
  for (auto& t : FileTypes)
    t.Fields = fields;
}

bool TfrmQEMSearchForm::OK() {
  auto refuse = [](std::u16string Msg) {
    QEMUIServices().ErrorBox(Msg);
    return false;
  };
  const bool files = ActivePage == stSearchInFiles;
  const TQEMSearchOptions& page = files ? Files : Find;
  if (page.Text.empty()) return refuse(std::u16string(SSearchBlank));
  if (!files) {
    if (Columns.Empty()) return refuse(std::u16string(SSearchNoColumn));
  } else {
    bool any = false;
    for (const auto& t : FileTypes) {
      if (!t.Checked) continue;
      any = true;
      if (t.Fields.Empty()) return refuse(Format(SSearchNoField, t.FileType->GetName()));
    }
    if (!any) return refuse(std::u16string(SSearchNoFileType));
  }
  if (QEMINTOptionProps)
    QEMINTOptionProps->QEMHistoryManager.AddHistory(std::u16string(HistoryName), page.Text);
  if (files) StoreFileTypeSettings();
  return true;
}

void TfrmQEMSearchForm::ApplyFind(TQEMSearchSettings& Settings) const {
  Settings.Pattern = Find.Text;
  Settings.PatternLCID = Find.TextLCID;
  Settings.CaseSensitive = Find.CaseSensitive;
  Settings.IgnorePickLetters = Find.IgnorePickLetters;
  Settings.WholeWordsOnly = Find.WholeWordsOnly;
  Settings.Columns = Columns;
}

void TfrmQEMSearchForm::StoreFileTypeSettings() const {
  for (const auto& t : FileTypes) {
    TSearchSettings* s = t.FileType ? t.FileType->GetSearchSettings() : nullptr;
    if (!s) continue;
    s->Used = t.Checked;
    s->Columns = t.Fields;
    s->Pattern = Files.Text;
    s->PatternLCID = Files.TextLCID;
    s->CaseSensitive = Files.CaseSensitive;
    s->IgnorePickLetters = Files.IgnorePickLetters;
    s->WholeWordsOnly = Files.WholeWordsOnly;
    s->ResultsInList = true;
  }
}

// ---- result lines ----

TQEMSearchLine::TQEMSearchLine(TSearchLineRec Rec, const std::u16string& ColumnName)
    : TQEMSearchLine(std::move(Rec), ColumnName, std::u16string()) {}

TQEMSearchLine::TQEMSearchLine(TSearchLineRec Rec, const std::u16string& ColumnName,
                               const std::u16string& LangName)
    : FRec(std::move(Rec)) {
  const std::u16string file = ExtractFileName(FRec.AFileName);
  FPrefix = FRec.AIsFindInFiles
                ? Format(SSearchFilesLinePrefix,
                         LangName.empty() ? LCIDToLangName(FRec.AXlatLCID) : LangName, file,
                         ColumnName, FRec.ADisplayLine)
                : Format(SSearchLinePrefix, file, ColumnName, FRec.ADisplayLine);
}

TfrmQEMSearchResults::TfrmQEMSearchResults(TQEMColumnCaptionFunc ColumnCaption)
    : FColumnCaption(std::move(ColumnCaption)) {}

void TfrmQEMSearchResults::SetColumnCaption(TQEMColumnCaptionFunc Value) {
  FColumnCaption = std::move(Value);
  FCaptions.clear();
}

std::u16string TfrmQEMSearchResults::ColumnName(const TSearchLineRec& Rec) const {
  const int col = int(Rec.AColAsEnum);
  if (FColumnCaption) {
    auto it = FCaptions.find(col);
    if (it == FCaptions.end())
      it = FCaptions.emplace(col, TrimPickLetter(FColumnCaption(Rec.AColAsEnum))).first;
    if (!it->second.empty()) return it->second;
  }
  if (!Rec.AColInfo.Caption.empty()) return TrimPickLetter(Rec.AColInfo.Caption);
  // Find in Files has no window to caption its columns: the file's languages name them.
  const auto key = std::tuple(col, Rec.AOrigLCID, Rec.AXlatLCID);
  auto it = FColumnNames.find(key);
  if (it == FColumnNames.end())
    it =
        FColumnNames.emplace(key, QEMSearchColumnName(Rec.AColAsEnum, Rec.AOrigLCID, Rec.AXlatLCID))
            .first;
  return it->second;
}

const TQEMSearchLine& TfrmQEMSearchResults::Add(const TSearchLineRec& Rec) {
  const std::u16string* lang = nullptr;
  if (Rec.AIsFindInFiles) {
    auto it = FLangNames.find(Rec.AXlatLCID);
    if (it == FLangNames.end())
      it = FLangNames.emplace(Rec.AXlatLCID, LCIDToLangName(Rec.AXlatLCID)).first;
    lang = &it->second;
  }
  const TQEMSearchLine& line =
      FLines.emplace_back(Rec, ColumnName(Rec), lang ? *lang : std::u16string());
  if (OnAdded) OnAdded(int(FLines.size()) - 1);
  return line;
}

void TfrmQEMSearchResults::Clear() {
  FLines.clear();
  if (OnCleared) OnCleared();
}

void TfrmQEMSearchResults::Show() {
  Visible = true;
  if (OnShow) OnShow();
}

std::vector<std::u16string> TfrmQEMSearchResults::Lines() const {
  std::vector<std::u16string> lines;
  lines.reserve(FLines.size());
  for (const auto& l : FLines)
    lines.push_back(l.Text());
  return lines;
}

void TfrmQEMSearchResults::SaveToFile(const std::u16string& FileName) const {
  QEMSaveFileAtomically(FileName, [&](std::ostream& Out) {
    for (const auto& l : FLines)
      Out << UTF16ToUTF8(l.Text()) << '\n';
  });
}

bool TfrmQEMSearchResults::Save() {
  std::u16string name;
  if (!QEMUIServices().ChooseSaveFile(std::u16string(SSearchSaveResultsCaption),
                                      std::u16string(SSearchResultsFilter), name) ||
      name.empty())
    return false;
  if (ExtractFileExt(name).empty()) name += SSearchResultsExt;
  SaveToFile(name);
  return true;
}

void TfrmQEMSearchResults::Open(int Index) const {
  const TQEMSearchLine& line = Line(Index);
  if (OnOpen) return OnOpen(line);
  const TSearchLineRec& r = line.Rec();
  if (r.AFileType) r.AFileType->LoadFile(r.AFileName, r.AColAsEnum, r.AMgrLine);
}

// ---- the searches ----

namespace {

void ReportNotFound(const std::u16string& Pattern) {
  QEMUIServices().MessageBox(Format(SSearchNotFound, Pattern));
}

TSearchLineRec LineRec(const std::u16string& Pattern, const std::u16string& Template,
                       const std::u16string& FileName, int32_t Col, int32_t MgrIndex,
                       int32_t DisplayIndex, int32_t Pos, LCID OrigLCID, LCID XlatLCID) {
  TSearchLineRec r;
  r.AOrigLCID = OrigLCID;
  r.AXlatLCID = XlatLCID;
  r.AFileName = FileName;
  r.AColAsEnum = TQEMAllColId(Col);
  r.AMgrLine = MgrIndex;
  r.ADisplayLine = DisplayIndex;
  r.AFoundPos = Pos;
  r.APattern = Pattern;
  r.ATemplate = Template;
  return r;
}

} // namespace

int32_t QEMRunFind(TQEMTranslatorMgr& Mgr, const TfrmQEMSearchForm& Form,
                   const TQEMFindContext& Context, TfrmQEMSearchResults& Results) {
  if (Form.Scope == gssSelectedRows && Context.SelectedRows.empty()) {
    QEMUIServices().ErrorBox(std::u16string(SSearchNoSelectedRows));
    return -1;
  }
  TQEMSearchSettings& s = Mgr.SearchSettings();
  Form.ApplyFind(s);
  s.Name = Mgr.FileName();
  s.OrigLCID = Context.OrigLCID;
  s.XlatLCID = Context.XlatLCID;
  s.Lines = Form.Scope == gssSelectedRows ? Context.SelectedRows : std::vector<int32_t>();
  Results.Clear();
  Results.Show();
  // The window's own handlers come back afterwards, also when a handler throws.
  struct TRestore {
    TQEMTranslatorMgr& Mgr;
    TSearchFoundEvent Found;
    std::function<bool(int)> Visible;
    ~TRestore() {
      Mgr.OnSearchFound = std::move(Found);
      Mgr.SearchLineVisible = std::move(Visible);
    }
  } restore{Mgr, Mgr.OnSearchFound, Mgr.SearchLineVisible};
  Mgr.SearchLineVisible = Context.RowVisible;
  Mgr.OnSearchFound = [&](void*, const std::u16string& Pattern, const std::u16string& Template,
                          const std::u16string&, int32_t ACol, int32_t AMgrIndex,
                          int32_t ADisplayIndex, int32_t APos, LCID AOrigLCID, LCID AXlatLCID,
                          bool&) {
    TSearchLineRec r = LineRec(Pattern, Template, Mgr.FileName(), ACol, AMgrIndex, ADisplayIndex,
                               APos, AOrigLCID, AXlatLCID);
    r.AFileType = Context.FileType;
    Results.Add(r);
  };
  const int32_t found = Mgr.Search();
  if (found == 0) ReportNotFound(s.Pattern);
  return found;
}

int32_t QEMRunFindInFiles(const std::vector<TQEMSearchFileGroup>& Groups,
                          const TfrmQEMSearchForm& Form, TfrmQEMSearchResults& Results,
                          const TCallBackFunc& Progress) {
  Form.StoreFileTypeSettings();
  std::vector<IQEMFileTypePtr> checked;
  for (const auto& t : Form.FileTypes)
    if (t.Checked && t.FileType) checked.push_back(t.FileType);
  Results.Clear();
  Results.Show();
  int32_t found = 0;
  for (const auto& group : Groups) {
    if (std::ranges::find(checked, group.FileType) == checked.end()) continue;
    const IQEMFileTypePtr& type = group.FileType;
    for (const auto& file : group.Files) {
      // A cancelled run says nothing more.
      if (Progress && !Progress(file, nullptr)) return found;
      TSearchInfo info;
      info.PatternLCID = Form.Files.TextLCID;
      info.FileName = file;
      info.CurrFileType = type;
      info.FileTypes = checked;
      type->Search(info, Form.Files.Text, Form.Files.CaseSensitive, Form.Files.WholeWordsOnly,
                   Form.Files.IgnorePickLetters,
                   [&](void*, const std::u16string& Pattern, const std::u16string& Template,
                       const std::u16string&, int32_t ACol, int32_t AMgrIndex,
                       int32_t ADisplayIndex, int32_t APos, LCID AOrigLCID, LCID AXlatLCID, bool&) {
                     TSearchLineRec r = LineRec(Pattern, Template, file, ACol, AMgrIndex,
                                                ADisplayIndex, APos, AOrigLCID, AXlatLCID);
                     r.AFileType = type;
                     r.AIsFindInFiles = true;
                     Results.Add(r);
                     ++found;
                   });
    }
  }
  if (found == 0) ReportNotFound(Form.Files.Text);
  return found;
}
