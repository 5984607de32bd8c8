// The TMX switches of the command line and the steps they run over the process-wide memory.
#include <gtest/gtest.h>

#include "platform/QEMFormat.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"
#include "workspace/CommandLineRefusal.h"
#include "workspace/QEMCommandLine.h"
#include "workspace/QEMWorkspaceTmx.h"

namespace {

TEST(CommandLineTmx, SwitchesMakeAnUnattendedRunWithFullNames) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "in.tmx", "<tmx/>");
  THlxCommandLine c;
  c.ParseCmdLine({u"--IMPORT-TMX=" + dir.U16("in.tmx"), u"--export-tmx", u"out.tmx"});
  EXPECT_TRUE(c.BatchMode()); // never the desktop window
  EXPECT_TRUE(c.TmxRun());
  EXPECT_EQ(c.Mode(), ecmNone);
  EXPECT_EQ(c.ImportTmxFileName(), dir.U16("in.tmx"));
  EXPECT_TRUE(c.ExportTmxFileName().starts_with(u"/") &&
              c.ExportTmxFileName().ends_with(u"/out.tmx"));
  EXPECT_NO_THROW(c.CheckNamedFiles());
  c.ParseCmdLine({u"-I", u"p.hlx"});
  EXPECT_FALSE(c.TmxRun());
  const auto usage = [](std::u16string_view Why) { return Format(SHlxTryHelp, Why); };
  EXPECT_EQ(Refusal({u"--import-tmx", dir.U16("gone.tmx")}),
            Format(SFileNotFound, dir.U16("gone.tmx")));
  EXPECT_EQ(Refusal({u"--export-tmx="}), usage(Format(SHlxMissingValue, u"--export-tmx")));
}

// Saved at once, so a failure to save is the step's and counts in the run, not one at exit.
TEST(CommandLineTmx, AnImportIsSavedAtOnce) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "mem.tmx",
                         "<tmx version=\"1.4\"><header srclang=\"en-US\"/><body/></tmx>");
  qemtest::WriteTextFile(
      dir.Path() / "in.tmx",
      "<tmx version=\"1.4\"><header srclang=\"en\"/><body><tu><tuv xml:lang=\"en\">"
      "<seg>File</seg></tuv><tuv xml:lang=\"de\"><seg>Datei</seg></tuv></tu>"
      "</body></tmx>");
  QEMRepositorySetFileName(dir.U16("mem.tmx"));
  std::vector<std::u16string> said, errors;
  const TQEMTmxReport summary = [&](const std::u16string& S) { said.push_back(S); };
  const TQEMTmxReport error = [&](const std::u16string& S) { errors.push_back(S); };
  QEMRunTmxImport(dir.U16("in.tmx"), summary, error);
  ASSERT_EQ(said, std::vector<std::u16string>{Format(STmxImported, dir.U16("in.tmx"), 1, 0, 0)});
  EXPECT_FALSE(QEMRepositoryModified()); // saved at once
  EXPECT_NE(qemtest::ReadTextFile(dir.Path() / "mem.tmx").find("Datei"), std::string::npos);
  EXPECT_TRUE(errors.empty());
  QEMRepositorySetFileName(u"");
}

} // namespace
