#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/QEMDateTime.h"
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
  EXPECT_EQ(IncludeTrailingPathDelimiter(u""), u"/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"a/bcdefghijklmnopqrstuvwxyz"),
            u"a/bcdefghijklmnopqrstuvwxyz/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/"), u"/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"a/\\/"), u"a");
  EXPECT_EQ(ExtractFilePath(u"C:name"), u"C:");
  EXPECT_EQ(ExtractFileName(u"C:name"), u"name");
  EXPECT_EQ(ExtractFilePath(u"name"), u"");
}

// Short ASCII names reach the system without a copy on the heap, others through UTF-8: both
// must name the same file, back slashes read as "/" and an embedded NUL ending the name.
TEST(Files, ExistenceChecksNameTheSameFileWhateverTheSpelling) {
  EXPECT_EQ(QEMNativePath(u"a\\b/\u00E9\\c"), "a/b/\xC3\xA9/c");
  EXPECT_EQ(QEMNativePath(std::u16string{u'\\', char16_t(0xD800), u'\\'}), "/\xEF\xBF\xBD/");
  qemtest::TTempDir tmp;
  const std::string longName(240, 'n'); // the folder's name takes the rest past 256 units
  for (const std::string& name :
       {std::string("plain"), std::string("gr\xC3\xBC\xC3\x9F"), longName}) {
    qemtest::WriteTextFile(tmp.Path() / name, "x");
    const std::u16string file = tmp.U16(name);
    std::u16string back = file;
    std::replace(back.begin(), back.end(), u'/', u'\\');
    EXPECT_TRUE(FileExists(file)) << name;
    EXPECT_TRUE(FileExists(back)) << name;
    EXPECT_FALSE(DirectoryExists(file)) << name;
    EXPECT_TRUE(DirectoryExists(ExtractFilePath(back))) << name;
    EXPECT_FALSE(FileExists(file + u"x")) << name;
    EXPECT_TRUE(DirectoryExists(std::u16string(ExtractFilePath(file)) + u'\0' + u"junk")) << name;
    timespec t{};
    EXPECT_TRUE(QEMGetFileTime(back, t)) << name;
    EXPECT_TRUE(DeleteFile(back)) << name;
    EXPECT_FALSE(FileExists(file)) << name;
  }
  EXPECT_FALSE(FileExists(u""));
  EXPECT_FALSE(DirectoryExists(u""));
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

// A save killed half way leaves its temporary file. The next write into that folder by another
// process removes it, and nothing that is not exactly of our naming or is still being written.
TEST(Files, LeftoversOfAKilledSaveGoAtTheNextWrite) {
  namespace fs = std::filesystem;
  qemtest::TTempDir tmp;
  qemtest::WriteTextFile(tmp.Path() / "Form.ofm.xlf", "old");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    QEMSaveFileAtomically(tmp.U16("Form.ofm.xlf"), [](std::ostream& Out) {
      Out << std::string(100000, 'x');
      Out.flush();
      raise(SIGKILL);
    });
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  const std::string dead = ".~hlx" + std::to_string(child) + "-";
  std::vector<fs::path> left;
  for (auto& e : fs::directory_iterator(tmp.Path()))
    if (e.path().filename().string().starts_with(dead)) left.push_back(e.path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "Form.ofm.xlf"), "old");

  const std::vector<std::string> kept{
      ".Form.ofm.xlf.dB6Pp8",   // someone's dot file, whatever it looks like
      dead + "abc.Form.ofm",    // not six characters
      dead + "abc+de.Form.ofm", // not letters and digits
      dead + "abcdefForm.ofm",  // no point after them
      "x" + dead + "abcdef.Form.ofm", ".~hlx-abcdef.Form.ofm",
      // A file of this live process, being written.
      ".~hlx" + std::to_string(getpid()) + "-Abc123.Form.ofm"};
  for (const auto& k : kept)
    qemtest::WriteTextFile(tmp.Path() / k, "keep");
  fs::create_directory(tmp.Path() / (dead + "Folder.d"));
  fs::create_symlink(tmp.Path() / "Form.ofm.xlf", tmp.Path() / (dead + "Linked.x"));

  QEMSaveFileAtomically(tmp.U16("other.txt"), "x");
  EXPECT_TRUE(fs::is_directory(tmp.Path() / (dead + "Folder.d")));
  EXPECT_TRUE(fs::is_symlink(tmp.Path() / (dead + "Linked.x")));
  for (const auto& k : kept)
    EXPECT_TRUE(fs::exists(tmp.Path() / k)) << k;
  EXPECT_FALSE(fs::exists(left[0]));
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "Form.ofm.xlf"), "old");
  EXPECT_EQ(QEMRemoveLeftoverTempFiles(tmp.U16()), 0);
}

// A fixed clock dates the files we write, so that the dates recorded from them are fixed too; an
// explicit time still wins.
TEST(Files, AFixedClockDatesWhatIsSaved) {
  qemtest::TTempDir tmp;
  const auto path = tmp.Path() / "a.txt";
  QEMSetClockForTesting([] { return EncodeDateTime(2026, 1, 2, 3, 4, 5, 500); });
  QEMSaveFileAtomically(tmp.U16("a.txt"), "a");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const timespec given{1000000000, 0};
  QEMSaveFileAtomically(tmp.U16("b.txt"), "b", &given);
  QEMSetClockForTesting({});
  EXPECT_EQ(st.st_mtim.tv_sec, 1767323045);
  EXPECT_NEAR(double(st.st_mtim.tv_nsec), 5e8, 1e6);
  ASSERT_EQ(stat((tmp.Path() / "b.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  QEMSaveFileAtomically(tmp.U16("c.txt"), "c");
  ASSERT_EQ(stat((tmp.Path() / "c.txt").c_str(), &st), 0);
  EXPECT_NE(st.st_mtim.tv_sec, 1767323045) << "the system clock is back";
}

// The one whole-file reader: every byte of a file, of a file whose size says nothing (as /proc
// files do), and a reason when there is nothing to read.
TEST(Files, WholeFileReaderReadsEveryByteOrSaysWhy) {
  qemtest::TTempDir tmp;
  const std::string bytes = std::string("a\0b\r\n", 5) + std::string(200000, 'x');
  qemtest::WriteTextFile(tmp.Path() / "f.bin", bytes);
  std::string got = "old";
  ASSERT_TRUE(QEMReadFileBytes(tmp.U16("f.bin"), got));
  EXPECT_EQ(got, bytes);
  ASSERT_TRUE(QEMReadFileBytes(u"/proc/self/status", got));
  EXPECT_NE(got.find("Name:"), std::string::npos);
  got = "kept";
  errno = 0;
  EXPECT_FALSE(QEMReadFileBytes(tmp.U16("missing"), got));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(QEMReadFileBytes(tmp.U16(), got));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(got, "kept");
}

TEST(Files, WorkingCopyIsFilledInPlaceAndNeverThroughALink) {
  qemtest::TTempDir tmp;
  const std::u16string copy = QEMCreateSiblingTempFile(tmp.U16("out.ofm"));
  qemtest::WriteTextFile(std::filesystem::path(QEMNativePath(copy)), "a longer old content");
  const timespec when{1'600'000'000, 123'456'789};
  QEMWriteWorkingCopy(copy, "new", &when);
  EXPECT_EQ(qemtest::ReadTextFile(std::filesystem::path(QEMNativePath(copy))), "new");
  timespec got{};
  ASSERT_TRUE(QEMGetFileTime(copy, got));
  EXPECT_EQ(got.tv_sec, when.tv_sec);
  EXPECT_EQ(got.tv_nsec, when.tv_nsec);
  // A link planted under our name is refused, and what it points at stays as it was.
  qemtest::WriteTextFile(tmp.Path() / "victim", "keep");
  std::filesystem::create_symlink(tmp.Path() / "victim", tmp.Path() / "planted");
  EXPECT_THROW(QEMWriteWorkingCopy(tmp.U16("planted"), "x"), EQEMError);
  EXPECT_EQ(qemtest::ReadTextFile(tmp.Path() / "victim"), "keep");
}

// A folder is cleaned once a process however it is named; a folder first named is cleaned too.
TEST(Files, LeftoversAreLookedForOncePerFolderWhateverItsSpelling) {
  namespace fs = std::filesystem;
  qemtest::TTempDir tmp;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const auto leftover = [&](const std::string& Folder, const std::string& Random) {
    const fs::path p =
        tmp.Path() / Folder / (".~hlx" + std::to_string(child) + "-" + Random + ".a");
    qemtest::WriteTextFile(p, "x");
    return p;
  };
  fs::create_directories(tmp.Path() / "one");
  fs::create_directories(tmp.Path() / "two");
  const fs::path first = leftover("one", "AAAAAA");
  QEMRemoveLeftoverTempFilesOnce(tmp.U16("one"));
  EXPECT_FALSE(fs::exists(first));
  const fs::path second = leftover("one", "BBBBBB");
  for (const std::string spelling : {"one/", "one/.", "./one", "two/../one", "one//"})
    QEMRemoveLeftoverTempFilesOnce(tmp.U16(spelling));
  EXPECT_TRUE(fs::exists(second));
  const fs::path third = leftover("two", "CCCCCC");
  QEMRemoveLeftoverTempFilesOnce(tmp.U16("one/../two/"));
  EXPECT_FALSE(fs::exists(third));
  EXPECT_EQ(QEMRemoveLeftoverTempFiles(tmp.U16("one/")), 1);
  EXPECT_FALSE(fs::exists(second));
}
