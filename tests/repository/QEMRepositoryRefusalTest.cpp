// What the repository cannot keep is refused where it comes in, and a file it cannot read costs
// one error, never one per use, and is never saved over.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/QEMStrs.h"
#include "core/QEMUtils.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

constexpr LCID En = 0x0409, De = 0x0407;

std::vector<std::u16string> Get(const std::u16string& Orig) {
  TQEMWideStringList l;
  QEMRepositoryGetString(Orig, En, l, De, u"");
  std::vector<std::u16string> out;
  for (int i = 0; i < l.GetCount(); ++i)
    out.push_back(l.Get(i));
  return out;
}

std::u16string Raised(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const EQEMRepositoryError& E) {
    return E.Message();
  }
  return u"<nothing raised>";
}

class RepositoryRefusalTest : public ::testing::Test {
protected:
  void SetUp() override {
    Before = QEMSetUIServices(Ui);
    QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  }
  void TearDown() override {
    QEMRepositorySetFileName(u"");
    QEMSetUIServices(Before);
  }
  // The process-wide repository as a run starts it: the option names the file, read lazily.
  void StartRun(const std::u16string& FileName) {
    QEMNewRepositoryEngineFinalize();
    const std::u16string saved = QEMINTOptionProps->RepositoryFilename;
    QEMINTOptionProps->RepositoryFilename = FileName;
    QEMNewRepositoryEngineInitialize();
    QEMINTOptionProps->RepositoryFilename = saved;
  }
  qemtest::TTempDir Dir;
  std::shared_ptr<TQEMScriptedUIServices> Ui = std::make_shared<TQEMScriptedUIServices>();
  std::shared_ptr<IQEMUIServices> Before;
};

TEST_F(RepositoryRefusalTest, TextAFileCannotHoldIsRefusedAndLaterSavesSucceed) {
  ASSERT_TRUE(QEMRepositoryAddString(u"Open", En, u"Öffnen", De, u""));
  TQEMRepositoryAddResult r;
  std::u16string why;
  EXPECT_FALSE(QEMRepositoryAddString(u"Beep\x01", En, u"Piep", De, u"", &r, &why));
  EXPECT_EQ(r, TQEMRepositoryAddResult::arFailed);
  EXPECT_EQ(why, Format(SRepTextUnwritable, u"Beep\xFFFD", 1));
  // Every text of a pair counts: translation, context id, a lone surrogate, U+FFFF.
  EXPECT_FALSE(QEMRepositoryAddString(u"Beep", En, u"Piep\x1B", De, u"", nullptr, &why));
  EXPECT_NE(why.find(u"U+001B"), std::u16string::npos) << UTF16ToUTF8(why);
  EXPECT_FALSE(QEMRepositoryAddString(u"Beep", En, u"Piep", De, u"ctx\x02"));
  EXPECT_FALSE(
      QEMRepositoryForceAddString(u"Beep", En, std::u16string(1, char16_t(0xD800)), De, u""));
  EXPECT_FALSE(QEMRepositoryForceAddString(u"Beep", En, u"\xFFFF", De, u""));
  EXPECT_FALSE(QEMRepositoryReplaceString(u"Open", En, u"Öffnen", De, u"\x07", u"", &why));
  EXPECT_NE(why.find(u"U+0007"), std::u16string::npos);
  const auto rep = QEMRepositoryGetRepository();
  EXPECT_EQ(rep->RecCount(), 1);
  // Tabs, line breaks and characters beyond the BMP are text like any other.
  EXPECT_TRUE(
      QEMRepositoryAddString(u"Tab\there\r\n", En, u"Tab\tda \U0001F600", De, u"", nullptr, &why));
  EXPECT_TRUE(why.empty());
  // Direct edits raise instead, and leave the record as it was.
  EXPECT_EQ(Raised([&] { rep->GetRecord(0)->SetString(u"de-DE", u"A\x01"); }),
            Format(SRepTextUnwritable, u"A\xFFFD", 1));
  EXPECT_NE(Raised([&] { rep->GetRecord(0)->SetID(u"\x03"); }), u"<nothing raised>");
  EXPECT_NE(Raised([&] { rep->GetRecord(0)->SetNote(u"en-US", u"\x04"); }), u"<nothing raised>");
  EXPECT_EQ(rep->GetRecord(0)->GetString(u"de-DE"), u"Öffnen");

  QEMRepositorySave();
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Get(u"Open"), std::vector<std::u16string>{u"Öffnen"});
  EXPECT_EQ(Get(u"Tab\there\n"), std::vector<std::u16string>{u"Tab\tda \U0001F600"});
  EXPECT_EQ(QEMRepositoryGetRepository()->RecCount(), 2);
}

TEST_F(RepositoryRefusalTest, ServicesReportEachRefusalOnceAndCountNothing) {
  TQEMRepositoryServices s;
  s.Init();
  s.SetOrigLCID(En);
  s.SetXlatLCID(De);
  s.SetDuplicate(daAdd);
  s.SetTranslation(u"Beep\x01", u"Piep");
  s.SetTranslation(u"Beep\x01", u"Piep");
  s.SetDuplicate(daSkip);
  s.SetTranslation(u"Ring", u"Kling\x01");
  s.SetTranslation(u"Ring", u"Klingel");
  EXPECT_EQ(s.AddStatusText(), u"Added: 1, Replaced: 0, Skipped: 0; Existed: 0");
  ASSERT_EQ(Ui->Shown().size(), 2u);
  EXPECT_EQ(Ui->Shown()[0].Kind, TQEMScriptedUIServices::TKind::skError);
  EXPECT_EQ(Ui->Shown()[0].Text, Format(SRepTextUnwritable, u"Beep\xFFFD", 1));
  EXPECT_EQ(Ui->Shown()[1].Text, Format(SRepTextUnwritable, u"Kling\xFFFD", 1));
}

// Texts of the legacy form may hold control characters; written as TMX they name their record.
TEST_F(RepositoryRefusalTest, AFailedSaveNamesTheRecordAndKeepsEverything) {
  std::string rps = "QRDM" + std::string("\0\0\0\x05", 4) + std::string(16, '\0');
  rps += std::string("\x01\0\0\0\x02\0\0\0", 8) + std::string(448, '\0');
  rps += std::string("\x09\x04\0\0", 4);
  rps += std::string("\x02\0\0\0", 4) + "Ok" + std::string(2, '\0');
  rps += std::string("\x05\0\0\0", 4) +
         "Be\x01"
         "ep" +
         std::string(3, '\0');
  qemtest::WriteTextFile(Dir.Path() / "old.rps", rps);
  QEMRepositorySetFileName(Dir.U16("old.rps"));
  const auto rep = QEMRepositoryGetRepository();
  ASSERT_EQ(rep->RecCount(), 2);
  EXPECT_EQ(Raised([&] { QEMRepositorySaveAs(Dir.U16("new.tmx")); }),
            Format(SRepRecordUnwritable, Dir.U16("new.tmx"), 2,
                   u"Be\xFFFD"
                   u"ep",
                   1));
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "new.tmx"));
  EXPECT_EQ(rep->RecCount(), 2);
  EXPECT_EQ(rep->FileName(), Dir.U16("old.rps"));
  EXPECT_EQ(rep->GetRecord(1)->GetString(u"en-US"), u"Be\x01"
                                                    u"ep");
  QEMRepositorySave(); // its own form holds it
}

TEST_F(RepositoryRefusalTest, ADamagedFileIsReadOnceReportedOnceAndNeverSavedOver) {
  const std::string damaged = "<?xml version=\"1.0\"?><tmx version=\"1.4\"><body><tu>";
  qemtest::WriteTextFile(Dir.Path() / "bad.tmx", damaged);
  StartRun(Dir.U16("bad.tmx"));
  const std::u16string error = Raised([] { QEMRepositoryOpen(); });
  EXPECT_TRUE(error.starts_with(Format(SRepUnableLoad, Dir.U16("bad.tmx")))) << UTF16ToUTF8(error);

  // Mended now, the file is still not read again in this run.
  QEMRepositorySetFileName(Dir.U16("good.tmx"));
  QEMRepositoryAddString(u"Open", En, u"Öffnen", De, u"");
  QEMRepositorySave();
  std::filesystem::copy_file(Dir.Path() / "good.tmx", Dir.Path() / "later.tmx");
  StartRun(Dir.U16("bad.tmx"));
  EXPECT_NE(Raised([] { QEMRepositoryOpen(); }), u"<nothing raised>");
  std::filesystem::copy_file(Dir.Path() / "good.tmx", Dir.Path() / "bad.tmx",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(Raised([] { QEMRepositoryOpen(); }), u"<nothing raised>");
  EXPECT_TRUE(Get(u"Open").empty());

  std::u16string why;
  EXPECT_FALSE(QEMRepositoryAddString(u"New", En, u"Neu", De, u"", nullptr, &why));
  EXPECT_EQ(why, Format(SRepNotLoadedNotAdded, Dir.U16("bad.tmx")));
  EXPECT_EQ(Raised([] { QEMRepositorySave(); }), Format(SRepNotLoadedNotSaved, Dir.U16("bad.tmx")));
  // Browsing it would show an empty repository as if it were the file's.
  EXPECT_EQ(Raised([] { QEMRepositoryGetRepository(); }), error);
  QEMNewRepositoryEngineFinalize();
  QEMNewRepositoryEngineInitialize();
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "bad.tmx"),
            qemtest::ReadTextFile(Dir.Path() / "good.tmx"));

  // Choosing a file again reads it.
  QEMRepositorySetFileName(Dir.U16("later.tmx"));
  EXPECT_EQ(Get(u"Open"), std::vector<std::u16string>{u"Öffnen"});
  EXPECT_TRUE(QEMRepositoryAddString(u"New", En, u"Neu", De, u""));
}

} // namespace
