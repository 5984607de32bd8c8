#include <gtest/gtest.h>

#include "toolkit/QEMFormatParser.h"

namespace {

std::u16string X(const std::u16string& S) {
  return ExtractFormatSpecifier(S);
}

TEST(FormatParser, NormalisesIndexesAndKeepsFlags) {
  EXPECT_EQ(X(u"%s and %d"), u"[%0:s][%1:d]");
  EXPECT_EQ(X(u"%1:s %0:s %s"), u"[%1:s][%0:s][%1:s]");
  EXPECT_EQ(X(u"%-10.2f%10.2f"), u"[%0:-10.2f][%1:10.2f]");
  EXPECT_EQ(X(u"%.3d %*d %S"), u"[%0:.3d][%1:*d][%2:S]");
}

TEST(FormatParser, RejectsWhatIsNoSpecifier) {
  for (const char16_t* s : {u"", u"100%% done", u"%w", u"50% off", u"%5", u"%10."})
    EXPECT_EQ(X(s), u"") << std::string(s, s + std::char_traits<char16_t>::length(s));
}

TEST(FormatParser, StepsAfterAnEarlyConversionStillLookAhead) {
  EXPECT_EQ(X(u"%5d-x"), u"[%0:5d-]");
  EXPECT_EQ(X(u"%5d%s"), u"[%0:5d][%1:s]");
}

TEST(FormatParser, IndexTooLargeIsNoSpecifier) {
  EXPECT_EQ(X(u"%99999999999:s|%s"), u"[%0:s]");
  EXPECT_EQ(X(u"%2147483646:s%s"), u"[%2147483646:s]");
  // Widths are never converted.
  EXPECT_EQ(X(u"%99999999999d"), u"[%0:99999999999d]");
}

} // namespace
