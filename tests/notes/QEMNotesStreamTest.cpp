// A first save writes the document straight to the stream; these compare it byte for byte with
// the document built and serialised, which a loaded file still uses.
#include <gtest/gtest.h>

#include <sstream>

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
};

// Restores both switches whatever a test does.
class NotesStream : public ::testing::Test {
protected:
  void TearDown() override {
    notesdetail::StreamNewNotes = true;
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

TEST_F(NotesStream, LegacyFileUpgradesAlike) {
  qemtest::TTempDir tmp;
  const std::string sep = "\x04";
  std::string text =
      "/*QEM: 5.0 45000.5 44000 44001 1 1 $00000409 $00000407 \"C:\\src\\main.ofm\" */\r\n"
      "/*QEM: Do not edit. This file is machine generated. */\r\n";
  text += "/* ID:Form1.Caption" + sep + "Orig:Line one\x01\x02Line two" + sep + "Status:1" + sep +
          "Curr:Zeile eins" + sep + "PrevOrig:Old" + sep + "PrevCurr:Alt" + sep +
          "Created:44000.5" + sep + "Modified:0" + sep + "Comment:c" + sep + " */\r\n";
  qemtest::WriteTextFile(tmp.Path() / "old.snt", text);
  TStreamNotesFile f;
  f.Open(tmp.U16("old.snt"));
  ASSERT_EQ(f.GetItems()->Count(), 1);
  f.GetStats()->SetVersion(u"9.0");
  ExpectSameBytes(f);
}
} // namespace
