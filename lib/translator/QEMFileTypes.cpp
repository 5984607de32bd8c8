#include "translator/QEMFileTypes.h"

#include <algorithm>
#include <cstring>

#include "core/QEMIntlUtils.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridColor.h"

IQEMFileType::~IQEMFileType() = default;
IQEMImageList::~IQEMImageList() = default;

// ---- images ----

uint32_t TQEMImage::TransparentColor() const {
  if (Width <= 0 || Height <= 0 || Pixels.size() < size_t(Width) * size_t(Height)) return 0;
  return Pixel(0, Height - 1);
}

namespace {

class TBmpReader {
public:
  TBmpReader(const void* Data, size_t Size)
      : FData(static_cast<const uint8_t*>(Data)), FSize(Data ? Size : 0) {}
  void Need(uint64_t Offset, uint64_t Count) const {
    if (Offset > FSize || Count > FSize - Offset) throw EQEMError(std::u16string(SBmpTruncated));
  }
  uint32_t U16(size_t Offset) const {
    Need(Offset, 2);
    return uint32_t(FData[Offset]) | uint32_t(FData[Offset + 1]) << 8;
  }
  uint32_t U32(size_t Offset) const { return U16(Offset) | U16(Offset + 2) << 16; }
  const uint8_t* At(size_t Offset) const { return FData + Offset; }
  size_t Size() const { return FSize; }

private:
  const uint8_t* FData;
  size_t FSize;
};

// Generous for icons, small enough that a forged header cannot make us allocate gigabytes.
constexpr int64_t MaxPixels = 16 * 1024 * 1024;

} // namespace

namespace {

// What the headers of a bitmap say about its pixels.
struct TBmpLayout {
  int64_t Width = 0;
  int64_t Height = 0; // positive: TopDown tells the row order
  bool TopDown = false;
  uint32_t Bpp = 0;
  size_t Palette = 0; // offset of the colour table
  size_t PaletteCount = 0;
  size_t PaletteEntry = 4;
  uint64_t BitsOffset = 0;
  uint64_t Stride = 0;
};

// Reads the headers and checks that the colour table and the pixels lie inside the data.
TBmpLayout ReadBmpLayout(const TBmpReader& r) {
  if (r.Size() < 2) throw EQEMError(std::u16string(SBmpNotBitmap));
  TBmpLayout l;
  // A resource holds the bitmap without its file header; a file starts with "BM".
  size_t info = 0;
  const bool hasFileHeader = r.At(0)[0] == 'B' && r.At(0)[1] == 'M';
  if (hasFileHeader) {
    info = 14;
    l.BitsOffset = r.U32(10);
  }
  const uint32_t headerSize = r.U32(info);
  uint32_t compression = 0, colorsUsed = 0;
  if (headerSize == 12) {
    l.Width = r.U16(info + 4);
    l.Height = int16_t(r.U16(info + 6));
    l.Bpp = r.U16(info + 10);
    l.PaletteEntry = 3;
  } else if (headerSize >= 40 && headerSize <= 1024) {
    l.Width = int32_t(r.U32(info + 4));
    l.Height = int32_t(r.U32(info + 8));
    l.Bpp = r.U16(info + 14);
    compression = r.U32(info + 16);
    colorsUsed = r.U32(info + 32);
  } else {
    throw EQEMError(std::u16string(SBmpNotBitmap));
  }
  const uint32_t bpp = l.Bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    throw EQEMError(Format(SBmpUnsupported, bpp, compression));
  if (compression != 0) throw EQEMError(Format(SBmpUnsupported, bpp, compression));
  l.TopDown = l.Height < 0;
  if (l.TopDown) l.Height = -l.Height;
  if (l.Width <= 0 || l.Height <= 0 || l.Width * l.Height > MaxPixels)
    throw EQEMError(Format(SBmpBadSize, l.Width, l.Height));
  l.Palette = info + headerSize;
  if (bpp <= 8) {
    l.PaletteCount = colorsUsed ? colorsUsed : (1u << bpp);
    if (l.PaletteCount > 256) throw EQEMError(Format(SBmpUnsupported, bpp, compression));
    r.Need(l.Palette, uint64_t(l.PaletteCount) * l.PaletteEntry);
  }
  if (!hasFileHeader) l.BitsOffset = l.Palette + l.PaletteCount * l.PaletteEntry;
  l.Stride = (uint64_t(l.Width) * bpp + 31) / 32 * 4;
  r.Need(l.BitsOffset, l.Stride * uint64_t(l.Height));
  return l;
}

// One row of pixels, as 0x00RRGGBB.
void DecodeBmpRow(const TBmpReader& r, const TBmpLayout& l, const uint8_t* Src, uint32_t* Dst) {
  auto paletteColor = [&](uint32_t Index) -> uint32_t {
    if (Index >= l.PaletteCount) throw EQEMError(std::u16string(SBmpBadColorIndex));
    const uint8_t* p = r.At(l.Palette + Index * l.PaletteEntry);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  };
  for (int64_t x = 0; x < l.Width; ++x) {
    switch (l.Bpp) {
    case 1:
      Dst[x] = paletteColor((Src[x / 8] >> (7 - x % 8)) & 1);
      break;
    case 4:
      Dst[x] = paletteColor((Src[x / 2] >> (x % 2 ? 0 : 4)) & 0xF);
      break;
    case 8:
      Dst[x] = paletteColor(Src[x]);
      break;
    default: {
      const uint8_t* p = Src + x * (l.Bpp / 8);
      Dst[x] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    }
  }
}

} // namespace

TQEMImage QEMDecodeBMP(const void* Data, size_t Size) {
  const TBmpReader r(Data, Size);
  const TBmpLayout l = ReadBmpLayout(r);
  TQEMImage img;
  img.Width = int32_t(l.Width);
  img.Height = int32_t(l.Height);
  img.Pixels.resize(size_t(l.Width * l.Height));
  for (int64_t row = 0; row < l.Height; ++row) {
    const int64_t y = l.TopDown ? row : l.Height - 1 - row;
    DecodeBmpRow(r, l, r.At(size_t(l.BitsOffset + l.Stride * uint64_t(row))),
                 img.Pixels.data() + y * l.Width);
  }
  return img;
}

TQEMImage QEMTintImage(const TQEMImage& Image, uint32_t Color) {
  TQEMImage out = Image;
  const uint32_t transparent = Image.TransparentColor();
  // The scheme stores 0x00BBGGRR, the image 0x00RRGGBB.
  const uint32_t r = Color & 0xFF, g = (Color >> 8) & 0xFF, b = (Color >> 16) & 0xFF;
  for (auto& p : out.Pixels) {
    if (p == transparent) continue;
    p = (((p >> 16 & 0xFF) + r) / 2) << 16 | (((p >> 8 & 0xFF) + g) / 2) << 8 |
        ((p & 0xFF) + b) / 2;
  }
  return out;
}

namespace {

TColor SchemeColor(TQEMColor Slot) {
  const TQEMColorScheme* scheme =
      QEMColorSchemes ? QEMColorSchemes->SelectedColorsScheme() : nullptr;
  return scheme ? scheme->GetColor(Slot) : QEMColorDefault(Slot);
}

} // namespace

void QEMMakeBitmapVariants(const TQEMImage& Image, TQEMBitmapVariants& Variants) {
  Variants[0] = TQEMBitmap{std::make_shared<TQEMImage>(Image), -1};
  Variants[1] = TQEMBitmap{std::make_shared<TQEMImage>(), -1};
  Variants[2] = TQEMBitmap{std::make_shared<TQEMImage>(), -1};
  QEMRetintBitmapVariants(Variants);
}

void QEMRetintBitmapVariants(TQEMBitmapVariants& Variants) {
  if (!Variants[0].Bitmap) return;
  const TQEMColor slots[] = {iclUntranslatedItemColor, iclAuto_TranslatedItemColor};
  for (int i = 1; i <= 2; ++i) {
    // In place: whoever holds the image sees the new colours.
    auto tinted = QEMTintImage(*Variants[0].Bitmap, SchemeColor(slots[i - 1]));
    if (Variants[i].Bitmap)
      *Variants[i].Bitmap = std::move(tinted);
    else
      Variants[i].Bitmap = std::make_shared<TQEMImage>(std::move(tinted));
  }
}

void TQEMMemoryImageList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) throw EQEMError(Format(SImageIndexError, Index));
}

int TQEMMemoryImageList::Add(const TQEMImage& Image, uint32_t MaskColor) {
  FImages.emplace_back(Image, MaskColor);
  return Count() - 1;
}

void TQEMMemoryImageList::Replace(int Index, const TQEMImage& Image, uint32_t MaskColor) {
  Check(Index);
  FImages[size_t(Index)] = {Image, MaskColor};
}

const TQEMImage& TQEMMemoryImageList::Image(int Index) const {
  Check(Index);
  return FImages[size_t(Index)].first;
}

uint32_t TQEMMemoryImageList::MaskColor(int Index) const {
  Check(Index);
  return FImages[size_t(Index)].second;
}

// ---- the file-type registry ----

int TQEMFileTypes::Add(const IQEMFileTypePtr& FileType) {
  if (!FileType) return -1;
  const std::u16string desc = FileType->GetDesc();
  const LCID locale = QEMUserDefaultLCID();
  auto pos = std::find_if(FList.begin(), FList.end(), [&](const IQEMFileTypePtr& T) {
    const std::u16string d = T->GetDesc();
    return QEMCompareStringW(locale, NORM_IGNORECASE, d.c_str(), int(d.size()), desc.c_str(),
                             int(desc.size())) == CSTR_GREATER_THAN;
  });
  const int index = int(pos - FList.begin());
  FList.insert(pos, FileType);
  AddTheBitmaps(*FileType);
  FLatestAdded = FileType;
  return index;
}

void TQEMFileTypes::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw EQEMError(Format(SListIndexError, Index));
  if (FList[size_t(Index)] == FLatestAdded) FLatestAdded.reset();
  FList.erase(FList.begin() + Index);
}

IQEMFileTypePtr TQEMFileTypes::GetQEMFileType(int Index) const {
  if (Index < 0 || Index >= Count()) throw EQEMError(Format(SListIndexError, Index));
  return FList[size_t(Index)];
}

int TQEMFileTypes::IndexOf(const std::u16string& Name) const {
  for (int i = 0; i < Count(); ++i)
    if (FList[size_t(i)]->GetName() == Name) return i;
  return -1;
}

int TQEMFileTypes::IndexOf(const IQEMFileType* FileType) const {
  for (int i = 0; i < Count(); ++i)
    if (FList[size_t(i)].get() == FileType) return i;
  return -1;
}

int TQEMFileTypes::ExtIndexOf(const std::u16string& Ext) const {
  const std::u16string ext = QEMUpperCase(Ext);
  for (int i = 0; i < Count(); ++i) {
    const TStringList& exts = FList[size_t(i)]->GetExts();
    for (int j = 0; j < exts.Count(); ++j)
      if (QEMSameText(exts.Get(j), ext)) return i;
  }
  return -1;
}

std::u16string TQEMFileTypes::GetFilter(int Index) const {
  const IQEMFileTypePtr type = GetQEMFileType(Index);
  const TStringList& exts = type->GetExts();
  std::u16string e;
  for (int j = 0; j < exts.Count(); ++j) {
    if (j) e += u';';
    e += u'*' + QEMLowerCase(exts.Get(j));
  }
  return type->GetDesc() + u" (" + e + u")|" + e;
}

void TQEMFileTypes::ResetIndexes() {
  for (auto& type : FList)
    for (int v = 0; v < 3; ++v)
      for (TQEMBitmap* b : {type->GetFileBitmap(v), type->GetKindBitmap(v)})
        if (b) b->Index = -1;
  for (auto& b : FGlobeBitmap)
    b = TQEMBitmap{};
}

void TQEMFileTypes::SetImageList(IQEMImageList* ImageList) {
  // Indexes into another list would point at the wrong images.
  if (ImageList != FImageList) ResetIndexes();
  FImageList = ImageList;
  if (!FImageList) return;
  for (auto& type : FList)
    AddTheBitmaps(*type);
  if (FGlobeBitmap[0].Index < 0 && FImageList->Count() > 0) {
    QEMMakeBitmapVariants(FImageList->Image(0), FGlobeBitmap);
    FGlobeBitmap[0].Index = 0;
    const uint32_t mask = FGlobeBitmap[0].Bitmap->TransparentColor();
    for (int v = 1; v <= 2; ++v)
      FGlobeBitmap[v].Index = FImageList->Add(*FGlobeBitmap[v].Bitmap, mask);
  }
}

void TQEMFileTypes::AddTheBitmaps(IQEMFileType& FileType) {
  if (!FImageList) return;
  for (int v = 0; v < 3; ++v)
    for (TQEMBitmap* b : {FileType.GetFileBitmap(v), FileType.GetKindBitmap(v)})
      if (b && b->Bitmap && b->Index < 0)
        b->Index = FImageList->Add(*b->Bitmap, b->Bitmap->TransparentColor());
}

void TQEMFileTypes::UpdateBitmaps() {
  auto retint = [this](TQEMBitmap* V0, TQEMBitmap* V1, TQEMBitmap* V2) {
    if (!V0 || !V1 || !V2) return;
    TQEMBitmapVariants variants{*V0, *V1, *V2};
    QEMRetintBitmapVariants(variants);
    *V1 = variants[1];
    *V2 = variants[2];
    if (!FImageList) return;
    for (TQEMBitmap* b : {V1, V2})
      if (b->Bitmap && b->Index >= 0)
        FImageList->Replace(b->Index, *b->Bitmap, b->Bitmap->TransparentColor());
  };
  for (auto& type : FList) {
    retint(type->GetFileBitmap(0), type->GetFileBitmap(1), type->GetFileBitmap(2));
    retint(type->GetKindBitmap(0), type->GetKindBitmap(1), type->GetKindBitmap(2));
  }
  retint(&FGlobeBitmap[0], &FGlobeBitmap[1], &FGlobeBitmap[2]);
}

namespace {
TQEMFileTypes* gFileTypes = nullptr;
}

TQEMFileTypes& QEMFileTypes() {
  if (!gFileTypes) throw EQEMError(std::u16string(SFileTypesNotStarted));
  return *gFileTypes;
}

bool QEMFileTypesStarted() {
  return gFileTypes != nullptr;
}

void QEMFileTypesInitialize() {
  if (!gFileTypes) gFileTypes = new TQEMFileTypes;
}

void QEMFileTypesFinalize() {
  delete gFileTypes;
  gFileTypes = nullptr;
  QEMShortcuts.clear();
  QEMTreeViewHooks = {};
}

int RegisterQEMFileType(const IQEMFileTypePtr& FileType) {
  return QEMFileTypes().Add(FileType);
}

void UnRegisterQEMFileType(const IQEMFileTypePtr& FileType) {
  // A package finalised after the registry is gone has nothing left to remove.
  if (!QEMFileTypesStarted()) return;
  TQEMFileTypes& types = QEMFileTypes();
  const int i = types.IndexOf(FileType);
  if (i >= 0) types.Delete(i);
}

TQEMTreeViewHooks QEMTreeViewHooks;

void UpdateGlobalTreeViewImages(bool Refresh) {
  const TQEMTreeViewHooks hooks = QEMTreeViewHooks;
  if (!hooks.TreeExists || !hooks.TreeExists() || !QEMFileTypesStarted()) return;
  if (hooks.BeginUpdate) hooks.BeginUpdate();
  struct TEnd {
    const std::function<void()>& F;
    ~TEnd() {
      if (F) F();
    }
  } end{hooks.EndUpdate};
  QEMFileTypes().UpdateBitmaps();
  if (Refresh && hooks.GlobalUpdateTMImages) hooks.GlobalUpdateTMImages();
}

// ---- keyboard shortcuts ----

TQEMShortcuts QEMShortcuts;

bool TQEMShortcut::SameAs(const TQEMShortcut& Other) const {
  return FForm == Other.FForm && FKeyEvent == Other.FKeyEvent && FKey == Other.FKey &&
         FShift == Other.FShift && FEventId == Other.FEventId && bool(FEvent) == bool(Other.FEvent);
}

void RegisterQEMShortcut(const TQEMShortcut& Shortcut) {
  QEMShortcuts.push_back(Shortcut);
}

void RegisterQEMShortcuts(const TQEMShortcuts& Shortcuts) {
  QEMShortcuts.insert(QEMShortcuts.end(), Shortcuts.begin(), Shortcuts.end());
}

void UnRegisterQEMShortcut(const TQEMShortcut& Shortcut) {
  auto it = std::find_if(QEMShortcuts.begin(), QEMShortcuts.end(),
                         [&](const TQEMShortcut& S) { return S.SameAs(Shortcut); });
  if (it != QEMShortcuts.end()) QEMShortcuts.erase(it);
}

void UnRegisterQEMShortcuts(const TQEMShortcuts& Shortcuts) {
  for (const auto& s : Shortcuts)
    UnRegisterQEMShortcut(s);
}

TQEMShortcut MakeQEMShortcut(void* Form, TQEMKeyEvent KeyEvent, uint16_t Key, TShiftState Shift,
                             TQEMNotifyEvent Event, uintptr_t EventId) {
  return TQEMShortcut{Form, KeyEvent, Key, Shift, std::move(Event), EventId};
}

TQEMShortcut MakeQEMShortcutFromAction(void* Form, TQEMKeyEvent KeyEvent,
                                       const TQEMAction& Action) {
  return MakeQEMShortcut(Form, KeyEvent, Action.ShortCutKey, Action.ShortCutShift, Action.OnExecute,
                         Action.Id);
}

const TQEMShortcut* TQEMKeyDispatcher::Find(TQEMKeyEvent Event, uint16_t Key, TShiftState Shift,
                                            bool MatchShift) const {
  if (!ShownWindow || !Shortcuts) return nullptr;
  for (const auto& s : *Shortcuts)
    if (s.FKeyEvent == Event && s.FForm == ShownWindow && s.FKey == Key &&
        (!MatchShift || s.FShift == Shift))
      return &s;
  return nullptr;
}

namespace {
// The phase goes back to none however the handlers leave.
struct TPhase {
  TQEMKeyEvent& Phase;
  ~TPhase() { Phase = keNone; }
};
} // namespace

bool TQEMKeyDispatcher::KeyDown(uint16_t& Key, TShiftState Shift) {
  FHLXKeyEvent = keDown;
  FHLXKeyHandled = false;
  TPhase phase{FHLXKeyEvent};
  if (const TQEMShortcut* found = Find(keDown, Key, Shift, true)) {
    // A copy: the handler may unregister shortcuts.
    const TQEMShortcut s = *found;
    FHLXKeyHandled = true;
    if (s.FEvent)
      s.FEvent(FHostWindow);
    else if (WindowKeyDown)
      WindowKeyDown(Key, Shift);
    Key = 0;
    return true;
  }
  if (Key == QEMVK_F11 && OnToggleMaximized) {
    OnToggleMaximized();
    return true;
  }
  if (Key == QEMVK_F6 && Shift == 0 && OnSwitchFocus) {
    OnSwitchFocus(ShownWindow);
    return true;
  }
  return false;
}

bool TQEMKeyDispatcher::KeyPress(char16_t& Key) {
  if (FHLXKeyEvent == keDown || FHLXKeyHandled) {
    Key = 0;
    return true;
  }
  FHLXKeyEvent = kePress;
  TPhase phase{FHLXKeyEvent};
  const TQEMShortcut* found = Find(kePress, uint16_t(Key), 0, false);
  if (!found) return false;
  const TQEMShortcut s = *found;
  FHLXKeyHandled = true;
  if (s.FEvent)
    s.FEvent(FHostWindow);
  else if (WindowKeyPress)
    WindowKeyPress(Key);
  Key = 0;
  return true;
}

bool TQEMKeyDispatcher::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (FHLXKeyEvent == keDown || FHLXKeyEvent == kePress || FHLXKeyHandled) {
    Key = 0;
    return true;
  }
  const TQEMShortcut* found = Find(keUp, Key, Shift, true);
  if (!found) return false;
  const TQEMShortcut s = *found;
  FHLXKeyHandled = true;
  if (s.FEvent)
    s.FEvent(FHostWindow);
  else if (WindowKeyUp)
    WindowKeyUp(Key, Shift);
  Key = 0;
  return true;
}
