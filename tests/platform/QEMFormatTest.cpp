#include <gtest/gtest.h>

#include <clocale>

#include "platform/QEMFormat.h"

TEST(Format, SpecifiersOfTheMessages) {
  EXPECT_EQ(Format(u"Source LCID is either missing or incorrect: $%08x", 0x409u),
            u"Source LCID is either missing or incorrect: $00000409");
  EXPECT_EQ(Format(u"$%08x", -1), u"$FFFFFFFF");
  EXPECT_EQ(Format(u"%8.8x", 0xABCu), u"00000ABC");
  EXPECT_EQ(Format(u"\\StringFileInfo\\%0.4s%0.4s\\", u"040904E4", u"04B0xyz"),
            u"\\StringFileInfo\\040904B0\\");
  EXPECT_EQ(Format(u"[%5d][%-5d][%.3d]", 42, 42, 5), u"[   42][42   ][005]");
  EXPECT_EQ(Format(u"[%*d]", 4, 7), u"[   7]");
  EXPECT_EQ(Format(u"%d%%", -12), u"-12%");
  EXPECT_EQ(Format(u"%s and %s", std::u16string(u"a"), "b"), u"a and b");
  // Indexed arguments: the next plain specifier continues from the index.
  EXPECT_EQ(Format(u"%1:s %0:s %s", u"a", u"b"), u"b a b");
}

TEST(Format, FloatsUseAPointWhateverTheLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may be missing: the point must show either way
  EXPECT_EQ(Format(u"[%-10.2f][%10.2f]", 3.14159, -2.5), u"[3.14      ][     -2.50]");
  EXPECT_EQ(Format(u"%n", 1234567.891), u"1,234,567.89");
  EXPECT_EQ(Format(u"%g", 0.5), u"0.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// Formats known only at run time are checked as they are filled.
TEST(Format, MismatchedOrMissingArgumentsRaise) {
  auto At = [](std::u16string_view Text) { return TQEMRuntimeFormat{Text}; };
  EXPECT_THROW(Format(At(u"%d"), u"text"), EQEMConvertError);
  EXPECT_THROW(Format(At(u"%s"), 1), EQEMConvertError);
  EXPECT_THROW(Format(At(u"%s %s"), u"one"), EQEMConvertError);
  EXPECT_THROW(Format(At(u"%q"), 1), EQEMConvertError);
  EXPECT_THROW(Format(At(u"trailing %"), 1), EQEMConvertError);
  EXPECT_THROW(Format(At(u"%p"), 1), EQEMConvertError);
  EXPECT_EQ(Format(At(u"%2:s%0:s"), u"a", u"b", u"c"), u"ca");
}
