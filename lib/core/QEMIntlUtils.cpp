#include "core/QEMIntlUtils.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include "core/QEMAsciiCollation.h"
#include "core/QEMLanguageWalk.h"
#include "core/QEMLiterals.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

TQEMLanguageTable* W32Languages = nullptr;
TQEMLanguageTable* NETLanguages = nullptr;
TQEMLanguages* QEMLanguages = nullptr;

namespace intldetail {
bool UseAsciiCollation = true;
} // namespace intldetail

namespace {

std::string Maximized(const char* Locale) {
  char buf[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_addLikelySubtags(Locale, buf, sizeof buf, &err);
  return U_SUCCESS(err) ? std::string(buf) : std::string(Locale);
}

std::string LocaleForLCID(LCID Locale) {
  char buf[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_getLocaleForLCID(Locale, buf, sizeof buf, &err);
  return U_SUCCESS(err) ? std::string(buf) : std::string();
}

// "lang-Script-region" without its script subtag; other tags unchanged.
std::u16string BareTag(std::u16string_view FoldedTag) {
  const size_t a = FoldedTag.find(u'-');
  if (a == std::u16string_view::npos) return std::u16string(FoldedTag);
  const size_t b = FoldedTag.find(u'-', a + 1);
  if (b == std::u16string_view::npos || b - a - 1 != 4) return std::u16string(FoldedTag);
  return std::u16string(FoldedTag.substr(0, a)) + std::u16string(FoldedTag.substr(b));
}

std::u16string Folded(std::u16string_view Tag) {
  // Tags are ASCII nearly always; for ASCII, folding is lowering A-Z and ICU is not needed.
  const bool ascii = std::all_of(Tag.begin(), Tag.end(), [](char16_t c) { return c < 0x80; });
  std::u16string t = ascii ? std::u16string(Tag) : QEMFoldCase(Tag);
  for (char16_t& c : t)
    if (c == u'_')
      c = u'-';
    else if (ascii && c >= u'A' && c <= u'Z')
      c = char16_t(c + (u'a' - u'A'));
  return t;
}

struct TQEMLanguageSeedRow {
  uint32_t LocaleID;
  uint32_t CodePage;
  const char16_t* DispName;
  const char16_t* LangTag;
  const char16_t* LangExt; // upper case
};
#include "QEMLanguageSeeds.inc"

// Whether Locale's collator orders ASCII text as the weights measured at build time say: only
// under the ICU the build measured.
bool AsciiCollates(LCID Locale) {
  static const bool sameIcu = QEMICUVersion() == QEM_LANGUAGE_SEEDS_ICU;
  if (!sameIcu || !intldetail::UseAsciiCollation) return false;
  const uint32_t* end = kAsciiCollationLocales + kAsciiCollationLocaleCount;
  return std::binary_search(kAsciiCollationLocales, end, uint32_t(Locale));
}

bool IsAsciiText(std::u16string_view S) {
  return std::all_of(S.begin(), S.end(), [](char16_t C) { return C < 0x80; });
}

std::u16string_view TextOf(const char16_t* S, int Len) {
  if (!S) return {};
  return Len < 0 ? std::u16string_view(S) : std::u16string_view(S, size_t(Len));
}

// From the rows walked at build time; under another ICU than the build's, from a walk now, so
// that the table always answers what this system's ICU would.
void BuildW32Languages() {
  if (QEMICUVersion() == QEM_LANGUAGE_SEEDS_ICU) {
    std::vector<TQEMLanguage> rows;
    rows.reserve(std::size(kLanguageSeeds));
    for (const auto& r : kLanguageSeeds)
      rows.push_back(TQEMLanguage{r.LocaleID, r.CodePage, r.DispName, r.LangTag, r.LangExt});
    if (kLanguageSeedsIndexed) {
      W32Languages->AddIndexed(std::move(rows), kLanguageSeedTags, kLanguageSeedBareTags);
      return;
    }
    for (auto& r : rows)
      W32Languages->Add(std::move(r));
    return;
  }
  for (auto& s : QEMWalkICULocales())
    W32Languages->Add(TQEMLanguage{s.LocaleID, s.CodePage, std::move(s.DispName),
                                   UTF8ToUTF16(s.LangTag), QEMUpperCase(UTF8ToUTF16(s.LangExt))});
}

const TQEMLanguage* FindLanguage(LCID Locale) {
  if (W32Languages)
    if (auto* l = W32Languages->ByLCID(Locale)) return l;
  return NETLanguages ? NETLanguages->ByLCID(Locale) : nullptr;
}

const TQEMLanguage* FindTag(std::u16string_view Tag) {
  if (W32Languages)
    if (auto* l = W32Languages->ByTag(Tag)) return l;
  return NETLanguages ? NETLanguages->ByTag(Tag) : nullptr;
}

std::u16string Replaced(std::u16string S, char16_t From, char16_t To) {
  std::replace(S.begin(), S.end(), From, To);
  return S;
}

// One open converter per code page, and one collator per (LCID, case rule).
std::map<uint32_t, UConverter*> gConverters;
std::map<uint64_t, UCollator*> gCollators;

const char* ConverterName(uint32_t CodePage) {
  switch (CodePage) {
  case 65001:
    return "UTF-8";
  case 874:
    return "windows-874-2000";
  case 932:
    return "ibm-943_P15A-2003";
  case 936:
    return "windows-936-2000";
  case 949:
    return "windows-949-2000";
  case 950:
    return "windows-950-2000";
  case 20127:
    return "US-ASCII";
  case 28591:
    return "ISO-8859-1";
  default:
    return nullptr;
  }
}

// Per code page, whether ASCII text is the same bytes in it (true of the ANSI code pages), so
// that it needs no table.
std::map<uint32_t, bool> gKeepsAscii;

bool ConvertsAsciiAsIs(UConverter* Conv) {
  char ascii[128];
  for (int i = 0; i < 128; ++i)
    ascii[i] = char(i);
  UChar wide[128];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(Conv, wide, 128, ascii, 128, &err);
  ucnv_reset(Conv);
  if (U_FAILURE(err) || n != 128) return false;
  for (int i = 0; i < 128; ++i)
    if (wide[i] != UChar(i)) return false;
  return true;
}

// Ascii (when given): whether ASCII text passes through the code page unchanged.
UConverter* Converter(uint32_t CodePage, bool* Ascii = nullptr) {
  if (CodePage == 0) CodePage = QEMSystemCodePage();
  if (auto it = gConverters.find(CodePage); it != gConverters.end()) {
    ucnv_reset(it->second);
    if (Ascii) *Ascii = gKeepsAscii[CodePage];
    return it->second;
  }
  UConverter* conv = nullptr;
  std::vector<std::string> names;
  if (const char* n = ConverterName(CodePage)) names.emplace_back(n);
  names.push_back("windows-" + std::to_string(CodePage));
  names.push_back("ibm-" + std::to_string(CodePage));
  for (const auto& n : names) {
    UErrorCode err = U_ZERO_ERROR;
    conv = ucnv_open(n.c_str(), &err);
    if (U_SUCCESS(err) && conv) break;
    conv = nullptr;
  }
  if (!conv) throw EQEMError(Format(SCodePageUnsupported, CodePage));
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setSubstChars(conv, "?", 1, &err);
  gConverters[CodePage] = conv;
  gKeepsAscii[CodePage] = ConvertsAsciiAsIs(conv);
  if (Ascii) *Ascii = gKeepsAscii[CodePage];
  return conv;
}

bool IsAscii(std::string_view S) {
  return std::all_of(S.begin(), S.end(), [](char C) { return (C & 0x80) == 0; });
}
bool IsAscii(std::u16string_view S) {
  return std::all_of(S.begin(), S.end(), [](char16_t C) { return C < 0x80; });
}

// Output of a converter comes in pieces of this many units, appended to a string sized for
// the likely result: no buffer of the worst case, none zero-filled.
constexpr size_t kConvertChunk = 16384;

UCollator* Collator(LCID Locale, bool IgnoreCase) {
  const uint64_t key = (uint64_t(IgnoreCase) << 32) | Locale;
  if (auto it = gCollators.find(key); it != gCollators.end()) return it->second;
  const std::string loc = Locale ? LocaleForLCID(Locale) : std::string();
  UErrorCode err = U_ZERO_ERROR;
  UCollator* coll = ucol_open(loc.c_str(), &err);
  if (U_FAILURE(err) || !coll) {
    err = U_ZERO_ERROR;
    coll = ucol_open("", &err);
  }
  if (coll) ucol_setStrength(coll, IgnoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
  gCollators[key] = coll;
  return coll;
}

LCID LCIDOfPosixLocale(std::string Name) {
  // "de_DE.UTF-8@euro": drop the code set, keep a script modifier.
  std::string modifier;
  if (auto at = Name.find('@'); at != std::string::npos)
    modifier = Name.substr(at + 1), Name.erase(at);
  if (auto dot = Name.find('.'); dot != std::string::npos) Name.erase(dot);
  if (Name.empty() || Name == "C" || Name == "POSIX") return 0;
  if (modifier == "latin" || modifier == "cyrillic") {
    const auto us = Name.find('_');
    const std::string script = modifier == "latin" ? "Latn" : "Cyrl";
    Name = us == std::string::npos ? Name + "_" + script
                                   : Name.substr(0, us) + "_" + script + Name.substr(us);
  }
  for (const std::string& candidate : {Name, Maximized(Name.c_str())}) {
    const LCID lcid = uloc_getLCID(candidate.c_str());
    if (lcid && FindLanguage(lcid)) return lcid;
  }
  return 0;
}

} // namespace

bool TQEMLanguageTable::Find(LCID Locale, int& Index) const {
  const auto it = std::lower_bound(FItems.begin(), FItems.end(), Locale,
                                   [](const TQEMLanguage& L, LCID V) { return L.LocaleID < V; });
  Index = int(it - FItems.begin());
  return it != FItems.end() && it->LocaleID == Locale;
}

const TQEMLanguage* TQEMLanguageTable::ByLCID(LCID Locale) const {
  int i;
  return Find(Locale, i) ? &FItems[size_t(i)] : nullptr;
}

namespace {

// The lowest LCID for Key in a build-time index and in a map of later rows.
std::optional<LCID> LowestForTag(std::span<const TQEMLanguageTagRow> Indexed,
                                 const std::unordered_map<std::u16string, LCID>& Added,
                                 const std::u16string& Key) {
  std::optional<LCID> r;
  const auto it = std::lower_bound(
      Indexed.begin(), Indexed.end(), std::u16string_view(Key),
      [](const TQEMLanguageTagRow& Row, std::u16string_view K) { return Row.Tag < K; });
  if (it != Indexed.end() && it->Tag == Key) r = it->Locale;
  if (const auto a = Added.find(Key); a != Added.end() && (!r || a->second < *r)) r = a->second;
  return r;
}

} // namespace

const TQEMLanguage* TQEMLanguageTable::ByTag(std::u16string_view Tag) const {
  if (Tag.empty()) return nullptr;
  const std::u16string key = Folded(Tag);
  auto lcid = LowestForTag(FIndexedByTag, FByTag, key);
  if (!lcid) lcid = LowestForTag(FIndexedByBareTag, FByBareTag, BareTag(key));
  return lcid ? ByLCID(*lcid) : nullptr;
}

void TQEMLanguageTable::AddIndexed(std::vector<TQEMLanguage> Rows,
                                   std::span<const TQEMLanguageTagRow> ByTag,
                                   std::span<const TQEMLanguageTagRow> ByBareTag) {
  Clear();
  FItems = std::move(Rows);
  FIndexedByTag = ByTag;
  FIndexedByBareTag = ByBareTag;
}

bool TQEMLanguageTable::Add(TQEMLanguage Language) {
  int i;
  if (Find(Language.LocaleID, i)) return false;
  const std::u16string key = Folded(Language.LangTag);
  for (auto* index : {&FByTag, &FByBareTag}) {
    const std::u16string k = index == &FByTag ? key : BareTag(key);
    if (k.empty()) continue;
    auto [it, added] = index->try_emplace(k, Language.LocaleID);
    if (!added && Language.LocaleID < it->second) it->second = Language.LocaleID;
  }
  FItems.insert(FItems.begin() + i, std::move(Language));
  return true;
}

void TQEMLanguageTable::Clear() {
  FItems.clear();
  FIndexedByTag = {};
  FIndexedByBareTag = {};
  FByTag.clear();
  FByBareTag.clear();
}

int TQEMLanguages::GetCount() const {
  return W32Languages ? W32Languages->Count() : 0;
}
LCID TQEMLanguages::GetLCID(int Index) const {
  return W32Languages->Item(Index).LocaleID;
}
std::u16string TQEMLanguages::GetName(int Index) const {
  return W32Languages->Item(Index).DispName;
}
uint32_t TQEMLanguages::GetCodePage(int Index) const {
  return W32Languages->Item(Index).CodePage;
}
int TQEMLanguages::IndexOf(LCID Locale) const {
  int i;
  return W32Languages && W32Languages->Find(Locale, i) ? i : -1;
}

bool AddLanguage(LCID Locale, uint32_t CodePage, const std::u16string& Name,
                 const std::u16string& LangTag, TQEMLanguageTable* Table) {
  if (!Table) Table = W32Languages;
  return Table && Table->Add(TQEMLanguage{Locale, CodePage, Name, LangTag, {}});
}

void ClearLanguages() {
  if (W32Languages) W32Languages->Clear();
}

uint32_t LCIDToCodePage(LCID Locale) {
  const auto* l = Locale ? FindLanguage(Locale) : nullptr;
  return l ? l->CodePage : 0;
}

std::u16string LCIDToLangName(LCID Locale) {
  const auto* l = FindLanguage(Locale);
  return l ? l->DispName : std::u16string(SUnknownLanguage);
}

std::u16string LCIDToLangTag(LCID Locale) {
  const auto* l = FindLanguage(Locale);
  return l ? l->LangTag : std::u16string();
}

bool TryLCIDToLangTag(LCID Locale, std::u16string& Tag) {
  const auto* l = FindLanguage(Locale);
  if (l) Tag = l->LangTag;
  return l != nullptr;
}

LCID LangTagToLCID(const std::u16string& Tag) {
  const auto* l = FindTag(Tag);
  return l ? l->LocaleID : QEMUserDefaultLCID();
}

bool TryLangTagToLCID(const std::u16string& Tag, LCID& Locale) {
  const auto* l = FindTag(Tag);
  if (l) Locale = l->LocaleID;
  return l != nullptr;
}

bool IsValidLangTag(const std::u16string& Tag) {
  return FindTag(Tag) != nullptr;
}
bool IsValidLCID(LCID Locale) {
  return !LCIDToLangTag(Locale).empty();
}

std::u16string LCIDToLocaleName(LCID Locale) {
  return Replaced(LCIDToLangTag(Locale), u'-', u'_');
}
LCID LocaleNameToLCID(const std::u16string& Name) {
  return LangTagToLCID(Replaced(Name, u'_', u'-'));
}
bool IsValidLocaleName(const std::u16string& Name) {
  return IsValidLangTag(Replaced(Name, u'_', u'-'));
}
bool TryLocaleNameToLCID(const std::u16string& Name, LCID& Locale) {
  return TryLangTagToLCID(Replaced(Name, u'_', u'-'), Locale);
}
bool TryLCIDToLocaleName(LCID Locale, std::u16string& Name) {
  Name = LCIDToLocaleName(Locale);
  return !Name.empty();
}

std::u16string LCIDToStr(LCID Locale) {
  return Format(u"$%08x", Locale);
}

std::u16string QEMDefaultLangExt(LCID Locale) {
  const auto* l = FindLanguage(Locale);
  if (l && !l->LangExt.empty()) return l->LangExt;
  const std::string name = UTF16ToUTF8(LCIDToLocaleName(Locale));
  if (name.empty()) return u"";
  const char* iso3 = uloc_getISO3Language(name.c_str());
  return iso3 && *iso3 ? QEMUpperCase(UTF8ToUTF16(iso3)) : u"";
}

LCID StrToLCID(const std::u16string& S) {
  if (S.empty()) return 0;
  try {
    return LCID(uint32_t(QEMStrToInt(S)));
  } catch (const EQEMConvertError&) {
    throw EQEMConvertError(Format(SInvalidLCID, S));
  }
}

std::u16string OldLocaleNameToLocaleName(const std::u16string& S) {
  const size_t sp = S.find(u' ');
  return sp == std::u16string::npos ? std::u16string(u"en_US")
                                    : S.substr(0, sp) + u"_" + S.substr(sp + 1);
}

std::u16string OldLocaleNameToLangTag(const std::u16string& S) {
  return Replaced(OldLocaleNameToLocaleName(S), u'_', u'-');
}

uint32_t QEMSetThreadLocale(LCID) {
  return QEMSystemCodePage();
}

LCID QEMUserDefaultLCID() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (!v || !*v) continue;
    const LCID lcid = LCIDOfPosixLocale(v);
    return lcid ? lcid : 0x0409; // the first variable set decides, as the C library does
  }
  return 0x0409;
}

uint32_t QEMSystemCodePage() {
  const uint32_t cp = LCIDToCodePage(QEMUserDefaultLCID());
  return cp ? cp : 1252;
}

std::u16string StringToWideStringCP(uint32_t CodePage, std::string_view S) {
  if (S.empty()) return {};
  bool ascii = false;
  UConverter* conv = Converter(CodePage, &ascii);
  if (ascii && IsAscii(S)) return std::u16string(S.begin(), S.end());
  std::u16string out;
  out.reserve(S.size()); // a byte never gives more than one unit in an ANSI code page
  const char* src = S.data();
  UErrorCode err;
  do {
    err = U_ZERO_ERROR;
    UChar chunk[kConvertChunk];
    UChar* to = chunk;
    ucnv_toUnicode(conv, &to, chunk + kConvertChunk, &src, S.data() + S.size(), nullptr, true,
                   &err);
    out.append(reinterpret_cast<const char16_t*>(chunk), size_t(to - chunk));
  } while (err == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(err)) throw EQEMError(Format(SCodePageUnsupported, CodePage));
  return out;
}

std::string WideStringToStringCP(uint32_t CodePage, std::u16string_view S) {
  if (S.empty()) return {};
  bool ascii = false;
  UConverter* conv = Converter(CodePage, &ascii);
  if (ascii && IsAscii(S)) return std::string(S.begin(), S.end());
  std::string out;
  out.reserve(S.size() + S.size() / 8);
  const UChar* src = reinterpret_cast<const UChar*>(S.data());
  const UChar* end = src + S.size();
  UErrorCode err;
  do {
    err = U_ZERO_ERROR;
    char chunk[kConvertChunk];
    char* to = chunk;
    ucnv_fromUnicode(conv, &to, chunk + kConvertChunk, &src, end, nullptr, true, &err);
    out.append(chunk, size_t(to - chunk));
  } while (err == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(err)) throw EQEMError(Format(SCodePageUnsupported, CodePage));
  return out;
}

bool QEMCodePageKeepsAscii(uint32_t CodePage) {
  bool ascii = false;
  Converter(CodePage, &ascii);
  return ascii;
}

bool intldetail::AsciiCollationKnown(LCID Locale) {
  return AsciiCollates(Locale);
}

int QEMCompareStringW(LCID Locale, uint32_t Flags, const char16_t* S1, int Len1, const char16_t* S2,
                      int Len2) {
  // Opening a collator costs more than a short run's whole work; ASCII in most locales needs none.
  const std::u16string_view a = TextOf(S1, Len1), b = TextOf(S2, Len2);
  if (IsAsciiText(a) && IsAsciiText(b) && AsciiCollates(Locale)) {
    const int r = QEMCompareAsciiCollated(kAsciiWeights, a, b, (Flags & NORM_IGNORECASE) != 0);
    return r < 0 ? CSTR_LESS_THAN : (r == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN);
  }
  UCollator* coll = Collator(Locale, (Flags & NORM_IGNORECASE) != 0);
  const auto r = ucol_strcoll(coll, reinterpret_cast<const UChar*>(S1), Len1,
                              reinterpret_cast<const UChar*>(S2), Len2);
  return r == UCOL_LESS ? CSTR_LESS_THAN : (r == UCOL_EQUAL ? CSTR_EQUAL : CSTR_GREATER_THAN);
}

int QEMWideCompareStr(LCID Locale, std::u16string_view S1, std::u16string_view S2) {
  // An empty view may carry no pointer at all.
  return QEMCompareStringW(Locale, 0, S1.empty() ? u"" : S1.data(), int(S1.size()),
                           S2.empty() ? u"" : S2.data(), int(S2.size())) -
         2;
}

bool QEMWideSameText(LCID Locale, std::u16string_view S1, std::u16string_view S2) {
  return QEMWideCompareStr(Locale, S1, S2) == 0;
}

void QEMIntlUtilsInitialize() {
  W32Languages = new TQEMLanguageTable;
  BuildW32Languages();
  NETLanguages = nullptr;
  QEMLanguages = new TQEMLanguages;
}

void QEMIntlUtilsFinalize() {
  for (auto& [cp, conv] : gConverters)
    ucnv_close(conv);
  gConverters.clear();
  for (auto& [key, coll] : gCollators)
    ucol_close(coll);
  gCollators.clear();
  delete QEMLanguages;
  QEMLanguages = nullptr;
  delete NETLanguages;
  NETLanguages = nullptr;
  delete W32Languages;
  W32Languages = nullptr;
}

std::string QEMUTF8ToCodePageOrMarked(std::string_view Bytes, uint32_t CodePage) {
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  const std::string_view utf8 = Bytes.starts_with(bom) ? Bytes.substr(bom.size()) : Bytes;
  if (QEMFindInvalidUTF8(utf8) != std::string_view::npos)
    throw EQEMConvertError(std::u16string(SNotUTF8Text));
  bool ascii = false;
  Converter(CodePage, &ascii);
  if (ascii && IsAscii(utf8)) return std::string(utf8);
  const std::u16string text = UTF8ToUTF16(utf8);
  std::string out = WideStringToStringCP(CodePage, text);
  if (StringToWideStringCP(CodePage, out) == text) return out;
  out.clear();
  out.reserve(bom.size() + utf8.size());
  return out.append(bom).append(utf8);
}
