#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <random>
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

namespace {
// One ICU call over the whole text: what the conversions must give for text of any size here.
std::u16string IcuUtf16(std::string_view S) {
  std::u16string r(S.size(), u'\0');
  int32_t len = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(r.data()), int32_t(r.size()), &len, S.data(),
                       int32_t(S.size()), 0xFFFD, nullptr, &err);
  r.resize(U_SUCCESS(err) ? size_t(len) : 0);
  return r;
}

std::string IcuUtf8(std::u16string_view S) {
  std::string r(3 * S.size(), '\0');
  int32_t len = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(r.data(), int32_t(r.size()), &len, reinterpret_cast<const UChar*>(S.data()),
                     int32_t(S.size()), 0xFFFD, nullptr, &err);
  r.resize(U_SUCCESS(err) ? size_t(len) : 0);
  return r;
}
} // namespace

// ASCII is copied without the converter up to the first other unit, wherever that falls:
// right at the start, after a few letters or NULs, or in the last place.
TEST(Utf8, AsciiRunsThenAnythingConvertAsTheConverterWould) {
  const std::u16string tails16[] = {u"",
                                    u"\u00E9",
                                    u"\U0001F600x",
                                    {char16_t(0xD800)},
                                    {char16_t(0xDC00), u'a'},
                                    {char16_t(0xD83D)} /* lead at the very end */,
                                    {u'\0', char16_t(0xDFFF), u'\0'}};
  const std::string tails8[] = {"",         "\xC3\xA9",  "\xF0\x9F\x98\x80x",
                                "\x80",     "\xE4\xB8",  "\xED\xA0\x80",
                                "\xC0\xAF", "\xFF\xFEz", "\xF4\x90\x80\x80"};
  for (const size_t n : {0, 1, 7, 8, 15, 16, 17, 33}) {
    const std::string head8 =
        std::string(n / 2, 'p') + std::string(1, '\0') + std::string(n / 2, '/');
    const std::u16string head16(head8.begin(), head8.end());
    for (const auto& t : tails16)
      EXPECT_EQ(UTF16ToUTF8(head16 + t), IcuUtf8(head16 + t)) << n;
    for (const auto& t : tails8)
      EXPECT_EQ(UTF8ToUTF16(head8 + t), IcuUtf16(head8 + t)) << n;
  }
  // Random text, mostly ASCII with rare other units, as paths and keys are.
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    const size_t len = rng() % 40;
    std::u16string u;
    std::string b;
    for (size_t i = 0; i < len; ++i) {
      const unsigned pick = rng() % 16;
      u.push_back(pick == 0   ? char16_t(0xD800 + rng() % 0x800)
                  : pick == 1 ? char16_t(0x80 + rng() % 0xFF80)
                              : char16_t(rng() % 0x80));
      b.push_back(pick < 2 ? char(0x80 + rng() % 0x80) : char(rng() % 0x80));
    }
    ASSERT_EQ(UTF16ToUTF8(u), IcuUtf8(u)) << round;
    ASSERT_EQ(UTF8ToUTF16(b), IcuUtf16(b)) << round;
  }
}
