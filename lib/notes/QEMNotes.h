#pragma once
// Notes files: per translated file, every item's identifier, source, translation, status,
// comment, dates and history, plus a header of languages, time stamps and counters. Stored as
// XLIFF; the older line-per-item text form is still read and is upgraded on the next save.
// A notes file is where every translation lives: saving never destroys the previous file, and a
// file that cannot be read fully is never half-written back.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMSysUtils.h"

// Raised for a notes file that cannot be read or written; the message names the file.
class QEM_API EQEMNotesError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

struct TQEMStringPair {
  std::u16string FOrigText;
  std::u16string FXlatText;
  std::u16string FTagName;
  TDateTime FModified = 0;
};

class QEM_API IQEMNotesItem {
public:
  virtual ~IQEMNotesItem();
  // The one-line legacy form of the item; GetText also remembers the two code pages.
  virtual std::u16string GetText(int32_t OrigCP, int32_t XlatCP, bool WithCurr) = 0;
  virtual void SetText(int32_t OrigCP, int32_t XlatCP, const std::u16string& Text) = 0;
  virtual void AddPrev(const std::u16string& Orig, const std::u16string& Xlat,
                       const std::u16string& TagName) = 0;
  virtual void DelPrev(int Index) = 0;
  virtual void MoveCurrentToHistory(const std::u16string& TagName) = 0;
  virtual void Assign(IQEMNotesItem& Source) = 0;
  virtual std::u16string GetID() const = 0;
  virtual std::u16string GetResName() const = 0;
  virtual TDateTime GetCreated() const = 0;
  virtual std::u16string GetOrigText() const = 0;
  virtual std::string GetOrigTextCP() const = 0;
  virtual std::u16string GetXlatText() const = 0;
  virtual std::string GetXlatTextCP() const = 0;
  virtual TDateTime GetModified() const = 0;
  virtual int GetPrevCount() const = 0;
  virtual std::u16string GetPrevOrigText(int Index) const = 0;
  virtual std::u16string GetPrevXlatText(int Index) const = 0;
  virtual std::u16string GetPrevTagName(int Index) const = 0;
  virtual TDateTime GetPrevModified(int Index) const = 0;
  virtual TResStatus GetStatus() const = 0;
  virtual std::u16string GetComment() const = 0;
  virtual void SetID(const std::u16string& Value) = 0;
  virtual void SetResName(const std::u16string& Value) = 0;
  virtual void SetCreated(TDateTime Value) = 0;
  virtual void SetOrigText(const std::u16string& Value) = 0;
  virtual void SetOrigTextCP(const std::string& Value) = 0;
  virtual void SetXlatText(const std::u16string& Value) = 0;
  virtual void SetXlatTextCP(const std::string& Value) = 0;
  virtual void SetModified(TDateTime Value) = 0;
  virtual void SetPrevOrigText(int Index, const std::u16string& Value) = 0;
  virtual void SetPrevXlatText(int Index, const std::u16string& Value) = 0;
  virtual void SetPrevTagName(int Index, const std::u16string& Value) = 0;
  virtual void SetPrevModified(int Index, TDateTime Value) = 0;
  virtual void SetStatus(TResStatus Value) = 0;
  virtual void SetComment(const std::u16string& Value) = 0;
};
using IQEMNotesItemPtr = std::shared_ptr<IQEMNotesItem>;

// Implemented by item classes of translator packages; an item that answers false takes no part
// in localisation and is left out of the header counters.
class QEM_API IQEMNotesItemWithLocalize : public virtual IQEMNotesItem {
public:
  virtual bool GetLocalize() const = 0;
};

// Item classes of packages that add interfaces derive from this and from those interfaces; the
// item interface is a virtual base so they share one.
class QEM_API TQEMNotesItem : public virtual IQEMNotesItem {
public:
  // Starts untranslated, created now (UTC), never modified, with one empty history entry that
  // the first real history value takes over.
  TQEMNotesItem(int32_t OrigCP, int32_t XlatCP);
  ~TQEMNotesItem() override;

  std::u16string GetText(int32_t OrigCP, int32_t XlatCP, bool WithCurr) override;
  void SetText(int32_t OrigCP, int32_t XlatCP, const std::u16string& Text) override;
  void Assign(IQEMNotesItem& Source) override;

  void AddPrev(const std::u16string& Orig, const std::u16string& Xlat,
               const std::u16string& TagName) override;
  void DelPrev(int Index) override;
  void MoveCurrentToHistory(const std::u16string& TagName) override;
  std::u16string GetID() const override { return FID; }
  std::u16string GetResName() const override { return FResName.empty() ? FID : FResName; }
  TDateTime GetCreated() const override { return FCreated; }
  std::u16string GetOrigText() const override { return FOrigText; }
  std::string GetOrigTextCP() const override;
  std::u16string GetXlatText() const override { return FXlatText; }
  std::string GetXlatTextCP() const override;
  TDateTime GetModified() const override { return FModified == 0 ? FCreated : FModified; }
  int GetPrevCount() const override { return int(FList.size()); }
  std::u16string GetPrevOrigText(int Index) const override { return Prev(Index).FOrigText; }
  std::u16string GetPrevXlatText(int Index) const override { return Prev(Index).FXlatText; }
  std::u16string GetPrevTagName(int Index) const override { return Prev(Index).FTagName; }
  TDateTime GetPrevModified(int Index) const override { return Prev(Index).FModified; }
  TResStatus GetStatus() const override { return FStatus; }
  std::u16string GetComment() const override { return FComment; }
  void SetID(const std::u16string& Value) override { FID = Value; }
  void SetResName(const std::u16string& Value) override { FResName = Value; }
  void SetCreated(TDateTime Value) override { FCreated = Value; }
  void SetOrigText(const std::u16string& Value) override { FOrigText = Value; }
  void SetOrigTextCP(const std::string& Value) override;
  void SetXlatText(const std::u16string& Value) override { FXlatText = Value; }
  void SetXlatTextCP(const std::string& Value) override;
  void SetModified(TDateTime Value) override { FModified = Value; }
  void SetPrevOrigText(int Index, const std::u16string& Value) override {
    Prev(Index).FOrigText = Value;
  }
  void SetPrevXlatText(int Index, const std::u16string& Value) override {
    Prev(Index).FXlatText = Value;
  }
  void SetPrevTagName(int Index, const std::u16string& Value) override {
    Prev(Index).FTagName = Value;
  }
  void SetPrevModified(int Index, TDateTime Value) override { Prev(Index).FModified = Value; }
  void SetStatus(TResStatus Value) override { FStatus = Value; }
  void SetComment(const std::u16string& Value) override { FComment = Value; }

  // The stored modification time (0 when never modified), as the legacy form writes it.
  TDateTime StoredModified() const { return FModified; }

protected:
  // Fills loaded items by moving the texts in.
  friend struct TQEMNotesItemLoader;

  TQEMStringPair& Prev(int Index);
  const TQEMStringPair& Prev(int Index) const;

  std::vector<TQEMStringPair> FList; // index 0 = most recent
  std::u16string FID;
  std::u16string FResName;
  TDateTime FCreated = 0;
  std::u16string FOrigText;
  std::u16string FXlatText;
  TDateTime FModified = 0;
  TResStatus FStatus = rsUnTranslated;
  std::u16string FComment;
  int32_t FXlatCP = 0;
  int32_t FOrigCP = 0;
};

class QEM_API IQEMNotesStats {
public:
  virtual ~IQEMNotesStats();
  virtual TFileStats GetFileStats() const = 0;
  virtual void SetFileStats(const TFileStats& Value) = 0;
  // The legacy header text, ANSI in the system code page.
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& Value) = 0;
  virtual std::u16string GetVersion() const = 0;
  virtual TDateTime GetSelfDateTime() const = 0;
  virtual TDateTime GetOrigDateTime() const = 0;
  virtual TDateTime GetXlatDateTime() const = 0;
  virtual int32_t GetTranslated() const = 0;
  virtual int32_t GetUnTranslated() const = 0;
  virtual LCID GetOrigLCID() const = 0;
  virtual LCID GetXlatLCID() const = 0;
  virtual std::u16string GetOrigFileName() const = 0;
  virtual void SetVersion(const std::u16string& Value) = 0;
  virtual void SetSelfDateTime(TDateTime Value) = 0;
  virtual void SetOrigDateTime(TDateTime Value) = 0;
  virtual void SetXlatDateTime(TDateTime Value) = 0;
  virtual void SetTranslated(int32_t Value) = 0;
  virtual void SetUnTranslated(int32_t Value) = 0;
  virtual void SetOrigLCID(LCID Value) = 0;
  virtual void SetXlatLCID(LCID Value) = 0;
  virtual void SetOrigFileName(const std::u16string& Value) = 0;
  // What the updater last saw of the source beyond its date (size, exact time, perhaps a
  // digest), in a form only it reads; empty when nothing was recorded.
  virtual std::u16string GetOrigStamp() const = 0;
  virtual void SetOrigStamp(const std::u16string& Value) = 0;
};
using IQEMNotesStatsPtr = std::shared_ptr<IQEMNotesStats>;

class QEM_API TQEMNotesStats : public IQEMNotesStats {
public:
  TFileStats GetFileStats() const override { return FStats; }
  void SetFileStats(const TFileStats& Value) override { FStats = Value; }
  std::string GetText() const override;
  // Raises EQEMConvertError for a missing or malformed number; changes nothing then.
  void SetText(const std::string& Value) override;
  std::u16string GetVersion() const override { return FStats.Version; }
  TDateTime GetSelfDateTime() const override { return FStats.SelfDateTime; }
  TDateTime GetOrigDateTime() const override { return FStats.OrigDateTime; }
  TDateTime GetXlatDateTime() const override { return FStats.XlatDateTime; }
  int32_t GetTranslated() const override { return FStats.Translated; }
  int32_t GetUnTranslated() const override { return FStats.UnTranslated; }
  LCID GetOrigLCID() const override { return FStats.OrigLCID; }
  LCID GetXlatLCID() const override { return FStats.XlatLCID; }
  std::u16string GetOrigFileName() const override { return FStats.OrigFileName; }
  void SetVersion(const std::u16string& Value) override { FStats.Version = Value; }
  void SetSelfDateTime(TDateTime Value) override { FStats.SelfDateTime = Value; }
  void SetOrigDateTime(TDateTime Value) override { FStats.OrigDateTime = Value; }
  void SetXlatDateTime(TDateTime Value) override { FStats.XlatDateTime = Value; }
  void SetTranslated(int32_t Value) override { FStats.Translated = Value; }
  void SetUnTranslated(int32_t Value) override { FStats.UnTranslated = Value; }
  void SetOrigLCID(LCID Value) override { FStats.OrigLCID = Value; }
  void SetXlatLCID(LCID Value) override { FStats.XlatLCID = Value; }
  void SetOrigFileName(const std::u16string& Value) override { FStats.OrigFileName = Value; }
  std::u16string GetOrigStamp() const override { return FOrigStamp; }
  void SetOrigStamp(const std::u16string& Value) override { FOrigStamp = Value; }

private:
  TFileStats FStats;
  std::u16string FOrigStamp;
};

// The items of a file in file order, with the host's interface-list operations.
class QEM_API IQEMNotesItems {
public:
  virtual ~IQEMNotesItems();
  virtual int Count() const = 0;
  virtual IQEMNotesItemPtr Get(int Index) const = 0;
  virtual void Put(int Index, IQEMNotesItemPtr Item) = 0;
  virtual int Add(IQEMNotesItemPtr Item) = 0;
  virtual void Insert(int Index, IQEMNotesItemPtr Item) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Exchange(int Index1, int Index2) = 0;
  virtual void Clear() = 0;
  virtual IQEMNotesItemPtr First() const = 0;
  virtual IQEMNotesItemPtr Last() const = 0;
  virtual int IndexOf(const IQEMNotesItemPtr& Item) const = 0;
  virtual int Remove(const IQEMNotesItemPtr& Item) = 0;
  virtual IQEMNotesItemPtr GetI(int Index) const = 0;
  virtual void PutI(int Index, IQEMNotesItemPtr Item) = 0;
};
using IQEMNotesItemsPtr = std::shared_ptr<IQEMNotesItems>;

class QEM_API TQEMNotesItems : public IQEMNotesItems {
public:
  int Count() const override { return int(FItems.size()); }
  IQEMNotesItemPtr Get(int Index) const override;
  void Put(int Index, IQEMNotesItemPtr Item) override;
  int Add(IQEMNotesItemPtr Item) override;
  void Insert(int Index, IQEMNotesItemPtr Item) override;
  void Delete(int Index) override;
  void Exchange(int Index1, int Index2) override;
  void Clear() override { FItems.clear(); }
  IQEMNotesItemPtr First() const override { return FItems.empty() ? nullptr : FItems.front(); }
  IQEMNotesItemPtr Last() const override { return FItems.empty() ? nullptr : FItems.back(); }
  int IndexOf(const IQEMNotesItemPtr& Item) const override;
  int Remove(const IQEMNotesItemPtr& Item) override;
  IQEMNotesItemPtr GetI(int Index) const override { return Get(Index); }
  void PutI(int Index, IQEMNotesItemPtr Item) override { Put(Index, std::move(Item)); }
  void Reserve(size_t Count) { FItems.reserve(Count); }

private:
  void CheckIndex(int Index) const;
  std::vector<IQEMNotesItemPtr> FItems;
};

class QEM_API IQEMNotesFile {
public:
  virtual ~IQEMNotesFile();
  virtual IQEMNotesItemPtr CreateNotesItem() = 0;
  virtual void Open(const std::u16string& FileName) = 0;
  virtual void Save() = 0;
  virtual void SaveAs(const std::u16string& FileName) = 0;
  virtual void SaveAsNewVersion(const std::u16string& FileName, const std::u16string& Version) = 0;
  virtual std::u16string GetFileName() const = 0;
  virtual IQEMNotesStatsPtr GetStats() = 0;
  virtual IQEMNotesItemsPtr GetItems() = 0;
  virtual std::u16string GetDataType() = 0;
};
using IQEMNotesFilePtr = std::shared_ptr<IQEMNotesFile>;

// The root of the notes-file classes of translator packages.
class QEM_API TQEMBaseNotesFile {
public:
  virtual ~TQEMBaseNotesFile();
  // The file extensions the concrete class handles.
  virtual std::u16string GetExts() const = 0;
};
using TQEMBaseNotesFilePtr = std::shared_ptr<TQEMBaseNotesFile>;

// The class reference through which packages register and instantiate their notes-file class.
class QEM_API TQEMBaseNotesFileClass {
public:
  virtual ~TQEMBaseNotesFileClass();
  virtual TQEMBaseNotesFilePtr Create() const = 0;
  virtual std::u16string GetExts() const = 0;
};

template <class T> class TQEMNotesFileClassOf : public TQEMBaseNotesFileClass {
public:
  TQEMBaseNotesFilePtr Create() const override { return std::make_shared<T>(); }
  std::u16string GetExts() const override { return T::ClassExts(); }
};

// Write notes documents indented.
QEM_API extern bool QEMNotesFormattedXML;

// The notes-file machinery; concrete classes supply extensions, the XLIFF datatype and,
// optionally, item properties of their own.
class QEM_API TQEMCustomNotesFile : public TQEMBaseNotesFile, public IQEMNotesFile {
public:
  TQEMCustomNotesFile();
  ~TQEMCustomNotesFile() override;

  // Slots of the concrete classes, in order.
  IQEMNotesItemPtr CreateNotesItem() override;
  std::u16string GetDataType() override = 0;
  virtual void ReadCustomProp(TQEMXMLNode Group, IQEMNotesItem& Item);
  virtual void WriteCustomProp(TQEMXMLNode Group, IQEMNotesItem& Item);
  virtual void LoadOldNotes(std::string_view Bytes);
  // Not called for a file in the very layout our saves write whose items are of the base class:
  // that body is read straight from its bytes, and the document is not kept.
  virtual void LoadNewNotes();
  virtual void SaveOldNotes(std::ostream& Stream);
  virtual void SaveNewNotes(std::ostream& Stream);
  virtual std::u16string ConvertFromRaw(const std::u16string& Text);
  virtual std::u16string ConvertToRaw(const std::u16string& Text);
  virtual std::string GetCommentBegin();
  virtual std::string GetCommentEnd();

  void Open(const std::u16string& FileName) override;
  void Save() override;
  void SaveAs(const std::u16string& FileName) override;
  void SaveAsNewVersion(const std::u16string& FileName, const std::u16string& Version) override;
  std::u16string GetFileName() const override { return FFileName; }
  IQEMNotesStatsPtr GetStats() override { return FStats; }
  // Loads the items first when only the header has been read.
  IQEMNotesItemsPtr GetItems() override;

  void ReCalcStats();
  // The two header lines of the legacy form.
  std::string GetOldHeaderString();
  bool BodyNotLoaded() const { return FBodyNotLoaded; }

protected:
  // Bytes is the start of the file, or all of it when Whole.
  void LoadNewNotesHeader(std::string_view Bytes, bool Whole);
  void LoadOldNotesHeader(std::string_view Bytes);
  void LoadNotesBody();

  std::u16string FFileName;
  TQEMXMLNode FXLIFF;
  std::shared_ptr<TQEMXMLDocument> FDoc;
  IQEMNotesStatsPtr FStats;
  IQEMNotesItemsPtr FItems;
  bool FFormatted;
  bool FBodyNotLoaded = false;
  bool FLegacy = false; // the open file is in the legacy text form
  // The file as it was when its header was read; the body must come from the same file.
  struct TIdentity {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = -1, MTimeNs = 0;
    bool operator==(const TIdentity&) const = default;
  } FOpened;

private:
  struct TWriter;
};

// The legacy form: true when the file starts with Marker followed by "QEM: ".
QEM_API bool IsOldNotesFile(const std::u16string& FileName, const std::string& Marker);
// The value of one field of a legacy item text; keys after the first carry their leading
// separator (code 4), so "Curr:" never matches inside "PrevCurr:".
QEM_API std::u16string GetOldNotesValue(const std::u16string& Text, const std::u16string& Key);

// The status stored for an item, which must be one of the eight; raises EQEMConvertError naming
// the item and the value otherwise.
QEM_API TResStatus QEMCheckedStatus(const std::u16string& ItemID, const std::u16string& Text);

// How many notes bodies (all items of a file) this process has parsed; an open that reads
// only the header does not count.
QEM_API int64_t QEMNotesBodyReads();

// The fixed start of every notes document this library creates.
QEM_API std::u16string QEMNotesDocumentHead();
