// A first save writes the document straight to the stream; these compare it byte for byte with
// the document built and serialised, which a loaded file still uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <tuple>
#include <utility>

#include "core/QEMXMLUtils.h"
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"
#include "support/TestSupport.h"

namespace {
class TStreamNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".snt"; }
  std::u16string GetDataType() override { return u"x-<test>&\"q\""; }
  bool HasDocument() const { return bool(FDoc); }
  // Only the head of the loaded document is left.
  bool HeadOnly() const { return FDoc && !FXLIFF; }
};

// Restores both switches whatever a test does.
class NotesStream : public ::testing::Test {
protected:
  void TearDown() override {
    notesdetail::StreamNewNotes = true;
    notesdetail::DropOwnDocument = true;
    notesdetail::ScanOwnBodies = true;
    QEMNotesFormattedXML = FormattedBefore;
    DefaultIndentStr = IndentBefore;
  }
  const bool FormattedBefore = QEMNotesFormattedXML;
  const std::u16string IndentBefore = DefaultIndentStr;
};

void Add(TQEMCustomNotesFile& F, const std::u16string& ID, const std::u16string& Orig,
         const std::u16string& Xlat, TResStatus Status, const std::u16string& Comment = u"") {
  IQEMNotesItemPtr item = F.CreateNotesItem();
  item->SetID(ID);
  item->SetOrigText(Orig);
  item->SetXlatText(Xlat);
  item->SetStatus(Status);
  item->SetComment(Comment);
  item->SetCreated(45000.25);
  F.GetItems()->Add(item);
}

std::shared_ptr<TStreamNotesFile> Sample(const std::u16string& Stamp) {
  auto f = std::make_shared<TStreamNotesFile>();
  IQEMNotesStatsPtr s = f->GetStats();
  s->SetOrigLCID(1033);
  s->SetXlatLCID(1031);
  s->SetOrigFileName(u"/src/a&b <\"x\">\t'y'\r\n.ofm");
  s->SetVersion(u"9.0");
  s->SetSelfDateTime(45123.5);
  s->SetOrigDateTime(45000.125);
  s->SetTranslated(3);
  s->SetUnTranslated(-1);
  s->SetOrigStamp(Stamp);
  const std::u16string special = u"a & b < c > d \" e ' f\r\ng\rh\ni\tj \U0001F600 \u00e9\u20ac";
  Add(*f, u"Form1.Caption", u"Hello", u"Hallo", rsTranslated, u"a note");
  Add(*f, special, special, special + u"!", rsUnTranslated, special);
  Add(*f, u"", u"", u"", rsDoNotTranslate);
  Add(*f, u"Same", u"same text", u"same text", rsAutoTranslated);
  Add(*f, u"Half\xD800", u"lone \xDC00 half", u"\xD83D", rsHold);
  // Longer than the output buffer, with pairs and escapes across every boundary.
  std::u16string longText;
  while (longText.size() < 70000)
    longText += std::u16string(997, u'a') + u"\U0001F600&\"\r\n\t\u00e9";
  Add(*f, longText, longText, longText + u"x", rsTranslated, longText);
  for (int status = 0; status < 8; ++status) {
    std::u16string id = u"S0";
    id[1] = char16_t(u'0' + status);
    Add(*f, id, u"x", u"y", TResStatus(status));
  }
  // History: a repeated source is left out; empty entries are skipped.
  IQEMNotesItemPtr h = f->GetItems()->Get(0);
  h->SetXlatText(u"v1 <old>");
  h->MoveCurrentToHistory(u"tag & <1>");
  h->SetXlatText(u"v2");
  h->MoveCurrentToHistory(u"");
  h->SetOrigText(u"Hello again");
  h->SetXlatText(u"v3\r\n");
  h->MoveCurrentToHistory(u"t");
  h->SetPrevModified(0, 45001.75);
  h->SetXlatText(u"Hallo wieder");
  IQEMNotesItemPtr e = f->GetItems()->Get(3);
  e->MoveCurrentToHistory(u"");
  e->SetPrevXlatText(0, u"");
  return f;
}

std::string Save(TQEMCustomNotesFile& F, bool Stream) {
  notesdetail::StreamNewNotes = Stream;
  std::ostringstream out;
  F.SaveNewNotes(out);
  notesdetail::StreamNewNotes = true;
  return out.str();
}

// Streamed first (which keeps no document), then built on the same object.
void ExpectSameBytes(TStreamNotesFile& F) {
  const std::string streamed = Save(F, true);
  EXPECT_FALSE(F.HasDocument());
  const std::string built = Save(F, false);
  EXPECT_TRUE(F.HasDocument());
  EXPECT_EQ(streamed, built);
}

TEST_F(NotesStream, SameBytesAsTheDocumentInEveryLayout) {
  for (const bool formatted : {true, false})
    for (const std::u16string indent : {u"  ", u"\t"})
      for (const std::u16string stamp : {u"", u"stamp & <1>"}) {
        SCOPED_TRACE(std::to_string(formatted) + " " + UTF16ToUTF8(indent + u"|" + stamp));
        QEMNotesFormattedXML = formatted;
        DefaultIndentStr = indent;
        ExpectSameBytes(*Sample(stamp));
      }
}

TEST_F(NotesStream, SameBytesWithoutItemsOrHistory) {
  for (const bool formatted : {true, false}) {
    QEMNotesFormattedXML = formatted;
    auto f = Sample(u"");
    f->GetItems()->Clear();
    ExpectSameBytes(*f);
    f = Sample(u"");
    Add(*f, u"only", u"o", u"", rsTranslated);
    ExpectSameBytes(*f);
  }
}

TEST_F(NotesStream, RefusedTextsAreRefusedAlikeAndNothingIsWritten) {
  const std::u16string bad[] = {
      std::u16string(1, u'\0'), u"\x01", u"\x1F", u"\uFFFE", u"\uFFFF", u"\x0B"};
  for (const std::u16string& b : bad)
    for (int field = 0; field < 6; ++field) {
      SCOPED_TRACE(field);
      std::u16string message[2];
      for (const bool stream : {true, false}) {
        auto f = Sample(u"");
        IQEMNotesItemPtr item = f->GetItems()->Get(1);
        const std::u16string t = u"x" + b;
        switch (field) {
        case 0:
          item->SetID(t);
          break;
        case 1:
          item->SetOrigText(t);
          break;
        case 2:
          item->SetXlatText(t);
          break;
        case 3:
          item->SetComment(t);
          break;
        case 4:
          f->GetItems()->Get(0)->SetPrevTagName(0, t);
          break;
        default:
          f->GetStats()->SetOrigStamp(t);
        }
        notesdetail::StreamNewNotes = stream;
        std::ostringstream out;
        try {
          f->SaveNewNotes(out);
          ADD_FAILURE() << "saved";
        } catch (const EQEMXMLError& e) {
          message[stream] = e.Message();
        }
        EXPECT_TRUE(out.str().empty());
      }
      EXPECT_FALSE(message[0].empty());
      EXPECT_EQ(message[0], message[1]);
    }
}

TEST_F(NotesStream, LaterSavesStreamTheCurrentItems) {
  auto f = Sample(u"");
  const std::string first = Save(*f, true);
  f->GetItems()->Get(0)->SetXlatText(u"changed");
  f->GetItems()->Delete(2);
  const std::string second = Save(*f, true);
  EXPECT_NE(first, second);
  EXPECT_NE(second.find("changed"), std::string::npos);
  EXPECT_EQ(second, Save(*f, false));
}

// An item class writing properties of its own is left to the document.
TEST_F(NotesStream, CustomPropertiesGoThroughTheDocument) {
  class TCustom : public TStreamNotesFile {
  public:
    void WriteCustomProp(TQEMXMLNode Group, IQEMNotesItem& Item) override {
      TQEMXMLNode p = Group.AppendElement(u"prop");
      p.SetAttribute(u"prop-type", u"Extra");
      SetTextToNode(p, Item.GetID());
    }
  };
  TCustom f;
  f.GetStats()->SetOrigLCID(1033);
  f.GetStats()->SetXlatLCID(1031);
  Add(f, u"a", u"b", u"c", rsTranslated);
  std::ostringstream out;
  f.SaveNewNotes(out);
  EXPECT_NE(out.str().find("<prop prop-type=\"Extra\">a</prop>"), std::string::npos);
  EXPECT_TRUE(f.HasDocument());
}

// A legacy file of one item with a history entry.
std::string LegacyText() {
  const std::string sep = "\x04";
  std::string text =
      "/*QEM: 5.0 45000.5 44000 44001 1 1 $00000409 $00000407 \"C:\\src\\main.ofm\" */\r\n"
      "/*QEM: Do not edit. This file is machine generated. */\r\n";
  text += "/* ID:Form1.Caption" + sep + "Orig:Line one\x01\x02Line two" + sep + "Status:1" + sep +
          "Curr:Zeile eins" + sep + "PrevOrig:Old" + sep + "PrevCurr:Alt" + sep +
          "Created:44000.5" + sep + "Modified:0" + sep + "Comment:c" + sep + " */\r\n";
  return text;
}

TEST_F(NotesStream, LegacyFileUpgradesAlike) {
  qemtest::TTempDir tmp;
  qemtest::WriteTextFile(tmp.Path() / "old.snt", LegacyText());
  TStreamNotesFile f;
  f.Open(tmp.U16("old.snt"));
  ASSERT_EQ(f.GetItems()->Count(), 1);
  f.GetStats()->SetVersion(u"9.0");
  ExpectSameBytes(f);
}
// ---- files of our own, read back: only their head is kept and their saves stream

// How an opened file is read and saved: its document kept whole or not, its body read from the
// bytes or through the document, its saves streamed or not.
struct TWay {
  bool Drop, Scan, Stream;
};

// The bytes a save gives of the file Name opened anew the way Way says; Change is applied to
// the items first.
std::string SaveOpened(const std::u16string& Name, TWay Way, bool ExpectHeadOnly,
                       const std::function<void(TQEMCustomNotesFile&)>& Change = {}) {
  notesdetail::DropOwnDocument = Way.Drop;
  notesdetail::ScanOwnBodies = Way.Scan;
  TStreamNotesFile f;
  f.Open(Name);
  f.GetItems();
  notesdetail::DropOwnDocument = true;
  notesdetail::ScanOwnBodies = true;
  EXPECT_EQ(f.HeadOnly(), ExpectHeadOnly);
  if (Change) Change(f);
  std::string first = Save(f, Way.Stream);
  // A second save of the same object takes the same way.
  EXPECT_TRUE(first == Save(f, Way.Stream));
  return first;
}

// Where two outputs first differ, shown around that place rather than whole.
void ExpectSameText(const std::string& A, const std::string& B) {
  if (A == B) return;
  size_t at = 0;
  while (at < A.size() && at < B.size() && A[at] == B[at])
    ++at;
  const size_t from = at < 80 ? 0 : at - 80;
  ADD_FAILURE() << "differ at " << at << ":\n"
                << A.substr(from, 160) << "\n---\n"
                << B.substr(from, 160);
}

// Every way of reading and saving an opened file gives the bytes of the whole document.
void ExpectSameSaves(const std::u16string& Name, bool Own,
                     const std::function<void(TQEMCustomNotesFile&)>& Change = {}) {
  const std::string whole = SaveOpened(Name, {false, false, true}, false, Change);
  for (const TWay way : {TWay{true, true, true}, TWay{true, false, true}, TWay{true, true, false}})
    ExpectSameText(whole, SaveOpened(Name, way, Own, Change));
}

void ExpectSameItems(IQEMNotesItems& A, IQEMNotesItems& B) {
  ASSERT_EQ(A.Count(), B.Count());
  for (int i = 0; i < A.Count(); ++i) {
    IQEMNotesItem &x = *A.Get(i), &y = *B.Get(i);
    EXPECT_EQ(x.GetID(), y.GetID());
    EXPECT_EQ(x.GetResName(), y.GetResName());
    EXPECT_EQ(x.GetOrigText(), y.GetOrigText());
    EXPECT_EQ(x.GetXlatText(), y.GetXlatText());
    EXPECT_EQ(x.GetComment(), y.GetComment());
    EXPECT_EQ(x.GetStatus(), y.GetStatus());
    EXPECT_EQ(x.GetCreated(), y.GetCreated());
    ASSERT_EQ(x.GetPrevCount(), y.GetPrevCount());
    for (int k = 0; k < x.GetPrevCount(); ++k) {
      EXPECT_EQ(x.GetPrevOrigText(k), y.GetPrevOrigText(k));
      EXPECT_EQ(x.GetPrevXlatText(k), y.GetPrevXlatText(k));
      EXPECT_EQ(x.GetPrevTagName(k), y.GetPrevTagName(k));
      if (!x.GetPrevOrigText(k).empty()) {
        EXPECT_EQ(x.GetPrevModified(k), y.GetPrevModified(k));
      }
    }
  }
}

void Rework(TQEMCustomNotesFile& F) {
  IQEMNotesItemsPtr items = F.GetItems();
  items->Get(0)->SetXlatText(u"changed & <new>");
  items->Get(0)->MoveCurrentToHistory(u"again");
  items->Get(0)->SetPrevModified(0, 45003.5);
  items->Get(1)->SetComment(u"");
  items->Get(3)->SetComment(u"now one");
  items->Delete(2);
  items->Exchange(0, 4);
  IQEMNotesItemPtr added = F.CreateNotesItem();
  added->SetID(u"Form1.Caption"); // a second unit of an id
  added->SetOrigText(u"dup");
  added->SetCreated(45002);
  items->Add(added);
  F.GetStats()->SetOrigFileName(u"/moved/elsewhere.ofm");
  F.GetStats()->SetOrigStamp(u"s2");
  F.GetStats()->SetXlatLCID(1036);
}

TEST_F(NotesStream, OwnFilesSaveTheSameBytesWithoutTheirDocument) {
  qemtest::TTempDir tmp;
  for (const bool formatted : {true, false})
    for (const std::u16string indent : {u"  ", u"\t"})
      for (const std::u16string stamp : {u"", u"stamp & <1>"}) {
        SCOPED_TRACE(std::to_string(formatted) + " " + UTF16ToUTF8(indent + u"|" + stamp));
        QEMNotesFormattedXML = formatted;
        DefaultIndentStr = indent;
        // As first saved, and as saved again from a loaded document.
        const std::u16string first = tmp.U16("first.snt"), again = tmp.U16("again.snt");
        Sample(stamp)->SaveAs(first);
        {
          TStreamNotesFile f;
          f.Open(first);
          f.GetItems();
          f.SaveAs(again);
        }
        for (const std::u16string& name : {first, again}) {
          ExpectSameSaves(name, true);
          ExpectSameSaves(name, true, Rework);
          ExpectSameSaves(name, true, [](TQEMCustomNotesFile& F) { F.GetItems()->Clear(); });
        }
      }
}

TEST_F(NotesStream, OwnFilesOfEveryShapeSaveTheSameBytes) {
  qemtest::TTempDir tmp;
  const std::u16string name = tmp.U16("shape.snt");
  // Without items, in both layouts.
  for (const bool formatted : {true, false}) {
    QEMNotesFormattedXML = formatted;
    auto f = Sample(u"");
    f->GetItems()->Clear();
    f->SaveAs(name);
    ExpectSameSaves(name, !formatted); // formatted, the empty body holds its line break
    ExpectSameSaves(name, !formatted,
                    [&](TQEMCustomNotesFile& F) { Add(F, u"x", u"y", u"z", rsTranslated, u"c"); });
  }
  // A legacy file, upgraded, then read back.
  QEMNotesFormattedXML = true;
  qemtest::WriteTextFile(tmp.Path() / "old.snt", LegacyText());
  TStreamNotesFile legacy;
  legacy.Open(tmp.U16("old.snt"));
  legacy.SaveAs(name);
  ExpectSameSaves(name, true);
  ExpectSameSaves(name, true, [](TQEMCustomNotesFile& F) {
    F.GetItems()->Get(0)->MoveCurrentToHistory(u"u");
    F.GetItems()->Get(0)->SetPrevModified(0, 45003.25);
    F.GetItems()->Get(0)->SetXlatText(u"neu");
  });
}

// Whatever a save would not write again keeps the whole document, and survives as it is.
TEST_F(NotesStream, ForeignContentKeepsTheDocument) {
  qemtest::TTempDir tmp;
  QEMNotesFormattedXML = true;
  const std::u16string name = tmp.U16("own.snt");
  Sample(u"s")->SaveAs(name);
  ExpectSameSaves(name, true);
  const std::string own = qemtest::ReadTextFile(tmp.Path() / "own.snt");
  const auto replaced = [&](const std::string& From, const std::string& To) {
    const size_t at = own.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    return own.substr(0, at) + To + own.substr(at + From.size());
  };
  const std::pair<std::string, std::string> foreign[] = {
      {"<source>Hello again</source>", "<source>Hello again</source><!-- c -->"},
      {"<source>Hello again</source>", "<source xml:space=\"preserve\">Hello again</source>"},
      {"<target>Hallo wieder</target>", "<target><![CDATA[Hallo wieder]]></target>"},
      {"<note xml:lang=\"en-US\">a note</note>",
       "<note xml:lang=\"en-US\" from=\"x\">a note</note>"},
      {"<source>Hello again</source>", "<source>Hello again</source><context>c</context>"},
      {"<prop prop-type=\"Status\">1</prop>",
       "<prop prop-type=\"Status\">1</prop><prop prop-type=\"Other\">o</prop>"},
      {"<alt-trans><source>Hello again</source>",
       "<alt-trans match-quality=\"90\"><source>Hello again</source>"},
      // The oldest entry's source is never left out.
      {"<alt-trans><source>Hello</source>", "<alt-trans>"},
      {"<prop prop-type=\"Version\">", "<?pi x?><prop prop-type=\"Version\">"},
      {"<xliff version=\"1.0\">", "<xliff version=\"1.0\" xmlns:o=\"urn:o\">"},
      {"<header>", "<header><skl>s</skl>"},
      {"tool=\"HLX v10.0\"", "tool=\"HLX v10.0\" o:x=\"1\""},
      {"<trans-unit id=\"Form1.Caption\" resname=\"Form1.Caption\">",
       "<trans-unit resname=\"Form1.Caption\" id=\"Form1.Caption\">"},
      {"<body>", "<body><group id=\"g\"/>"},
  };
  for (const auto& [from, to] : foreign) {
    SCOPED_TRACE(to);
    qemtest::WriteTextFile(tmp.Path() / "foreign.snt", replaced(from, to));
    const std::string saved = SaveOpened(tmp.U16("foreign.snt"), {true, true, true}, false);
    ExpectSameText(saved, SaveOpened(tmp.U16("foreign.snt"), {false, false, true}, false));
    EXPECT_NE(saved.find(to.substr(0, to.find('>') + 1)), std::string::npos);
  }
}

// Reads File's items into Off with Switch off, then into On with it on (as it is left); the
// messages of their refusals, empty where there was none.
std::pair<std::u16string, std::u16string> ReadBothWays(const std::u16string& File, bool& Switch,
                                                       TStreamNotesFile& Off,
                                                       TStreamNotesFile& On) {
  std::pair<std::u16string, std::u16string> errors;
  for (auto [f, error, on] :
       {std::tuple{&Off, &errors.first, false}, std::tuple{&On, &errors.second, true}}) {
    Switch = on;
    try {
      f->Open(File);
      f->GetItems();
    } catch (const EQEMNotesError& e) {
      *error = e.Message();
    }
  }
  return errors;
}

// Classes with items or properties of their own read the same values and keep the document.
TEST_F(NotesStream, ItemClassesOfPackagesReadAlikeAndKeepTheDocument) {
  class TOwnItem : public TQEMNotesItem {
  public:
    using TQEMNotesItem::TQEMNotesItem;
  };
  class TOwnItemFile : public TStreamNotesFile {
  public:
    IQEMNotesItemPtr CreateNotesItem() override { return std::make_shared<TOwnItem>(0, 0); }
  };
  class TPropFile : public TStreamNotesFile {
  public:
    void WriteCustomProp(TQEMXMLNode Group, IQEMNotesItem&) override {
      Group.AppendElement(u"prop").SetAttribute(u"prop-type", u"Extra");
    }
  };
  qemtest::TTempDir tmp;
  const std::u16string name = tmp.U16("items.snt");
  Sample(u"")->SaveAs(name);
  TStreamNotesFile plain;
  TOwnItemFile own;
  TPropFile prop;
  for (TStreamNotesFile* f : std::initializer_list<TStreamNotesFile*>{&plain, &own, &prop}) {
    f->Open(name);
    f->GetItems();
  }
  EXPECT_TRUE(plain.HeadOnly());
  EXPECT_FALSE(own.HeadOnly());
  EXPECT_FALSE(prop.HeadOnly());
  IQEMNotesItemsPtr a = plain.GetItems(), b = own.GetItems();
  ExpectSameItems(*a, *b);
  EXPECT_EQ(a->Get(0)->GetPrevCount(), 3);
}
// Texts with every escape, reference and line break the document resolves read alike from the
// bytes and through the document; what it reads otherwise goes to it, and is refused alike.
TEST_F(NotesStream, BodiesReadFromTheBytesReadAsTheDocumentReadsThem) {
  qemtest::TTempDir tmp;
  QEMNotesFormattedXML = true;
  const std::u16string name = tmp.U16("own.snt");
  Sample(u"")->SaveAs(name);
  const std::string own = qemtest::ReadTextFile(tmp.Path() / "own.snt");
  const std::string target = "<target>Hallo wieder</target>", id = "id=\"Same\"";
  const struct {
    std::string Text, ID;
    bool Own;
  } cases[] = {
      {"a&#13;b&#10;c&#13;&#10;d&#13;\ne\r\nf\rg\nh&#x41;&#65;&apos;&quot;&gt;>\t", "S", true},
      {"&#13;\r\n&#13;\r&#10;", "&#x41;&amp;&lt;&gt;&quot;&apos;", true},
      {"\xF0\x9F\x98\x80 \xE2\x82\xAC \xC3\xA9 \xEF\xBF\xBD", "\xC3\xA9", true},
      {"   ", "&#9;&#10;&#13;", true},
      {"", "", true},
      // Plain at first, then not: the start is kept, and the room reserved holds any breaks.
      {"Stra\xC3\x9F"
       "e\r\nx\xE2\x82\xAC&amp;",
       "S", true},
      {"ab\n\n\n\n\n\n\n\n\r\r\r\r&#13;&#13;\n", "S", true},
      {std::string(3000, 'a') + "\xC3\xA9" + std::string(50, '\n') + "\xF0\x9F\x98\x80&#x1F600;",
       "S", true},
      // Left to the document, which reads them as text, or turns them into spaces.
      {"&#X41;", "S", true},
      {"&nbsp;", "S", true},
      {"a&#0041;b", "S", true},
      {"a", "S\tT", true},
      {"a", "S\r\nT", true},
      // Refused by the document.
      {"a\xC0\x80", "S", false},
      {"a&#1;b", "S", false},
      {"a\xEF\xBF\xBE", "S", false},
      {"<![CDATA[x]]>", "S", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text + "|" + c.ID);
    std::string text = own;
    text.replace(text.find(target), target.size(), "<target>" + c.Text + "</target>");
    text.replace(text.find(id), id.size(), "id=\"" + c.ID + "\"");
    qemtest::WriteTextFile(tmp.Path() / "case.snt", text);
    const std::u16string file = tmp.U16("case.snt");
    TStreamNotesFile scanned, whole;
    const auto [error, scanError] =
        ReadBothWays(file, notesdetail::DropOwnDocument, whole, scanned);
    if (!scanError.empty()) {
      EXPECT_EQ(error, scanError); // refused alike
      continue;
    }
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(scanned.HeadOnly(), c.Own);
    ExpectSameItems(*scanned.GetItems(), *whole.GetItems());
    if (error.empty()) ExpectSameSaves(file, c.Own);
  }
}
} // namespace

namespace {
// The own file of Sample with the text of one property of unit ID replaced.
std::string WithProp(std::string Text, const std::string& ID, const std::string& Type,
                     const std::string& Value) {
  const size_t unit = Text.find("id=\"" + ID + "\"");
  const std::string open = "<prop prop-type=\"" + Type + "\">";
  const size_t from = Text.find(open, unit) + open.size();
  Text.replace(from, Text.find("</prop>", from) - from, Value);
  return Text;
}
} // namespace

// Times and statuses are taken over from the unit before when their text repeats: a text that
// differs, comes back, or is malformed after good ones reads as the document reads it.
TEST_F(NotesStream, TimesAndStatusesReadAsTheDocumentReadsThemFromUnitToUnit) {
  qemtest::TTempDir tmp;
  const std::u16string name = tmp.U16("own.snt");
  Sample(u"")->SaveAs(name);
  const std::string own = qemtest::ReadTextFile(tmp.Path() / "own.snt");
  std::string changed = WithProp(own, "S2", "Created", "45000.5");
  changed = WithProp(changed, "S3", "Created", "45000.25");
  changed = WithProp(changed, "S4", "Status", "01");
  changed = WithProp(changed, "S5", "Status", " 5");
  const struct {
    std::string Text;
    bool Refused;
  } cases[] = {
      {changed, false},
      {WithProp(changed, "S6", "Created", "45000.5x"), true},
      {WithProp(changed, "S6", "Created", ""), true},
      {WithProp(changed, "S7", "Status", "8"), true},
      {WithProp(changed, "S7", "Status", ""), true},
      {WithProp(changed, "Form1.Caption", "Modified", "45001.5"), false},
  };
  for (const auto& c : cases) {
    qemtest::WriteTextFile(tmp.Path() / "case.snt", c.Text);
    const std::u16string file = tmp.U16("case.snt");
    TStreamNotesFile scanned, whole;
    const auto [error, scanError] = ReadBothWays(file, notesdetail::ScanOwnBodies, whole, scanned);
    EXPECT_EQ(error.empty(), !c.Refused) << UTF16ToUTF8(error);
    if (!scanError.empty()) {
      EXPECT_EQ(error, scanError);
      continue;
    }
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(scanned.HeadOnly());
    ExpectSameItems(*scanned.GetItems(), *whole.GetItems());
  }
  TStreamNotesFile f;
  qemtest::WriteTextFile(tmp.Path() / "case.snt", changed);
  f.Open(tmp.U16("case.snt"));
  const IQEMNotesItemsPtr items = f.GetItems();
  std::vector<std::pair<TDateTime, TResStatus>> read;
  for (int i = 0; i < items->Count(); ++i)
    if (items->Get(i)->GetID().size() == 2 && items->Get(i)->GetID()[0] == u'S')
      read.emplace_back(items->Get(i)->GetCreated(), items->Get(i)->GetStatus());
  ASSERT_EQ(read.size(), 8u);
  EXPECT_EQ(read[1].first, 45000.25);
  EXPECT_EQ(read[2].first, 45000.5);
  EXPECT_EQ(read[3].first, 45000.25);
  EXPECT_EQ(read[4].second, TResStatus(1));
  EXPECT_EQ(read[5].second, TResStatus(5));
}

// Every item a load makes takes the one time the load read (for the empty history entry of an
// item without history), whichever way the body is read; an item made afterwards reads now.
TEST_F(NotesStream, ItemsOfALoadShareItsTimeAndLaterOnesReadTheClock) {
  qemtest::TTempDir tmp;
  const std::u16string name = tmp.U16("own.snt");
  Sample(u"")->SaveAs(name);
  TDateTime tick = 50000;
  QEMSetClockForTesting([&] { return tick += 1; });
  for (const bool scan : {true, false}) {
    SCOPED_TRACE(scan);
    notesdetail::ScanOwnBodies = scan;
    TStreamNotesFile f;
    f.Open(name);
    const IQEMNotesItemsPtr items = f.GetItems();
    notesdetail::ScanOwnBodies = true;
    std::vector<TDateTime> empty;
    for (int i = 0; i < items->Count(); ++i) {
      IQEMNotesItem& item = *items->Get(i);
      if (item.GetPrevOrigText(0).empty() && item.GetPrevXlatText(0).empty())
        empty.push_back(item.GetPrevModified(0));
    }
    ASSERT_GT(empty.size(), 5u);
    EXPECT_EQ(std::count(empty.begin(), empty.end(), empty[0]), std::ptrdiff_t(empty.size()));
    EXPECT_GT(empty[0], 50000);
    const IQEMNotesItemPtr later = f.CreateNotesItem();
    EXPECT_GT(later->GetCreated(), empty[0]);
    EXPECT_GT(later->GetPrevModified(0), later->GetCreated());
  }
  QEMSetClockForTesting({});
}
