// A notes file comes back from translators: what XML cannot hold is refused at load with its
// place and the file is left as it was; what other tools add to a unit survives our save.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"

namespace {
class TInputNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".tnt"; }
  std::u16string GetDataType() override { return u"x-test"; }
};

std::string Xliff(const std::string& Units) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<xliff version=\"1.0\">"
         "<file original=\"/src/main.ofm\" source-language=\"en-US\" target-language=\"de-DE\" "
         "datatype=\"x-test\"><header><prop-group name=\"QEMHeaderProp\">"
         "<prop prop-type=\"Version\">9.0</prop><prop prop-type=\"SelfDateTime\">45000.5</prop>"
         "<prop prop-type=\"OrigDateTime\">0</prop><prop prop-type=\"XlatDateTime\">0</prop>"
         "<prop prop-type=\"Translated\">1</prop><prop prop-type=\"UnTranslated\">0</prop>"
         "</prop-group></header>\n<body>\n" +
         Units + "</body></file></xliff>";
}

std::string Unit(const std::string& ID, const std::string& Source, const std::string& Target,
                 const std::string& Rest = "") {
  return "<trans-unit id=\"" + ID + "\"><source>" + Source + "</source><target>" + Target +
         "</target><prop-group name=\"QEMFieldProp\"><prop prop-type=\"Created\">45000</prop>"
         "<prop prop-type=\"Status\">1</prop></prop-group>" +
         Rest + "</trans-unit>\n";
}

TEST(NotesInput, ForbiddenCharacterReferencesFailTheOpenNamingFileAndPlace) {
  qemtest::TTempDir tmp;
  for (const auto& [ref, code] : {std::pair{"&#0;", 0}, {"&#1;", 1}, {"&#x1F;", 0x1F}}) {
    // Line 5: <trans-unit id="m"><source>'MANUAL'</source><target>'MAN'
    const std::string text = Xliff(Unit("a", "File", "Datei") +
                                   Unit("m", "'MANUAL'", std::string("'MAN'") + ref + "'UELL'"));
    qemtest::WriteTextFile(tmp.Path() / "n.tnt", text);
    TInputNotesFile f;
    std::u16string msg;
    try {
      f.Open(tmp.U16("n.tnt"));
      f.GetItems();
    } catch (const EQEMError& e) {
      msg = e.Message();
    }
    EXPECT_EQ(msg, Format(SNotesNotXML, tmp.U16("n.tnt"), Format(SXMLNonCharAt, code, 5, 58)))
        << ref;
    EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "n.tnt"), text) << ref;
  }
}

// A text the document cannot hold (a source literal with a control character) names the file
// it was to be saved to, and the file stays as it was.
TEST(NotesInput, ARefusedSaveNamesTheNotesFile) {
  qemtest::TTempDir tmp;
  const std::string text = Xliff(Unit("a", "File", "Datei"));
  qemtest::WriteTextFile(tmp.Path() / "n.tnt", text);
  TInputNotesFile f;
  f.Open(tmp.U16("n.tnt"));
  f.GetItems()->Get(0)->SetXlatText(u"Da\x01tei");
  try {
    f.Save();
    ADD_FAILURE() << "saved";
  } catch (const EQEMNotesError& e) {
    EXPECT_EQ(e.Message(),
              Format(SNotesCannotSave, tmp.U16("n.tnt"), Format(SXMLInvalidText, u"Da\\x01tei")));
  }
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "n.tnt"), text);
}

TEST(NotesInput, AltTransOfOtherToolsSurviveSavesBesideTheHistory) {
  qemtest::TTempDir tmp;
  const std::string ours = "<alt-trans><source>Old</source><target>Alt</target>"
                           "<prop-group name=\"QEMFieldProp\"><prop prop-type=\"Modified\">45000.1"
                           "</prop></prop-group></alt-trans>";
  const std::string match = "<alt-trans origin=\"mt\" match-quality=\"80\"><source>Save</source>"
                            "<target>Sichern</target></alt-trans>";
  const std::string noted = "<alt-trans><target>Speichern</target><note>from the glossary</note>"
                            "</alt-trans>";
  qemtest::WriteTextFile(tmp.Path() / "n.tnt",
                         Xliff(Unit("s", "Save", "Speichern", ours + match + noted)));
  {
    TInputNotesFile f;
    f.Open(tmp.U16("n.tnt"));
    const IQEMNotesItemPtr item = f.GetItems()->Get(0);
    ASSERT_EQ(item->GetPrevCount(), 1); // only what we can write back counts as history
    EXPECT_EQ(item->GetPrevXlatText(0), u"Alt");
    item->MoveCurrentToHistory(u"v2");
    item->SetXlatText(u"Sichern");
    f.Save();
  }
  const std::string xml = qemtest::ReadTextFile(tmp.Path() / "n.tnt");
  // Saved formatted: look for pieces, not whole elements.
  const size_t newest = xml.find(">v2<"), older = xml.find("<target>Alt</target>"),
               kept = xml.find("<alt-trans origin=\"mt\" match-quality=\"80\">"),
               keptNoted = xml.find("<note>from the glossary</note>");
  ASSERT_NE(newest, std::string::npos) << xml;
  ASSERT_NE(older, std::string::npos) << xml;
  ASSERT_NE(kept, std::string::npos) << xml;
  ASSERT_NE(keptNoted, std::string::npos) << xml;
  // The history first, newest first; then the others as they were.
  EXPECT_LT(newest, older);
  EXPECT_LT(older, kept);
  EXPECT_LT(kept, keptNoted);

  TInputNotesFile g;
  g.Open(tmp.U16("n.tnt"));
  EXPECT_EQ(g.GetItems()->Get(0)->GetPrevCount(), 2);
  g.GetItems()->Get(0)->DelPrev(1);
  g.Save();
  const std::string again = qemtest::ReadTextFile(tmp.Path() / "n.tnt");
  EXPECT_EQ(again.find("<target>Alt</target>"), std::string::npos);
  EXPECT_NE(again.find("<alt-trans origin=\"mt\" match-quality=\"80\">"), std::string::npos);
  EXPECT_NE(again.find("<note>from the glossary</note>"), std::string::npos);
}
// A body is read whole whatever the file is: one that is no regular file (its size unknown) is
// read on to its end; one that cannot be opened is refused naming it.
TEST(NotesInput, WholeBodiesAreReadFromAnyFileAndMissingOnesAreNamed) {
  qemtest::TTempDir tmp;
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i)
    bytes += "<unit n=\"" + std::to_string(i) + "\"/>\n";
  qemtest::WriteTextFile(tmp.Path() / "plain.tnt", bytes);
  EXPECT_EQ(std::string_view(notesdetail::ReadWhole(tmp.U16("plain.tnt"))), bytes);
  const auto fifo = tmp.Path() / "pipe.tnt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
  const notesdetail::TFileBytes piped = notesdetail::ReadWhole(tmp.U16("pipe.tnt"));
  writer.join();
  EXPECT_EQ(std::string_view(piped), bytes);
  EXPECT_EQ(std::string_view(notesdetail::ReadWhole(tmp.U16("plain.tnt"))).size(), bytes.size());
  try {
    notesdetail::ReadWhole(tmp.U16("missing.tnt"));
    ADD_FAILURE();
  } catch (const EQEMNotesError& e) {
    EXPECT_NE(e.Message().find(u"missing.tnt"), std::u16string::npos);
  }
}
} // namespace
