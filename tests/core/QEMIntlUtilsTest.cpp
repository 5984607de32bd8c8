#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>

#include "core/QEMIntlUtils.h"
#include "core/QEMLanguageWalk.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"

namespace {
// Sets the locale variables for one test and puts the old ones back.
class TLocaleEnv {
public:
  explicit TLocaleEnv(const char* Lang) {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* old = std::getenv(v);
      FOld.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
      unsetenv(v);
    }
    if (Lang) setenv("LANG", Lang, 1);
  }
  ~TLocaleEnv() {
    for (auto& [name, value] : FOld)
      value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }

private:
  std::vector<std::pair<const char*, std::optional<std::string>>> FOld;
};
} // namespace

TEST(Languages, CommonLocalesRoundTripWithTheirCodePages) {
  const std::tuple<LCID, const char16_t*, uint32_t> cases[] = {
      {1033, u"en-US", 1252}, {1031, u"de-DE", 1252}, {1041, u"ja-JP", 932},
      {1049, u"ru-RU", 1251}, {2052, u"zh-CN", 936},  {1028, u"zh-TW", 950},
      {1032, u"el-GR", 1253}, {1055, u"tr-TR", 1254}};
  for (const auto& [id, tag, codePage] : cases) {
    EXPECT_EQ(LCIDToLangTag(id), tag);
    EXPECT_EQ(LangTagToLCID(tag), id);
    EXPECT_EQ(LCIDToCodePage(id), codePage) << id;
    EXPECT_GE(QEMLanguages->IndexOf(id), 0);
  }
  EXPECT_EQ(LCIDToLangName(1031), u"German (Germany)");
  EXPECT_EQ(LangTagToLCID(u"EN-us"), 1033u);
  EXPECT_EQ(LCIDToLocaleName(1033), u"en_US");
  EXPECT_EQ(LocaleNameToLCID(u"de_DE"), 1031u);
  EXPECT_EQ(LCIDToCodePage(0), 0u);
}

// The table starts from rows walked at build time; it must answer exactly what a walk of the
// ICU of this system gives, entry by entry and for every way of asking.
TEST(Languages, TableFromTheBuildAnswersAsAWalkOfTheRunningICU) {
  TQEMLanguageTable walked;
  for (const auto& s : QEMWalkICULocales())
    walked.Add(TQEMLanguage{s.LocaleID, s.CodePage, s.DispName, UTF8ToUTF16(s.LangTag), {}});
  ASSERT_GT(walked.Count(), 150);
  ASSERT_EQ(QEMLanguages->GetCount(), walked.Count());
  for (int i = 0; i < walked.Count(); ++i) {
    const TQEMLanguage& w = walked.Item(i);
    const TQEMLanguage& t = W32Languages->Item(i);
    ASSERT_EQ(t.LocaleID, w.LocaleID) << i;
    EXPECT_EQ(t.CodePage, w.CodePage) << w.LocaleID;
    EXPECT_EQ(t.DispName, w.DispName) << w.LocaleID;
    EXPECT_EQ(t.LangTag, w.LangTag) << w.LocaleID;
    const std::string name = UTF16ToUTF8(LCIDToLocaleName(w.LocaleID));
    EXPECT_EQ(QEMDefaultLangExt(w.LocaleID),
              QEMUpperCase(UTF8ToUTF16(uloc_getISO3Language(name.c_str()))))
        << w.LocaleID;
    // Each tag, its script-less and its upper-case form find what the walk finds.
    const std::u16string tag = w.LangTag;
    const size_t a = tag.find(u'-'), b = tag.find(u'-', a + 1);
    const std::u16string bare = b == std::u16string::npos ? tag : tag.substr(0, a) + tag.substr(b);
    for (const std::u16string& asked : {tag, bare, QEMUpperCase(tag)}) {
      const TQEMLanguage* expected = walked.ByTag(asked);
      const TQEMLanguage* got = W32Languages->ByTag(asked);
      ASSERT_TRUE(expected && got) << UTF16ToUTF8(asked);
      EXPECT_EQ(got->LocaleID, expected->LocaleID) << UTF16ToUTF8(asked);
    }
  }
}

TEST(Languages, UnknownValuesReportAbsenceWithoutRaising) {
  TLocaleEnv env("de_DE.UTF-8");
  EXPECT_FALSE(IsValidLangTag(u"xx-YY"));
  EXPECT_EQ(LangTagToLCID(u"xx-YY"), 1031u); // the user's default
  LCID id = 77;
  EXPECT_FALSE(TryLangTagToLCID(u"xx-YY", id));
  EXPECT_EQ(id, 77u);
  EXPECT_FALSE(IsValidLCID(0x12345));
  EXPECT_EQ(LCIDToLangTag(0x12345), u"");
  EXPECT_EQ(LCIDToLangName(0x12345), u"<unknown>");
  EXPECT_EQ(LCIDToCodePage(0x12345), 0u);
  std::u16string name = u"x";
  EXPECT_FALSE(TryLCIDToLocaleName(0x12345, name));
}

TEST(Languages, ScriptVariantsKeepApartAndAcceptBothTagForms) {
  EXPECT_EQ(LCIDToLangTag(0x241A), u"sr-Latn-RS");
  EXPECT_EQ(LCIDToLangTag(0x281A), u"sr-Cyrl-RS");
  EXPECT_EQ(LCIDToLangTag(0x042C), u"az-Latn-AZ");
  EXPECT_EQ(LCIDToLangTag(0x082C), u"az-Cyrl-AZ");
  EXPECT_EQ(LCIDToCodePage(0x241A), 1250u);
  EXPECT_EQ(LCIDToCodePage(0x281A), 1251u);
  EXPECT_EQ(LangTagToLCID(u"sr-cyrl-rs"), 0x281Au);
  EXPECT_TRUE(IsValidLangTag(u"sr-RS"));          // written by tools that drop the script
  EXPECT_EQ(LangTagToLCID(u"zh-Hans-CN"), 2052u); // and by tools that add it
  EXPECT_EQ(LangTagToLCID(u"de-Latn-DE"), 1031u);
}

TEST(Languages, FallbackTableAnswersWhatTheMainTableDoesNot) {
  TQEMLanguageTable net;
  NETLanguages = &net;
  EXPECT_TRUE(AddLanguage(0x7C01, 1256, u"Arabic (Custom)", u"ar-ZZ", &net));
  EXPECT_FALSE(AddLanguage(0x7C01, 1256, u"again", u"ar-ZZ", &net));
  EXPECT_EQ(LangTagToLCID(u"ar-zz"), 0x7C01u);
  EXPECT_EQ(LCIDToCodePage(0x7C01), 1256u);
  EXPECT_EQ(QEMLanguages->IndexOf(0x7C01), -1); // indexed access covers the main table only
  NETLanguages = nullptr;
  EXPECT_FALSE(IsValidLangTag(u"ar-ZZ"));
}

TEST(Languages, LcidTexts) {
  EXPECT_EQ(LCIDToStr(1033), u"$00000409");
  EXPECT_EQ(StrToLCID(u"$00000409"), 1033u);
  EXPECT_EQ(StrToLCID(u"1031"), 1031u);
  EXPECT_EQ(StrToLCID(u""), 0u);
  try {
    StrToLCID(u"en-US");
    FAIL() << "junk accepted";
  } catch (const EQEMConvertError& e) {
    EXPECT_EQ(e.Message(), u"'en-US' is not a valid LCID value");
  }
  EXPECT_THROW(StrToLCID(u"$"), EQEMConvertError);
  EXPECT_THROW(StrToLCID(u"$1FFFFFFFF"), EQEMConvertError);
  EXPECT_EQ(OldLocaleNameToLocaleName(u"de DE"), u"de_DE");
  EXPECT_EQ(OldLocaleNameToLangTag(u"fr CA"), u"fr-CA");
  EXPECT_EQ(OldLocaleNameToLangTag(u"German"), u"en-US");
}

TEST(CodePages, TextRoundTripsAndUnmappableBecomesQuestionMark) {
  const std::u16string russian = u"Привет, мир";
  const std::string cp1251 = WideStringToStringCP(1251, russian);
  EXPECT_EQ(cp1251.size(), russian.size());
  EXPECT_EQ(uint8_t(cp1251[0]), 0xCF);
  EXPECT_EQ(StringToWideStringCP(1251, cp1251), russian);
  const std::u16string japanese = u"日本語のテキスト";
  const std::string sjis = WideStringToStringCP(932, japanese);
  EXPECT_EQ(sjis.size(), japanese.size() * 2);
  EXPECT_EQ(StringToWideStringCP(932, sjis), japanese);
  EXPECT_EQ(WideStringToStringCP(1252, u"a\u4E2Db"), "a?b");
  EXPECT_EQ(WideStringToStringCP(1252, u"€"), "\x80");
  for (uint32_t cp :
       {874u, 936u, 949u, 950u, 1250u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 65001u})
    EXPECT_EQ(StringToWideStringCP(cp, WideStringToStringCP(cp, u"abc 123")), u"abc 123") << cp;
  EXPECT_THROW(StringToWideStringCP(12345, "x"), EQEMError);
}

TEST(CodePages, SystemCodePageFollowsTheUserLocale) {
  {
    TLocaleEnv env("ru_RU.UTF-8");
    EXPECT_EQ(QEMUserDefaultLCID(), 1049u);
    EXPECT_EQ(QEMSetThreadLocale(1033), 1251u);
  }
  {
    TLocaleEnv env("sr_RS@latin");
    EXPECT_EQ(QEMUserDefaultLCID(), 0x241Au);
  }
  {
    TLocaleEnv env(nullptr);
    EXPECT_EQ(QEMUserDefaultLCID(), 1033u);
    EXPECT_EQ(QEMSystemCodePage(), 1252u);
  }
  TLocaleEnv env("C.UTF-8");
  EXPECT_EQ(QEMUserDefaultLCID(), 1033u);
}

TEST(Collation, CaseSensitiveLocaleOrdering) {
  EXPECT_EQ(QEMWideCompareStr(1033, u"apple", u"Banana"), -1); // not code-unit order
  EXPECT_EQ(QEMWideCompareStr(1033, u"a", u"A"), -1);
  EXPECT_EQ(QEMWideCompareStr(1033, u"B", u"a"), 1);
  EXPECT_EQ(QEMWideCompareStr(1033, u"", u""), 0);
  EXPECT_FALSE(QEMWideSameText(1033, u"Text", u"text"));
  EXPECT_TRUE(QEMWideSameText(1031, u"Straße", u"Straße"));
  EXPECT_EQ(QEMCompareStringW(1033, NORM_IGNORECASE, u"Text", -1, u"TEXT", -1), CSTR_EQUAL);
  EXPECT_EQ(QEMCompareStringW(1033, 0, u"Text", 2, u"Te", -1), CSTR_EQUAL);
  // Swedish sorts ä after z; German next to a.
  EXPECT_EQ(QEMWideCompareStr(1053, u"ä", u"z"), 1);
  EXPECT_EQ(QEMWideCompareStr(1031, u"ä", u"z"), -1);
}

// ASCII compared without a collator must answer as the collator does, in every locale the build
// let through; locales whose collation reorders ASCII must still go to the collator.
TEST(Collation, AsciiWithoutACollatorAnswersAsTheCollator) {
  EXPECT_TRUE(intldetail::AsciiCollationKnown(0x409)) << "en-US takes the short way";
  EXPECT_FALSE(intldetail::AsciiCollationKnown(0x405)) << "cs-CZ: 'ch' sorts after 'h'";
  EXPECT_FALSE(intldetail::AsciiCollationKnown(0x406)) << "da-DK: 'aa' and upper case first";
  EXPECT_FALSE(intldetail::AsciiCollationKnown(0x427)) << "lt-LT: 'y' sorts with 'i'";
  const std::u16string pool = u"aAbBcChHiIyYzZsStTvVwW09 -_.,'\"()/\\&#@+=|~`^$*\t";
  std::mt19937 rng(2024);
  std::vector<std::u16string> texts = {u"",
                                       u"a",
                                       u"A",
                                       u"ab",
                                       u"a b",
                                       u"a-b",
                                       u"a\tb",
                                       u"\x01"
                                       u"a",
                                       u"a\x01",
                                       u"10",
                                       u"9",
                                       u"ch",
                                       u"h",
                                       u"i",
                                       u"y",
                                       u"aa",
                                       u"z",
                                       u"Zz",
                                       u"zZ",
                                       std::u16string(u"a\0b", 3),
                                       u"ab\x7F"};
  for (int i = 0; i < 400; ++i) {
    std::u16string s;
    for (int n = int(rng() % 6); n > 0; --n)
      s += rng() % 25 == 0 ? char16_t(rng() % 128) : pool[rng() % pool.size()];
    texts.push_back(s);
  }
  const struct TFlagsRestore {
    ~TFlagsRestore() { intldetail::UseAsciiCollation = true; }
  } restore;
  int shortWays = 0;
  for (const LCID locale : {0x0u, 0x409u, 0x407u, 0x40Cu, 0x41Du, 0x40Bu, 0x415u, 0x411u, 0x41Eu,
                            0x41Fu, 0x40Eu, 0x405u, 0x406u, 0x427u, 0x425u, 0x41Bu, 0xC0Au}) {
    intldetail::UseAsciiCollation = true;
    shortWays += intldetail::AsciiCollationKnown(locale);
    for (size_t i = 0; i + 1 < texts.size(); i += 2)
      for (const uint32_t flags : {0u, NORM_IGNORECASE}) {
        const auto& a = texts[i];
        const auto& b = texts[(i * 7 + 3) % texts.size()];
        intldetail::UseAsciiCollation = true;
        const int fast =
            QEMCompareStringW(locale, flags, a.data(), int(a.size()), b.data(), int(b.size()));
        intldetail::UseAsciiCollation = false;
        const int slow =
            QEMCompareStringW(locale, flags, a.data(), int(a.size()), b.data(), int(b.size()));
        ASSERT_EQ(fast, slow) << std::hex << locale << " flags " << flags << " '" << UTF16ToUTF8(a)
                              << "' vs '" << UTF16ToUTF8(b) << "'";
      }
  }
  EXPECT_GT(shortWays, 5);
  // Up to the first NUL when no length is given, both ways.
  EXPECT_EQ(QEMCompareStringW(0x409, 0, u"ab", -1, u"ab\0c", 4), CSTR_LESS_THAN);
}

TEST(Languages, DefaultLcidComesFromTheSettingsOrTheUser) {
  const auto args = QEMProgramArgs();
  TLocaleEnv env("fr_FR.UTF-8");
  {
    TRegistry r;
    r.OpenKey(QEMBaseRegKey(), true);
    r.DeleteValue(u"DefaultLCID");
  }
  QEMSetProgramArgs(args); // starts the caches afresh
  EXPECT_EQ(QEMDefaultLCID(), 1036u);
  EXPECT_EQ(SystemLang(), u"fr-FR");
  TQEMRegistry r;
  ASSERT_TRUE(r.OpenKey(QEMBaseRegKey(), false));
  EXPECT_EQ(r.SafeReadInt(u"DefaultLCID", 0), 1036); // written back
  r.WriteInteger(u"DefaultLCID", 1041);
  r.Flush();
  EXPECT_EQ(QEMDefaultLCID(), 1036u); // cached for the run
  QEMSetProgramArgs(args);
  EXPECT_EQ(QEMDefaultLCID(), 1041u);
  r.DeleteValue(u"DefaultLCID");
}

// Rows indexed when they were made and rows added one by one answer together: the lowest LCID
// carrying a tag wins wherever it came from, and the script-less form is asked of both.
TEST(Languages, IndexedRowsAndAddedRowsAnswerAsOneTable) {
  static constexpr TQEMLanguageTagRow kByTag[] = {{u"de-de", 0x0407}, {u"sr-latn-rs", 0x241A}};
  static constexpr TQEMLanguageTagRow kByBare[] = {{u"de-de", 0x0407}, {u"sr-rs", 0x241A}};
  TQEMLanguageTable t;
  t.AddIndexed({{0x0407, 1252, u"German", u"de-DE", u"DEU"},
                {0x241A, 1250, u"Serbian (Latin)", u"sr-Latn-RS", u"SRP"}},
               kByTag, kByBare);
  EXPECT_EQ(t.Count(), 2);
  ASSERT_TRUE(t.ByTag(u"DE_de"));
  EXPECT_EQ(t.ByTag(u"DE_de")->LocaleID, 0x0407u);
  EXPECT_EQ(t.ByTag(u"sr-RS")->LocaleID, 0x241Au);

  EXPECT_TRUE(t.Add({0x0100, 1250, u"Serbian (Cyrillic)", u"sr-Cyrl-RS", {}}));
  EXPECT_EQ(t.ByTag(u"sr-RS")->LocaleID, 0x0100u);      // lower than the indexed one
  EXPECT_EQ(t.ByTag(u"sr-latn-rs")->LocaleID, 0x241Au); // an exact tag beats a bare one
  EXPECT_TRUE(t.Add({0x9999, 1252, u"German (other)", u"de-DE", {}}));
  EXPECT_EQ(t.ByTag(u"de-DE")->LocaleID, 0x0407u); // higher than the indexed one
  EXPECT_FALSE(t.Add({0x0407, 1252, u"again", u"xx-XX", {}}));
  EXPECT_EQ(t.ByTag(u"xx-XX"), nullptr);
  EXPECT_EQ(t.Item(0).LocaleID, 0x0100u);

  t.Clear();
  EXPECT_EQ(t.ByTag(u"de-DE"), nullptr);
  EXPECT_EQ(t.ByTag(u"sr-RS"), nullptr);
}
