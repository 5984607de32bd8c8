#include <gtest/gtest.h>

#include "HLXLines.h"
#include "core/QEMIntlUtils.h"
#include "support/TestSupport.h"
#include "translator/QEMExchange.h"
#include "translator/QEMExchangePO.h"
#include "translator/QEMExchangeXliff.h"

namespace {

using namespace hlxtest;

// Texts that have tripped exchange formats: quotes, escapes, XML's own characters, line ends
// of both kinds, tabs, surrounding spaces, a character outside the BMP, a lone space.
const std::vector<std::u16string> kHardTexts = {
    u"Say \"hi\" & <bye>",
    u"C:\\path\\n is no newline",
    u"Two\r\nlines",
    u"Line\nbreak\n",
    u"\tTabbed\t",
    u"  spaced  ",
    u"Emoji \U0001F600 here",
    u" ",
    u"it's 100%",
};

TQEMExchangeFile HardFile() {
  TQEMExchangeFile f;
  f.Original = u"de/src/Main \"x\" & y.ofm";
  f.SourceLang = u"en-US";
  f.TargetLang = u"de-DE";
  int n = 0;
  for (const auto& t : kHardTexts) {
    TQEMExchangeUnit& u = f.Units.emplace_back();
    u.Id = u"Form.Item" + IntToStr(n++) + u"<&\">";
    u.ResName = u"Form";
    u.Source = t;
    u.Target = u"[" + t + u"]";
    u.Status = rsTranslated;
    u.Comment = t;
  }
  return f;
}

void ExpectSameUnits(const TQEMExchangeFile& Read, const TQEMExchangeFile& Written) {
  EXPECT_EQ(Read.Original, Written.Original);
  EXPECT_EQ(Read.TargetLang, Written.TargetLang);
  ASSERT_EQ(Read.Units.size(), Written.Units.size());
  for (size_t i = 0; i < Read.Units.size(); ++i) {
    SCOPED_TRACE(UTF16ToUTF8(Written.Units[i].Source));
    EXPECT_EQ(Read.Units[i].Id, Written.Units[i].Id);
    EXPECT_EQ(Read.Units[i].Source, Written.Units[i].Source);
    EXPECT_EQ(Read.Units[i].Target, Written.Units[i].Target);
    EXPECT_EQ(Read.Units[i].Ask, TQEMExchangeAsk::eaTranslated);
    EXPECT_TRUE(QEMExchangeSameComment(Read.Units[i].Comment, Written.Units[i].Comment));
  }
}

TEST(ExchangeFormats, HardTextsSurviveBothFormats) {
  const TQEMExchangeFile f = HardFile();
  const auto xlf = QEMXliffRead(u"t.xlf", QEMXliffWrite(f));
  ASSERT_EQ(xlf.size(), 1u);
  ExpectSameUnits(xlf[0], f);
  EXPECT_EQ(xlf[0].SourceLang, u"en-US");
  const TQEMExchangeFile po = QEMPORead(u"t.po", QEMPOWrite(f));
  ExpectSameUnits(po, f);
  EXPECT_EQ(po.SourceLang, u"en-US");
  // The XLIFF comment keeps its CR LF exactly: the carriage return goes as a reference.
  EXPECT_EQ(xlf[0].Units[2].Comment, u"Two\r\nlines");
}

TEST(ExchangeFormats, StatusesReadBackAsTheirAsks) {
  TQEMExchangeFile f;
  f.Original = u"a.ofm";
  f.SourceLang = u"en-US";
  f.TargetLang = u"fr-FR";
  const std::pair<TResStatus, TQEMExchangeAsk> xliff[] = {
      {rsUnTranslated, TQEMExchangeAsk::eaNothing},
      {rsTranslated, TQEMExchangeAsk::eaTranslated},
      {rsAutoTranslated, TQEMExchangeAsk::eaReview},
      {rsNewlyTranslated, TQEMExchangeAsk::eaTranslated},
      {rsHold, TQEMExchangeAsk::eaHold},
      {rsDoNotTranslate, TQEMExchangeAsk::eaDoNotTranslate},
  };
  for (const auto& [status, ask] : xliff) {
    TQEMExchangeUnit& u = f.Units.emplace_back();
    u.Id = u.Source = u"s" + IntToStr(int(status));
    u.Target = u"t" + IntToStr(int(status));
    u.Status = status;
  }
  const auto x = QEMXliffRead(u"t.xlf", QEMXliffWrite(f));
  const TQEMExchangeFile p = QEMPORead(u"t.po", QEMPOWrite(f));
  for (size_t i = 0; i < std::size(xliff); ++i) {
    SCOPED_TRACE(int(xliff[i].first));
    EXPECT_EQ(x[0].Units[i].Ask, xliff[i].second);
    // PO has no "do not translate": Hold is untranslated there, Don't Translate translated.
    const TResStatus s = xliff[i].first;
    const TQEMExchangeAsk poAsk = s == rsUnTranslated || s == rsHold ? TQEMExchangeAsk::eaNothing
                                  : s == rsAutoTranslated            ? TQEMExchangeAsk::eaReview
                                                          : TQEMExchangeAsk::eaTranslated;
    EXPECT_EQ(p.Units[i].Ask, poAsk);
  }
}

TEST(ExchangeFormats, PreviousValuesAreWrittenAndNotReadBack) {
  TQEMExchangeFile f = HardFile();
  f.Units[0].PrevSource = u"Old & <gone>";
  f.Units[0].PrevTarget = u"Alt";
  const std::string xlf = QEMXliffWrite(f);
  EXPECT_NE(xlf.find("<alt-trans alttranstype=\"previous-version\">\n"
                     "          <source>Old &amp; &lt;gone&gt;</source>\n"
                     "          <target>Alt</target>"),
            std::string::npos)
      << xlf;
  ExpectSameUnits(QEMXliffRead(u"t.xlf", xlf).at(0), f);
  f.Units[1].Status = rsAutoTranslated;
  const std::string po = QEMPOWrite(f);
  EXPECT_NE(po.find("#| msgid \"Old & <gone>\"\nmsgctxt"), std::string::npos) << po;
  EXPECT_NE(po.find("#, fuzzy\nmsgctxt \"Form.Item1"), std::string::npos) << po;
  EXPECT_EQ(QEMPORead(u"t.po", po).Units[0].Target, f.Units[0].Target);
}

TEST(ExchangeFormats, XliffWriterRefusesWhatXmlCannotCarry) {
  TQEMExchangeFile f = HardFile();
  f.Units[3].Target = u"bell\a";
  try {
    QEMXliffWrite(f);
    FAIL() << "no error";
  } catch (const EQEMError& e) {
    EXPECT_NE(e.Message().find(f.Units[3].Id), std::u16string::npos);
  }
  // PO carries it as an escape.
  EXPECT_EQ(QEMPORead(u"t.po", QEMPOWrite(f)).Units[3].Target, u"bell\a");
}

// A broken file raises before anything is returned, naming the file and the line.
void ExpectBrokenAt(TQEMExchangeFormat Format, const std::string& Text, int Line,
                    std::u16string_view Why = {}) {
  try {
    QEMExchangeRead(Format, u"in.cat", Text);
    ADD_FAILURE() << "read without error:\n" << Text;
  } catch (const EQEMError& e) {
    const std::u16string m = e.Message();
    EXPECT_NE(m.find(u"\"in.cat\" is broken at line " + IntToStr(Line) + u":"),
              std::u16string::npos)
        << UTF16ToUTF8(m);
    EXPECT_NE(m.find(Why), std::u16string::npos) << UTF16ToUTF8(m);
  }
}

TEST(ExchangeFormats, BrokenXliffNamesTheLine) {
  const std::string head = "<?xml version=\"1.0\"?>\n<xliff version=\"1.2\">\n"
                           "<file original=\"a.ofm\" source-language=\"en-US\" "
                           "target-language=\"de-DE\" datatype=\"plaintext\"><body>\n";
  const std::string unit =
      "<trans-unit id=\"a\"><source>A</source><target>B</target></trans-unit>\n";
  const auto x = TQEMExchangeFormat::efXliff;
  ExpectBrokenAt(x, head + unit + "<trans-unit id=\"b\"><source>B</sourc>", 5);
  ExpectBrokenAt(x, head + unit + unit + "</body></file></xliff>", 5, u"\"a\" comes twice");
  ExpectBrokenAt(x,
                 head + unit + "<trans-unit id=\"c\"><target>C</target></trans-unit>\n" +
                     "</body></file></xliff>",
                 5, u"<source>");
  ExpectBrokenAt(x, "<tmx version=\"1.4\"/>", 1, u"<tmx>");
  ExpectBrokenAt(x,
                 "<xliff version=\"1.2\">\n<file original=\"a\" target-language=\"??\">"
                 "<body/></file></xliff>",
                 2, u"\"??\"");
}

TEST(ExchangeFormats, BrokenPONamesTheLine) {
  const std::string head =
      "msgid \"\"\nmsgstr \"\"\n\"X-Original: a.ofm\\n\"\n\"Language: de_DE\\n\"\n\n";
  const auto p = TQEMExchangeFormat::efPO;
  ExpectBrokenAt(p, head + "msgctxt \"a\"\nmsgid \"A\"\nmsgstr \"B\n", 8);
  ExpectBrokenAt(p, head + "msgctxt \"a\"\nmsgid \"A\"\nmsgstr \"\\q\"\n", 8);
  ExpectBrokenAt(p, head + "msgid \"A\"\nmsgstr \"B\"\n", 6, u"msgctxt");
  ExpectBrokenAt(p,
                 head + "msgctxt \"a\"\nmsgid \"A\"\nmsgstr \"B\"\n\nmsgctxt \"a\"\nmsgid \"A\"\n"
                        "msgstr \"C\"\n",
                 10, u"twice");
  ExpectBrokenAt(p, head + "msgctxt \"a\"\nmsgid \"A\"\nmsgtxt \"B\"\n", 8);
  ExpectBrokenAt(p, "msgctxt \"a\"\nmsgid \"A\"\nmsgstr \"B\"\n", 1, u"X-Original");
  ExpectBrokenAt(p, head + "msgctxt \"a\"\nmsgid \"\xC3\x28\"\nmsgstr \"\"\n", 7);
}

TEST(ExchangeFormats, POReadsWhatOtherToolsWrite) {
  // Wrapped strings, obsolete entries, other comments and a plural form are read or passed.
  const std::string text = "# header comment\nmsgid \"\"\nmsgstr \"\"\n\"X-Original: a.ofm\\n\"\n"
                           "\"Language: pt_BR\\n\"\n\n"
                           "#. extracted\n#: ref:1\n# first\n#\n# third\n#, fuzzy, c-format\n"
                           "msgctxt \"k\"\nmsgid \"\"\n\"one \"\n\"two\"\nmsgstr \"uno dos\"\n"
                           "\n#~ msgid \"old\"\n#~ msgstr \"alt\"\n";
  const TQEMExchangeFile f = QEMPORead(u"x.po", text);
  EXPECT_EQ(f.TargetLang, u"pt-BR");
  ASSERT_EQ(f.Units.size(), 1u);
  EXPECT_EQ(f.Units[0].Source, u"one two");
  EXPECT_EQ(f.Units[0].Comment, u"first\n\nthird");
  EXPECT_EQ(f.Units[0].Ask, TQEMExchangeAsk::eaReview);
  EXPECT_EQ(f.Units[0].Line, 13);
}

// ---- planning against a manager ----

// A line-format manager whose literals are quoted like Pascal strings, so that plain text and
// literal differ.
class TQuotedMgrClass : public TLinesMgrClass {
public:
  std::u16string ConvertFromRawString(const std::u16string& S) const override {
    std::u16string r = u"'";
    for (char16_t c : S)
      r += c == u'\'' ? std::u16string(u"''") : std::u16string(1, c);
    return r + u"'";
  }
  std::u16string ConvertToRawString(const std::u16string& S) const override {
    std::u16string r;
    for (size_t i = 1; i + 1 < S.size(); ++i) {
      r += S[i];
      if (S[i] == u'\'') ++i;
    }
    return r;
  }
};

class ExchangePlanTest : public ::testing::Test {
protected:
  void SetUp() override {
    qemtest::WriteTextFile(Dir.Path() / "a.lines", "");
    Mgr = Class.Create(Dir.U16("a.lines"), false);
    Mgr->Stats()->SetOrigLCID(0x409);
    Mgr->Stats()->SetXlatLCID(0x407);
    Add(u"one", u"'It''s'", u"'Es ist'", rsTranslated);
    Add(u"two", u"'Open'", u"'Open'", rsUnTranslated);
    Add(u"three", u"'Save'", u"'Speichern'", rsAutoTranslated);
    Add(u"four", u"'Gone'", u"'Weg'", rsUnused);
    Mgr->Items()->Get(0)->SetComment(u"a\r\nb");
  }
  void Add(const std::u16string& Id, const std::u16string& Orig, const std::u16string& Xlat,
           TResStatus Status) {
    auto item = Mgr->NotesFile()->CreateNotesItem();
    item->SetID(Id);
    item->SetOrigText(Orig);
    item->SetXlatText(Xlat);
    item->SetStatus(Status);
    Mgr->Items()->Add(item);
  }

  qemtest::TTempDir Dir;
  TQuotedMgrClass Class;
  std::unique_ptr<TQEMTranslatorMgr> Mgr;
};

TEST_F(ExchangePlanTest, AnUntouchedExportPlansNothing) {
  const TQEMExchangeFile f = QEMExchangeFileOf(*Mgr, u"de/a.lines");
  ASSERT_EQ(f.Units.size(), 3u); // the unused item is in no translated file
  EXPECT_EQ(f.Units[0].Source, u"It's");
  EXPECT_EQ(f.TargetLang, u"de-DE");
  for (auto format : {TQEMExchangeFormat::efXliff, TQEMExchangeFormat::efPO}) {
    const auto read = QEMExchangeRead(format, u"t", QEMExchangeWrite(format, f));
    const TQEMExchangePlan plan = QEMExchangePlanFor(read.at(0), *Mgr);
    EXPECT_TRUE(plan.Changes.empty());
    EXPECT_TRUE(plan.Problems.empty());
  }
}

TEST_F(ExchangePlanTest, EditsBecomeLiteralsAndStatuses) {
  TQEMExchangeFile f = QEMExchangeFileOf(*Mgr, u"de/a.lines");
  for (auto& u : f.Units)
    u.Ask = TQEMExchangeAsk::eaTranslated;
  f.Units[0].Target = u"Es ist's"; // a new text
  f.Units[0].Comment = u"a\nb";    // the same comment with LF only
  f.Units[1].Target = u"Open";     // typed as the original: no change
  TQEMExchangeUnit gone = f.Units[0];
  gone.Id = u"four";
  gone.Source = u"Gone";
  gone.Line = 7;
  f.Units.push_back(gone);
  TQEMExchangeUnit changed = f.Units[1];
  changed.Source = u"Open...";
  changed.Line = 9;
  f.Units.push_back(changed);
  const TQEMExchangePlan plan = QEMExchangePlanFor(f, *Mgr);
  ASSERT_EQ(plan.Changes.size(), 2u);
  EXPECT_TRUE(plan.Changes[0].SetText);
  EXPECT_EQ(plan.Changes[0].Text, u"'Es ist''s'");
  EXPECT_FALSE(plan.Changes[0].SetComment);
  // The auto-translated item with its text kept is approved.
  EXPECT_EQ(plan.Changes[1].Index, 2);
  EXPECT_TRUE(plan.Changes[1].SetStatus);
  EXPECT_EQ(plan.Changes[1].Status, TranslatedStatus);
  ASSERT_EQ(plan.Problems.size(), 2u);
  EXPECT_EQ(plan.Problems[0].Kind, TQEMExchangeProblemKind::epItemGone);
  EXPECT_EQ(plan.Problems[0].Line, 7);
  EXPECT_EQ(plan.Problems[1].Kind, TQEMExchangeProblemKind::epSourceChanged);
  EXPECT_EQ(plan.Problems[1].Id, u"two");
}

TEST_F(ExchangePlanTest, HoldAndCommentsAndEmptyTargets) {
  TQEMExchangeFile f = QEMExchangeFileOf(*Mgr, u"de/a.lines");
  f.Units[0].Ask = TQEMExchangeAsk::eaNothing; // an emptied translation is no request
  f.Units[0].Target.clear();
  f.Units[0].Comment.clear(); // nor is a missing comment
  f.Units[1].Ask = TQEMExchangeAsk::eaHold;
  f.Units[1].Comment = u"x\ny";
  f.Units[2].Ask = TQEMExchangeAsk::eaReview; // still to review: stays auto translated
  const TQEMExchangePlan plan = QEMExchangePlanFor(f, *Mgr);
  ASSERT_EQ(plan.Changes.size(), 1u);
  EXPECT_EQ(plan.Changes[0].Index, 1);
  EXPECT_EQ(plan.Changes[0].Status, rsHold);
  EXPECT_EQ(plan.Changes[0].Comment, u"x\r\ny");
}

TEST(ExchangeFormats, FormatByExtension) {
  TQEMExchangeFormat f;
  EXPECT_TRUE(QEMExchangeFormatOf(u"a/b.XLIFF", f));
  EXPECT_EQ(f, TQEMExchangeFormat::efXliff);
  EXPECT_TRUE(QEMExchangeFormatOf(u"b.Po", f));
  EXPECT_EQ(f, TQEMExchangeFormat::efPO);
  EXPECT_FALSE(QEMExchangeFormatOf(u"x.po/readme", f));
  EXPECT_FALSE(QEMExchangeFormatOf(u"x.pot", f));
}

} // namespace
