// An unattended run over the bundled example with a repository file that cannot be read.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "workspace/QEMWorkspace.h"

namespace fs = std::filesystem;

namespace {

// The engine as hlx starts it: the option names the file, which is read when first needed.
void StartRepository(const std::u16string& FileName) {
  QEMNewRepositoryEngineFinalize();
  const std::u16string saved = QEMINTOptionProps->RepositoryFilename;
  QEMINTOptionProps->RepositoryFilename = FileName;
  QEMNewRepositoryEngineInitialize();
  QEMINTOptionProps->RepositoryFilename = saved;
}

TEST(RepositoryRunTest, ADamagedRepositoryIsOneErrorAndTheRunGoesOn) {
  qemtest::TTempDir dir;
  fs::copy(HLX_EXAMPLE_DIR, dir.Path(), fs::copy_options::recursive);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    reg.WriteInteger(u"TranslatorCount", 0);
  }
  const std::string tmx = qemtest::ReadTextFile(dir.Path() / "demo.tmx");
  const std::string damaged = tmx.substr(0, tmx.size() / 2);
  qemtest::WriteTextFile(dir.Path() / "demo.tmx", damaged);
  QEMINTOptionProps->AutomaticallyQueryRepository = true;
  StartRepository(dir.U16("demo.tmx"));
  {
    TQEMWorkspace w;
    EXPECT_EQ(w.ExecuteCmdLine({u"-I", dir.U16("demo.hlx")}), 1);
    EXPECT_GT(w.LastStats().NewCount, 100);
  }
  const std::string log = qemtest::ReadTextFile(dir.Path() / "log.txt");
  size_t errors = 0;
  for (size_t at = log.find("\n** "); at != std::string::npos; at = log.find("\n** ", at + 1))
    ++errors;
  EXPECT_EQ(errors, 1u) << log;
  const std::string head = UTF16ToUTF8(Format(SRepUnableLoad, dir.U16("demo.tmx")));
  EXPECT_NE(log.find("** " + head), std::string::npos) << log;
  // Every file is translated as far as it goes without the memory: its strings untranslated.
  for (const char* lang : {"de", "fr", "ja"})
    for (const char* f :
         {"MainForm.ofm", "ContactForm.ofm", "AboutBox.ofm", "Strings.orc", "Resources.rc"}) {
      const fs::path xlat = dir.Path() / lang / "src" / f;
      EXPECT_TRUE(fs::exists(xlat) && fs::exists(xlat.string() + ".xlf")) << xlat;
    }
  const std::string main = qemtest::ReadTextFile(dir.Path() / "de/src/MainForm.ofm");
  EXPECT_EQ(main.find("'&Datei'"), std::string::npos);
  EXPECT_NE(main.find("Caption = '&File'"), std::string::npos);
  EXPECT_EQ(qemtest::ReadTextFile(dir.Path() / "demo.tmx"), damaged);
  StartRepository(u"");
  QEMRepositorySetFileName(u"");
}

} // namespace
