#pragma once
// Reads the resources of a compiled Windows module (PE image) through a read-only mapping and
// shows them as a tree of items: string tables and menus as resource-script text, bitmaps and
// icons as files, everything else as raw bytes. Every offset and count in the file is checked
// before use; a malformed module raises EExeError and never reads outside the mapping.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/QEMClasses.h"
#include "platform/QEMExport.h"
#include "platform/QEMSysUtils.h"

// The numeric Windows resource types. Types above 16 keep their number in the same field.
enum class TResourceType : uint16_t {
  rtUnknown0,
  rtCursorEntry,
  rtBitmap,
  rtIconEntry,
  rtMenu,
  rtDialog,
  rtString,
  rtFontDir,
  rtFont,
  rtAccelerators,
  rtRCData,
  rtMessageTable,
  rtCursor,
  rtUnknown13,
  rtIcon,
  rtUnknown15,
  rtVersion
};

// "Menu", "String", ... for 0 to 16; the decimal number for any other type.
QEM_API std::u16string ResTypeName(TResourceType ResType);

class QEM_API EExeError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

struct TImageSectionHeader {
  char Name[8];
  uint32_t VirtualSize;
  uint32_t VirtualAddress;
  uint32_t SizeOfRawData;
  uint32_t PointerToRawData;
  uint32_t PointerToRelocations;
  uint32_t PointerToLinenumbers;
  uint16_t NumberOfRelocations;
  uint16_t NumberOfLinenumbers;
  uint32_t Characteristics;
};
static_assert(sizeof(TImageSectionHeader) == 40);

class TExeImage;
class TResourceList;

// One directory entry of the type or name level; the language level is hidden, an item's data is
// that of the first entry of its language directory. Items and lists belong to their image.
class QEM_API TResourceItem {
public:
  TResourceItem(TExeImage& Image, uint32_t EntryOffset, TResourceType ResType, int Depth);
  virtual ~TResourceItem();
  TResourceItem(const TResourceItem&) = delete;
  TResourceItem& operator=(const TResourceItem&) = delete;

  virtual std::u16string GetName() const;
  TResourceType GetResourceType() const { return FResType; }
  std::u16string ResTypeStr() const { return ResTypeName(FResType); }
  virtual bool IsList() const;
  // Raises EExeError "ResourceItem is not a list" for an item that has data.
  TResourceList& GetResourceList();
  TResourceItem& GetResourceItem(int Index);
  uint32_t Size() const;
  // For a list the offset of its directory, else the relative virtual address of the data.
  uint32_t Offset() const;
  const uint8_t* RawData() const { return Data().data(); }
  // The item's bytes inside the mapping; empty for a list.
  std::span<const uint8_t> Data() const;
  virtual void SaveToStream(std::ostream& S) const;
  void SaveToFile(const std::u16string& FileName) const;

  // The entry's identifier; meaningful only when HasId.
  bool HasId() const { return (FNameField & 0x80000000u) == 0; }
  uint32_t Id() const { return FNameField; }
  uint32_t EntryOffset() const { return FEntryOffset; }
  TExeImage& Image() const { return FImage; }

protected:
  virtual TResourceList* CreateList();
  bool HasChildDir() const { return (FDataField & 0x80000000u) != 0; }
  uint32_t ChildDir() const { return FDataField & 0x7FFFFFFFu; }

  TExeImage& FImage;
  uint32_t FEntryOffset;
  uint32_t FNameField;
  uint32_t FDataField;
  TResourceType FResType;
  int FDepth;

private:
  struct TDataRef {
    uint32_t Rva = 0;
    uint32_t Size = 0;
    uint32_t Pos = 0; // from the resource base
  };
  TDataRef DataRef() const;
  TResourceList* FList = nullptr;
};

class QEM_API TBitMapResource : public TResourceItem {
public:
  using TResourceItem::TResourceItem;
  // A bitmap file: the 14-byte file header, then the resource data.
  void SaveToStream(std::ostream& S) const override;
  void AssignTo(std::string& Dest) const;
};

class QEM_API TIconResEntry : public TResourceItem {
public:
  using TResourceItem::TResourceItem;
  std::u16string GetName() const override;
  // A single-image icon file.
  void SaveToStream(std::ostream& S) const override;
  // The 14-byte group entry this item was listed from; null when listed under its type.
  const uint8_t* GroupEntry() const { return FGroupEntry; }
  void LinkToGroup(const uint8_t* Entry) { FGroupEntry = Entry; }

protected:
  const uint8_t* FGroupEntry = nullptr;
};

class QEM_API TCursorResEntry : public TIconResEntry {
public:
  using TIconResEntry::TIconResEntry;
  std::u16string GetName() const override;
  // A single-image cursor file, keeping the hot spot.
  void SaveToStream(std::ostream& S) const override;
};

class QEM_API TMenuResource : public TResourceItem {
public:
  using TResourceItem::TResourceItem;
  void AssignTo(TStringList& Dest) const;
};

class QEM_API TStringResource : public TResourceItem {
public:
  using TResourceItem::TResourceItem;
  void AssignTo(TStringList& Dest) const;
};

// An icon group: its data lists the icon entries it is made of. Unlike other lists it keeps its
// Size and Data, the group's own bytes.
class QEM_API TIconResource : public TResourceItem {
public:
  using TResourceItem::TResourceItem;
  bool IsList() const override { return true; }

protected:
  TResourceList* CreateList() override;
};

class QEM_API TCursorResource : public TIconResource {
public:
  using TIconResource::TIconResource;

protected:
  TResourceList* CreateList() override;
};

// The items of one directory level, made on first use.
class QEM_API TResourceList {
public:
  TResourceList(TExeImage& Image, uint32_t DirOffset, TResourceType ResType, int Depth);
  virtual ~TResourceList();
  TResourceList(const TResourceList&) = delete;
  TResourceList& operator=(const TResourceList&) = delete;

  int Count();
  TResourceItem& GetResourceItem(int Index);
  uint32_t DirOffset() const { return FDirOffset; }
  virtual void List();

protected:
  TExeImage& FImage;
  uint32_t FDirOffset;
  TResourceType FResType;
  int FDepth;
  bool FListed = false;
  std::vector<TResourceItem*> FItems;
};

class QEM_API TIconResourceList : public TResourceList {
public:
  explicit TIconResourceList(TIconResource& Group);
  void List() override;

protected:
  TIconResource& FGroup;
  TResourceType FEntryType = TResourceType::rtIconEntry;
};

class QEM_API TCursorResourceList : public TIconResourceList {
public:
  explicit TCursorResourceList(TCursorResource& Group);
};

class QEM_API TExeImage {
public:
  // Maps the module read-only. Raises EExeError "Unable to decompile resources in %s." when it
  // cannot be read or is no PE module, and "No resources in %s." without a resource section.
  explicit TExeImage(const std::u16string& FileName);
  // The same over a copy of Bytes; Name stands for the file in messages.
  TExeImage(std::span<const uint8_t> Bytes, const std::u16string& Name);
  ~TExeImage();
  TExeImage(const TExeImage&) = delete;
  TExeImage& operator=(const TExeImage&) = delete;

  const std::u16string& FileName() const { return FFileName; }
  // Finds a section by the first eight characters of its name, ignoring case.
  bool GetSectionHdr(std::string_view SectionName, TImageSectionHeader& Header) const;
  // The top-level list (one item per resource type), built on first use.
  TResourceList& GetResourceList();

  // Walking aids for the items: all read inside the resource section or raise EExeError.
  [[noreturn]] void Fail() const;
  uint16_t ResWord(uint64_t Offset) const;
  uint32_t ResDWord(uint64_t Offset) const;
  std::span<const uint8_t> ResBytes(uint64_t Offset, uint64_t Length) const;
  // Start of a data block given by its relative virtual address, from the resource base.
  uint32_t RvaToResOffset(uint32_t Rva, uint32_t Size) const;
  std::u16string ResName(uint32_t Offset) const;
  // Entry count of a directory, checked to fit the section.
  uint32_t DirEntryCount(uint32_t DirOffset) const;
  // Each directory may be listed once: a second listing means a loop or shared directories.
  void ClaimDir(uint32_t DirOffset);

  TResourceItem* NewItem(TResourceType ListType, uint32_t EntryOffset, TResourceType ItemType,
                         int Depth);
  TResourceList* Own(std::unique_ptr<TResourceList> List);
  TResourceItem* Own(std::unique_ptr<TResourceItem> Item);
  // The entry of type 1 or 3 with identifier Id found while the top level was built.
  TIconResEntry* FindEntry(TResourceType EntryType, uint32_t Id) const;

private:
  void Open();

  std::u16string FFileName;
  const uint8_t* FView = nullptr;
  size_t FSize = 0;
  bool FMapped = false;
  std::unique_ptr<uint8_t[]> FCopy;
  const uint8_t* FResBase = nullptr;
  uint32_t FResSize = 0;
  uint32_t FSectionRva = 0;
  TResourceList* FRoot = nullptr;
  std::vector<std::unique_ptr<TResourceList>> FLists;
  std::vector<std::unique_ptr<TResourceItem>> FItems;
  std::unordered_map<uint32_t, TIconResEntry*> FIconEntries;
  std::unordered_map<uint32_t, TIconResEntry*> FCursorEntries;
  std::unordered_set<uint32_t> FListedDirs;
};
