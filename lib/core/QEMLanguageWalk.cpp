#include "core/QEMLanguageWalk.h"

#include <unicode/uloc.h>
#include <unicode/uversion.h>

#include <map>
#include <set>

// Uses ICU and the standard library only: the build-time generator compiles this file on its
// own, before the library exists.
namespace {

std::string LocaleField(const char* Locale,
                        int32_t (*Get)(const char*, char*, int32_t, UErrorCode*)) {
  char buf[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  Get(Locale, buf, sizeof buf, &err);
  return U_SUCCESS(err) ? std::string(buf) : std::string();
}

std::string Maximized(const char* Locale) {
  char buf[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_addLikelySubtags(Locale, buf, sizeof buf, &err);
  return U_SUCCESS(err) ? std::string(buf) : std::string(Locale);
}

std::string LocaleForLCID(uint32_t Locale) {
  char buf[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_getLocaleForLCID(Locale, buf, sizeof buf, &err);
  return U_SUCCESS(err) ? std::string(buf) : std::string();
}

// The ANSI code page Windows gives a locale: by script, with the Latin languages of the
// central European, Turkish, Baltic and Vietnamese pages named.
uint32_t AnsiCodePage(const std::string& Language, const std::string& Script) {
  static const std::set<std::string> ce = {"cs", "sk", "pl", "hu",  "sl",  "hr", "ro",
                                           "sq", "bs", "sr", "hsb", "dsb", "tk"};
  static const std::set<std::string> turkish = {"tr", "az", "uz"};
  static const std::set<std::string> baltic = {"et", "lv", "lt"};
  if (Language == "ja") return 932;
  if (Language == "ko") return 949;
  if (Script == "Latn") {
    if (ce.count(Language)) return 1250;
    if (turkish.count(Language)) return 1254;
    if (baltic.count(Language)) return 1257;
    if (Language == "vi") return 1258;
    return 1252;
  }
  static const std::map<std::string, uint32_t> byScript = {
      {"Cyrl", 1251}, {"Grek", 1253}, {"Hebr", 1255}, {"Arab", 1256},
      {"Thai", 874},  {"Hans", 936},  {"Hant", 950}};
  const auto it = byScript.find(Script);
  return it == byScript.end() ? 0 : it->second;
}

struct TCandidate {
  TQEMLocaleSeed Seed;
  std::string Language, Script, Region;
  bool ExplicitScript;
};

// The locale an LCID stands for, or false for variants, bare languages and locales that map
// to a neighbour's or a neutral LCID.
bool Candidate(const char* Loc, TCandidate& C) {
  const uint32_t lcid = uloc_getLCID(Loc);
  const std::string region = LocaleField(Loc, uloc_getCountry);
  if (lcid == 0 || region.empty() || !LocaleField(Loc, uloc_getVariant).empty()) return false;
  const std::string back = LocaleForLCID(lcid);
  if (back.empty() || Maximized(back.c_str()) != Maximized(Loc)) return false;
  C.Language = LocaleField(Loc, uloc_getLanguage);
  C.Region = region;
  const std::string script = LocaleField(Loc, uloc_getScript);
  C.ExplicitScript = !script.empty();
  C.Script = C.ExplicitScript ? script : LocaleField(Maximized(Loc).c_str(), uloc_getScript);
  UChar name[256] = {};
  UErrorCode err = U_ZERO_ERROR;
  const int32_t len = uloc_getDisplayName(Loc, "en", name, 256, &err);
  C.Seed.LocaleID = lcid;
  C.Seed.CodePage = AnsiCodePage(C.Language, C.Script);
  if (U_SUCCESS(err)) C.Seed.DispName.assign(reinterpret_cast<const char16_t*>(name), size_t(len));
  return true;
}

} // namespace

std::vector<TQEMLocaleSeed> QEMWalkICULocales() {
  std::vector<TCandidate> found;
  std::map<std::string, int> perTag; // lang-region -> locales carrying it
  const int32_t n = uloc_countAvailable();
  for (int32_t i = 0; i < n; ++i) {
    TCandidate c;
    if (!Candidate(uloc_getAvailable(i), c)) continue;
    ++perTag[c.Language + "-" + c.Region];
    found.push_back(std::move(c));
  }
  std::vector<TQEMLocaleSeed> seeds;
  for (auto& c : found) {
    // Locales told apart only by their script keep it in the tag, so their translations
    // never mix.
    const bool ambiguous = perTag[c.Language + "-" + c.Region] > 1 && c.ExplicitScript;
    c.Seed.LangTag =
        ambiguous ? c.Language + "-" + c.Script + "-" + c.Region : c.Language + "-" + c.Region;
    // What the language's extension is made of: ICU's answer for the locale name.
    std::string name = c.Seed.LangTag;
    for (char& ch : name)
      if (ch == '-') ch = '_';
    const char* iso3 = uloc_getISO3Language(name.c_str());
    c.Seed.LangExt = iso3 ? iso3 : "";
    seeds.push_back(std::move(c.Seed));
  }
  return seeds;
}

std::string QEMICUVersion() {
  UVersionInfo v;
  u_getVersion(v);
  char text[U_MAX_VERSION_STRING_LENGTH] = {};
  u_versionToString(v, text);
  return text;
}
