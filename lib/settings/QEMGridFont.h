#pragma once
// The font each language's grid column is drawn in, and the font of the comment column. Kept
// below the base key in "\GridFonts\<LCID as 8 hex digits>" and "\GridFonts\Comment".
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/QEMTypes.h"
#include "settings/QEMGridColor.h"
#include "settings/QEMLazyUnit.h"

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// Bit n for TFontStyle n, which makes the bits the stored integer (bold 1, italic 2,
// underline 4, strike-out 8).
class TFontStyles {
public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> Items) {
    for (auto s : Items)
      FBits = uint8_t(FBits | (1u << s));
  }
  static constexpr TFontStyles FromBits(uint8_t Bits) {
    TFontStyles r;
    r.FBits = uint8_t(Bits & 0x0F);
    return r;
  }
  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool Contains(TFontStyle S) const { return (FBits >> S) & 1u; }
  constexpr TFontStyles& Include(TFontStyle S) {
    FBits = uint8_t(FBits | (1u << S));
    return *this;
  }
  constexpr TFontStyles& Exclude(TFontStyle S) {
    FBits = uint8_t(FBits & ~(1u << S));
    return *this;
  }
  constexpr bool operator==(const TFontStyles&) const = default;

private:
  uint8_t FBits = 0;
};

inline constexpr uint8_t QEMDefaultCharset = 1;

// A font as the grids need it, without any toolkit behind it.
struct TQEMFont {
  std::u16string Name;
  int32_t Size = 0; // points
  TFontPitch Pitch = fpDefault;
  TFontStyles Style;
  uint8_t Charset = QEMDefaultCharset;
  TColor Color = 0;

  void Assign(const TQEMFont& Source) { *this = Source; }
  bool operator==(const TQEMFont&) const = default;
};

// The face and size of the toolkit's default font. Headless until the host says otherwise;
// a GUI calls this before QEMInitialize (later, only the default font object changes).
QEM_API void QEMSetHostDefaultFont(const std::u16string& Name, int32_t Size);
QEM_API TQEMFont QEMHostDefaultFont();

class TQEMGridFonts;

// A subscriber to font changes: a function bound to an object, compared by both, so a window
// can unsubscribe what it subscribed. Bind<&TWindow::FontsChanged>(this) makes one.
struct TQEMFontChangeEvent {
  using TCode = void (*)(void* Data, TQEMGridFonts& Sender);
  TCode Code = nullptr;
  void* Data = nullptr;

  template <auto Method, class T> static TQEMFontChangeEvent Bind(T* Object) {
    return {[](void* Data, TQEMGridFonts& Sender) { (static_cast<T*>(Data)->*Method)(Sender); },
            Object};
  }
  bool operator==(const TQEMFontChangeEvent&) const = default;
};

class QEM_API TQEMGridFonts {
public:
  // An empty table; default and comment font from the host's default; key below the current
  // base key.
  TQEMGridFonts();
  TQEMGridFonts(const TQEMGridFonts&) = delete;
  TQEMGridFonts& operator=(const TQEMGridFonts&) = delete;

  // The language's font, or the default font object itself when the language has none.
  TQEMFont* GetFont(LCID Lang);
  LCID GetLang(int Index) const;
  TQEMFont* GetFontAt(int Index) const;
  int GetCount() const { return int(FFonts.size()); }
  int IndexOf(LCID Lang) const;
  // The existing font, or a new one appended and read from the registry (the default font
  // where nothing is stored). Font objects keep their address until deleted.
  TQEMFont* Add(LCID Lang);
  void Delete(int Index);
  void Clear();
  // Target gets a copy of every (font, language) pair, and nothing else.
  void CopyTo(TQEMGridFonts& Target) const;
  // Each language of Source is found or added here and takes Source's font.
  void Merge(const TQEMGridFonts& Source);

  TQEMFont& DefaultFont() { return *FDefaultFont; }
  TQEMFont& CommentFont() { return *FCommentFont; }

  // Reads happen in full before anything changes, so a failing read leaves the table as it was.
  void Load(LCID Lang, bool CreateIfMissing);
  // Every language of the language table, in table order, then the comment font.
  void LoadAll();
  void LoadComment();
  // Writes only a language that is in the table.
  void Save(LCID Lang);
  void SaveAll();
  void SaveComment();

  void AddFontChangeEvent(TQEMFontChangeEvent Event);
  // Removes the first equal subscriber; one that is not subscribed changes nothing.
  void RemoveFontChangeEvent(TQEMFontChangeEvent Event);
  int FontChangeEventCount() const { return int(FEvents.size()); }
  // Calls the subscribers in the order added, skipping any unsubscribed meanwhile.
  void FontChanged();

  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string Key) { FKey = std::move(Key); }
  static std::u16string LangKeyName(LCID Lang); // 8 upper-case hexadecimal digits

private:
  struct TEntry {
    LCID Lang;
    std::unique_ptr<TQEMFont> Font;
  };
  // The font stored under Key, each value defaulting to the default font's; false when the key
  // is missing.
  bool ReadFont(TQEMRegistry& Registry, const std::u16string& Key, TQEMFont& Font) const;
  void WriteFont(TRegistry& Registry, const std::u16string& Key, const TQEMFont& Font) const;
  TQEMFont* FindOrAppend(LCID Lang);

  std::vector<TEntry> FFonts;
  std::vector<TQEMFontChangeEvent> FEvents;
  std::unique_ptr<TQEMFont> FDefaultFont;
  std::unique_ptr<TQEMFont> FCommentFont;
  std::u16string FKey;
};

// The process's grid fonts; exist between the unit's start-up and shut-down, read from the
// settings on first use (which needs the language table).
QEM_API extern TQEMLazyUnit<TQEMGridFonts> QEMGridFonts;

// Unit start-up and shut-down; the comment font is saved only when the fonts were used.
QEM_API void QEMGridFontInitialize();
QEM_API void QEMGridFontFinalize();
