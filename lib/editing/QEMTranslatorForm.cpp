#include "editing/QEMTranslatorForm.h"

#include <algorithm>
#include <optional>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMEntryValidation.h"
#include "translator/QEMFileWarnings.h"

namespace {

constexpr TQEMColumnOrder kDefaultOrder = {
    idColIndex,   idColId,       idColOrig,     idColStatus,   idColCurr,
    idColCreated, idColModified, idColPrevOrig, idColPrevCurr, idColComment};

// The stored answer is a dialog result code of the platform.
constexpr int32_t kIdYes = 6, kIdNo = 7, kIdCancel = 2;
constexpr char16_t kRevertValue[] = u"RevertToOrig";
constexpr char16_t kRevertDontAskValue[] = u"RevertToOrig_DontAskAgain";

struct TRevertSetting {
  bool Loaded = false;
  bool DontAskAgain = false;
  int32_t Answer = 0;
};

TRevertSetting& RevertSetting() {
  static TRevertSetting setting;
  return setting;
}

constexpr TResStatuses kRevertFrom{rsTranslated, rsAutoTranslated, rsNewlyTranslated};
constexpr TResStatuses kRevertTo{rsUnTranslated, rsHold, rsDoNotTranslate};

class TFlagGuard {
public:
  explicit TFlagGuard(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TFlagGuard() { FFlag = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
  bool& FFlag;
};

bool SameContent(const auto& A, const auto& B) {
  return A.Id == B.Id && A.Orig == B.Orig && A.Xlat == B.Xlat && A.PrevOrig == B.PrevOrig &&
         A.PrevXlat == B.PrevXlat && A.Comment == B.Comment && A.Status == B.Status &&
         A.Created == B.Created;
}

TDateTime FileTimeOf(const std::u16string& Name) {
  timespec t{};
  return QEMGetFileTime(Name, t) ? QEMFileTimeToLocal(t) : 0;
}

std::vector<TQEMTranslatorFormModel*>& LiveModels() {
  static std::vector<TQEMTranslatorFormModel*> models;
  return models;
}

// Stands in for the user while an entry is only checked: notes the first thing a commit would
// show, and answers every question so that nothing is repaired or stored.
class TRecordingUIServices : public TQEMHeadlessUIServices {
public:
  TRecordingUIServices() : TQEMHeadlessUIServices([this](const std::u16string& M) { Note(M); }) {}
  bool AskYesNo(const std::u16string& Msg, bool, bool*) override {
    Note(Msg);
    return false;
  }
  TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer, bool*) override {
    Note(Msg);
    return TQEMAnswer::anNo;
  }
  bool WarningQuestion(const std::u16string& Msg, bool) override {
    Note(Msg);
    return false;
  }
  std::u16string First;

private:
  void Note(const std::u16string& Msg) {
    if (First.empty()) First = Msg;
  }
};

} // namespace

void QEMTranslatorFormLoadSettings() {
  TRevertSetting& s = RevertSetting();
  s = {};
  s.Loaded = true;
  try {
    TQEMRegistry reg;
    if (!reg.OpenKeyReadOnly(QEMBaseRegKey())) return;
    s.Answer = reg.SafeReadInt(kRevertValue, 0);
    s.DontAskAgain = reg.SafeReadInt(kRevertDontAskValue, 0) != 0;
  } catch (const EQEMError&) {
    // An unreadable hive only means the question is asked.
    s.DontAskAgain = false;
  }
}

void QEMTranslatorFormForgetSettings() {
  RevertSetting() = {};
}

// ---- life and file ----

TQEMTranslatorFormModel::TQEMTranslatorFormModel(const TQEMTranslatorMgrClass& AMgrClass,
                                                 TQEMTranslatorFormSettings ASettings)
    : FMgrClass(AMgrClass), FSettings(ASettings), FColIds(kDefaultOrder) {
  for (auto id : kDefaultOrder)
    FColVisible.Include(id);
  RebuildColumns();
  LiveModels().push_back(this);
  if (!RevertSetting().Loaded) QEMTranslatorFormLoadSettings();
  if (QEMGridFonts)
    QEMGridFonts->AddFontChangeEvent(
        TQEMFontChangeEvent::Bind<&TQEMTranslatorFormModel::FontsChanged>(this));
}

TQEMTranslatorFormSettings
TQEMTranslatorFormModel::SettingsFor(const TQEMTranslatorMgrClass& AMgrClass) {
  TQEMTranslatorFormSettings settings;
  settings.QuoteChar = QEMLiteralQuoteChar(AMgrClass);
  settings.CheckEscapes = settings.QuoteChar == u'"';
  settings.CheckFormatSpecifiers = settings.QuoteChar != 0;
  return settings;
}

TQEMTranslatorFormModel::~TQEMTranslatorFormModel() {
  std::erase(LiveModels(), this);
  if (QEMGridFonts)
    QEMGridFonts->RemoveFontChangeEvent(
        TQEMFontChangeEvent::Bind<&TQEMTranslatorFormModel::FontsChanged>(this));
}

void TQEMTranslatorFormModel::FontsChanged(TQEMGridFonts&) {
  Fire(Events.StyleChanged);
}

void TQEMTranslatorFormModel::FileDates(const std::u16string& Name, TDateTime& Xlat,
                                        TDateTime& Notes) const {
  Xlat = FileTimeOf(Name);
  Notes = FileTimeOf(FMgr ? FMgr->FileNameToNoteName(Name) : FMgrClass.FileNameToNoteName(Name));
}

void TQEMTranslatorFormModel::LoadFromFile(const std::u16string& AFileName, int32_t ACol,
                                           int32_t AMgrIndex) {
  if (!FileExists(AFileName)) {
    SetStatusMessage(Format(SFileNotFound, AFileName));
    SetGridVisible(false);
    return;
  }
  const bool mine = FMgr && QEMSameFileName(FFileName, AFileName);
  // A second manager over the same notes file would let the two windows overwrite each other.
  if (TQEMTranslatorFormModel* holder = mine ? nullptr : HolderOf(AFileName)) {
    holder->LoadFromFile(AFileName, ACol, AMgrIndex);
    Fire(OnOpenElsewhere, *holder);
    return;
  }
  if (mine) {
    TDateTime xlat = 0, notes = 0;
    FileDates(AFileName, xlat, notes);
    if (xlat == FFileDate && notes == FNotesDate) {
      SetGridVisible(true);
      MoveToItem(AMgrIndex, ACol);
      return;
    }
  }
  // Reading the file again, or another one, would drop what is not saved.
  if (QuerySave() == TCloseAnswer::caKeep) return;
  DoLoad(AFileName, ACol, AMgrIndex);
}

void TQEMTranslatorFormModel::DoLoad(const std::u16string& AFileName, int32_t ACol,
                                     int32_t AMgrIndex) {
  Fire(OnClearSearchResults);
  SetStatusMessage(Format(SGridLoading, AFileName));
  QEMUIServices().ProcessMessages();
  std::unique_ptr<TQEMTranslatorMgr> mgr;
  try {
    mgr = FMgrClass.Create(AFileName, true);
  } catch (const std::exception& E) {
    // The file shown so far, if any, stays as it was.
    const std::u16string msg = QEMExceptionMessage(E);
    SetStatusMessage(msg);
    QEMUIServices().ErrorBox(msg);
    return;
  }
  const bool sameFile = FMgr && QEMSameFileName(FFileName, AFileName);
  if (FMgr && !sameFile) ReportCounts();
  FMgr = std::move(mgr);
  FFileName = AFileName;
  FileDates(FFileName, FFileDate, FNotesDate);
  FFileStats = FMgr->Stats()->GetFileStats();
  FOrigList.clear();
  FDirtyList.clear();
  FSelection.clear();
  FCurrentRow = -1;
  FilterPass();
  FSavedTranslated = FTranslated;
  FSavedUntranslated = FUntranslated;
  if (!sameFile) {
    FReportedTranslated = FTranslated;
    FReportedUntranslated = FUntranslated;
  }
  SetStatusMessage(u"");
  Fire(Events.ColumnsChanged); // the captions name the file's languages
  SetGridVisible(true);
  MoveToItem(AMgrIndex, ACol);
}

void TQEMTranslatorFormModel::DropFile() {
  ReportCounts();
  FMgr.reset();
  FOrigList.clear();
  FDirtyList.clear();
  FSelection.clear();
  FRows.clear();
  FRowOfItem.clear();
  FCurrentRow = -1;
  FTranslated = FUntranslated = 0;
  Fire(Events.RowsReset);
  SetGridVisible(false);
}

void TQEMTranslatorFormModel::EditFile(const std::u16string& AFileName) {
  // The window holding the file stays where it was.
  const TQEMTranslatorFormModel* holder =
      FMgr && QEMSameFileName(FFileName, AFileName) ? this : HolderOf(AFileName);
  if (holder)
    LoadFromFile(AFileName, holder->FCurrentCol, std::max(holder->CurrentItemIndex(), 0));
  else
    LoadFromFile(AFileName, FCurrentCol, 0);
}

TQEMTranslatorFormModel* TQEMTranslatorFormModel::HolderOf(const std::u16string& FileName) {
  for (auto* model : LiveModels())
    if (model->FMgr && QEMSameFileName(model->FFileName, FileName)) return model;
  return nullptr;
}

bool TQEMTranslatorFormModel::BeforeBatch() {
  switch (QuerySave()) {
  case TCloseAnswer::caKeep:
    return false;
  case TCloseAnswer::caDiscarded:
    // The run would otherwise save the edits the user threw away.
    EditReset();
    return !IsDirty();
  default:
    return true;
  }
}

void TQEMTranslatorFormModel::AfterBatch() {
  if (!FMgr) return;
  if (!FileExists(FFileName)) {
    const std::u16string name = FFileName;
    DropFile();
    SetStatusMessage(Format(SFileNotFound, name));
    return;
  }
  TDateTime xlat = 0, notes = 0;
  FileDates(FFileName, xlat, notes);
  if (xlat != FFileDate || notes != FNotesDate) {
    // Items may have come or gone: the rows, the snapshot and the dates start afresh.
    const std::u16string name = FFileName;
    DoLoad(name, FCurrentCol, std::max(CurrentItemIndex(), 0));
    return;
  }
  FFileStats = FMgr->Stats()->GetFileStats();
  FilterPass();
  if (!IsDirty()) {
    FSavedTranslated = FTranslated;
    FSavedUntranslated = FUntranslated;
  }
}

std::u16string TQEMTranslatorFormModel::CheckEntry(int Row, TQEMAllColId Col,
                                                   const std::u16string& Text) const {
  if (!FMgr || Row < 0 || Row >= RowCount()) return {};
  switch (Col) {
  case idColStatus: {
    const int status = StrToStatusOrd(Text);
    if (status < 0) return Format(SGridUnknownStatus, Text);
    const TResStatus current = RowItem(Row)->GetStatus();
    if (status == current) return {};
    const auto offered = LookupStatuses(current);
    if (std::find(offered.begin(), offered.end(), TResStatus(status)) == offered.end())
      return Format(SGridStatusNotOffered, Text);
    return {};
  }
  case idColCreated:
  case idColModified:
    return QEMTryStrToDateTime(Text) ? std::u16string() : Format(SGridBadDateTime, Text);
  case idColCurr:
    break;
  default:
    return {};
  }
  const IQEMNotesItemPtr item = RowItem(Row);
  if (Text == item->GetXlatText()) return {};
  const auto recorder = std::make_shared<TRecordingUIServices>();
  {
    const TQEMUIServicesScope quiet(recorder);
    std::u16string text = Text;
    ValidateEntry(this, item->GetOrigText(), text, ColumnFont(idColOrig), ColumnFont(idColCurr),
                  FSettings.CheckFormatSpecifiers, FSettings.CheckEscapes, FSettings.QuoteChar);
  }
  return recorder->First;
}

void TQEMTranslatorFormModel::EditReset() {
  if (!FMgr) return;
  const std::u16string name = FFileName;
  DoLoad(name, FCurrentCol, std::max(CurrentItemIndex(), 0));
}

void TQEMTranslatorFormModel::Refresh() {
  FilterPass();
}

bool TQEMTranslatorFormModel::FileSave() {
  if (!FMgr) return false;
  try {
    TFlagGuard saving(FInSaveToFile);
    const auto stats = FMgr->Stats();
    FMgr->Save(true, stats->GetOrigLCID(), stats->GetXlatLCID(), false);
  } catch (const std::exception& E) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(E));
    return false;
  }
  FOrigList.clear();
  FDirtyList.clear();
  FileDates(FFileName, FFileDate, FNotesDate);
  FFileStats = FMgr->Stats()->GetFileStats();
  FSavedTranslated = FTranslated;
  FSavedUntranslated = FUntranslated;
  Fire(Events.StatusTextChanged);
  return true;
}

TQEMTranslatorFormModel::TCloseAnswer TQEMTranslatorFormModel::QuerySave() {
  if (!FMgr || !IsDirty() || FForceQuit) return TCloseAnswer::caClean;
  if (QEMINTOptionProps && QEMINTOptionProps->AutomaticSaveFiles)
    return FileSave() ? TCloseAnswer::caSaved : TCloseAnswer::caKeep;
  switch (
      QEMUIServices().AskYesNoCancel(std::u16string(SGridTranslationChanged), TQEMAnswer::anYes)) {
  case TQEMAnswer::anYes:
    return FileSave() ? TCloseAnswer::caSaved : TCloseAnswer::caKeep;
  case TQEMAnswer::anNo:
    return TCloseAnswer::caDiscarded;
  default:
    return TCloseAnswer::caKeep;
  }
}

bool TQEMTranslatorFormModel::CanQuit(bool) {
  const TCloseAnswer answer = QuerySave();
  if (answer == TCloseAnswer::caKeep) return false;
  if (answer == TCloseAnswer::caDiscarded) {
    // The manager stays registered for batch operations on this file: it must not keep edits
    // the user threw away.
    EditReset();
    if (IsDirty()) DropFile();
  }
  ReportCounts();
  return true;
}

void TQEMTranslatorFormModel::ReportCounts() {
  if (!FMgr) return;
  if (FSavedTranslated == FReportedTranslated && FSavedUntranslated == FReportedUntranslated)
    return;
  Fire(OnCountsChanged, FFileName, FReportedTranslated, FReportedUntranslated, FSavedTranslated,
       FSavedUntranslated);
  FReportedTranslated = FSavedTranslated;
  FReportedUntranslated = FSavedUntranslated;
}

void TQEMTranslatorFormModel::Idle(void*, bool& Done) {
  Done = true;
  if (FModalDlgFlag || FInSaveToFile || FCurrentRow < 0) return;
  RecheckDirty(CurrentItemIndex());
}

void TQEMTranslatorFormModel::Search() {
  Fire(OnSearch);
}

void TQEMTranslatorFormModel::SetVisible(bool Value) {
  FVisible = Value;
  Fire(Events.WindowChanged);
}

void TQEMTranslatorFormModel::ShowDockPanel() {
  FDockPanelVisible = true;
  Fire(Events.WindowChanged);
}

void TQEMTranslatorFormModel::HideDockPanel() {
  FDockPanelVisible = false;
  Fire(Events.WindowChanged);
}

void TQEMTranslatorFormModel::SetGridVisible(bool Value) {
  if (FGridVisible == Value) return;
  FGridVisible = Value;
  Fire(Events.GridVisibleChanged, Value);
}

void TQEMTranslatorFormModel::SetStatusMessage(std::u16string Value) {
  FStatusMessage = std::move(Value);
  Fire(Events.StatusTextChanged);
}

TFileStats TQEMTranslatorFormModel::FileStats() const {
  TFileStats s = FFileStats;
  s.Translated = FTranslated;
  s.UnTranslated = FUntranslated;
  return s;
}

// ---- columns ----

void TQEMTranslatorFormModel::RebuildColumns() {
  FShownCols.clear();
  FColOfId.fill(-1);
  for (auto id : FColIds)
    if (FColVisible.Contains(id)) {
      FColOfId[id] = int(FShownCols.size());
      FShownCols.push_back(id);
    }
  Fire(Events.ColumnsChanged);
}

bool TQEMTranslatorFormModel::SetColIds(const TQEMColumnOrder& Value) {
  TQEMColIds seen;
  for (auto id : Value) {
    if (id >= QEMGridColumnCount || seen.Contains(id)) return false;
    seen.Include(id);
  }
  FColIds = Value;
  RebuildColumns();
  return true;
}

void TQEMTranslatorFormModel::MoveColumn(int FromCol, int ToCol) {
  const int n = ColumnCount();
  if (FromCol < 0 || FromCol >= n || ToCol < 0 || ToCol >= n || FromCol == ToCol) return;
  const TQEMAllColId moving = FShownCols[size_t(FromCol)], target = FShownCols[size_t(ToCol)];
  std::vector<TQEMAllColId> order(FColIds.begin(), FColIds.end());
  std::erase(order, moving);
  auto at = std::find(order.begin(), order.end(), target);
  if (ToCol > FromCol) ++at;
  order.insert(at, moving);
  std::copy(order.begin(), order.end(), FColIds.begin());
  RebuildColumns();
}

int TQEMTranslatorFormModel::ColToEnum(int Col) const {
  return Col >= 0 && Col < ColumnCount() ? int(FShownCols[size_t(Col)]) : -1;
}

int TQEMTranslatorFormModel::EnumToCol(TQEMAllColId Id) const {
  return Id < QEMGridColumnCount ? FColOfId[Id] : -1;
}

void TQEMTranslatorFormModel::SetColumnVisible(TQEMAllColId Id, bool Value) {
  if (Id >= QEMGridColumnCount || FColVisible.Contains(Id) == Value) return;
  if (Value)
    FColVisible.Include(Id);
  else
    FColVisible.Exclude(Id);
  RebuildColumns();
}

void TQEMTranslatorFormModel::ShowAllColumns() {
  for (auto id : kDefaultOrder)
    FColVisible.Include(id);
  RebuildColumns();
}

void TQEMTranslatorFormModel::ShowNoColumns() {
  FColVisible = {};
  RebuildColumns();
}

void TQEMTranslatorFormModel::ToggleColumns() {
  for (auto id : kDefaultOrder)
    if (FColVisible.Contains(id))
      FColVisible.Exclude(id);
    else
      FColVisible.Include(id);
  RebuildColumns();
}

std::u16string TQEMTranslatorFormModel::ColumnCaption(TQEMAllColId Id) const {
  std::u16string orig = LCIDToLangName(FFileStats.OrigLCID);
  std::u16string xlat = LCIDToLangName(FFileStats.XlatLCID);
  if (orig == xlat) {
    orig = Format(SGridColOriginal, orig);
    xlat = Format(SGridColTranslated, xlat);
  }
  switch (Id) {
  case idColIndex:
    return std::u16string(SGridColIndex);
  case idColId:
    return std::u16string(SGridColId);
  case idColOrig:
    return orig;
  case idColStatus:
    return std::u16string(SGridColStatus);
  case idColCurr:
    return xlat;
  case idColCreated:
    return std::u16string(SGridColCreated);
  case idColModified:
    return std::u16string(SGridColModified);
  case idColPrevOrig:
    return Format(SGridColPrevious, orig);
  case idColPrevCurr:
    return Format(SGridColPrevious, xlat);
  case idColComment:
    return std::u16string(SGridColComment);
  default:
    return {};
  }
}

TLCIDType TQEMTranslatorFormModel::ColumnLCIDType(TQEMAllColId Id) {
  switch (Id) {
  case idColOrig:
  case idColPrevOrig:
    return LCIDOrig;
  case idColCurr:
  case idColPrevCurr:
    return LCIDXlat;
  case idColComment:
    return LCIDComment;
  default:
    return LCIDDefault;
  }
}

const TQEMFont* TQEMTranslatorFormModel::ColumnFont(TQEMAllColId Id) const {
  if (!QEMGridFonts) return nullptr;
  switch (ColumnLCIDType(Id)) {
  case LCIDOrig:
    return QEMGridFonts->GetFont(FFileStats.OrigLCID);
  case LCIDXlat:
    return QEMGridFonts->GetFont(FFileStats.XlatLCID);
  case LCIDComment:
    return &QEMGridFonts->CommentFont();
  default:
    return &QEMGridFonts->DefaultFont();
  }
}

// ---- rows and cells ----

int TQEMTranslatorFormModel::RowOfItemIndex(int Index) const {
  return Index >= 0 && size_t(Index) < FRowOfItem.size() ? FRowOfItem[size_t(Index)] : -1;
}

int TQEMTranslatorFormModel::DisplayLineOfItem(int Index) const {
  const int row = RowOfItemIndex(Index);
  return row < 0 ? -1 : row + 1;
}

IQEMNotesItemPtr TQEMTranslatorFormModel::ItemAt(int Index) const {
  return FMgr->Items()->Get(Index);
}

IQEMNotesItemPtr TQEMTranslatorFormModel::RowItem(int Row) const {
  return ItemAt(FRows.at(size_t(Row)));
}

std::u16string TQEMTranslatorFormModel::CellText(int Row, TQEMAllColId Col) const {
  if (Col == idColIndex) {
    (void)FRows.at(size_t(Row));
    return IntToStr(Row + 1);
  }
  return QEMItemColumnText(*RowItem(Row), Col);
}

TQEMTranslatorFormModel::TItemSnapshot
TQEMTranslatorFormModel::Snapshot(const IQEMNotesItem& Item) {
  TItemSnapshot s;
  s.Id = Item.GetID();
  s.Orig = Item.GetOrigText();
  s.Xlat = Item.GetXlatText();
  if (Item.GetPrevCount() > 0) {
    s.PrevOrig = Item.GetPrevOrigText(0);
    s.PrevXlat = Item.GetPrevXlatText(0);
  }
  s.Comment = Item.GetComment();
  s.Status = Item.GetStatus();
  s.Created = Item.GetCreated();
  s.Modified = Item.GetModified();
  const auto* own = dynamic_cast<const TQEMNotesItem*>(&Item);
  s.StoredModified = own ? own->StoredModified() : s.Modified;
  return s;
}

bool TQEMTranslatorFormModel::EditItem(int Index, const std::function<bool(IQEMNotesItem&)>& Change,
                                       bool Stamp) {
  if (!FMgr) return false;
  const IQEMNotesItemPtr item = ItemAt(Index);
  auto [entry, fresh] = FOrigList.try_emplace(Index);
  if (fresh) entry->second.Data = Snapshot(*item);
  const TResStatus before = item->GetStatus();
  bool changed = false;
  try {
    changed = Change(*item);
  } catch (...) {
    if (fresh) FOrigList.erase(entry);
    throw;
  }
  if (!changed) {
    if (fresh) FOrigList.erase(entry);
    return false;
  }
  if (Stamp)
    item->SetModified(QEMNow());
  else
    entry->second.ModifiedSet = true;
  const TItemSnapshot& orig = entry->second.Data;
  const TItemSnapshot now = Snapshot(*item);
  bool clean = SameContent(now, orig);
  if (clean && entry->second.ModifiedSet)
    clean = now.Modified == orig.Modified;
  else if (clean)
    item->SetModified(orig.StoredModified); // back to the file's text, so back to its time
  if (clean) {
    FOrigList.erase(entry);
    FDirtyList.erase(Index);
  } else
    FDirtyList.insert(Index);
  const TResStatus after = item->GetStatus();
  if (after != before) {
    CountStatus(before, -1);
    CountStatus(after, 1);
  }
  const int row = RowOfItemIndex(Index);
  if (row >= 0) Fire(Events.RowChanged, row);
  Fire(Events.StatusTextChanged);
  return true;
}

void TQEMTranslatorFormModel::RecheckDirty(int Index) {
  const auto entry = FOrigList.find(Index);
  if (entry == FOrigList.end() || !FMgr) return;
  const TItemSnapshot now = Snapshot(*ItemAt(Index));
  const bool clean = SameContent(now, entry->second.Data) &&
                     (!entry->second.ModifiedSet || now.Modified == entry->second.Data.Modified);
  if (clean == !FDirtyList.contains(Index)) return;
  if (clean)
    FDirtyList.erase(Index);
  else
    FDirtyList.insert(Index);
  Fire(Events.StatusTextChanged);
}

void TQEMTranslatorFormModel::CountStatus(TResStatus Status, int Delta) {
  if (!QEMIsValidStatus(Status)) return;
  if (QEMTranslatedStatuses.Contains(Status))
    FTranslated += Delta;
  else if (QEMUnTranslatedStatuses.Contains(Status))
    FUntranslated += Delta;
}

void TQEMTranslatorFormModel::SetCellText(int Row, TQEMAllColId Col, const std::u16string& Text) {
  const int index = FRows.at(size_t(Row));
  // Read what the text stands for first, so a refused text changes nothing.
  std::optional<TDateTime> date;
  int status = -1;
  if (Col == idColCreated || Col == idColModified) {
    date = QEMTryStrToDateTime(Text);
    if (!date) throw EQEMError(Format(SGridBadDateTime, Text));
  } else if (Col == idColStatus) {
    status = StrToStatusOrd(Text);
    if (status < 0) throw EQEMError(Format(SGridUnknownStatus, Text));
  }
  const auto setText = [&](std::u16string Old, auto Set) {
    if (Old == Text) return false;
    Set(Text);
    return true;
  };
  EditItem(
      index,
      [&](IQEMNotesItem& It) {
        switch (Col) {
        case idColId:
          return setText(It.GetID(), [&](auto& V) { It.SetID(V); });
        case idColOrig:
          return setText(It.GetOrigText(), [&](auto& V) { It.SetOrigText(V); });
        case idColStatus:
          if (It.GetStatus() == status) return false;
          It.SetStatus(TResStatus(status));
          return true;
        case idColCurr:
          return setText(It.GetXlatText(), [&](auto& V) { It.SetXlatText(V); });
        case idColCreated:
          // The cell shows seconds: the same text typed again is no change.
          if (QEMDateTimeToStr(It.GetCreated()) == QEMDateTimeToStr(*date)) return false;
          It.SetCreated(*date);
          return true;
        case idColModified:
          if (QEMDateTimeToStr(It.GetModified()) == QEMDateTimeToStr(*date)) return false;
          It.SetModified(*date);
          return true;
        case idColPrevOrig:
          if (It.GetPrevCount() == 0) {
            if (Text.empty()) return false;
            It.AddPrev(Text, u"", u"");
            return true;
          }
          return setText(It.GetPrevOrigText(0), [&](auto& V) { It.SetPrevOrigText(0, V); });
        case idColPrevCurr:
          if (It.GetPrevCount() == 0) {
            if (Text.empty()) return false;
            It.AddPrev(u"", Text, u"");
            return true;
          }
          return setText(It.GetPrevXlatText(0), [&](auto& V) { It.SetPrevXlatText(0, V); });
        case idColComment:
          return setText(It.GetComment(), [&](auto& V) { It.SetComment(V); });
        default:
          return false; // the row number is not stored
        }
      },
      Col != idColModified);
}

bool TQEMTranslatorFormModel::AcceptEdit(int Row, TQEMAllColId Col, const std::u16string& Text) {
  if (Col == idColStatus) {
    const int status = StrToStatusOrd(Text);
    if (status < 0) {
      QEMUIServices().ErrorBox(Format(SGridUnknownStatus, Text));
      return false;
    }
    try {
      return ChooseStatus(Row, TResStatus(status));
    } catch (const EQEMError& E) {
      QEMUIServices().ErrorBox(E.Message());
      return false;
    }
  }
  if (Col != idColCurr) {
    try {
      SetCellText(Row, Col, Text);
    } catch (const EQEMError& E) {
      QEMUIServices().ErrorBox(E.Message());
      return false;
    }
    return true;
  }
  const int index = FRows.at(size_t(Row));
  const IQEMNotesItemPtr item = ItemAt(index);
  const std::u16string before = item->GetXlatText();
  if (Text == before) return true;
  std::u16string text = Text;
  if (!ValidateEntry(this, item->GetOrigText(), text, ColumnFont(idColOrig), ColumnFont(idColCurr),
                     FSettings.CheckFormatSpecifiers, FSettings.CheckEscapes, FSettings.QuoteChar))
    return false;
  EditItem(index, [&](IQEMNotesItem& It) {
    if (text == before) return false; // the repair gave back what was there
    It.SetXlatText(text);
    const TResStatus s = It.GetStatus();
    // A text equal to the original is no translation, whatever its case.
    if (s != rsTranslated && s != rsNewlyTranslated && !QEMSameText(text, It.GetOrigText()))
      It.SetStatus(EditedStatus());
    return true;
  });
  return true;
}

bool TQEMTranslatorFormModel::CellEditable(int Row, TQEMAllColId Col) const {
  if (!FMgr || Row < 0 || Row >= RowCount() || Col == idColIndex || Col >= QEMGridColumnCount)
    return false;
  if (Col == idColStatus) return !LookupStatuses(RowItem(Row)->GetStatus()).empty();
  return true;
}

TQEMCellStyle TQEMTranslatorFormModel::CellStyle(int Row, TQEMAllColId Col) const {
  TQEMCellStyle style;
  style.Font = ColumnFont(Col);
  const TQEMColorScheme* scheme =
      QEMColorSchemes ? QEMColorSchemes->SelectedColorsScheme() : nullptr;
  if (!scheme || !QEMColorSchemes->GetUseColors()) return style;
  style.UseColors = true;
  if (RowSelected(Row)) {
    style.Background = scheme->GetColor(iclSelectionBackground);
    style.Foreground = scheme->GetColor(iclSelectionForeground);
    return style;
  }
  const bool edit = CellEditable(Row, Col);
  style.Background = scheme->GetColor(edit ? iclEditBackgroundColor : iclNon_EditBackgroundColor);
  style.Foreground = scheme->GetColor(edit ? iclEditForegroundColor : iclNon_EditForegroundColor);
  if (Col == idColStatus && Row >= 0 && Row < RowCount())
    style.Background = scheme->GetColor(QEMStatusColorSlot(RowItem(Row)->GetStatus()));
  return style;
}

// ---- status ----

std::vector<TResStatus> TQEMTranslatorFormModel::LookupStatuses(TResStatus Current) {
  switch (Current) {
  case rsUnTranslated:
  case rsTranslated:
  case rsHold:
    return {rsUnTranslated, rsTranslated, rsDoNotTranslate, rsHold};
  case rsAutoTranslated:
    return {rsUnTranslated, rsTranslated, rsDoNotTranslate, rsHold, rsAutoTranslated};
  case rsNewlyTranslated:
    return {rsUnTranslated, rsTranslated, rsNewlyTranslated};
  case rsDoNotTranslate:
    return {rsUnTranslated, rsDoNotTranslate, rsHold};
  default:
    return {};
  }
}

void TQEMTranslatorFormModel::CheckRowStatus(int Row, TResStatus Status) const {
  if (!QEMIsValidStatus(Status)) throw EQEMError(Format(SGridStatusLookup, Row + 1));
}

bool TQEMTranslatorFormModel::StatusHasLookupValues(int Row) const {
  const TResStatus status = RowItem(Row)->GetStatus();
  CheckRowStatus(Row, status);
  return !LookupStatuses(status).empty();
}

std::vector<std::u16string> TQEMTranslatorFormModel::StatusLookupValues(int Row) const {
  const TResStatus status = RowItem(Row)->GetStatus();
  CheckRowStatus(Row, status);
  std::vector<std::u16string> names;
  for (auto s : LookupStatuses(status))
    names.push_back(QEMStatusToString(s));
  return names;
}

TQEMAnswer TQEMTranslatorFormModel::AskRevert() {
  TRevertSetting& setting = RevertSetting();
  if (!setting.Loaded) QEMTranslatorFormLoadSettings();
  if (setting.DontAskAgain) {
    switch (setting.Answer) {
    case kIdYes:
      return TQEMAnswer::anYes;
    case kIdNo:
      return TQEMAnswer::anNo;
    case kIdCancel:
      return TQEMAnswer::anCancel;
    default:
      break; // nothing usable stored: ask
    }
  }
  bool dontAsk = false;
  TQEMAnswer answer;
  {
    TFlagGuard modal(FModalDlgFlag);
    answer = QEMUIServices().AskYesNoCancel(std::u16string(SGridRevertToOriginal),
                                            TQEMAnswer::anCancel, &dontAsk);
  }
  if (answer != TQEMAnswer::anYes && answer != TQEMAnswer::anNo) answer = TQEMAnswer::anCancel;
  if (dontAsk) {
    setting.DontAskAgain = true;
    setting.Answer = answer == TQEMAnswer::anYes  ? kIdYes
                     : answer == TQEMAnswer::anNo ? kIdNo
                                                  : kIdCancel;
    try {
      TQEMRegistry reg;
      if (reg.OpenKey(QEMBaseRegKey(), true)) {
        reg.WriteInteger(kRevertValue, setting.Answer);
        reg.WriteBool(kRevertDontAskValue, true);
        reg.Flush();
      }
    } catch (const EQEMError& E) {
      // The answer holds for this session all the same.
      QEMUIServices().ErrorBox(E.Message());
    }
  }
  return answer;
}

bool TQEMTranslatorFormModel::ApplyStatus(int Row, TResStatus Status, bool Quiet, bool& Cancelled) {
  const int index = FRows.at(size_t(Row));
  const IQEMNotesItemPtr item = ItemAt(index);
  const TResStatus old = item->GetStatus();
  CheckRowStatus(Row, old);
  if (old == Status) return true;
  const auto offered = LookupStatuses(old);
  if (std::find(offered.begin(), offered.end(), Status) == offered.end()) {
    if (!Quiet) QEMUIServices().ErrorBox(Format(SGridStatusNotOffered, QEMStatusToString(Status)));
    return false;
  }
  bool revert = false;
  if (kRevertFrom.Contains(old) && kRevertTo.Contains(Status) &&
      !QEMSameText(item->GetXlatText(), item->GetOrigText())) {
    const TQEMAnswer answer = AskRevert();
    if (answer != TQEMAnswer::anYes) {
      Cancelled = answer == TQEMAnswer::anCancel;
      Fire(Events.RowChanged, Row); // the drop-down showed the refused status
      return false;
    }
    revert = true;
  }
  EditItem(index, [&](IQEMNotesItem& It) {
    if (revert) It.SetXlatText(It.GetOrigText());
    It.SetStatus(Status);
    return true;
  });
  return true;
}

bool TQEMTranslatorFormModel::ChooseStatus(int Row, TResStatus Status) {
  bool cancelled = false;
  return ApplyStatus(Row, Status, false, cancelled);
}

// ---- current cell and selection ----

void TQEMTranslatorFormModel::SetCurrentCell(int Row, TQEMAllColId Col) {
  if (Row < 0 || Row >= RowCount()) Row = RowCount() > 0 ? std::clamp(Row, 0, RowCount() - 1) : -1;
  if (Col >= QEMGridColumnCount) Col = FCurrentCol;
  if (Row == FCurrentRow && Col == FCurrentCol) return;
  FCurrentRow = Row;
  FCurrentCol = Col;
  Fire(Events.CurrentCellChanged, FCurrentRow, FCurrentCol);
  Fire(Events.StatusTextChanged);
}

void TQEMTranslatorFormModel::MoveToItem(int32_t Index, int32_t Col) {
  const TQEMAllColId col = Col >= 0 && Col < QEMGridColumnCount ? TQEMAllColId(Col) : FCurrentCol;
  int row = -1;
  if (!FRows.empty()) {
    // A filtered-out item: the next row shown.
    const auto it = std::lower_bound(FRows.begin(), FRows.end(), std::max(Index, 0));
    row = it == FRows.end() ? RowCount() - 1 : int(it - FRows.begin());
  }
  SetCurrentCell(row, col);
}

bool TQEMTranslatorFormModel::GotoItem(int Index, TQEMAllColId Col) {
  const int row = RowOfItemIndex(Index);
  if (row < 0) return false;
  SetCurrentCell(row, Col);
  return true;
}

void TQEMTranslatorFormModel::SetSelection(const std::vector<int>& Rows) {
  FSelection.clear();
  for (int row : Rows)
    if (row >= 0 && row < RowCount()) FSelection.push_back(FRows[size_t(row)]);
  std::sort(FSelection.begin(), FSelection.end());
  FSelection.erase(std::unique(FSelection.begin(), FSelection.end()), FSelection.end());
}

void TQEMTranslatorFormModel::SelectRange(int FirstRow, int LastRow) {
  FSelection.clear();
  if (FirstRow > LastRow) std::swap(FirstRow, LastRow);
  FirstRow = std::max(FirstRow, 0);
  LastRow = std::min(LastRow, RowCount() - 1);
  for (int row = FirstRow; row <= LastRow; ++row)
    FSelection.push_back(FRows[size_t(row)]);
}

void TQEMTranslatorFormModel::SelectAll() {
  FSelection = FRows;
}

void TQEMTranslatorFormModel::ClearSelection() {
  FSelection.clear();
}

bool TQEMTranslatorFormModel::RowSelected(int Row) const {
  return Row >= 0 && Row < RowCount() &&
         std::binary_search(FSelection.begin(), FSelection.end(), FRows[size_t(Row)]);
}

std::vector<int> TQEMTranslatorFormModel::SelectedRows() const {
  std::vector<int> rows;
  rows.reserve(FSelection.size());
  for (int index : FSelection)
    if (const int row = RowOfItemIndex(index); row >= 0) rows.push_back(row);
  return rows;
}

std::vector<int> TQEMTranslatorFormModel::TargetRows() const {
  if (!FSelection.empty()) return SelectedRows();
  if (FCurrentRow >= 0) return {FCurrentRow};
  return {};
}
