#include "settings/QEMGridFont.h"

#include <algorithm>
#include <optional>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

TQEMLazyUnit<TQEMGridFonts> QEMGridFonts([] {
  auto fonts = std::make_unique<TQEMGridFonts>();
  fonts->LoadAll();
  return fonts;
});

namespace {

// What a headless process draws with; the GUI replaces it with its toolkit's default.
std::u16string gHostFontName = u"Sans";
int32_t gHostFontSize = 10;

// The largest point size the platform's font dialogs offer.
constexpr int32_t kMaxFontSize = 1638;

int32_t ReadRanged(TQEMRegistry& Registry, const std::u16string& Name, int32_t Min, int32_t Max,
                   int32_t Default) {
  const int32_t v = Registry.SafeReadInt(Name, Default);
  return v >= Min && v <= Max ? v : Default;
}

// The language a key name stands for: eight hexadecimal digits in either case, as
// LangKeyName writes them or a user typed them.
std::optional<LCID> LangOfKeyName(std::u16string_view Name) {
  if (Name.size() != 8) return std::nullopt;
  LCID lang = 0;
  for (const char16_t c : Name) {
    const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                      : c >= u'a' && c <= u'f' ? c - u'a' + 10
                      : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    lang = (lang << 4) | LCID(digit);
  }
  return lang;
}

[[noreturn]] void ListIndexError(int Index) {
  throw EQEMError(Format(SListIndexError, Index));
}

} // namespace

void QEMSetHostDefaultFont(const std::u16string& Name, int32_t Size) {
  if (!Name.empty()) gHostFontName = Name;
  if (Size > 0 && Size <= kMaxFontSize) gHostFontSize = Size;
  if (TQEMGridFonts* fonts = QEMGridFonts.Made()) {
    fonts->DefaultFont().Name = gHostFontName;
    fonts->DefaultFont().Size = gHostFontSize;
  }
}

TQEMFont QEMHostDefaultFont() {
  TQEMFont f;
  f.Name = gHostFontName;
  f.Size = gHostFontSize;
  return f;
}

TQEMGridFonts::TQEMGridFonts()
    : FDefaultFont(std::make_unique<TQEMFont>(QEMHostDefaultFont())),
      FCommentFont(std::make_unique<TQEMFont>(*FDefaultFont)),
      FKey(QEMBaseRegKey() + u"\\GridFonts") {}

std::u16string TQEMGridFonts::LangKeyName(LCID Lang) {
  return Format(u"%.8x", Lang);
}

TQEMFont* TQEMGridFonts::GetFont(LCID Lang) {
  const int i = IndexOf(Lang);
  return i < 0 ? FDefaultFont.get() : FFonts[size_t(i)].Font.get();
}

LCID TQEMGridFonts::GetLang(int Index) const {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  return FFonts[size_t(Index)].Lang;
}

TQEMFont* TQEMGridFonts::GetFontAt(int Index) const {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  return FFonts[size_t(Index)].Font.get();
}

int TQEMGridFonts::IndexOf(LCID Lang) const {
  for (size_t i = 0; i < FFonts.size(); ++i)
    if (FFonts[i].Lang == Lang) return int(i);
  return -1;
}

TQEMFont* TQEMGridFonts::FindOrAppend(LCID Lang) {
  const int i = IndexOf(Lang);
  if (i >= 0) return FFonts[size_t(i)].Font.get();
  FFonts.push_back(TEntry{Lang, std::make_unique<TQEMFont>(*FDefaultFont)});
  return FFonts.back().Font.get();
}

TQEMFont* TQEMGridFonts::Add(LCID Lang) {
  const int i = IndexOf(Lang);
  if (i >= 0) return FFonts[size_t(i)].Font.get();
  TQEMFont f = *FDefaultFont;
  {
    TQEMRegistry reg;
    ReadFont(reg, FKey + u"\\" + LangKeyName(Lang), f);
  }
  TQEMFont* r = FindOrAppend(Lang);
  *r = f;
  return r;
}

void TQEMGridFonts::Delete(int Index) {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
  FFonts.erase(FFonts.begin() + Index);
}

void TQEMGridFonts::Clear() {
  FFonts.clear();
}

void TQEMGridFonts::CopyTo(TQEMGridFonts& Target) const {
  if (&Target == this) return;
  Target.Clear();
  for (const auto& e : FFonts)
    Target.FFonts.push_back(TEntry{e.Lang, std::make_unique<TQEMFont>(*e.Font)});
}

void TQEMGridFonts::Merge(const TQEMGridFonts& Source) {
  if (&Source == this) return;
  for (const auto& e : Source.FFonts)
    FindOrAppend(e.Lang)->Assign(*e.Font);
}

bool TQEMGridFonts::ReadFont(TQEMRegistry& Registry, const std::u16string& Key,
                             TQEMFont& Font) const {
  if (!Registry.OpenKeyReadOnly(Key)) return false;
  const TQEMFont& d = *FDefaultFont;
  TQEMFont f;
  f.Name = Registry.SafeReadStr(u"Name", d.Name);
  if (QEMTrim(f.Name).empty()) f.Name = d.Name;
  f.Size = ReadRanged(Registry, u"Height", 1, kMaxFontSize, d.Size);
  f.Pitch = TFontPitch(ReadRanged(Registry, u"Pitch", fpDefault, fpFixed, d.Pitch));
  f.Style = TFontStyles::FromBits(uint8_t(ReadRanged(Registry, u"Style", 0, 15, d.Style.Bits())));
  f.Charset = uint8_t(ReadRanged(Registry, u"Charset", 0, 255, d.Charset));
  f.Color = TColor(ReadRanged(Registry, u"Color", 0, int32_t(QEMMaxColor), int32_t(d.Color)));
  Font = f;
  return true;
}

void TQEMGridFonts::WriteFont(TRegistry& Registry, const std::u16string& Key,
                              const TQEMFont& Font) const {
  if (!Registry.OpenKey(Key, true)) throw ERegistryException(Format(SRegCreateFailed, Key));
  Registry.WriteString(u"Name", Font.Name);
  Registry.WriteInteger(u"Height", Font.Size);
  Registry.WriteInteger(u"Pitch", Font.Pitch);
  Registry.WriteInteger(u"Style", Font.Style.Bits());
  Registry.WriteInteger(u"Charset", Font.Charset);
  Registry.WriteInteger(u"Color", int32_t(Font.Color));
}

void TQEMGridFonts::Load(LCID Lang, bool CreateIfMissing) {
  TQEMFont f;
  bool found;
  {
    TQEMRegistry reg;
    found = ReadFont(reg, FKey + u"\\" + LangKeyName(Lang), f);
  }
  if (found)
    *FindOrAppend(Lang) = f;
  else if (CreateIfMissing)
    FindOrAppend(Lang)->Assign(*FDefaultFont);
}

void TQEMGridFonts::LoadAll() {
  std::vector<std::pair<LCID, TQEMFont>> read;
  TQEMFont comment = *FCommentFont;
  bool commentFound;
  {
    TQEMRegistry reg;
    std::vector<LCID> stored;
    if (reg.OpenKeyReadOnly(FKey))
      for (const auto& s : reg.GetKeyNames())
        if (const auto lang = LangOfKeyName(s)) stored.push_back(*lang);
    // Only keys that exist are opened: the language table has hundreds of entries, users set a few.
    std::sort(stored.begin(), stored.end());
    if (QEMLanguages && !stored.empty())
      for (int i = 0; i < QEMLanguages->GetCount(); ++i) {
        const LCID lang = QEMLanguages->GetLCID(i);
        if (!std::binary_search(stored.begin(), stored.end(), lang)) continue;
        TQEMFont f;
        if (ReadFont(reg, FKey + u"\\" + LangKeyName(lang), f)) read.emplace_back(lang, f);
      }
    commentFound = ReadFont(reg, FKey + u"\\Comment", comment);
  }
  for (auto& [lang, f] : read)
    *FindOrAppend(lang) = f;
  if (commentFound) *FCommentFont = comment;
}

void TQEMGridFonts::LoadComment() {
  TQEMFont f;
  bool found;
  {
    TQEMRegistry reg;
    found = ReadFont(reg, FKey + u"\\Comment", f);
  }
  if (found) *FCommentFont = f;
}

void TQEMGridFonts::Save(LCID Lang) {
  const int i = IndexOf(Lang);
  if (i < 0) return;
  TRegistry reg;
  WriteFont(reg, FKey + u"\\" + LangKeyName(Lang), *FFonts[size_t(i)].Font);
  reg.Flush();
}

void TQEMGridFonts::SaveAll() {
  TRegistry reg;
  // Values that are already stored are only read: under one lock.
  TQEMHiveReadBatch batch(reg.Hive());
  for (const auto& e : FFonts)
    WriteFont(reg, FKey + u"\\" + LangKeyName(e.Lang), *e.Font);
  WriteFont(reg, FKey + u"\\Comment", *FCommentFont);
  reg.Flush();
}

void TQEMGridFonts::SaveComment() {
  TRegistry reg;
  TQEMHiveReadBatch batch(reg.Hive());
  WriteFont(reg, FKey + u"\\Comment", *FCommentFont);
  reg.Flush();
}

void TQEMGridFonts::AddFontChangeEvent(TQEMFontChangeEvent Event) {
  FEvents.push_back(Event);
}

void TQEMGridFonts::RemoveFontChangeEvent(TQEMFontChangeEvent Event) {
  const auto it = std::find(FEvents.begin(), FEvents.end(), Event);
  if (it != FEvents.end()) FEvents.erase(it);
}

void TQEMGridFonts::FontChanged() {
  // A subscriber may close another window (and unsubscribe it) while being told.
  const std::vector<TQEMFontChangeEvent> events = FEvents;
  for (const auto& e : events)
    if (e.Code && std::find(FEvents.begin(), FEvents.end(), e) != FEvents.end())
      e.Code(e.Data, *this);
}

void QEMGridFontInitialize() {
  QEMGridFonts.Start();
}

void QEMGridFontFinalize() {
  const std::unique_ptr<TQEMGridFonts> fonts = QEMGridFonts.Stop();
  if (!fonts) return;
  try {
    fonts->SaveComment();
  } catch (const EQEMError& e) {
    // Shutting down must go on; the user still hears why the comment font was not kept.
    ShowError(e.Message());
  }
}
