#include "translator/QEMTranslatorMgr.h"

#include <algorithm>

#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"

namespace {

// Registered managers; an item is removed when its manager dies, so the list never dangles.
std::vector<TQEMTranslatorMgr*>& Registry() {
  static std::vector<TQEMTranslatorMgr*> list;
  return list;
}

} // namespace

TQEMTranslatorMgrClass::~TQEMTranslatorMgrClass() = default;

TQEMTranslatorMgr::TQEMTranslatorMgr(const TQEMTranslatorMgrClass& AClass) : FClass(AClass) {
  FNotesFile = std::dynamic_pointer_cast<IQEMNotesFile>(AClass.GetNotesClass().Create());
  if (!FNotesFile) throw EQEMError(std::u16string(SMgrNoNotesClass));
  FSearchSettings = std::make_unique<TQEMSearchSettings>();
  Registry().push_back(this);
}

TQEMTranslatorMgr::~TQEMTranslatorMgr() {
  std::erase(Registry(), this);
}

int32_t TQEMTranslatorMgr::GetItemCount(TResStatuses Statuses) {
  const auto items = Items();
  int32_t n = 0;
  for (int i = 0, c = items->Count(); i < c; ++i)
    if (Statuses.Contains(items->Get(i)->GetStatus())) ++n;
  return n;
}

void TQEMTranslatorMgr::AddItemToRepository(int Index) {
  const auto item = Items()->Get(Index);
  QEMRepositoryServices().SetTranslation(ConvertToRawString(item->GetOrigText()),
                                         ConvertToRawString(item->GetXlatText()));
}

std::u16string TQEMTranslatorMgr::GetItemFromRepository(int Index) {
  const auto item = Items()->Get(Index);
  auto& services = QEMRepositoryServices();
  // Without a seed the services answer a miss with the original, which would overwrite the
  // translation: a miss keeps the item's own translation.
  services.SetSeed(ConvertToRawString(item->GetXlatText()));
  std::u16string result;
  services.GetTranslation(ConvertToRawString(item->GetOrigText()), result);
  return ConvertFromRawString(result);
}

bool TQEMTranslatorMgr::IsLineVisible(int) {
  return true;
}
bool TQEMTranslatorMgr::IsStorable(int) {
  return true;
}
bool TQEMTranslatorMgr::IsStringType(int) {
  return true;
}
void TQEMTranslatorMgr::RecreateXlat() {}
std::u16string TQEMTranslatorMgr::ConvertFromRawString(const std::u16string& S) {
  return FClass.ConvertFromRawString(S);
}
std::u16string TQEMTranslatorMgr::ConvertToRawString(const std::u16string& S) {
  return FClass.ConvertToRawString(S);
}
std::u16string TQEMTranslatorMgr::FileNameToNoteName(const std::u16string& AFileName) {
  return FClass.FileNameToNoteName(AFileName);
}
const TQEMBaseNotesFileClass& TQEMTranslatorMgr::GetNotesClass() {
  return FClass.GetNotesClass();
}

void TQEMTranslatorMgr::InitRepositoryServices() {
  auto& services = QEMRepositoryServices();
  services.Init();
  const auto stats = Stats();
  services.SetOrigLCID(stats->GetOrigLCID());
  services.SetXlatLCID(stats->GetXlatLCID());
}

void TQEMTranslatorMgr::WithContext(bool UseContext, int Index, const std::function<void()>& Body) {
  auto& services = QEMRepositoryServices();
  if (UseContext) services.SetContextID(FFileName + u":" + Items()->Get(Index)->GetID());
  try {
    Body();
  } catch (...) {
    if (UseContext) services.SetContextID(u"");
    throw;
  }
  if (UseContext) services.SetContextID(u"");
}

bool TQEMTranslatorMgr::ApplyComment(IQEMNotesItem& Item, bool Comment, bool CommentAction,
                                     const std::u16string& CommentString) {
  if (!Comment || CommentString.empty()) return false;
  std::u16string c = Item.GetComment();
  const auto p = c.find(CommentString);
  if (CommentAction && p == std::u16string::npos)
    c += CommentString;
  else if (!CommentAction && p != std::u16string::npos)
    c.erase(p, CommentString.size());
  else
    return false;
  Item.SetComment(c);
  return true;
}

void TQEMTranslatorMgr::AddToRepository(const TQEMAddToRepositoryData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  for (int i = 0; i < items->Count() && !services.UserCanceled(); ++i) {
    const auto item = items->Get(i);
    if (!IsStorable(i) || !Data.Status.Contains(item->GetStatus())) continue;
    const bool same = item->GetXlatText() == item->GetOrigText();
    if ((Data.ValueType == 0 && same) || (Data.ValueType == 1 && !same) || Data.ValueType < 0 ||
        Data.ValueType > 2)
      continue;
    if (Data.Comment && !Data.CommentString.empty()) {
      const bool has = item->GetComment().find(Data.CommentString) != std::u16string::npos;
      if (has != Data.CommentAction) continue;
    }
    WithContext(Data.IncludeContext, i, [&] { AddItemToRepository(i); });
  }
}

void TQEMTranslatorMgr::GetFromRepository(const TQEMGetFromRepositoryData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  bool changed = false;
  for (int i = 0; i < items->Count() && !services.UserCanceled(); ++i) {
    const auto item = items->Get(i);
    if (!IsStorable(i) || !Data.CurrentStatus.Contains(item->GetStatus())) continue;
    services.SetComment(item->GetComment());
    std::u16string found;
    WithContext(Data.UseContext, i, [&] { found = GetItemFromRepository(i); });
    // A miss leaves the translation exactly as it was, not passed through the conversions.
    if (services.FromRepository()) item->SetXlatText(found);
    if (!services.UserSkipped() && !services.UserCanceled()) item->SetComment(services.Comment());
    if (services.FromRepository()) {
      item->SetStatus(Data.NewStatus);
      item->SetModified(QEMNow());
      ApplyComment(*item, Data.Comment, Data.CommentAction, Data.CommentString);
      changed = true;
    }
  }
  if (changed) Save(true, 0, 0, false);
}

void TQEMTranslatorMgr::ChangeStatus(const TQEMChangeStatusData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  bool changed = false;
  for (int i = 0; i < items->Count(); ++i) {
    const auto item = items->Get(i);
    if (!Data.CurrentStatus.Contains(item->GetStatus())) continue;
    if (Data.UseRepository) {
      if (services.UserCanceled()) break;
      // Only asks whether the repository holds the item; the text found is not stored.
      WithContext(Data.UseContext, i, [&] { GetItemFromRepository(i); });
      if (!services.FoundInRepository()) continue;
    }
    item->SetStatus(Data.NewStatus);
    if (Data.Revert) {
      item->SetXlatText(item->GetOrigText());
      item->SetModified(QEMNow());
    }
    ApplyComment(*item, Data.Comment, Data.CommentAction, Data.CommentString);
    changed = true;
  }
  if (changed) Save(true, 0, 0, false);
}

void TQEMTranslatorMgr::CalcStats(int32_t& Translated, int32_t& Untranslated) {
  Translated = GetItemCount(QEMTranslatedStatuses);
  Untranslated = GetItemCount(QEMUnTranslatedStatuses);
}

void TQEMTranslatorMgr::ReCalcStats(int32_t& Translated, int32_t& Untranslated) {
  const auto items = Items();
  for (int i = 0, c = items->Count(); i < c; ++i) {
    const auto item = items->Get(i);
    if (item->GetStatus() == rsUnTranslated && item->GetXlatText() != item->GetOrigText())
      item->SetStatus(TranslatedStatus);
  }
  CalcStats(Translated, Untranslated);
}

const std::vector<TQEMTranslatorMgr*>& QEMTranslatorMgrs() {
  return Registry();
}

TQEMTranslatorMgr* FindMgr(const std::u16string& FileName) {
  for (auto* mgr : Registry())
    if (QEMSameFileName(mgr->FileName(), FileName) &&
        FileExists(mgr->FileNameToNoteName(FileName)))
      return mgr;
  return nullptr;
}

std::u16string QEMItemColumnText(const IQEMNotesItem& Item, TQEMAllColId Col) {
  switch (Col) {
  case idColId:
    return Item.GetID();
  case idColOrig:
    return Item.GetOrigText();
  case idColStatus:
    return QEMStatusToString(Item.GetStatus());
  case idColCurr:
    return Item.GetXlatText();
  case idColCreated:
    return QEMDateTimeToStr(Item.GetCreated());
  case idColModified:
    return QEMDateTimeToStr(Item.GetModified());
  case idColPrevOrig:
    return Item.GetPrevCount() > 0 ? Item.GetPrevOrigText(0) : std::u16string();
  case idColPrevCurr:
    return Item.GetPrevCount() > 0 ? Item.GetPrevXlatText(0) : std::u16string();
  case idColComment:
    return Item.GetComment();
  default:
    return {};
  }
}

int32_t StrToStatusOrd(const std::u16string& S) {
  return QEMStatusFromString(S);
}
