#include "toolkit/QEMSpellCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/QEMFiles.h"
#include "platform/QEMSysUtils.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

bool HaveGerman() {
  return fs::exists("/usr/share/hunspell/de_DE.dic") && fs::exists("/usr/share/hunspell/de_DE.aff");
}

// Points the dictionary search elsewhere for one test.
class TDictionaryPath {
public:
  explicit TDictionaryPath(const std::string& Path) {
    if (const char* old = std::getenv("HLX_DICTIONARY_PATH")) FOld = old;
    setenv("HLX_DICTIONARY_PATH", Path.c_str(), 1);
  }
  ~TDictionaryPath() {
    if (FOld)
      setenv("HLX_DICTIONARY_PATH", FOld->c_str(), 1);
    else
      unsetenv("HLX_DICTIONARY_PATH");
  }

private:
  std::optional<std::string> FOld;
};

std::vector<std::u16string> Words(std::u16string_view Text, const std::vector<TQEMTextRange>& R) {
  std::vector<std::u16string> w;
  for (const auto& r : R)
    w.emplace_back(Text.substr(size_t(r.Start), size_t(r.Length)));
  return w;
}

using W = std::vector<std::u16string>;

class SpellCheck : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveGerman()) GTEST_SKIP() << "the German dictionary (hunspell-de-de) is not installed";
  }
  void TearDown() override { DeleteFile(TQEMSpellChecker::UserDictionaryFileName(u"de_DE")); }
};

} // namespace

TEST_F(SpellCheck, MisspeltGermanWordIsFoundWithASuggestionAndMarkupIsNoWord) {
  TQEMSpellChecker s(u"de-DE");
  ASSERT_TRUE(s.Enabled());
  EXPECT_EQ(s.DictionaryName(), u"de_DE");

  const std::u16string text = u"Die Datei enthält einen Fehlr.";
  EXPECT_EQ(Words(text, s.Check(text)), W{u"Fehlr"});
  const auto suggestions = s.Suggest(u"Fehlr");
  EXPECT_NE(std::find(suggestions.begin(), suggestions.end(), u"Fehler"), suggestions.end());

  // Accelerator markers, format specifiers, numbers and addresses are not words.
  for (const char16_t* clean :
       {u"&Datei %s öffnen", u"Ö&ffnen", u"%d Dateien gelöscht", u"%0:s von %1:s Dateien",
        u"Größe: %-10.2f MB", u"Seite 12 von 1.000", u"Kaffee && Kuchen",
        u"Siehe https://example.com/hlfe oder www.beispel.de und info@beispel.de",
        u"Dateien: 3 (MP3, Win32)", u"Die E-Mail an die x-Achse"})
    EXPECT_TRUE(s.Check(clean).empty()) << UTF16ToUTF8(clean);

  // A marker inside a misspelt word: the range covers the word as written.
  const std::u16string marked = u"Ein F&ehlr hier";
  EXPECT_EQ(Words(marked, s.Check(marked)), W{u"F&ehlr"});
  EXPECT_FALSE(s.IsCorrect(u"F&ehlr"));
  EXPECT_TRUE(s.IsCorrect(u"Feh&ler"));
  EXPECT_FALSE(s.Suggest(u"F&ehlr").empty());
  // A specifier glued to a word leaves the word to be checked on its own.
  EXPECT_EQ(Words(u"%sFehlr", s.Check(u"%sFehlr")), W{u"Fehlr"});
  // The same word twice is reported twice (the verdict is cached, not the place).
  EXPECT_EQ(s.Check(u"Fehlr und Fehlr").size(), 2u);
}

TEST_F(SpellCheck, DictionaryComesFromTheTagAndNoneDisablesTheChecker) {
  EXPECT_EQ(ExtractFileName(TQEMSpellChecker::FindDictionary(u"de-DE")), u"de_DE");
  EXPECT_EQ(ExtractFileName(TQEMSpellChecker::FindDictionary(u"de")), u"de_DE");
  EXPECT_EQ(ExtractFileName(TQEMSpellChecker::FindDictionary(u"de-AT")), u"de_DE");
  EXPECT_EQ(TQEMSpellChecker::FindDictionary(u"qaa-QM"), u"");
  EXPECT_EQ(TQEMSpellChecker::FindDictionary(u""), u"");

  TQEMSpellChecker none(u"qaa-QM");
  EXPECT_FALSE(none.Enabled());
  EXPECT_EQ(none.DictionaryName(), u"");
  EXPECT_TRUE(none.Check(u"Qwxyz blarg").empty());
  EXPECT_TRUE(none.Suggest(u"Qwxyz").empty());
  EXPECT_FALSE(none.AddToUserDictionary(u"Qwxyz"));

  // The override replaces the system folder: an empty one holds nothing, and a language
  // with only another region installed takes that one.
  qemtest::TTempDir dir;
  {
    TDictionaryPath path(dir.Path().string());
    EXPECT_EQ(TQEMSpellChecker::FindDictionary(u"de-DE"), u"");
    EXPECT_FALSE(TQEMSpellChecker(u"de-DE").Enabled());
    fs::copy_file("/usr/share/hunspell/de_DE.aff", dir.Path() / "de_CH.aff");
    fs::copy_file("/usr/share/hunspell/de_DE.dic", dir.Path() / "de_CH.dic");
    fs::copy_file("/usr/share/hunspell/de_DE.aff", dir.Path() / "de_AT.aff"); // no .dic
    EXPECT_EQ(TQEMSpellChecker::FindDictionary(u"de-AT"), dir.U16("de_CH"));
    EXPECT_EQ(TQEMSpellChecker(u"de").DictionaryName(), u"de_CH");
  }
}

TEST_F(SpellCheck, UserWordsArePersistedBesideTheSettingsAndLoadedAtStart) {
  const std::u16string file = TQEMSpellChecker::UserDictionaryFileName(u"de_DE");
  EXPECT_EQ(ExtractFilePath(file), ExtractFilePath(UTF8ToUTF16(qemtest::TestRegistryPath())));
  {
    TQEMSpellChecker s(u"de-DE");
    EXPECT_EQ(s.Check(u"Der Qemblubber läuft").size(), 1u);
    EXPECT_TRUE(s.AddToUserDictionary(u"Qem&blubber"));
    EXPECT_TRUE(s.Check(u"Der Qemblubber läuft").empty()); // at once, past the cache
    EXPECT_TRUE(s.AddToUserDictionary(u"Qemblubber"));     // already there
    EXPECT_TRUE(s.AddToUserDictionary(u"Hlxwort"));
    EXPECT_FALSE(s.AddToUserDictionary(u"&"));
    EXPECT_FALSE(s.AddToUserDictionary(u"zwei\nZeilen"));
  }
  EXPECT_EQ(qemtest::ReadTextFile(QEMNativePath(file)), "Hlxwort\nQemblubber\n");
  TQEMSpellChecker again(u"de");
  EXPECT_TRUE(again.Check(u"Qemblubber und Hlxwort").empty());
  // Each language keeps its own words.
  if (fs::exists("/usr/share/hunspell/en_US.dic")) {
    TQEMSpellChecker en(u"en-US");
    EXPECT_EQ(en.Check(u"The Qemblubber runs").size(), 1u);
  }
}

TEST_F(SpellCheck, DictionariesInALegacyEncodingAreReadAndWrittenInIt) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "qaa_QM.aff", "SET ISO8859-1\nTRY esartnilc\n");
  // "Straße" and "Café" in Latin-1.
  qemtest::WriteTextFile(dir.Path() / "qaa_QM.dic", "2\nStra\xDF"
                                                    "e\nCaf\xE9\n");
  TDictionaryPath path(dir.Path().string());
  TQEMSpellChecker s(u"qaa-QM");
  ASSERT_TRUE(s.Enabled());
  const std::u16string text = u"Straße Café Strase Привет";
  EXPECT_EQ(Words(text, s.Check(text)), (W{u"Strase", u"Привет"}));
  const auto suggestions = s.Suggest(u"Strase");
  EXPECT_NE(std::find(suggestions.begin(), suggestions.end(), u"Straße"), suggestions.end());
  EXPECT_TRUE(s.AddToUserDictionary(u"Strase"));
  EXPECT_TRUE(s.IsCorrect(u"Strase"));
  DeleteFile(TQEMSpellChecker::UserDictionaryFileName(u"qaa_QM"));
}
