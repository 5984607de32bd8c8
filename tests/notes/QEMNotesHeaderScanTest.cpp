// The header of a file in the layout our saves write is read straight from its bytes; whatever
// it reads, the document reads alike, and anything else is left to the document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"
#include "support/TestSupport.h"

namespace {
class TScanNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".snt"; }
  std::u16string GetDataType() override { return u"x-test"; }
};

// What an open gives: the header fields, or the refusal.
struct TOpened {
  std::u16string Error;
  TFileStats Stats;
  std::u16string Stamp;
};

TOpened OpenWith(const std::u16string& Name, bool Scan) {
  notesdetail::ScanOwnHeaders = Scan;
  TOpened r;
  TScanNotesFile f;
  try {
    f.Open(Name);
    r.Stats = f.GetStats()->GetFileStats();
    r.Stamp = f.GetStats()->GetOrigStamp();
  } catch (const EQEMError& e) {
    r.Error = e.Message();
  }
  notesdetail::ScanOwnHeaders = true;
  return r;
}

void ExpectSame(const TOpened& A, const TOpened& B, const std::string& Why) {
  EXPECT_EQ(A.Error, B.Error) << Why;
  EXPECT_EQ(A.Stats.Version, B.Stats.Version) << Why;
  EXPECT_EQ(A.Stats.SelfDateTime, B.Stats.SelfDateTime) << Why;
  EXPECT_EQ(A.Stats.OrigDateTime, B.Stats.OrigDateTime) << Why;
  EXPECT_EQ(A.Stats.XlatDateTime, B.Stats.XlatDateTime) << Why;
  EXPECT_EQ(A.Stats.Translated, B.Stats.Translated) << Why;
  EXPECT_EQ(A.Stats.UnTranslated, B.Stats.UnTranslated) << Why;
  EXPECT_EQ(A.Stats.OrigLCID, B.Stats.OrigLCID) << Why;
  EXPECT_EQ(A.Stats.XlatLCID, B.Stats.XlatLCID) << Why;
  EXPECT_EQ(A.Stats.OrigFileName, B.Stats.OrigFileName) << Why;
  EXPECT_EQ(A.Stamp, B.Stamp) << Why;
}

class NotesHeaderScan : public ::testing::Test {
protected:
  void TearDown() override {
    QEMNotesFormattedXML = true;
    notesdetail::ScanOwnHeaders = true;
  }
  // A file as a save writes it, with the given header fields and one item.
  std::string Saved(bool Formatted, const std::u16string& Original, const std::u16string& Stamp) {
    QEMNotesFormattedXML = Formatted;
    TScanNotesFile f;
    const auto s = f.GetStats();
    s->SetOrigLCID(1033);
    s->SetXlatLCID(1031);
    s->SetOrigFileName(Original);
    s->SetOrigDateTime(45123.4567890123);
    s->SetXlatDateTime(0);
    s->SetOrigStamp(Stamp);
    const auto item = f.CreateNotesItem();
    item->SetID(u"a");
    item->SetOrigText(u"A");
    f.GetItems()->Add(item);
    f.SaveAs(Dir.U16("saved.snt"));
    return qemtest::ReadTextFile(Dir.Path() / "saved.snt");
  }
  std::u16string Put(const std::string& Text) {
    qemtest::WriteTextFile(Dir.Path() / "n.snt", Text);
    return Dir.U16("n.snt");
  }
  qemtest::TTempDir Dir;
};

// Every file a save writes is taken by the scan, which reads what the document reads.
TEST_F(NotesHeaderScan, SavedFilesAreScannedAndReadAsTheDocumentReadsThem) {
  struct TCase {
    bool Formatted;
    std::u16string Original, Stamp;
  };
  const std::vector<TCase> cases = {
      {true, u"/src/main.ofm", u"1700000000000000000 404 fc440a2fcc4f4681"},
      {false, u"/src/main.ofm", u""},
      {true, u"/src/a&b <\"c\">'\u00e9\u4e2d\U0001F600.ofm", u"1 2"},
      {false, u"", u"x&y"},
  };
  for (const TCase& c : cases) {
    const std::string bytes = Saved(c.Formatted, c.Original, c.Stamp);
    const std::string why = bytes.substr(0, 600);
    notesdetail::THeaderTexts texts;
    EXPECT_TRUE(notesdetail::ScanOwnHeader(bytes, texts)) << why;
    const std::u16string name = Put(bytes);
    const TOpened scanned = OpenWith(name, true);
    ExpectSame(scanned, OpenWith(name, false), why);
    EXPECT_EQ(scanned.Stats.OrigFileName, c.Original) << why;
    EXPECT_EQ(scanned.Stamp, c.Stamp) << why;
    EXPECT_EQ(scanned.Stats.XlatLCID, 1031u) << why;
    EXPECT_TRUE(scanned.Error.empty()) << why;
  }
}

// Changed anywhere in its head, a saved file reads as the document reads it, refusals alike;
// where the scan cannot be sure it leaves the file to the document.
TEST_F(NotesHeaderScan, AnyOtherHeadReadsAsTheDocumentReadsIt) {
  const std::string base = Saved(false, u"/src/m.ofm", u"1 2");
  const auto with = [&](const std::string& From, const std::string& To) {
    std::string s = base;
    const size_t at = s.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    if (at != std::string::npos) s.replace(at, From.size(), To);
    return s;
  };
  const std::vector<std::pair<std::string, bool>> variants = {
      // Still our layout: taken by the scan.
      {with("en-US", "xx-ZZ"), true},
      {with("de-DE", ""), true},
      {with(">45123.4567890123<", ">4.5e4<"), true},
      {with(">45123.4567890123<", ">soon<"), true},
      {with(">9.0<", "></prop><prop prop-type=\"X\">"), false},
      {with("<prop prop-type=\"Translated\">0</prop>", "<prop prop-type=\"Translated\"/>"), true},
      {with("/src/m.ofm\" source", "/src/&#x4e2d;&amp;&lt;.ofm\" source"), true},
      {with("<prop prop-type=\"OrigStamp\">1 2</prop>", ""), true},
      {with(">1 2<", ">1&#13;&#10;2<"), true},
      {with(">1 2<", ">1\r\n2\r3<"), true},
      // Not ours, or not only: the document decides.
      {with("<prop prop-type=\"OrigStamp\">1 2</prop>", "<prop prop-type=\"Other\">1</prop>"),
       false},
      {with("<prop prop-type=\"Version\">9.0</prop>", ""), false},
      {with(">9.0<", "><![CDATA[9.0]]><"), false},
      {with(">9.0<", ">9<!-- c -->.0<"), false},
      {with(" datatype=", " x=\"1\" datatype="), false},
      {with(" ts=\"/src/m.ofm\"", ""), false},
      {with("target-language=\"de-DE\"", "target-language='de-DE'"), false},
      {with("<header>", "<header a=\"1\">"), false},
      {with("<xliff version=\"1.0\">", "<xliff version=\"1.2\">"), false},
      {with("<?xml version=\"1.0\" encoding=\"utf-8\"?>", "\xEF\xBB\xBF<?xml version=\"1.0\"?>"),
       false},
      {with("/src/m.ofm\" source", "/src/\tm.ofm\" source"), false},
      {with(">0</prop><prop prop-type=\"UnTranslated\"", ">&bad;</prop><prop "
                                                         "prop-type=\"UnTranslated\""),
       false},
      {with("</header>", "</heade>"), false},
      {base.substr(0, base.find("<prop prop-type=\"Translated\"")), false},
  };
  for (const auto& [bytes, scanned] : variants) {
    const std::string why = bytes.substr(0, 700);
    notesdetail::THeaderTexts texts;
    EXPECT_EQ(notesdetail::ScanOwnHeader(bytes, texts), scanned) << why;
    const std::u16string name = Put(bytes);
    ExpectSame(OpenWith(name, true), OpenWith(name, false), why);
  }
}
} // namespace
