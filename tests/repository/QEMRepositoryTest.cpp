#include <gtest/gtest.h>

#include <cstring>

#include "core/QEMStrs.h"
#include "core/QEMUtils.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryService.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

constexpr LCID En = 0x0409, De = 0x0407, Fr = 0x040C;

class RepositoryTest : public ::testing::Test {
protected:
  void SetUp() override { QEMRepositorySetFileName(Dir.U16("rep.tmx")); }
  int Count() { return QEMRepositoryGetRepository()->RecCount(); }
  std::vector<std::u16string> Get(const std::u16string& Orig, LCID Xlat = De,
                                  const std::u16string& Ctx = u"") {
    TQEMWideStringList l;
    QEMRepositoryGetString(Orig, En, l, Xlat, Ctx);
    std::vector<std::u16string> out;
    for (int i = 0; i < l.GetCount(); ++i)
      out.push_back(l.Get(i));
    return out;
  }
  TQEMRepositoryAddResult Add(const std::u16string& O, const std::u16string& X,
                              const std::u16string& Ctx = u"") {
    TQEMRepositoryAddResult r;
    QEMRepositoryAddString(O, En, X, De, Ctx, &r);
    return r;
  }
  std::string Message(const std::function<void()>& Fn) {
    try {
      Fn();
    } catch (const EQEMRepositoryError& E) {
      return E.what();
    }
    return "";
  }
  qemtest::TTempDir Dir;
};

using TR = TQEMRepositoryAddResult;

TEST_F(RepositoryTest, AddStringDuplicatesFreeSlotsAndContext) {
  EXPECT_EQ(Add(u"Open", u"Öffnen"), TR::arAdded);
  EXPECT_EQ(Add(u"Open", u"ÖFFNEN"), TR::arExisted); // A-Z only ignore case; Ö stays as is
  EXPECT_EQ(Add(u"Open", u"öffnen"), TR::arAdded);
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Add(u"Open", u"Öffnen", u"ctx1"), TR::arAdded);
  EXPECT_EQ(QEMRepositoryGetRepository()->GetRecord(2)->GetID(), u"ctx1");
  EXPECT_EQ(Get(u"Open", De, u"ctx1"), std::vector<std::u16string>{u"Öffnen"});
  EXPECT_EQ(Get(u"Open").size(), 3u);

  // A record holding only the original is a free slot for the next translation.
  QEMRepositoryAddString(u"Close", En, u"Fermer", Fr, u"");
  EXPECT_EQ(Add(u"Close", u"Schließen"), TR::arFilled);
  EXPECT_EQ(Count(), 4);

  // Line-break style does not tell originals apart.
  EXPECT_EQ(Add(u"a\r\nb", u"x"), TR::arAdded);
  EXPECT_EQ(Add(u"a\nb", u"x"), TR::arExisted);
  EXPECT_EQ(Get(u"a\nb"), std::vector<std::u16string>{u"x"});

  // Empty texts are never stored; unknown LCIDs change nothing.
  EXPECT_FALSE(QEMRepositoryAddString(u"", En, u"x", De, u""));
  EXPECT_FALSE(QEMRepositoryAddString(u"y", En, u"", De, u""));
  EXPECT_FALSE(QEMRepositoryAddString(u"y", 0xFFFF, u"x", De, u""));
  EXPECT_FALSE(QEMRepositoryReplaceString(u"Open", En, u"Öffnen", De, u"", u""));
  EXPECT_EQ(Count(), 5);
  EXPECT_TRUE(QEMRepositoryModified());
}

TEST_F(RepositoryTest, ForceAddReplaceAndLookups) {
  Add(u"File", u"Datei");
  Add(u"File", u"Akte");
  Add(u"File", u"Datei", u"id");
  // Forced add with a context reuses only the record carrying that id.
  TR r;
  QEMRepositoryForceAddString(u"File", En, u"Dokument", De, u"id", &r);
  EXPECT_EQ(r, TR::arReplaced);
  QEMRepositoryForceAddString(u"File", En, u"Blatt", De, u"other", &r);
  EXPECT_EQ(r, TR::arAdded);
  EXPECT_EQ(Get(u"File"), (std::vector<std::u16string>{u"Datei", u"Akte", u"Dokument", u"Blatt"}));
  ASSERT_NE(SearchRecord(u"File", En, u""), nullptr);
  EXPECT_EQ(SearchRecord(u"File", En, u"id"), nullptr); // only the first position is examined

  Add(u"File", u"Datei", u"x2");
  EXPECT_TRUE(QEMRepositoryReplaceString(u"File", En, u"Datei", De, u"Neu", u""));
  EXPECT_EQ(Get(u"File"),
            (std::vector<std::u16string>{u"Neu", u"Akte", u"Dokument", u"Blatt", u"Datei"}));
  EXPECT_FALSE(QEMRepositoryReplaceString(u"File", En, u"Nichts", De, u"Neu", u""));

  EXPECT_TRUE(Get(u"File", Fr).empty());
  TQEMWideStringList l;
  EXPECT_FALSE(QEMRepositoryGetString(u"File", En, l, Fr, u""));
  EXPECT_FALSE(QEMRepositoryGetString(u"Missing", En, l, De, u""));
}

TEST_F(RepositoryTest, IndexStaysSortedAndBatchStoresPairsOnce) {
  QEMRepositoryBeginUpdate();
  for (int i = 0; i < 3000; ++i) {
    const std::u16string n = UTF8ToUTF16(std::to_string((i * 7919) % 1500));
    QEMRepositoryAddString(u"k" + n, En, u"v" + n, De, u"");
  }
  QEMRepositoryEndUpdate();
  auto rep = QEMRepositoryGetRepository();
  EXPECT_EQ(rep->RecCount(), 1500);
  const auto& ix = rep->GetIndexList().Index(rep->GetIndexList().Languages().IndexOf(u"en-US"));
  ASSERT_EQ(ix.Count(), 1500);
  for (int p = 0; p < ix.Count(); ++p)
    EXPECT_EQ(ix.PositionOf(ix.Item(p)), p);
  for (int p = 1; p < ix.Count(); ++p)
    EXPECT_LT(rep->GetRecord(ix.Item(p - 1))->GetString(u"en-US"),
              rep->GetRecord(ix.Item(p))->GetString(u"en-US"));
  int pos = -1;
  EXPECT_TRUE(rep->Find(u"k1000", u"en-us", pos));
  EXPECT_EQ(rep->GetRecord(ix.Item(pos))->GetString(u"de-DE"), u"v1000");
}

TEST_F(RepositoryTest, TMXSaveLoadKeepsWhatItDoesNotKnow) {
  EXPECT_EQ(Message([] { QEMRepositorySetFileName(u""), QEMRepositorySave(); }),
            "Filename is not specified.");
  QEMRepositorySetFileName(Dir.U16("empty.tmx"));
  QEMRepositoryGetRepository()->AddRecord();
  QEMRepositorySave();
  const std::string empty = qemtest::ReadTextFile(Dir.Path() / "empty.tmx");
  EXPECT_NE(empty.find("adminlang=\"\""), std::string::npos);
  EXPECT_NE(empty.find("srclang=\"\""), std::string::npos);
  const size_t cd = empty.find("changedate=\"");
  ASSERT_NE(cd, std::string::npos);
  const std::string date = empty.substr(cd + 12, 19);
  EXPECT_TRUE(date[8] == 'T' && date[11] == ':' && date[14] == ':' && date[17] == 'Z' &&
              date[18] == '"')
      << date;
  EXPECT_EQ(QEMRepositoryDateText(EncodeDateTime(2009, 12, 31, 23, 59, 59)), u"20091231T23:59:59Z");

  qemtest::WriteTextFile(
      Dir.Path() / "other.tmx",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\"><header creationtool=\"T\" "
      "o-tmf=\"x\"><prop type=\"p\">v</prop></header><body>"
      "<tu tuid=\"7\" usagecount=\"3\"><prop type=\"q\">w</prop><tuv xml:lang=\"EN-us\">"
      "<seg>Hello</seg><note>n</note></tuv><tuv xml:lang=\"de-DE\"><seg>Hallo</seg></tuv></tu>"
      "<tu><tuv xml:lang=\"fr-FR\"><seg>Bon<ph x=\"1\"/>jour</seg></tuv></tu></body></tmx>");
  QEMRepositorySetFileName(Dir.U16("other.tmx"));
  auto rep = std::static_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  EXPECT_EQ(rep->Author(), u"T");
  EXPECT_EQ(Get(u"Hello"), std::vector<std::u16string>{u"Hallo"});
  EXPECT_EQ(rep->GetRecord(0)->GetNote(u"en-US"), u"n");
  EXPECT_EQ(rep->GetRecord(1)->GetString(u"fr-FR"), u"Bonjour");
  Add(u"Bye", u"Tschüss");
  QEMRepositorySave();
  const std::string saved = qemtest::ReadTextFile(Dir.Path() / "other.tmx");
  for (const char* kept : {"o-tmf=\"x\"", "<prop type=\"p\">v</prop>", "usagecount=\"3\"",
                           "<ph x=\"1\"", "<note>n</note>", "Tschüss", "adminlang=\"EN-us\""})
    EXPECT_NE(saved.find(kept), std::string::npos) << kept;
  QEMRepositorySetFileName(Dir.U16("other.tmx"));
  EXPECT_EQ(Count(), 3);
  EXPECT_FALSE(QEMRepositoryModified());

  QEMINTOptionProps->RepositoryFormattedXML = true;
  QEMRepositorySaveAs(Dir.U16("formatted.tmx"));
  QEMINTOptionProps->RepositoryFormattedXML = false;
  EXPECT_NE(qemtest::ReadTextFile(Dir.Path() / "formatted.tmx").find("\n  <body>"),
            std::string::npos);
  QEMRepositorySetFileName(Dir.U16("formatted.tmx"));
  EXPECT_EQ(Get(u"Bye"), std::vector<std::u16string>{u"Tschüss"});
  EXPECT_EQ(Count(), 3);
}

TEST_F(RepositoryTest, FailuresLeaveFileAndStateIntact) {
  Add(u"One", u"Eins");
  Add(u"Two", u"Zwei");
  QEMRepositorySave();

  auto rep = std::static_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  for (const std::string& bad : {std::string("<tmx><body><tu>"), std::string("QRDM"),
                                 std::string("QRDM\x01\x00\x00\x06", 8) + std::string(472, '\0'),
                                 std::string("QRDM", 4) + std::string(20, '\0') +
                                     std::string("\x01\0\0\0\xff\xff\xff\x7f", 8) +
                                     std::string(452, '\0') + std::string("\x09\x04\0\0", 4)}) {
    qemtest::WriteTextFile(Dir.Path() / "bad.rps", bad);
    // The loader's reason follows the file's name.
    const std::string head =
        "Unable to load repository \"" + (Dir.Path() / "bad.rps").string() + "\": ";
    const std::string msg = Message([&] { rep->LoadFromFile(Dir.U16("bad.rps")); });
    EXPECT_TRUE(msg.starts_with(head) && msg.size() > head.size()) << msg;
    EXPECT_EQ(rep->RecCount(), 2);
    EXPECT_EQ(rep->FileName(), Dir.U16("rep.tmx"));
  }
}

TEST_F(RepositoryTest, LazyLoadNeverDropsRecordsAddedBefore) {
  Add(u"Old", u"Alt");
  QEMRepositorySave();
  auto rep = std::make_shared<TQEMRepository>();
  rep->SetFileName(Dir.U16("rep.tmx"));
  rep->AddRecord()->SetString(u"en-US", u"New");
  rep->Save();
  EXPECT_EQ(rep->RecCount(), 2);
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Get(u"Old"), std::vector<std::u16string>{u"Alt"});
}

TEST_F(RepositoryTest, LegacyForm) {
  std::string zero = "QRDM" + std::string("\0\0\0\x05", 4) + std::string(472, '\0');
  qemtest::WriteTextFile(Dir.Path() / "zero.rps", zero);
  QEMRepositorySetFileName(Dir.U16("zero.rps"));
  EXPECT_EQ(Count(), 0);

  Add(u"Line\r\nbreak", u"Zeile");
  Add(u"'quoted'", u"\"Zitat\"");
  QEMRepositoryAddString(u"Only", En, u"Seul", Fr, u"");
  QEMRepositorySave();
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "zero.rps").substr(0, 4), "QRDM");
  QEMRepositorySetFileName(Dir.U16("zero.rps"));
  auto rep = std::static_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  EXPECT_EQ(rep->Version(), QEMRepositoryLegacyVersion);
  EXPECT_EQ(Count(), 3);
  EXPECT_EQ(Get(u"Line\nbreak"), std::vector<std::u16string>{u"Zeile"});
  EXPECT_EQ(Get(u"'quoted'"), std::vector<std::u16string>{u"\"Zitat\""});
  EXPECT_EQ(Get(u"Only", Fr), std::vector<std::u16string>{u"Seul"});

  // What the legacy form cannot hold refuses the plain save and leaves the file alone.
  const std::string before = qemtest::ReadTextFile(Dir.Path() / "zero.rps");
  Add(u"Ctx", u"K", u"id");
  EXPECT_NE(Message([] { QEMRepositorySave(); }).find(".rps form"), std::string::npos);
  QEMRepositorySetFileName(Dir.U16("zero.rps"));
  Add(u"Greek", u"Ελληνικά");
  EXPECT_NE(Message([] { QEMRepositorySave(); }).find("code page 1252"), std::string::npos);
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "zero.rps"), before);
  QEMRepositorySaveAs(Dir.U16("as.tmx"));
  EXPECT_NE(qemtest::ReadTextFile(Dir.Path() / "as.tmx").find("Ελληνικά"), std::string::npos);
}

TEST_F(RepositoryTest, NotifierAndShutDownSave) {
  struct TCounter : IQEMRepositoryNotifier {
    int N = 0;
    void Changed() override { ++N; }
  };
  auto counter = std::make_shared<TCounter>();
  QEMRepositorySetNotifier(counter);
  QEMRepositoryBeginUpdate();
  Add(u"A", u"B");
  Add(u"C", u"D");
  QEMRepositoryEndUpdate();
  EXPECT_EQ(counter->N, 1);

  // A modified repository is saved at shut-down; a failure is reported, never swallowed.
  QEMNewRepositoryEngineFinalize();
  QEMNewRepositoryEngineInitialize();
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Get(u"C"), std::vector<std::u16string>{u"D"});
  QEMRepositorySetFileName(Dir.U16("no/such/dir/rep.tmx"));
  Add(u"E", u"F");
  std::u16string shown;
  ShowErrorFunc = [&](const std::u16string& Msg) { shown = Msg; };
  QEMNewRepositoryEngineFinalize();
  ShowErrorFunc = nullptr;
  QEMNewRepositoryEngineInitialize();
  EXPECT_EQ(shown.rfind(u"The translation repository \"" + Dir.U16("no/such/dir/rep.tmx") +
                            u"\" could not be saved",
                        0),
            0u);
}

class RepositoryServicesTest : public RepositoryTest {
protected:
  void SetUp() override {
    RepositoryTest::SetUp();
    S.Init();
    S.SetOrigLCID(En);
    S.SetXlatLCID(De);
    Add(u"Open", u"Öffnen");
    Add(u"Open", u"Aufmachen");
  }
  TQEMRepositoryServices S;
};

TEST_F(RepositoryServicesTest, AddCountsForEachDuplicateAction) {
  S.SetDuplicate(daSkip);
  S.SetTranslation(u"Open", u"Öffnen");
  S.SetTranslation(u"Open", u"Offen");
  S.SetTranslation(u"New", u"Neu");
  EXPECT_EQ(S.AddStatusText(), u"Added: 1, Replaced: 0, Skipped: 1; Existed: 1");
  S.Init();
  S.SetDuplicate(daAdd);
  S.SetTranslation(u"Open", u"Öffnen");
  S.SetTranslation(u"Open", u"Offen");
  S.SetDuplicate(daForceAdd);
  S.SetTranslation(u"Save", u"Sichern");
  S.SetDuplicate(daReplace);
  S.SetTranslation(u"Open", u"Neu öffnen");
  EXPECT_EQ(S.AddStatusText(), u"Added: 2, Replaced: 1, Skipped: 0; Existed: 1");
  EXPECT_EQ(Get(u"Open"), (std::vector<std::u16string>{u"Neu öffnen", u"Aufmachen", u"Offen"}));

  S.Init();
  S.SetDuplicate(daDisplayList);
  S.SetTranslation(u"Open", u"Z"); // nobody to ask: skipped
  std::vector<std::pair<TQEMAddDialogResult, int>> answers{{TQEMAddDialogResult::adReplace, 1},
                                                           {TQEMAddDialogResult::adAdd, 0},
                                                           {TQEMAddDialogResult::adCancel, 0}};
  size_t next = 0;
  S.SetDialogs({[&](const TQEMRepositoryServices&, TQEMAddDialogResult& C, int& Sel) {
                  std::tie(C, Sel) = answers.at(next++);
                  return true;
                },
                nullptr});
  S.SetTranslation(u"Open", u"Y");
  S.SetTranslation(u"Open", u"X");
  S.SetTranslation(u"Open", u"W");
  S.SetTranslation(u"Open", u"V"); // after cancel: ignored
  EXPECT_TRUE(S.UserCanceled());
  EXPECT_EQ(S.AddStatusText(), u"Canceled, Added: 1, Replaced: 1, Skipped: 1; Existed: 0");
  EXPECT_EQ(Get(u"Open"), (std::vector<std::u16string>{u"Neu öffnen", u"Y", u"Offen", u"X"}));
}

TEST_F(RepositoryServicesTest, GetCountsSeedAndLineBreaks) {
  Add(u"Two\nlines", u"Zwei\nZeilen");
  Add(u"Same", u"Same");
  std::u16string r;
  S.GetTranslation(u"Two\r\nlines", r);
  EXPECT_EQ(r, u"Zwei\r\nZeilen");
  S.GetTranslation(u"Same", r);
  EXPECT_FALSE(S.FromRepository());
  EXPECT_TRUE(S.FoundInRepository());
  S.SetSeed(u"seed");
  S.GetTranslation(u"Unknown", r);
  EXPECT_EQ(r, u"seed");
  S.SetMultipleFind(mfaSkip);
  S.GetTranslation(u"Open", r);
  S.SetMultipleFind(mfaUseFirst);
  S.GetTranslation(u"Open", r);
  EXPECT_EQ(r, u"Öffnen");
  S.SetMultipleFind(mfaDisplayList);
  S.GetTranslation(u"Open", r); // nobody to ask: skipped
  EXPECT_EQ(S.GetStatusText(), u"Pulled: 2, Skipped: 2");
  S.SetDialogs({nullptr, [](TQEMRepositoryServices&, TQEMGetDialogResult& C, int& Sel) {
                  C = Sel == 0 ? TQEMGetDialogResult::gdCancel : TQEMGetDialogResult::gdOK;
                  return true;
                }});
  S.GetTranslation(u"Open", r);
  S.GetTranslation(u"Two\r\nlines", r);
  EXPECT_EQ(r, u"Two\r\nlines");
  EXPECT_EQ(S.GetStatusText(), u"Canceled, Pulled: 2, Skipped: 2");
}

} // namespace

// The TMX DTD wants a tuv's notes before its seg; a note added to an existing text goes there.
TEST(RepositoryNotes, ANoteGoesBeforeTheSeg) {
  qemtest::TTempDir dir;
  auto rep = std::make_shared<TQEMRepository>();
  rep->Reset(dir.U16("notes.tmx"));
  const auto rec = rep->AddRecord();
  rec->SetString(u"en-US", u"Open");
  rec->SetNote(u"en-US", u"menu item");
  rec->SetNote(u"en-US", u"File menu item");
  rep->Save();
  const std::string text = qemtest::ReadTextFile(dir.Path() / "notes.tmx");
  EXPECT_NE(text.find("<tuv xml:lang=\"en-US\"><note>File menu item</note><seg>Open</seg></tuv>"),
            std::string::npos)
      << text;
  auto again = std::make_shared<TQEMRepository>();
  again->LoadFromFile(dir.U16("notes.tmx"));
  EXPECT_EQ(again->GetRecord(0)->GetNote(u"en-US"), u"File menu item");
  EXPECT_EQ(again->GetRecord(0)->GetString(u"en-US"), u"Open");
}
