#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMEntryValidation.h"

namespace {

using A = TQEMAnswer;

class EntryValidation : public ::testing::Test {
protected:
  void SetUp() override { FPrevious = QEMSetUIServices(UI); }
  void TearDown() override {
    QEMSetUIServices(FPrevious);
    QEMINTOptionProps->AutomaticQuoteStrings = true;
  }
  // Whether the entry passes; T becomes what the caller would store.
  bool Check(const std::u16string& Original, std::u16string T, char16_t Quote = u'\'',
             bool Specifiers = false, bool Escapes = false) {
    Stored = T;
    return ValidateEntry(nullptr, Original, Stored, nullptr, nullptr, Specifiers, Escapes, Quote);
  }
  std::u16string Last() const { return UI->Shown().back().Text; }
  void Answer(std::initializer_list<A> Answers) {
    for (A a : Answers)
      UI->QueueAnswer(a);
  }

  std::shared_ptr<TQEMScriptedUIServices> UI = std::make_shared<TQEMScriptedUIServices>();
  std::u16string Stored;

private:
  std::shared_ptr<IQEMUIServices> FPrevious;
};

TEST_F(EntryValidation, NumericTypes) {
  EXPECT_EQ(NumericTypeOf(u" +42 "), ntInteger);
  for (const char16_t* s : {u"- 5", u"99999999999999999999", u"1e999", u"1.5.3", u".5"})
    EXPECT_EQ(NumericTypeOf(s), ntNone);
  EXPECT_FALSE(Check(u"100", u"1e2"));
  EXPECT_EQ(Last(), u"Numeric type mismatch: Integer expected but '1e2' found.");
  EXPECT_FALSE(Check(u"5.0", u"5"));
  EXPECT_EQ(Last(), u"Numeric type mismatch: Float expected but '5' found.");
  EXPECT_TRUE(Check(u"5.0", u"7.25"));
}

TEST_F(EntryValidation, LiteralGrammar) {
  auto pas = [](const std::u16string& S) { return IsValidString(S, u'\'', nullptr, false, false); };
  EXPECT_EQ(pas(u"'Line'#13#10'next'"), u"");
  EXPECT_EQ(pas(u"'It''s' + 'x'"), u"");
  for (const char16_t* s : {u"'a'#1A", u"'a'#99999999999"})
    EXPECT_EQ(pas(s), SAsciiValueIncorrect);
  for (const char16_t* s : {u"'a' b", u"'open"})
    EXPECT_EQ(pas(s), SQuotesIncorrect);
  EXPECT_EQ(IsValidString(u"\"a\"#13", u'"', nullptr, false, false), SQuotesIncorrect);
  EXPECT_EQ(IsValidString(u"\"a\\\"b\"", u'"', nullptr, true, false), u"");
}

TEST_F(EntryValidation, QuotesFollowTheAutoQuoteOption) {
  EXPECT_TRUE(Check(u"'Hello'", u"Hallo"));
  EXPECT_EQ(Stored, u"'Hallo'");
  QEMINTOptionProps->AutomaticQuoteStrings = false;
  EXPECT_FALSE(Check(u"'Hello'", u"Hallo"));
  EXPECT_EQ(Last(), SQuotesIncorrect);
  EXPECT_TRUE(Check(u"'Hello'", u""));
  EXPECT_EQ(Stored, u"''");
}

TEST_F(EntryValidation, FormatSpecifiers) {
  // Indexes bind the arguments, so a reordering must name them.
  EXPECT_TRUE(Check(u"'%s then %d'", u"'%1:d then %0:S'", u'\'', true));
  EXPECT_TRUE(UI->Shown().empty());
  Answer({A::anNo, A::anYes});
  EXPECT_FALSE(Check(u"'%s then %d'", u"'only %s'", u'\'', true));
  EXPECT_EQ(Last(), u"Format specifiers do not match\r\n- Original string: [%0:s][%1:d]\r\n"
                    u"- Current string: [%0:s]\r\n\r\nDo you want to ignore the problem?");
  EXPECT_TRUE(Check(u"'%s then %d'", u"'only %s'", u'\'', true));
}

TEST_F(EntryValidation, EscapeSequences) {
  EXPECT_TRUE(Check(u"\"x\"", u"\"a\\tb\\\\\"", u'"', false, true));
  for (const char16_t* bad : {u"\"a\\qb\"", u"\"a\\\""}) {
    EXPECT_FALSE(Check(u"\"x\"", bad, u'"', false, true));
    EXPECT_EQ(Last(), SEscapeSequencesIncorrect);
  }
}

TEST_F(EntryValidation, SurroundingSpaces) {
  Answer({A::anYes, A::anYes});
  EXPECT_TRUE(Check(u"' OK '", u"'Bien'"));
  EXPECT_EQ(Stored, u"' Bien '");
  EXPECT_EQ(UI->Shown().front().Text, SLeadingSpacesMismatch);
  EXPECT_EQ(Last(), STrailingSpacesMismatch);
  Answer({A::anCancel});
  EXPECT_FALSE(Check(u"' OK '", u"  'Bien'"));
  EXPECT_EQ(Stored, u"  'Bien'");
  // A cancelled second question still hands back the first repair.
  Answer({A::anYes, A::anCancel});
  EXPECT_FALSE(Check(u"' OK '", u"'Bien'"));
  EXPECT_EQ(Stored, u"' Bien'");
}

TEST_F(EntryValidation, BracketsAndComments) {
  EXPECT_TRUE(Check(u"[Value]", u"Wert", 0));
  EXPECT_EQ(Stored, u"[Wert]");
  EXPECT_TRUE(Check(u"(a) (b)", u"  (a) (b) ", 0));
  EXPECT_EQ(Stored, u"(a) (b)");
  EXPECT_FALSE(Check(u"[Value]", u"x[Wert]", 0));
  EXPECT_EQ(Last(), u"[ is either missing or incorrectly placed in string");
  EXPECT_FALSE(Check(u"{Value}", u"{Wert} x", 0));
  EXPECT_EQ(Last(), u"} is either missing or incorrectly placed in string");

  std::u16string v = u" /* neu */ ";
  EXPECT_TRUE(ValidateComment(u"/* old */", v));
  v = u"/*/";
  EXPECT_FALSE(ValidateComment(u"/* old */", v));
  EXPECT_EQ(Last(), SCommentInvalidClosing);
  v = u"// neu";
  EXPECT_FALSE(ValidateComment(u"{ old }", v));
  EXPECT_EQ(Last(), SCommentInvalidOpening);
  EXPECT_FALSE(ValidateComment(u"old", v));
}

class TTestGrid : public IQEMValidationGrid {
public:
  std::u16string GetCell(int C, int R) const override { return Cells.at({C, R}); }
  void SetCell(int C, int R, const std::u16string& V) override { Cells[{C, R}] = V; }
  TQEMFont ColumnFont(int) const override { return {}; }
  std::map<std::pair<int, int>, std::u16string> Cells;
};

TEST_F(EntryValidation, GridWritesRepairsBack) {
  TTestGrid g;
  g.Cells = {{{0, 3}, u"'Hello'"}, {{1, 3}, u"Hallo"}};
  EXPECT_TRUE(ValidateGridEntry(g, 0, 1, 3, true, false, u'\''));
  EXPECT_EQ(g.Cells[std::make_pair(1, 3)], u"'Hallo'");
}

} // namespace
