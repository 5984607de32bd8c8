#include "platform/QEMRegistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

namespace {

// Stamped into the file header ("HLXR") so that a database of another program is told apart
// from an empty one and left alone.
constexpr int64_t kApplicationId = 0x484C5852;
constexpr int64_t kSchemaVersion = 1;

// The platform's own type codes, so that a dump of the file reads naturally.
constexpr int kRegSz = 1;
constexpr int kRegExpandSz = 2;
constexpr int kRegBinary = 3;
constexpr int kRegDword = 4;

// Names are stored as UTF-8 text with a folded copy for lookups; value data as blobs, text as
// UTF-16LE so that any UTF-16 (lone surrogates included) comes back as it went in. The root key
// is the row with id 0; deleting a key cascades through its subkeys and values.
constexpr const char* kSchema = R"(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
INSERT INTO keys(id, parent, name, fold) VALUES(0, NULL, '', '');
CREATE TABLE vals(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB,
  PRIMARY KEY(key, fold)) WITHOUT ROWID;
)";

std::string GetEnv(const char* Name) {
  const char* V = std::getenv(Name);
  return V ? V : "";
}

bool IsBusy(int Code) {
  return (Code & 0xFF) == SQLITE_BUSY || (Code & 0xFF) == SQLITE_LOCKED;
}

std::u16string HiveError(const TQEMHive& Hive, int Code, std::u16string_view Context) {
  sqlite3* Db = Hive.Handle();
  // The connection's own text is more precise, but only when it belongs to this failure.
  std::string Detail = Db && (sqlite3_errcode(Db) & 0xFF) == (Code & 0xFF) ? sqlite3_errmsg(Db)
                                                                           : sqlite3_errstr(Code);
  if (IsBusy(Code)) return Format(SRegHiveBusy, Hive.FileName(), Detail);
  return Format(TQEMRuntimeFormat{Context.empty() ? SRegHiveWriteFailed : Context}, Hive.FileName(),
                Detail);
}

void Report(const std::u16string& Msg) noexcept {
  std::fprintf(stderr, "%s\n", UTF16ToUTF8(Msg).c_str());
}

// Creates the missing folders above the file owner-only, and the file itself owner-only, so
// that SQLite (which copies the database's mode to its journal files) never widens access.
std::string MakePrivateFile(const std::string& Path) {
  namespace fs = std::filesystem;
  // Nearly always the file is there already: one call says so.
  if (const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      Fd >= 0 || errno == EEXIST) {
    if (Fd >= 0) close(Fd);
    return {};
  }
  fs::path Folder = fs::path(Path).parent_path();
  if (!Folder.empty()) {
    fs::path Walk;
    for (const auto& Part : Folder) {
      Walk /= Part;
      struct stat St;
      if (stat(Walk.c_str(), &St) == 0) continue;
      if (mkdir(Walk.c_str(), 0700) != 0 && errno != EEXIST)
        return Walk.string() + ": " + std::strerror(errno);
    }
  }
  int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (Fd >= 0)
    close(Fd);
  else if (errno != EEXIST)
    return std::strerror(errno);
  return {};
}

void Exec(TQEMHive& Hive, const char* Sql, std::u16string_view Context) {
  int Rc = sqlite3_exec(Hive.Handle(), Sql, nullptr, nullptr, nullptr);
  if (Rc != SQLITE_OK) Hive.Fail(Rc, Context);
}

int64_t QueryInt(TQEMHive& Hive, const char* Sql, std::u16string_view Context) {
  sqlite3_stmt* Stmt = nullptr;
  int Rc = sqlite3_prepare_v2(Hive.Handle(), Sql, -1, &Stmt, nullptr);
  if (Rc == SQLITE_OK) Rc = sqlite3_step(Stmt);
  int64_t V = Rc == SQLITE_ROW ? sqlite3_column_int64(Stmt, 0) : 0;
  sqlite3_finalize(Stmt);
  if (Rc != SQLITE_ROW) Hive.Fail(Rc, Context);
  return V;
}

enum class TFileState { Ours, Empty, Foreign };

TFileState FileState(TQEMHive& Hive) {
  // The first read of the header: a damaged or non-database file fails here, before anything
  // could be written to it.
  int64_t Objects = QueryInt(Hive, "SELECT count(*) FROM sqlite_master", SRegHiveOpenFailed);
  int64_t AppId = QueryInt(Hive, "PRAGMA application_id", SRegHiveOpenFailed);
  int64_t Version = QueryInt(Hive, "PRAGMA user_version", SRegHiveOpenFailed);
  if (AppId == kApplicationId && Version >= 1 && Version <= kSchemaVersion) return TFileState::Ours;
  if (AppId == 0 && Version == 0 && Objects == 0) return TFileState::Empty;
  return TFileState::Foreign;
}

[[noreturn]] void RefuseForeign(const TQEMHive& Hive) {
  throw ERegistryException(Format(SRegHiveOpenFailed, Hive.FileName(), SRegHiveNotOurs));
}

void PrepareSchema(TQEMHive& Hive) {
  Exec(Hive, "PRAGMA foreign_keys = ON", SRegHiveOpenFailed);
  TFileState State = FileState(Hive);
  if (State == TFileState::Foreign) RefuseForeign(Hive);
  Exec(Hive,
       "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 0",
       SRegHiveOpenFailed);
  if (State == TFileState::Ours) return;

  // Another process may be creating the schema at the same moment: decide again under the
  // write lock.
  Exec(Hive, "BEGIN IMMEDIATE", SRegHiveOpenFailed);
  try {
    State = FileState(Hive);
    if (State == TFileState::Foreign) RefuseForeign(Hive);
    if (State == TFileState::Empty) {
      Exec(Hive, kSchema, SRegHiveOpenFailed);
      std::string Stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
      Exec(Hive, Stamp.c_str(), SRegHiveOpenFailed);
    }
    Exec(Hive, "COMMIT", SRegHiveOpenFailed);
  } catch (...) {
    sqlite3_exec(Hive.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::unique_ptr<TQEMHive> gHive;

} // namespace

// What a connection keeps between statements. The key cache is used only inside a transaction
// (outside one, another process may move keys at any moment) and is kept from one transaction
// to the next while no other connection has committed since.
struct TQEMHive::TState {
  struct TCached {
    sqlite3_stmt* Stmt = nullptr;
    bool Busy = false;
  };
  struct TStored {
    std::u16string Name;
    int Type;
    bool IntStored;
    int64_t Int;
    std::vector<uint8_t> Data;
    bool operator==(const TStored&) const = default;
  };
  using TName = std::pair<int64_t, std::string>; // parent key and folded name
  using TKeyHit = std::optional<std::pair<int64_t, std::u16string>>;

  std::unordered_map<std::string_view, TCached> Stmts; // by the statement's text (a literal)
  std::map<TName, TKeyHit> Keys;
  std::map<TName, std::optional<TStored>> Values; // as Keys; the stored name is left empty
  // The values the write transaction touched, as they were before it, and whether a key was
  // added or removed: what decides between COMMIT and ROLLBACK.
  std::map<TName, std::optional<TStored>> Touched;
  bool KeysChanged = false;
  int64_t DataVersion = -1; // as of the last transaction start; -1 unknown

  void ForgetWrite() {
    // What a transaction of ours added, changed or removed may have been rolled back.
    if (KeysChanged) Keys.clear();
    if (KeysChanged || !Touched.empty()) Values.clear();
    Touched.clear();
    KeysChanged = false;
  }
  ~TState() {
    for (auto& [Sql, C] : Stmts)
      sqlite3_finalize(C.Stmt);
  }
};

namespace {

// The caller's message about a key or value, formatted only when a statement fails.
struct TOnError {
  std::u16string_view Fmt;
  const std::u16string* Name = nullptr;
};

// One statement, prepared once per connection and reused. Failures raise the caller's message
// about the key or value when one is given, except that a locked hive always says so.
class TStmt {
public:
  TStmt(TQEMHive& Hive, const char* Sql, TOnError OnError = {}) : FHive(Hive), FOnError(OnError) {
    auto& Cache = Hive.State().Stmts;
    auto It = Cache.find(Sql);
    if (It != Cache.end() && !It->second.Busy) {
      FCached = &It->second;
    } else {
      int Rc =
          sqlite3_prepare_v3(Hive.Handle(), Sql, -1, SQLITE_PREPARE_PERSISTENT, &FStmt, nullptr);
      if (Rc != SQLITE_OK) Raise(Rc);
      // A statement already in use (a nested call) gets a private copy.
      if (It == Cache.end())
        FCached = &Cache.emplace(Sql, TQEMHive::TState::TCached{FStmt}).first->second;
    }
    if (FCached) {
      FCached->Busy = true;
      FStmt = FCached->Stmt;
    }
  }
  ~TStmt() {
    if (!FCached) {
      sqlite3_finalize(FStmt);
      return;
    }
    // Ends the statement's read of the file, as finalising it would.
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
    FCached->Busy = false;
  }
  TStmt(const TStmt&) = delete;
  TStmt& operator=(const TStmt&) = delete;

  TStmt& Bind(int I, int64_t V) { return Check(sqlite3_bind_int64(FStmt, I, V)); }
  TStmt& Bind(int I, const std::string& V) {
    return Check(sqlite3_bind_text(FStmt, I, V.data(), int(V.size()), SQLITE_TRANSIENT));
  }
  TStmt& Bind(int I, const std::vector<uint8_t>& V) {
    // A null pointer would bind NULL rather than an empty blob.
    if (V.empty()) return Check(sqlite3_bind_zeroblob(FStmt, I, 0));
    return Check(sqlite3_bind_blob(FStmt, I, V.data(), int(V.size()), SQLITE_TRANSIENT));
  }

  bool Step() {
    int Rc = sqlite3_step(FStmt);
    if (Rc == SQLITE_ROW) return true;
    if (Rc != SQLITE_DONE) Raise(Rc);
    return false;
  }

  int64_t Int(int Col) const { return sqlite3_column_int64(FStmt, Col); }
  bool IsInt(int Col) const { return sqlite3_column_type(FStmt, Col) == SQLITE_INTEGER; }
  std::u16string Text(int Col) const {
    const auto* P = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, Col));
    return UTF8ToUTF16(P ? std::string_view(P, size_t(sqlite3_column_bytes(FStmt, Col))) : "");
  }
  std::vector<uint8_t> Blob(int Col) const {
    const auto* P = static_cast<const uint8_t*>(sqlite3_column_blob(FStmt, Col));
    return P ? std::vector<uint8_t>(P, P + sqlite3_column_bytes(FStmt, Col))
             : std::vector<uint8_t>();
  }

private:
  TStmt& Check(int Rc) {
    if (Rc != SQLITE_OK) Raise(Rc);
    return *this;
  }
  [[noreturn]] void Raise(int Rc) {
    if (FOnError.Name && !IsBusy(Rc))
      throw ERegistryException(Format(TQEMRuntimeFormat{FOnError.Fmt}, *FOnError.Name));
    FHive.Fail(Rc,
               FStmt && !sqlite3_stmt_readonly(FStmt) ? SRegHiveWriteFailed : SRegHiveReadFailed);
  }

  TQEMHive& FHive;
  sqlite3_stmt* FStmt = nullptr;
  TQEMHive::TState::TCached* FCached = nullptr;
  TOnError FOnError;
};

// Transaction control through cached statements: parsing them anew costs more than the work.
int Control(TQEMHive& Hive, const char* Sql) noexcept {
  auto& Cache = Hive.State().Stmts;
  auto It = Cache.find(Sql);
  sqlite3_stmt* Stmt = It != Cache.end() ? It->second.Stmt : nullptr;
  if (!Stmt) {
    if (int Rc =
            sqlite3_prepare_v3(Hive.Handle(), Sql, -1, SQLITE_PREPARE_PERSISTENT, &Stmt, nullptr);
        Rc != SQLITE_OK)
      return Rc;
    try {
      Cache.emplace(Sql, TQEMHive::TState::TCached{Stmt});
    } catch (...) {
      const int Rc = sqlite3_step(Stmt);
      sqlite3_finalize(Stmt);
      return Rc == SQLITE_DONE ? SQLITE_OK : Rc;
    }
  }
  const int Rc = sqlite3_step(Stmt);
  sqlite3_reset(Stmt);
  return Rc == SQLITE_DONE ? SQLITE_OK : Rc;
}

// Called first in each transaction. What we remember of keys stays good until another
// connection commits; our own changes keep it up to date themselves.
void NoteOthersCommits(TQEMHive& Hive) noexcept {
  auto& St = Hive.State();
  int64_t Version = -1;
  try {
    TStmt Q(Hive, "PRAGMA data_version");
    if (Q.Step()) Version = Q.Int(0);
  } catch (...) {
    // Unknown: forget, and let the reads that follow report what is wrong.
  }
  if (Version < 0 || Version != St.DataVersion) {
    St.Keys.clear();
    St.Values.clear();
  }
  St.DataVersion = Version;
}

std::string Folded(std::u16string_view Name) {
  return UTF16ToUTF8(QEMFoldCase(Name));
}

std::vector<uint8_t> EncodeText(const std::u16string& S) {
  std::vector<uint8_t> R;
  R.reserve(S.size() * 2);
  for (char16_t C : S) {
    R.push_back(uint8_t(C & 0xFF));
    R.push_back(uint8_t(C >> 8));
  }
  return R;
}

std::u16string DecodeText(const std::vector<uint8_t>& B) {
  std::u16string R;
  R.reserve(B.size() / 2);
  for (size_t I = 0; I + 1 < B.size(); I += 2)
    R.push_back(char16_t(B[I] | (B[I + 1] << 8)));
  return R;
}

std::vector<std::u16string_view> SplitKey(std::u16string_view Key) {
  std::vector<std::u16string_view> Parts;
  size_t Start = 0;
  while (Start <= Key.size()) {
    size_t End = Key.find(u'\\', Start);
    if (End == std::u16string_view::npos) End = Key.size();
    if (End > Start) Parts.push_back(Key.substr(Start, End - Start));
    Start = End + 1;
  }
  return Parts;
}

struct TKeyRef {
  int64_t Id;
  std::u16string Path; // with the stored case
};

struct TValue {
  int Type;
  bool IntStored; // the data column holds an integer
  int64_t Int;
  std::vector<uint8_t> Data;
};

using TStored = TQEMHive::TState::TStored;
using TName = TQEMHive::TState::TName;

std::optional<TStored> Stored(TQEMHive& Hive, const TName& Name) {
  TStmt Q(Hive, "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2");
  Q.Bind(1, Name.first).Bind(2, Name.second);
  if (!Q.Step()) return std::nullopt;
  return TStored{Q.Text(0), int(Q.Int(1)), Q.IsInt(2), Q.Int(2), Q.Blob(2)};
}

// Whether the open write transaction changed anything: a value it touched that is not as it
// was, or a key added or removed.
bool WriteChangedAnything(TQEMHive& Hive) {
  auto& St = Hive.State();
  if (St.KeysChanged) return true;
  for (const auto& [Name, Before] : St.Touched)
    if (Stored(Hive, Name) != Before) return true;
  return false;
}

TRegDataType DataType(int Type) {
  switch (Type) {
  case kRegSz:
    return TRegDataType::rdString;
  case kRegExpandSz:
    return TRegDataType::rdExpandString;
  case kRegDword:
    return TRegDataType::rdInteger;
  case kRegBinary:
    return TRegDataType::rdBinary;
  default:
    return TRegDataType::rdUnknown;
  }
}

[[noreturn]] void InvalidType(const std::u16string& Name) {
  throw ERegistryException(Format(SInvalidRegType, Name));
}

} // namespace

// ---------------------------------------------------------------------------------------------

TQEMHive::TQEMHive(const std::u16string& FileName, int BusyTimeoutMs)
    : FFileName(FileName), FState(std::make_unique<TState>()) {
  // SQLite's page cache starts with a block for 20 pages and writes through all of it, a page
  // fault per page at every start; a settings file of a few pages is better served one page
  // at a time. Only possible before SQLite starts: later it refuses, which changes nothing.
  static std::once_flag pageCacheConfigured;
  std::call_once(pageCacheConfigured,
                 [] { sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0); });
  const std::string Path = UTF16ToUTF8(FileName);
  if (std::string Err = MakePrivateFile(Path); !Err.empty())
    throw ERegistryException(Format(SRegHiveOpenFailed, FFileName, Err));
  // Without SQLITE_OPEN_CREATE: the file exists now, and SQLite must never make its own.
  int Rc = sqlite3_open_v2(Path.c_str(), &FDb, SQLITE_OPEN_READWRITE, nullptr);
  try {
    if (Rc != SQLITE_OK) Fail(Rc, SRegHiveOpenFailed);
    // SQLite quietly falls back to reading when it may not write; a hive we cannot save to
    // would lose every setting, so refuse it here.
    if (sqlite3_db_readonly(FDb, "main") == 1) Fail(SQLITE_READONLY, SRegHiveOpenFailed);
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
    PrepareSchema(*this);
    // Creating and deleting the journal and index files at every start and stop costs more
    // than reading the settings: beside a file of ours they stay, the journal emptied (the
    // size limit) so that the settings file alone holds every setting between runs. SQLite
    // asks at the close; a refused file keeps nothing beside it.
    int Persist = 1;
    sqlite3_file_control(FDb, "main", SQLITE_FCNTL_PERSIST_WAL, &Persist);
  } catch (...) {
    sqlite3_close_v2(FDb);
    FDb = nullptr;
    throw;
  }
}

TQEMHive::~TQEMHive() {
  if (!FDb) return;
  if (!sqlite3_get_autocommit(FDb)) {
    // Only a write transaction has anything to keep; a read batch just ends.
    bool Keep = FWriters > 0;
    try {
      Keep = Keep && WriteChangedAnything(*this);
    } catch (const EQEMError&) {
    }
    int Rc = sqlite3_exec(FDb, Keep ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (Rc != SQLITE_OK) {
      Report(HiveError(*this, Rc, SRegHiveWriteFailed));
      sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  FState.reset(); // the statements go before the connection
  sqlite3_close_v2(FDb);
}

std::u16string TQEMHive::DefaultFileName() {
  if (std::string P = GetEnv("HLX_REGISTRY"); !P.empty()) return UTF8ToUTF16(P);
  // The base-directory convention ignores a relative XDG_CONFIG_HOME.
  std::string Base = GetEnv("XDG_CONFIG_HOME");
  if (Base.empty() || Base[0] != '/') {
    std::string Home = GetEnv("HOME");
    if (Home.empty())
      if (const passwd* Pw = getpwuid(getuid()); Pw && Pw->pw_dir) Home = Pw->pw_dir;
    Base = Home + "/.config";
  }
  return UTF8ToUTF16(Base + "/hlx/registry.db");
}

void TQEMHive::BeginWrite() {
  if (FWriters == 0) {
    // A read batch's snapshot may be older than the file; a writer must start from the newest.
    if (!sqlite3_get_autocommit(FDb)) Control(*this, "COMMIT");
    FState->ForgetWrite();
    if (int Rc = Control(*this, "BEGIN IMMEDIATE"); Rc != SQLITE_OK) Fail(Rc, SRegHiveWriteFailed);
    NoteOthersCommits(*this);
  }
  ++FWriters;
}

void TQEMHive::EndWrite() {
  if (FWriters == 0 || --FWriters > 0) return;
  FinishWrite();
}

void TQEMHive::FinishWrite() {
  std::u16string Msg;
  bool Keep = true;
  try {
    Keep = WriteChangedAnything(*this);
  } catch (const EQEMError&) {
  }
  int Rc = Control(*this, Keep ? "COMMIT" : "ROLLBACK");
  if (Rc != SQLITE_OK) {
    Msg = HiveError(*this, Rc, SRegHiveWriteFailed);
    // Leave the connection clean so that the next writer starts its own transaction.
    if (!sqlite3_get_autocommit(FDb)) Control(*this, "ROLLBACK");
  }
  FState->ForgetWrite();
  // A failed restart only costs the batch its single lock: reads then go one by one.
  if (FReaders > 0 && Control(*this, "BEGIN") == SQLITE_OK) NoteOthersCommits(*this);
  if (!Msg.empty()) throw ERegistryException(Msg);
}

void TQEMHive::BeginRead() {
  if (FReaders++ > 0 || FWriters > 0 || !sqlite3_get_autocommit(FDb)) return;
  FState->ForgetWrite();
  // No lock keeps writers out; the snapshot is taken by the version check, the first read.
  if (int Rc = Control(*this, "BEGIN"); Rc != SQLITE_OK) {
    --FReaders;
    Fail(Rc, SRegHiveReadFailed);
  }
  NoteOthersCommits(*this);
}

void TQEMHive::EndRead() noexcept {
  if (FReaders == 0 || --FReaders > 0 || FWriters > 0) return;
  if (!sqlite3_get_autocommit(FDb)) Control(*this, "ROLLBACK");
  FState->ForgetWrite();
}

void TQEMHive::Fail(int Code, std::u16string_view Context) const {
  throw ERegistryException(HiveError(*this, Code, Context));
}

TQEMHive& QEMHive() {
  if (!gHive) gHive = std::make_unique<TQEMHive>(TQEMHive::DefaultFileName());
  return *gHive;
}

void QEMCloseHive() {
  gHive.reset();
}

// ---------------------------------------------------------------------------------------------

struct TRegistryAccess {
  static void BeginWriting(TRegistry& R) {
    if (R.FWriting) return;
    R.FHive.BeginWrite();
    R.FWriting = true;
  }

  static void CheckWritable(TRegistry& R, const std::u16string& Name) {
    if (R.FReadOnly) throw ERegistryException(Format(SRegSetDataFailed, Name));
  }

  // The subkey Fold of Parent: its id goes to Parent, its stored name is returned.
  static std::optional<std::u16string> FindKey(TQEMHive& Hive, int64_t& Parent,
                                               const std::string& Fold) {
    auto& Keys = Hive.State().Keys;
    const bool Cached = !sqlite3_get_autocommit(Hive.Handle());
    TName Name{Parent, Fold};
    TQEMHive::TState::TKeyHit Hit;
    if (auto It = Cached ? Keys.find(Name) : Keys.end(); It != Keys.end()) {
      Hit = It->second;
    } else {
      TStmt Q(Hive, "SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
      Q.Bind(1, Parent).Bind(2, Fold);
      if (Q.Step()) Hit.emplace(Q.Int(0), Q.Text(1));
      if (Cached) Keys.emplace(std::move(Name), Hit);
    }
    if (!Hit) return std::nullopt;
    Parent = Hit->first;
    return std::move(Hit->second);
  }

  // The value Name of the current key is remembered as the write transaction found it.
  static void Touch(TRegistry& R, const std::u16string& Name) {
    TName Key{R.FCurrentKey, Folded(Name)};
    auto& Touched = R.FHive.State().Touched;
    if (!Touched.contains(Key)) {
      auto Before = Stored(R.FHive, Key);
      Touched.emplace(std::move(Key), std::move(Before));
    }
  }

  // Follows Key from the root or the current key; creates missing keys when asked.
  static std::optional<TKeyRef> Walk(TRegistry& R, const std::u16string& Key, bool Create) {
    bool Absolute = !Key.empty() && Key[0] == u'\\';
    TKeyRef Ref = Absolute ? TKeyRef{0, u""} : TKeyRef{R.FCurrentKey, R.FCurrentPath};
    for (std::u16string_view Part : SplitKey(Key)) {
      const std::string Fold = Folded(Part);
      std::optional<std::u16string> Name = FindKey(R.FHive, Ref.Id, Fold);
      if (!Name && Create) {
        BeginWriting(R);
        // Another process may have made it before our write lock.
        TStmt Ins(R.FHive,
                  "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3) "
                  "ON CONFLICT(parent, fold) DO NOTHING",
                  TOnError{SRegCreateFailed, &Key});
        Ins.Bind(1, Ref.Id).Bind(2, UTF16ToUTF8(Part)).Bind(3, Fold).Step();
        auto& St = R.FHive.State();
        St.KeysChanged = St.KeysChanged || sqlite3_changes(R.FHive.Handle()) > 0;
        St.Keys.erase(TName{Ref.Id, Fold});
        Name = FindKey(R.FHive, Ref.Id, Fold);
        if (!Name) throw ERegistryException(Format(SRegCreateFailed, Key));
      }
      if (!Name) return std::nullopt;
      Ref.Path += u'\\';
      Ref.Path += *Name;
    }
    return Ref;
  }

  static std::optional<TValue> Read(TRegistry& R, const std::u16string& Name) {
    auto& Values = R.FHive.State().Values;
    const bool Cached = !sqlite3_get_autocommit(R.FHive.Handle());
    TName Key{R.FCurrentKey, Folded(Name)};
    auto It = Cached ? Values.find(Key) : Values.end();
    if (It == Values.end()) {
      TStmt Q(R.FHive, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
              TOnError{SRegGetDataFailed, &Name});
      Q.Bind(1, Key.first).Bind(2, Key.second);
      std::optional<TStored> Found;
      if (Q.Step()) {
        Found.emplace(TStored{{}, int(Q.Int(0)), Q.IsInt(1), 0, {}});
        if (Found->Type == kRegDword)
          Found->Int = Q.Int(1);
        else
          Found->Data = Q.Blob(1);
      }
      if (!Cached) return Found ? std::optional<TValue>(ValueOf(*Found)) : std::nullopt;
      It = Values.emplace(std::move(Key), std::move(Found)).first;
    }
    return It->second ? std::optional<TValue>(ValueOf(*It->second)) : std::nullopt;
  }

  static TValue ValueOf(const TStored& S) { return TValue{S.Type, S.IntStored, S.Int, S.Data}; }

  static void Forget(TRegistry& R, const std::u16string& Name) {
    R.FHive.State().Values.erase(TName{R.FCurrentKey, Folded(Name)});
  }

  static bool Holds(const TValue& V, int Type, int64_t Data) {
    return V.Type == Type && V.IntStored && V.Int == Data;
  }
  static bool Holds(const TValue& V, int Type, const std::vector<uint8_t>& Data) {
    return V.Type == Type && !V.IntStored && V.Data == Data;
  }

  template <class T>
  static void Write(TRegistry& R, const std::u16string& Name, int Type, const T& Data) {
    CheckWritable(R, Name);
    if (auto Old = Read(R, Name); Old && Holds(*Old, Type, Data)) return;
    BeginWriting(R);
    Touch(R, Name);
    // An existing value keeps the case of its name, as on the platform.
    TStmt Q(R.FHive,
            "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
            "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
            TOnError{SRegSetDataFailed, &Name});
    Q.Bind(1, R.FCurrentKey).Bind(2, UTF16ToUTF8(Name)).Bind(3, Folded(Name));
    Q.Bind(4, int64_t(Type)).Bind(5, Data).Step();
    Forget(R, Name);
  }

  static std::vector<std::u16string> Names(TRegistry& R, const char* Sql) {
    std::vector<std::u16string> Result;
    TStmt Q(R.FHive, Sql);
    Q.Bind(1, R.FCurrentKey);
    while (Q.Step())
      Result.push_back(Q.Text(0));
    return Result;
  }
};

using A = TRegistryAccess;

TRegistry::TRegistry() : TRegistry(QEMHive()) {}

TRegistry::TRegistry(TQEMHive& Hive) : FHive(Hive) {}

TRegistry::~TRegistry() {
  if (!FWriting) return;
  FWriting = false;
  try {
    FHive.EndWrite();
  } catch (const EQEMError& E) {
    Report(E.Message());
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
  }
}

bool TRegistry::OpenKey(const std::u16string& Key, bool CanCreate) {
  auto Ref = A::Walk(*this, Key, CanCreate);
  if (!Ref) return false;
  FCurrentKey = Ref->Id;
  FCurrentPath = std::move(Ref->Path);
  FReadOnly = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::u16string& Key) {
  auto Ref = A::Walk(*this, Key, false);
  if (!Ref) return false;
  FCurrentKey = Ref->Id;
  FCurrentPath = std::move(Ref->Path);
  FReadOnly = true;
  return true;
}

void TRegistry::CloseKey() {
  FCurrentKey = 0;
  FCurrentPath.clear();
  FReadOnly = false;
}

bool TRegistry::CreateKey(const std::u16string& Key) {
  if (FReadOnly) throw ERegistryException(Format(SRegCreateFailed, Key));
  A::Walk(*this, Key, true);
  return true;
}

bool TRegistry::DeleteKey(const std::u16string& Key) {
  // Neither the root nor "the key itself" by an empty path: too easy to wipe everything.
  if (FReadOnly || SplitKey(Key).empty()) return false;
  auto Ref = A::Walk(*this, Key, false);
  if (!Ref) return false;
  A::BeginWriting(*this);
  TStmt Q(FHive, "DELETE FROM keys WHERE id = ?1");
  Q.Bind(1, Ref->Id).Step();
  if (sqlite3_changes(FHive.Handle()) == 0) return false;
  auto& St = FHive.State();
  St.KeysChanged = true;
  St.Keys.clear(); // the whole subtree went
  St.Values.clear();
  return true;
}

bool TRegistry::KeyExists(const std::u16string& Key) {
  return A::Walk(*this, Key, false).has_value();
}

bool TRegistry::HasSubKeys() {
  TStmt Q(FHive, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  Q.Bind(1, FCurrentKey);
  return Q.Step();
}

std::vector<std::u16string> TRegistry::GetKeyNames() {
  return A::Names(*this, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
}

std::vector<std::u16string> TRegistry::GetValueNames() {
  return A::Names(*this, "SELECT name FROM vals WHERE key = ?1 ORDER BY fold");
}

bool TRegistry::ValueExists(const std::u16string& Name) {
  return A::Read(*this, Name).has_value();
}

bool TRegistry::DeleteValue(const std::u16string& Name) {
  A::CheckWritable(*this, Name);
  if (!ValueExists(Name)) return false;
  A::BeginWriting(*this);
  A::Touch(*this, Name);
  TStmt Q(FHive, "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
          TOnError{SRegSetDataFailed, &Name});
  Q.Bind(1, FCurrentKey).Bind(2, Folded(Name)).Step();
  A::Forget(*this, Name);
  return sqlite3_changes(FHive.Handle()) > 0;
}

TRegDataType TRegistry::GetDataType(const std::u16string& Name) {
  auto V = A::Read(*this, Name);
  return V ? DataType(V->Type) : TRegDataType::rdUnknown;
}

int TRegistry::GetDataSize(const std::u16string& Name) {
  auto V = A::Read(*this, Name);
  if (!V) return -1;
  switch (DataType(V->Type)) {
  case TRegDataType::rdString:
  case TRegDataType::rdExpandString:
    return int(V->Data.size() / 2 * 2 + 2); // with the terminator
  case TRegDataType::rdInteger:
    return 4;
  default:
    return int(V->Data.size());
  }
}

std::u16string TRegistry::ReadString(const std::u16string& Name) {
  auto V = A::Read(*this, Name);
  if (!V) return {};
  if (V->Type != kRegSz && V->Type != kRegExpandSz) InvalidType(Name);
  return DecodeText(V->Data);
}

void TRegistry::WriteString(const std::u16string& Name, const std::u16string& Value) {
  A::Write(*this, Name, kRegSz, EncodeText(Value));
}

void TRegistry::WriteExpandString(const std::u16string& Name, const std::u16string& Value) {
  A::Write(*this, Name, kRegExpandSz, EncodeText(Value));
}

int32_t TRegistry::ReadInteger(const std::u16string& Name) {
  auto V = A::Read(*this, Name);
  if (!V || V->Type != kRegDword) InvalidType(Name);
  return int32_t(V->Int);
}

void TRegistry::WriteInteger(const std::u16string& Name, int32_t Value) {
  A::Write(*this, Name, kRegDword, int64_t(Value));
}

std::vector<uint8_t> TRegistry::ReadBinaryData(const std::u16string& Name) {
  auto V = A::Read(*this, Name);
  if (!V) return {};
  if (V->Type != kRegBinary) InvalidType(Name);
  return V->Data;
}

void TRegistry::WriteBinaryData(const std::u16string& Name, const std::vector<uint8_t>& Data) {
  A::Write(*this, Name, kRegBinary, Data);
}

void TRegistry::Flush() {
  if (!FWriting) return;
  FWriting = false;
  FHive.EndWrite();
}
