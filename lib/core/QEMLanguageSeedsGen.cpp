// Build-time tool, kept out of the library: walks the ICU locales once and writes the language
// table's rows as C++ for QEMIntlUtils.cpp to include, with the collation weights of ASCII and
// the locales whose collators keep to them.
//   qem_language_seeds OUTPUT
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uloc.h>
#include <unicode/uset.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/QEMAsciiCollation.h"
#include "core/QEMLanguageWalk.h"

namespace {

std::string Quoted(const std::string& S) {
  std::string r = "\"";
  for (char c : S) {
    if (c == '"' || c == '\\') r += '\\';
    r += c;
  }
  return r + "\"";
}

// Non-ASCII as universal character names, so the file is plain ASCII whatever the build's
// source character set.
std::string Quoted(const std::u16string& S) {
  std::string r = "u\"";
  for (size_t i = 0; i < S.size(); ++i) {
    char32_t c = S[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (S[++i] - 0xDC00);
    char buf[16];
    if (c == u'"' || c == u'\\') {
      r += '\\';
      r += char(c);
    } else if (c >= 0x20 && c < 0x7F) {
      r += char(c);
    } else {
      std::snprintf(buf, sizeof buf, c > 0xFFFF ? "\\U%08X" : "\\u%04X", unsigned(c));
      r += buf;
    }
  }
  return r + "\"";
}

// Tags and codes are ASCII.
std::u16string Wide(const std::string& S) {
  return std::u16string(S.begin(), S.end());
}

// As the table folds a tag for its lookups; nullopt for a tag that is not ASCII, which only the
// library's own case folding may fold.
std::optional<std::string> FoldedTag(const std::string& Tag) {
  std::string r;
  for (char c : Tag) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    r += c == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
  }
  return r;
}

// The folded tag without its script subtag, as the table's BareTag makes it.
std::string BareTag(const std::string& Folded) {
  const size_t a = Folded.find('-');
  if (a == std::string::npos) return Folded;
  const size_t b = Folded.find('-', a + 1);
  if (b == std::string::npos || b - a - 1 != 4) return Folded;
  return Folded.substr(0, a) + Folded.substr(b);
}

// Folded tag -> lowest LCID, in tag order; false when some tag cannot be folded here.
bool TagIndexes(const std::map<uint32_t, TQEMLocaleSeed>& Rows,
                std::map<std::string, uint32_t>& ByTag, std::map<std::string, uint32_t>& ByBare) {
  for (const auto& [id, s] : Rows) {
    const auto folded = FoldedTag(s.LangTag);
    if (!folded) return false;
    // Rows come in LCID order, so the first to claim a tag has the lowest LCID.
    if (!folded->empty()) ByTag.emplace(*folded, id);
    if (const std::string bare = BareTag(*folded); !bare.empty()) ByBare.emplace(bare, id);
  }
  return true;
}

void WriteIndex(std::ofstream& F, const char* Name, const std::map<std::string, uint32_t>& Index) {
  F << "constexpr TQEMLanguageTagRow " << Name << "[] = {\n";
  for (const auto& [tag, id] : Index)
    F << "    {" << Quoted(Wide(tag)) << ", 0x" << std::hex << id << std::dec << "},\n";
  F << "};\n";
}

// ---- ASCII collation: weights measured on the root collator, and the locales that agree ----

struct TCollator {
  UCollator* C = nullptr;
  explicit TCollator(const char* Locale) {
    UErrorCode err = U_ZERO_ERROR;
    C = ucol_open(Locale, &err);
    if (U_FAILURE(err)) C = nullptr;
  }
  ~TCollator() {
    if (C) ucol_close(C);
  }
  TCollator(const TCollator&) = delete;
  TCollator& operator=(const TCollator&) = delete;
};

// The three levels of a one-character sort key.
bool KeyLevels(UCollator* C, char16_t Ch, std::string (&Levels)[3]) {
  uint8_t key[64];
  const UChar u = Ch;
  const int32_t n = ucol_getSortKey(C, &u, 1, key, int32_t(sizeof key));
  if (n <= 0 || n > int32_t(sizeof key)) return false;
  int level = 0;
  for (int32_t i = 0; i + 1 < n; ++i) {
    if (key[i] == 1) {
      if (++level > 2) return false;
      continue;
    }
    Levels[level] += char(key[i]);
  }
  return level == 2;
}

int Elements(UCollator* C, char16_t Ch) {
  UErrorCode err = U_ZERO_ERROR;
  const UChar u = Ch;
  UCollationElements* it = ucol_openElements(C, &u, 1, &err);
  if (U_FAILURE(err)) return -1;
  int n = 0;
  while (ucol_next(it, &err) != UCOL_NULLORDER && U_SUCCESS(err))
    ++n;
  ucol_closeElements(it);
  return U_SUCCESS(err) ? n : -1;
}

// Each level's distinct weights in order, numbered from 1 (0 for none at the primary level).
bool RootWeights(TQEMAsciiWeights (&W)[128]) {
  TCollator root("");
  if (!root.C) return false;
  ucol_setStrength(root.C, UCOL_TERTIARY);
  std::string levels[128][3];
  for (int ch = 0; ch < 128; ++ch) {
    if (Elements(root.C, char16_t(ch)) > 1 || !KeyLevels(root.C, char16_t(ch), levels[ch]))
      return false;
    // Ignored at one level means ignored at all of them, or the model does not hold.
    const bool none = levels[ch][0].empty();
    if (none != levels[ch][1].empty() || none != levels[ch][2].empty()) return false;
  }
  for (int level = 0; level < 3; ++level) {
    std::set<std::string> distinct;
    for (auto& l : levels)
      if (!l[level].empty()) distinct.insert(l[level]);
    if (distinct.size() > (level == 0 ? 65535u : 255u)) return false;
    for (int ch = 0; ch < 128; ++ch) {
      const auto& w = levels[ch][level];
      const int rank = w.empty() ? 0 : int(std::distance(distinct.begin(), distinct.find(w))) + 1;
      if (level == 0) W[ch].Primary = uint16_t(rank);
      if (level == 1) W[ch].Secondary = uint8_t(rank);
      if (level == 2) W[ch].Tertiary = uint8_t(rank);
    }
  }
  return true;
}

// Random ASCII texts, heavy on the characters tailorings and punctuation rules touch.
std::u16string RandomText(std::mt19937& Rng) {
  static const std::u16string pool =
      u"aAbBcChHiIlLyYsSzZvVwWoOuUdDgGnNtTeE0123456789 -_.,;:!?'\"()[]{}/\\&#@%+=<>|~`^$*\t";
  std::u16string s;
  const int n = int(Rng() % 7);
  for (int i = 0; i < n; ++i) {
    const unsigned r = Rng() % 40;
    s += r == 0 ? char16_t(Rng() % 128) : pool[Rng() % pool.size()];
  }
  return s;
}

// Whether the model answers as the collator does, at both strengths.
bool AgreesWith(UCollator* C, const TQEMAsciiWeights (&W)[128], int Pairs) {
  std::mt19937 rng(12345);
  for (int i = 0; i < Pairs; ++i) {
    const std::u16string a = RandomText(rng), b = RandomText(rng);
    for (const bool ignoreCase : {true, false}) {
      ucol_setStrength(C, ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
      const UCollationResult r =
          ucol_strcoll(C, reinterpret_cast<const UChar*>(a.data()), int32_t(a.size()),
                       reinterpret_cast<const UChar*>(b.data()), int32_t(b.size()));
      const int expected = r == UCOL_LESS ? -1 : r == UCOL_EQUAL ? 0 : 1;
      if (QEMCompareAsciiCollated(W, a, b, ignoreCase) != expected) return false;
    }
  }
  return true;
}

// No tailoring of an ASCII character or of a string made of them, and the root's settings.
bool KeepsRootAscii(UCollator* C, UCollator* Root) {
  UErrorCode err = U_ZERO_ERROR;
  USet* tailored = ucol_getTailoredSet(C, &err);
  if (U_FAILURE(err)) return false;
  bool plain = true;
  const int32_t items = uset_getItemCount(tailored);
  for (int32_t i = 0; plain && i < items; ++i) {
    UChar32 start = 0, end = 0;
    UChar str[64];
    UErrorCode itemErr = U_ZERO_ERROR;
    const int32_t len = uset_getItem(tailored, i, &start, &end, str, 64, &itemErr);
    if (U_FAILURE(itemErr))
      plain = false;
    else if (len == 0)
      plain = start >= 0x80; // a range
    else
      plain = std::any_of(str, str + len, [](UChar c) { return c >= 0x80; });
  }
  uset_close(tailored);
  for (const UColAttribute a : {UCOL_ALTERNATE_HANDLING, UCOL_CASE_FIRST, UCOL_CASE_LEVEL,
                                UCOL_NUMERIC_COLLATION, UCOL_FRENCH_COLLATION})
    plain = plain && ucol_getAttribute(C, a, &err) == ucol_getAttribute(Root, a, &err);
  plain = plain && U_SUCCESS(err) && ucol_getReorderCodes(C, nullptr, 0, &err) == 0;
  return plain && U_SUCCESS(err);
}

// The LCIDs (0 for the root) whose collators order ASCII text as the weights say, sorted; none
// when the root itself does not fit the model.
std::vector<uint32_t> AsciiCollationLocales(const std::map<uint32_t, TQEMLocaleSeed>& Rows,
                                            TQEMAsciiWeights (&W)[128]) {
  TCollator root("");
  if (!RootWeights(W) || !root.C || !AgreesWith(root.C, W, 20000)) return {};
  std::vector<uint32_t> plain{0};
  for (const auto& [id, s] : Rows) {
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode err = U_ZERO_ERROR;
    uloc_getLocaleForLCID(id, name, int32_t(sizeof name), &err);
    // As the library opens it: the root when the locale cannot be had.
    TCollator own(U_SUCCESS(err) ? name : "");
    UCollator* c = own.C ? own.C : root.C;
    if (KeepsRootAscii(c, root.C) && AgreesWith(c, W, 2000)) plain.push_back(id);
  }
  return plain;
}

void WriteAsciiCollation(std::ofstream& F, const std::map<uint32_t, TQEMLocaleSeed>& Rows) {
  TQEMAsciiWeights w[128] = {};
  std::vector<uint32_t> plain = AsciiCollationLocales(Rows, w);
  F << "constexpr TQEMAsciiWeights kAsciiWeights[128] = {\n";
  for (const auto& x : w)
    F << "    {" << x.Primary << ", " << int(x.Secondary) << ", " << int(x.Tertiary) << "},\n";
  F << "};\n";
  F << "constexpr size_t kAsciiCollationLocaleCount = " << plain.size() << ";\n";
  // An empty array cannot be declared: a placeholder stands in, not counted.
  if (plain.empty()) plain.push_back(0);
  F << "constexpr uint32_t kAsciiCollationLocales[] = {";
  for (const uint32_t id : plain)
    F << "0x" << std::hex << id << std::dec << ", ";
  F << "};\n";
}
} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1], tmp = out + ".tmp";
  {
    std::ofstream f(tmp, std::ios::trunc);
    f << "// Written by qem_language_seeds at build time; do not edit.\n";
    f << "#define QEM_LANGUAGE_SEEDS_ICU " << Quoted(QEMICUVersion()) << "\n";
    f << "constexpr TQEMLanguageSeedRow kLanguageSeeds[] = {\n";
    // In LCID order, the first of the walk for an LCID, as the table keeps them: it fills
    // without moving anything.
    std::map<uint32_t, TQEMLocaleSeed> rows;
    for (auto& s : QEMWalkICULocales())
      rows.emplace(s.LocaleID, std::move(s));
    for (const auto& [id, s] : rows) {
      std::string ext = s.LangExt;
      for (char& c : ext)
        c = char(std::toupper(static_cast<unsigned char>(c)));
      f << "    {0x" << std::hex << id << std::dec << ", " << s.CodePage << ", "
        << Quoted(s.DispName) << ", " << Quoted(Wide(s.LangTag)) << ", " << Quoted(Wide(ext))
        << "},\n";
    }
    f << "};\n";
    std::map<std::string, uint32_t> byTag, byBare;
    const bool indexed = TagIndexes(rows, byTag, byBare);
    f << "constexpr bool kLanguageSeedsIndexed = " << (indexed ? "true" : "false") << ";\n";
    // An empty array cannot be declared: a placeholder row stands in when there is no index.
    if (!indexed) byTag = byBare = {{"", 0}};
    WriteIndex(f, "kLanguageSeedTags", byTag);
    WriteIndex(f, "kLanguageSeedBareTags", byBare);
    WriteAsciiCollation(f, rows);
    if (!f.flush()) {
      std::perror(tmp.c_str());
      return 1;
    }
  }
  if (std::rename(tmp.c_str(), out.c_str()) != 0) {
    std::perror(out.c_str());
    return 1;
  }
  return 0;
}
