#include <gtest/gtest.h>

#include <memory>

#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMUIServices.h"
#include "support/TestSupport.h"

namespace {
// Restores the start-up state a test changes: program arguments (and so the mode caches), the
// binary directory, the error hook and the UI services.
class StartupTest : public ::testing::Test {
protected:
  void SetUp() override {
    FArgs = QEMProgramArgs();
    FBinDir = BinDir;
    FUI = std::make_shared<TQEMScriptedUIServices>();
    FOldUI = QEMSetUIServices(FUI);
  }
  void TearDown() override {
    QEMSetProgramArgs(FArgs);
    BinDir = FBinDir;
    ShowErrorFunc = nullptr;
    GlobalInOrrin = false;
    QEMSetUIServices(FOldUI);
  }
  static void WriteBase(const std::u16string& Name, const std::u16string& Value) {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(QEMBaseRegKey(), true));
    r.WriteString(Name, Value);
  }
  static void Args(std::vector<std::u16string> A) {
    A.insert(A.begin(), u"hlx");
    QEMSetProgramArgs(std::move(A));
  }
  std::vector<std::u16string> FArgs;
  std::u16string FBinDir;
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOldUI;
};
} // namespace

TEST_F(StartupTest, RunModeSwitchesInAnyCase) {
  for (auto sw : {u"-T", u"-t", u"--TRANSLATOR", u"--Translator", u"-E", u"-e"}) {
    Args({u"project.hlx", sw});
    EXPECT_TRUE(IsTranslatorMode()) << UTF16ToUTF8(sw);
    EXPECT_EQ(QEMBaseRegKey(), u"\\Software\\Wendroth\\HLX\\14.01");
  }
  Args({u"-I", u"--nomerge"});
  EXPECT_FALSE(IsTranslatorMode());
  EXPECT_TRUE(IsNoMergeMode());
  EXPECT_EQ(QEMBaseRegKey(), u"\\Software\\Wendroth\\HLX\\14.0");
  // The program's own name is not an argument.
  QEMSetProgramArgs({u"-T"});
  EXPECT_FALSE(IsTranslatorMode());
}

TEST_F(StartupTest, TheTwoBaseKeysKeepSettingsApart) {
  Args({});
  WriteBase(u"RootDir", u"/normal/root");
  Args({u"-T"});
  EXPECT_NE(RootDir(), u"/normal/root/");
  WriteBase(u"RootDir", u"$(HLX)/../translator");
  Args({u"-T"}); // the directories are read once per start
  BinDir = u"/opt/hlx/bin/";
  EXPECT_EQ(RootDir(), u"/opt/hlx/bin/../translator/");
  Args({});
  EXPECT_EQ(RootDir(), u"/normal/root/");
  TRegistry r;
  EXPECT_TRUE(r.DeleteKey(u"\\Software\\Wendroth\\HLX"));
}

TEST_F(StartupTest, DirectoriesDefaultBesideTheExecutable) {
  Args({});
  const std::u16string exeDir = ExtractFilePath(QEMExecutableFile());
  BinDir.clear();
  EXPECT_EQ(QEMBinDir(), exeDir);
  EXPECT_EQ(RootDir(), ExtractFilePath(ExcludeTrailingPathDelimiter(exeDir)));
  EXPECT_EQ(LibDir(), RootDir() + u"lib/obj/");
  GlobalInOrrin = true;
  Args({});
  EXPECT_EQ(LibDir(), RootDir() + u"lib/");
  WriteBase(u"LibDir", u"$(rqx)\\mylib");
  Args({});
  BinDir = u"/opt/hlx/bin/";
  EXPECT_EQ(LibDir(), u"/opt/hlx/mylib/");
  TRegistry r;
  r.DeleteKey(u"\\Software\\Wendroth\\HLX");
}

TEST_F(StartupTest, RootMacrosExpandIgnoringCaseAndCollapseOnlyBelowTheBinaryDirectory) {
  BinDir = u"/opt/hlx/bin/";
  EXPECT_EQ(QEMExpandRootMacro(u"$(hlx)\\ofm140.fpl"), u"/opt/hlx/bin/ofm140.fpl");
  EXPECT_EQ(QEMExpandRootMacro(u"$(RQX)\\lib"), u"/opt/hlx/lib");
  EXPECT_EQ(QEMExpandRootMacro(u"$(Orrin)\\lib"), u"/opt/hlx/lib");
  EXPECT_EQ(QEMExpandRootMacro(u"$(TMN)/a;$(tmn)/b"), u"/opt/hlx/a;/opt/hlx/b");
  EXPECT_EQ(QEMExpandRootMacro(u"/plain/path"), u"/plain/path");

  EXPECT_EQ(QEMCollapseRootMacro(u"/opt/hlx/bin/packages/x.fpl"), u"$(HLX)/packages/x.fpl");
  for (auto kept : {u"/opt/hlx/readme.txt", u"/opt/hlx/bin2/x.fpl", u"/opt/hlx/bin/../x.fpl",
                    u"relative/x.fpl"})
    EXPECT_EQ(QEMCollapseRootMacro(kept), kept);
  const std::u16string stored = QEMCollapseRootMacro(u"/opt/hlx/bin/rc140.fpl");
  BinDir = u"/elsewhere/bin/";
  EXPECT_EQ(QEMExpandRootMacro(stored), u"/elsewhere/bin/rc140.fpl");

  EXPECT_EQ(QEMIDEBinDir(u"/ide/APP/"), u"/ide/bin/");
  EXPECT_EQ(QEMIDEBinDir(u"/ide/tools/"), u"/ide/tools/");
  EXPECT_EQ(QEMIDEBinDir(u"app/"), u"app/");
}

// The base matches whole components (/src2 is not below /src); a result outside the
// translation directory, or the source itself, is refused.
TEST_F(StartupTest, XlatFileNamesInBothPathStylesNeverLeaveTheTranslationDirectory) {
  const char16_t* cases[][4] = {
      {u"/src/forms/main.ofm", u"/xlat/DEU", u"/src/", u"/xlat/DEU/forms/main.ofm"},
      {u"/other/a.ofm", u"/xlat/DEU", u"/src/", u"/xlat/DEU/other/a.ofm"},
      {u"/src/main.ofm", u"/xlat/DEU/", u"/src", u"/xlat/DEU/main.ofm"},
      {u"C:\\src\\forms\\main.ofm", u"C:\\xlat\\DEU", u"C:\\src\\", u"C:/xlat/DEU/forms/main.ofm"},
      {u"D:\\other\\a.ofm", u"C:\\xlat\\DEU", u"C:\\src\\", u"C:/xlat/DEU/D/other/a.ofm"},
      {u"\\\\server\\share\\a.ofm", u"/xlat", u"", u"/xlat/server/share/a.ofm"},
      {u"/src2/a.ofm", u"/xlat/DEU", u"/src", u"/xlat/DEU/src2/a.ofm"},
      {u"/src/../etc/x.ofm", u"/xlat/DEU", u"/src/", u"/xlat/DEU/etc/x.ofm"},
  };
  for (const auto& [src, dir, base, want] : cases)
    EXPECT_EQ(QEMXlatFileNameOf(src, dir, base), want) << UTF16ToUTF8(src);
  EXPECT_THROW(QEMXlatFileNameOf(u"../../x.ofm", u"/xlat/DEU", u"/src/"), EQEMError);
  EXPECT_THROW(QEMXlatFileNameOf(u"/src/a.ofm", u"/src", u"/src/"), EQEMError);
  EXPECT_THROW(QEMXlatFileNameOf(u"/src/a.ofm", u"/src/./", u"/src/"), EQEMError);
}

namespace {
// The rule written out step by step with the public path helpers: the library builds the same
// name with fewer copies.
std::u16string XlatNameAsDefined(const std::u16string& FileName, const std::u16string& XlatDir,
                                 const std::u16string& BaseDir) {
  const std::u16string file = QEMNormalizePath(FileName);
  std::u16string dir = ExtractFilePath(file);
  const std::u16string base =
      BaseDir.empty() ? u"" : IncludeTrailingPathDelimiter(QEMNormalizePath(BaseDir));
  std::u16string xlat = QEMNormalizePath(XlatDir);
  if (xlat.empty()) xlat = u".";
  if (!base.empty() && dir.compare(0, base.size(), base) == 0)
    dir.erase(0, base.size());
  else if (dir.size() >= 2 && dir[1] == u':')
    dir.erase(1, 1);
  else if (dir.size() >= 2 && dir[0] == u'/' && dir[1] == u'/')
    dir.erase(0, 2);
  if (dir.empty())
    dir = IncludeTrailingPathDelimiter(xlat);
  else if (dir[0] == u'/')
    dir = ExcludeTrailingPathDelimiter(xlat) + dir;
  else
    dir = IncludeTrailingPathDelimiter(xlat) + dir;
  const std::u16string result =
      QEMNormalizePath(IncludeTrailingPathDelimiter(dir) + ExtractFileName(file));
  const std::u16string root = IncludeTrailingPathDelimiter(xlat == u"/" ? u"" : xlat);
  if (xlat != u"." && result.compare(0, root.size(), root) != 0) return u"<outside>";
  if (xlat == u"." && (result.starts_with(u"../") || result == u"..")) return u"<outside>";
  if (result == file) return u"<source>";
  return result;
}

std::u16string XlatNameOrRefusal(const std::u16string& FileName, const std::u16string& XlatDir,
                                 const std::u16string& BaseDir) {
  try {
    return QEMXlatFileNameOf(FileName, XlatDir, BaseDir);
  } catch (const EQEMError& e) {
    return e.Message().find(u"outside") != std::u16string::npos ? u"<outside>" : u"<source>";
  }
}
} // namespace

TEST_F(StartupTest, XlatFileNamesFollowTheirRuleForAnyMixOfPaths) {
  const std::u16string files[] = {u"a.ofm",      u"/a.ofm",      u"/s/a.ofm",     u"s/a.ofm",
                                  u"/s/t/a.ofm", u"//h/s/a.ofm", u"C:\\s\\a.ofm", u"C:a.ofm",
                                  u"../s/a.ofm", u"/s/../a.ofm", u"./a.ofm",      u"/x/a.ofm",
                                  u"/x/s/a.ofm", u"x/a.ofm"};
  const std::u16string dirs[] = {u"",      u".",    u"/",  u"x",    u"x/",    u"/x",      u"/x/",
                                 u"/x/./", u"../x", u"/s", u"s/..", u"C:\\x", u"/x/y/..", u"//"};
  const std::u16string bases[] = {u"",      u"/", u"/s",    u"/s/",  u"s",   u"/s/t/",
                                  u"C:\\s", u".", u"/s/..", u"/x/s", u"//h", u"/x"};
  for (const auto& f : files)
    for (const auto& d : dirs)
      for (const auto& b : bases)
        ASSERT_EQ(XlatNameOrRefusal(f, d, b), XlatNameAsDefined(f, d, b))
            << UTF16ToUTF8(f) << " | " << UTF16ToUTF8(d) << " | " << UTF16ToUTF8(b);
}

TEST_F(StartupTest, GetXlatFileNameCreatesTheDirectory) {
  qemtest::TTempDir tmp;
  const std::u16string src = tmp.U16("src/forms/main.ofm");
  qemtest::WriteTextFile(tmp.Path() / "src/forms/main.ofm", "object");
  const std::u16string out = GetXlatFileName(src, tmp.U16("xlat/DEU"), tmp.U16("src"));
  EXPECT_EQ(out, tmp.U16("xlat/DEU/forms/main.ofm"));
  EXPECT_TRUE(DirectoryExists(tmp.U16("xlat/DEU/forms")));
  qemtest::WriteTextFile(tmp.Path() / "blocked", "a file where a folder must go");
  EXPECT_THROW(GetXlatFileName(src, tmp.U16("blocked/DEU"), tmp.U16("src")), EQEMError);
}

TEST_F(StartupTest, CompareFileNamesWithoutExtensions) {
  EXPECT_EQ(QEMCompareFileName(u"/a/main.ofm", u"/a/main.xfm"), 0);
  EXPECT_EQ(QEMCompareFileName(u"\\a\\main.ofm", u"/a/main"), 0);
  EXPECT_NE(QEMCompareFileName(u"/a/Main.ofm", u"/a/main.ofm"), 0);
  EXPECT_LT(QEMCompareFileName(u"/a/a.x", u"/a/b.x"), 0);
}

TEST_F(StartupTest, ShowErrorIgnoresReentrantCallsAndSurvivesAThrowingHook) {
  int calls = 0;
  ShowErrorFunc = [&](const std::u16string& Msg) {
    ++calls;
    ShowError(u"nested: " + Msg); // ignored while the first is showing
    throw EQEMError(u"hook failed");
  };
  EXPECT_THROW(ShowError(u"first"), EQEMError);
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(ShowError(u"second"), EQEMError); // the guard was released
  EXPECT_EQ(calls, 2);
  ShowErrorFunc = nullptr;
  ShowError(u"boxed");
  ASSERT_EQ(FUI->Shown().size(), 1u);
  EXPECT_EQ(FUI->Shown()[0].Kind, TQEMScriptedUIServices::TKind::skError);
  EXPECT_EQ(FUI->Shown()[0].Text, u"boxed");
}

TEST_F(StartupTest, AssertionsShowOnlyWhenSwitchedOn) {
  Args({});
  QEMAssert(u"quiet", false);
  EXPECT_TRUE(FUI->Shown().empty());
  TQEMRegistry r;
  ASSERT_TRUE(r.OpenKey(QEMBaseRegKey(), true));
  r.WriteString(u"ShowAsserts", u"1"); // a string holding a number counts too
  r.Flush();
  Args({});
  QEMAssert(u"Unable to get stats", true);
  ASSERT_EQ(FUI->Shown().size(), 1u);
  EXPECT_EQ(FUI->Shown()[0].Text, u"QEMAssert:\r\n\r\nUnable to get stats");
  r.DeleteValue(u"ShowAsserts");
}

TEST_F(StartupTest, StoredNotesVersionAndObsoleteValueAtStartUp) {
  Args({});
  WriteBase(u"DefaultNotesVersion", u"8.5");
  WriteBase(u"IntegrationTools", u"1");
  QEMStrsInitialize();
  EXPECT_EQ(QEMDefaultNotesVersion, u"8.5");
  EXPECT_TRUE(QEMCheckIntegrationToolsValue());
  ASSERT_EQ(FUI->Shown().size(), 1u);
  EXPECT_EQ(FUI->Shown()[0].Text,
            u"IntegrationTools key no longer used. Please use --translation commandline option");
  TRegistry r;
  r.DeleteKey(QEMBaseRegKey());
  QEMStrsInitialize();
  EXPECT_EQ(QEMDefaultNotesVersion, u"9.0");
  EXPECT_EQ(fnDefaultTranslators[0], u"%s/ofm%s.fpl");
}

TEST_F(StartupTest, ScreenScalingAndMessagePump) {
  FUI->SetPixelsPerInch(144);
  EXPECT_EQ(PPI96(10, 96), 15);
  EXPECT_EQ(PPI96(7, 0), 7);
  Delay(2);
  EXPECT_GT(FUI->MessagePumps(), 0);
}

// Settings written by hand or by another version: safe reads fall back instead of raising.
TEST_F(StartupTest, SafeReadsTakeTheDefaultForMissingOrMistypedValues) {
  TQEMRegistry r;
  ASSERT_TRUE(r.OpenKey(QEMBaseRegKey() + u"\\SafeReads", true));
  r.WriteInteger(u"I", -7);
  r.WriteString(u"S", u"12");
  r.WriteString(u"T", u"12 apples");
  r.WriteBinaryData(u"B", {1, 2, 3, 4});
  EXPECT_EQ(r.SafeReadInt(u"I", 5), -7);
  EXPECT_EQ(r.SafeReadInt(u"S", 5), 12); // a string holding a number counts
  for (auto name : {u"T", u"B", u"Missing"})
    EXPECT_EQ(r.SafeReadInt(name, 5), 5) << UTF16ToUTF8(name);
  EXPECT_EQ(r.SafeReadStr(u"S", u"d"), u"12");
  for (auto name : {u"I", u"B", u"Missing"})
    EXPECT_EQ(r.SafeReadStr(name, u"d"), u"d") << UTF16ToUTF8(name);
  EXPECT_EQ(QEMRegReadWideString(r, u"Missing"), u"");
  EXPECT_THROW(QEMRegReadWideString(r, u"I"), ERegistryException);
  r.CloseKey();
  r.DeleteKey(QEMBaseRegKey() + u"\\SafeReads");
}
