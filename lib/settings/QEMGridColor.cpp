#include "settings/QEMGridColor.h"

#include <array>

#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

std::function<void()> QEMRefreshStatusImages;
TQEMColorSchemes* QEMColorSchemes = nullptr;

namespace {

struct TSlotInfo {
  std::u16string_view RegName;
  std::u16string_view DisName;
  TColor Default;
};

const std::array<TSlotInfo, QEMColorCount> kSlots{{
    {u"EditBackgroundColor", SColorEditBackground, 0xFFFFFF},
    {u"EditForegroundColor", SColorEditForeground, 0x000000},
    {u"Non_editBackgroundColor", SColorNonEditBackground, 0x808080},
    {u"Non_editForegroundColor", SColorNonEditForeground, 0xFFFFFF},
    {u"SelectionBackgroundColor", SColorSelectionBackground, 0x800000},
    {u"SelectionForegroundColor", SColorSelectionForeground, 0xFFFFFF},
    {u"UntranslatedItemColor", SColorUntranslatedItem, 0x0000FF},
    {u"TranslatedItemColor", SColorTranslatedItem, 0xC0C0C0},
    {u"Auto_TranslatedItemColor", SColorAutoTranslatedItem, 0x00FFFF},
    {u"UnusedItemColor", SColorUnusedItem, 0x808080},
}};

struct TBuiltIn {
  std::u16string_view Name;
  std::array<TColor, QEMColorCount> Colors;
};

const std::array<TBuiltIn, 4> kBuiltIns{{
    {SColorSchemeClassic,
     {0x800000, 0x00FFFF, 0x800000, 0xC0C0C0, 0xC0C0C0, 0x800000, 0x0000FF, 0x008000, 0x00FFFF,
      0x808080}},
    {SColorSchemeDefault,
     {0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, 0x800000, 0xFFFFFF, 0x0000FF, 0xC0C0C0, 0x00FFFF,
      0x808080}},
    {SColorSchemeOcean,
     {0xFFFF00, 0x000000, 0xFFFF00, 0x808080, 0xFF0000, 0xFFFF00, 0x0000FF, 0x00FF00, 0x00FFFF,
      0x808080}},
    {SColorSchemeTwilight,
     {0x000000, 0xFFFF00, 0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x000080, 0x008000, 0x008080,
      0x000000}},
}};

bool ValidSlot(TQEMColor Slot) {
  return Slot < QEMColorCount;
}

// The stored colour, or Current when the value is missing, mistyped or no plain colour.
TColor ReadColor(TQEMRegistry& Registry, const std::u16string& Name, TColor Current) {
  if (Registry.GetDataType(Name) != TRegDataType::rdInteger) return Current;
  const int32_t v = Registry.ReadInteger(Name);
  return v >= 0 && uint32_t(v) <= QEMMaxColor ? TColor(v) : Current;
}

[[noreturn]] void ListIndexError(int Index) {
  throw EQEMError(Format(SListIndexError, Index));
}

} // namespace

std::u16string QEMColorRegName(TQEMColor Slot) {
  return ValidSlot(Slot) ? std::u16string(kSlots[Slot].RegName) : std::u16string();
}
std::u16string QEMColorDisName(TQEMColor Slot) {
  return ValidSlot(Slot) ? std::u16string(kSlots[Slot].DisName) : std::u16string();
}
TColor QEMColorDefault(TQEMColor Slot) {
  return ValidSlot(Slot) ? kSlots[Slot].Default : 0;
}

// ---------------------------------------------------------------------------------------------
// TQEMColorScheme

TQEMColorScheme::TQEMColorScheme(std::u16string ASchemeRegName, std::u16string ASchemeDisName)
    : FSchemeDisName(std::move(ASchemeDisName)), FSchemeRegName(std::move(ASchemeRegName)) {
  // The slots' names differ, so none needs looking for as Add would.
  FQEMColorList.reserve(QEMColorCount);
  for (int i = 0; i < QEMColorCount; ++i) {
    const auto& s = kSlots[size_t(i)];
    FQEMColorList.push_back(TQEMColorRec{std::u16string(s.RegName), std::u16string(s.DisName),
                                         TQEMColor(i), s.Default});
  }
}

int TQEMColorScheme::Add(const std::u16string& AColorRegName, const std::u16string& AColorDisName,
                         TColor AColor, TQEMColor AQEMColor) {
  for (size_t i = 0; i < FQEMColorList.size(); ++i)
    if (QEMSameText(FQEMColorList[i].ColorRegName, AColorRegName)) {
      FQEMColorList[i].Color = AColor;
      return int(i);
    }
  FQEMColorList.push_back(TQEMColorRec{AColorRegName, AColorDisName, AQEMColor, AColor});
  return int(FQEMColorList.size()) - 1;
}

void TQEMColorScheme::Clear() {
  FQEMColorList.clear();
}

void TQEMColorScheme::Delete(int Index) {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  FQEMColorList.erase(FQEMColorList.begin() + Index);
}

void TQEMColorScheme::Assign(const TQEMColorScheme& Other) {
  if (&Other == this) return;
  FQEMColorList = Other.FQEMColorList;
  FIsOEM = Other.FIsOEM;
  FSchemeDisName = Other.FSchemeDisName;
  FSchemeRegName = Other.FSchemeRegName;
}

const TQEMColorRec* TQEMColorScheme::Find(TQEMColor Slot) const {
  for (const auto& r : FQEMColorList)
    if (r.QEMColor == Slot) return &r;
  return nullptr;
}

const TQEMColorRec& TQEMColorScheme::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  return FQEMColorList[size_t(Index)];
}

TColor TQEMColorScheme::GetColor(TQEMColor Slot) const {
  const TQEMColorRec* r = Find(Slot);
  return r ? r->Color : QEMColorDefault(Slot);
}

void TQEMColorScheme::SetColor(TQEMColor Slot, TColor Color) {
  if (!ValidSlot(Slot)) ListIndexError(Slot);
  for (auto& r : FQEMColorList)
    if (r.QEMColor == Slot) {
      r.Color = Color;
      return;
    }
  Add(QEMColorRegName(Slot), QEMColorDisName(Slot), Color, Slot);
}

std::u16string TQEMColorScheme::GetColorDisName(TQEMColor Slot) const {
  const TQEMColorRec* r = Find(Slot);
  return r ? r->ColorDisName : QEMColorDisName(Slot);
}

std::u16string TQEMColorScheme::GetColorRegName(TQEMColor Slot) const {
  const TQEMColorRec* r = Find(Slot);
  return r ? r->ColorRegName : QEMColorRegName(Slot);
}

void TQEMColorScheme::LoadAll(TQEMRegistry& Registry, const std::u16string& Key) {
  if (!Registry.OpenKeyReadOnly(Key)) return;
  for (auto& r : FQEMColorList)
    r.Color = ReadColor(Registry, r.ColorRegName, r.Color);
  if (Registry.ValueExists(u"IsOEM")) {
    const int32_t v = Registry.SafeReadInt(u"IsOEM", FIsOEM ? 1 : 0);
    if (v == 0 || v == 1) FIsOEM = v == 1;
  }
}

void TQEMColorScheme::SaveAll(TRegistry& Registry, const std::u16string& Key) const {
  if (!Registry.OpenKey(Key, true)) throw ERegistryException(Format(SRegCreateFailed, Key));
  Registry.WriteBool(u"IsOEM", FIsOEM);
  for (const auto& r : FQEMColorList)
    Registry.WriteInteger(r.ColorRegName, int32_t(r.Color));
}

void TQEMColorScheme::CopyTo(TQEMColorValueList& List) const {
  List.clear();
  for (int i = 0; i < QEMColorCount; ++i)
    List.emplace_back(GetColorDisName(TQEMColor(i)), GetColor(TQEMColor(i)));
}

void TQEMColorScheme::LoadFrom(const TQEMColorValueList& List) {
  for (size_t i = 0; i < List.size() && i < size_t(QEMColorCount); ++i)
    SetColor(TQEMColor(i), List[i].second);
}

// ---------------------------------------------------------------------------------------------
// TQEMColorSchemes

void QEMCheckColorSchemeName(const std::u16string& Name) {
  if (QEMTrim(Name).empty()) throw EQEMError(std::u16string(SColorSchemeNameEmpty));
  if (Name.find(u'\\') != std::u16string::npos)
    throw EQEMError(Format(SColorSchemeNameBackslash, Name));
}

bool QEMIsOEMColorSchemeName(const std::u16string& Name) {
  for (const auto& b : kBuiltIns)
    if (QEMSameText(Name, b.Name)) return true;
  return false;
}

TQEMColorSchemes::TQEMColorSchemes() : FKey(QEMBaseRegKey() + u"\\Color") {
  for (const auto& b : kBuiltIns) {
    auto s = std::make_unique<TQEMColorScheme>(std::u16string(b.Name), std::u16string(b.Name));
    for (int i = 0; i < QEMColorCount; ++i)
      s->SetColor(TQEMColor(i), b.Colors[size_t(i)]);
    s->SetIsOEM(true);
    FColorSchemes.push_back(std::move(s));
  }
}

int TQEMColorSchemes::Add(std::unique_ptr<TQEMColorScheme> Scheme) {
  QEMCheckColorSchemeName(Scheme->GetSchemeRegName());
  const int i = IndexOf(Scheme->GetSchemeRegName());
  if (i >= 0) {
    FColorSchemes[size_t(i)]->Assign(*Scheme);
    return i;
  }
  FColorSchemes.push_back(std::move(Scheme));
  return GetCount() - 1;
}

void TQEMColorSchemes::Clear() {
  FColorSchemes.clear();
  FSelected = 0;
}

void TQEMColorSchemes::Delete(int Index) {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  FColorSchemes.erase(FColorSchemes.begin() + Index);
  if (FSelected > Index)
    --FSelected;
  else if (FSelected == Index)
    FSelected = 0;
}

void TQEMColorSchemes::Assign(const TQEMColorSchemes& Other) {
  if (&Other == this) return;
  std::vector<std::unique_ptr<TQEMColorScheme>> copy;
  for (const auto& s : Other.FColorSchemes) {
    auto c = std::make_unique<TQEMColorScheme>(s->GetSchemeRegName(), s->GetSchemeDisName());
    c->Assign(*s);
    copy.push_back(std::move(c));
  }
  FColorSchemes = std::move(copy);
  FSelected = Other.FSelected;
  FUseColors = Other.FUseColors;
}

TQEMColorScheme* TQEMColorSchemes::GetColorScheme(int Index) const {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  return FColorSchemes[size_t(Index)].get();
}

void TQEMColorSchemes::SetColorScheme(int Index, const TQEMColorScheme& Scheme) {
  QEMCheckColorSchemeName(Scheme.GetSchemeRegName());
  GetColorScheme(Index)->Assign(Scheme);
}

int TQEMColorSchemes::IndexOf(const std::u16string& Name) const {
  for (size_t i = 0; i < FColorSchemes.size(); ++i)
    if (QEMSameText(FColorSchemes[i]->GetSchemeRegName(), Name)) return int(i);
  return -1;
}

TQEMColorScheme* TQEMColorSchemes::SelectedColorsScheme() const {
  if (FColorSchemes.empty()) return nullptr;
  if (FSelected < 0 || FSelected >= GetCount()) return FColorSchemes.front().get();
  return FColorSchemes[size_t(FSelected)].get();
}

void TQEMColorSchemes::SetSelected(int Index) {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  FSelected = Index;
}

void TQEMColorSchemes::LoadAll() {
  TQEMRegistry reg;
  if (!reg.OpenKeyReadOnly(FKey)) return;
  TQEMColorSchemes fresh;
  fresh.Assign(*this);
  std::vector<std::unique_ptr<TQEMColorScheme>> loaded;
  for (const auto& name : reg.GetKeyNames()) {
    // Keys no scheme could have been saved under (made by hand) are passed over.
    if (QEMTrim(name).empty() || name.find(u'\\') != std::u16string::npos) continue;
    auto s = std::make_unique<TQEMColorScheme>(name, name);
    TQEMRegistry sub(reg.Hive());
    s->LoadAll(sub, FKey + u"\\" + name);
    loaded.push_back(std::move(s));
  }
  if (!loaded.empty()) {
    fresh.Clear();
    for (auto& s : loaded)
      fresh.Add(std::move(s));
  }
  fresh.FSelected = 0;
  if (reg.ValueExists(u"Selected")) {
    // A name that matches no scheme falls back to the first rather than to no scheme at all.
    const int i = fresh.IndexOf(reg.SafeReadStr(u"Selected", {}));
    fresh.FSelected = i < 0 ? 0 : i;
  }
  const int32_t use = reg.SafeReadInt(u"UseColors", 1);
  fresh.FUseColors = use != 0; // anything but 0 and 1 is the default, on
  Assign(fresh);
}

void TQEMColorSchemes::SaveAll(bool RefreshImages) {
  {
    TRegistry reg;
    reg.DeleteKey(FKey);
    if (!reg.OpenKey(FKey, true)) throw ERegistryException(Format(SRegCreateFailed, FKey));
    const TQEMColorScheme* sel = SelectedColorsScheme();
    reg.WriteString(u"Selected", sel ? sel->GetSchemeRegName() : std::u16string());
    reg.WriteInteger(u"UseColors", FUseColors ? 1 : 0);
    for (const auto& s : FColorSchemes)
      s->SaveAll(reg, FKey + u"\\" + s->GetSchemeRegName());
    reg.Flush();
  }
  if (RefreshImages && QEMRefreshStatusImages) QEMRefreshStatusImages();
}

TQEMColor QEMStatusColorSlot(TResStatus Status) {
  switch (Status) {
  case rsUnTranslated:
  case rsHold:
    return iclUntranslatedItemColor;
  case rsTranslated:
  case rsNewlyTranslated:
  case rsDoNotTranslate:
    return iclTranslatedItemColor;
  case rsAutoTranslated:
    return iclAuto_TranslatedItemColor;
  default:
    return iclUnusedItemColor;
  }
}

// ---------------------------------------------------------------------------------------------
// Options page flows

namespace {

// Asks for a scheme name until the user cancels (false) or gives one that is usable and not
// built-in. With Renaming >= 0, a name another scheme holds is refused; a change of case only
// is the same scheme.
bool AskColorSchemeName(const TQEMColorSchemes& Schemes, std::u16string_view Caption,
                        std::u16string_view Prompt, int Renaming, std::u16string& Name) {
  auto& ui = QEMUIServices();
  for (;;) {
    if (!ui.InputQuery(std::u16string(Caption), std::u16string(Prompt), Name)) return false;
    Name = QEMTrim(Name);
    if (QEMIsOEMColorSchemeName(Name)) {
      ui.ErrorBox(std::u16string(SCannotSaveOverOEMScheme));
      continue;
    }
    try {
      QEMCheckColorSchemeName(Name);
    } catch (const EQEMError& e) {
      ui.ErrorBox(e.Message());
      continue;
    }
    const int other = Renaming >= 0 ? Schemes.IndexOf(Name) : -1;
    if (other >= 0 && other != Renaming) {
      ui.ErrorBox(Format(SColorSchemeNameTaken, Name));
      continue;
    }
    return true;
  }
}

} // namespace

int QEMSaveNewColorScheme(TQEMColorSchemes& Schemes, const TQEMColorValueList& Colors) {
  std::u16string name;
  if (!AskColorSchemeName(Schemes, SSaveNewColorSchemeCaption, SSaveNewColorSchemePrompt, -1, name))
    return -1;
  if (Schemes.IndexOf(name) >= 0 &&
      !QEMUIServices().AskYesNo(Format(SColorSchemeExists, name), false))
    return -1;
  auto s = std::make_unique<TQEMColorScheme>(name, name);
  s->LoadFrom(Colors);
  return Schemes.Add(std::move(s));
}

bool QEMRenameColorScheme(TQEMColorSchemes& Schemes, int Index) {
  if (Index < 0 || Index >= Schemes.GetCount()) return false;
  const TQEMColorScheme& old = *Schemes.GetColorScheme(Index);
  if (old.GetIsOEM()) return false;
  std::u16string name = old.GetSchemeDisName();
  if (!AskColorSchemeName(Schemes, SRenameColorSchemeCaption, SRenameColorSchemePrompt, Index,
                          name))
    return false;
  if (name == old.GetSchemeRegName()) return false;
  TQEMColorScheme renamed(name, name);
  TQEMColorValueList colors;
  old.CopyTo(colors);
  renamed.LoadFrom(colors);
  Schemes.SetColorScheme(Index, renamed);
  return true;
}

bool QEMCanRemoveColorScheme(const TQEMColorSchemes& Schemes, int Index) {
  return Schemes.GetCount() > 1 && Index >= 0 && Index < Schemes.GetCount() &&
         !Schemes.GetColorScheme(Index)->GetIsOEM();
}

bool QEMRemoveColorScheme(TQEMColorSchemes& Schemes, int Index) {
  if (!QEMCanRemoveColorScheme(Schemes, Index)) return false;
  if (!QEMUIServices().AskYesNo(
          Format(SRemoveColorScheme, Schemes.GetColorScheme(Index)->GetSchemeDisName()), false))
    return false;
  Schemes.Delete(Index);
  return true;
}

void QEMGridColorInitialize() {
  if (QEMColorSchemes) return;
  auto schemes = std::make_unique<TQEMColorSchemes>();
  schemes->LoadAll();
  QEMColorSchemes = schemes.release();
}

void QEMGridColorFinalize() {
  delete QEMColorSchemes;
  QEMColorSchemes = nullptr;
}
