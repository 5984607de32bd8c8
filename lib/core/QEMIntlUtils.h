#pragma once
// Languages: the table of locales the system knows (LCID, ANSI code page, display name, language
// tag), conversions between LCIDs, tags, locale names and "$0000xxxx" texts, code-page
// conversion of ANSI text, and locale-aware comparison.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/QEMTypes.h"
#include "platform/QEMSysUtils.h"

struct TQEMLanguage {
  LCID LocaleID = 0;
  uint32_t CodePage = 0;
  std::u16string DispName;
  std::u16string LangTag;
  // The resource-module extension (QEMDefaultLangExt) when known in advance; else empty.
  std::u16string LangExt;
};

// A folded tag and the lowest LCID carrying it; arrays of these are sorted by tag.
struct TQEMLanguageTagRow {
  std::u16string_view Tag;
  LCID Locale;
};

// Entries kept sorted by LocaleID; tag lookups go through an index that answers what a scan
// from the first entry would (the lowest LCID carrying the tag).
class QEM_API TQEMLanguageTable {
public:
  // Fills an empty table with Rows, sorted by LCID without duplicates, whose tag indexes were
  // made when the rows were: the table then folds and indexes nothing itself.
  void AddIndexed(std::vector<TQEMLanguage> Rows, std::span<const TQEMLanguageTagRow> ByTag,
                  std::span<const TQEMLanguageTagRow> ByBareTag);
  int Count() const { return int(FItems.size()); }
  const TQEMLanguage& Item(int Index) const { return FItems.at(size_t(Index)); }
  // Lowest index whose LCID is not smaller than Locale; true when it is equal.
  bool Find(LCID Locale, int& Index) const;
  const TQEMLanguage* ByLCID(LCID Locale) const;
  // Ignoring case; a tag with a script subtag also answers to its lang-region form and the
  // other way round, so files of tools that omit or add the script still resolve.
  const TQEMLanguage* ByTag(std::u16string_view Tag) const;
  bool Add(TQEMLanguage Language);
  void Clear();

private:
  std::vector<TQEMLanguage> FItems;
  // The rows given to AddIndexed are found here; those added one by one in the maps.
  std::span<const TQEMLanguageTagRow> FIndexedByTag;
  std::span<const TQEMLanguageTagRow> FIndexedByBareTag;
  std::unordered_map<std::u16string, LCID> FByTag;     // folded tag -> lowest LCID
  std::unordered_map<std::u16string, LCID> FByBareTag; // folded tag without script -> lowest LCID
};

QEM_API extern TQEMLanguageTable* W32Languages;
// Optional fallback table a host may create and fill; nullptr when absent.
QEM_API extern TQEMLanguageTable* NETLanguages;

// Indexed access to W32Languages.
class QEM_API TQEMLanguages {
public:
  int GetCount() const;
  LCID GetLCID(int Index) const;
  std::u16string GetName(int Index) const;
  uint32_t GetCodePage(int Index) const;
  int IndexOf(LCID Locale) const;
};
QEM_API extern TQEMLanguages* QEMLanguages;

QEM_API bool AddLanguage(LCID Locale, uint32_t CodePage, const std::u16string& Name,
                         const std::u16string& LangTag, TQEMLanguageTable* Table = nullptr);
QEM_API void ClearLanguages();
QEM_API uint32_t LCIDToCodePage(LCID Locale);
QEM_API std::u16string LCIDToLangName(LCID Locale);
QEM_API std::u16string LCIDToLangTag(LCID Locale);
QEM_API bool TryLCIDToLangTag(LCID Locale, std::u16string& Tag);
QEM_API LCID LangTagToLCID(const std::u16string& Tag);
QEM_API bool TryLangTagToLCID(const std::u16string& Tag, LCID& Locale);
QEM_API bool IsValidLangTag(const std::u16string& Tag);
QEM_API bool IsValidLCID(LCID Locale);
QEM_API std::u16string LCIDToLocaleName(LCID Locale);
QEM_API LCID LocaleNameToLCID(const std::u16string& Name);
QEM_API bool IsValidLocaleName(const std::u16string& Name);
QEM_API bool TryLocaleNameToLCID(const std::u16string& Name, LCID& Locale);
QEM_API bool TryLCIDToLocaleName(LCID Locale, std::u16string& Name);
QEM_API std::u16string LCIDToStr(LCID Locale);
// Empty text is 0; decimal or "$"-hexadecimal otherwise; raises EQEMConvertError for junk.
QEM_API LCID StrToLCID(const std::u16string& S);
// The three-letter language code in capitals ("DEU", "FRA"), the usual resource-module
// extension of a language; empty when the locale is unknown.
QEM_API std::u16string QEMDefaultLangExt(LCID Locale);
QEM_API std::u16string OldLocaleNameToLocaleName(const std::u16string& S);
QEM_API std::u16string OldLocaleNameToLangTag(const std::u16string& S);
// Returns the system ANSI code page; the locale of the process is left alone.
QEM_API uint32_t QEMSetThreadLocale(LCID Locale);

// The user's default locale from LC_ALL, LC_MESSAGES or LANG (en-US when none names a known
// locale), and the ANSI code page that goes with it (1252 when it has none).
QEM_API LCID QEMUserDefaultLCID();
QEM_API uint32_t QEMSystemCodePage();

// ANSI text of a Windows code page to and from UTF-16. Unmappable characters become "?" on the
// way out. Code page 0 is the system ANSI code page, 65001 UTF-8. Raises EQEMError for a code
// page we have no table for, rather than losing the text.
QEM_API std::u16string StringToWideStringCP(uint32_t CodePage, std::string_view S);
QEM_API std::string WideStringToStringCP(uint32_t CodePage, std::u16string_view S);
// Whether every ASCII character is its own byte in CodePage, both ways (true of the ANSI code
// pages): ASCII text then needs no conversion.
QEM_API bool QEMCodePageKeepsAscii(uint32_t CodePage);
// UTF-8 bytes (a byte-order mark allowed) as bytes of CodePage, or, when a character would not
// survive, as UTF-8 behind a byte-order mark: never a "?" for a lost character. Raises
// EQEMConvertError when Bytes is not UTF-8.
QEM_API std::string QEMUTF8ToCodePageOrMarked(std::string_view Bytes, uint32_t CodePage);

inline constexpr uint32_t NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1, CSTR_EQUAL = 2, CSTR_GREATER_THAN = 3;
// The platform's comparison result (1 less, 2 equal, 3 greater); a length of -1 means up to
// the first NUL. Only NORM_IGNORECASE of the flags is honoured.
QEM_API int QEMCompareStringW(LCID Locale, uint32_t Flags, const char16_t* S1, int Len1,
                              const char16_t* S2, int Len2);
QEM_API int QEMWideCompareStr(LCID Locale, std::u16string_view S1, std::u16string_view S2);
QEM_API bool QEMWideSameText(LCID Locale, std::u16string_view S1, std::u16string_view S2);

// For tests: ASCII compared without a collator where the build found the locale's collator
// keeps to the weights it measured (on by default), and whether Locale is such a locale.
namespace intldetail {
QEM_API extern bool UseAsciiCollation;
QEM_API bool AsciiCollationKnown(LCID Locale);
} // namespace intldetail

QEM_API void QEMIntlUtilsInitialize();
QEM_API void QEMIntlUtilsFinalize();
