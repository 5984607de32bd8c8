#include "toolkit/QEMQualityChecks.h"

#include <gtest/gtest.h>

#include "platform/QEMSysUtils.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMFormatParser.h"

namespace {

std::vector<TQEMQualityIssue> Check(std::u16string_view O, std::u16string_view T,
                                    TQEMQualityCheckSettings S = {}, TResStatus St = rsTranslated) {
  return QEMCheckQuality(O, T, St, S);
}

std::vector<TQEMQualityWarning> Kinds(const std::vector<TQEMQualityIssue>& Issues) {
  std::vector<TQEMQualityWarning> k;
  for (const auto& i : Issues)
    k.push_back(i.Kind);
  return k;
}

using K = std::vector<TQEMQualityWarning>;

} // namespace

TEST(QualityChecks, EachWarningFiresOnItsExampleAndStaysQuietOnTheCorrectOne) {
  struct TCase {
    const char16_t* Orig;
    const char16_t* Bad;
    const char16_t* Good;
    TQEMQualityWarning Kind;
  };
  const TCase cases[] = {
      {u"Name ", u"Nom", u"Nom ", qwWhitespace},
      {u"  Total", u"Summe", u"  Summe", qwWhitespace},
      {u"Save changes?", u"Änderungen speichern", u"Änderungen speichern?", qwEndPunctuation},
      {u"Please wait", u"Bitte warten.", u"Bitte warten", qwEndPunctuation},
      {u"Page 1 of 10", u"Seite 1 von", u"Seite 1 von 10", qwMissingNumber},
      {u"Open the file", u"Die Datei  öffnen", u"Die Datei öffnen", qwDoubledSpace},
      {u"Cancel", u"Cancel", u"Abbrechen", qwSameAsOriginal},
      {u"&Open", u"Öffnen", u"Ö&ffnen", qwAccelerator},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Kinds(Check(c.Orig, c.Bad)), K{c.Kind}) << UTF16ToUTF8(c.Bad);
    EXPECT_TRUE(Check(c.Orig, c.Good).empty()) << UTF16ToUTF8(c.Good);
  }

  // Each message says what is wrong, and where it can, shows the place.
  auto w = Check(u"Name ", u"Nom");
  EXPECT_EQ(w[0].Message, u"Trailing white space differs from the original");
  EXPECT_EQ(w[0].Range, (TQEMTextRange{3, 0}));
  w = Check(u"  Total", u" Summe");
  EXPECT_EQ(w[0].Message, u"Leading white space differs from the original");
  EXPECT_EQ(w[0].Range, (TQEMTextRange{0, 1}));
  w = Check(u"Open the file", u"Die   Datei  öffnen");
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].Range, (TQEMTextRange{3, 3}));
  EXPECT_EQ(w[1].Range, (TQEMTextRange{11, 2}));
  w = Check(u"Please wait", u"Bitte warten. ");
  ASSERT_EQ(Kinds(w), (K{qwWhitespace, qwEndPunctuation}));
  EXPECT_EQ(w[1].Range, (TQEMTextRange{12, 1}));
  w = Check(u"Save changes?", u"Speichern");
  EXPECT_EQ(w[0].Range, (TQEMTextRange{9, 0})); // where the mark is missing
  EXPECT_EQ(Check(u"Page 1 of 10", u"Seite")[0].Message,
            u"The number 1 of the original is missing");
  EXPECT_EQ(Check(u"&Open", u"Öffnen")[0].Range.Start, -1);

  // Several at once come in the order of the kinds.
  EXPECT_EQ(Kinds(Check(u"&Delete 3 files?", u"Dateien  löschen ")),
            (K{qwWhitespace, qwEndPunctuation, qwMissingNumber, qwDoubledSpace, qwAccelerator}));
}

TEST(QualityChecks, NumbersCountAlikeWhateverTheLocaleWritesThem) {
  for (const char16_t* t :
       {u"1.000 Dateien", u"1 000 fichiers", u"1\u00A0000 fichiers", u"1\u202F000 fichiers",
        u"1'000 Dateien", u"1000 Dateien", u"\uFF11\uFF10\uFF10\uFF10 files"})
    EXPECT_TRUE(Check(u"1,000 files", t).empty()) << UTF16ToUTF8(t);
  EXPECT_TRUE(Check(u"Version 3.5", u"Version 3,5").empty());
  EXPECT_TRUE(Check(u"Page 1 of 10", u"10 Seiten, Seite 1").empty()); // order is free

  // A space only groups before three digits: these stay separate numbers.
  EXPECT_TRUE(Check(u"Between 1 and 20", u"Zwischen 1 und 20").empty());
  EXPECT_EQ(Kinds(Check(u"Between 1 and 20", u"Zwischen 1 20 und")), K{});
  EXPECT_EQ(Kinds(Check(u"1 + 1 = 2", u"1 = 2")), K{qwMissingNumber});
  auto w = Check(u"1,000 or 25", u"100 oder 25");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].Message, u"The number 1,000 of the original is missing");
  // One warning per number, however often it is missing.
  EXPECT_EQ(Check(u"7, 7 and 7", u"sieben").size(), 1u);

  // The digits of a format specifier are not numbers, unless the texts have no specifiers.
  EXPECT_TRUE(Check(u"%0:s of %5d", u"%5d von %0:s").empty());
  EXPECT_TRUE(Check(u"%0:s of %5d", u"%1:s von %d").empty());
  TQEMQualityCheckSettings raw;
  raw.FormatSpecifiers = false;
  EXPECT_EQ(Kinds(Check(u"%5d items", u"%d Elemente", raw)), K{qwMissingNumber});
}

TEST(QualityChecks, EndPunctuationAcceptsTheEquivalentsOfOtherScripts) {
  for (const auto& [o, t] : std::vector<std::pair<const char16_t*, const char16_t*>>{
           {u"Done.", u"完了。"},
           {u"Name:", u"名前："},
           {u"Name:", u"名前:"},
           {u"Delete?", u"¿Eliminar?"},
           {u"Warning!", u"¡Atención!"},
           {u"Delete?", u"删除？"},
           {u"Loading...", u"Laden…"},
           {u"Loading…", u"Laden..."},
           {u"Yes, no", u"Ja, nein"},
       })
    EXPECT_TRUE(Check(o, t).empty()) << UTF16ToUTF8(t);
  EXPECT_EQ(Kinds(Check(u"Done.", u"完了：")), K{qwEndPunctuation});
  EXPECT_EQ(Kinds(Check(u"Loading...", u"Laden.")), K{qwEndPunctuation});
  EXPECT_EQ(Kinds(Check(u"Save?", u"¿Guardar")), K{qwEndPunctuation});
}

TEST(QualityChecks, LiteralsAndAcceleratorsAreReadAsThePackageWritesThem) {
  TQEMQualityCheckSettings pascal;
  pascal.QuoteChar = u'\'';
  EXPECT_TRUE(Check(u"'Hello'", u"'Hallo'", pascal).empty());
  auto w = Check(u"'Name '", u"'Nom'", pascal);
  ASSERT_EQ(Kinds(w), K{qwWhitespace});
  EXPECT_EQ(w[0].Range, (TQEMTextRange{4, 0})); // inside the quotes
  EXPECT_EQ(Kinds(Check(u"'Done.'", u"'Fertig'", pascal)), K{qwEndPunctuation});
  // Text that is not a literal is read whole.
  EXPECT_EQ(Kinds(Check(u"Done.", u"Fertig", pascal)), K{qwEndPunctuation});

  TQEMQualityCheckSettings c;
  c.QuoteChar = u'"';
  EXPECT_EQ(Kinds(Check(u"\"Line\\n\"", u"\"Zeile\"", c)), K{qwWhitespace});
  EXPECT_TRUE(Check(u"\"Done.\\n\"", u"\"Fertig.\\n\"", c).empty());

  // && is a literal ampersand and a final marker marks nothing.
  EXPECT_TRUE(Check(u"Tom &&Jerry", u"Tom und Jerry").empty());
  EXPECT_TRUE(Check(u"Save&", u"Speichern").empty());
  EXPECT_TRUE(Check(u"Save & exit", u"Speichern und beenden").empty());
  EXPECT_EQ(Kinds(Check(u"&Tom && Jerry", u"Tom && Jerry")), K{qwAccelerator});
  EXPECT_TRUE(Check(u"&Open", u"開く(&O)").empty());
  TQEMQualityCheckSettings none;
  none.AccelChar = 0;
  EXPECT_TRUE(Check(u"&Open", u"Öffnen", none).empty());
}

TEST(QualityChecks, OnlyTranslatedItemsAreCheckedAndOnlyTheEnabledKinds) {
  for (TResStatus s : {rsUnTranslated, rsHold, rsDoNotTranslate, rsUnused, rsEgged})
    EXPECT_TRUE(Check(u"Cancel?", u"Cancel", {}, s).empty()) << int(s);
  for (TResStatus s : {rsTranslated, rsAutoTranslated, rsNewlyTranslated})
    EXPECT_EQ(Kinds(Check(u"Cancel", u"Cancel", {}, s)), K{qwSameAsOriginal}) << int(s);
  // Texts without letters are rightly kept as they are.
  EXPECT_TRUE(Check(u"%d/%d", u"%d/%d").empty());
  EXPECT_TRUE(Check(u"100", u"100").empty());

  TQEMQualityCheckSettings s;
  s.Enabled = QEMAllQualityWarnings & ~QEMQualityWarningBit(qwEndPunctuation);
  EXPECT_EQ(Kinds(Check(u"&Delete 3 files?", u"Dateien  löschen ", s)),
            (K{qwWhitespace, qwMissingNumber, qwDoubledSpace, qwAccelerator}));

  // The options switch kinds off one by one, and start with all of them on.
  TQEMINTOptionProps& o = *QEMINTOptionProps;
  EXPECT_EQ(QEMEnabledQualityWarnings(), QEMAllQualityWarnings);
  o.QualityWarnNumbers = false;
  o.QualityWarnAccelerator = false;
  EXPECT_EQ(QEMEnabledQualityWarnings(), QEMAllQualityWarnings &
                                             ~QEMQualityWarningBit(qwMissingNumber) &
                                             ~QEMQualityWarningBit(qwAccelerator));
  o.QualityWarnNumbers = true;
  o.QualityWarnAccelerator = true;
  EXPECT_EQ(QEMQualityWarningName(qwAccelerator), u"Untranslated accelerator");
}

TEST(QualityChecks, SpecifierRangesCoverWhatTheExtractorLists) {
  const std::u16string s = u"%s and %-10.2f, 100%% done %5d-x %1:s % s";
  const auto r = QEMFormatSpecifierRanges(s);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(s.substr(size_t(r[0].Start), size_t(r[0].Length)), u"%s");
  EXPECT_EQ(s.substr(size_t(r[1].Start), size_t(r[1].Length)), u"%-10.2f");
  EXPECT_EQ(s.substr(size_t(r[2].Start), size_t(r[2].Length)), u"%5d-");
  EXPECT_EQ(s.substr(size_t(r[3].Start), size_t(r[3].Length)), u"%1:s");
  EXPECT_EQ(ExtractFormatSpecifier(s), u"[%0:s][%1:-10.2f][%2:5d-][%1:s]");
  EXPECT_TRUE(QEMFormatSpecifierRanges(u"%99999999999:s").empty());
}
