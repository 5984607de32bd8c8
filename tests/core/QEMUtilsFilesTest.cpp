#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "QEMLibrary.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMFiles.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

TEST(UtilsFiles, BackupNames) {
  EXPECT_EQ(QEMMakeBackupFileName(u"/p/main.ofm"), u"/p/main.~ofm");
  EXPECT_EQ(QEMMakeBackupFileName(u"/p/README"), u"/p/README.~");
  EXPECT_EQ(QEMMakeBackupFileName(u"/p.d/README"), u"/p.d/README.~");
}

TEST(UtilsFiles, FormatPathKeepsPosixRootsAndDropsStoredBackslashes) {
  EXPECT_EQ(FormatPath(u""), u"./");
  EXPECT_EQ(FormatPath(u"\\\\x"), u"x/");
  EXPECT_EQ(FormatPath(u"/abs/dir"), u"/abs/dir/");
  EXPECT_EQ(FormatPath(u"rel\\dir\\"), u"rel/dir/");
}

TEST(UtilsFiles, NormalisationResolvesDotsWithoutClimbingAboveTheRoot) {
  EXPECT_EQ(QEMNormalizePath(u"C:\\a\\b\\..\\.\\c"), u"C:/a/c");
  EXPECT_EQ(QEMNormalizePath(u"/a/b/../../.."), u"/");
  EXPECT_EQ(QEMNormalizePath(u"/../etc"), u"/etc");
  EXPECT_EQ(QEMNormalizePath(u"x/../../y"), u"../y");
  EXPECT_EQ(QEMNormalizePath(u"../../y"), u"../../y");
  EXPECT_EQ(QEMNormalizePath(u"C:\\..\\x"), u"C:/../x");
  EXPECT_EQ(QEMNormalizePath(u"a/b/"), u"a/b/");
}

// Paths that need no work come back as they are; a dot component anywhere, or a back slash,
// still goes through the resolution.
TEST(UtilsFiles, NormalisationTellsDotComponentsFromDotsInNames) {
  for (const std::u16string p : {u"", u"/", u"a//b", u"/x/.hidden/..y/z.", u"...", u"a/b.."})
    EXPECT_EQ(QEMNormalizePath(p), p);
  EXPECT_EQ(QEMNormalizePath(u"a/."), u"a");
  EXPECT_EQ(QEMNormalizePath(u"./a"), u"a");
  EXPECT_EQ(QEMNormalizePath(u"/a/.."), u"/");
  EXPECT_EQ(QEMNormalizePath(u"a/../b"), u"b");
  EXPECT_EQ(QEMNormalizePath(u".."), u"..");
  EXPECT_EQ(QEMNormalizePath(u"a\\b"), u"a/b");
}

namespace {
// Paths over the letters that matter to normalisation, all of them up to a length, then some.
std::vector<std::u16string> PathsOver(std::u16string_view Letters, size_t Max) {
  std::vector<std::u16string> all{u""};
  for (size_t from = 0; all.back().size() < Max;) {
    const size_t to = all.size();
    for (size_t i = from; i < to; ++i)
      for (const char16_t c : Letters)
        all.push_back(all[i] + c);
    from = to;
  }
  return all;
}
} // namespace

// A path taken as already normal must come back as the full resolution would give it: after
// "x/.." that resolution starts from the same empty state and cannot be skipped.
TEST(UtilsFiles, NormalPathsAreThoseTheResolutionLeavesAsTheyAre) {
  for (const std::u16string& p : PathsOver(u"a./\\:", 6)) {
    if (p.empty()) continue;
    ASSERT_EQ(QEMNormalizePath(p), QEMNormalizePath(u"x/../" + p)) << UTF16ToUTF8(p);
  }
}

// As the composition of FormatPath and QEMNormalizePath it stands for.
TEST(UtilsFiles, AbsoluteFileNamesMatchTheirDefinition) {
  const auto composed = [](const std::u16string& Root, const std::u16string& Base,
                           const std::u16string& File) {
    std::u16string r = File;
    if (!QEMHasDrive(r)) {
      r = FormatPath(Base) + r;
      if (!QEMHasDrive(r)) r = FormatPath(Root) + r;
    }
    return QEMNormalizePath(r);
  };
  const std::vector<std::u16string> bases = PathsOver(u"a./\\", 3);
  for (const std::u16string root : {u"", u"/r", u"\\\\", u"C:", u"r/", u"/r/./s"})
    for (const auto& base : bases)
      for (const std::u16string file : {u"", u"f", u"/f", u"./f", u"..\\f", u"C:f", u"f/.."})
        ASSERT_EQ(AbsoluteFileName(root, base, file), composed(root, base, file))
            << UTF16ToUTF8(root) << " " << UTF16ToUTF8(base) << " " << UTF16ToUTF8(file);
}

TEST(UtilsFiles, FileDates) {
  qemtest::TTempDir tmp;
  const std::u16string f = tmp.U16("a.txt");
  EXPECT_EQ(DateOfFile(f), 0);
  EXPECT_EQ(QEMGetFileDate(f), 0);
  QEMSetFileDate(f, 45000.0); // no file: nothing happens, nothing is created
  EXPECT_FALSE(FileExists(f));
  qemtest::WriteTextFile(tmp.Path() / "a.txt", "x");
  const TDateTime when = EncodeDateTime(2024, 3, 5, 14, 30, 17, 250);
  QEMSetFileDate(f, when);
  EXPECT_NEAR(QEMGetFileDate(f), when, 0.5 / 86400000.0);
  EXPECT_NEAR(DateOfFile(f), EncodeDateTime(2024, 3, 5, 14, 30, 16), 0.5 / 86400000.0);
  chmod(tmp.Path().c_str(), 0500); // a file that cannot be written keeps its date
  chmod((tmp.Path() / "a.txt").c_str(), 0400);
  if (access((tmp.Path() / "a.txt").c_str(), W_OK) != 0) {
    QEMSetFileDate(f, 40000.0);
    EXPECT_NEAR(QEMGetFileDate(f), when, 0.5 / 86400000.0);
  }
  chmod(tmp.Path().c_str(), 0700);
}

TEST(UtilsFiles, TemporaryFilesArePrivateAndSweptAtShutDown) {
  const std::u16string a = QEMNewTempFile(u"hlx", u".tmp");
  const std::u16string b = QEMNewTempFile(u"hlx", u".tmp");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.compare(0, GetTempDir().size(), GetTempDir()), 0);
  struct stat st {};
  ASSERT_EQ(stat(QEMNativePath(a).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(QEMNativePath(GetTempDir()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  QEMRemoveTempFile(b, true);
  EXPECT_FALSE(FileExists(b));
  QEMRemoveTempFile(u"/not/on/the/list", true); // unknown names are ignored

  // A listed name outside our folder is never deleted by the sweep.
  qemtest::TTempDir outside;
  qemtest::WriteTextFile(outside.Path() / "keep.txt", "precious");
  QEMAddTempFile(outside.U16("keep.txt"));
  const std::u16string dir = GetTempDir();

  QEMFinalize();
  QEMInitialize();
  EXPECT_FALSE(FileExists(a));
  EXPECT_FALSE(DirectoryExists(dir));
  EXPECT_EQ(qemtest::ReadTextFile(outside.Path() / "keep.txt"), "precious");
}
