#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"
#include "translator/QEMPackages.h"

namespace {

namespace fs = std::filesystem;

std::u16string U16(const fs::path& P) {
  return UTF8ToUTF16(P.string());
}

class PackagesTest : public ::testing::Test {
protected:
  void SetUp() override {
    Mgr.OnMessage = [this](const std::u16string& S) { Messages.push_back(S); };
    Mgr.OnError = [this](const std::u16string& S) { Errors.push_back(S); };
    TypesBefore = QEMFileTypes().Count();
  }
  void TearDown() override {
    Mgr.UnloadAll();
    EXPECT_EQ(QEMFileTypes().Count(), TypesBefore);
  }

  TQEMPackageManager Mgr;
  std::vector<std::u16string> Messages, Errors;
  int TypesBefore = 0;
  qemtest::TTempDir Dir;
};

TEST_F(PackagesTest, LoadsOnceByNameAndByHandle) {
  const std::u16string pkg = UTF8ToUTF16(HLX_TEST_PACKAGE);
  ASSERT_TRUE(Mgr.ProcessLoadTranslator(pkg)) << (Errors.empty() ? "" : UTF16ToUTF8(Errors[0]));
  ASSERT_EQ(Mgr.Count(), 1);
  EXPECT_EQ(Mgr.Entry(0).Caption, u"Line files");
  auto type = QEMFileTypes().GetQEMFileType(QEMFileTypes().IndexOf(u"HLXLines"));
  ASSERT_NE(type->GetKindBitmap(0)->Bitmap, nullptr);
  EXPECT_EQ(type->GetKindBitmap(0)->Bitmap->Width, 2);

  EXPECT_FALSE(Mgr.ProcessLoadTranslator(pkg));
  const fs::path p(HLX_TEST_PACKAGE);
  const std::u16string other = U16(p.parent_path() / "." / p.filename());
  EXPECT_FALSE(Mgr.ProcessLoadTranslator(other));
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[0], Format(SLibraryAlreadyLoaded, pkg));
  EXPECT_EQ(Messages[1], Format(SLibraryAlreadyLoaded, other));
  EXPECT_EQ(Mgr.Count(), 1);
  EXPECT_EQ(QEMFileTypes().Count(), TypesBefore + 1); // the second spelling registered nothing
  EXPECT_TRUE(Errors.empty());

  // A project file's kind must match exactly; otherwise its extension decides, in any case.
  EXPECT_EQ(QEMFileTypeOfProjectFile(u"a.txt", u"HLXLines"), type);
  EXPECT_EQ(QEMFileTypeOfProjectFile(u"a.Lns", u"Unknown"), type);
  EXPECT_EQ(QEMFileTypeOfProjectFile(u"a.txt", u"hlxlines"), nullptr);
  type.reset(); // the package's code goes with it

  EXPECT_TRUE(Mgr.Remove(Mgr.Entry(0).Module));
  EXPECT_EQ(QEMFileTypes().IndexOf(u"HLXLines"), -1);
}

TEST_F(PackagesTest, FailuresAreReportedAndNothingListed) {
  qemtest::WriteTextFile(Dir.Path() / "text.fpl", "not a library");
  for (const auto& name : {Dir.U16("missing.fpl"), Dir.U16("text.fpl")}) {
    EXPECT_FALSE(Mgr.ProcessLoadTranslator(name));
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors.back(), Format(STranslatorLoadFailedNoModule, name));
  }
  const std::u16string noInit = UTF8ToUTF16(HLX_NOINIT_PACKAGE);
  EXPECT_FALSE(Mgr.ProcessLoadTranslator(noInit));
  ASSERT_EQ(Errors.size(), 3u);
  // A library that declares no contract is no package: nothing of it is called.
  EXPECT_EQ(Errors[2], Format(STranslatorLoadFailed, noInit, Format(SPackageNoContract, noInit)));
  EXPECT_EQ(Mgr.Count(), 0);

  const std::u16string empty = UTF8ToUTF16(HLX_EMPTY_PACKAGE);
  EXPECT_TRUE(Mgr.ProcessLoadTranslator(empty));
  ASSERT_EQ(Mgr.Count(), 1);
  EXPECT_EQ(Mgr.Entry(0).Caption, empty);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], Format(SPackageRegisteredNothing, empty));
}

// A package built for another contract is refused before its initialisation runs, with a
// message naming it and both versions; the loader itself raises the same. So is one that also
// calls what this library no longer has, which the loader cannot even bind.
TEST_F(PackagesTest, PackageOfAnotherContractIsRefused) {
  for (const char* package : {HLX_OTHER_CONTRACT_PACKAGE, HLX_UNBOUND_PACKAGE}) {
    SCOPED_TRACE(package);
    Errors.clear();
    const std::u16string other = UTF8ToUTF16(package);
    const std::u16string why = Format(SPackageContractMismatch, other,
                                      int64_t(QEMPackageContract) + 1, int64_t(QEMPackageContract));
    EXPECT_FALSE(Mgr.ProcessLoadTranslator(other));
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], Format(STranslatorLoadFailed, other, why));
    EXPECT_EQ(Mgr.Count(), 0);
    EXPECT_EQ(QEMFileTypes().IndexOf(u"HLXLines"), -1);
    try {
      QEMLoadPackage(other);
      ADD_FAILURE() << "loaded";
    } catch (const EQEMError& e) {
      EXPECT_EQ(e.Message(), why);
    }
    EXPECT_EQ(QEMFileTypes().IndexOf(u"HLXLines"), -1);
  }

  // The same package of the right contract loads afterwards.
  Errors.clear();
  EXPECT_TRUE(Mgr.ProcessLoadTranslator(UTF8ToUTF16(HLX_TEST_PACKAGE)));
  EXPECT_TRUE(Errors.empty());
}

// An installed hlx has no packages beside it: they come from its package folder, each one
// found where it is, and the build tree's copies beside hlx win.
TEST_F(PackagesTest, DefaultPackagesBesideHlxOrInTheInstalledFolder) {
  const std::u16string savedBin = BinDir;
  struct TRestore {
    std::u16string Bin;
    ~TRestore() { BinDir = Bin; }
  } restore{savedBin};
  const fs::path bin = Dir.Path() / "bin";
  const fs::path packages = (bin / HLX_PACKAGE_DIR_FROM_BIN).lexically_normal();
  fs::create_directories(bin);
  fs::create_directories(packages);
  BinDir = U16(bin) + u"/";
  qemtest::WriteTextFile(packages / "ofm140.fpl", "x");
  qemtest::WriteTextFile(packages / "rc140.fpl", "x");
  qemtest::WriteTextFile(bin / "rc140.fpl", "x");
  const auto files = QEMDefaultTranslatorFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0], U16(packages / "ofm140.fpl"));
  EXPECT_EQ(files[1], U16(bin / "rc140.fpl"));
}

// The package list goes through the settings with the binary directory collapsed; a count of 0
// means the defaults, which this binary directory does not hold.
TEST_F(PackagesTest, ListRoundTripsThroughTheSettings) {
  const std::u16string savedBin = BinDir;
  struct TRestore {
    std::u16string Bin;
    ~TRestore() { BinDir = Bin; }
  } restore{savedBin};
  const fs::path pkg(HLX_TEST_PACKAGE);
  BinDir = U16(pkg.parent_path()) + u"/";
  const fs::path elsewhere = Dir.Path() / "other.fpl";
  fs::copy_file(HLX_EMPTY_PACKAGE, elsewhere);

  ASSERT_TRUE(Mgr.ProcessLoadTranslator(U16(pkg)));
  ASSERT_TRUE(Mgr.ProcessLoadTranslator(U16(elsewhere)));
  Mgr.UnloadAll();
  Mgr.SaveToRegistry();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    EXPECT_EQ(reg.ReadInteger(u"TranslatorCount"), 2);
    EXPECT_EQ(reg.ReadString(u"Translator0"), u"$(HLX)/hlxtest.fpl");
    EXPECT_EQ(reg.ReadString(u"Translator1"), U16(elsewhere));
  }
  Mgr.LoadFromRegistry();
  ASSERT_EQ(Mgr.Count(), 2);
  EXPECT_EQ(Mgr.Entry(0).FileName, U16(pkg));
  Mgr.UnloadAll();

  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    reg.WriteInteger(u"TranslatorCount", 0);
  }
  Messages.clear();
  Mgr.LoadFromRegistry();
  EXPECT_EQ(Mgr.Count(), 0);
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(Messages.empty());
}

// A damaged count is read in no time, named once, and the run goes on: a huge one up to the
// first missing entry, a textual one with the default packages.
TEST_F(PackagesTest, HugeAndTextualCountsAreNamedOnceAndHarmless) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    QEMRegDeleteNumbered(reg, u"Translator", 0);
    reg.WriteInteger(u"TranslatorCount", 2147483647);
    reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
  }
  Mgr.LoadFromRegistry();
  EXPECT_EQ(Mgr.Count(), 1);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], Format(SSettingsCountClamped, u"TranslatorCount", u"2147483647",
                                QEMMaxTranslatorCount, QEMMaxTranslatorCount));
  EXPECT_TRUE(Errors.empty());
  // Writing the list back reads no count either.
  Mgr.SaveToRegistry();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    EXPECT_EQ(reg.ReadInteger(u"TranslatorCount"), 1);
  }
  Mgr.UnloadAll();

  Messages.clear();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    reg.WriteString(u"TranslatorCount", u"lots");
  }
  Mgr.LoadFromRegistry();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0],
            Format(SBadSettingsCount, u"TranslatorCount", u"lots", QEMMaxTranslatorCount));
  EXPECT_TRUE(Errors.empty());
  // The defaults, which this build folder may or may not hold, never the listed package.
  for (int i = 0; i < Mgr.Count(); ++i)
    EXPECT_NE(Mgr.Entry(i).FileName, UTF8ToUTF16(HLX_TEST_PACKAGE));
  Mgr.UnloadAll();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
  reg.DeleteValue(u"TranslatorCount");
  reg.DeleteValue(u"Translator0");
}

// A list read from the settings and saved unchanged is not looked at again: what another
// process stored meanwhile stays. A list that changed is written as before.
TEST_F(PackagesTest, AListLoadedAndSavedUnchangedLeavesLaterChangesAlone) {
  const std::u16string pkg = UTF8ToUTF16(HLX_TEST_PACKAGE);
  ASSERT_TRUE(Mgr.ProcessLoadTranslator(pkg));
  Mgr.SaveToRegistry();
  Mgr.UnloadAll();
  Mgr.LoadFromRegistry();
  ASSERT_EQ(Mgr.Count(), 1);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    reg.WriteInteger(u"TranslatorCount", 2);
    reg.WriteString(u"Translator1", u"added-elsewhere.fpl");
  }
  Mgr.SaveToRegistry();
  const auto count = [] {
    TRegistry reg;
    EXPECT_TRUE(reg.OpenKeyReadOnly(QEMBaseRegKey()));
    return reg.ReadInteger(u"TranslatorCount");
  };
  EXPECT_EQ(count(), 2);
  Mgr.UnloadAll();
  Mgr.LoadFromRegistry(); // the missing one is kept as listed, not loaded
  ASSERT_EQ(Mgr.Count(), 1);
  const fs::path elsewhere = Dir.Path() / "other.fpl";
  fs::copy_file(HLX_EMPTY_PACKAGE, elsewhere);
  ASSERT_TRUE(Mgr.ProcessLoadTranslator(UTF8ToUTF16(elsewhere.string())));
  Mgr.SaveToRegistry();
  EXPECT_EQ(count(), 3);

  Mgr.UnloadAll();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
  for (const auto* name : {u"TranslatorCount", u"Translator0", u"Translator1", u"Translator2"})
    reg.DeleteValue(name);
}

// Saving a list the settings already hold leaves them as they are; anything that differs from
// what a save writes (the spelling of a name, a stale entry, a count as text, an expandable
// entry) is written over as before.
TEST_F(PackagesTest, AListAlreadyStoredIsKeptAndADifferingOneRewritten) {
  const std::u16string pkg = UTF8ToUTF16(HLX_TEST_PACKAGE);
  ASSERT_TRUE(Mgr.ProcessLoadTranslator(pkg));
  Mgr.SaveToRegistry();
  const std::u16string stored = [] {
    TRegistry reg;
    EXPECT_TRUE(reg.OpenKeyReadOnly(QEMBaseRegKey()));
    return reg.ReadString(u"Translator0");
  }();
  ASSERT_FALSE(stored.empty());
  const auto expectCanonical = [&](const char* Case) {
    SCOPED_TRACE(Case);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QEMBaseRegKey()));
    EXPECT_EQ(reg.GetDataType(u"TranslatorCount"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.ReadInteger(u"TranslatorCount"), 1);
    EXPECT_EQ(reg.GetDataType(u"Translator0"), TRegDataType::rdString);
    EXPECT_EQ(reg.ReadString(u"Translator0"), stored);
    std::vector<std::u16string> entries;
    for (const auto& n : reg.GetValueNames())
      if (QEMSameText(n.substr(0, 10), u"Translator") && n != u"TranslatorCount")
        entries.push_back(n);
    EXPECT_EQ(entries, std::vector<std::u16string>{u"Translator0"});
  };
  const auto damage = [](const std::function<void(TRegistry&)>& Change) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    Change(reg);
  };
  Mgr.SaveToRegistry();
  expectCanonical("unchanged");
  damage([&](TRegistry& R) {
    R.DeleteValue(u"Translator0");
    R.WriteString(u"translator0", stored);
  });
  Mgr.SaveToRegistry();
  expectCanonical("spelling");
  damage([](TRegistry& R) { R.WriteString(u"Translator7", u"stale.fpl"); });
  Mgr.SaveToRegistry();
  expectCanonical("stale entry");
  damage([](TRegistry& R) { R.WriteString(u"TranslatorCount", u"1"); });
  Mgr.SaveToRegistry();
  expectCanonical("count as text");
  damage([&](TRegistry& R) { R.WriteExpandString(u"Translator0", stored); });
  Mgr.SaveToRegistry();
  expectCanonical("expandable entry");
  damage([](TRegistry& R) { R.WriteString(u"Translator0", u"other.fpl"); });
  Mgr.SaveToRegistry();
  expectCanonical("other file");

  Mgr.UnloadAll();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
  reg.DeleteValue(u"TranslatorCount");
  reg.DeleteValue(u"Translator0");
}

} // namespace
