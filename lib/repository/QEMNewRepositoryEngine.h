#pragma once
// The translation repository: one translation memory per user, kept as a TMX 1.4 document with
// per-language sorted indexes over its translation units. The legacy binary form (".rps") is
// read, and written back by a plain save of a repository that came from it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMUtils.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMSysUtils.h"

// LCID comes from core/QEMTypes.h.

class TQEMXMLDocument;

class TQEMFuzzyIndex;

class QEM_API EQEMRepositoryError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

inline constexpr uint32_t QEMRepositoryLegacyVersion = 0x05000000;
inline constexpr uint32_t QEMRepositoryTMXVersion = 0x08000000;

// What an adding call did, so callers count from facts rather than from record counts.
enum class TQEMRepositoryAddResult { arFailed, arAdded, arExisted, arFilled, arReplaced };

class QEM_API IQEMRepositoryRecord {
public:
  virtual ~IQEMRepositoryRecord();
  virtual std::u16string GetString(const std::u16string& LangTag) const = 0;
  virtual std::u16string GetNote(const std::u16string& LangTag) const = 0;
  virtual std::u16string GetID() const = 0;
  virtual void SetString(const std::u16string& LangTag, const std::u16string& Text) = 0;
  virtual void SetNote(const std::u16string& LangTag, const std::u16string& Text) = 0;
  virtual void SetID(const std::u16string& Text) = 0;
  virtual int Index() const = 0; // position in the record list
};
using IQEMRepositoryRecordPtr = std::shared_ptr<IQEMRepositoryRecord>;

// One language's records in text order (equal texts in record order).
class QEM_API IQEMRepositoryIndex {
public:
  virtual ~IQEMRepositoryIndex();
  virtual int Count() const = 0;
  virtual int Item(int Position) const = 0;          // record index at Position
  virtual int PositionOf(int RecordIndex) const = 0; // -1 when not there
};

class QEM_API IQEMRepositoryLangList {
public:
  virtual ~IQEMRepositoryLangList();
  virtual int Count() const = 0;
  virtual std::u16string LangTag(int Index) const = 0;
  virtual int IndexOf(const std::u16string& LangTag) const = 0; // ignores case; -1 when absent
};

class QEM_API IQEMRepositoryIndexList {
public:
  virtual ~IQEMRepositoryIndexList();
  virtual int Count() const = 0;
  virtual const IQEMRepositoryIndex& Index(int LangIndex) const = 0;
  virtual const IQEMRepositoryLangList& Languages() const = 0;
};

// Told about changes, e.g. by the repository browser. Changed comes once per outermost update.
class QEM_API IQEMRepositoryNotifier {
public:
  virtual ~IQEMRepositoryNotifier();
  virtual void Changed() = 0;
};

class QEM_API IQEMRepository {
public:
  virtual ~IQEMRepository();
  // Position of the language; adds it when new. Raises EQEMRepositoryError for an empty tag.
  virtual int AddLanguage(const std::u16string& LangTag) = 0;
  // Position of the first record whose text in the language equals Text, or where it would go.
  virtual bool Find(const std::u16string& Text, const std::u16string& LangTag,
                    int& Position) const = 0;
  virtual const IQEMRepositoryIndexList& GetIndexList() const = 0;
  virtual int RecCount() const = 0;
  virtual IQEMRepositoryRecordPtr GetRecord(int Index) = 0;
  virtual IQEMRepositoryRecordPtr AddRecord() = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void LoadFromFile(const std::u16string& FileName) = 0;
  virtual void Save() = 0;
  virtual void SetNotifier(std::shared_ptr<IQEMRepositoryNotifier> Notifier) = 0;
  // Removes the language from every record (texts and notes), with its index and its entry in
  // the language list; false when the repository does not hold it.
  virtual bool DeleteLanguage(const std::u16string& LangTag) = 0;
  // Removes the records (indexes outside the list are ignored) and returns how many went. Later
  // records move down, so record numbers and record objects taken before no longer hold.
  virtual int DeleteRecords(std::vector<int> Indexes) = 0;
  bool DeleteRecord(int Index) { return DeleteRecords({Index}) == 1; }
  virtual const std::u16string& FileName() const = 0;
  virtual bool Modified() const = 0;
  // An empty repository under FileName (nothing is read), not modified.
  virtual void Reset(const std::u16string& FileName) = 0;
  // Reads the current file first when not yet loaded, then writes TMX under FileName. A failed
  // save leaves the repository with its previous name and form.
  virtual void SaveAs(const std::u16string& FileName) = 0;
};

class QEM_API TQEMRepository : public IQEMRepository,
                               public std::enable_shared_from_this<TQEMRepository> {
public:
  TQEMRepository();
  ~TQEMRepository() override;

  int AddLanguage(const std::u16string& LangTag) override;
  bool Find(const std::u16string& Text, const std::u16string& LangTag,
            int& Position) const override;
  const IQEMRepositoryIndexList& GetIndexList() const override;
  int RecCount() const override;
  IQEMRepositoryRecordPtr GetRecord(int Index) override;
  IQEMRepositoryRecordPtr AddRecord() override;
  void BeginUpdate() override;
  void EndUpdate() override;
  // Parses into a fresh state and takes it only on success; raises "Unable to load repository".
  void LoadFromFile(const std::u16string& FileName) override;
  // Atomic: a failed save leaves the previous file as it was.
  void Save() override;
  void SetNotifier(std::shared_ptr<IQEMRepositoryNotifier> Notifier) override;
  bool DeleteLanguage(const std::u16string& LangTag) override;
  int DeleteRecords(std::vector<int> Indexes) override;
  void Reset(const std::u16string& FileName) override;
  void SaveAs(const std::u16string& FileName) override;

  const std::u16string& FileName() const override;
  void SetFileName(const std::u16string& FileName); // the name only, nothing is read
  uint32_t Version() const;
  void SetVersion(uint32_t Version);
  const std::u16string& Author() const;
  TDateTime DateCreated() const;
  TDateTime DateModified() const;
  bool Modified() const override;
  bool Loaded() const;
  void SetLoaded(bool Value);
  // The TMX document that holds the records (the tu elements of its body, in record order), for
  // writers of other forms; valid until the next load or reset.
  const TQEMXMLDocument& Document() const;
  // The message of the failed lazy load of the named file, or null. Such a file is read once
  // per run: later uses go on without it, adds are refused and it is never saved over, until a
  // file is loaded, the repository reset, or it is saved under another name.
  const std::u16string* LoadError() const;
  // Reads the named file when nothing has been loaded yet; a missing file counts as loaded and
  // empty. Records added before are kept, appended after the file's.
  void EnsureLoaded();
  // The n-gram index of the language for fuzzy look-ups (QEMFuzzyIndex.h), null when the
  // repository does not hold the language.
  const TQEMFuzzyIndex* FuzzyIndex(const std::u16string& LangTag) const;
  // A new record of the two texts, as AddRecord, SetID and SetString make it, for the adding
  // calls: the texts are known to be writable.
  void AppendPair(const std::u16string& OrigTag, const std::u16string& Original,
                  const std::u16string& XlatTag, const std::u16string& Translation,
                  const std::u16string& ContextID);

  struct TState;
  struct TImpl;
  // The records, languages and indexes themselves, for the engine's own procedural calls.
  const TState& State() const;

private:
  friend class TQEMRepositoryRecord;
  std::unique_ptr<TImpl> FImpl;
};

// The process-wide repository. It stays one object for the whole run: setting a file name reads
// or resets it in place, so its notifier and the references others hold stay valid.
// QEMRepositoryOpen raises the named file's load failure once; QEMRepositoryGetRepository
// raises it whenever the repository is without its file.
// The adding calls refuse text a repository file cannot hold (characters outside XML 1.0) and
// any add while the file failed to load: they return false with the reason in Reason.
QEM_API void QEMRepositoryOpen();
QEM_API void QEMRepositorySave();
QEM_API void QEMRepositorySaveAs(const std::u16string& FileName);
QEM_API std::u16string QEMRepositoryGetFileName();
QEM_API void QEMRepositorySetFileName(const std::u16string& FileName);
QEM_API bool QEMRepositoryModified();
QEM_API std::shared_ptr<IQEMRepository> QEMRepositoryGetRepository();
QEM_API uint32_t QEMRepositoryGetDefaultVersion();
QEM_API uint32_t QEMRepositorySetDefaultVersion(uint32_t Version);
QEM_API bool QEMRepositoryAddString(const std::u16string& Original, LCID OrigLCID,
                                    const std::u16string& Translation, LCID XlatLCID,
                                    const std::u16string& ContextID,
                                    TQEMRepositoryAddResult* Result = nullptr,
                                    std::u16string* Reason = nullptr);
QEM_API bool QEMRepositoryForceAddString(const std::u16string& Original, LCID OrigLCID,
                                         const std::u16string& Translation, LCID XlatLCID,
                                         const std::u16string& ContextID,
                                         TQEMRepositoryAddResult* Result = nullptr,
                                         std::u16string* Reason = nullptr);
QEM_API bool QEMRepositoryReplaceString(const std::u16string& Original, LCID OrigLCID,
                                        const std::u16string& OldTranslation, LCID XlatLCID,
                                        const std::u16string& NewTranslation,
                                        const std::u16string& ContextID,
                                        std::u16string* Reason = nullptr);
// A language's bare tag ("de") serves its regions ("de-DE") where the exact tag has nothing:
// a record without a translation under the exact tag offers its bare one, and originals stored
// under the bare tag are walked only when the exact ones gave no candidate. ExactLanguages
// looks at the exact tags alone, as adding must.
QEM_API bool QEMRepositoryGetString(const std::u16string& Original, LCID OrigLCID,
                                    IQEMWideStrings& Target, LCID XlatLCID,
                                    const std::u16string& ContextID, bool ExactLanguages = false);
QEM_API IQEMRepositoryRecordPtr SearchRecord(const std::u16string& Original, LCID OrigLCID,
                                             const std::u16string& ContextID);
QEM_API void QEMRepositoryBeginUpdate();
QEM_API void QEMRepositoryEndUpdate();
QEM_API void QEMRepositorySetNotifier(std::shared_ptr<IQEMRepositoryNotifier> Notifier);

// "yyyymmddThh:mm:ssZ" of a UTC time.
QEM_API std::u16string QEMRepositoryDateText(TDateTime UTC);

// Start-up creates the repository named by the option RepositoryFilename (read lazily);
// shut-down saves a modified repository and reports a failure through ShowError.
QEM_API void QEMNewRepositoryEngineInitialize();
QEM_API void QEMNewRepositoryEngineFinalize();
