#include <gtest/gtest.h>
#include <unicode/stringoptions.h>
#include <unicode/ustring.h>

#include <string>
#include <vector>

#include "platform/QEMSysUtils.h"

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

// ASCII text changes case without ICU: every one- and two-character ASCII text must come out as
// ICU's root rules give it, and compare as ICU's folded comparison does.
TEST(SysUtils, AsciiCaseAnswersAsIcu) {
  auto icu = [](std::u16string_view S, int Op) {
    std::u16string r(S.size() + 8, u'\0');
    UErrorCode err = U_ZERO_ERROR;
    const auto* src = reinterpret_cast<const UChar*>(S.data());
    auto* dst = reinterpret_cast<UChar*>(r.data());
    const auto n = int32_t(S.size()), cap = int32_t(r.size());
    const int32_t len = Op == 0   ? u_strToUpper(dst, cap, src, n, "", &err)
                        : Op == 1 ? u_strToLower(dst, cap, src, n, "", &err)
                                  : u_strFoldCase(dst, cap, src, n, U_FOLD_CASE_DEFAULT, &err);
    r.resize(size_t(len));
    return r;
  };
  std::vector<std::u16string> texts;
  for (char16_t a = 0; a < 0x80; ++a) {
    texts.push_back(std::u16string(1, a));
    for (const char16_t b : u"aZ0_ {~")
      if (b) texts.push_back(std::u16string{a, b});
  }
  for (const auto& t : texts) {
    ASSERT_EQ(QEMUpperCase(t), icu(t, 0));
    ASSERT_EQ(QEMLowerCase(t), icu(t, 1));
    ASSERT_EQ(QEMFoldCase(t), icu(t, 2));
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    const auto& a = texts[i];
    const auto& b = texts[(i * 31 + 7) % texts.size()];
    UErrorCode err = U_ZERO_ERROR;
    const int r = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), int32_t(a.size()),
                                   reinterpret_cast<const UChar*>(b.data()), int32_t(b.size()),
                                   U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &err);
    ASSERT_EQ(QEMCompareText(a, b), r < 0 ? -1 : (r > 0 ? 1 : 0));
  }
  EXPECT_EQ(QEMCompareText(u"ab", u"AB"), 0);
  EXPECT_LT(QEMCompareText(u"ab", u"ABC"), 0);
  EXPECT_LT(QEMCompareText(u"[", u"a"), 0) << "folded to lower case before comparing";
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
