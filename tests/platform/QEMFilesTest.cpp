#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/QEMFiles.h"
#include "support/TestSupport.h"

TEST(Files, PathPartsAcceptBothDelimiters) {
  EXPECT_EQ(ExtractFilePath(u"C:\\src\\main.ofm"), u"C:\\src\\");
  EXPECT_EQ(ExtractFileName(u"/src/main.ofm"), u"main.ofm");
  EXPECT_EQ(ExtractFileExt(u"/src.d/main"), u"");
  EXPECT_EQ(ChangeFileExt(u"/src.d/main", u".xlf"), u"/src.d/main.xlf");
  EXPECT_EQ(ChangeFileExt(u"C:\\a\\b.ofm", u""), u"C:\\a\\b");
  EXPECT_TRUE(QEMHasDrive(u"/x"));
  EXPECT_TRUE(QEMHasDrive(u"c:\\x"));
  EXPECT_FALSE(QEMHasDrive(u"x\\y"));
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"a\\"), u"a\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/"), u"/");
}

TEST(Files, AtomicSaveReplacesOrLeavesTheOldFile) {
  qemtest::TTempDir tmp;
  const auto path = tmp.Path() / "notes.xlf";
  QEMSaveFileAtomically(tmp.U16("notes.xlf"), "first");
  EXPECT_EQ(qemtest::ReadTextFile(path), "first");
  chmod(path.c_str(), 0640);
  QEMSaveFileAtomically(tmp.U16("notes.xlf"), "second");
  EXPECT_EQ(qemtest::ReadTextFile(path), "second");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_THROW(QEMSaveFileAtomically(tmp.U16("missing/dir/x.xlf"), "x"), EQEMError);
  if (geteuid() != 0) { // root writes anywhere
    chmod(tmp.Path().c_str(), 0500);
    EXPECT_THROW(QEMSaveFileAtomically(tmp.U16("notes.xlf"), "third"), EQEMError);
    chmod(tmp.Path().c_str(), 0700);
    EXPECT_EQ(qemtest::ReadTextFile(path), "second");
  }
  // Nothing but the file itself is left behind.
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(tmp.Path()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(Files, LinksAreWrittenThroughButNeverDeletedThrough) {
  qemtest::TTempDir tmp;
  qemtest::WriteTextFile(tmp.Path() / "real/notes.xlf", "old");
  std::filesystem::create_symlink(tmp.Path() / "real/notes.xlf", tmp.Path() / "link.xlf");
  const timespec when{1700000000, 0};
  QEMSaveFileAtomically(tmp.U16("link.xlf"), "new", &when);
  EXPECT_TRUE(std::filesystem::is_symlink(tmp.Path() / "link.xlf"));
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "real/notes.xlf"), "new");
  timespec got{};
  ASSERT_TRUE(QEMGetFileTime(tmp.U16("real/notes.xlf"), got));
  EXPECT_EQ(got.tv_sec, when.tv_sec);
  EXPECT_TRUE(DeleteFile(tmp.U16("link.xlf")));
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "real/notes.xlf"), "new");
}
