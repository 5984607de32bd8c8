// The translator window's commands: copy and change actions, the next untranslated item,
// filters with their counts, the repository menu and the status-bar texts.
#include "editing/QEMTranslatorForm.h"

#include <algorithm>

#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"

// ---- copy and change actions ----

void TQEMTranslatorFormModel::CopyOrig() {
  for (int row : TargetRows())
    EditItem(FRows[size_t(row)], [](IQEMNotesItem& It) {
      const std::u16string orig = It.GetOrigText();
      if (orig.empty()) return false;
      if (It.GetXlatText() == orig && It.GetStatus() == rsUnTranslated) return false;
      It.SetXlatText(orig);
      It.SetStatus(rsUnTranslated);
      return true;
    });
}

void TQEMTranslatorFormModel::CopyPrevXlat() {
  for (int row : TargetRows())
    EditItem(FRows[size_t(row)], [](IQEMNotesItem& It) {
      const std::u16string prev = It.GetPrevCount() > 0 ? It.GetPrevXlatText(0) : u"";
      if (prev.empty()) return false;
      if (It.GetXlatText() == prev && It.GetStatus() == EditedStatus()) return false;
      It.SetXlatText(prev);
      It.SetStatus(EditedStatus());
      return true;
    });
}

void TQEMTranslatorFormModel::CopyPrevLine() {
  // Top down, so a selection is filled with the translation of the row above it.
  for (int row : TargetRows())
    if (row > 0) SetCellText(row, idColCurr, CellText(row - 1, idColCurr));
}

void TQEMTranslatorFormModel::ChangeToXlat() {
  for (int row : TargetRows())
    EditItem(FRows[size_t(row)], [](IQEMNotesItem& It) {
      if (It.GetStatus() == rsUnused || It.GetStatus() == EditedStatus()) return false;
      It.SetStatus(EditedStatus());
      return true;
    });
}

void TQEMTranslatorFormModel::ChangeStatusOfSelection(TResStatus Status) {
  for (int row : TargetRows()) {
    const TResStatus old = RowItem(row)->GetStatus();
    // Rows whose status cannot take this one are passed over without a word.
    if (!QEMIsValidStatus(old)) continue;
    const auto offered = LookupStatuses(old);
    if (std::find(offered.begin(), offered.end(), Status) == offered.end()) continue;
    bool cancelled = false;
    ApplyStatus(row, Status, true, cancelled);
    if (cancelled) break;
  }
}

bool TQEMTranslatorFormModel::FindNext() {
  if (!FMgr) return false;
  const auto items = FMgr->Items();
  int start = FCurrentRow + 1;
  for (bool wrapped = false;; wrapped = true) {
    for (int row = start; row < RowCount(); ++row)
      if (items->Get(FRows[size_t(row)])->GetStatus() == rsUnTranslated) {
        SetCurrentCell(row, FCurrentCol);
        return true;
      }
    if (wrapped) {
      QEMUIServices().MessageBox(std::u16string(SGridNoMoreUntranslated));
      return false;
    }
    if (!QEMUIServices().AskYesNo(std::u16string(SGridNoUntranslatedFound), false)) return false;
    start = 0;
  }
}

// ---- filters ----

bool TQEMTranslatorFormModel::RowPasses(int Index, TResStatus Status) {
  // A status no filter names is shown: nothing may vanish from sight unnoticed.
  if (QEMIsValidStatus(Status) && !Filter(FilterIds(Status))) return false;
  if (FShowOnlyStrings && !FMgr->IsStringType(Index)) return false;
  return FMgr->IsLineVisible(Index);
}

void TQEMTranslatorFormModel::FilterPass(int Only) {
  const int keep = CurrentItemIndex();
  std::vector<int> old;
  old.swap(FRows);
  FTranslated = FUntranslated = 0;
  if (!FMgr) {
    FRowOfItem.clear();
    RowsChanged(keep);
    return;
  }
  const auto items = FMgr->Items();
  const int n = items->Count();
  FRowOfItem.assign(size_t(n), -1);
  FRows.reserve(Only >= 0 ? old.size() : size_t(n));
  size_t k = 0;
  for (int i = 0; i < n; ++i) {
    const TResStatus status = items->Get(i)->GetStatus();
    CountStatus(status, 1);
    bool shown;
    if (Only >= 0 && status != Only) {
      // Rows of the other statuses stay exactly as they were.
      while (k < old.size() && old[k] < i)
        ++k;
      shown = k < old.size() && old[k] == i;
    } else
      shown = RowPasses(i, status);
    if (shown) {
      FRowOfItem[size_t(i)] = int(FRows.size());
      FRows.push_back(i);
    }
  }
  RowsChanged(keep);
}

void TQEMTranslatorFormModel::RowsChanged(int KeepItem) {
  std::erase_if(FSelection, [this](int Index) { return RowOfItemIndex(Index) < 0; });
  FCurrentRow = -1;
  if (!FRows.empty()) {
    // The current item stays current, or the next one shown takes its place.
    const auto it = std::lower_bound(FRows.begin(), FRows.end(), std::max(KeepItem, 0));
    FCurrentRow = it == FRows.end() ? RowCount() - 1 : int(it - FRows.begin());
  }
  Fire(Events.RowsReset);
  Fire(Events.CurrentCellChanged, FCurrentRow, FCurrentCol);
  Fire(Events.StatusTextChanged);
}

void TQEMTranslatorFormModel::SetFilter(FilterIds Id, bool Value) {
  if (!QEMIsValidStatus(Id) || Filter(Id) == Value) return;
  if (Value)
    FFilters = TFilterIdSet(FFilters | (1u << Id));
  else
    FFilters = TFilterIdSet(FFilters & ~(1u << Id));
  FilterPass(Id);
}

void TQEMTranslatorFormModel::SetFilters(TFilterIdSet Value) {
  if (FFilters == Value) return;
  FFilters = Value;
  FilterPass();
}

void TQEMTranslatorFormModel::SetShowOnlyStrings(bool Value) {
  if (FShowOnlyStrings == Value) return;
  FShowOnlyStrings = Value;
  FilterPass();
}

// ---- repository menu ----

void TQEMTranslatorFormModel::RepositoryAddStringsToRep() {
  if (!FMgr) return;
  auto& services = QEMRepositoryServices();
  try {
    services.Init();
    services.SetOrigLCID(FFileStats.OrigLCID);
    services.SetXlatLCID(FFileStats.XlatLCID);
    for (int row : TargetRows()) {
      if (services.UserCanceled()) break;
      FMgr->AddItemToRepository(FRows[size_t(row)]);
    }
  } catch (const std::exception& E) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(E));
  }
  SetStatusMessage(services.AddStatusText());
}

void TQEMTranslatorFormModel::RepositoryGetStringsFromRep() {
  if (!FMgr) return;
  auto& services = QEMRepositoryServices();
  std::vector<int> wanted;
  for (int row : TargetRows())
    if (RowItem(row)->GetStatus() == rsUnTranslated) wanted.push_back(FRows[size_t(row)]);
  try {
    services.Init();
    services.SetOrigLCID(FFileStats.OrigLCID);
    services.SetXlatLCID(FFileStats.XlatLCID);
    for (size_t k = 0; k < wanted.size() && !services.UserCanceled(); ++k) {
      services.SetSkipEnabled(k + 1 < wanted.size());
      const std::u16string found = FMgr->GetItemFromRepository(wanted[k]);
      if (!services.FromRepository()) continue;
      EditItem(wanted[k], [&](IQEMNotesItem& It) {
        It.SetXlatText(found);
        It.SetStatus(EditedStatus());
        return true;
      });
    }
  } catch (const std::exception& E) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(E));
  }
  SetStatusMessage(services.GetStatusText());
}

// ---- status bar ----

std::u16string TQEMTranslatorFormModel::StatusPanel(TQEMStatusPanel Panel) const {
  switch (Panel) {
  case spPosition:
    if (FCurrentRow < 0) return std::u16string(SGridNoPosition);
    return Format(SGridPosition, FCurrentRow + 1, RowCount());
  case spTranslated:
    return Format(SStatusCount, SStatusTranslated, FTranslated);
  case spUntranslated:
    return Format(SStatusCount, SStatusUntranslated, FUntranslated);
  case spItemId:
    return FCurrentRow < 0 ? std::u16string() : RowItem(FCurrentRow)->GetID();
  case spFileName:
    return FFileName;
  }
  return {};
}

int32_t TQEMTranslatorFormModel::Find(const TfrmQEMSearchForm& Form,
                                      TfrmQEMSearchResults& Results) {
  if (!FMgr) return 0;
  // Captions by value: the results may outlive this window.
  std::array<std::u16string, QEMColIdHigh + 1> captions;
  for (int c = QEMColIdLow; c <= QEMColIdHigh; ++c)
    captions[size_t(c)] = ColumnCaption(TQEMAllColId(c));
  Results.SetColumnCaption([captions](TQEMAllColId Col) {
    return Col <= QEMColIdHigh ? captions[Col] : std::u16string();
  });
  TQEMFindContext context;
  const auto stats = FMgr->Stats();
  context.OrigLCID = stats->GetOrigLCID();
  context.XlatLCID = stats->GetXlatLCID();
  context.SelectedRows = SelectedItemIndexes();
  context.RowVisible = [this](int Index) { return RowOfItemIndex(Index) >= 0; };
  return QEMRunFind(*FMgr, Form, context, Results);
}
