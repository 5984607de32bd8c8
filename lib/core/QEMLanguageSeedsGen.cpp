// Build-time tool, kept out of the library: walks the ICU locales once and writes the language
// table's rows as C++ for QEMIntlUtils.cpp to include.
//   qem_language_seeds OUTPUT
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>

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
