#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "platform/QEMClasses.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "resources/QEMConst.h"

bool QEMNotesFormattedXML = true;

namespace {
constexpr char16_t kSep = u'\x04';

std::vector<std::string> SplitLines(std::string_view Bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (Bytes[i] == '\r' || Bytes[i] == '\n') {
      lines.emplace_back(Bytes.substr(start, i - start));
      if (Bytes[i] == '\r' && i + 1 < Bytes.size() && Bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < Bytes.size()) lines.emplace_back(Bytes.substr(start));
  return lines;
}

[[noreturn]] void ReadFailed(const std::u16string& FileName) {
  throw EQEMNotesError(Format(SNotesFileError, FileName, std::strerror(errno ? errno : EIO)));
}

// The header sits in the first few hundred bytes; a file that holds it further on is read whole.
constexpr size_t kStartBytes = 64 * 1024;

// Up to kStartBytes from the start of the file; Whole tells whether that is all of it. The
// buffer is not cleared first: only what was read is used.
TQEMFileBytes ReadStart(const std::u16string& FileName, bool& Whole, struct stat& St) {
  errno = 0;
  const int fd = ::open(QEMNativePath(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ReadFailed(FileName);
  TQEMFileBytes bytes;
  size_t got = 0, room = 0;
  bool ok = fstat(fd, &St) == 0;
  const auto grow = [&](size_t N) {
    auto more = std::make_unique_for_overwrite<char[]>(N);
    if (got > 0) std::memcpy(more.get(), bytes.FData.get(), got);
    bytes.FData = std::move(more);
    room = N;
  };
  // Sized by the file, not the limit: most notes are a few kB. The byte to spare sees the end,
  // and a file that grew since the fstat gets the room it needs.
  if (ok) grow(std::min(kStartBytes, size_t(std::max<off_t>(St.st_size, 0))) + 1);
  while (ok && got < kStartBytes + 1) {
    if (got == room) grow(std::min(kStartBytes + 1, room * 2));
    const ssize_t n = ::read(fd, bytes.FData.get() + got, room - got);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) got += size_t(n);
    // All that fstat promised, and the byte to spare still empty: the end, without asking the
    // file again.
    if (ok && S_ISREG(St.st_mode) && got == size_t(St.st_size) && got < room) break;
  }
  const int err = errno;
  ::close(fd);
  errno = err;
  if (!ok) ReadFailed(FileName);
  Whole = got <= kStartBytes;
  bytes.FSize = std::min(got, kStartBytes);
  return bytes;
}

std::atomic<int64_t> gBodyReads{0};
} // namespace

int64_t QEMNotesBodyReads() {
  return gBodyReads.load(std::memory_order_relaxed);
}

namespace notesdetail {
std::string ReadAll(const std::u16string& FileName) {
  std::string bytes;
  errno = 0;
  if (!QEMReadFileBytes(FileName, bytes)) ReadFailed(FileName);
  return bytes;
}

TFileBytes ReadWhole(const std::u16string& FileName) {
  TFileBytes bytes;
  errno = 0;
  if (!QEMReadFileBytes(FileName, bytes)) ReadFailed(FileName);
  return bytes;
}

void CountBodyRead() {
  gBodyReads.fetch_add(1, std::memory_order_relaxed);
}
} // namespace notesdetail

using notesdetail::ReadAll;

TResStatus QEMCheckedStatus(const std::u16string& ItemID, const std::u16string& Text) {
  int32_t v;
  try {
    v = QEMStrToInt(Text);
  } catch (const EQEMConvertError&) {
    throw EQEMConvertError(Format(SStatusOutOfRange, ItemID, Text));
  }
  if (!QEMIsValidStatus(v)) throw EQEMConvertError(Format(SStatusOutOfRange, ItemID, Text));
  return TResStatus(v);
}

// --- Items ---------------------------------------------------------------------------------

IQEMNotesItem::~IQEMNotesItem() = default;
IQEMNotesStats::~IQEMNotesStats() = default;
IQEMNotesItems::~IQEMNotesItems() = default;
IQEMNotesFile::~IQEMNotesFile() = default;
TQEMBaseNotesFile::~TQEMBaseNotesFile() = default;
TQEMBaseNotesFileClass::~TQEMBaseNotesFileClass() = default;

TQEMNotesItem::TQEMNotesItem(int32_t OrigCP, int32_t XlatCP)
    : FCreated(notesdetail::ItemTime()), FXlatCP(XlatCP), FOrigCP(OrigCP) {
  FList.push_back(TQEMStringPair{{}, {}, {}, notesdetail::ItemTime()});
}

TQEMNotesItem::~TQEMNotesItem() = default;

TQEMStringPair& TQEMNotesItem::Prev(int Index) {
  if (Index < 0 || Index >= int(FList.size()))
    throw EStringListError(Format(SListIndexError, Index));
  return FList[size_t(Index)];
}

const TQEMStringPair& TQEMNotesItem::Prev(int Index) const {
  return const_cast<TQEMNotesItem*>(this)->Prev(Index);
}

std::string TQEMNotesItem::GetOrigTextCP() const {
  return WideStringToStringCP(uint32_t(FOrigCP), FOrigText);
}
std::string TQEMNotesItem::GetXlatTextCP() const {
  return WideStringToStringCP(uint32_t(FXlatCP), FXlatText);
}
void TQEMNotesItem::SetOrigTextCP(const std::string& Value) {
  FOrigText = StringToWideStringCP(uint32_t(FOrigCP), Value);
}
void TQEMNotesItem::SetXlatTextCP(const std::string& Value) {
  FXlatText = StringToWideStringCP(uint32_t(FXlatCP), Value);
}

void TQEMNotesItem::AddPrev(const std::u16string& Orig, const std::u16string& Xlat,
                            const std::u16string& TagName) {
  FList.insert(FList.begin(), TQEMStringPair{Orig, Xlat, TagName, QEMNowUTC()});
}

void TQEMNotesItem::DelPrev(int Index) {
  Prev(Index);
  FList.erase(FList.begin() + Index);
}

void TQEMNotesItem::MoveCurrentToHistory(const std::u16string& TagName) {
  if (!FList.empty() && FList[0].FOrigText.empty() && FList[0].FXlatText.empty())
    FList[0] = TQEMStringPair{FOrigText, FXlatText, TagName, QEMNowUTC()};
  else
    AddPrev(FOrigText, FXlatText, TagName);
}

void TQEMNotesItem::Assign(IQEMNotesItem& Source) {
  FID = Source.GetID();
  FOrigText = Source.GetOrigText();
  FXlatText = Source.GetXlatText();
  FCreated = Source.GetCreated();
  FModified = Source.GetModified();
  FStatus = Source.GetStatus();
  FComment = Source.GetComment();
  std::vector<TQEMStringPair> history;
  history.reserve(size_t(Source.GetPrevCount()));
  for (int i = 0; i < Source.GetPrevCount(); ++i)
    history.push_back(TQEMStringPair{Source.GetPrevOrigText(i), Source.GetPrevXlatText(i),
                                     Source.GetPrevTagName(i), Source.GetPrevModified(i)});
  FList = std::move(history);
}

std::u16string TQEMNotesItem::GetText(int32_t OrigCP, int32_t XlatCP, bool WithCurr) {
  FOrigCP = OrigCP;
  FXlatCP = XlatCP;
  const std::u16string sep(1, kSep);
  const TQEMStringPair empty;
  const TQEMStringPair& prev = FList.empty() ? empty : FList[0];
  std::u16string r = u"ID:" + FID;
  r += sep + u"Orig:" + StrToQEM(FOrigText);
  r += sep + u"Status:" + IntToStr(FStatus);
  if (WithCurr) r += sep + u"Curr:" + StrToQEM(FXlatText);
  r += sep + u"PrevOrig:" + StrToQEM(prev.FOrigText);
  r += sep + u"PrevCurr:" + StrToQEM(prev.FXlatText);
  r += sep + u"Created:" + QEMFloatToStr(FCreated);
  r += sep + u"Modified:" + QEMFloatToStr(FModified);
  r += sep + u"Comment:" + FComment + sep;
  return r;
}

void TQEMNotesItem::SetText(int32_t, int32_t, const std::u16string& Text) {
  const std::u16string sep(1, kSep);
  // Parse everything before changing anything, so a bad line leaves the item as it was.
  const std::u16string id = GetOldNotesValue(Text, u"ID:");
  const TDateTime created = QEMStrToFloat(GetOldNotesValue(Text, sep + u"Created:"));
  const TDateTime modified = QEMStrToFloat(GetOldNotesValue(Text, sep + u"Modified:"));
  const TResStatus status = QEMCheckedStatus(id, GetOldNotesValue(Text, sep + u"Status:"));
  FID = id;
  FResName = id;
  FCreated = created;
  FOrigText = QEMToStr(GetOldNotesValue(Text, sep + u"Orig:"));
  FXlatText = QEMToStr(GetOldNotesValue(Text, sep + u"Curr:"));
  FModified = modified;
  if (FList.empty()) FList.push_back(TQEMStringPair{{}, {}, {}, QEMNowUTC()});
  FList[0].FOrigText = QEMToStr(GetOldNotesValue(Text, sep + u"PrevOrig:"));
  FList[0].FXlatText = QEMToStr(GetOldNotesValue(Text, sep + u"PrevCurr:"));
  FStatus = status;
  FComment = GetOldNotesValue(Text, sep + u"Comment:");
}

std::u16string GetOldNotesValue(const std::u16string& Text, const std::u16string& Key) {
  const size_t at = Text.find(Key);
  if (at == std::u16string::npos) return {};
  const size_t start = at + Key.size();
  const size_t end = Text.find(kSep, start);
  return end == std::u16string::npos ? std::u16string() : Text.substr(start, end - start);
}

// --- Stats ---------------------------------------------------------------------------------

std::string TQEMNotesStats::GetText() const {
  const std::u16string text = Format(
      u"QEM: %s %s %s %s %d %d %s %s \"", FStats.Version, QEMFloatToStr(FStats.SelfDateTime),
      QEMFloatToStr(FStats.OrigDateTime), QEMFloatToStr(FStats.XlatDateTime), FStats.Translated,
      FStats.UnTranslated, LCIDToStr(FStats.OrigLCID), LCIDToStr(FStats.XlatLCID));
  const uint32_t cp = QEMSystemCodePage();
  return WideStringToStringCP(cp, text) + WideStringToStringCP(cp, FStats.OrigFileName) + "\" ";
}

void TQEMNotesStats::SetText(const std::string& Value) {
  const std::u16string text = StringToWideStringCP(QEMSystemCodePage(), Value);
  std::vector<std::u16string> tokens;
  size_t i = 0;
  const auto isBreak = [](char16_t c) { return c == u' ' || c == u'\r' || c == u'\n'; };
  while (i < text.size()) {
    while (i < text.size() && isBreak(text[i]))
      ++i;
    if (i >= text.size()) break;
    std::u16string token;
    while (i < text.size() && !isBreak(text[i])) {
      const char16_t c = text[i++];
      token.push_back(c);
      if (c == u'"' || c == u'\'') {
        // A quoted part runs to its matching quote, spaces and all.
        const size_t close = text.find(c, i);
        const size_t end = close == std::u16string::npos ? text.size() : close + 1;
        token.append(text, i, end - i);
        i = end;
      }
    }
    tokens.push_back(std::move(token));
  }
  const auto token = [&](size_t n) { return n < tokens.size() ? tokens[n] : std::u16string(); };
  TFileStats s = FStats;
  s.Version = token(1);
  s.SelfDateTime = QEMStrToFloat(token(2));
  s.OrigDateTime = QEMStrToFloat(token(3));
  s.XlatDateTime = QEMStrToFloat(token(4));
  s.Translated = QEMStrToInt(token(5));
  s.UnTranslated = QEMStrToInt(token(6));
  s.OrigLCID = LCID(uint32_t(QEMStrToInt(token(7))));
  s.XlatLCID = LCID(uint32_t(QEMStrToInt(token(8))));
  const std::u16string name = token(9);
  s.OrigFileName = name.size() >= 2 ? name.substr(1, name.size() - 2) : std::u16string();
  FStats = s;
  FOrigStamp.clear(); // the legacy header has no place for one
}

// --- Item list -----------------------------------------------------------------------------

void TQEMNotesItems::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EStringListError(Format(SListIndexError, Index));
}
IQEMNotesItemPtr TQEMNotesItems::Get(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)];
}
void TQEMNotesItems::Put(int Index, IQEMNotesItemPtr Item) {
  CheckIndex(Index);
  FItems[size_t(Index)] = std::move(Item);
}
int TQEMNotesItems::Add(IQEMNotesItemPtr Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}
void TQEMNotesItems::Insert(int Index, IQEMNotesItemPtr Item) {
  if (Index < 0 || Index > Count()) throw EStringListError(Format(SListIndexError, Index));
  FItems.insert(FItems.begin() + Index, std::move(Item));
}
void TQEMNotesItems::Delete(int Index) {
  CheckIndex(Index);
  FItems.erase(FItems.begin() + Index);
}
void TQEMNotesItems::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
}
int TQEMNotesItems::IndexOf(const IQEMNotesItemPtr& Item) const {
  const auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}
int TQEMNotesItems::Remove(const IQEMNotesItemPtr& Item) {
  const int i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

// --- Notes file ----------------------------------------------------------------------------

TQEMCustomNotesFile::TQEMCustomNotesFile()
    : FStats(std::make_shared<TQEMNotesStats>()), FItems(std::make_shared<TQEMNotesItems>()),
      FFormatted(QEMNotesFormattedXML) {}

TQEMCustomNotesFile::~TQEMCustomNotesFile() = default;

IQEMNotesItemPtr TQEMCustomNotesFile::CreateNotesItem() {
  return std::make_shared<TQEMNotesItem>(int32_t(LCIDToCodePage(FStats->GetOrigLCID())),
                                         int32_t(LCIDToCodePage(FStats->GetXlatLCID())));
}

void TQEMCustomNotesFile::ReadCustomProp(TQEMXMLNode, IQEMNotesItem&) {}
void TQEMCustomNotesFile::WriteCustomProp(TQEMXMLNode, IQEMNotesItem&) {}
void TQEMCustomNotesFile::SaveOldNotes(std::ostream&) {
  throw EQEMNotesError(std::u16string(SNotesLegacyWrite));
}
std::u16string TQEMCustomNotesFile::ConvertFromRaw(const std::u16string& Text) {
  return Text;
}
std::u16string TQEMCustomNotesFile::ConvertToRaw(const std::u16string& Text) {
  return Text;
}
std::string TQEMCustomNotesFile::GetCommentBegin() {
  return "/*";
}
std::string TQEMCustomNotesFile::GetCommentEnd() {
  return "*/";
}

IQEMNotesItemsPtr TQEMCustomNotesFile::GetItems() {
  if (FBodyNotLoaded) LoadNotesBody();
  return FItems;
}

void TQEMCustomNotesFile::Open(const std::u16string& FileName) {
  const std::u16string oldName = FFileName;
  const IQEMNotesItemsPtr oldItems = FItems;
  const bool oldBodyNotLoaded = FBodyNotLoaded, oldLegacy = FLegacy, oldFormatted = FFormatted;
  const TFileStats oldStats = FStats->GetFileStats();
  const auto oldDoc = FDoc;
  const TQEMXMLNode oldRoot = FXLIFF;
  const TIdentity oldOpened = FOpened;
  try {
    bool whole = false;
    struct stat st {};
    const TQEMFileBytes read = ReadStart(FileName, whole, st);
    const std::string_view bytes = read;
    FOpened = TIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                        int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    FFileName = FileName;
    FItems = std::make_shared<TQEMNotesItems>();
    FBodyNotLoaded = false;
    const std::string marker = GetCommentBegin() + "QEM:";
    FLegacy = bytes.starts_with(marker);
    if (FLegacy)
      LoadOldNotesHeader(bytes);
    else
      LoadNewNotesHeader(bytes, whole);
  } catch (...) {
    FOpened = oldOpened;
    // A failed open leaves the object as it was: name, items, header and document.
    FFileName = oldName;
    FItems = oldItems;
    FBodyNotLoaded = oldBodyNotLoaded;
    FLegacy = oldLegacy;
    FFormatted = oldFormatted;
    FStats->SetFileStats(oldStats);
    FDoc = oldDoc;
    FXLIFF = oldRoot;
    throw;
  }
}

void TQEMCustomNotesFile::LoadOldNotesHeader(std::string_view Bytes) {
  try {
    FStats->SetText(std::string(Bytes.substr(0, 512)));
  } catch (const EQEMConvertError& e) {
    throw EQEMNotesError(Format(SNotesFileError, FFileName, e.Message()));
  }
  if (FStats->GetVersion() != u"5.0")
    throw EQEMNotesError(Format(SNotesLegacyVersion, FFileName, FStats->GetVersion()));
  // The document of a previous open must not be written into this file.
  FDoc.reset();
  FXLIFF = TQEMXMLNode();
  FBodyNotLoaded = true;
}

void TQEMCustomNotesFile::LoadNotesBody() {
  FBodyNotLoaded = false;
  try {
    if (FLegacy || !FDoc) {
      // Another file under the name since the open would mix its body with the old header.
      struct stat st {};
      if (::stat(QEMNativePath(FFileName).c_str(), &st) != 0) ReadFailed(FFileName);
      const TIdentity now{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                          int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
      if (!(now == FOpened)) throw EQEMNotesError(Format(SNotesChangedSinceOpen, FFileName));
    }
    if (FLegacy) {
      notesdetail::CountBodyRead();
      LoadOldNotes(ReadAll(FFileName));
    } else {
      if (!FDoc) {
        const auto bytes = notesdetail::ReadWhole(FFileName);
        notesdetail::CountBodyRead();
        std::shared_ptr<TQEMXMLDocument> head;
        if (notesdetail::DropOwnDocument &&
            notesdetail::ScanOwnNotes(*this, bytes, head, *FItems)) {
          FDoc = std::move(head);
          FXLIFF = TQEMXMLNode();
          return;
        }
        auto doc = CreateNewDocument();
        if (!LoadFromBytes(*doc, bytes))
          throw EQEMNotesError(Format(SNotesNotXML, FFileName, doc->LastError()));
        FXLIFF = doc->DocumentElement();
        FDoc = std::move(doc);
      }
      LoadNewNotes();
    }
  } catch (const EQEMConvertError& e) {
    // A partial list would let the next save sweep away what was not read.
    FItems = std::make_shared<TQEMNotesItems>();
    FBodyNotLoaded = true;
    throw EQEMNotesError(Format(SNotesFileError, FFileName, e.Message()));
  } catch (...) {
    FItems = std::make_shared<TQEMNotesItems>();
    FBodyNotLoaded = true;
    throw;
  }
}

void TQEMCustomNotesFile::LoadOldNotes(std::string_view Bytes) {
  std::vector<std::string> lines = SplitLines(Bytes);
  const std::string marker = GetCommentBegin() + "QEM:";
  size_t first = 0;
  if (first < lines.size() && lines[first].compare(0, marker.size(), marker) == 0) {
    FStats->SetText(lines[first]);
    ++first;
    if (first < lines.size() && lines[first].compare(0, marker.size(), marker) == 0) ++first;
  }
  const int32_t origCP = int32_t(LCIDToCodePage(FStats->GetOrigLCID()));
  const int32_t xlatCP = int32_t(LCIDToCodePage(FStats->GetXlatLCID()));
  const uint32_t systemCP = QEMSystemCodePage();
  const std::string open = GetCommentBegin(), close = GetCommentEnd();
  std::string acc;
  bool hasOpen = false, hasClose = false;
  // Only the new part is searched (with room for a marker split over two lines), so an
  // unclosed comment running over many lines stays linear.
  const auto newFrom = [&](const std::string& Marker) {
    return !Marker.empty() && acc.size() >= Marker.size() ? acc.size() - (Marker.size() - 1) : 0;
  };
  for (size_t n = first; n < lines.size(); ++n) {
    const size_t openFrom = newFrom(open), closeFrom = newFrom(close);
    acc += lines[n];
    hasOpen = hasOpen || acc.find(open, openFrom) != std::string::npos;
    hasClose = hasClose || acc.find(close, closeFrom) != std::string::npos;
    if (!hasOpen || !hasClose) continue;
    hasOpen = hasClose = false;
    if (acc.compare(0, open.size(), open) == 0) acc.erase(0, open.size());
    if (acc.size() >= close.size() &&
        acc.compare(acc.size() - close.size(), close.size(), close) == 0)
      acc.erase(acc.size() - close.size());
    IQEMNotesItemPtr item = CreateNotesItem();
    FItems->Add(item);
    item->SetText(origCP, xlatCP, StringToWideStringCP(systemCP, acc));
    item->SetOrigText(ConvertToRaw(item->GetOrigText()));
    item->SetXlatText(ConvertToRaw(item->GetXlatText()));
    if (item->GetPrevCount() > 0) {
      item->SetPrevOrigText(0, ConvertToRaw(item->GetPrevOrigText(0)));
      item->SetPrevXlatText(0, ConvertToRaw(item->GetPrevXlatText(0)));
    }
    acc.clear();
  }
}

std::string TQEMCustomNotesFile::GetOldHeaderString() {
  const std::string open = GetCommentBegin(), close = GetCommentEnd();
  return open + FStats->GetText() + close + "\r\n" + open +
         "QEM: " + WideStringToStringCP(QEMSystemCodePage(), SNotesWarningLine) + close + "\r\n";
}

void TQEMCustomNotesFile::ReCalcStats() {
  int32_t translated = 0, untranslated = 0;
  const IQEMNotesItemsPtr items = GetItems();
  for (int i = 0; i < items->Count(); ++i) {
    const IQEMNotesItemPtr item = items->Get(i);
    if (auto loc = std::dynamic_pointer_cast<IQEMNotesItemWithLocalize>(item);
        loc && !loc->GetLocalize())
      continue;
    const TResStatus s = item->GetStatus();
    if (QEMTranslatedStatuses.Contains(s))
      ++translated;
    else if (QEMUnTranslatedStatuses.Contains(s))
      ++untranslated;
  }
  FStats->SetTranslated(translated);
  FStats->SetUnTranslated(untranslated);
}

void TQEMCustomNotesFile::Save() {
  SaveAs(FFileName);
}

void TQEMCustomNotesFile::SaveAs(const std::u16string& FileName) {
  SaveAsNewVersion(FileName, FStats->GetVersion());
}

void TQEMCustomNotesFile::SaveAsNewVersion(const std::u16string& FileName,
                                           const std::u16string& Version) {
  if (FBodyNotLoaded) LoadNotesBody();
  std::u16string version =
      Version.find(u'.') == std::u16string::npos ? std::u16string(u"9.0") : Version;
  const TFileStats before = FStats->GetFileStats();
  try {
    FStats->SetVersion(version);
    ReCalcStats();
    FStats->SetSelfDateTime(QEMFileDateResolution(QEMNow()));
    const auto major = TryStrToInt(version.substr(0, version.find(u'.')));
    if (major && *major == 5) FStats->SetVersion(u"9.0");
    const timespec when = QEMLocalToFileTime(FStats->GetSelfDateTime());
    QEMSaveFileAtomically(
        FileName, [this](std::ostream& Out) { SaveNewNotes(Out); }, &when);
  } catch (const EQEMXMLError& e) {
    FStats->SetFileStats(before);
    // The document's refusal names the text, not the file it was for.
    throw EQEMNotesError(Format(SNotesCannotSave, FileName, e.Message()));
  } catch (...) {
    // Nothing was written: the header keeps describing the file on disk.
    FStats->SetFileStats(before);
    throw;
  }
  FFileName = FileName;
  FLegacy = false;
}

bool IsOldNotesFile(const std::u16string& FileName, const std::string& Marker) {
  const std::string want = Marker + "QEM: ";
  std::ifstream f(QEMNativePath(FileName), std::ios::binary);
  if (!f) return false;
  std::string got(want.size(), '\0');
  f.read(got.data(), std::streamsize(got.size()));
  return size_t(f.gcount()) == want.size() && got == want;
}

std::u16string QEMNotesDocumentHead() {
  return u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         u"<!DOCTYPE xliff PUBLIC \"-//XLIFF//DTD XLIFF//EN\"\r\n"
         u" \"http://www.oasis-open.org/committees/xliff/documents/xliff.dtd\" >\r\n"
         u"<xliff version=\"1.0\" />\r\n";
}
