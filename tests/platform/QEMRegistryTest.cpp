#include "platform/QEMRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "support/TestSupport.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// The message of the ERegistryException F raises, as UTF-8 for readable failures.
template <class F> std::string ErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const ERegistryException& E) {
    return E.what();
  }
  return "<no ERegistryException>";
}

// Forges foreign or damaged settings files with SQLite itself.
void RawSql(const std::string& Path, const char* Sql) {
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(Db, Sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(Db);
}

// Puts an environment variable back when it goes.
struct TEnvGuard {
  const char* Name;
  std::optional<std::string> Old =
      std::getenv(Name) ? std::optional<std::string>(std::getenv(Name)) : std::nullopt;
  ~TEnvGuard() { Old ? setenv(Name, Old->c_str(), 1) : unsetenv(Name); }
  void Set(const std::string& V) { setenv(Name, V.c_str(), 1); }
};

unsigned Mode(const fs::path& P) {
  struct stat St {};
  EXPECT_EQ(stat(P.c_str(), &St), 0) << P;
  return St.st_mode & 07777;
}

class RegistryHive : public ::testing::Test {
protected:
  qemtest::TTempDir Dir;
};

class Registry : public RegistryHive {
protected:
  std::u16string File = Dir.U16("hive.db");
  std::unique_ptr<TQEMHive> Hive = std::make_unique<TQEMHive>(File);
};

} // namespace

TEST_F(RegistryHive, DefaultFileNameFollowsEnvironment) {
  TEnvGuard Reg{"HLX_REGISTRY"}, Xdg{"XDG_CONFIG_HOME"}, Home{"HOME"};
  Reg.Set("/tmp/own.db");
  Xdg.Set("/cfg");
  Home.Set("/home/u");
  EXPECT_EQ(TQEMHive::DefaultFileName(), u"/tmp/own.db");
  Reg.Set("");
  EXPECT_EQ(TQEMHive::DefaultFileName(), u"/cfg/hlx/registry.db");
  Xdg.Set("");
  EXPECT_EQ(TQEMHive::DefaultFileName(), u"/home/u/.config/hlx/registry.db");
  Xdg.Set("relative/cfg"); // not a base directory: ignored
  EXPECT_EQ(TQEMHive::DefaultFileName(), u"/home/u/.config/hlx/registry.db");
}

TEST_F(RegistryHive, CreatesMissingFoldersAndFileOwnerOnly) {
  mode_t OldMask = umask(022);
  fs::path Path = Dir.Path() / "a" / "b" / "registry.db";
  {
    TQEMHive Hive(UTF8ToUTF16(Path.string()));
    TRegistry R(Hive);
    R.WriteString(u"V", u"x");
    // The journal files exist while the transaction is open; they must not be wider either.
    EXPECT_EQ(Mode(Path.string() + "-wal"), 0600u);
  }
  umask(OldMask);
  EXPECT_EQ(Mode(Dir.Path() / "a"), 0700u);
  EXPECT_EQ(Mode(Dir.Path() / "a" / "b"), 0700u);
  EXPECT_EQ(Mode(Path), 0600u);
}

// A file that is not ours, or is ours but newer, is never changed, not even by a journal.
TEST_F(RegistryHive, DamagedForeignNewerOrReadOnlyFileIsRefusedAndKeptByteForByte) {
  const std::string Path = (Dir.Path() / "registry.db").string();
  const std::pair<std::string, const char*> Cases[] = {
      {"[Settings]\nLanguage=de\n", nullptr},
      {std::string(4096, '\xA5'), nullptr},
      {std::string("SQLite format 3\0", 16) + std::string(4080, '\xFF'), nullptr},
      {"", "CREATE TABLE settings(k TEXT, v TEXT); INSERT INTO settings VALUES('a', 'b');"},
      {"ours", "PRAGMA user_version = 99;"}};
  for (const auto& [Content, Sql] : Cases) {
    fs::remove(Path);
    if (Content == "ours") {
      TQEMHive Hive(UTF8ToUTF16(Path));
    } else if (!Sql) {
      qemtest::WriteTextFile(Path, Content);
    }
    if (Sql) RawSql(Path, Sql);
    const std::string Before = qemtest::ReadTextFile(Path);
    EXPECT_THAT(
        ErrorOf([&] { TQEMHive Hive(UTF8ToUTF16(Path)); }),
        HasSubstr("'" + Path + "' cannot be opened" + (Sql ? ": it holds no settings" : "")));
    EXPECT_EQ(qemtest::ReadTextFile(Path), Before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1)
        << "no journal files left beside a refused file";
  }
  if (geteuid() == 0) return; // file modes do not stop root
  fs::remove(Path);
  { TQEMHive Hive(UTF8ToUTF16(Path)); }
  chmod(Path.c_str(), 0400);
  EXPECT_THAT(ErrorOf([&] { TQEMHive Hive(UTF8ToUTF16(Path)); }),
              HasSubstr("'" + Path + "' cannot be opened"));
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstCase) {
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\Software\\Wendroth", true));
  ASSERT_TRUE(R.OpenKey(u"\\SOFTWARE\\wendroth\\Привет", true));
  EXPECT_EQ(R.CurrentPath(), u"\\Software\\Wendroth\\Привет");
  EXPECT_TRUE(R.KeyExists(u"\\software\\WENDROTH\\ПРИВЕТ"));

  R.WriteString(u"ValueName", u"a");
  R.WriteInteger(u"VALUENAME", 5);
  EXPECT_THAT(R.GetValueNames(), ElementsAre(u"ValueName"));
  EXPECT_EQ(R.GetDataType(u"valuename"), TRegDataType::rdInteger);

  for (auto Name : {u"beta", u"Alpha", u"gamma", u"Delta", u"ALPHA"})
    R.CreateKey(Name);
  EXPECT_THAT(R.GetKeyNames(), ElementsAre(u"Alpha", u"beta", u"Delta", u"gamma"));
  EXPECT_TRUE(R.HasSubKeys());
  ASSERT_TRUE(R.OpenKey(u"alpha", false));
  EXPECT_FALSE(R.HasSubKeys());
}

TEST_F(Registry, RelativePathsStartAtTheCurrentKey) {
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\A", true));
  ASSERT_TRUE(R.OpenKey(u"B\\C", true));
  EXPECT_EQ(R.CurrentPath(), u"\\A\\B\\C");
  EXPECT_TRUE(R.KeyExists(u"\\A\\B"));
  EXPECT_FALSE(R.KeyExists(u"B")) << "relative to C, not to the root";

  EXPECT_FALSE(R.OpenKey(u"Missing", false));
  EXPECT_EQ(R.CurrentPath(), u"\\A\\B\\C");
  EXPECT_FALSE(R.KeyExists(u"\\A\\B\\C\\Missing")) << "a failed open creates nothing";

  EXPECT_TRUE(R.CreateKey(u"X\\Y"));
  EXPECT_EQ(R.CurrentPath(), u"\\A\\B\\C");
  EXPECT_TRUE(R.KeyExists(u"\\A\\B\\C\\X\\Y"));

  ASSERT_TRUE(R.OpenKey(u"\\\\A\\\\\\B\\", false)); // empty parts count for nothing
  EXPECT_EQ(R.CurrentPath(), u"\\A\\B");

  R.WriteString(u"Here", u"b");
  R.CloseKey();
  EXPECT_EQ(R.CurrentPath(), u"");
  EXPECT_FALSE(R.ValueExists(u"Here"));
  ASSERT_TRUE(R.OpenKey(u"A\\B", false));
  EXPECT_EQ(R.ReadString(u"Here"), u"b");
}

TEST_F(Registry, DeleteKeyRemovesTheWholeSubtree) {
  TRegistry R(*Hive);
  for (auto Path : {u"\\A", u"\\A\\B", u"\\A\\B\\C", u"\\A\\B\\C\\D", u"\\A\\BB", u"\\AB"}) {
    ASSERT_TRUE(R.OpenKey(Path, true));
    R.WriteString(u"V", Path);
  }
  R.CloseKey();
  EXPECT_TRUE(R.DeleteKey(u"\\a\\b"));
  EXPECT_FALSE(R.KeyExists(u"\\A\\B\\C\\D"));
  EXPECT_FALSE(R.DeleteKey(u"\\A\\B"));
  ASSERT_TRUE(R.OpenKey(u"\\A", false));
  EXPECT_THAT(R.GetKeyNames(), ElementsAre(u"BB"));
  EXPECT_EQ(R.ReadString(u"V"), u"\\A");
  ASSERT_TRUE(R.OpenKey(u"\\AB", false));
  EXPECT_EQ(R.ReadString(u"V"), u"\\AB");

  // Paths that name no key below the current one must not wipe it.
  EXPECT_FALSE(R.DeleteKey(u""));
  EXPECT_FALSE(R.DeleteKey(u"\\"));
  EXPECT_TRUE(R.KeyExists(u"\\AB"));
}

TEST_F(Registry, ReadOnlyKeyRefusesWrites) {
  {
    TRegistry W(*Hive);
    ASSERT_TRUE(W.OpenKey(u"\\K", true));
    W.WriteString(u"V", u"kept");
  }
  TRegistry R(*Hive);
  EXPECT_FALSE(R.OpenKeyReadOnly(u"\\Missing"));
  EXPECT_FALSE(R.KeyExists(u"\\Missing"));
  ASSERT_TRUE(R.OpenKeyReadOnly(u"\\K"));
  EXPECT_EQ(R.ReadString(u"V"), u"kept");
  EXPECT_EQ(ErrorOf([&] { R.WriteString(u"V", u"lost"); }), "Failed to set data for 'V'");
  EXPECT_EQ(ErrorOf([&] { R.DeleteValue(u"V"); }), "Failed to set data for 'V'");
  EXPECT_EQ(ErrorOf([&] { R.CreateKey(u"Sub"); }), "Failed to create key Sub");
  EXPECT_FALSE(R.DeleteKey(u"\\K"));
  EXPECT_EQ(R.ReadString(u"V"), u"kept");

  ASSERT_TRUE(R.OpenKey(u"\\K", false)); // opened for writing again
  R.WriteString(u"V", u"changed");
  EXPECT_EQ(R.ReadString(u"V"), u"changed");
}

TEST_F(Registry, ReadsFollowTheStoredType) {
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\Types", true));

  EXPECT_EQ(R.ReadString(u"Missing"), u"");
  EXPECT_TRUE(R.ReadBinaryData(u"Missing").empty());
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger(u"Missing"); }), "Invalid data type for 'Missing'");
  EXPECT_EQ(R.GetDataType(u"Missing"), TRegDataType::rdUnknown);
  EXPECT_EQ(R.GetDataSize(u"Missing"), -1);

  R.WriteInteger(u"N", INT32_MIN);
  EXPECT_EQ(R.ReadInteger(u"N"), INT32_MIN);
  EXPECT_EQ(R.GetDataSize(u"N"), 4);
  EXPECT_EQ(ErrorOf([&] { R.ReadString(u"N"); }), "Invalid data type for 'N'");
  EXPECT_EQ(ErrorOf([&] { R.ReadBinaryData(u"N"); }), "Invalid data type for 'N'");

  R.WriteExpandString(u"E", u"%HOME%\\x");
  EXPECT_EQ(R.GetDataType(u"E"), TRegDataType::rdExpandString);
  EXPECT_EQ(R.ReadString(u"E"), u"%HOME%\\x");

  // A write replaces the type along with the data.
  R.WriteString(u"N", u"12");
  EXPECT_EQ(R.GetDataType(u"N"), TRegDataType::rdString);
  EXPECT_EQ(R.GetDataSize(u"N"), 6);
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger(u"N"); }), "Invalid data type for 'N'");
  R.WriteBool(u"N", true);
  EXPECT_TRUE(R.ReadBool(u"N"));
  EXPECT_EQ(R.ReadInteger(u"N"), 1);

  EXPECT_TRUE(R.DeleteValue(u"n"));
  EXPECT_FALSE(R.DeleteValue(u"N"));
  EXPECT_FALSE(R.ValueExists(u"N"));
}

TEST_F(Registry, DataRoundTripsExactlyThroughTheFile) {
  const std::u16string Texts[] = {
      u"",
      u"Grüße \U0001F600 \U0001D11E",
      u"lone \xD800 high, lone \xDC00 low, reversed \xDC00\xD800",
      std::u16string(u"embedded\0nul", 12),
  };
  std::vector<uint8_t> Bytes(100000);
  for (size_t I = 0; I < Bytes.size(); ++I)
    Bytes[I] = uint8_t(I * 7919 >> 3);
  {
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKey(u"\\Data", true));
    for (size_t I = 0; I < std::size(Texts); ++I)
      R.WriteString(u"T" + IntToStr(I), Texts[I]);
    R.WriteBinaryData(u"Bytes", Bytes);
    R.WriteBinaryData(u"Empty", {});
  }
  Hive.reset();
  Hive = std::make_unique<TQEMHive>(File);
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\Data", false));
  for (size_t I = 0; I < std::size(Texts); ++I)
    EXPECT_EQ(R.ReadString(u"T" + IntToStr(I)), Texts[I]) << I;
  EXPECT_EQ(R.GetDataSize(u"T0"), 2);
  EXPECT_EQ(R.GetDataSize(u"T1"), int(Texts[1].size() + 1) * 2);
  EXPECT_EQ(R.ReadBinaryData(u"Bytes"), Bytes);
  EXPECT_EQ(R.GetDataType(u"Empty"), TRegDataType::rdBinary);
  EXPECT_EQ(R.GetDataSize(u"Empty"), 0);
  EXPECT_EQ(ErrorOf([&] { R.ReadString(u"Bytes"); }), "Invalid data type for 'Bytes'");
}

TEST_F(Registry, ObjectsOfOneProcessShareOneTransaction) {
  TQEMHive Other(File, 50); // a second connection stands in for another program
  TRegistry O(Other);
  {
    TRegistry Outer(*Hive);
    ASSERT_TRUE(Outer.OpenKey(u"\\T", true));
    Outer.WriteString(u"A", u"1");
    {
      TRegistry Inner(*Hive); // would deadlock on its own transaction
      ASSERT_TRUE(Inner.OpenKey(u"\\T", false));
      EXPECT_EQ(Inner.ReadString(u"A"), u"1");
      Inner.WriteInteger(u"B", 2);
      Inner.Flush();
    }
    EXPECT_EQ(Outer.ReadInteger(u"B"), 2);
    EXPECT_FALSE(O.KeyExists(u"\\T")) << "nothing commits before the outermost writer";
    Outer.Flush();
    ASSERT_TRUE(O.OpenKey(u"\\T", false));
    EXPECT_EQ(O.ReadString(u"A"), u"1");
    EXPECT_EQ(O.ReadInteger(u"B"), 2);

    Outer.WriteString(u"C", u"3"); // a new transaction, committed when Outer goes
  }
  EXPECT_EQ(O.ReadString(u"C"), u"3");
}

// The journal files stay beside the settings file between runs, emptied: copied or kept
// without them, the settings file still holds everything written.
TEST_F(RegistryHive, ClosedHiveLeavesEverythingInTheSettingsFile) {
  const fs::path Path = Dir.Path() / "kept.db";
  {
    TQEMHive Hive(UTF8ToUTF16(Path.string()));
    TRegistry R(Hive);
    ASSERT_TRUE(R.OpenKey(u"\\Kept", true));
    R.WriteString(u"Name", u"value");
  }
  const fs::path Wal = Path.string() + "-wal";
  EXPECT_TRUE(!fs::exists(Wal) || fs::file_size(Wal) == 0);
  const fs::path Alone = Dir.Path() / "alone.db";
  fs::copy_file(Path, Alone);
  TQEMHive Hive(UTF8ToUTF16(Alone.string()));
  TRegistry R(Hive);
  ASSERT_TRUE(R.OpenKey(u"\\Kept", false));
  EXPECT_EQ(R.ReadString(u"Name"), u"value");
  // Opened again with its journal files left from before, the file reads the same.
  TQEMHive Again(UTF8ToUTF16(Path.string()));
  TRegistry R2(Again);
  ASSERT_TRUE(R2.OpenKey(u"\\Kept", false));
  EXPECT_EQ(R2.ReadString(u"Name"), u"value");
}

// A forked child, in step with the parent through a socket pair, opens its own connection only
// after the fork so that it shares no SQLite state for the file.
TEST_F(RegistryHive, PendingWriteMakesOtherProcessReportBusy) {
  const std::u16string File = Dir.U16("shared.db");
  const std::string Busy = "'" + UTF16ToUTF8(File) + "' stayed locked";
  int Fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, Fds), 0);
  const pid_t Pid = fork();
  ASSERT_GE(Pid, 0);
  const int Fd = Fds[Pid == 0];
  close(Fds[Pid != 0]);
  auto Send = [&](char C) { (void)!write(Fd, &C, 1); };
  auto Receive = [&] {
    char C = 0;
    return read(Fd, &C, 1) == 1 ? C : '\0';
  };
  if (Pid == 0) {
    alarm(10); // never outlive a parent stuck in a failed test
    _exit([&]() -> int {
      try {
        if (Receive() != 'w') return 1;
        TQEMHive Hive(File, 100);
        TRegistry R(Hive);
        if (R.KeyExists(u"\\Shared")) return 2; // uncommitted writes stay private
        if (ErrorOf([&] { R.OpenKey(u"\\Child", true); }).find(Busy) == std::string::npos) return 3;
        Send('b');
        if (Receive() != 'c') return 4;
        R.OpenKey(u"\\Child", true);
        R.WriteInteger(u"N", 7);
        R.Flush();
        return R.OpenKey(u"\\Shared", false) && R.ReadString(u"Parent") == u"1" ? 0 : 5;
      } catch (...) {
        return 90;
      }
    }());
  }
  TQEMHive Hive(File);
  {
    TRegistry R(Hive);
    ASSERT_TRUE(R.OpenKey(u"\\Shared", true));
    R.WriteString(u"Parent", u"1");
    Send('w');
    EXPECT_EQ(Receive(), 'b');
    R.Flush();
    Send('c');
  }
  close(Fd);
  int Status = 0;
  ASSERT_EQ(waitpid(Pid, &Status, 0), Pid);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
  TRegistry R(Hive);
  ASSERT_TRUE(R.OpenKey(u"\\Child", false));
  EXPECT_EQ(R.ReadInteger(u"N"), 7);
}

namespace {

// Counts the commits of other connections, as SQLite reports them to this one.
class TCommitWatch {
public:
  explicit TCommitWatch(const std::u16string& File) {
    sqlite3_open_v2(UTF16ToUTF8(File).c_str(), &FDb, SQLITE_OPEN_READONLY, nullptr);
    FLast = Version();
  }
  ~TCommitWatch() { sqlite3_close(FDb); }
  // True when another connection committed since the last call.
  bool Committed() {
    const int64_t V = Version();
    const bool Changed = V != FLast;
    FLast = V;
    return Changed;
  }

private:
  int64_t Version() {
    sqlite3_stmt* Stmt = nullptr;
    sqlite3_prepare_v2(FDb, "PRAGMA data_version", -1, &Stmt, nullptr);
    const int64_t V = sqlite3_step(Stmt) == SQLITE_ROW ? sqlite3_column_int64(Stmt, 0) : -1;
    sqlite3_finalize(Stmt);
    return V;
  }

  sqlite3* FDb = nullptr;
  int64_t FLast = 0;
};

} // namespace

TEST_F(Registry, SavingWhatIsStoredCommitsNothing) {
  const std::vector<uint8_t> Bytes{0, 1, 2};
  {
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKey(u"\\S", true));
    R.WriteString(u"Text", u"a");
    R.WriteExpandString(u"Path", u"%HOME%");
    R.WriteInteger(u"Count", 2);
    R.WriteBinaryData(u"Bytes", Bytes);
    R.WriteString(u"Item0", u"x");
    R.WriteString(u"Item1", u"y");
  }
  TCommitWatch Watch(File);
  TQEMHive Other(File, 50);
  {
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKey(u"\\S", true));
    R.WriteString(u"TEXT", u"a");
    R.WriteExpandString(u"Path", u"%HOME%");
    R.WriteInteger(u"Count", 2);
    R.WriteBinaryData(u"Bytes", Bytes);
    TRegistry O(Other); // no write lock was taken for any of them
    ASSERT_TRUE(O.OpenKey(u"\\S", false));
    O.WriteInteger(u"Other", 1);
    O.Flush();
    EXPECT_TRUE(Watch.Committed());
  }
  {
    // A list written anew: every entry deleted, then the same ones written back.
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKey(u"\\S", false));
    EXPECT_TRUE(R.DeleteValue(u"Item0"));
    EXPECT_TRUE(R.DeleteValue(u"Item1"));
    EXPECT_FALSE(R.ValueExists(u"Item0"));
    R.WriteString(u"Item0", u"x");
    R.WriteString(u"Item1", u"y");
  }
  EXPECT_FALSE(Watch.Committed());
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\S", false));
  EXPECT_THAT(R.GetValueNames(),
              ElementsAre(u"Bytes", u"Count", u"Item0", u"Item1", u"Other", u"Path", u"Text"));
  EXPECT_EQ(R.ReadString(u"Item1"), u"y");
}

TEST_F(Registry, ChangesThatEndLikeTheStartOfOthersStillCommit) {
  {
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKey(u"\\C", true));
    R.WriteString(u"Name", u"1");
    R.WriteString(u"Gone", u"g");
  }
  TCommitWatch Watch(File);
  auto Commits = [&](auto&& Change) {
    {
      TRegistry R(*Hive);
      EXPECT_TRUE(R.OpenKey(u"\\C", false));
      Change(R);
    }
    return Watch.Committed();
  };
  EXPECT_TRUE(Commits([](TRegistry& R) { R.WriteInteger(u"Name", 1); })) << "another type";
  EXPECT_TRUE(Commits([](TRegistry& R) { R.WriteString(u"Name", u"1"); }));
  EXPECT_TRUE(Commits([](TRegistry& R) {
    R.DeleteValue(u"Name");
    R.WriteString(u"NAME", u"1"); // the name's case is kept in the file
  }));
  EXPECT_TRUE(Commits([](TRegistry& R) { R.DeleteValue(u"Gone"); }));
  EXPECT_TRUE(Commits([](TRegistry& R) { R.CreateKey(u"Sub"); }));
  EXPECT_FALSE(Commits([](TRegistry& R) { R.CreateKey(u"Sub"); }));
  EXPECT_TRUE(Commits([](TRegistry& R) { R.DeleteKey(u"Sub"); }));
  EXPECT_TRUE(Commits([](TRegistry& R) {
    R.WriteString(u"Temp", u"t"); // one change undone, another kept
    R.DeleteValue(u"Temp");
    R.WriteString(u"Kept", u"k");
  }));
  TRegistry R(*Hive);
  ASSERT_TRUE(R.OpenKey(u"\\C", false));
  EXPECT_THAT(R.GetValueNames(), ElementsAre(u"Kept", u"NAME"));
}

TEST_F(Registry, ReadBatchSeesOneStateWhileWritersGoOn) {
  TQEMHive Other(File, 50);
  {
    TRegistry O(Other);
    ASSERT_TRUE(O.OpenKey(u"\\A\\B", true));
    O.WriteInteger(u"N", 1);
  }
  {
    TQEMHiveReadBatch Batch(*Hive);
    TQEMHiveReadBatch Nested(*Hive);
    TRegistry R(*Hive);
    ASSERT_TRUE(R.OpenKeyReadOnly(u"\\A\\B"));
    EXPECT_EQ(R.ReadInteger(u"N"), 1);
    {
      TRegistry O(Other); // the batch keeps no writer out
      ASSERT_TRUE(O.DeleteKey(u"\\A"));
      ASSERT_TRUE(O.OpenKey(u"\\A\\B", true));
      O.WriteInteger(u"N", 2);
    }
    EXPECT_TRUE(R.KeyExists(u"\\A\\B"));
    EXPECT_EQ(R.ReadInteger(u"N"), 1) << "one state for the whole batch";
    {
      TRegistry W(*Hive);
      ASSERT_TRUE(W.OpenKey(u"\\W", true));
      W.WriteInteger(u"X", 3);
      W.CreateKey(u"\\W\\Sub");
      EXPECT_TRUE(W.KeyExists(u"\\W\\Sub"));
      EXPECT_TRUE(W.DeleteKey(u"\\W\\Sub"));
      EXPECT_FALSE(W.KeyExists(u"\\W\\Sub")) << "no key found in a removed subtree";
    }
    // After a write the batch goes on from the newest state.
    TRegistry Again(*Hive);
    ASSERT_TRUE(Again.OpenKeyReadOnly(u"\\A\\B"));
    EXPECT_EQ(Again.ReadInteger(u"N"), 2);
  }
  TRegistry O(Other);
  ASSERT_TRUE(O.OpenKeyReadOnly(u"\\W"));
  EXPECT_EQ(O.ReadInteger(u"X"), 3);
  EXPECT_FALSE(O.KeyExists(u"\\W\\Sub"));
}

// Keys and values are remembered from one batch to the next: only while nobody else commits,
// and never beyond a change of our own that was rolled back.
TEST_F(Registry, NextBatchSeesWhatOthersAndWeChangedBetweenBatches) {
  TQEMHive Other(File, 50);
  {
    TRegistry O(Other);
    ASSERT_TRUE(O.OpenKey(u"\\A\\B", true));
    O.WriteInteger(u"N", 1);
    O.WriteString(u"S", u"one");
  }
  auto readBatch = [&](int& N, std::u16string& S, bool& Exists) {
    TQEMHiveReadBatch Batch(*Hive);
    TRegistry R(*Hive);
    Exists = R.OpenKeyReadOnly(u"\\A\\B");
    N = Exists && R.ValueExists(u"N") ? R.ReadInteger(u"N") : -1;
    S = Exists ? R.ReadString(u"S") : u"";
  };
  int N = 0;
  std::u16string S;
  bool Exists = false;
  readBatch(N, S, Exists);
  ASSERT_TRUE(Exists);
  EXPECT_EQ(N, 1);
  {
    TRegistry O(Other); // a new key under the same name, new values
    ASSERT_TRUE(O.DeleteKey(u"\\A"));
    ASSERT_TRUE(O.OpenKey(u"\\A\\B", true));
    O.WriteInteger(u"N", 2);
    O.WriteString(u"S", u"two");
  }
  readBatch(N, S, Exists);
  ASSERT_TRUE(Exists);
  EXPECT_EQ(N, 2);
  EXPECT_EQ(S, u"two");
  {
    TRegistry O(Other);
    ASSERT_TRUE(O.DeleteKey(u"\\A"));
  }
  readBatch(N, S, Exists);
  EXPECT_FALSE(Exists);
  {
    TRegistry O(Other);
    ASSERT_TRUE(O.OpenKey(u"\\A\\B", true));
    O.WriteInteger(u"N", 3);
  }
  {
    // Our own change, then put back: the write ends in a rollback.
    TQEMHiveReadBatch Batch(*Hive);
    TRegistry W(*Hive);
    ASSERT_TRUE(W.OpenKey(u"\\A\\B", false));
    EXPECT_EQ(W.ReadInteger(u"N"), 3);
    W.WriteInteger(u"N", 4);
    EXPECT_EQ(W.ReadInteger(u"N"), 4);
    W.WriteInteger(u"N", 3);
    W.DeleteValue(u"Gone");
  }
  readBatch(N, S, Exists);
  EXPECT_EQ(N, 3);
  {
    TRegistry W(*Hive);
    ASSERT_TRUE(W.OpenKey(u"\\A\\B", false));
    W.WriteInteger(u"N", 5);
    EXPECT_TRUE(W.DeleteValue(u"N"));
  }
  readBatch(N, S, Exists);
  EXPECT_EQ(N, -1) << "a value we removed is not remembered";
}
