// What an unattended run is told to write never lands on what the run works on.
#include <gtest/gtest.h>

#include <map>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"
#include "workspace/QEMWorkspace.h"

namespace {

using qemtest::ReadTextFile;
using qemtest::WriteTextFile;

void UseTestPackage() {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
  reg.WriteInteger(u"TranslatorCount", 1);
  reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
}

struct TRunProject {
  qemtest::TTempDir Dir;
  std::u16string Hlx;
  explicit TRunProject(const std::string& Languages) {
    WriteTextFile(Dir.Path() / "src/a.lines", "title = \"Hello\"\n");
    Hlx = Dir.U16("Demo.hlx");
    WriteTextFile(Dir.Path() / "Demo.hlx", "[Environment]\nLCID=$00000409\n\n[Extensions]\n" +
                                               Languages + "\n[Files]\n1=src/a.lines\n");
  }
  int Run(std::vector<std::u16string> Args, std::vector<std::u16string>* Errors = nullptr) {
    TQEMWorkspace w;
    if (Errors) w.OnBatchError = [Errors](const std::u16string& S) { Errors->push_back(S); };
    Args.insert(Args.begin(), {u"-I", Hlx});
    return w.ExecuteCmdLine(Args);
  }
};

TEST(WorkspaceRunInputTest, OutputOnAFileOfTheRunIsRefusedAndTheFileKept) {
  UseTestPackage();
  TRunProject p("1=DEU,$00000407,de\n");
  ASSERT_EQ(p.Run({}), 0);
  ASSERT_TRUE(FileExists(p.Dir.U16("de/src/a.lines.xlf")));
  for (const char* name :
       {"Demo.hlx", "src/a.lines", "de/src/a.lines", "de/src/a.lines.xlf", "src/../Demo.hlx"}) {
    std::map<std::string, std::string> before;
    for (const char* f : {"Demo.hlx", "src/a.lines", "de/src/a.lines", "de/src/a.lines.xlf"})
      before[f] = ReadTextFile(p.Dir.Path() / f);
    std::vector<std::u16string> errors;
    const std::u16string out = p.Dir.U16(name);
    EXPECT_EQ(p.Run({u"-O", out}, &errors), 1) << name;
    ASSERT_EQ(errors.size(), 1u) << name;
    EXPECT_NE(errors[0].find(Format(SCmdOutputIsRunFile, out)), std::u16string::npos)
        << UTF16ToUTF8(errors[0]);
    for (const auto& [f, text] : before)
      EXPECT_EQ(ReadTextFile(p.Dir.Path() / f), text) << name;
  }
  // Any other name gets the statistics.
  EXPECT_EQ(p.Run({u"-O", p.Dir.U16("stats.json")}), 0);
  EXPECT_NE(ReadTextFile(p.Dir.Path() / "stats.json").find("\"projects\""), std::string::npos);
}

TEST(WorkspaceRunInputTest, LanguagesSharingATranslationFolderAreRefusedBeforeWriting) {
  UseTestPackage();
  TRunProject p("1=DEU,$00000407,out\n2=FRA,$0000040C,./out/\n3=ITA,$00000410,it\n");
  std::vector<std::u16string> errors;
  EXPECT_EQ(p.Run({}, &errors), 1);
  ASSERT_EQ(errors.size(), 1u);
  const std::u16string& e = errors[0];
  EXPECT_EQ(e.find(Format(SXlatDirShared, LCIDToLangName(0x0407), LCIDToLangName(0x040C), u"")
                       .substr(0, 20)),
            0u)
      << UTF16ToUTF8(e);
  EXPECT_NE(e.find(LCIDToLangName(0x040C)), std::u16string::npos) << UTF16ToUTF8(e);
  EXPECT_NE(e.find(u"/out"), std::u16string::npos) << UTF16ToUTF8(e);
  EXPECT_FALSE(FileExists(p.Dir.U16("out/src/a.lines")));
  EXPECT_FALSE(FileExists(p.Dir.U16("out/src/a.lines.xlf")));
  // The language with a folder of its own is translated as usual.
  EXPECT_TRUE(FileExists(p.Dir.U16("it/src/a.lines.xlf")));
}

} // namespace
