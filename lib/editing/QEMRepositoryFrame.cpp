#include "editing/QEMRepositoryFrame.h"

#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/utf16.h>

#include <algorithm>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"

namespace {

// A bare language ("de", as other tools write them) serves all its regions: the column is
// named after the language and shows it in the font of its main region.
bool BareLanguageColumn(const std::u16string& Tag, TQEMRpsColDef& Col) {
  const std::string tag = UTF16ToUTF8(Tag);
  if (tag.empty() || tag.size() > 8 || tag.find_first_of("-_") != std::string::npos) return false;
  char likely[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_addLikelySubtags(tag.c_str(), likely, sizeof likely, &err);
  char region[ULOC_COUNTRY_CAPACITY] = {};
  if (U_SUCCESS(err)) uloc_getCountry(likely, region, sizeof region, &err);
  LCID lcid = 0;
  if (U_FAILURE(err) || !*region || !TryLangTagToLCID(UTF8ToUTF16(tag + "-" + region), lcid))
    return false;
  UChar name[128] = {};
  err = U_ZERO_ERROR;
  const int32_t n = uloc_getDisplayLanguage(tag.c_str(), "en", name, 128, &err);
  if (U_FAILURE(err) || n <= 0 || n > 128) return false;
  Col.Lang = lcid;
  Col.Caption.assign(reinterpret_cast<const char16_t*>(name), size_t(n));
  return true;
}

bool SameTag(std::u16string_view A, std::u16string_view B) {
  const auto lower = [](char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; };
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(),
                    [&](char16_t a, char16_t b) { return lower(a) == lower(b); });
}

// Simple case folding keeps every position, so word boundaries can be read off the cell text.
std::u16string Fold(std::u16string_view S) {
  std::u16string out;
  out.reserve(S.size());
  const int32_t n = int32_t(S.size());
  for (int32_t i = 0; i < n;) {
    UChar32 c;
    U16_NEXT(S.data(), i, n, c);
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (U_IS_BMP(c))
      out += char16_t(c);
    else {
      out += char16_t(U16_LEAD(c));
      out += char16_t(U16_TRAIL(c));
    }
  }
  return out;
}

bool CellMatches(const std::u16string& Cell, std::u16string_view Needle, bool CaseSensitive,
                 bool WholeWords) {
  std::u16string folded;
  std::u16string_view hay = Cell;
  if (!CaseSensitive) hay = folded = Fold(Cell);
  const std::u16string_view words = hay.size() == Cell.size() ? std::u16string_view(Cell) : hay;
  for (size_t p = hay.find(Needle); p != std::u16string_view::npos; p = hay.find(Needle, p + 1))
    if (!WholeWords || IsWholeWordW(words, int(p), int(p + Needle.size() + 1))) return true;
  return false;
}

} // namespace

class TQEMRepositoryFrame::TNotifier : public IQEMRepositoryNotifier {
public:
  explicit TNotifier(TQEMRepositoryFrame* Owner) : FOwner(Owner) {}
  void Changed() override {
    if (FOwner) FOwner->RepositoryChanged();
  }
  TQEMRepositoryFrame* FOwner;
};

// Our own changes are told to the view precisely, so the repository's notice is held back.
class TQEMRepositoryFrame::TQuiet {
public:
  explicit TQuiet(TQEMRepositoryFrame& Frame) : FFrame(Frame) { ++FFrame.FQuiet; }
  ~TQuiet() { --FFrame.FQuiet; }
  TQuiet(const TQuiet&) = delete;
  TQuiet& operator=(const TQuiet&) = delete;

private:
  TQEMRepositoryFrame& FFrame;
};

TQEMRepositoryFrame::TQEMRepositoryFrame(std::shared_ptr<IQEMRepository> Repository)
    : FRepo(std::move(Repository)) {
  if (!FRepo) {
    try {
      FRepo = QEMRepositoryGetRepository();
    } catch (const EQEMError& E) {
      // The file stays as it is; the window starts with an empty, unnamed repository.
      QEMUIServices().ErrorBox(E.Message());
      QEMRepositorySetFileName(u"");
      FRepo = QEMRepositoryGetRepository();
    }
  }
  FNotifier = std::make_shared<TNotifier>(this);
  FRepo->SetNotifier(FNotifier);
  if (QEMGridFonts) {
    QEMGridFonts->AddFontChangeEvent(
        TQEMFontChangeEvent::Bind<&TQEMRepositoryFrame::FontsChanged>(this));
    FFontsHooked = true;
  }
  if (QEMINTOptionProps) {
    FFind.CaseSensitive = QEMINTOptionProps->RepositorySearchCaseSensitive;
    FFind.Forward = QEMINTOptionProps->RepositorySearchForward;
    FFind.WholeWords = QEMINTOptionProps->RepositorySearchWholeWords;
  }
  Resync();
}

TQEMRepositoryFrame::~TQEMRepositoryFrame() {
  FNotifier->FOwner = nullptr;
  FRepo->SetNotifier(nullptr);
  if (FFontsHooked && QEMGridFonts)
    QEMGridFonts->RemoveFontChangeEvent(
        TQEMFontChangeEvent::Bind<&TQEMRepositoryFrame::FontsChanged>(this));
}

// ---- Keeping in step with the repository ------------------------------------------------------

void TQEMRepositoryFrame::RepositoryChanged() {
  if (FQuiet > 0) {
    FChangedQuietly = true;
    return;
  }
  Refresh();
}

void TQEMRepositoryFrame::FontsChanged(TQEMGridFonts& Sender) {
  for (auto& c : FCols)
    if (c.Lang != 0) c.Font = *Sender.GetFont(c.Lang);
  Fire(OnReset);
}

TQEMRpsColDef TQEMRepositoryFrame::MakeColumn(const std::u16string& Tag) const {
  TQEMRpsColDef c;
  c.LangTag = Tag;
  c.Caption = Tag;
  if (TryLangTagToLCID(Tag, c.Lang) && IsValidLCID(c.Lang))
    c.Caption = LCIDToLangName(c.Lang);
  else if (!BareLanguageColumn(Tag, c))
    c.Lang = 0;
  if (QEMGridFonts) c.Font = c.Lang ? *QEMGridFonts->GetFont(c.Lang) : QEMGridFonts->DefaultFont();
  return c;
}

void TQEMRepositoryFrame::Resync() {
  FChangedQuietly = false;
  const auto& langs = FRepo->GetIndexList().Languages();
  bool same = size_t(langs.Count()) == FCols.size();
  for (int i = 0; same && i < langs.Count(); ++i)
    same = langs.LangTag(i) == FCols[size_t(i)].LangTag;
  if (!same) {
    std::vector<TQEMRpsColDef> cols;
    cols.reserve(size_t(langs.Count()));
    for (int i = 0; i < langs.Count(); ++i) {
      const std::u16string tag = langs.LangTag(i);
      const int old = ColumnOf(tag);
      cols.push_back(old >= 0 ? FCols[size_t(old)] : MakeColumn(tag));
    }
    FCols = std::move(cols);
    if (!FCols.empty() && VisibleColCount() == 0)
      for (auto& c : FCols)
        c.Visible = true;
  }
  FSortCol = FSortTag.empty() ? -1 : ColumnOf(FSortTag);
  if (FSortCol < 0) {
    FSortCol = FCols.empty() ? -1 : 0;
    FSortTag = FCols.empty() ? std::u16string() : FCols[0].LangTag;
  }
  FCurCol = FCurTag.empty() ? -1 : ColumnOf(FCurTag);
  if (FCurCol < 0 || !FCols[size_t(FCurCol)].Visible) {
    const int from = std::max(FCurCol, 0);
    FCurCol = FirstVisible(from, 1);
    if (FCurCol < 0) FCurCol = FirstVisible(from, -1);
  }
  FCurTag = FCurCol >= 0 ? FCols[size_t(FCurCol)].LangTag : std::u16string();
  FCurRow = std::clamp(FCurRow, 0, std::max(RowCount() - 1, 0));
}

void TQEMRepositoryFrame::Refresh() {
  Resync();
  Fire(OnReset);
  Fire(OnCurrentChanged, FCurCol, FCurRow);
  Fire(OnCaptionChanged);
  Fire(OnStatusChanged);
}

void TQEMRepositoryFrame::Fire(const std::function<void()>& Hook) const {
  if (Hook) Hook();
}

void TQEMRepositoryFrame::Fire(const std::function<void(int, int)>& Hook, int Col, int Row) const {
  if (Hook) Hook(Col, Row);
}

// ---- Columns ---------------------------------------------------------------------------------

int TQEMRepositoryFrame::ColumnOf(const std::u16string& LangTag) const {
  for (size_t i = 0; i < FCols.size(); ++i)
    if (SameTag(FCols[i].LangTag, LangTag)) return int(i);
  return -1;
}

int TQEMRepositoryFrame::VisibleColCount() const {
  return int(std::count_if(FCols.begin(), FCols.end(), [](const auto& c) { return c.Visible; }));
}

int TQEMRepositoryFrame::FirstVisible(int From, int Step) const {
  for (int i = From; i >= 0 && i < ColCount(); i += Step)
    if (FCols[size_t(i)].Visible) return i;
  return -1;
}

bool TQEMRepositoryFrame::SetColumnVisible(int Col, bool Visible) {
  if (Col < 0 || Col >= ColCount()) return false;
  TQEMRpsColDef& c = FCols[size_t(Col)];
  if (c.Visible == Visible) return true;
  if (!Visible && VisibleColCount() == 1) return false;
  c.Visible = Visible;
  Resync();
  Fire(OnReset);
  Fire(OnCurrentChanged, FCurCol, FCurRow);
  return true;
}

void TQEMRepositoryFrame::ShowAllColumns() {
  for (auto& c : FCols)
    c.Visible = true;
  Fire(OnReset);
}

void TQEMRepositoryFrame::SetColumnFont(int Col, const TQEMFont& Font) {
  if (Col < 0 || Col >= ColCount()) return;
  const LCID lang = FCols[size_t(Col)].Lang;
  if (lang == 0 || !QEMGridFonts) {
    FCols[size_t(Col)].Font = Font;
    Fire(OnReset);
    return;
  }
  *QEMGridFonts->Add(lang) = Font;
  try {
    QEMGridFonts->Save(lang);
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
  }
  QEMGridFonts->FontChanged(); // tells us too
}

std::u16string TQEMRepositoryFrame::DeleteLanguageCaption(int Col) const {
  return Format(SRpsDeleteLanguageItem, Column(Col).Caption);
}

// ---- Rows ------------------------------------------------------------------------------------

const IQEMRepositoryIndex* TQEMRepositoryFrame::SortIndex() const {
  // By tag, not by column: inside a bulk update the columns may lag behind the languages.
  const auto& list = FRepo->GetIndexList();
  const int l = FSortTag.empty() ? -1 : list.Languages().IndexOf(FSortTag);
  return l < 0 ? nullptr : &list.Index(l);
}

void TQEMRepositoryFrame::SortBy(int Col, TQEMSortDirection Direction) {
  if (Col < 0 || Col >= ColCount()) return;
  const int rec = RowToRecord(FCurRow);
  FSortCol = Col;
  FSortTag = FCols[size_t(Col)].LangTag;
  FSortDir = Direction;
  if (rec >= 0) FCurRow = std::max(RecordToRow(rec), 0);
  Fire(OnReset);
  Fire(OnCurrentChanged, FCurCol, FCurRow);
  Fire(OnStatusChanged);
}

void TQEMRepositoryFrame::HeaderClicked(int Col) {
  if (Col == FSortCol && FSortDir == TQEMSortDirection::sdAscending)
    SortBy(Col, TQEMSortDirection::sdDescending);
  else
    SortBy(Col, TQEMSortDirection::sdAscending);
}

int TQEMRepositoryFrame::RowToPosition(int Row) const {
  const int n = RowCount();
  if (Row < 0 || Row >= n) return -1;
  return FSortDir == TQEMSortDirection::sdAscending ? Row : n - 1 - Row;
}

int TQEMRepositoryFrame::PositionToRow(int Position) const {
  return RowToPosition(Position); // the mapping is its own inverse
}

int TQEMRepositoryFrame::RowToRecord(int Row) const {
  const int pos = RowToPosition(Row);
  if (pos < 0) return -1;
  const IQEMRepositoryIndex* ix = SortIndex();
  return ix ? ix->Item(pos) : pos;
}

int TQEMRepositoryFrame::RecordToRow(int Record) const {
  if (Record < 0 || Record >= RowCount()) return -1;
  const IQEMRepositoryIndex* ix = SortIndex();
  return PositionToRow(ix ? ix->PositionOf(Record) : Record);
}

// ---- Cells -----------------------------------------------------------------------------------

std::u16string TQEMRepositoryFrame::GetCell(int Col, int Row) const {
  if (Col < 0 || Col >= ColCount()) return {};
  const int rec = RowToRecord(Row);
  if (rec < 0) return {};
  return FRepo->GetRecord(rec)->GetString(FCols[size_t(Col)].LangTag);
}

std::u16string TQEMRepositoryFrame::RowContext(int Row) const {
  const int rec = RowToRecord(Row);
  return rec < 0 ? std::u16string() : FRepo->GetRecord(rec)->GetID();
}

bool TQEMRepositoryFrame::SetCell(int Col, int Row, const std::u16string& Text) {
  if (Col < 0 || Col >= ColCount()) return false;
  const int rec = RowToRecord(Row);
  if (rec < 0) return false;
  auto record = FRepo->GetRecord(rec);
  const std::u16string& tag = FCols[size_t(Col)].LangTag;
  if (record->GetString(tag) == Text) return true; // an unchanged edit leaves it unmodified
  const int current = RowToRecord(FCurRow);
  try {
    TQuiet quiet(*this);
    record->SetString(tag, Text);
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
    Refresh();
    return false;
  }
  if (FChangedQuietly) Resync();
  if (SameTag(tag, FSortTag)) {
    if (current >= 0) FCurRow = std::max(RecordToRow(current), 0);
    Fire(OnReset);
    Fire(OnCurrentChanged, FCurCol, FCurRow);
    Fire(OnStatusChanged);
  } else
    Fire(OnCellChanged, Col, Row);
  return true;
}

void TQEMRepositoryFrame::SetCurrent(int Col, int Row) {
  const int oldCol = FCurCol, oldRow = FCurRow;
  FCurRow = Row;
  FCurTag = Col >= 0 && Col < ColCount() ? FCols[size_t(Col)].LangTag : FCurTag;
  Resync();
  if (FCurCol != oldCol || FCurRow != oldRow) {
    Fire(OnCurrentChanged, FCurCol, FCurRow);
    Fire(OnStatusChanged);
  }
}

// ---- Deleting --------------------------------------------------------------------------------

bool TQEMRepositoryFrame::DeleteRegion(int Col1, int Row1, int Col2, int Row2) {
  if (Col1 > Col2) std::swap(Col1, Col2);
  if (Row1 > Row2) std::swap(Row1, Row2);
  Col1 = std::max(Col1, 0);
  Col2 = std::min(Col2, ColCount() - 1);
  Row1 = std::max(Row1, 0);
  Row2 = std::min(Row2, RowCount() - 1);
  std::vector<std::u16string> tags;
  for (int c = Col1; c <= Col2; ++c)
    if (FCols[size_t(c)].Visible) tags.push_back(FCols[size_t(c)].LangTag);
  if (tags.empty() || Row1 > Row2) return false;
  if (!QEMUIServices().AskYesNo(std::u16string(SRpsDeleteRegion), false)) return false;
  // Records first: clearing the sort column reorders the rows under the walk.
  std::vector<int> recs;
  recs.reserve(size_t(Row2 - Row1 + 1));
  for (int r = Row1; r <= Row2; ++r)
    recs.push_back(RowToRecord(r));
  const int current = RowToRecord(FCurRow);
  try {
    TQuiet quiet(*this);
    FRepo->BeginUpdate();
    struct TEnd {
      IQEMRepository& R;
      ~TEnd() { R.EndUpdate(); }
    } end{*FRepo};
    for (const int rec : recs) {
      auto record = FRepo->GetRecord(rec);
      for (const auto& tag : tags)
        if (!record->GetString(tag).empty()) record->SetString(tag, u"");
    }
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
  }
  if (current >= 0) FCurRow = std::max(RecordToRow(current), 0);
  Refresh();
  return true;
}

bool TQEMRepositoryFrame::DeleteLanguage(int Col) {
  if (Col < 0 || Col >= ColCount()) return false;
  if (!QEMUIServices().AskYesNo(Format(SRpsDeleteLanguage, FCols[size_t(Col)].Caption), false))
    return false;
  const int current = RowToRecord(FCurRow);
  {
    TQuiet quiet(*this);
    FRepo->DeleteLanguage(FCols[size_t(Col)].LangTag);
  }
  Resync(); // the sort language may have gone
  if (current >= 0) FCurRow = std::max(RecordToRow(current), 0);
  Refresh();
  return true;
}

bool TQEMRepositoryFrame::DeleteRecords(int Row1, int Row2) {
  if (Row1 > Row2) std::swap(Row1, Row2);
  Row1 = std::max(Row1, 0);
  Row2 = std::min(Row2, RowCount() - 1);
  if (Row1 > Row2) return false;
  const int n = Row2 - Row1 + 1;
  if (!QEMUIServices().AskYesNo(Format(SRpsDeleteRecords, n), false)) return false;
  std::vector<int> recs;
  recs.reserve(size_t(n));
  for (int r = Row1; r <= Row2; ++r)
    recs.push_back(RowToRecord(r));
  {
    TQuiet quiet(*this);
    FRepo->DeleteRecords(std::move(recs));
  }
  // The other records keep their order, so rows below the block move up by its size.
  if (FCurRow > Row2)
    FCurRow -= n;
  else if (FCurRow >= Row1)
    FCurRow = Row1;
  Refresh();
  return true;
}

// ---- Texts -----------------------------------------------------------------------------------

std::u16string TQEMRepositoryFrame::Caption() const {
  const std::u16string& name = FRepo->FileName();
  return name.empty() ? std::u16string(SRpsCaption) : Format(SRpsCaptionFile, name);
}

std::u16string TQEMRepositoryFrame::StatusPosition() const {
  if (IsEmpty()) return std::u16string(SRpsStatusEmpty);
  return Format(SGridPosition, FCurRow + 1, RowCount());
}

std::u16string TQEMRepositoryFrame::StatusContext() const {
  return RowContext(FCurRow);
}

// ---- Files -----------------------------------------------------------------------------------

bool TQEMRepositoryFrame::QuerySave() {
  return AskToSave(false);
}

bool TQEMRepositoryFrame::QueryClose() {
  return AskToSave(true);
}

bool TQEMRepositoryFrame::AskToSave(bool DiscardOnNo) {
  if (!FRepo->Modified()) return true;
  const std::u16string& name = FRepo->FileName();
  const std::u16string msg =
      name.empty() ? std::u16string(SRpsSaveChangesNoName) : Format(SRpsSaveChanges, name);
  switch (QEMUIServices().AskYesNoCancel(msg, TQEMAnswer::anCancel)) {
  case TQEMAnswer::anYes:
    return SaveRepository();
  case TQEMAnswer::anNo:
    if (DiscardOnNo) Discard();
    return true;
  default:
    return false;
  }
}

void TQEMRepositoryFrame::Discard() {
  const std::u16string name = FRepo->FileName();
  {
    TQuiet quiet(*this);
    try {
      if (name.empty() || !FileExists(name))
        FRepo->Reset(name);
      else
        FRepo->LoadFromFile(name);
    } catch (const EQEMError& E) {
      QEMUIServices().ErrorBox(E.Message());
      FRepo->Reset(name); // the changes go all the same: the user declined them
    }
  }
  Refresh();
}

void TQEMRepositoryFrame::Remember(const std::u16string& FileName) {
  if (!QEMINTOptionProps) return;
  QEMINTOptionProps->RepositoryFilename = FileName;
  QEMINTOptionProps->QEMHistoryManager.AddHistory(std::u16string(QEMRepositoryFileHistory),
                                                  FileName);
}

bool TQEMRepositoryFrame::LoadFile(const std::u16string& FileName) {
  try {
    TQuiet quiet(*this);
    FRepo->LoadFromFile(FileName);
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
    Refresh();
    return false;
  }
  Remember(FileName);
  FCurRow = 0;
  Refresh();
  return true;
}

bool TQEMRepositoryFrame::NewRepository() {
  if (!QuerySave()) return false;
  {
    TQuiet quiet(*this);
    FRepo->Reset(u"");
  }
  if (QEMINTOptionProps) QEMINTOptionProps->RepositoryFilename.clear();
  FCurRow = 0;
  Refresh();
  return true;
}

bool TQEMRepositoryFrame::OpenRepository() {
  if (!QuerySave()) return false;
  std::u16string name = FRepo->FileName();
  if (!QEMUIServices().ChooseOpenFile(std::u16string(SRpsOpenTitle), std::u16string(SRepOpenFilter),
                                      name))
    return false;
  if (!FileExists(name)) {
    QEMUIServices().ErrorBox(Format(SRpsFileMissing, name));
    return false;
  }
  return LoadFile(name);
}

bool TQEMRepositoryFrame::OpenFile(const std::u16string& FileName) {
  // A missing file is reported before anything is asked: there is nothing to open.
  if (!FileExists(FileName)) {
    QEMUIServices().ErrorBox(Format(SRpsFileMissing, FileName));
    return false;
  }
  return QuerySave() && LoadFile(FileName);
}

bool TQEMRepositoryFrame::SaveRepository() {
  if (FRepo->FileName().empty()) return SaveAsRepository();
  try {
    TQuiet quiet(*this);
    FRepo->Save();
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
    Refresh();
    return false;
  }
  Remember(FRepo->FileName());
  if (FChangedQuietly) Refresh(); // saving reads a file not loaded yet
  return true;
}

bool TQEMRepositoryFrame::SaveAsRepository() {
  std::u16string name = FRepo->FileName();
  const std::u16string shown = name.empty() ? std::u16string(SRpsCaption) : ExtractFileName(name);
  if (!QEMUIServices().ChooseSaveFile(Format(SRpsSaveAsTitle, shown),
                                      std::u16string(SRepSaveFilter), name))
    return false;
  if (FileExists(name) && !QEMUIServices().AskYesNo(Format(SRpsReplaceFile, name), false))
    return false;
  try {
    TQuiet quiet(*this);
    FRepo->SaveAs(name);
  } catch (const EQEMError& E) {
    QEMUIServices().ErrorBox(E.Message());
    Refresh();
    return false;
  }
  Remember(name);
  Refresh();
  return true;
}

std::vector<std::u16string> TQEMRepositoryFrame::RecentFiles() const {
  if (!QEMINTOptionProps) return {};
  return QEMINTOptionProps->QEMHistoryManager.GetHistory(std::u16string(QEMRepositoryFileHistory));
}

std::u16string TQEMRepositoryFrame::RecentFileCaption(int Index) const {
  const auto files = RecentFiles();
  if (Index < 0 || size_t(Index) >= files.size()) return {};
  const std::u16string key =
      Index < 9 ? Format(SRpsRecentNumbered, Index + 1)
                : Format(SRpsRecentLettered, std::u16string(1, char16_t(u'A' + (Index - 9) % 26)));
  std::u16string name;
  for (const char16_t c : files[size_t(Index)]) {
    if (c == u'&') name += u'&';
    name += c;
  }
  return key + u" " + name;
}

bool TQEMRepositoryFrame::OpenRecent(int Index) {
  const auto files = RecentFiles();
  if (Index < 0 || size_t(Index) >= files.size()) return false;
  return OpenFile(files[size_t(Index)]);
}

// ---- Find ------------------------------------------------------------------------------------

std::vector<std::u16string> TQEMRepositoryFrame::FindHistory() const {
  if (!QEMINTOptionProps) return {};
  return QEMINTOptionProps->QEMHistoryManager.GetHistory(std::u16string(QEMRepositoryFindHistory));
}

bool TQEMRepositoryFrame::Find(const TQEMRepositoryFindOptions& Options) {
  FFind = Options;
  if (QEMINTOptionProps) {
    QEMINTOptionProps->RepositorySearchCaseSensitive = Options.CaseSensitive;
    QEMINTOptionProps->RepositorySearchForward = Options.Forward;
    QEMINTOptionProps->RepositorySearchWholeWords = Options.WholeWords;
    QEMINTOptionProps->QEMHistoryManager.AddHistory(std::u16string(QEMRepositoryFindHistory),
                                                    Options.Text);
  }
  return Search(FFind, true);
}

bool TQEMRepositoryFrame::FindNext() {
  if (FFind.Text.empty()) return false;
  return Search(FFind, false);
}

bool TQEMRepositoryFrame::Search(const TQEMRepositoryFindOptions& O, bool FromCurrent) {
  std::vector<int> cols;
  for (int c = 0; c < ColCount(); ++c)
    if (FCols[size_t(c)].Visible) cols.push_back(c);
  const int64_t nc = int64_t(cols.size());
  const int64_t total = int64_t(RowCount()) * nc;
  if (!O.Text.empty() && total > 0) {
    const std::u16string needle = O.CaseSensitive ? O.Text : Fold(O.Text);
    const int64_t step = O.Forward ? 1 : -1;
    const int64_t k = std::find(cols.begin(), cols.end(), FCurCol) - cols.begin();
    const int64_t here = int64_t(FCurRow) * nc + std::min(k, nc - 1);
    const int64_t start = FromCurrent ? here : here + step;
    int lastRow = -1;
    IQEMRepositoryRecordPtr record;
    for (int64_t i = 0; i < total; ++i) {
      int64_t cell = start + step * i;
      if (cell < 0 || cell >= total) {
        if (!O.Wrap) break;
        cell = (cell % total + total) % total;
      }
      const int row = int(cell / nc);
      const int col = cols[size_t(cell % nc)];
      if (row != lastRow) {
        record = FRepo->GetRecord(RowToRecord(row));
        lastRow = row;
      }
      if (record && CellMatches(record->GetString(FCols[size_t(col)].LangTag), needle,
                                O.CaseSensitive, O.WholeWords)) {
        SetCurrent(col, row);
        return true;
      }
    }
  }
  QEMUIServices().MessageBox(Format(SSearchNotFound, O.Text));
  return false;
}

// ---- Options ---------------------------------------------------------------------------------

TQEMRepositoryFrameOptions TQEMRepositoryFrame::LoadOptions() {
  TQEMRepositoryFrameOptions o;
  if (!QEMINTOptionProps) return o;
  const auto& p = *QEMINTOptionProps;
  o.Left = p.RepositoryLeft;
  o.Top = p.RepositoryTop;
  o.Width = p.RepositoryWidth;
  o.Height = p.RepositoryHeight;
  o.TextLabels = p.RepositoryTextLabels;
  o.LangToolBarExpanded = p.RepositoryLangToolBarExpanded;
  o.FormattedXML = p.RepositoryFormattedXML;
  return o;
}

void TQEMRepositoryFrame::SaveOptions(const TQEMRepositoryFrameOptions& Options) {
  if (!QEMINTOptionProps) return;
  auto& p = *QEMINTOptionProps;
  p.RepositoryLeft = Options.Left;
  p.RepositoryTop = Options.Top;
  p.RepositoryWidth = Options.Width;
  p.RepositoryHeight = Options.Height;
  p.RepositoryTextLabels = Options.TextLabels;
  p.RepositoryLangToolBarExpanded = Options.LangToolBarExpanded;
  p.RepositoryFormattedXML = Options.FormattedXML;
  p.SaveOptions();
}
