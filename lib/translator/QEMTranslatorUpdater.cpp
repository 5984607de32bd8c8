#include "translator/QEMTranslatorUpdater.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

std::string ReadBytes(const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) throw EQEMError(Format(SFileNotFound, FileName));
  return bytes;
}

// Dates are written with 15 significant digits: two that print alike are the same date.
bool SameDate(TDateTime A, TDateTime B) {
  if (A == B && std::signbit(A) == std::signbit(B)) return true;
  if (!std::isfinite(A) || !std::isfinite(B) || A == 0 || B == 0)
    return QEMFloatToStr(A) == QEMFloatToStr(B);
  // Apart by more than the last digit written: never alike. Else the digits written decide.
  if (std::abs(A - B) > 1e-13 * std::max(std::abs(A), std::abs(B))) return false;
  char a[32], b[32];
  const char* endA = std::to_chars(a, a + sizeof a, A, std::chars_format::scientific, 14).ptr;
  const char* endB = std::to_chars(b, b + sizeof b, B, std::chars_format::scientific, 14).ptr;
  return std::string_view(a, size_t(endA - a)) == std::string_view(b, size_t(endB - b));
}

// Deletes a file the run wants gone; a failure is an error of the file, not a silent success.
void DeleteOrReport(const std::u16string& FileName) {
  if (FileExists(FileName) && !DeleteFile(FileName))
    ShowError(Format(SUpdaterDeleteFailed, FileName));
}

// Keyed by the absolute, normalised translated path.
std::unordered_map<std::u16string, std::u16string> gProjectSources;

bool IsAsciiAbsolute(const std::u16string& Path) {
  if (Path.empty() || (Path[0] != u'/' && Path[0] != u'\\')) return false;
  for (const char16_t c : Path)
    if (c >= 0x80 || c == 0) return false;
  return true;
}

std::u16string SourceKey(const std::u16string& XlatName) {
  // What the long way gives such a name: it is absolute already and its bytes read back alike.
  if (IsAsciiAbsolute(XlatName)) return QEMNormalizePath(QEMSlashes(XlatName));
  std::error_code ec;
  const auto abs = std::filesystem::absolute(QEMNativePath(XlatName), ec);
  return QEMNormalizePath(ec ? QEMSlashes(XlatName) : UTF8ToUTF16(abs.string()));
}

// The workspace and every run of a project ask for the same names again. An absolute result
// depends on the arguments alone, so it is kept with its key, by the arguments.
struct TKnownXlatName {
  std::u16string Result, Key;
};
thread_local std::unordered_map<std::u16string, TKnownXlatName> gKnownXlatNames;
constexpr size_t kKnownXlatNamesMax = 4096;

// The three arguments in one text (kept only for names without a NUL).
std::u16string XlatNameArgs(const std::u16string& File, const std::u16string& XlatPath,
                            const std::u16string& BaseDir) {
  std::u16string key;
  key.reserve(File.size() + XlatPath.size() + BaseDir.size() + 2);
  key += File;
  key += u'\0';
  key += XlatPath;
  key += u'\0';
  key += BaseDir;
  return key;
}

// Every file of a folder passes here; the folder is cleaned once per process anyway.
void RemoveLeftoversOnce(const std::u16string& Folder) {
  thread_local std::u16string last;
  if (!Folder.empty() && Folder[0] == u'/' && Folder == last) return;
  QEMRemoveLeftoverTempFilesOnce(Folder);
  last = Folder;
}

// One look at a file: whether it is a regular file, its time and its size, of one moment.
struct TLook {
  bool Exists = false;
  timespec Time{};
  int64_t Size = -1;
};

TLook LookAt(const std::u16string& Name) {
  TLook look;
  struct stat st {};
  if (Name.empty() || ::stat(QEMNativePath(Name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return look;
  look.Exists = true;
  look.Time = st.st_mtim;
  look.Size = int64_t(st.st_size);
  return look;
}

TDateTime DateOf(const TLook& Look) {
  return QEMFileDateResolution(QEMFileTimeToLocal(Look.Time));
}

// What the notes record of a source beyond its date: its size and exact time and, where the
// time alone cannot tell a later edit, a digest of what was read. Within the window after a
// change (or with a time ahead of the clock) a second edit keeps the date, and on file systems
// that count time coarsely even the exact time.
struct TStamp {
  int64_t Time = 0; // nanoseconds since the epoch
  int64_t Size = -1;
  std::string Digest;
};
constexpr int64_t kStampWindowNs = 2'000'000'000;

bool StatFile(const std::u16string& Name, TStamp& S) {
  timespec t{};
  std::error_code ec;
  const auto size = std::filesystem::file_size(QEMNativePath(Name), ec);
  if (ec || !QEMGetFileTime(Name, t)) return false;
  S.Time = int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  S.Size = int64_t(size);
  return true;
}

// A digest of a file that had not changed for longer than the window when it was read: as long
// as the file keeps its identity, size and times it has that content, since any write would
// have set a later change time. A source read for several languages is hashed once.
struct TKnownDigest {
  uint64_t Device = 0, Inode = 0;
  int64_t Size = -1, MTimeNs = 0, CTimeNs = 0;
  std::string Digest;
  bool Matches(const struct stat& St) const;
};

int64_t Ns(const timespec& T) {
  return int64_t(T.tv_sec) * 1'000'000'000 + T.tv_nsec;
}

bool TKnownDigest::Matches(const struct stat& St) const {
  return Device == uint64_t(St.st_dev) && Inode == uint64_t(St.st_ino) &&
         Size == int64_t(St.st_size) && MTimeNs == Ns(St.st_mtim) && CTimeNs == Ns(St.st_ctim);
}

thread_local std::unordered_map<std::string, TKnownDigest> gKnownDigests;
constexpr size_t kKnownDigestsMax = 4096;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t Fnv1a(uint64_t H, const unsigned char* P, size_t N) {
  size_t i = 0;
  for (; i + 4 <= N; i += 4) {
    H = (H ^ P[i]) * kFnvPrime;
    H = (H ^ P[i + 1]) * kFnvPrime;
    H = (H ^ P[i + 2]) * kFnvPrime;
    H = (H ^ P[i + 3]) * kFnvPrime;
  }
  for (; i < N; ++i)
    H = (H ^ P[i]) * kFnvPrime;
  return H;
}

// FNV-1a in 16 hex digits: it has to tell an edit, not withstand an attacker. Empty when the
// file cannot be read.
std::string DigestOf(const std::u16string& Name) {
  const std::string native = QEMNativePath(Name);
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular) {
    const auto found = gKnownDigests.find(native);
    if (found != gKnownDigests.end() && found->second.Matches(st)) {
      ::close(fd);
      return found->second.Digest;
    }
  }
  const int64_t readAt = NowNs();
  uint64_t h = 14695981039346656037ull;
  unsigned char chunk[16384];
  int64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return {};
    }
    h = Fnv1a(h, chunk, size_t(n));
    total += n;
    // A short read that completes what fstat promised is the end.
    if (regular && total == int64_t(st.st_size) && size_t(n) < sizeof chunk) break;
  }
  ::close(fd);
  std::string text(16, '0');
  for (size_t i = 16; i-- > 0; h >>= 4)
    text[i] = "0123456789abcdef"[h & 15];
  const int64_t settled = readAt - kStampWindowNs;
  if (regular && Ns(st.st_ctim) < settled && Ns(st.st_mtim) < settled) {
    if (gKnownDigests.size() >= kKnownDigestsMax) gKnownDigests.clear();
    gKnownDigests[native] =
        TKnownDigest{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                     Ns(st.st_mtim),      Ns(st.st_ctim),      text};
  }
  return text;
}

// Empty when nothing trustworthy could be taken: the next run then reads the file again.
std::u16string TakeStamp(const std::u16string& Name) {
  TStamp s;
  if (!StatFile(Name, s)) return {};
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  if (s.Time > int64_t(now) - kStampWindowNs) {
    s.Digest = DigestOf(Name);
    if (s.Digest.empty()) return {};
  }
  std::string text = std::to_string(s.Time) + ' ' + std::to_string(s.Size);
  if (!s.Digest.empty()) text += ' ' + s.Digest;
  return UTF8ToUTF16(text);
}

// What TakeStamp writes: digits, a space, digits, and perhaps a space and the digest.
bool ParseWrittenStamp(const std::u16string& Text, TStamp& S) {
  size_t at = 0;
  const auto number = [&](int64_t& Value) {
    const size_t from = at;
    uint64_t v = 0; // 19 digits fit; the range is checked after
    for (; at < Text.size() && at - from < 20 && Text[at] >= u'0' && Text[at] <= u'9'; ++at)
      v = v * 10 + uint64_t(Text[at] - u'0');
    Value = int64_t(v);
    return at > from && at - from < 20 && v <= uint64_t(INT64_MAX) &&
           (at == Text.size() || Text[at] == u' ');
  };
  if (!number(S.Time) || at == Text.size() || ++at == Text.size() || !number(S.Size)) return false;
  if (at == Text.size()) return true;
  const std::u16string_view digest = std::u16string_view(Text).substr(at + 1);
  if (digest.empty() || digest.size() > 16) return false;
  for (const char16_t ch : digest)
    if (!((ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f'))) return false;
  S.Digest.assign(digest.begin(), digest.end());
  return true;
}

bool ParseStamp(const std::u16string& Text, TStamp& S) {
  if (ParseWrittenStamp(Text, S)) return true;
  S = TStamp{};
  std::istringstream in(UTF16ToUTF8(Text));
  if (!(in >> S.Time >> S.Size)) return false;
  in >> S.Digest;
  return true;
}

// Called where the date is the same as recorded; without a usable record, changed.
bool StampChanged(const std::u16string& Name, const TLook& Now, const std::u16string& Recorded) {
  TStamp was;
  if (!ParseStamp(Recorded, was)) return true;
  const int64_t time = int64_t(Now.Time.tv_sec) * 1'000'000'000 + Now.Time.tv_nsec;
  if (time != was.Time || Now.Size != was.Size) return true;
  return !was.Digest.empty() && DigestOf(Name) != was.Digest;
}

} // namespace

std::u16string QEMProjectSourceFile(const std::u16string& XlatName) {
  const auto found = gProjectSources.find(SourceKey(XlatName));
  return found == gProjectSources.end() ? std::u16string() : found->second;
}

void QEMSetProjectSourceFile(const std::u16string& XlatName, const std::u16string& SourceName) {
  gProjectSources[SourceKey(XlatName)] = SourceName;
}

IQEMTranslatorUpdater::~IQEMTranslatorUpdater() = default;
IQEMXlatWriter::~IQEMXlatWriter() = default;
IQEMXlatSourceWriter::~IQEMXlatSourceWriter() = default;

// ---- TQEMTranslatorUpdater ----

TQEMUpdateContext::TQEMUpdateContext(LCID AOrigLCID, LCID AXlatLCID, bool AUpdateFromOrig)
    : OrigLCID(AOrigLCID), XlatLCID(AXlatLCID), UpdateFromOrig(AUpdateFromOrig) {
  Strings.SetCaseSensitive(true);
}

TQEMTranslatorUpdater::TQEMTranslatorUpdater() : FFiles(std::make_unique<TStringList>()) {}
TQEMTranslatorUpdater::~TQEMTranslatorUpdater() = default;

void TQEMTranslatorUpdater::AddString(const IQEMNotesItemPtr& Item) {
  if (Ctx().MergeList)
    Ctx().MergeList->push_back(Item);
  else
    Ctx().NewNotesFile->GetItems()->Add(Item);
}

void TQEMTranslatorUpdater::AddUnusedString(const IQEMNotesItemPtr& Item) {
  AddString(Item);
}

void TQEMTranslatorUpdater::NewString(const IQEMNotesItemPtr& Item) {
  Item->SetCreated(QEMNow());
  Item->SetModified(Item->GetCreated());
  if (Item->GetPrevCount() > 0) {
    Item->SetPrevOrigText(0, u"");
    Item->SetPrevXlatText(0, u"");
  }
  Item->SetComment(u"");
  AddString(Item);
}

std::u16string TQEMTranslatorUpdater::GetXlatFileName(const std::u16string& AFileName,
                                                      const std::u16string& AXlatPath,
                                                      const std::u16string& ABaseDir, void*) {
  std::u16string args = XlatNameArgs(AFileName, AXlatPath, ABaseDir);
  if (const auto known = gKnownXlatNames.find(args); known != gKnownXlatNames.end()) {
    // As the full call would: the folder made again if it went, the source recorded again.
    const std::u16string& result = known->second.Result;
    const std::u16string dir = ExtractFilePath(result);
    if (!dir.empty() && !DirectoryExists(dir) && !ForceDirectories(dir))
      throw EQEMError(Format(SCannotCreateDir, dir));
    gProjectSources[known->second.Key] = AFileName;
    return result;
  }
  std::u16string result = ::GetXlatFileName(AFileName, AXlatPath, ABaseDir);
  std::u16string key = SourceKey(result);
  gProjectSources[key] = AFileName;
  if (result.starts_with(u'/') && AFileName.find(u'\0') == std::u16string::npos &&
      AXlatPath.find(u'\0') == std::u16string::npos) {
    if (gKnownXlatNames.size() >= kKnownXlatNamesMax) gKnownXlatNames.clear();
    gKnownXlatNames.emplace(std::move(args), TKnownXlatName{result, std::move(key)});
  }
  return result;
}

void TQEMTranslatorUpdater::AfterSave(const std::u16string&) {}

int32_t TQEMTranslatorUpdater::GetTranslatorCount(int32_t Count) {
  if (Count != -1) FTranslatorCount = Count;
  return FTranslatorCount;
}

// ---- TQEMCustomUpdater ----

struct TQEMCustomUpdater::TRunArgs {
  std::u16string ProjName, BaseDir, XlatPath;
  TStats* Stats;
  bool Overwrite;
  bool Counted; // the caller gave both languages
  void* Data;
  const TCallBackFunc* CallBack;
  LCID OrigLCID, XlatLCID;
  IQEMXlatWriterPtr Writer = nullptr; // held for a source run
};

TQEMCustomUpdater::TQEMCustomUpdater(const TQEMTranslatorMgrClass& AMgrClass)
    : FMgrClass(AMgrClass) {}

TQEMCustomUpdater::~TQEMCustomUpdater() = default;

std::u16string TQEMCustomUpdater::_ConvertFromRawString(const std::u16string& S) {
  return FMgrClass.ConvertFromRawString(S);
}
std::u16string TQEMCustomUpdater::_ConvertToRawString(const std::u16string& S) {
  return FMgrClass.ConvertToRawString(S);
}
std::u16string TQEMCustomUpdater::GetNotesFileName(const std::u16string& AFileName) {
  return FMgrClass.FileNameToNoteName(AFileName);
}
bool TQEMCustomUpdater::CanUpdateFromXlat() {
  return true;
}
std::u16string TQEMCustomUpdater::GetString(int Index) {
  return FCurrStrings->Get2(Index);
}
bool TQEMCustomUpdater::IsSeparatedNotes(bool, bool) {
  return true;
}
bool TQEMCustomUpdater::MarkDeletedItemAsUnused() {
  return true;
}
bool TQEMCustomUpdater::GenerateXlat() {
  return true;
}
std::u16string TQEMCustomUpdater::GetDefaultNotesVersion() {
  return QEMDefaultNotesVersion;
}

void TQEMCustomUpdater::LookUpRepository(const IQEMNotesItemPtr& Item, const std::u16string& Orig) {
  if (!QEMINTOptionProps || !QEMINTOptionProps->AutomaticallyQueryRepository) return;
  auto& services = QEMRepositoryServices();
  try {
    services.Init();
  } catch (const EQEMError& e) {
    // The repository reads its file once: a damaged one is reported here, the first time, and
    // the run goes on without look-ups.
    ShowError(e.Message());
    return;
  }
  services.SetOrigLCID(OrigLCID());
  services.SetXlatLCID(XlatLCID());
  std::u16string found;
  services.GetTranslation(_ConvertToRawString(Orig), found);
  if (services.FromRepository()) {
    Item->SetXlatText(_ConvertFromRawString(found));
    Item->SetStatus(rsAutoTranslated);
  }
}

void TQEMCustomUpdater::NewString(const IQEMNotesItemPtr& Item) {
  auto& c = Ctx();
  Item->SetID(c.Strings.Get(c.CurrIndex));
  Item->SetResName(c.Strings.GetResName(c.CurrIndex));
  const std::u16string text = GetString(c.CurrIndex);
  if (c.UpdateFromOrig) {
    Item->SetOrigText(text);
    Item->SetXlatText(text);
    Item->SetStatus(rsUnTranslated);
    LookUpRepository(Item, text);
  } else {
    Item->SetOrigText(u"");
    Item->SetXlatText(text);
    Item->SetStatus(TranslatedStatus);
  }
  TQEMTranslatorUpdater::NewString(Item);
}

void TQEMCustomUpdater::UpdateString(const IQEMNotesItemPtr& Item) {
  const auto& c = Ctx();
  Item->SetModified(QEMNow());
  if (c.UpdateFromOrig) {
    if (Item->GetStatus() != rsUnTranslated) Item->MoveCurrentToHistory(u"");
    Item->SetOrigText(c.NewText);
    Item->SetXlatText(c.NewText);
    Item->SetStatus(rsUnTranslated);
    LookUpRepository(Item, c.NewText);
  } else {
    Item->SetXlatText(c.NewText);
    Item->SetStatus(TranslatedStatus);
  }
  AddString(Item);
}

void TQEMCustomUpdater::UnusedString(const IQEMNotesItemPtr& Item) {
  Item->SetModified(QEMNow());
  Item->SetStatus(rsUnused);
  AddUnusedString(Item);
}

// The merge edits a copy, so a failed merge leaves the items as they were. Assign leaves the
// resource name behind; the copy keeps it.
IQEMNotesItemPtr TQEMCustomUpdater::CopyOf(const IQEMNotesItemPtr& Item) {
  auto copy = NewNotesFile()->CreateNotesItem();
  copy->Assign(*Item);
  copy->SetResName(Item->GetResName());
  return copy;
}

// The position in the notes list of the first unmatched item of ID, taken; -1 when none.
int TQEMCustomUpdater::TakeUnmatched(const std::u16string& ID) {
  auto& c = Ctx();
  const auto found = c.Index.find(ID);
  if (found == c.Index.end() || found->second.Next >= found->second.Pos.size()) return -1;
  const int i = found->second.Pos[found->second.Next++];
  c.Matched[i] = true;
  --c.NotesCount;
  return i;
}

TResAction TQEMCustomUpdater::ActionForString() {
  auto& c = Ctx();
  const std::u16string& id = c.Strings.Get(c.CurrIndex);
  static const std::u16string none;
  const auto* read = static_cast<const TQEMStringObject*>(c.Strings.GetObject(c.CurrIndex));
  const std::u16string& readResName = read ? read->FString2 : none;
  c.NewText = GetString(c.CurrIndex);
  int i = TakeUnmatched(id);
  bool migrated = false;
  if (i < 0) {
    // Notes written before the package keyed the item this way know it by its former id; in
    // the source direction only where that item still holds the same text.
    const std::u16string former = c.Strings.GetFormerID(c.CurrIndex);
    const auto found = former.empty() ? c.Index.end() : c.Index.find(former);
    if (found == c.Index.end() || found->second.Next >= found->second.Pos.size()) return raNew;
    if (c.UpdateFromOrig &&
        c.Unmatched[found->second.Pos[found->second.Next]]->GetOrigText() != c.NewText)
      return raNew;
    i = TakeUnmatched(former);
    migrated = true;
  }
  const auto& item = c.Unmatched[i];
  const std::u16string& current = c.UpdateFromOrig ? item->GetOrigText() : item->GetXlatText();
  const bool same = c.NewText == current && item->GetStatus() != rsUnused;
  const std::u16string itemResName = item->GetResName();
  const std::u16string& resName = readResName.empty() ? itemResName : readResName;
  if (same && !migrated && itemResName == resName) {
    c.CurrItem = item;
    return raUnchanged;
  }
  c.CurrItem = CopyOf(item);
  c.CurrItem->SetID(id);
  c.CurrItem->SetResName(resName);
  return same ? raUnchanged : raUpdate;
}

void TQEMCustomUpdater::IndexNotes(const IQEMNotesItemsPtr& Items) {
  auto& c = Ctx();
  c.Unmatched.clear();
  c.Index.clear();
  c.Unmatched.reserve(size_t(Items->Count()));
  c.Index.reserve(size_t(Items->Count()));
  for (int i = 0, n = Items->Count(); i < n; ++i) {
    c.Unmatched.push_back(Items->Get(i));
    c.Index[c.Unmatched.back()->GetID()].Pos.push_back(i);
  }
  c.Matched.assign(c.Unmatched.size(), false);
  c.NotesCount = int32_t(c.Unmatched.size());
}

// Matches every string read against the indexed notes, then takes what is left over.
void TQEMCustomUpdater::MergeStrings(TStats& Counts) {
  auto& c = Ctx();
  for (c.CurrIndex = 0; c.CurrIndex < c.Strings.Count(); ++c.CurrIndex) {
    switch (ActionForString()) {
    case raNew:
      ++Counts.NewCount;
      NewString(c.NewNotesFile->CreateNotesItem());
      break;
    case raUpdate:
      ++Counts.ChangedCount;
      UpdateString(c.CurrItem);
      break;
    case raUnchanged:
      ++Counts.UnchangedCount;
      AddString(c.CurrItem);
      break;
    case raUnused:
      break;
    }
  }
  const bool markUnused = MarkDeletedItemAsUnused();
  for (size_t i = 0; i < c.Unmatched.size(); ++i) {
    if (c.Matched[i]) continue;
    // The translated file only carries translations: an item it lacks keeps its own.
    if (markUnused && c.UpdateFromOrig) {
      ++Counts.UnusedCount;
      UnusedString(CopyOf(c.Unmatched[i]));
    } else {
      ++Counts.UnchangedCount;
      AddString(c.Unmatched[i]);
    }
  }
  c.NotesCount = 0;
}

void TQEMCustomUpdater::RecordDates() {
  const auto& c = Ctx();
  const auto stats = c.NewNotesFile->GetStats();
  if (stats->GetVersion().empty()) stats->SetVersion(GetDefaultNotesVersion());
  const bool haveSource = !SourceFile().empty() && FileExists(SourceFile());
  if (c.UpdateFromOrig && haveSource) {
    stats->SetOrigDateTime(DateOfFile(SourceFile()));
    stats->SetOrigStamp(c.OrigStamp);
  }
  if (FileExists(c.CurrXlatName))
    stats->SetXlatDateTime(DateOfFile(c.CurrXlatName));
  else if (c.UpdateFromOrig && GenerateXlat() && haveSource)
    stats->SetXlatDateTime(DateOfFile(SourceFile()));
  else
    stats->SetXlatDateTime(0);
  stats->SetOrigLCID(c.OrigLCID);
  stats->SetXlatLCID(c.XlatLCID);
  if (!SourceFile().empty()) stats->SetOrigFileName(SourceFile());
}

bool TQEMCustomUpdater::UpdateFile(TStats& AStats) {
  auto& c = Ctx();
  const auto items = c.NewNotesFile->GetItems();
  std::vector<IQEMNotesItemPtr> merged;
  merged.reserve(size_t(items->Count()) + size_t(c.Strings.Count()));
  TStats counts = AStats;
  // The merge state goes with its storage, before the list is rebuilt.
  const auto clear = [&c] {
    c.MergeList = nullptr;
    c.Strings.Clear();
    decltype(c.Unmatched)().swap(c.Unmatched);
    decltype(c.Matched)().swap(c.Matched);
    decltype(c.Index)().swap(c.Index);
  };
  try {
    IndexNotes(items);
    c.MergeList = &merged;
    MergeStrings(counts);
    c.MergeList = nullptr;
    RecordDates();
  } catch (const std::exception& e) {
    c.MergeError = QEMExceptionMessage(e);
    clear();
    return false;
  }
  clear();
  // Commit: the list is rebuilt once instead of deleting items one by one.
  items->Clear();
  if (auto* list = dynamic_cast<TQEMNotesItems*>(items.get())) list->Reserve(merged.size());
  for (auto& item : merged)
    items->Add(std::move(item));
  c.CurrItem.reset();
  AStats = counts;
  c.NotesChanged = true;
  return true;
}

namespace {
bool ChangedSinceRecorded(const IQEMNotesFilePtr& Notes, bool FromOrig, const std::u16string& Name,
                          const TLook& Look) {
  if (!Look.Exists) return false;
  if (!Notes) return true;
  const auto stats = Notes->GetStats();
  const TDateTime recorded = FromOrig ? stats->GetOrigDateTime() : stats->GetXlatDateTime();
  if (!SameDate(recorded, DateOf(Look))) return true;
  // The translated file is written by managers too, which record its date alone.
  return FromOrig && StampChanged(Name, Look, stats->GetOrigStamp());
}
} // namespace

bool TQEMCustomUpdater::DataHasChanged(bool FromOrig) {
  const std::u16string& name = FromOrig ? SourceFile() : CurrXlatName();
  const auto& seen = Ctx().SourceLook;
  if (FromOrig && seen.Known && name == CurrName())
    return ChangedSinceRecorded(NewNotesFile(), true, name, TLook{true, seen.Time, seen.Size});
  return ChangedSinceRecorded(NewNotesFile(), FromOrig, name, LookAt(name));
}

TFileStats TQEMCustomUpdater::GetStats(const std::u16string& FileName, bool Reload) {
  if (auto* mgr = FindMgr(FileName)) {
    if (Reload) mgr->Reload();
    return mgr->Stats()->GetFileStats();
  }
  const auto mgr = FMgrClass.Create(FileName, false);
  return mgr->Stats()->GetFileStats();
}

void TQEMCustomUpdater::Execute(TStringList* AFiles, const std::u16string& SingleFileName,
                                const std::u16string& AProjName, const std::u16string& ABaseDir,
                                const std::u16string& AXlatPath, TStats& AStats, bool OverwriteMode,
                                LCID AOrigLCID, LCID AXlatLCID, void* Data,
                                const TCallBackFunc& ACallBackFunc) {
  bool counted = true;
  if (AOrigLCID == 0 || AXlatLCID == 0) {
    const TFileStats stats = GetStats(SingleFileName, false);
    if (stats.OrigLCID == 0) return;
    AOrigLCID = stats.OrigLCID;
    AXlatLCID = stats.XlatLCID;
    counted = false;
  }
  TRunArgs args{.ProjName = AProjName,
                .BaseDir = ABaseDir,
                .XlatPath = AXlatPath,
                .Stats = &AStats,
                .Overwrite = OverwriteMode,
                .Counted = counted,
                .Data = Data,
                .CallBack = &ACallBackFunc,
                .OrigLCID = AOrigLCID,
                .XlatLCID = AXlatLCID};
  if (!SingleFileName.empty()) return TranslationRun(SingleFileName, args);
  FFiles->Clear();
  if (AFiles) {
    for (int i = 0; i < AFiles->Count(); ++i)
      FFiles->Add(AFiles->Get(i));
    AFiles->Clear();
  }
  SourceRun(AFiles, args);
}

// Returns the file to read; Temporary names the converted copy to delete afterwards (empty
// when the file is read where it is).
std::u16string TQEMCustomUpdater::PrepareMapFile(const std::u16string& FileName,
                                                 std::u16string& Temporary) {
  Temporary.clear();
  // This look serves the change check too: a later edit shows in the next run.
  if (const TLook look = LookAt(FileName); look.Exists) {
    Ctx().SourceLook = {true, look.Time, look.Size};
    return FileName;
  }
  if (FileExists(FileName)) return FileName;
  const std::u16string alt = ExtractFilePath(FileName) + u"debug/" + ExtractFileName(FileName);
  // A source that is in neither place is an error of the file, never a quiet success.
  if (!FileExists(alt)) throw EQEMError(Format(SFileNotFound, FileName));
  if (QEMUpperCase(ExtractFileExt(alt)) != u".ORC") return alt;
  std::u16string tmp;
  try {
    // Taken before the copy: the copy is what the package reads.
    Ctx().OrigStamp = TakeStamp(alt);
    const LCID lcid = OrigLCID();
    const uint32_t cp = LCIDToCodePage(lcid) ? LCIDToCodePage(lcid) : QEMSystemCodePage();
    const std::string ansi = QEMUTF8ToCodePageOrMarked(ReadBytes(alt), cp);
    tmp = QEMCreateTempFile(u"map", ExtractFileExt(alt));
    QEMSaveFileAtomically(tmp, ansi);
  } catch (const std::exception& e) {
    if (!tmp.empty()) DeleteFile(tmp);
    throw EQEMError(Format(SUpdaterMapFileFailed, alt, QEMExceptionMessage(e)));
  }
  Temporary = tmp;
  return tmp;
}

void TQEMCustomUpdater::SourceRun(TStringList* AFiles, TRunArgs& Args) {
  if (FFiles->Count() == 0 && !GetProjectFiles(Args.ProjName)) return;
  Args.Writer = CreateXlatWriter();
  FFiles->SetCaseSensitive(false);
  FFiles->Sort();
  // The run walks its own list: a run started meanwhile (from a callback) refills FFiles.
  std::vector<std::u16string> files;
  for (int f = 0; f < FFiles->Count(); ++f)
    files.push_back(FFiles->Get(f));
  for (const auto& file : files)
    SourceFileRun(AFiles, file, Args);
}

void TQEMCustomUpdater::SourceFileRun(TStringList* AFiles, const std::u16string& File,
                                      const TRunArgs& Args) {
  TQEMUpdateContext context(Args.OrigLCID, Args.XlatLCID, true);
  const TContextScope scope(*this, context);
  // Only the copy this pass made may be deleted, whatever failed on the way.
  std::u16string temporary;
  try {
    context.CurrName = PrepareMapFile(File, temporary);
    context.SourceName = !temporary.empty()
                             ? ExtractFilePath(File) + u"debug/" + ExtractFileName(File)
                             : context.CurrName;
    context.CurrXlatName = GetXlatFileName(File, Args.XlatPath, Args.BaseDir, nullptr);
    context.CurrNotesName = GetNotesFileName(context.CurrXlatName);
    // A run killed earlier may have left its temporary files here; they go before any work.
    RemoveLeftoversOnce(ExtractFilePath(context.CurrXlatName));
    RemoveLeftoversOnce(ExtractFilePath(context.CurrNotesName));
    if (AFiles) AFiles->Add(context.CurrXlatName);
    ProcessFile(AFiles, Args);
  } catch (const std::exception& e) {
    ShowError(Format(SUpdaterFileFailed, File, QEMExceptionMessage(e)));
  }
  if (auto* direct = dynamic_cast<IQEMXlatSourceWriter*>(Args.Writer.get())) direct->Forget();
  if (!temporary.empty() && !DeleteFile(temporary))
    ShowError(Format(SUpdaterDeleteFailed, temporary));
}

void TQEMCustomUpdater::TranslationRun(const std::u16string& FileName, const TRunArgs& Args) {
  TQEMUpdateContext context(Args.OrigLCID, Args.XlatLCID, false);
  const TContextScope scope(*this, context);
  context.CurrXlatName = FileName;
  if (!CanUpdateFromXlat())
    QEMAssert(std::u16string(SUpdateFromTransNotAllowed) + FileName + u"\"", false);
  context.CurrNotesName = GetNotesFileName(FileName);
  if (!FileExists(FileName)) throw EQEMError(Format(SFileNotFound, FileName));
  ProcessFile(nullptr, Args);
}

void TQEMCustomUpdater::ProcessFile(TStringList* AFiles, const TRunArgs& Args) {
  auto& c = Ctx();
  if (Args.Overwrite) {
    DeleteOrReport(c.CurrXlatName);
    DeleteOrReport(c.CurrNotesName);
  }
  if (!c.InExecute) {
    if (auto* mgr = FindMgr(c.CurrXlatName))
      c.NewNotesFile = mgr->NotesFile();
    else {
      const auto created = FMgrClass.GetNotesClass().Create();
      c.NewNotesFile = std::dynamic_pointer_cast<IQEMNotesFile>(created);
      if (!c.NewNotesFile) throw EQEMError(std::u16string(SMgrNoNotesClass));
      c.NotesSeen = FileExists(c.CurrNotesName);
      if (c.NotesSeen) c.NewNotesFile->Open(c.CurrNotesName);
    }
  }
  if (c.UpdateFromOrig) return ProcessSourceFile(AFiles, Args);
  if (ReadFileStrings(c.CurrXlatName) && !UpdateFile(*Args.Stats)) throw EQEMError(c.MergeError);
  if (!c.InExecute) {
    if (c.NotesChanged) c.NewNotesFile->SaveAs(c.CurrNotesName);
    if (Args.Counted) ++FTranslatorCount;
  }
}

// Copies the source to the translated file and lets the writer translate it. Both happen on a
// temporary file beside the target, renamed into place at the end: a failure leaves the
// previous translated file, never an untranslated copy that a later run would import.
void TQEMCustomUpdater::WriteXlat(const std::u16string& Target, const IQEMXlatWriterPtr& Writer,
                                  bool FromObject) {
  // A translated file reached through a link is replaced where the link points.
  std::u16string target = Target;
  std::error_code ec;
  if (std::filesystem::is_symlink(QEMNativePath(Target), ec)) {
    const auto resolved = std::filesystem::weakly_canonical(QEMNativePath(Target), ec);
    if (!ec) target = UTF8ToUTF16(resolved.string());
  }
  std::u16string tmp;
  try {
    tmp = QEMCreateSiblingTempFile(target);
    timespec mtime{};
    const bool haveTime = QEMGetFileTime(SourceFile(), mtime);
    auto* direct = FromObject ? dynamic_cast<IQEMXlatSourceWriter*>(Writer.get()) : nullptr;
    std::string translated;
    const bool made = direct && direct->TranslateSource(*NewNotesFile(), CurrName(), Target,
                                                        XlatLCID(), translated);
    // The writer's own save flushes the translated text; only an untranslated copy needs the
    // flush here.
    if (made)
      QEMSaveFileAtomically(tmp, translated);
    else if (Writer)
      QEMWriteWorkingCopy(tmp, ReadBytes(CurrName()), haveTime ? &mtime : nullptr);
    else
      QEMSaveFileAtomically(tmp, ReadBytes(CurrName()), haveTime ? &mtime : nullptr);
    if (Writer && !made) {
      if (FromObject)
        Writer->WriteFromNotes(*NewNotesFile(), tmp, XlatLCID(), 0);
      else
        Writer->WriteFromNotesFileName(CurrNotesName(), tmp, XlatLCID(), 0);
    }
    // Named by the cause alone: the message below names the file, and the temporary name
    // means nothing to the user.
    if (std::rename(QEMNativePath(tmp).c_str(), QEMNativePath(target).c_str()) != 0)
      throw EQEMError(UTF8ToUTF16(std::strerror(errno)));
  } catch (const std::exception& e) {
    if (!tmp.empty()) DeleteFile(tmp);
    // The user knows the file by its own name, not by the temporary one.
    // Writers may name the temporary by its path or by its bare name.
    std::u16string why = QEMExceptionMessage(e);
    if (!tmp.empty()) {
      why = QEMStringReplace(why, tmp, Target, true);
      why = QEMStringReplace(why, ExtractFileName(tmp), ExtractFileName(Target), true);
    }
    throw EQEMError(Format(SUpdaterCopyFailed, Target, why));
  }
}

// Carries the edits of the translated file into the notes of the file being processed: a run
// of its own over the same notes object, in a context of its own.
void TQEMCustomUpdater::NestedTranslationRun(const TRunArgs& Args) {
  if (!CanUpdateFromXlat()) return;
  auto& outer = Ctx();
  TQEMUpdateContext context(outer.OrigLCID, outer.XlatLCID, false);
  context.InExecute = true;
  context.CurrName = outer.CurrName;
  context.SourceName = outer.SourceName;
  context.CurrXlatName = outer.CurrXlatName;
  context.NewNotesFile = outer.NewNotesFile;
  context.NotesChanged = outer.NotesChanged;
  TStats scratch;
  TRunArgs nested = Args;
  nested.Stats = &scratch;
  nested.Overwrite = false;
  nested.Data = nullptr;
  nested.CallBack = nullptr;
  {
    const TContextScope scope(*this, context);
    context.CurrNotesName = GetNotesFileName(context.CurrXlatName);
    if (!FileExists(context.CurrXlatName))
      throw EQEMError(Format(SFileNotFound, context.CurrXlatName));
    ProcessFile(nullptr, nested);
  }
  outer.NotesChanged = context.NotesChanged;
}

void TQEMCustomUpdater::ProcessSourceFile(TStringList* AFiles, const TRunArgs& Args) {
  auto& c = Ctx();
  c.NotesChanged = false;
  bool notesExist = c.NotesSeen >= 0 ? c.NotesSeen == 1 : FileExists(c.CurrNotesName);
  // Whether the translated file is there and whether it changed: one look, of one moment.
  TLook xlat = LookAt(c.CurrXlatName);
  const bool xlatExists = xlat.Exists;
  bool separated = IsSeparatedNotes(notesExist, xlatExists);
  if (!separated && xlatExists && c.NewNotesFile->GetStats()->GetVersion().empty()) {
    c.NewNotesFile->Open(c.CurrXlatName);
    c.NewNotesFile->SaveAsNewVersion(c.CurrNotesName, u"9.0");
    notesExist = separated = true;
    xlat = LookAt(c.CurrXlatName);
  }
  bool xlatChanged = separated && ChangedSinceRecorded(NewNotesFile(), false, c.CurrXlatName, xlat);
  if (xlatChanged && notesExist) {
    NestedTranslationRun(Args);
    xlatChanged = false;
  }
  if (Args.CallBack && *Args.CallBack) (*Args.CallBack)(SourceFile(), Args.Data);

  if (!DataHasChanged(true)) {
    if (GenerateXlat() && separated && !xlatExists && FileExists(c.CurrName)) {
      WriteXlat(c.CurrXlatName, Args.Writer, false);
      const auto stats = c.NewNotesFile->GetStats();
      const TDateTime date = DateOfFile(c.CurrXlatName);
      if (!SameDate(stats->GetXlatDateTime(), date)) {
        stats->SetXlatDateTime(date);
        c.NotesChanged = true;
      }
    }
  } else
    MergeSource(AFiles, Args, {notesExist, xlatExists, separated, xlatChanged});

  // Where the source is, the project says; a notes file naming another path is corrected.
  // The name is compared first: the look at the notes file is needed only where it differs.
  if (separated && !SourceFile().empty() && c.NewNotesFile) {
    const auto stats = c.NewNotesFile->GetStats();
    if (stats->GetOrigFileName() != SourceFile() &&
        (c.NotesChanged || FileExists(c.CurrNotesName))) {
      stats->SetOrigFileName(SourceFile());
      c.NotesChanged = true;
    }
  }
  SaveNotes(separated);
}

// The source changed: its strings are read and merged, and the translated file follows.
void TQEMCustomUpdater::MergeSource(TStringList* AFiles, const TRunArgs& Args,
                                    const TSourceState& S) {
  auto& c = Ctx();
  // Before the package reads it: an edit made while it reads shows as a later time.
  if (c.OrigStamp.empty()) c.OrigStamp = TakeStamp(SourceFile());
  if (!ReadFileStrings(c.CurrName)) {
    if (AFiles && AFiles->Count() > 0) AFiles->Delete(AFiles->Count() - 1);
    c.NotesChanged = false;
    return;
  }
  // A merge that failed must not pass as done: the file is reported and nothing written.
  if (!UpdateFile(*Args.Stats)) {
    if (AFiles && AFiles->Count() > 0) AFiles->Delete(AFiles->Count() - 1);
    throw EQEMError(c.MergeError);
  }
  if (!S.Separated && !S.XlatExists)
    WriteXlat(c.CurrXlatName, nullptr, false);
  else if (GenerateXlat() && (S.NotesExist || !S.XlatExists)) {
    WriteXlat(c.CurrXlatName, Args.Writer, true);
    const auto stats = c.NewNotesFile->GetStats();
    // The recorded date and the file's must agree, or the next run would take the fresh
    // file for one a translator edited.
    if (S.XlatExists)
      QEMSetFileDate(c.CurrXlatName, stats->GetXlatDateTime());
    else
      stats->SetXlatDateTime(DateOfFile(c.CurrXlatName));
  }
  if (S.XlatChanged) NestedTranslationRun(Args);
  if (Args.Counted) ++FTranslatorCount;
}

void TQEMCustomUpdater::SaveNotes(bool Separated) {
  auto& c = Ctx();
  std::u16string backup;
  if (c.NotesChanged && !Separated) {
    backup = QEMMakeBackupFileName(c.CurrNotesName);
    DeleteOrReport(backup);
    if (FileExists(c.CurrNotesName) &&
        std::rename(QEMNativePath(c.CurrNotesName).c_str(), QEMNativePath(backup).c_str()))
      ShowError(Format(SUpdaterRenameFailed, c.CurrNotesName, backup));
    WriteXlat(c.CurrNotesName, nullptr, false);
  }
  if (c.NotesChanged) c.NewNotesFile->SaveAs(c.CurrNotesName);
  if (!backup.empty()) DeleteOrReport(backup);
}
