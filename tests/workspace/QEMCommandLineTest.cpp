// The command line of unattended runs: what it accepts, what it refuses, and the per-file
// report a run leaves for build servers.
#include "workspace/QEMCommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "workspace/QEMWorkspace.h"

namespace {

using qemtest::ReadTextFile;
using qemtest::TTempDir;
using qemtest::WriteTextFile;

std::u16string UsageText(std::u16string_view Why) {
  return Format(SHlxTryHelp, Why);
}

// The message of the usage error Args raise; empty when they parse.
std::u16string Refusal(const std::vector<std::u16string>& Args) {
  THlxCommandLine c;
  try {
    c.ParseCmdLine(Args);
  } catch (const EHLXException& e) {
    return e.Message();
  }
  return u"";
}

TEST(CommandLineTest, SwitchesIgnoreCaseAndTakeTheirValueEitherWay) {
  THlxCommandLine c;
  c.ParseCmdLine({u"-i", u"--LOG=/tmp/x/run.log", u"--Output", u"stats.json", u"--QUIET", u"--json",
                  u"-t", u"--nomerge", u"/Tmp/Mixed/First.hlx"});
  EXPECT_EQ(c.Mode(), ecmIntegration);
  EXPECT_TRUE(c.BatchMode());
  EXPECT_EQ(c.FileName(), u"/Tmp/Mixed/First.hlx"); // file names keep their case
  EXPECT_EQ(c.LogFileName(), u"/tmp/x/run.log");
  EXPECT_EQ(c.OutputFileName(), u"stats.json");
  EXPECT_TRUE(c.OutputGiven());
  EXPECT_FALSE(c.OutputToStdout());
  EXPECT_TRUE(c.Quiet());
  EXPECT_TRUE(c.Json());

  // Defaults beside the project; a value is taken even when it looks like a switch.
  THlxCommandLine e;
  e.ParseCmdLine({u"-E", u"-l", u"-x.log", u"/p/Demo.hlx", u"-O", u"-"});
  EXPECT_EQ(e.Mode(), ecmEggInteg);
  EXPECT_EQ(e.LogFileName(), u"-x.log");
  EXPECT_TRUE(e.OutputToStdout());
  THlxCommandLine joined;
  joined.ParseCmdLine({u"-I", u"-o=-", u"-Lrun.log"});
  EXPECT_TRUE(joined.OutputToStdout());
  EXPECT_EQ(joined.LogFileName(), u"run.log");
  THlxCommandLine d;
  d.ParseCmdLine({u"/p/Demo.hlx", u"--repository=rel/mem.tmx"});
  EXPECT_FALSE(d.BatchMode());
  EXPECT_EQ(d.LogFileName(), u"/p/log.txt");
  EXPECT_EQ(d.OutputFileName(), u"/p/out.txt");
  EXPECT_FALSE(d.OutputGiven());
  EXPECT_EQ(d.RepositoryFileName(),
            UTF8ToUTF16((std::filesystem::current_path() / "rel/mem.tmx").string()));

  for (const auto& help : {u"--help", u"-H", u"-?", u"--HELP"}) {
    THlxCommandLine h;
    h.ParseCmdLine({u"-I", help, u"--whatever"});
    EXPECT_TRUE(h.HelpAsked()) << UTF16ToUTF8(help);
  }
}

// Every parse starts from nothing, whatever the parses before it on the thread took or refused.
TEST(CommandLineTest, AParseKeepsNothingOfTheOnesBefore) {
  THlxCommandLine first;
  first.ParseCmdLine({u"-E", u"--log", u"/a/run.log", u"-O", u"-", u"--quiet", u"--json",
                      u"--repository", u"/a/mem.tmx", u"--warnings", u"/a/A.hlx"});
  EXPECT_TRUE(first.Quiet());
  EXPECT_EQ(Refusal({u"-I", u"--quiet", u"--bogus", u"/b/B.hlx"}),
            UsageText(Format(SHlxUnknownSwitch, u"--bogus")));
  EXPECT_EQ(Refusal({u"--export", u"/x", u"--language", u"de", u"--file", u"f.rc", u"/a/A.hlx"}),
            u"");
  const auto expectPlainRun = [](THlxCommandLine& C) {
    C.ParseCmdLine({u"-I", u"/b/B.hlx"});
    EXPECT_EQ(C.Mode(), ecmIntegration);
    EXPECT_EQ(C.FileName(), u"/b/B.hlx");
    EXPECT_EQ(C.LogFileName(), u"/b/log.txt");
    EXPECT_EQ(C.OutputFileName(), u"/b/out.txt");
    EXPECT_FALSE(C.OutputGiven());
    EXPECT_FALSE(C.Quiet() || C.Json() || C.ListWarnings() || C.HelpAsked());
    EXPECT_EQ(C.RepositoryFileName(), u"");
    EXPECT_EQ(C.ExchangeRun(), THlxExchangeRun::erNone);
    EXPECT_TRUE(C.ExportLanguages().empty());
    EXPECT_TRUE(C.ExportFiles().empty());
  };
  expectPlainRun(first);
  THlxCommandLine fresh;
  expectPlainRun(fresh);
  THlxCommandLine gui;
  gui.ParseCmdLine({});
  EXPECT_FALSE(gui.BatchMode());
  EXPECT_EQ(gui.FileName(), u"");
  EXPECT_EQ(gui.LogFileName(), u"");
}

TEST(CommandLineTest, UsageErrorsNameTheirCause) {
  EXPECT_EQ(Refusal({u"---x"}), UsageText(Format(SHlxUnknownSwitch, u"---x")));
  EXPECT_EQ(Refusal({u"-I", u"--OUTPUT"}), UsageText(Format(SHlxMissingValue, u"--OUTPUT")));
  EXPECT_EQ(Refusal({u"--log=", u"-I"}), UsageText(Format(SHlxMissingValue, u"--log")));
  EXPECT_EQ(Refusal({u"-I", u"-O="}), UsageText(Format(SHlxMissingValue, u"-O")));
  EXPECT_EQ(Refusal({u"--repository", u""}), UsageText(Format(SHlxMissingValue, u"--repository")));
  EXPECT_EQ(Refusal({u"a.hlx", u"-I", u"b.hlx"}),
            UsageText(Format(SHlxTwoProjects, u"a.hlx", u"b.hlx")));
  EXPECT_EQ(Refusal({}), u"");

  THlxCommandLine c;
  for (int i = 0; i < 300; ++i)
    c.CountError();
  EXPECT_EQ(c.ProcessExitCode(), THlxCommandLine::MaxErrorExitCode);
  EXPECT_LT(THlxCommandLine::MaxErrorExitCode, THlxCommandLine::UsageExitCode);
}

// A project of the line-format test package.
struct TLinesProject {
  TTempDir Dir;
  std::u16string Hlx;
  explicit TLinesProject(const std::string& Files) {
    TRegistry reg;
    EXPECT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    reg.WriteInteger(u"TranslatorCount", 1);
    reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
    WriteTextFile(Dir.Path() / "src/a.lines", "title = \"Hello\"\nbye = \"Good bye\"\n");
    Hlx = Dir.U16("Demo.hlx");
    WriteTextFile(Dir.Path() / "Demo.hlx",
                  "[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n\n[Files]\n" +
                      Files);
  }
};

TEST(CommandLineTest, TheReportGivesEachFileItsOutcome) {
  TLinesProject p("1=src/a.lines\n2=src/gone.lines\n");
  {
    TQEMWorkspace w;
    std::vector<std::u16string> errors;
    w.OnBatchError = [&](const std::u16string& S) { errors.push_back(S); };
    EXPECT_EQ(w.ExecuteCmdLine({u"-I", p.Hlx, u"-O", p.Dir.U16("out/stats.json")}), 1);
    ASSERT_EQ(errors.size(), 1u);
    const auto doc = nlohmann::json::parse(ReadTextFile(p.Dir.Path() / "out/stats.json"));
    EXPECT_EQ(doc["schemaVersion"], QEMRunReportSchemaVersion);
    const auto& summary = doc["summary"];
    EXPECT_EQ(summary["errors"], 1);
    EXPECT_EQ(summary["languages"], 1);
    EXPECT_EQ(summary["files"]["ok"], 1);
    EXPECT_EQ(summary["files"]["failed"], 1);
    EXPECT_EQ(summary["items"]["new"], 2);
    ASSERT_EQ(doc["files"].size(), 2u);
    for (const auto& f : doc["files"]) {
      EXPECT_EQ(f["language"]["lcid"], 0x0407);
      EXPECT_EQ(f["language"]["tag"], "de-DE");
      if (f["source"].get<std::string>().ends_with("gone.lines")) {
        // A file that failed is never reported as done.
        EXPECT_EQ(f["status"], "failed");
        EXPECT_EQ(f["message"], UTF16ToUTF8(errors[0]));
        EXPECT_TRUE(f["done"].is_null());
        EXPECT_TRUE(f["translated"].is_null());
      } else {
        EXPECT_EQ(f["status"], "ok");
        EXPECT_EQ(f["items"]["new"], 2);
        EXPECT_EQ(f["untranslated"], 2);
        EXPECT_EQ(f["done"], 0);
        EXPECT_EQ(f["file"], UTF16ToUTF8(p.Dir.U16("de/src/a.lines")));
      }
    }
  }
  // Unchanged sources are skipped, and the text form says so too.
  TQEMWorkspace again;
  EXPECT_EQ(again.ExecuteCmdLine({u"-I", p.Hlx, u"-O", p.Dir.U16("stats.txt")}), 1);
  const TQEMRunReport r = again.RunReport();
  ASSERT_EQ(r.Files.size(), 2u);
  EXPECT_EQ(r.Files[0].Status, TQEMFileStatus::fsSkippedUnchanged);
  EXPECT_EQ(r.Files[1].Status, TQEMFileStatus::fsFailed);
  const std::string text = ReadTextFile(p.Dir.Path() / "stats.txt");
  EXPECT_NE(text.find("\tskipped-unchanged\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\t<unknown>\t<unknown>\tfailed\n"), std::string::npos) << text;
}

TEST(CommandLineTest, TheRunsRepositoryFillsItemsAndLeavesTheOptionAlone) {
  TLinesProject p("1=src/a.lines\n");
  WriteTextFile(p.Dir.Path() / "mem.tmx",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\"><header "
                "srclang=\"en-US\" datatype=\"plaintext\" segtype=\"sentence\" adminlang=\"en-US\" "
                "o-tmf=\"hlx\" creationtool=\"t\" creationtoolversion=\"1\"/><body><tu>"
                "<tuv xml:lang=\"en-US\"><seg>Hello</seg></tuv><tuv xml:lang=\"de-DE\">"
                "<seg>Hallo</seg></tuv></tu></body></tmx>\n");
  const std::u16string option = QEMINTOptionProps->RepositoryFilename;
  TQEMWorkspace w;
  EXPECT_EQ(w.ExecuteCmdLine({u"-I", p.Hlx, u"--repository", p.Dir.U16("mem.tmx")}), 0);
  EXPECT_NE(ReadTextFile(p.Dir.Path() / "de/src/a.lines").find("Hallo"), std::string::npos);
  EXPECT_EQ(QEMINTOptionProps->RepositoryFilename, option);
  // The rest of the suite works with the option's repository again.
  QEMNewRepositoryEngineFinalize();
  QEMNewRepositoryEngineInitialize();
}

} // namespace
