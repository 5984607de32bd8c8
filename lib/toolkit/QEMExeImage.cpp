#include "toolkit/QEMExeImage.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>
#include <sstream>

#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "resources/QEMConst.h"

namespace {

constexpr uint32_t HighBit = 0x80000000u;
constexpr uint16_t MenuPopup = 0x10;
constexpr uint16_t MenuEnd = 0x80;
// Deeper menus are hostile: the indentation alone would grow the text quadratically.
constexpr size_t MaxMenuLevels = 64;
constexpr size_t GroupHeaderSize = 6;
constexpr size_t GroupEntrySize = 14;
constexpr uint32_t IconFileHeaderSize = 6 + 16;

uint16_t Word(const uint8_t* P) {
  return uint16_t(P[0] | P[1] << 8);
}
uint32_t DWord(const uint8_t* P) {
  return uint32_t(Word(P)) | uint32_t(Word(P + 2)) << 16;
}

std::u16string Utf16(const uint8_t* P, size_t Count) {
  std::u16string s(Count, u'\0');
  for (size_t i = 0; i < Count; ++i)
    s[i] = char16_t(Word(P + 2 * i));
  return s;
}

void PutWord(std::string& S, uint32_t V) {
  S.push_back(char(V & 0xFF));
  S.push_back(char(V >> 8 & 0xFF));
}
void PutDWord(std::string& S, uint32_t V) {
  PutWord(S, V & 0xFFFF);
  PutWord(S, V >> 16);
}
// Icon directories store 256 and more as 0.
uint8_t IconDim(int64_t V) {
  return V > 0 && V < 256 ? uint8_t(V) : 0;
}

std::u16string EscapeText(std::u16string_view S) {
  static constexpr char16_t Controls[] = u"abtnvfr";
  static constexpr char16_t Hex[] = u"0123456789abcdef";
  std::u16string r;
  r.reserve(S.size());
  for (const char16_t c : S) {
    if (c == 0) {
      r += u"\\0";
    } else if (c >= 7 && c <= 13) {
      r += u'\\';
      r += Controls[c - 7];
    } else if (c < 32) {
      r += u"\\x";
      r += Hex[c >> 4];
      r += Hex[c & 15];
    } else {
      if (c == u'"' || c == u'\\') r += u'\\';
      r += c;
    }
  }
  return r;
}

void Assign(TStringList& Dest, std::vector<std::u16string>& Lines) {
  Dest.Clear();
  for (auto& l : Lines)
    Dest.Add(std::move(l));
}

} // namespace

std::u16string ResTypeName(TResourceType ResType) {
  static constexpr std::u16string_view Names[] = {
      u"Unknown0", u"CursorEntry", u"Bitmap", u"IconEntry",    u"Menu",   u"Dialog",
      u"String",   u"FontDir",     u"Font",   u"Accelerators", u"RCData", u"MessageTable",
      u"Cursor",   u"Unknown13",   u"Icon",   u"Unknown15",    u"Version"};
  const auto n = size_t(ResType);
  return n < std::size(Names) ? std::u16string(Names[n]) : IntToStr(int64_t(n));
}

TResourceItem::TResourceItem(TExeImage& Image, uint32_t EntryOffset, TResourceType ResType,
                             int Depth)
    : FImage(Image), FEntryOffset(EntryOffset), FNameField(Image.ResDWord(EntryOffset)),
      FDataField(Image.ResDWord(uint64_t(EntryOffset) + 4)), FResType(ResType), FDepth(Depth) {}

TResourceItem::~TResourceItem() = default;

std::u16string TResourceItem::GetName() const {
  if (!HasId()) return FImage.ResName(FNameField & ~HighBit);
  if (FDepth == 0 && FNameField <= uint32_t(TResourceType::rtVersion))
    return ResTypeName(TResourceType(FNameField));
  return IntToStr(int64_t(FNameField));
}

// Only the type level holds lists: a deeper directory of directories is refused, which bounds
// any walk of a hostile file.
bool TResourceItem::IsList() const {
  if (FDepth != 0 || !HasChildDir()) return false;
  const uint32_t dir = ChildDir();
  return FImage.DirEntryCount(dir) > 0 && (FImage.ResDWord(uint64_t(dir) + 20) & HighBit) != 0;
}

TResourceList& TResourceItem::GetResourceList() {
  if (!IsList()) throw EExeError(std::u16string(SExeNotAList));
  if (!FList) FList = CreateList();
  return *FList;
}

TResourceItem& TResourceItem::GetResourceItem(int Index) {
  return GetResourceList().GetResourceItem(Index);
}

TResourceList* TResourceItem::CreateList() {
  return FImage.Own(std::make_unique<TResourceList>(FImage, ChildDir(), FResType, FDepth + 1));
}

TResourceItem::TDataRef TResourceItem::DataRef() const {
  uint32_t entry = FDataField;
  if (HasChildDir()) {
    const uint32_t dir = ChildDir();
    if (FImage.DirEntryCount(dir) == 0) FImage.Fail();
    entry = FImage.ResDWord(uint64_t(dir) + 20);
    if (entry & HighBit) FImage.Fail();
  }
  TDataRef r;
  r.Rva = FImage.ResDWord(entry);
  r.Size = FImage.ResDWord(uint64_t(entry) + 4);
  r.Pos = FImage.RvaToResOffset(r.Rva, r.Size);
  return r;
}

// The base IsList on purpose: a group is listed from its data.
uint32_t TResourceItem::Size() const {
  return TResourceItem::IsList() ? 0 : DataRef().Size;
}

uint32_t TResourceItem::Offset() const {
  return TResourceItem::IsList() ? ChildDir() : DataRef().Rva;
}

std::span<const uint8_t> TResourceItem::Data() const {
  if (TResourceItem::IsList()) return {};
  const TDataRef r = DataRef();
  return FImage.ResBytes(r.Pos, r.Size);
}

void TResourceItem::SaveToStream(std::ostream& S) const {
  const auto d = Data();
  S.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}

void TResourceItem::SaveToFile(const std::u16string& FileName) const {
  QEMSaveFileAtomically(FileName, [this](std::ostream& S) { SaveToStream(S); });
}

void TBitMapResource::SaveToStream(std::ostream& S) const {
  const auto d = Data();
  if (d.size() < 12) FImage.Fail();
  const uint32_t headerSize = DWord(d.data());
  uint64_t pixels;
  if (headerSize == 12) {
    const uint16_t bits = Word(d.data() + 10);
    const uint64_t palette = bits == 1 || bits == 4 || bits == 8 ? 1u << bits : 0;
    pixels = 14 + 12 + 3 * palette;
  } else if (headerSize >= 40 && d.size() >= 40) {
    const uint16_t bits = Word(d.data() + 14);
    const uint32_t compression = DWord(d.data() + 16);
    uint64_t palette = DWord(d.data() + 32);
    if (palette == 0 && (bits == 1 || bits == 4 || bits == 8)) palette = 1u << bits;
    // A 40-byte header with bit-field compression is followed by its three colour masks.
    const uint64_t masks = headerSize == 40 && compression == 3 ? 12 : 0;
    pixels = 14 + uint64_t(headerSize) + masks + 4 * palette;
  } else {
    FImage.Fail();
  }
  const uint64_t fileSize = uint64_t(d.size()) + 14;
  if (pixels > fileSize || fileSize > UINT32_MAX) FImage.Fail();
  std::string h = "BM";
  PutDWord(h, uint32_t(fileSize));
  PutDWord(h, 0);
  PutDWord(h, uint32_t(pixels));
  S.write(h.data(), std::streamsize(h.size()));
  S.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}

void TBitMapResource::AssignTo(std::string& Dest) const {
  std::ostringstream s;
  SaveToStream(s);
  Dest = std::move(s).str();
}

std::u16string TIconResEntry::GetName() const {
  if (!FGroupEntry) return TResourceItem::GetName();
  return Format(SExeIconEntryName, FGroupEntry[0], FGroupEntry[1], FGroupEntry[2]);
}

void TIconResEntry::SaveToStream(std::ostream& S) const {
  const auto d = Data();
  uint8_t width = 0, height = 0, colors = 0;
  uint16_t planes = 1, bits = 0;
  if (FGroupEntry) {
    width = FGroupEntry[0];
    height = FGroupEntry[1];
    colors = FGroupEntry[2];
    planes = Word(FGroupEntry + 4);
    bits = Word(FGroupEntry + 6);
  } else if (d.size() >= 24 && std::memcmp(d.data(), "\x89PNG", 4) == 0) {
    auto be = [&](size_t At) {
      return uint32_t(d[At]) << 24 | d[At + 1] << 16 | d[At + 2] << 8 | d[At + 3];
    };
    width = IconDim(be(16));
    height = IconDim(be(20));
    bits = 32;
  } else if (d.size() >= 40 && DWord(d.data()) >= 40) {
    width = IconDim(int32_t(DWord(d.data() + 4)));
    height = IconDim(int32_t(DWord(d.data() + 8)) / 2); // the mask doubles the height
    planes = Word(d.data() + 12);
    bits = Word(d.data() + 14);
    colors = bits < 8 ? uint8_t(1u << bits) : 0;
  }
  if (uint64_t(d.size()) + IconFileHeaderSize > UINT32_MAX) FImage.Fail();
  std::string h;
  PutWord(h, 0);
  PutWord(h, 1);
  PutWord(h, 1);
  h += char(width);
  h += char(height);
  h += char(colors);
  h += '\0';
  PutWord(h, planes);
  PutWord(h, bits);
  PutDWord(h, uint32_t(d.size()));
  PutDWord(h, IconFileHeaderSize);
  S.write(h.data(), std::streamsize(h.size()));
  S.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}

std::u16string TCursorResEntry::GetName() const {
  if (!FGroupEntry) return TResourceItem::GetName();
  const uint16_t width = Word(FGroupEntry);
  return Format(SExeCursorEntryName, width, width, Word(FGroupEntry + 6));
}

void TCursorResEntry::SaveToStream(std::ostream& S) const {
  const auto d = Data();
  if (d.size() < 4) FImage.Fail(); // the hot spot comes first
  const auto image = d.subspan(4);
  uint8_t width = 0, height = 0;
  if (FGroupEntry) {
    width = IconDim(Word(FGroupEntry));
    height = IconDim(Word(FGroupEntry + 2) / 2);
  } else if (image.size() >= 40 && DWord(image.data()) >= 40) {
    width = IconDim(int32_t(DWord(image.data() + 4)));
    height = IconDim(int32_t(DWord(image.data() + 8)) / 2);
  }
  std::string h;
  PutWord(h, 0);
  PutWord(h, 2);
  PutWord(h, 1);
  h += char(width);
  h += char(height);
  h += std::string(2, '\0');
  PutWord(h, Word(d.data()));
  PutWord(h, Word(d.data() + 2));
  PutDWord(h, uint32_t(image.size()));
  PutDWord(h, IconFileHeaderSize);
  S.write(h.data(), std::streamsize(h.size()));
  S.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
}

void TMenuResource::AssignTo(TStringList& Dest) const {
  const auto d = Data();
  if (d.size() < 4) FImage.Fail();
  std::vector<std::u16string> lines;
  // Per open popup: whether it was the last item of its own level, so ending it ends that too.
  std::vector<bool> open;
  auto indent = [&] { return std::u16string(2 * open.size(), u' '); };
  size_t pos = 4;
  while (pos < d.size()) {
    if (d.size() - pos < 2) FImage.Fail();
    const uint16_t flags = Word(&d[pos]);
    pos += 2;
    uint16_t id = 0;
    if (!(flags & MenuPopup)) {
      if (d.size() - pos < 2) FImage.Fail();
      id = Word(&d[pos]);
      pos += 2;
    }
    size_t end = pos;
    while (end + 2 <= d.size() && Word(&d[end]) != 0)
      end += 2;
    if (end + 2 > d.size()) FImage.Fail();
    const std::u16string text = Utf16(&d[pos], (end - pos) / 2);
    pos = end + 2;
    if (flags & MenuPopup) {
      lines.push_back(indent() + Format(u"POPUP \"%s\"", text));
      if (open.size() >= MaxMenuLevels) FImage.Fail();
      open.push_back((flags & MenuEnd) != 0);
      continue;
    }
    lines.push_back(indent() + (text.empty() ? u"MENUITEM SEPARATOR"
                                             : Format(u"MENUITEM \"%s\",  %d", text, id)));
    if (!(flags & MenuEnd)) continue;
    bool lastOfLevel = true;
    while (lastOfLevel && !open.empty()) {
      lastOfLevel = open.back();
      open.pop_back();
      lines.push_back(indent() + u"ENDPOPUP");
    }
    if (lastOfLevel) break; // the end of the top level ends the menu
  }
  // A menu cut short still gives balanced text.
  while (!open.empty()) {
    open.pop_back();
    lines.push_back(indent() + u"ENDPOPUP");
  }
  Assign(Dest, lines);
}

void TStringResource::AssignTo(TStringList& Dest) const {
  const auto d = Data();
  const int64_t first = (HasId() ? int64_t(Id()) - 1 : -1) * 16;
  std::vector<std::u16string> lines;
  size_t pos = 0;
  for (int i = 0; i < 16 && pos < d.size(); ++i) {
    if (d.size() - pos < 2) FImage.Fail();
    const size_t len = Word(&d[pos]);
    pos += 2;
    if ((d.size() - pos) / 2 < len) FImage.Fail();
    if (len > 0)
      lines.push_back(Format(u"%d,  \"%s\"", first + i, EscapeText(Utf16(&d[pos], len))));
    pos += 2 * len;
  }
  Assign(Dest, lines);
}

TResourceList* TIconResource::CreateList() {
  return FImage.Own(std::make_unique<TIconResourceList>(*this));
}

TResourceList* TCursorResource::CreateList() {
  return FImage.Own(std::make_unique<TCursorResourceList>(*this));
}

TResourceList::TResourceList(TExeImage& Image, uint32_t DirOffset, TResourceType ResType, int Depth)
    : FImage(Image), FDirOffset(DirOffset), FResType(ResType), FDepth(Depth) {}

TResourceList::~TResourceList() = default;

int TResourceList::Count() {
  List();
  return int(FItems.size());
}

TResourceItem& TResourceList::GetResourceItem(int Index) {
  List();
  if (Index < 0 || size_t(Index) >= FItems.size()) throw EExeError(Format(SListIndexError, Index));
  return *FItems[size_t(Index)];
}

void TResourceList::List() {
  if (FListed) return;
  FImage.ClaimDir(FDirOffset);
  const uint32_t count = FImage.DirEntryCount(FDirOffset);
  std::vector<TResourceItem*> items;
  items.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t entry = FDirOffset + 16 + 8 * i; // fits: DirEntryCount checked the span
    TResourceType type = FResType;
    if (FDepth == 0) {
      const uint32_t name = FImage.ResDWord(entry);
      type = name <= 0xFFFF ? TResourceType(name) : TResourceType::rtUnknown0;
    }
    items.push_back(FImage.NewItem(FResType, entry, type, FDepth));
  }
  FItems = std::move(items);
  FListed = true;
}

TIconResourceList::TIconResourceList(TIconResource& Group)
    : TResourceList(Group.Image(), Group.EntryOffset(), TResourceType::rtIcon, 2), FGroup(Group) {}

TCursorResourceList::TCursorResourceList(TCursorResource& Group) : TIconResourceList(Group) {
  FResType = TResourceType::rtCursor;
  FEntryType = TResourceType::rtCursorEntry;
}

void TIconResourceList::List() {
  if (FListed) return;
  FImage.GetResourceList(); // remembers the entries
  const auto d = FGroup.Data();
  if (d.size() < GroupHeaderSize) FImage.Fail();
  const size_t count = Word(&d[4]);
  if ((d.size() - GroupHeaderSize) / GroupEntrySize < count) FImage.Fail();
  std::vector<TResourceItem*> items;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* groupEntry = &d[GroupHeaderSize + i * GroupEntrySize];
    const TIconResEntry* found = FImage.FindEntry(FEntryType, Word(groupEntry + 12));
    if (!found) continue;
    // A linked copy, so the entry listed under its type keeps its plain name.
    auto* item = static_cast<TIconResEntry*>(
        FImage.NewItem(FEntryType, found->EntryOffset(), FEntryType, 1));
    item->LinkToGroup(groupEntry);
    items.push_back(item);
  }
  FItems = std::move(items);
  FListed = true;
}

TExeImage::TExeImage(const std::u16string& FileName) : FFileName(FileName) {
  const int fd = ::open(QEMNativePath(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail();
  struct stat st {};
  void* view = MAP_FAILED;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    view = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd); // the mapping keeps the file
  if (view == MAP_FAILED) Fail();
  FView = static_cast<const uint8_t*>(view);
  FSize = size_t(st.st_size);
  FMapped = true;
  try {
    Open();
  } catch (...) {
    munmap(const_cast<uint8_t*>(FView), FSize);
    throw;
  }
}

TExeImage::TExeImage(std::span<const uint8_t> Bytes, const std::u16string& Name)
    : FFileName(Name), FCopy(new uint8_t[Bytes.size()]) {
  std::copy(Bytes.begin(), Bytes.end(), FCopy.get());
  FView = FCopy.get();
  FSize = Bytes.size();
  Open();
}

TExeImage::~TExeImage() {
  FItems.clear();
  FLists.clear();
  if (FMapped) munmap(const_cast<uint8_t*>(FView), FSize);
}

void TExeImage::Open() {
  if (FSize < 0x40 || FView[0] != 'M' || FView[1] != 'Z') Fail();
  const uint64_t pe = DWord(FView + 0x3C);
  if (pe + 24 > FSize || std::memcmp(FView + pe, "PE\0\0", 4) != 0) Fail();
  const uint64_t sections = Word(FView + pe + 6);
  const uint64_t table = pe + 24 + Word(FView + pe + 20);
  if (table + sections * sizeof(TImageSectionHeader) > FSize) Fail();
  TImageSectionHeader h;
  if (!GetSectionHdr(".rsrc", h)) throw EExeError(Format(SExeNoResources, FFileName));
  if (h.PointerToRawData > FSize) Fail();
  FResSize = uint32_t(std::min<uint64_t>(h.SizeOfRawData, FSize - h.PointerToRawData));
  if (FResSize < 16) Fail();
  FResBase = FView + h.PointerToRawData;
  FSectionRva = h.VirtualAddress;
}

bool TExeImage::GetSectionHdr(std::string_view SectionName, TImageSectionHeader& Header) const {
  const uint64_t pe = DWord(FView + 0x3C); // checked by Open
  const size_t sections = Word(FView + pe + 6);
  const uint8_t* table = FView + pe + 24 + Word(FView + pe + 20);
  const std::string_view want = SectionName.substr(0, 8);
  for (size_t i = 0; i < sections; ++i) {
    const uint8_t* s = table + i * sizeof(TImageSectionHeader);
    const std::string_view name(reinterpret_cast<const char*>(s),
                                strnlen(reinterpret_cast<const char*>(s), 8));
    if (name.size() != want.size() ||
        !std::equal(name.begin(), name.end(), want.begin(), [](char a, char b) {
          return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b));
        }))
      continue;
    std::memcpy(Header.Name, s, 8);
    Header.VirtualSize = DWord(s + 8);
    Header.VirtualAddress = DWord(s + 12);
    Header.SizeOfRawData = DWord(s + 16);
    Header.PointerToRawData = DWord(s + 20);
    Header.PointerToRelocations = DWord(s + 24);
    Header.PointerToLinenumbers = DWord(s + 28);
    Header.NumberOfRelocations = Word(s + 32);
    Header.NumberOfLinenumbers = Word(s + 34);
    Header.Characteristics = DWord(s + 36);
    return true;
  }
  return false;
}

TResourceList& TExeImage::GetResourceList() {
  if (FRoot) return *FRoot;
  auto* root = Own(std::make_unique<TResourceList>(*this, 0, TResourceType::rtUnknown0, 0));
  try {
    // Groups find their entries here; a repeated type would only be a second copy.
    for (int i = 0; i < root->Count(); ++i) {
      TResourceItem& type = root->GetResourceItem(i);
      const auto t = type.GetResourceType();
      auto& entries = t == TResourceType::rtIconEntry ? FIconEntries : FCursorEntries;
      if ((t != TResourceType::rtIconEntry && t != TResourceType::rtCursorEntry) ||
          !type.IsList() || !entries.empty())
        continue;
      TResourceList& list = type.GetResourceList();
      for (int j = 0; j < list.Count(); ++j) {
        auto& entry = static_cast<TIconResEntry&>(list.GetResourceItem(j));
        if (entry.HasId()) entries.try_emplace(entry.Id(), &entry);
      }
    }
  } catch (...) {
    FIconEntries.clear();
    FCursorEntries.clear();
    throw;
  }
  FRoot = root;
  return *FRoot;
}

void TExeImage::Fail() const {
  throw EExeError(Format(SExeDecompileError, FFileName));
}

std::span<const uint8_t> TExeImage::ResBytes(uint64_t Offset, uint64_t Length) const {
  if (Offset > FResSize || Length > FResSize - Offset) Fail();
  return {FResBase + Offset, size_t(Length)};
}

uint16_t TExeImage::ResWord(uint64_t Offset) const {
  return Word(ResBytes(Offset, 2).data());
}

uint32_t TExeImage::ResDWord(uint64_t Offset) const {
  return DWord(ResBytes(Offset, 4).data());
}

uint32_t TExeImage::RvaToResOffset(uint32_t Rva, uint32_t Size) const {
  if (Rva < FSectionRva) Fail();
  const uint32_t at = Rva - FSectionRva;
  ResBytes(at, Size);
  return at;
}

std::u16string TExeImage::ResName(uint32_t Offset) const {
  const uint16_t len = ResWord(Offset);
  return Utf16(ResBytes(uint64_t(Offset) + 2, 2 * uint64_t(len)).data(), len);
}

uint32_t TExeImage::DirEntryCount(uint32_t DirOffset) const {
  const uint32_t count =
      uint32_t(ResWord(uint64_t(DirOffset) + 12)) + ResWord(uint64_t(DirOffset) + 14);
  ResBytes(uint64_t(DirOffset) + 16, 8 * uint64_t(count));
  return count;
}

void TExeImage::ClaimDir(uint32_t DirOffset) {
  if (!FListedDirs.insert(DirOffset).second) Fail();
}

TResourceItem* TExeImage::NewItem(TResourceType ListType, uint32_t EntryOffset,
                                  TResourceType ItemType, int Depth) {
  std::unique_ptr<TResourceItem> item;
  using enum TResourceType;
  switch (Depth == 0 ? rtUnknown0 : ListType) {
  case rtCursorEntry:
    item = std::make_unique<TCursorResEntry>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtBitmap:
    item = std::make_unique<TBitMapResource>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtIconEntry:
    item = std::make_unique<TIconResEntry>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtMenu:
    item = std::make_unique<TMenuResource>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtString:
    item = std::make_unique<TStringResource>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtIcon:
    item = std::make_unique<TIconResource>(*this, EntryOffset, ItemType, Depth);
    break;
  case rtCursor:
    item = std::make_unique<TCursorResource>(*this, EntryOffset, ItemType, Depth);
    break;
  default:
    item = std::make_unique<TResourceItem>(*this, EntryOffset, ItemType, Depth);
  }
  return Own(std::move(item));
}

TResourceList* TExeImage::Own(std::unique_ptr<TResourceList> List) {
  FLists.push_back(std::move(List));
  return FLists.back().get();
}

TResourceItem* TExeImage::Own(std::unique_ptr<TResourceItem> Item) {
  FItems.push_back(std::move(Item));
  return FItems.back().get();
}

TIconResEntry* TExeImage::FindEntry(TResourceType EntryType, uint32_t Id) const {
  const auto& entries = EntryType == TResourceType::rtCursorEntry ? FCursorEntries : FIconEntries;
  const auto it = entries.find(Id);
  return it == entries.end() ? nullptr : it->second;
}
