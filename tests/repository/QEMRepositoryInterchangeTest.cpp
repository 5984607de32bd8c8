// TMX files of other tools: bare language tags serve their regions at look-up, a foreign file
// merges into the repository without overwriting what it holds (or, broken, changes nothing),
// and the repository goes out as TMX 1.4b and comes back the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "core/QEMUtils.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryInterchange.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"

namespace {

constexpr LCID EnUS = 0x0409, EnGB = 0x0809, DeDE = 0x0407, FrFR = 0x040C;

std::string Tmx(const std::string& Body, const std::string& Src = "en") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\">\n<header "
         "creationtool=\"other\" srclang=\"" +
         Src + "\"/>\n<body>\n" + Body + "</body>\n</tmx>\n";
}

std::string Tuv(const std::string& Lang, const std::string& Seg, const std::string& Note = "") {
  return "<tuv xml:lang=\"" + Lang + "\">" + (Note.empty() ? "" : "<note>" + Note + "</note>") +
         "<seg>" + Seg + "</seg></tuv>";
}

std::string Tu(const std::string& Tuvs, const std::string& Attrs = "") {
  return "<tu" + Attrs + ">" + Tuvs + "</tu>\n";
}

std::vector<std::u16string> Lookup(const std::u16string& Orig, LCID From, LCID To,
                                   bool Exact = false) {
  TQEMWideStringList list;
  QEMRepositoryGetString(Orig, From, list, To, u"", Exact);
  std::vector<std::u16string> out;
  for (int i = 0; i < list.GetCount(); ++i)
    out.push_back(list.Get(i));
  return out;
}

using Texts = std::vector<std::u16string>;

class RepositoryInterchangeTest : public ::testing::Test {
protected:
  qemtest::TTempDir Dir;
  void TearDown() override { QEMRepositorySetFileName(u""); }
  // The process-wide repository read from a file holding Body.
  void Use(const std::string& Body, const std::string& Src = "en") {
    qemtest::WriteTextFile(Dir.Path() / "mem.tmx", Tmx(Body, Src));
    QEMRepositorySetFileName(Dir.U16("mem.tmx"));
  }
  std::u16string ImportError(IQEMRepository& R, const std::string& Text) {
    try {
      QEMRepositoryImportTMXBytes(R, Text, u"in.tmx");
    } catch (const EQEMRepositoryError& e) {
      return e.Message();
    }
    return u"<no error>";
  }
};

TEST_F(RepositoryInterchangeTest, BareLanguagesServeTheirRegionsExactFirst) {
  const std::string bare =
      Tu(Tuv("en", "File") + Tuv("de", "Datei")) + Tu(Tuv("en", "Edit") + Tuv("de", "Bearbeiten"));
  Use(bare + Tu(Tuv("en-US", "Edit") + Tuv("de-DE", "Ändern")) +
      Tu(Tuv("en-US", "View") + Tuv("de", "Ansicht") + Tuv("fr-FR", "Affichage")) +
      Tu(Tuv("en-US", "Help") + Tuv("de-DE", "Hilfe") + Tuv("de", "Hilfe (bare)")));
  EXPECT_EQ(Lookup(u"File", EnUS, DeDE), Texts{u"Datei"});
  EXPECT_EQ(Lookup(u"File", EnGB, DeDE), Texts{u"Datei"});  // every region of the language
  EXPECT_EQ(Lookup(u"Edit", EnUS, DeDE), Texts{u"Ändern"}); // the exact original wins
  EXPECT_EQ(Lookup(u"Edit", EnGB, DeDE), Texts{u"Bearbeiten"});
  EXPECT_EQ(Lookup(u"View", EnUS, DeDE), Texts{u"Ansicht"}); // a bare translation of the record
  EXPECT_EQ(Lookup(u"Help", EnUS, DeDE), Texts{u"Hilfe"});   // the exact translation wins
  EXPECT_EQ(Lookup(u"File", EnUS, FrFR), Texts{});           // never another language
  // Adding compares with the exact language alone.
  EXPECT_EQ(Lookup(u"File", EnUS, DeDE, true), Texts{});
  EXPECT_EQ(Lookup(u"View", EnUS, DeDE, true), Texts{});
}

TEST_F(RepositoryInterchangeTest, ServicesPullBareTranslationsButStoreTheExactLanguage) {
  Use(Tu(Tuv("en", "File") + Tuv("de", "Datei")));
  auto& s = QEMRepositoryServices();
  s.Init();
  s.SetOrigLCID(EnUS);
  s.SetXlatLCID(DeDE);
  std::u16string got;
  s.GetTranslation(u"File", got);
  EXPECT_EQ(got, u"Datei");
  EXPECT_TRUE(s.FromRepository());
  // A translation for de-DE is kept as one, not taken for the bare one already there.
  s.SetDuplicate(daSkip);
  s.SetTranslation(u"File", u"Ablage");
  EXPECT_EQ(s.AddedCount(), 1);
  EXPECT_EQ(Lookup(u"File", EnUS, DeDE), Texts{u"Ablage"});
}

TEST_F(RepositoryInterchangeTest, ImportCountsAndNeverOverwrites) {
  Use(Tu(Tuv("en-US", "File") + Tuv("de-DE", "Datei")) +
          Tu(Tuv("en-US", "Open") + Tuv("de-DE", "Öffnen"), " tuid=\"f:Open\""),
      "en-US");
  auto rep = QEMRepositoryGetRepository();
  const std::string deSrc = " srclang=\"de-DE\"";
  const std::string foreign = Tmx(
      // held: skipped; fills: updated; differs: added
      Tu(Tuv("en-US", "File") + Tuv("de-DE", "Datei")) +
          Tu(Tuv("en-US", "File") + Tuv("fr-FR", "Fichier", "menu")) +
          Tu(Tuv("en-US", "File") + Tuv("de-DE", "Akte")) +
          // the pair is held, the other way round: skipped; a new one: added
          Tu(Tuv("de-DE", "Öffnen") + Tuv("en-US", "Open"), deSrc) +
          Tu(Tuv("de-DE", "Schließen") + Tuv("en-US", "Close"), deSrc) +
          // another tuid: added; no original, an empty one, an unusable tag: skipped
          Tu(Tuv("en-US", "Open") + Tuv("fr-FR", "Ouvrir"), " tuid=\"other\"") +
          Tu(Tuv("de-DE", "nur Deutsch")) + Tu(Tuv("en-US", "") + Tuv("de-DE", "leer")) +
          Tu(Tuv("en US", "Bad tag")),
      "en-US");
  const TQEMTMXImportCounts c = QEMRepositoryImportTMXBytes(*rep, foreign, u"in.tmx");
  EXPECT_EQ(c.Added, 3);
  EXPECT_EQ(c.Updated, 1);
  EXPECT_EQ(c.Skipped, 5);
  EXPECT_EQ(Lookup(u"File", EnUS, DeDE), (Texts{u"Datei", u"Akte"}));
  EXPECT_EQ(Lookup(u"File", EnUS, FrFR), Texts{u"Fichier"});
  EXPECT_EQ(rep->GetRecord(0)->GetNote(u"fr-FR"), u"menu");
  ASSERT_EQ(rep->RecCount(), 5);
  EXPECT_EQ(rep->GetRecord(4)->GetID(), u"other");
  EXPECT_EQ(Lookup(u"Schließen", DeDE, EnUS), Texts{u"Close"});
  EXPECT_EQ(rep->GetRecord(3)->GetString(u"en-US"), u"Close"); // the unit's own original
  // A second import of the same file finds everything there.
  const TQEMTMXImportCounts again = QEMRepositoryImportTMXBytes(*rep, foreign, u"in.tmx");
  EXPECT_EQ(again.Added + again.Updated, 0);
}

TEST_F(RepositoryInterchangeTest, ABrokenFileChangesNothingAndSaysWhere) {
  Use(Tu(Tuv("en-US", "File") + Tuv("de-DE", "Datei")), "en-US");
  auto rep = QEMRepositoryGetRepository();
  const std::string good = Tmx(Tu(Tuv("en", "New") + Tuv("de", "Neu")));
  // Cut inside the first unit's seg: the parser stops at the end of the text.
  const std::string cut = good.substr(0, good.find("Neu"));
  const std::u16string at = u"broken at line 5, column 67: The XML document cannot be read";
  EXPECT_NE(ImportError(*rep, cut).find(at), std::u16string::npos)
      << UTF16ToUTF8(ImportError(*rep, cut));
  EXPECT_NE(
      ImportError(*rep, "<tmx>\n<header/>\n<body><tu><tuv><seg>x</seg></tuv></tu></body></tmx>")
          .find(u"at line 3, column 11: a <tuv> without xml:lang"),
      std::u16string::npos);
  EXPECT_EQ(ImportError(*rep, "<?xml version=\"1.0\"?>\n<xliff/>"),
            Format(STmxBrokenAt, u"in.tmx", 2, 1, Format(STmxNotTmx, u"xliff")));
  EXPECT_EQ(ImportError(*rep, "<tmx version=\"1.4\"><header/></tmx>"),
            Format(STmxBrokenAt, u"in.tmx", 1, 1, STmxNoBody));
  // The same place in a UTF-16 file.
  std::string utf16 = "\xFF\xFE";
  for (const char c : cut)
    utf16 += {c, '\0'};
  EXPECT_NE(ImportError(*rep, utf16).find(at), std::u16string::npos)
      << UTF16ToUTF8(ImportError(*rep, utf16));
  EXPECT_EQ(rep->RecCount(), 1);
  EXPECT_FALSE(rep->Modified());
}

TEST_F(RepositoryInterchangeTest, HostileInputIsRefusedOrReadSafely) {
  Use("", "en-US");
  auto rep = QEMRepositoryGetRepository();
  // Entities are never expanded: a file declaring them is refused, with its place.
  const std::string laughs =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE tmx [\n<!ENTITY a \"aaaaaaaaaa\">\n"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n<!ENTITY x SYSTEM \"/etc/passwd\">]>\n" +
      Tmx(Tu(Tuv("en", "&b;") + Tuv("de", "&x;"))).substr(39);
  EXPECT_EQ(ImportError(*rep, laughs), Format(STmxBrokenAt, u"in.tmx", 2, 1, STmxEntities));
  // Nesting as deep as the file likes: the text is read without recursion.
  std::string deep;
  for (int i = 0; i < 200000; ++i)
    deep += "<hi>";
  deep += "deep";
  for (int i = 0; i < 200000; ++i)
    deep += "</hi>";
  const auto c = QEMRepositoryImportTMXBytes(
      *rep, Tmx(Tu(Tuv("en", "Deep<ph>{1}</ph>") + Tuv("de", "T<bpt i=\"1\">x</bpt>" + deep))),
      u"in.tmx");
  EXPECT_EQ(c.Added, 1);
  EXPECT_EQ(Lookup(u"Deep", EnUS, DeDE), Texts{u"Tdeep"});
  // Too many languages, and a file too large to read, are refused before any change.
  std::string many;
  for (int i = 0; i <= QEMTMXImportMaxLanguages; ++i)
    many += Tuv("x-l" + std::to_string(i), "t");
  EXPECT_NE(ImportError(*rep, Tmx(Tu(many))).find(Format(STmxTooManyLanguages, 1000)),
            std::u16string::npos);
  const auto big = Dir.Path() / "big.tmx";
  { std::ofstream(big) << "<tmx>"; }
  std::filesystem::resize_file(big, QEMTMXImportMaxBytes + 1); // sparse: costs no disk
  try {
    QEMRepositoryImportTMX(*rep, Dir.U16("big.tmx"));
    ADD_FAILURE() << "a huge file was read";
  } catch (const EQEMRepositoryError& e) {
    EXPECT_EQ(e.Message(), Format(STmxTooLarge, Dir.U16("big.tmx"), 512));
  }
  EXPECT_EQ(rep->RecCount(), 1);
}

TEST_F(RepositoryInterchangeTest, ExportIsTmx14bAndImportsBackToTheSameRecords) {
  Use(Tu(Tuv("en-US", "File") + Tuv("de-DE", "Datei", "menu") + Tuv("fr-FR", "Fichier"),
         " tuid=\"main:File\" changedate=\"20240102T03:04:05Z\" creationdate=\"bad\"") +
          Tu(Tuv("de-DE", "Zwei\r\nZeilen &amp; \"mehr\"") + Tuv("en-US", "Two\r\nlines & more")) +
          Tu("") + Tu(Tuv("en-US", "")),
      "en-US");
  auto rep = std::dynamic_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  ASSERT_TRUE(rep);
  // Read from a file, line breaks are LF; a text set since may hold CR LF.
  rep->GetRecord(1)->SetString(u"en-US", u"Two\r\nlines & more");
  int units = 0;
  const TDateTime now = EncodeDateTime(2026, 12, 7, 15, 4, 5);
  const std::string out = QEMRepositoryTMXText(*rep, now, &units);
  EXPECT_EQ(units, 2); // units without text are none in TMX
  EXPECT_TRUE(out.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                              "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n<tmx version=\"1.4\">"));
  EXPECT_TRUE(std::regex_search(
      out, std::regex("<header creationtool=\"[^\"]+\" creationtoolversion=\"[^\"]+\" "
                      "segtype=\"sentence\" o-tmf=\"[^\"]+\" adminlang=\"en-US\" "
                      "srclang=\"en-US\" datatype=\"plaintext\" creationdate=\"\\d{8}T\\d{6}Z\" "
                      "changedate=\"20261207T150405Z\"/>")))
      << out;
  EXPECT_NE(out.find("<tu tuid=\"main:File\" changedate=\"20240102T030405Z\">"), out.npos) << out;
  EXPECT_NE(out.find("<tuv xml:lang=\"de-DE\">\r\n        <note>menu</note>\r\n        "
                     "<seg>Datei</seg>"),
            out.npos)
      << out;
  EXPECT_NE(out.find("<tu srclang=\"de-DE\">"), out.npos) << out;
  EXPECT_NE(out.find("<seg>Two&#13;\nlines &amp; more</seg>"), out.npos) << out;

  auto back = std::make_shared<TQEMRepository>();
  const TQEMTMXImportCounts c = QEMRepositoryImportTMXBytes(*back, out, u"out.tmx");
  EXPECT_EQ(c.Added, 2);
  ASSERT_EQ(back->RecCount(), 2);
  for (int r = 0; r < 2; ++r)
    for (const char16_t* tag : {u"en-US", u"de-DE", u"fr-FR"}) {
      EXPECT_EQ(back->GetRecord(r)->GetString(tag), rep->GetRecord(r)->GetString(tag)) << r;
      EXPECT_EQ(back->GetRecord(r)->GetNote(tag), rep->GetRecord(r)->GetNote(tag)) << r;
      EXPECT_EQ(back->GetRecord(r)->GetID(), rep->GetRecord(r)->GetID()) << r;
    }
  // The repository's own file is not touched by an export.
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "mem.tmx").find("tmx14.dtd"), std::string::npos);
}

} // namespace
