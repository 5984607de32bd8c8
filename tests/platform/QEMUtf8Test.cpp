#include <gtest/gtest.h>

#include <string>

#include "platform/QEMSysUtils.h"

// The one validator every reader of UTF-8 uses: the offset names the line in their messages.
TEST(Utf8, FirstInvalidByteIsFoundWhereverItIs) {
  const size_t npos = std::string_view::npos;
  EXPECT_EQ(QEMFindInvalidUTF8(""), npos);
  EXPECT_EQ(QEMFindInvalidUTF8("Grüße \xE4\xB8\xAD \xF0\x9F\x98\x80"), npos);
  EXPECT_EQ(QEMFindInvalidUTF8(std::string_view("a\0b", 3)), npos);
  EXPECT_EQ(QEMFindInvalidUTF8("\xC0\xAF"), 0u);         // overlong
  EXPECT_EQ(QEMFindInvalidUTF8("ab\xED\xA0\x80"), 2u);   // encoded surrogate
  EXPECT_EQ(QEMFindInvalidUTF8("\xF4\x90\x80\x80"), 0u); // beyond U+10FFFF
  EXPECT_EQ(QEMFindInvalidUTF8("ok \xE4\xB8"), 3u);      // cut off at the end
  EXPECT_EQ(QEMFindInvalidUTF8("\x80"), 0u);             // lone continuation
  // Around the eight-byte ASCII steps.
  EXPECT_EQ(QEMFindInvalidUTF8("abcdefgh\xFF"), 8u);
  EXPECT_EQ(QEMFindInvalidUTF8("abcdefg\xC3\xA9hijklmnop\xFE"), 18u);
  EXPECT_EQ(QEMFindInvalidUTF8("abcdefgh\xC3"), 8u);
}

TEST(Utf8, ConversionsKeepNulsAndReplaceWhatIsBroken) {
  EXPECT_EQ(UTF8ToUTF16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(UTF16ToUTF8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  // Broken text still converts in full: one replacement per broken sequence, the rest kept.
  EXPECT_EQ(UTF8ToUTF16("x\xE4\xB8y\xFFz"), u"x\uFFFDy\uFFFDz");
  EXPECT_EQ(UTF16ToUTF8(std::u16string{u'a', char16_t(0xDC00), u'b', char16_t(0xD800)}),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  const std::string big(100000, 'q');
  EXPECT_EQ(UTF16ToUTF8(UTF8ToUTF16(big + "\xC3\xA9")), big + "\xC3\xA9");
}
