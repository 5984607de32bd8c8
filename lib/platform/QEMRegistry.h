#pragma once
// The current user's settings hive: an SQLite file standing in for the registry. Keys are
// backslash paths ("\Software\Wendroth\HLX\14.0"); key and value names compare ignoring case
// and keep the case they were created with; values are strings, integers (32-bit) or binary.
// The file is $HLX_REGISTRY when set, else $XDG_CONFIG_HOME/hlx/registry.db, else
// ~/.config/hlx/registry.db. Two processes may share it (WAL journal, busy wait).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/QEMSysUtils.h"

struct sqlite3;

// Raised for a mistyped read, a failed write, and a hive that cannot be opened or stays locked;
// the message names the value or the settings file.
class QEM_API ERegistryException : public EQEMError {
public:
  using EQEMError::EQEMError;
};

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// One open settings file. A damaged or foreign file is refused with an error naming it, never
// replaced or emptied.
class QEM_API TQEMHive {
public:
  explicit TQEMHive(const std::u16string& FileName, int BusyTimeoutMs = 5000);
  ~TQEMHive();
  TQEMHive(const TQEMHive&) = delete;
  TQEMHive& operator=(const TQEMHive&) = delete;

  const std::u16string& FileName() const { return FFileName; }
  static std::u16string DefaultFileName();

  // Writers share one transaction: it begins with the first registry object that writes and
  // commits when the last such object commits, so one object's writes land together. When the
  // values it touched end as they began (and no key came or went), it is rolled back instead:
  // an unchanged save leaves the file alone.
  void BeginWrite();
  void EndWrite();
  // Reads between BeginRead and EndRead share one transaction and see one state of the file,
  // so that a burst of reads costs one lock rather than one per value. Calls nest. A write in
  // between gets its own transaction; the reading one begins again after it.
  void BeginRead();
  void EndRead() noexcept;
  sqlite3* Handle() const { return FDb; }
  // Raises for the SQLite result Code: SRegHiveBusy when locked, else Context (a message taking
  // the file name and SQLite's text; SRegHiveWriteFailed when empty).
  [[noreturn]] void Fail(int Code, std::u16string_view Context = {}) const;

  struct TState; // prepared statements and what a transaction knows; private to the .cpp
  TState& State() const { return *FState; }

private:
  void FinishWrite();
  void Begin(const char* Sql);

  std::u16string FFileName;
  sqlite3* FDb = nullptr;
  int FWriters = 0;
  int FReaders = 0;
  std::unique_ptr<TState> FState;
};

// Keeps a read batch open on a hive for its lifetime.
class QEM_API TQEMHiveReadBatch {
public:
  explicit TQEMHiveReadBatch(TQEMHive& Hive) : FHive(Hive) { FHive.BeginRead(); }
  ~TQEMHiveReadBatch() { FHive.EndRead(); }
  TQEMHiveReadBatch(const TQEMHiveReadBatch&) = delete;
  TQEMHiveReadBatch& operator=(const TQEMHiveReadBatch&) = delete;

private:
  TQEMHive& FHive;
};

// The process's hive, opened on first use from DefaultFileName().
QEM_API TQEMHive& QEMHive();
// Commits what is pending and closes the process's hive; the next QEMHive() opens it again (from
// the environment of then). Every TRegistry on a hive must be gone before the hive closes.
QEM_API void QEMCloseHive();

// The host library's registry class on the hive. Key paths beginning with "\" are absolute,
// others relative to the current key. Reading a missing string gives empty text; reading a
// value of another type raises ERegistryException ("Invalid data type for '%s'").
class QEM_API TRegistry {
public:
  TRegistry();
  explicit TRegistry(TQEMHive& Hive);
  virtual ~TRegistry(); // commits this object's writes; a failure there is reported, not raised
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  bool OpenKey(const std::u16string& Key, bool CanCreate);
  bool OpenKeyReadOnly(const std::u16string& Key);
  void CloseKey();
  bool CreateKey(const std::u16string& Key);
  bool DeleteKey(const std::u16string& Key); // with everything below it
  bool KeyExists(const std::u16string& Key);
  bool HasSubKeys();
  std::vector<std::u16string> GetKeyNames();   // of the current key, in name order
  std::vector<std::u16string> GetValueNames(); // of the current key, in name order
  std::u16string CurrentPath() const { return FCurrentPath; }

  bool ValueExists(const std::u16string& Name);
  bool DeleteValue(const std::u16string& Name);
  TRegDataType GetDataType(const std::u16string& Name);
  int GetDataSize(const std::u16string& Name); // bytes as the platform counts them; -1 if absent

  std::u16string ReadString(const std::u16string& Name);
  // Writing the value a name already holds changes nothing and starts no transaction.
  void WriteString(const std::u16string& Name, const std::u16string& Value);
  void WriteExpandString(const std::u16string& Name, const std::u16string& Value);
  int32_t ReadInteger(const std::u16string& Name);
  void WriteInteger(const std::u16string& Name, int32_t Value);
  bool ReadBool(const std::u16string& Name) { return ReadInteger(Name) != 0; }
  void WriteBool(const std::u16string& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }
  std::vector<uint8_t> ReadBinaryData(const std::u16string& Name);
  void WriteBinaryData(const std::u16string& Name, const std::vector<uint8_t>& Data);

  // Commits this object's pending writes now; raises when the hive refuses them.
  void Flush();
  TQEMHive& Hive() const { return FHive; }

private:
  TQEMHive& FHive;
  int64_t FCurrentKey = 0;     // 0 = the hive's root key
  std::u16string FCurrentPath; // "" for the root, else "\A\B"
  bool FReadOnly = false;
  bool FWriting = false;
  // implementation helpers are private to the .cpp
  friend struct TRegistryAccess;
};
