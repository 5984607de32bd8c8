#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

using TPositions = std::vector<int32_t>;

// The comparison the search is defined by: the pattern against the substring of its length at
// every position, then the whole-word test.
TPositions Straightforward(std::u16string_view Pattern, std::u16string_view Text, LCID Locale,
                           bool CaseSensitive, bool WholeWords) {
  TPositions r;
  const size_t m = Pattern.size();
  for (size_t p = 0; m && p + m <= Text.size(); ++p)
    if (QEMCompareStringW(Locale, CaseSensitive ? 0 : NORM_IGNORECASE, Pattern.data(), int(m),
                          Text.data() + p, int(m)) == CSTR_EQUAL &&
        (!WholeWords || IsWholeWordW(Text, int(p), int(p + m + 1))))
      r.push_back(int32_t(p));
  return r;
}

TPositions Fast(std::u16string_view Pattern, std::u16string_view Text, LCID Locale,
                bool CaseSensitive, bool WholeWords) {
  TPositions r;
  TQEMSearchMatcher(Pattern, Locale, CaseSensitive, WholeWords).FindAll(Text, r);
  return r;
}

constexpr LCID EnUS = 0x409, DeDE = 0x407, TrTR = 0x41F, JaJP = 0x411;

TEST(QEMSearchMatch, DocumentedCases) {
  // Every position is tested, so overlapping matches all count.
  EXPECT_EQ(Fast(u"aa", u"aaaa", EnUS, false, false), (TPositions{0, 1, 2}));
  EXPECT_EQ(Fast(u"AA", u"aaaa", EnUS, true, false), TPositions{});
  // A pattern longer than the text, and empty texts or patterns, never match.
  EXPECT_EQ(Fast(u"Open file", u"Open", EnUS, false, false), TPositions{});
  EXPECT_EQ(Fast(u"a", u"", EnUS, false, false), TPositions{});
  EXPECT_EQ(Fast(u"", u"abc", EnUS, false, false), TPositions{});
  // Whole words: not inside a longer word, but next to punctuation or the text's ends.
  EXPECT_EQ(Fast(u"cat", u"concat cat,(cat)cats", EnUS, false, true), (TPositions{7, 12}));
  EXPECT_EQ(Fast(u"cat", u"concat cat,(cat)cats", EnUS, false, false), (TPositions{3, 7, 12, 16}));
  // Case is ignored unless asked for; accents never are.
  EXPECT_EQ(Fast(u"\u00e9t\u00e9", u"\u00c9T\u00c9 ete \u00e9t\u00e9", DeDE, false, false),
            (TPositions{0, 8}));
  EXPECT_EQ(Fast(u"\u00e9t\u00e9", u"\u00c9T\u00c9 ete \u00e9t\u00e9", DeDE, true, false),
            (TPositions{8}));
  // Substrings of the pattern's length: the sharp s does not stand in for "ss".
  EXPECT_EQ(Fast(u"ss", u"Stra\u00dfe Strasse", DeDE, false, false), (TPositions{11}));
  EXPECT_EQ(Fast(u"\u00df", u"Stra\u00dfe Strasse", DeDE, false, false), (TPositions{4}));
  // The dotless and dotted i follow the text's language.
  EXPECT_EQ(Fast(u"I", u"\u0131i", TrTR, false, false), (TPositions{0}));
  EXPECT_EQ(Fast(u"\u0130", u"\u0131i", TrTR, false, false), (TPositions{1}));
  EXPECT_EQ(Fast(u"I", u"\u0131i", EnUS, false, false), (TPositions{1}));
  // A contraction: a Thai prevowel before its consonant weighs as if it came after it.
  EXPECT_EQ(Fast(u"\u0e01\u0e40", u"\u0e40\u0e01\u0e40\u0e01", EnUS, false, false),
            (TPositions{0, 1, 2}));
  // Japanese text is matched too; a length mark weighs as the vowel before it.
  EXPECT_EQ(Fast(u"\u30a2\u30a2", u"\u30ab\u30a2\u30fc", JaJP, false, false), (TPositions{1}));
  EXPECT_EQ(Fast(u"\u6587\u5b57", u"\u6587\u5b57\u5217\u306e\u6587\u5b57", JaJP, false, false),
            (TPositions{0, 4}));
}

// The matcher skips most positions without a full comparison; whatever it skips, it must
// give exactly what the full comparison at every position gives.
TEST(QEMSearchMatch, AgreesWithTheComparisonAtEveryPosition) {
  // Pieces the texts are made of, separated by "|": ASCII, accented letters in composed and
  // decomposed form, sharp s, Turkish i's, kana and kanji (with a length mark and an iteration
  // mark, which weigh by what precedes them), ignorables, marks, ligatures, a Thai contraction,
  // a character outside the BMP.
  const std::u16string alphabet =
      u"a|b|c|h|l|s|i|A|C|H|L|S|I| |-|.|1|&|ch|aa|ss|\u00e9|\u00c9|e\u0301|\u00e4|a\u0308|\u00f6|"
      u"\u00df|\u1e9e|\u00e5|\u0131|\u0130|i\u0307|\u3042|\u30a2|\uff71|\u30fc|\u309d|\u6f22|"
      u"\u304b\u3099|\u00ad|\u00b7|\u0001|\u0439|\u0438\u0306|\u01c4|\u01c6|\u01f3|\u0323|"
      u"\U0001F600|\ufb01|\u0e40\u0e01|\u0e40|\u0e01";
  std::vector<std::u16string> pieces;
  for (size_t start = 0, bar; start <= alphabet.size(); start = bar + 1) {
    bar = std::min(alphabet.find(u'|', start), alphabet.size());
    pieces.push_back(alphabet.substr(start, bar - start));
  }
  const LCID locales[] = {0,     EnUS,  DeDE,  TrTR,  JaJP,  0x405, 0x406,
                          0x42A, 0x41E, 0xC0C, 0x804, 0x41B, 0x40B};
  std::mt19937 random(20240611);
  auto pick = [&](size_t N) { return size_t(random() % N); };
  auto make = [&](size_t Pieces) {
    std::u16string s;
    for (size_t k = 0; k < Pieces; ++k)
      s += pieces[pick(pieces.size())];
    return s;
  };
  int compared = 0, matched = 0;
  for (const LCID locale : locales) {
    for (int round = 0; round < 250; ++round) {
      const std::u16string text = make(pick(14));
      std::vector<std::u16string> patterns = {make(1 + pick(3))};
      if (!text.empty()) {
        // A piece of the text itself, so that matches are common.
        const size_t start = pick(text.size());
        patterns.push_back(text.substr(start, 1 + pick(5)));
      }
      for (const auto& pattern : patterns)
        for (int options = 0; options < 4; ++options) {
          const bool caseSensitive = options & 1, wholeWords = options & 2;
          const TPositions expected =
              Straightforward(pattern, text, locale, caseSensitive, wholeWords);
          ASSERT_EQ(Fast(pattern, text, locale, caseSensitive, wholeWords), expected)
              << "locale " << locale << " pattern " << UTF16ToUTF8(pattern) << " text "
              << UTF16ToUTF8(text) << " options " << options;
          ++compared;
          matched += !expected.empty();
        }
    }
  }
  // The comparison must have been put to work, not only on misses.
  EXPECT_GT(matched, compared / 5);
}

} // namespace
