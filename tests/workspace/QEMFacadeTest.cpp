// The hlx facade: an update run narrowed to some languages, its refusals and report, and the
// items of a translated file read with their history.
#include "hlx.h"

#include <gtest/gtest.h>

#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "platform/QEMRegistry.h"
#include "support/TestSupport.h"
#include "translator/QEMPackages.h"
#include "workspace/QEMCommandLine.h"

namespace {

using qemtest::TTempDir;
using qemtest::WriteTextFile;

// A project of the line-format test package with a German and a French target.
struct TTwoLanguages {
  TTempDir Dir;
  std::u16string Hlx;
  TTwoLanguages() {
    TRegistry reg;
    EXPECT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    reg.WriteInteger(u"TranslatorCount", 1);
    reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
    WriteTextFile(Dir.Path() / "src/a.lines",
                  "title = \"Hello\"\nbye = \"Good bye\"\nok = \"OK\"\n");
    Hlx = Dir.U16("Demo.hlx");
    WriteTextFile(Dir.Path() / "Demo.hlx", "[Environment]\nLCID=$00000409\n\n[Extensions]\n"
                                           "1=DEU,$00000407,de\n2=FRA,$0000040C,fr\n\n"
                                           "[Files]\n1=src/a.lines\n");
  }
  hlx::RunOptions Options(std::vector<std::u16string> Languages) const {
    hlx::RunOptions o;
    o.Project = Hlx;
    o.Languages = std::move(Languages);
    return o;
  }
};

TEST(FacadeTest, ARunOverSomeLanguagesLeavesTheOthersAlone) {
  TTwoLanguages p;
  hlx::RunOptions o = p.Options({u"fr-FR"});
  std::u16string summaryAtEnd;
  o.OnRunEnd = [&](const hlx::RunReport& R) {
    summaryAtEnd = R.Summary;
    return std::u16string();
  };
  hlx::RunReport r = hlx::Run(o);
  EXPECT_EQ(r.ExitCode, 0) << UTF16ToUTF8(r.Outcome.Description());
  EXPECT_TRUE(r.Outcome);
  EXPECT_FALSE(summaryAtEnd.empty());
  ASSERT_EQ(r.Files.size(), 1u);
  EXPECT_EQ(r.Files[0].Locale, LCID(0x040C));
  EXPECT_EQ(r.Files[0].Items.NewCount, 3);
  EXPECT_TRUE(FileExists(p.Dir.U16("fr/src/a.lines")));
  EXPECT_FALSE(FileExists(p.Dir.U16("de/src/a.lines")));

  // A language the project does not have is an error of the run, and nothing is translated.
  r = hlx::Run(p.Options({u"es-ES"}));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Outcome.Status, hlx::Status::RunErrors);
  EXPECT_NE(r.Outcome.Message.find(u"es-ES"), std::u16string::npos);
  EXPECT_FALSE(FileExists(p.Dir.U16("de/src/a.lines")));

  // What the host could not show at the end counts as an error of the run and is logged.
  o.OnRunEnd = [](const hlx::RunReport&) { return std::u16string(u"summary lost"); };
  r = hlx::Run(o);
  EXPECT_EQ(r.ExitCode, 1);
  ASSERT_EQ(r.ErrorMessages.size(), 1u);
  EXPECT_EQ(r.ErrorMessages[0], u"summary lost");
  EXPECT_EQ(r.Errors, 1);
}

TEST(FacadeTest, RefusedOptionsWriteNothing) {
  TTwoLanguages p;
  hlx::RunReport r = hlx::Run(p.Options({u"not a tag"}));
  EXPECT_EQ(r.ExitCode, THlxCommandLine::UsageExitCode);
  EXPECT_EQ(r.Outcome.Status, hlx::Status::UsageError);
  EXPECT_NE(r.Outcome.Message.find(u"not a tag"), std::u16string::npos);

  hlx::RunOptions missing = p.Options({});
  missing.Project = p.Dir.U16("none.hlx");
  r = hlx::Run(missing);
  EXPECT_EQ(r.ExitCode, THlxCommandLine::UsageExitCode);
  EXPECT_EQ(r.Outcome.Status, hlx::Status::FileNotFound);
  EXPECT_EQ(r.Outcome.File, missing.Project);

  // Without a project the run says what is missing, as hlx -I does.
  r = hlx::Run(hlx::RunOptions());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Outcome.Status, hlx::Status::RunErrors);
  EXPECT_FALSE(r.Outcome.Message.empty());
  EXPECT_FALSE(FileExists(p.Dir.U16("log.txt")));
  EXPECT_FALSE(FileExists(p.Dir.U16("de")));
}

TEST(FacadeTest, ItemsComeWithTheirHistory) {
  TTwoLanguages p;
  ASSERT_EQ(hlx::Run(p.Options({u"de-DE"})).ExitCode, 0);
  TQEMPackageManager packages;
  ASSERT_TRUE(packages.ProcessLoadTranslator(UTF8ToUTF16(HLX_TEST_PACKAGE)));
  const std::u16string de = p.Dir.U16("de/src/a.lines");
  {
    IQEMNotesFilePtr notes;
    ASSERT_TRUE(hlx::OpenNotes(de, notes));
    const auto items = notes->GetItems();
    ASSERT_EQ(items->Count(), 3);
    items->Get(0)->AddPrev(u"Hi", u"Hallo", u"1.0");
    items->Get(0)->AddPrev(u"Hey", u"He", u"1.1");
    items->Get(2)->AddPrev(u"Okay", u"Gut", u"1.0");
    items->Get(1)->SetComment(u"the last words");
    notes->Save();
  }
  hlx::ItemList read;
  ASSERT_TRUE(hlx::ReadItems(de, read));
  const hlx::ItemList list = std::move(read); // the spans survive a move
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.TranslationLanguage(), LCID(0x0407));
  EXPECT_EQ(list[0].Id, u"title");
  EXPECT_EQ(list[0].Original, u"Hello");
  EXPECT_EQ(list[0].Status, rsUnTranslated);
  ASSERT_EQ(list[0].History.size(), 2u);
  EXPECT_EQ(list[0].History[0].Original, u"Hey"); // the newest first
  EXPECT_EQ(list[0].History[1].Translation, u"Hallo");
  EXPECT_EQ(list[1].Comment, u"the last words");
  EXPECT_TRUE(list[1].History.empty());
  ASSERT_EQ(list[2].History.size(), 1u);
  EXPECT_EQ(list[2].History[0].Translation, u"Gut");
  EXPECT_EQ(list[2].History[0].Tag, u"1.0");

  // Each refusal names the file it is about.
  hlx::ItemList none;
  hlx::Result r = hlx::ReadItems(p.Dir.U16("fr/src/a.lines"), none);
  EXPECT_EQ(r.Status, hlx::Status::FileNotFound);
  EXPECT_EQ(r.File, p.Dir.U16("fr/src/a.lines.xlf"));
  EXPECT_EQ(hlx::ReadItems(p.Dir.U16("src/a.unknown"), none).Status, hlx::Status::NoFileType);
  WriteTextFile(p.Dir.Path() / "de/src/a.lines.xlf", "<xliff version=\"1.2\"><file");
  r = hlx::ReadItems(de, none);
  EXPECT_EQ(r.Status, hlx::Status::BadFile);
  EXPECT_EQ(r.File, de + u".xlf");
  EXPECT_TRUE(none.empty());
}

TEST(FacadeTest, ResultsSayWhereTheyFailed) {
  const std::u16string file = u"/p/greetings.kv";
  hlx::Result r =
      hlx::Result::FromException(EQEMError(file + u"(12): \"key = text\" expected"), file);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.Status, hlx::Status::Failed);
  EXPECT_EQ(r.Line, 12);
  EXPECT_EQ(r.Description(), r.Message); // it names the file already
  // Only a line right after the file's name counts.
  EXPECT_EQ(hlx::Result::FromException(EQEMError(file + u"(x): y"), file).Line, 0);
  EXPECT_EQ(hlx::Result::FromException(EQEMError(u"a(3): b"), file).Line, 0);
  EXPECT_EQ(hlx::Result::FromException(EQEMNotesError(u"bad"), file).Status, hlx::Status::BadFile);
  EXPECT_EQ(hlx::Result::FromException(EHLXException(u"bad"), file).Status,
            hlx::Status::UsageError);

  r = hlx::Result::Fail(hlx::Status::BadFile, u"broken", file, 3);
  EXPECT_EQ(r.Description(), file + u"(3): broken");
  r.Line = 0;
  EXPECT_EQ(r.Description(), file + u": broken");
  EXPECT_TRUE(hlx::Result());
}

} // namespace
