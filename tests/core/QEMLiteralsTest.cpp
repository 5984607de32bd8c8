#include "core/QEMLiterals.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

namespace {

struct TBadLiteral {
  std::u16string S;
  int Pos;
  std::u16string_view Msg;
};

// The entry points of one syntax, which must all agree.
struct TSyntax {
  bool (*Valid)(std::u16string_view, int&, std::u16string&);
  bool (*Try)(std::u16string&);
  std::u16string (*ToRaw)(std::u16string_view);
};
const TSyntax PasSyntax{IsValidPasString, TryPasStringToRaw, PasStringToRaw};
const TSyntax CPPSyntax{IsValidCPPString, TryCPPStringToRaw, CPPStringToRaw};

// On failure the validator reports the error, the converter yields empty text and Try empties
// its argument.
void ExpectError(const TSyntax& Syn, const TBadLiteral& B) {
  int pos = -1;
  std::u16string msg, t = B.S;
  EXPECT_FALSE(Syn.Valid(B.S, pos, msg)) << UTF16ToUTF8(B.S);
  EXPECT_EQ(pos, B.Pos) << UTF16ToUTF8(B.S);
  EXPECT_EQ(msg, B.Msg) << UTF16ToUTF8(B.S);
  EXPECT_EQ(Syn.ToRaw(B.S), u"");
  EXPECT_FALSE(Syn.Try(t));
  EXPECT_EQ(t, u"");
}

std::u16string Parse(const TSyntax& Syn, const std::u16string& S) {
  int pos = -1;
  std::u16string msg = u"x", t = S;
  EXPECT_TRUE(Syn.Valid(S, pos, msg)) << UTF16ToUTF8(S) << " at " << pos;
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(msg, u"");
  EXPECT_TRUE(Syn.Try(t));
  EXPECT_EQ(t, Syn.ToRaw(S));
  return t;
}
const auto Pas = [](const std::u16string& S) { return Parse(PasSyntax, S); };
const auto Cpp = [](const std::u16string& S) { return Parse(CPPSyntax, S); };

// Texts rich in the characters the writers treat specially, plus any code unit at all.
std::vector<std::u16string> RandomTexts() {
  static const std::u16string special = u"\r\n\t\a\x01\x1F\x7F'\"\\#$&09AFafgxnr ";
  std::mt19937 rng(20240611);
  std::vector<std::u16string> r;
  for (int k = 0; k < 3000; ++k) {
    std::u16string s(rng() % 24, u' ');
    for (auto& c : s)
      c = rng() % 3 ? special[rng() % special.size()] : char16_t(rng() & 0xFFFF);
    r.push_back(s);
  }
  std::u16string all;
  for (unsigned c = 0; c <= 0xFFFF; ++c)
    all.push_back(char16_t(c));
  r.push_back(all);
  return r;
}

// What a C++ or RC literal reads back as: every \n is CR LF, so a lone LF gains a CR.
std::u16string ReadBack(const std::u16string& S) {
  std::u16string r;
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == u'\n' && (i == 0 || S[i - 1] != u'\r')) r.push_back(u'\r');
    r.push_back(S[i]);
  }
  return r;
}

// A decimal comma in the C library's number formatting for a scope, where the system has one.
struct TNumericLocale {
  std::string Saved = std::setlocale(LC_NUMERIC, nullptr);
  TNumericLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
      if (std::setlocale(LC_NUMERIC, name)) break;
  }
  ~TNumericLocale() { std::setlocale(LC_NUMERIC, Saved.c_str()); }
};

} // namespace

TEST(QEMLiteralsPascal, ReadsQuotedPartsAndCodes) {
  EXPECT_EQ(Pas(u"'It''s'#$41#65"), u"It'sAA");
  EXPECT_EQ(Pas(u""), u"");
  EXPECT_EQ(Pas(u"''"), u"");
  EXPECT_EQ(Pas(u"''''"), u"'");
  EXPECT_EQ(Pas(u"'abc'''"), u"abc'");
  EXPECT_EQ(Pas(u"'abc'#13#10'def'"), u"abc\r\ndef");
  EXPECT_EQ(Pas(u"#$ff#$FF#0"), std::u16string(u"\xFF\xFF\0", 3));
  EXPECT_EQ(Pas(u"'a\tb#$'"), u"a\tb#$");
  // No range check: the low 16 bits, however long the digit run.
  EXPECT_EQ(Pas(u"#70000"), std::u16string(1, char16_t(70000 % 65536)));
  EXPECT_EQ(Pas(u"#$123456789ABCDEF0123"), u"\x0123");
  EXPECT_EQ(Pas(u"#99999999999999999999"), u"\xFFFF");
}

TEST(QEMLiteralsPascal, ErrorsStopAtTheOffendingCharacter) {
  const TBadLiteral cases[] = {
      {u"'abc", 5, SInvalidCharacter},
      {u"'abc''", 7, SInvalidCharacter},
      {u"'a\nb'", 3, SInvalidCharacter},
      {u"'a\rb'", 3, SInvalidCharacter},
      {std::u16string(u"'a\0b'", 5), 3, SInvalidCharacter},
      {u"'a' + 'b'", 4, SInvalidCharacter},
      {u"'a'\r\n'b'", 4, SInvalidCharacter},
      {u"abc", 1, SInvalidCharacter},
      {u"#A", 2, SNumberExpected},
      {u"#$G", 3, SNumberExpected},
      {u"#", 2, SNumberExpected},
      {u"'a'#$", 6, SNumberExpected},
      {u"#-1", 2, SNumberExpected},
      {u"#12x", 4, SInvalidCharacter},
  };
  for (const auto& b : cases) {
    ExpectError(PasSyntax, b);
    EXPECT_FALSE(IsValidPasString(b.S));
  }
}

TEST(QEMLiteralsPascal, WriterQuotesRunsAndCodesTheRest) {
  EXPECT_EQ(RawToPasString(u""), u"''");
  EXPECT_EQ(RawToPasString(u"It's"), u"'It'#39's'");
  EXPECT_EQ(RawToPasString(u"a\r\nb"), u"'a'#13#10'b'");
  EXPECT_EQ(RawToPasString(u"''"), u"#39#39");
  EXPECT_EQ(RawToPasString(std::u16string(u"\0\x1F \xE9\xFFFF", 5)), u"#0#31' \xE9\xFFFF'");
}

TEST(QEMLiteralsCPP, ReadsEscapesAndJoinsLiterals) {
  EXPECT_EQ(Cpp(u"\"a\\x41z\""), u"aAz");
  EXPECT_EQ(Cpp(u"\"a\\x41b\""), u"a\x41B");
  EXPECT_EQ(Cpp(u"\"a\" \t\r\n\"b\"\n"), u"ab");
  EXPECT_EQ(Cpp(u""), u"");
  EXPECT_EQ(Cpp(u"\"\""), u"");
  EXPECT_EQ(Cpp(u"\"\\n|\\r|\\r\\n|\\r\\\\n\""), u"\r\n|\r|\r\n|\r\\n");
  EXPECT_EQ(Cpp(u"\"\\a\\b\\f\\t\\v\\\\\\'\\\"\""), u"\a\b\f\t\v\\'\"");
  // \u has a fixed length, so a letter may follow it where a \x escape would take it.
  EXPECT_EQ(Cpp(u"\"\\0\\08\\1234\\177777\""), std::u16string(u"\u0000\u00008\u029C\uFFFF", 5));
  EXPECT_EQ(Cpp(u"\"\\u20AC\\U0000FFFF\\x00000041\""), u"\u20AC\uFFFFA");
  EXPECT_EQ(Cpp(u"\"raw\r\nline\""), u"raw\r\nline");
}

TEST(QEMLiteralsCPP, ErrorsStopAtTheOffendingCharacter) {
  const TBadLiteral cases[] = {
      {u"\"abc", 5, SUnterminatedString},
      {u"\"ab\\", 5, SUnterminatedString},
      {u"\"\\q\"", 3, SInvalidEscapeSequence},
      {u"\"\\8\"", 3, SInvalidEscapeSequence},
      {u"\"\\x\"", 4, SInvalidEscapeSequence},
      {u"\"\\ug\"", 4, SInvalidEscapeSequence},
      {u"\"\\x", 4, SInvalidEscapeSequence},
      {u"\"\\x10000\"", 9, SNumericConstantTooLarge},
      {u"\"\\u12345\"", 9, SNumericConstantTooLarge},
      {u"\"\\777777\"", 9, SNumericConstantTooLarge},
      {u"\"\\x0000000000010000\"", 20, SNumericConstantTooLarge},
      {u"x\"a\"", 1, SInvalidCharacter},
      {u"\"a\" x", 5, SInvalidCharacter},
      {u"'a'", 1, SInvalidCharacter},
      {u"\"a\"\"", 5, SUnterminatedString},
  };
  for (const auto& b : cases) {
    ExpectError(CPPSyntax, b);
    EXPECT_EQ(RCStringToRaw(b.S), u"");
    EXPECT_FALSE(IsValidCPPString(b.S));
  }
}

TEST(QEMLiteralsCPP, WriterEscapesAndSplitsBeforeHexDigits) {
  EXPECT_EQ(RawToCPPString(u"\u0001F"), u"\"\\x1\"\"F\"");
  EXPECT_EQ(RawToCPPString(u"\u001Fa\u001Fg\u001F"), u"\"\\x1F\"\"a\\x1Fg\\x1F\"");
  EXPECT_EQ(RawToCPPString(std::u16string(u"\u00000", 2)), u"\"\\x0\"\"0\"");
  EXPECT_EQ(RawToCPPString(u"It's \"x\" \\ \t\a"), u"\"It's \\\"x\\\" \\\\ \\t\\a\"");
  EXPECT_EQ(RawToCPPString(u"a\r\nb"), u"\"a\\nb\"");
  EXPECT_EQ(RawToRCString(u"a\r\nb"), u"\"a\\r\\nb\"");
  EXPECT_EQ(CPPStringToRaw(u"\"a\\nb\""), u"a\r\nb");
  EXPECT_EQ(RCStringToRaw(u"\"a\\r\\nb\""), u"a\r\nb");
  EXPECT_EQ(RawToCPPString(u"\n\r"), u"\"\\n\\r\"");
  EXPECT_EQ(RawToRCString(u"\n\r"), u"\"\\n\\r\"");
  // A lone CR before a CR LF pair must not merge into it.
  EXPECT_EQ(RawToCPPString(u"\r\r\n"), u"\"\\xD\\n\"");
  EXPECT_EQ(CPPStringToRaw(RawToCPPString(u"a\r\r\nb")), u"a\r\r\nb");
  EXPECT_EQ(RawToCPPString(u""), u"\"\"");
}

TEST(QEMLiteralsRoundTrip, WritersAndParsersAgreeOnAnyText) {
  for (const auto& s : RandomTexts()) {
    ASSERT_EQ(Pas(RawToPasString(s)), s);
    ASSERT_EQ(Cpp(RawToRCString(s)), ReadBack(s));
    ASSERT_EQ(Cpp(RawToCPPString(s)), ReadBack(s));
  }
  EXPECT_EQ(PasStringToCPPString(u"'a'#13#10'b'#1'F'"), u"\"a\\nb\\x1\"\"F\"");
  EXPECT_EQ(CPPStringToPasString(u"\"It's\\n\""), u"'It'#39's'#13#10");
  EXPECT_EQ(PasStringToCPPString(u"'bad"), u"\"\"");
  EXPECT_EQ(CPPStringToPasString(u"\"bad"), u"''");
}

TEST(QEMLiteralsNotes, EscapingOfLegacyLines) {
  const std::u16string raw = u"a\r\nb\nc\rd\u0004e\u0003";
  EXPECT_EQ(StrToQEM(raw), u"a\u0001\u0002b\u0001\u0002c\rd\u0003e\u0003");
  EXPECT_EQ(QEMToStr(StrToQEM(raw)), u"a\r\nb\r\nc\rd\u0004e\u0004");
  EXPECT_EQ(QEMToStr(u"\x01\x01\x02\x02\x01"), u"\x01\r\n\x02\x01");
  EXPECT_EQ(StrToQEM(u"\r\r\n\n"), u"\r\x01\x02\x01\x02");
}

TEST(QEMLiteralsFloat, GeneralFormatWithFifteenDigits) {
  const std::pair<double, std::u16string_view> cases[] = {
      {0.0, u"0"},
      {-0.0, u"0"},
      {1, u"1"},
      {-1.5, u"-1.5"},
      {0.1, u"0.1"},
      {1.0 / 3, u"0.333333333333333"},
      {-2.0 / 3, u"-0.666666666666667"},
      {45123.5123456789, u"45123.5123456789"},
      {1e14, u"100000000000000"},
      {999999999999999.9, u"1E15"},
      {1e15, u"1E15"},
      {123456789012345678.0, u"1.23456789012346E17"},
      {1e20, u"1E20"},
      {0.0001, u"0.0001"},
      {0.000123, u"0.000123"},
      {0.00001, u"1E-5"},
      {-1.5e-7, u"-1.5E-7"},
      {1.7976931348623157e308, u"1.79769313486232E308"},
      {5e-324, u"4.94065645841247E-324"},
      {std::numeric_limits<double>::quiet_NaN(), u"NAN"},
      {HUGE_VAL, u"INF"},
      {-HUGE_VAL, u"-INF"},
  };
  for (const auto& [x, s] : cases)
    EXPECT_EQ(QEMFloatToStr(x), s) << x;
}

TEST(QEMLiteralsFloat, ParsesPlainNumbersOnly) {
  EXPECT_EQ(QEMStrToFloat(u"  -12.5e+2 "), -1250.0);
  EXPECT_EQ(QEMStrToFloat(u"+4"), 4.0);
  EXPECT_EQ(QEMStrToFloat(u".5"), 0.5);
  EXPECT_EQ(QEMStrToFloat(u"5."), 5.0);
  EXPECT_EQ(QEMStrToFloat(u"1.5E-7"), 1.5e-7);
  EXPECT_EQ(QEMStrToFloat(u"1e-400"), 0.0);
  EXPECT_EQ(QEMStrToFloat(u"0e999999999999999999999"), 0.0);
  EXPECT_EQ(QEMStrToFloat(u"0.000000000000000000000001e-300"), 0.0);
  // Longer than any number we write, with spaces around: still read whole.
  const std::u16string zeros(80, u'0');
  EXPECT_EQ(QEMStrToFloat(u"  0." + zeros + u"25e+82 "), 25.0);
  EXPECT_EQ(QEMStrToFloat(u"-" + zeros + u"1.5"), -1.5);
  EXPECT_THROW(QEMStrToFloat(zeros + u"1x"), EQEMConvertError);
  for (const char16_t* bad : {u"",      u"  ",       u"abc",
                              u"1,5",   u"1.2.3",    u"1e",
                              u"1e+",   u"e5",       u".",
                              u"-",     u"+-1",      u"NaN",
                              u"nan",   u"inf",      u"INF",
                              u"-INF",  u"Infinity", u"0x1p3",
                              u"1e400", u"-1.8e308", u"100000000000000000000000e300",
                              u"12abc", u"1 2",      u"1e5.5",
                              u"\xFF11"}) {
    EXPECT_THROW(QEMStrToFloat(bad), EQEMConvertError) << UTF16ToUTF8(bad);
  }
  try {
    QEMStrToFloat(u"1.5x");
    FAIL();
  } catch (const EQEMConvertError& e) {
    EXPECT_EQ(e.Message(), u"'1.5x' is not a valid floating point value");
  }
}

TEST(QEMLiteralsFloat, RoundTripsWhateverTheLocale) {
  TNumericLocale locale;
  EXPECT_EQ(QEMFloatToStr(45123.5123456789), u"45123.5123456789");
  EXPECT_EQ(QEMStrToFloat(u"45123.5123456789"), 45123.5123456789);
  EXPECT_THROW(QEMStrToFloat(u"45123,5"), EQEMConvertError);
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  std::uniform_int_distribution<int> exp(-320, 307);
  for (int k = 0; k < 5000; ++k) {
    const double x = mant(rng) * std::pow(10.0, exp(rng));
    const std::u16string s = QEMFloatToStr(x);
    const double y = QEMStrToFloat(s);
    ASSERT_EQ(QEMFloatToStr(y), s) << x;
    // Fifteen digits are what a day count with a time of day needs to come back exactly.
    const std::string text = std::to_string(45000 + rng() % 1000) + "." +
                             std::to_string(1000000000 + rng() % 9000000000ULL);
    double day = 0;
    std::from_chars(text.data(), text.data() + text.size(), day);
    ASSERT_EQ(QEMStrToFloat(QEMFloatToStr(day)), day) << day;
  }
}

TEST(QEMLiteralsText, TrimPickLetter) {
  EXPECT_EQ(TrimPickLetter(u"&File"), u"File");
  EXPECT_EQ(TrimPickLetter(u"A&&B"), u"A&&B");
  EXPECT_EQ(TrimPickLetter(u"Save&"), u"Save&");
  EXPECT_EQ(TrimPickLetter(u"&&&"), u"&&&");
  EXPECT_EQ(TrimPickLetter(u"&&&x&y"), u"&&xy");
  EXPECT_EQ(TrimPickLetter(u""), u"");
}

TEST(QEMLiteralsText, WholeWordNeverLooksOutsideTheText) {
  const std::u16string s = u"ab cd";
  EXPECT_TRUE(IsWholeWordW(s, 0, 3));
  EXPECT_FALSE(IsWholeWordW(s, 1, 3));
  EXPECT_FALSE(IsWholeWordW(s, 3, 4));
  EXPECT_TRUE(IsWholeWordW(s, 3, 6));
  EXPECT_FALSE(IsWholeWordW(s, 2, 6));
  for (int before : {-1000, -1, 0, 6, 7, 1 << 30})
    for (int after : {-1000, -1, 0, 6, 7, 1 << 30}) {
      EXPECT_TRUE(IsWholeWordW(s, before, after));
      EXPECT_TRUE(IsWholeWordW(u"", before, after));
    }
  EXPECT_TRUE(IsWholeWordW(u"x_\xE9\x0100y", 2, 4));
}

TEST(QEMLiteralsText, LineEndHelpersStopAtNul) {
  const std::u16string nul(u"a\r\nb\rc\nd\0\r\n", 11);
  EXPECT_EQ(CRLFtoLF(nul), u"a\nb\nc\nd");
  EXPECT_EQ(LFtoCRLF(nul), u"a\r\nb\rc\r\nd");
  EXPECT_EQ(LFtoCRLF(u"\n\n\r\r\n"), u"\r\n\r\n\r\r\n");
  EXPECT_FALSE(HasCR(std::u16string(u"a\0\r", 3)));
  EXPECT_FALSE(HasLF(std::u16string(u"a\0\n", 3)));
  EXPECT_TRUE(HasCR(u"a\r"));
  EXPECT_TRUE(HasLF(u"\n"));
  EXPECT_EQ(CondInt(true, 1, 2) + CondInt(false, 10, 20), 21);
  EXPECT_EQ(CondStr(false, u"a", u"b"), u"b");
}
