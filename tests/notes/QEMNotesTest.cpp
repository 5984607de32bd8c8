#include <gtest/gtest.h>

#include <filesystem>

#include "core/QEMLiterals.h"
#include "core/QEMUtilsFiles.h"
#include "notes/QEMNotes.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMFiles.h"
#include "support/TestSupport.h"

namespace {
class TTestNotesFile : public TQEMCustomNotesFile {
public:
  static std::u16string ClassExts() { return u".tnt"; }
  std::u16string GetExts() const override { return ClassExts(); }
  std::u16string GetDataType() override { return u"x-test"; }
};

// An item that takes no part in localisation.
class TSilentItem : public TQEMNotesItem, public IQEMNotesItemWithLocalize {
public:
  TSilentItem() : TQEMNotesItem(1252, 1252) {}
  bool GetLocalize() const override { return false; }
};

IQEMNotesItemPtr AddItem(TQEMCustomNotesFile& F, const std::u16string& ID,
                         const std::u16string& Orig, const std::u16string& Xlat,
                         TResStatus Status = rsTranslated) {
  IQEMNotesItemPtr item = F.CreateNotesItem();
  item->SetID(ID);
  item->SetOrigText(Orig);
  item->SetXlatText(Xlat);
  item->SetStatus(Status);
  F.GetItems()->Add(item);
  return item;
}

std::shared_ptr<TTestNotesFile> NewFile() {
  auto f = std::make_shared<TTestNotesFile>();
  f->GetStats()->SetOrigLCID(1033);
  f->GetStats()->SetXlatLCID(1031);
  f->GetStats()->SetOrigFileName(u"/src/main.ofm");
  return f;
}

std::shared_ptr<TTestNotesFile> Reopen(const std::u16string& Path) {
  auto f = std::make_shared<TTestNotesFile>();
  f->Open(Path);
  return f;
}

std::string Xliff(const std::string& Units, const std::string& Extra = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<xliff version=\"1.0\">"
         "<file original=\"/src/main.ofm\" source-language=\"en-US\" target-language=\"de-DE\" "
         "datatype=\"x-test\"" +
         Extra +
         "><header><prop-group name=\"QEMHeaderProp\"><prop prop-type=\"Version\">9.0</prop>"
         "<prop prop-type=\"SelfDateTime\">45000.5</prop><prop prop-type=\"OrigDateTime\">0</prop>"
         "<prop prop-type=\"XlatDateTime\">0</prop><prop prop-type=\"Translated\">1</prop>"
         "<prop prop-type=\"UnTranslated\">0</prop></prop-group></header><body>" +
         Units + "</body></file></xliff>";
}

std::string Unit(const std::string& ID, const std::string& Source, const std::string& Status = "1",
                 const std::string& Rest = "") {
  return "<trans-unit id=\"" + ID + "\"><source>" + Source +
         "</source><prop-group name=\"QEMFieldProp\"><prop prop-type=\"Created\">45000</prop>"
         "<prop prop-type=\"Status\">" +
         Status + "</prop></prop-group>" + Rest + "</trans-unit>";
}
} // namespace

TEST(NotesItem, NewItemsAndHistory) {
  TQEMNotesItem item(1252, 1251);
  EXPECT_EQ(item.GetStatus(), rsUnTranslated);
  ASSERT_EQ(item.GetPrevCount(), 1);
  EXPECT_EQ(item.GetModified(), item.GetCreated());
  item.SetOrigText(u"one");
  item.SetXlatText(u"eins");
  item.MoveCurrentToHistory(u"run 1"); // takes over the empty placeholder
  ASSERT_EQ(item.GetPrevCount(), 1);
  EXPECT_EQ(item.GetPrevTagName(0), u"run 1");
  item.SetOrigText(u"two");
  item.MoveCurrentToHistory(u"run 2");
  ASSERT_EQ(item.GetPrevCount(), 2);
  EXPECT_EQ(item.GetPrevOrigText(0), u"two");
  EXPECT_EQ(item.GetPrevOrigText(1), u"one");
  EXPECT_THROW(item.GetPrevOrigText(2), EQEMError);
  item.SetXlatTextCP("\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(item.GetXlatText(), u"Привет");
  TQEMNotesItem copy(1252, 1252);
  copy.SetResName(u"kept");
  copy.Assign(item);
  EXPECT_EQ(copy.GetPrevCount(), 2);
  EXPECT_EQ(copy.GetPrevOrigText(1), u"one");
  EXPECT_EQ(copy.GetResName(), u"kept");
}

TEST(NotesItem, LegacyLineRoundTrip) {
  TQEMNotesItem item(1252, 1252);
  item.SetID(u"Form1.Caption");
  item.SetOrigText(u"a\r\nb\nc\x04"
                   u"d");
  item.SetXlatText(u"x\r\ny");
  item.SetComment(u"note\x04"
                  u"cut here");
  item.SetStatus(rsHold);
  const std::u16string line = item.GetText(1252, 1252, true);
  TQEMNotesItem back(1252, 1252);
  back.SetText(0, 0, line);
  EXPECT_EQ(back.GetID(), u"Form1.Caption");
  EXPECT_EQ(back.GetResName(), u"Form1.Caption");
  EXPECT_EQ(back.GetOrigText(), u"a\r\nb\r\nc\x04"
                                u"d"); // a lone LF comes back as CR LF
  EXPECT_EQ(back.GetXlatText(), u"x\r\ny");
  EXPECT_EQ(back.GetComment(), u"note");
  EXPECT_EQ(back.GetStatus(), rsHold);
  TQEMNotesItem noCurr(1252, 1252);
  noCurr.SetText(0, 0, item.GetText(1252, 1252, false));
  EXPECT_EQ(noCurr.GetXlatText(), u"");
  EXPECT_EQ(GetOldNotesValue(u"ID:a\x04PrevCurr:x\x04", u"\x04"
                                                        u"Curr:"),
            u"");
  EXPECT_EQ(GetOldNotesValue(u"ID:a", u"ID:"), u""); // no closing separator
  TQEMNotesItem bad(1252, 1252);
  EXPECT_THROW(bad.SetText(0, 0,
                           u"ID:x\x04Status:9\x04"
                           u"Created:1\x04Modified:0\x04"),
               EQEMConvertError);
  EXPECT_THROW(bad.SetText(0, 0,
                           u"ID:x\x04Status:1\x04"
                           u"Created:\x04Modified:0\x04"),
               EQEMConvertError);
}

TEST(NotesStats, LegacyHeaderTextKeepsQuotedNames) {
  TQEMNotesStats s;
  TFileStats v;
  v.Version = u"5.0";
  v.SelfDateTime = 45000.25;
  v.Translated = 3;
  v.UnTranslated = 4;
  v.OrigLCID = 1033;
  v.XlatLCID = 1031;
  v.OrigFileName = u"/my src/main form.ofm";
  s.SetFileStats(v);
  const std::string text = s.GetText();
  EXPECT_EQ(text, "QEM: 5.0 45000.25 0 0 3 4 $00000409 $00000407 \"/my src/main form.ofm\" ");
  TQEMNotesStats back;
  back.SetText("/*" + text + "*/\r\nmore");
  EXPECT_EQ(back.GetOrigFileName(), u"/my src/main form.ofm");
  EXPECT_EQ(back.GetXlatLCID(), 1031u);
  EXPECT_EQ(back.GetSelfDateTime(), 45000.25);
  EXPECT_THROW(back.SetText("/*QEM: 5.0 x 0 0 3 4 $409 $407 \"a\" */"), EQEMConvertError);
  EXPECT_EQ(back.GetTranslated(), 3); // unchanged by the failed parse
}

TEST(NotesFile, XliffRoundTripWithHistoryCompression) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  auto item = AddItem(*f, u"Form1.Caption", u"File", u"Datei");
  item->SetComment(u"menu <entry> & more");
  item->SetPrevOrigText(0, u"C-src");
  item->SetPrevXlatText(0, u"C-xlat");
  item->AddPrev(u"B-src", u"B-xlat", u"tag B");
  item->AddPrev(u"A-src", u"A-xlat", u"");
  item->SetPrevOrigText(1, u"C-src"); // B shares its source with C
  AddItem(*f, u"Same", u"OK", u"OK");
  AddItem(*f, u"Empty", u"Cancel", u"", rsUnTranslated);
  f->SaveAs(tmp.U16("main.tnt"));

  const std::string xml = qemtest::ReadTextFile(tmp.Path() / "main.tnt");
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!DOCTYPE xliff PUBLIC", 0),
            0u)
      << xml.substr(0, 80);
  EXPECT_NE(xml.find("tool=\"HLX v10.0\""), std::string::npos);
  const size_t a = xml.find("<source>A-src</source>"), c = xml.find("<source>C-src</source>");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, xml.find("B-xlat"));
  EXPECT_LT(xml.find("B-xlat"), c);
  EXPECT_EQ(xml.find("<source>C-src</source>", c + 1), std::string::npos); // B carries no source
  EXPECT_EQ(xml.find("<target>OK</target>"), std::string::npos);           // equal to the source
  EXPECT_EQ(xml.find("<target></target>"), std::string::npos);

  auto g = Reopen(tmp.U16("main.tnt"));
  EXPECT_TRUE(g->BodyNotLoaded());
  EXPECT_EQ(g->GetStats()->GetVersion(), u"9.0");
  EXPECT_EQ(g->GetStats()->GetTranslated(), 2);
  EXPECT_EQ(g->GetStats()->GetUnTranslated(), 1);
  auto items = g->GetItems();
  ASSERT_EQ(items->Count(), 3);
  auto r = items->Get(0);
  EXPECT_EQ(r->GetXlatText(), u"Datei");
  EXPECT_EQ(r->GetComment(), u"menu <entry> & more");
  ASSERT_EQ(r->GetPrevCount(), 3);
  EXPECT_EQ(r->GetPrevOrigText(0), u"A-src");
  EXPECT_EQ(r->GetPrevOrigText(1), u"C-src");
  EXPECT_EQ(r->GetPrevXlatText(1), u"B-xlat");
  EXPECT_EQ(r->GetPrevTagName(1), u"tag B");
  EXPECT_EQ(r->GetPrevOrigText(2), u"C-src");
  EXPECT_NEAR(r->GetPrevModified(2), item->GetPrevModified(2), 1e-9);
  EXPECT_EQ(items->Get(1)->GetXlatText(), u"OK");
  EXPECT_EQ(items->Get(2)->GetXlatText(), u"Cancel"); // an empty translation reads as the source
  EXPECT_EQ(items->Get(2)->GetResName(), u"Empty");

  // Saving what was read gives the same body again, re-indented.
  g->Save();
  const std::string again = qemtest::ReadTextFile(tmp.Path() / "main.tnt");
  auto body = [](const std::string& s) {
    std::string r;
    for (size_t i = s.find("<body>"); i < s.size(); ++i) {
      if (s[i] == '>') {
        r.push_back('>');
        while (i + 1 < s.size() && (s[i + 1] == ' ' || s[i + 1] == '\r' || s[i + 1] == '\n'))
          ++i;
      } else {
        r.push_back(s[i]);
      }
    }
    return r;
  };
  EXPECT_EQ(body(again), body(xml));
  EXPECT_NE(again.find("\r\n        <alt-trans>\r\n"), std::string::npos); // one element a line
}

TEST(NotesFile, SavedFileTimeIsTheHeaderTimeAndCountersSkipUncountedItems) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  AddItem(*f, u"a", u"a", u"A", rsTranslated);
  AddItem(*f, u"b", u"b", u"B", rsDoNotTranslate);
  AddItem(*f, u"c", u"c", u"", rsHold);
  AddItem(*f, u"d", u"d", u"", rsUnused);
  AddItem(*f, u"e", u"e", u"E", rsEgged);
  auto silent = std::make_shared<TSilentItem>();
  silent->SetID(u"f");
  silent->SetOrigText(u"f");
  f->GetItems()->Add(silent);
  f->SaveAsNewVersion(tmp.U16("n.tnt"), u"10");
  EXPECT_EQ(f->GetStats()->GetVersion(), u"9.0");
  EXPECT_EQ(f->GetStats()->GetTranslated(), 2);
  EXPECT_EQ(f->GetStats()->GetUnTranslated(), 1);
  EXPECT_NEAR(QEMGetFileDate(tmp.U16("n.tnt")), f->GetStats()->GetSelfDateTime(), 0.001 / 86400);
  // Fifteen significant digits keep a date to well under a millisecond.
  EXPECT_NEAR(Reopen(tmp.U16("n.tnt"))->GetStats()->GetSelfDateTime(),
              f->GetStats()->GetSelfDateTime(), 0.001 / 86400);
}

TEST(NotesFile, UnknownContentSurvivesAndPurgedItemsStayPurged) {
  qemtest::TTempDir tmp;
  std::string doc = Xliff(
      Unit("keep", "Keep", "1",
           "<context-group name=\"x\"><context context-type=\"y\">z</context></context-group>") +
          Unit("gone", "Gone") + "<group id=\"g\">" + Unit("grouped", "Grouped") + "</group>" +
          "<!-- a comment of another tool -->",
      " product-name=\"other\"");
  // A second file element belongs to another tool: neither read nor touched.
  const std::string second =
      "<file original=\"b\" source-language=\"en-US\" target-language=\"fr-FR\" datatype=\"x\">"
      "<body>" +
      Unit("theirs", "Theirs") + "</body></file>";
  doc.insert(doc.rfind("</xliff>"), second);
  qemtest::WriteTextFile(
      tmp.Path() / "x.tnt",
      std::string(doc).replace(doc.find("<xliff version"), 6, "<xliff xmlns:o=\"urn:other\""));
  auto f = Reopen(tmp.U16("x.tnt"));
  auto items = f->GetItems();
  ASSERT_EQ(items->Count(), 2); // units inside a group are not ours
  items->Delete(1);
  items->Get(0)->SetXlatText(u"Behalten");
  f->Save();
  const std::string xml = qemtest::ReadTextFile(tmp.Path() / "x.tnt");
  EXPECT_NE(xml.find("product-name=\"other\""), std::string::npos);
  EXPECT_NE(xml.find("<xliff xmlns:o=\"urn:other\" version=\"1.0\">"), std::string::npos)
      << xml.substr(0, 300);
  EXPECT_NE(xml.find("<context context-type=\"y\">z</context>"), std::string::npos);
  EXPECT_NE(xml.find("<source>Grouped</source>"), std::string::npos);
  EXPECT_NE(xml.find("<source>Theirs</source>"), std::string::npos);
  EXPECT_NE(xml.find("a comment of another tool"), std::string::npos);
  EXPECT_NE(xml.find("<target>Behalten</target>"), std::string::npos);
  EXPECT_EQ(xml.find("Gone"), std::string::npos);
  // The target goes right after the source, where other tools expect it.
  EXPECT_LT(xml.find("<target>Behalten</target>"), xml.find("<prop-group name=\"QEMFieldProp\">"));
  EXPECT_EQ(Reopen(tmp.U16("x.tnt"))->GetItems()->Count(), 1);
}

TEST(NotesFile, DuplicateIdentifiersKeepTheirOwnTranslations) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  AddItem(*f, u"dup", u"one", u"eins");
  AddItem(*f, u"dup", u"two", u"zwei");
  f->SaveAs(tmp.U16("d.tnt"));
  auto g = Reopen(tmp.U16("d.tnt"));
  g->GetItems()->Get(1)->SetXlatText(u"ZWEI");
  g->Save();
  auto items = Reopen(tmp.U16("d.tnt"))->GetItems();
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->Get(0)->GetXlatText(), u"eins");
  EXPECT_EQ(items->Get(1)->GetXlatText(), u"ZWEI");
}

TEST(NotesFile, CommentRemovalAndHeaderAttributesFollowTheFields) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  AddItem(*f, u"a", u"a", u"A")->SetComment(u"remember");
  f->SaveAs(tmp.U16("c.tnt"));
  auto g = Reopen(tmp.U16("c.tnt"));
  g->GetItems()->Get(0)->SetComment(u"");
  g->GetStats()->SetXlatLCID(1036);
  g->GetStats()->SetOrigFileName(u"/src/renamed.ofm");
  g->Save();
  const std::string xml = qemtest::ReadTextFile(tmp.Path() / "c.tnt");
  EXPECT_EQ(xml.find("<note"), std::string::npos);
  EXPECT_NE(xml.find("target-language=\"fr-FR\""), std::string::npos);
  EXPECT_NE(xml.find("original=\"/src/renamed.ofm\""), std::string::npos);
}

TEST(NotesFile, BadFilesFailTheOpenAndLeaveTheObjectAsItWas) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  AddItem(*f, u"a", u"a", u"A");
  f->SaveAs(tmp.U16("good.tnt"));
  auto g = Reopen(tmp.U16("good.tnt"));
  const auto items = g->GetItems();
  struct {
    const char* Name;
    std::string Text;
    const char16_t* Says;
  } cases[] = {
      {"junk.tnt", "not xml at all", u"not a well-formed XML document"},
      {"lang.tnt",
       [] {
         std::string s = Xliff("");
         s.replace(s.find("de-DE"), 5, "xx-QQ");
         return s;
       }(),
       u"Target language is either missing or incorrect: xx-QQ"},
      {"nan.tnt",
       [] {
         std::string s = Xliff("");
         s.replace(s.find("45000.5"), 7, "NaN");
         return s;
       }(),
       u"'NaN' is not a valid floating point value"},
      {"noheader.tnt", "<xliff><file source-language=\"en-US\" target-language=\"de-DE\"/></xliff>",
       u"Header is either missing or incorrect"},
      {"legacy4.tnt", "/*QEM: 4.0 1 0 0 0 0 $00000409 $00000407 \"x\" */\r\n", u"only version 5.0"},
  };
  for (const auto& c : cases) {
    qemtest::WriteTextFile(tmp.Path() / c.Name, c.Text);
    try {
      g->Open(tmp.U16(c.Name));
      ADD_FAILURE() << c.Name << " opened";
    } catch (const EQEMError& e) {
      EXPECT_NE(e.Message().find(c.Says), std::u16string::npos) << c.Name << ": " << e.what();
    }
    EXPECT_EQ(g->GetFileName(), tmp.U16("good.tnt"));
    EXPECT_EQ(g->GetItems(), items);
    EXPECT_EQ(g->GetStats()->GetXlatLCID(), 1031u);
  }
}

TEST(NotesFile, AStatusOutOfRangeFailsTheBodyAndNothingIsSweptAway) {
  qemtest::TTempDir tmp;
  const std::string doc =
      Xliff(Unit("first", "First") + Unit("bad", "Bad", "8") + Unit("last", "Last"));
  qemtest::WriteTextFile(tmp.Path() / "s.tnt", doc);
  auto f = Reopen(tmp.U16("s.tnt"));
  try {
    f->GetItems();
    FAIL() << "status 8 accepted";
  } catch (const EQEMNotesError& e) {
    EXPECT_NE(e.Message().find(u"Item 'bad' has the status 8"), std::u16string::npos) << e.what();
  }
  EXPECT_TRUE(f->BodyNotLoaded());
  EXPECT_THROW(f->Save(), EQEMNotesError);
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "s.tnt"), doc);
}

TEST(NotesFile, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  qemtest::TTempDir tmp;
  auto f = NewFile();
  AddItem(*f, u"a", u"a", u"A");
  f->SaveAs(tmp.U16("n.tnt"));
  const std::string before = qemtest::ReadTextFile(tmp.Path() / "n.tnt");
  const double selfBefore = f->GetStats()->GetSelfDateTime();
  AddItem(*f, u"b", u"b", u"bad \x01 control");
  EXPECT_THROW(f->Save(), EQEMError);
  f->GetStats()->SetOrigLCID(0x12345);
  EXPECT_THROW(f->Save(), EQEMNotesError);
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "n.tnt"), before);
  EXPECT_EQ(f->GetStats()->GetSelfDateTime(), selfBefore);
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(tmp.Path()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(NotesFile, LegacyFilesAreReadAndUpgradedOnSave) {
  qemtest::TTempDir tmp;
  const std::string sep = "\x04";
  std::string text =
      "/*QEM: 5.0 45000.5 44000 44001 1 1 $00000409 $00000407 \"C:\\my src\\main form.ofm\" */\r\n"
      "/*QEM: Do not edit. This file is machine generated. */\r\n";
  text += "/* ID:Form1.Caption" + sep + "Orig:Line one\x01\x02Line two" + sep + "Status:1" + sep +
          "Curr:Zeile eins\x01\x02Zeile zwei" + sep + "PrevOrig:Old" + sep + "PrevCurr:Alt" + sep +
          "Created:44000.5" + sep + "Modified:0" + sep + "Comment:c" + sep + " */\r\n";
  // An item broken over two lines.
  text += "/* ID:Button1.Caption" + sep + "Orig:OK" + sep + "Status:0" + sep + "PrevOrig:" + sep +
          "PrevCurr:\r\n" + sep + "Created:44000" + sep + "Modified:0" + sep + "Comment:" + sep +
          " */\r\n";
  text += "/* ID:incomplete";
  qemtest::WriteTextFile(tmp.Path() / "old.tnt", text);
  EXPECT_TRUE(IsOldNotesFile(tmp.U16("old.tnt"), "/*"));
  auto f = Reopen(tmp.U16("old.tnt"));
  EXPECT_EQ(f->GetStats()->GetOrigFileName(), u"C:\\my src\\main form.ofm");
  auto items = f->GetItems();
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->Get(0)->GetOrigText(), u"Line one\r\nLine two");
  EXPECT_EQ(items->Get(0)->GetXlatText(), u"Zeile eins\r\nZeile zwei");
  EXPECT_EQ(items->Get(0)->GetPrevXlatText(0), u"Alt");
  EXPECT_EQ(items->Get(1)->GetID(), u"Button1.Caption");
  EXPECT_EQ(f->GetOldHeaderString().substr(0, 13), "/*QEM: 5.0 45");
  f->Save();
  EXPECT_FALSE(IsOldNotesFile(tmp.U16("old.tnt"), "/*"));
  auto g = Reopen(tmp.U16("old.tnt"));
  EXPECT_EQ(g->GetStats()->GetVersion(), u"9.0");
  ASSERT_EQ(g->GetItems()->Count(), 2);
  EXPECT_EQ(g->GetItems()->Get(0)->GetPrevOrigText(0), u"Old");
  std::ostringstream sink;
  EXPECT_THROW(g->SaveOldNotes(sink), EQEMNotesError);
}

TEST(NotesFile, LegacyItemsOfAFileKindWithoutACommentCloser) {
  // A file kind whose comments run to the end of the line has no closer.
  class TLineNotes : public TTestNotesFile {
  public:
    std::string GetCommentBegin() override { return "//"; }
    std::string GetCommentEnd() override { return ""; }
  };
  qemtest::TTempDir tmp;
  const std::string sep = "\x04";
  std::string text = "//QEM: 5.0 45000.5 0 0 1 0 $00000409 $00000407 \"a\" \r\n//QEM: warning\r\n";
  for (const char* id : {"one", "two"})
    text += std::string("// ID:") + id + sep + "Orig:x" + sep + "Status:1" + sep + "Created:1" +
            sep + "Modified:0" + sep + "\r\n";
  qemtest::WriteTextFile(tmp.Path() / "line.tnt", text);
  TLineNotes f;
  f.Open(tmp.U16("line.tnt"));
  ASSERT_EQ(f.GetItems()->Count(), 2);
  EXPECT_EQ(f.GetItems()->Get(1)->GetID(), u"two");
}
