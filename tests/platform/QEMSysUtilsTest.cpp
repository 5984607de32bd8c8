#include <gtest/gtest.h>

#include "platform/QEMSysUtils.h"

TEST(SysUtils, Utf8RoundTripIncludingSupplementaryPlanes) {
  const std::u16string text = u"Grüße \u4E2D\u6587 \U0001F600 end";
  EXPECT_EQ(UTF8ToUTF16(UTF16ToUTF8(text)), text);
  EXPECT_EQ(UTF16ToUTF8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  // Malformed input becomes replacement characters.
  EXPECT_EQ(UTF8ToUTF16("a\xC3"), u"a\uFFFD");          // truncated sequence
  EXPECT_EQ(UTF8ToUTF16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong slash
  EXPECT_EQ(UTF8ToUTF16("\xED\xA0\x80x").back(), u'x'); // encoded surrogate, then goes on
  EXPECT_EQ(UTF16ToUTF8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(SysUtils, CaseRulesAndReplacementIgnoreTheProcessLocale) {
  EXPECT_EQ(QEMUpperCase(u"--translator straße"), u"--TRANSLATOR STRASSE");
  EXPECT_TRUE(QEMSameText(u"$(hlx)", u"$(HLX)"));
  EXPECT_TRUE(QEMSameText(u"ÄÖÜ", u"äöü"));
  EXPECT_LT(QEMCompareText(u"apple", u"Banana"), 0);
  EXPECT_EQ(QEMStringReplace(u"$(hlx)/a;$(HLX)/b", u"$(HLX)", u"/opt", true), u"/opt/a;/opt/b");
  EXPECT_EQ(QEMStringReplace(u"$(hlx)/a", u"$(HLX)", u"/opt", false), u"$(hlx)/a");
  // Characters whose full folding changes length must not shift the matches.
  EXPECT_EQ(QEMStringReplace(u"/straße/$(Hlx)/ǅ", u"$(HLX)", u"bin", true), u"/straße/bin/ǅ");
}

TEST(SysUtils, IntegerParsing) {
  EXPECT_EQ(TryStrToInt(u" 42 "), 42);
  EXPECT_EQ(TryStrToInt(u"-2147483648"), INT32_MIN);
  EXPECT_FALSE(TryStrToInt(u"2147483648"));
  EXPECT_FALSE(TryStrToInt(u"4x2"));
  EXPECT_FALSE(TryStrToInt(u""));
  EXPECT_FALSE(TryStrToInt(u"-"));
  EXPECT_EQ(StrToIntDef(u"99999999999999999999", 7), 7);
}
