// The bundled example, updated end to end by the default packages as built.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/QEMStrs.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"
#include "workspace/QEMWorkspace.h"

namespace fs = std::filesystem;

namespace {

TEST(ExampleTest, UpdatesEndToEndAndASecondRunChangesNothing) {
  qemtest::TTempDir dir;
  fs::copy(HLX_EXAMPLE_DIR, dir.Path(), fs::copy_options::recursive);
  {
    // The default packages next to the test binary, as hlx finds its own.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    reg.WriteInteger(u"TranslatorCount", 0);
  }
  QEMRepositorySetFileName(dir.U16("demo.tmx"));
  const std::u16string project = dir.U16("demo.hlx");
  {
    TQEMWorkspace w;
    EXPECT_EQ(w.ExecuteCmdLine({u"-I", project}), 0)
        << qemtest::ReadTextFile(dir.Path() / "log.txt");
    EXPECT_EQ(w.LastStats().LangCount, 3);
    EXPECT_GT(w.LastStats().NewCount, 100);
  }
  const fs::path de = dir.Path() / "de/src";
  // The memory's translations are in; everything else is the source.
  const std::string main = qemtest::ReadTextFile(de / "MainForm.ofm");
  EXPECT_NE(main.find("Caption = '&Datei'"), std::string::npos);
  EXPECT_NE(main.find("Caption = 'Adressbuch'"), std::string::npos);
  EXPECT_NE(qemtest::ReadTextFile(de / "AboutBox.ofm").find("'people you know.'"),
            std::string::npos);
  const std::string ja = qemtest::ReadTextFile(dir.Path() / "ja/src/Resources.rc");
  EXPECT_NE(ja.find("#pragma code_page(932)"), std::string::npos);
  EXPECT_NE(ja.find("LANGUAGE 0x11, 0x01"), std::string::npos);
  EXPECT_NE(qemtest::ReadTextFile(dir.Path() / "fr/src/Strings.orc").find("%d contacts trouv"),
            std::string::npos);

  const auto stamp = fs::last_write_time(de / "Strings.orc.xlf");
  TQEMWorkspace again;
  EXPECT_EQ(again.ExecuteCmdLine({u"-I", project}), 0);
  EXPECT_EQ(again.LastStats().NewCount, 0);
  EXPECT_EQ(again.LastStats().ChangedCount, 0);
  EXPECT_EQ(fs::last_write_time(de / "Strings.orc.xlf"), stamp);
  QEMRepositorySetFileName(u"");
}

} // namespace
