#include "repository/QEMNewRepositoryEngine.h"

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uloc.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include <pugixml.hpp>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMStrs.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "repository/QEMFuzzyIndex.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"

IQEMRepositoryRecord::~IQEMRepositoryRecord() = default;
IQEMRepositoryIndex::~IQEMRepositoryIndex() = default;
IQEMRepositoryLangList::~IQEMRepositoryLangList() = default;
IQEMRepositoryIndexList::~IQEMRepositoryIndexList() = default;
IQEMRepositoryNotifier::~IQEMRepositoryNotifier() = default;
IQEMRepository::~IQEMRepository() = default;

namespace {

using NodePtr = pugi::xml_node_struct*;

constexpr std::u16string_view NewDocumentText =
    u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    u"<!DOCTYPE tmx SYSTEM \"http://www.lisa.org/tmx/tmx14.dtd\">\r\n"
    u"<tmx version=\"1.4\"/>";
constexpr size_t ChunkMax = 2048;
constexpr size_t LegacyHeaderSize = 480;

uint32_t gDefaultVersion = QEMRepositoryTMXVersion;
std::shared_ptr<TQEMRepository> gRepository;
// The file named when the engine started, until the engine is first used: a run that never
// asks the repository builds no document for it.
std::u16string gStartFileName;

bool AsciiSameNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// Translations in the add walk match with letters A-Z compared without case, nothing more.
bool SameTextAZ(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char16_t a = A[i], b = B[i];
    if (a >= u'A' && a <= u'Z') a = char16_t(a - u'A' + u'a');
    if (b >= u'A' && b <= u'Z') b = char16_t(b - u'A' + u'a');
    if (a != b) return false;
  }
  return true;
}

// Line-break style never tells originals apart: compare with CR LF folded to LF.
std::string_view FoldBreaks(std::string_view S, std::string& Tmp) {
  if (S.find('\r') == std::string_view::npos) return S;
  Tmp.clear();
  Tmp.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i)
    if (!(S[i] == '\r' && i + 1 < S.size() && S[i + 1] == '\n')) Tmp += S[i];
  return Tmp;
}

// The first character XML 1.0 cannot hold (a lone surrogate counts as one), or 0.
char32_t FirstUnwritable(std::u16string_view S) {
  for (size_t i = 0; i < S.size(); ++i) {
    const char16_t c = S[i];
    if (c >= 0x20 && c < 0xD800) continue; // the common case, kept cheap
    if (c < 0x20) {
      if (c != u'\t' && c != u'\n' && c != u'\r') return c;
    } else if (c <= 0xDBFF) {
      if (i + 1 >= S.size() || S[i + 1] < 0xDC00 || S[i + 1] > 0xDFFF) return c;
      ++i;
    } else if (c <= 0xDFFF || c == 0xFFFE || c == 0xFFFF)
      return c;
  }
  return 0;
}

// The text as a message can show it: what a file cannot hold becomes U+FFFD.
std::u16string Shown(std::u16string_view S) {
  std::u16string out(S);
  for (size_t i = 0; i < out.size(); ++i) {
    const bool pair = out[i] >= 0xD800 && out[i] <= 0xDBFF && i + 1 < out.size() &&
                      out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF;
    if (pair)
      ++i;
    else if (FirstUnwritable(std::u16string_view(&out[i], 1)))
      out[i] = u'\xFFFD';
  }
  return out;
}

std::u16string UnwritableReason(std::u16string_view S) {
  const char32_t c = FirstUnwritable(S);
  return c ? Format(SRepTextUnwritable, Shown(S), uint32_t(c)) : std::u16string();
}

void CheckWritable(std::u16string_view S) {
  if (std::u16string r = UnwritableReason(S); !r.empty()) throw EQEMRepositoryError(std::move(r));
}

using TCollator = std::shared_ptr<UCollator>;

TCollator OpenCollator(const std::u16string& Tag) {
  LCID lcid = 0;
  std::string loc;
  if (TryLangTagToLCID(Tag, lcid)) {
    char buf[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode err = U_ZERO_ERROR;
    uloc_getLocaleForLCID(lcid, buf, sizeof buf, &err);
    if (U_SUCCESS(err)) loc = buf;
  } else if ((Tag.size() == 2 || Tag.size() == 3) &&
             std::all_of(Tag.begin(), Tag.end(), [](char16_t C) {
               return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z');
             })) {
    loc = UTF16ToUTF8(Tag); // a bare language ("de") of another tool collates as that language
  }
  UErrorCode err = U_ZERO_ERROR;
  UCollator* c = ucol_open(loc.c_str(), &err);
  if (U_FAILURE(err) || !c) {
    err = U_ZERO_ERROR;
    c = ucol_open("", &err);
  }
  if (!c) throw EQEMRepositoryError(Format(SRepUnableAddLanguage, Tag));
  ucol_setStrength(c, UCOL_TERTIARY);
  return TCollator(c, ucol_close);
}

// Text of a seg: its text children joined (inline markup of other tools is skipped).
std::string_view SegUtf8(NodePtr Seg, std::string& Tmp) {
  if (!Seg) return {};
  pugi::xml_node s(Seg);
  pugi::xml_node c = s.first_child();
  if (!c) return {};
  const auto isText = [](pugi::xml_node n) {
    return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
  };
  if (!c.next_sibling() && isText(c)) return c.value();
  Tmp.clear();
  for (; c; c = c.next_sibling())
    if (isText(c)) Tmp += c.value();
  return Tmp;
}

std::u16string SegText(NodePtr Seg) {
  if (!Seg) return {};
  std::u16string out;
  for (pugi::xml_node c = pugi::xml_node(Seg).first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
      out += TQEMXMLNode(c.internal_object()).NodeValue();
  return out;
}

void SetElementText(pugi::xml_node E, const std::u16string& Text) {
  while (E.first_child())
    E.remove_child(E.first_child());
  if (Text.empty()) return;
  // Most texts are ASCII: written straight in, without a conversion of their own.
  char buf[256];
  if (Text.size() < sizeof buf &&
      std::all_of(Text.begin(), Text.end(), [](char16_t C) { return C != 0 && C < 0x80; })) {
    std::copy(Text.begin(), Text.end(), buf);
    buf[Text.size()] = 0;
    pugi::xml_node c = E.append_child(pugi::node_pcdata);
    if (c && c.set_value(buf)) return;
    if (c) E.remove_child(c);
  }
  TQEMXMLNode(E.internal_object()).AppendText(Text);
}

pugi::xml_node FindTuv(pugi::xml_node Tu, std::string_view Tag) {
  for (pugi::xml_node t = Tu.child("tuv"); t; t = t.next_sibling("tuv"))
    if (AsciiSameNoCase(t.attribute("xml:lang").value(), Tag)) return t;
  return {};
}

std::u16string UTCDateText(TDateTime UTC) {
  const TQEMDateTimeParts p = DecodeDateTime(UTC);
  char buf[32];
  snprintf(buf, sizeof buf, "%04d%02d%02dT%02d:%02d:%02dZ", p.Year % 10000, p.Month, p.Day, p.Hour,
           p.Minute, p.Second);
  return UTF8ToUTF16(buf);
}

// Large arrays go on transparent huge pages where the system grants them on request: every
// fresh 4 KiB page costs a fault, and a million-record index touches tens of thousands of them.
// They are mappings of their own, so that the advice never reaches the heap around them.
constexpr size_t HugePage = size_t(2) << 20;

size_t MappedSize(size_t Bytes) {
  return (Bytes + HugePage - 1) & ~(HugePage - 1);
}

void* BigAlloc(size_t Bytes) {
  if (Bytes < HugePage) return ::operator new(Bytes);
  const size_t len = MappedSize(Bytes);
  // One huge page more than asked, to cut an aligned run out of it.
  void* m =
      mmap(nullptr, len + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  char* const base = static_cast<char*>(m);
  const size_t lead = (HugePage - reinterpret_cast<uintptr_t>(base) % HugePage) % HugePage;
  if (lead) munmap(base, lead);
  if (HugePage - lead) munmap(base + lead + len, HugePage - lead);
  madvise(base + lead, len, MADV_HUGEPAGE); // only advice: a refusal leaves ordinary pages
  return base + lead;
}

void BigFree(void* P, size_t Bytes) {
  if (Bytes < HugePage)
    ::operator delete(P);
  else
    munmap(P, MappedSize(Bytes));
}

template <class T> struct TBigAllocator {
  using value_type = T;
  TBigAllocator() = default;
  template <class U> TBigAllocator(const TBigAllocator<U>&) {}
  T* allocate(size_t N) { return static_cast<T*>(BigAlloc(N * sizeof(T))); }
  void deallocate(T* P, size_t N) { BigFree(P, N * sizeof(T)); }
  template <class U> bool operator==(const TBigAllocator<U>&) const { return true; }
};

template <class T> using TBigVector = std::vector<T, TBigAllocator<T>>;

// Per-record arrays made for N records keep room for a quarter more, so that the adds of a run
// never move a million entries. Room not used costs address space only: such arrays are
// mappings of their own.
size_t WithRoom(size_t N) {
  return N + N / 4;
}

// Collation keys in blocks that never move, so that growing never copies the keys there are. A
// key's place is its block number in the high half and its offset in the low one.
class TKeyArena {
public:
  TKeyArena() = default;
  TKeyArena(const TKeyArena&) = delete;
  TKeyArena& operator=(const TKeyArena&) = delete;
  TKeyArena(TKeyArena&& Other) noexcept { Swap(Other); }
  TKeyArena& operator=(TKeyArena&& Other) noexcept {
    Swap(Other);
    return *this;
  }
  ~TKeyArena() { Clear(); }

  const char* At(uint64_t Place) const { return FBlocks[Place >> 32].Data + uint32_t(Place); }
  size_t Bytes() const { return FBytes; }
  uint64_t Add(std::string_view Key) {
    char* to = Room(Key.size());
    std::memcpy(to, Key.data(), Key.size());
    return Commit(Key.size());
  }
  // The key of Text, made straight into the arena.
  uint64_t AddKey(UCollator* Coll, std::u16string_view Text) {
    const auto* s = reinterpret_cast<const UChar*>(Text.data());
    const auto n = int32_t(Text.size());
    TBlock* b = FBlocks.empty() ? nullptr : &FBlocks.back();
    const size_t room = b ? b->Size - b->Used : 0;
    int32_t k = room ? ucol_getSortKey(Coll, s, n, reinterpret_cast<uint8_t*>(b->Data + b->Used),
                                       int32_t(std::min<size_t>(room, INT32_MAX)))
                     : 0;
    if (k == 0 || size_t(k) > room) {
      if (k == 0) k = ucol_getSortKey(Coll, s, n, nullptr, 0);
      char* to = Room(size_t(k));
      ucol_getSortKey(Coll, s, n, reinterpret_cast<uint8_t*>(to), k);
    }
    return Commit(size_t(k));
  }
  void Clear() {
    for (const TBlock& b : FBlocks)
      BigFree(b.Data, b.Size);
    FBlocks.clear();
    FBytes = 0;
  }

private:
  struct TBlock {
    char* Data;
    size_t Size, Used;
  };
  void Swap(TKeyArena& Other) noexcept {
    FBlocks.swap(Other.FBlocks);
    std::swap(FBytes, Other.FBytes);
  }
  char* Room(size_t N) {
    if (FBlocks.empty() || FBlocks.back().Size - FBlocks.back().Used < N) {
      // Small first: most languages of a file with many hold a few texts.
      const size_t size = std::max(N, std::min(HugePage, std::max<size_t>(4096, FBytes)));
      FBlocks.push_back({static_cast<char*>(BigAlloc(size)), size, 0});
    }
    return FBlocks.back().Data + FBlocks.back().Used;
  }
  uint64_t Commit(size_t N) {
    TBlock& b = FBlocks.back();
    const uint64_t place = uint64_t(FBlocks.size() - 1) << 32 | b.Used;
    b.Used += N;
    FBytes += N;
    return place;
  }
  std::vector<TBlock> FBlocks;
  size_t FBytes = 0;
};

class TIndex;

struct TLang {
  std::u16string Tag;
  std::string Utf8Tag;
  TCollator Coll;
};

} // namespace

struct TQEMRepository::TState : IQEMRepositoryIndexList, IQEMRepositoryLangList {
  std::shared_ptr<TQEMXMLDocument> Doc;
  pugi::xml_node Tmx, Header, Body;
  TBigVector<NodePtr> Tu;
  std::vector<TLang> Langs;
  // Language index by tag in lower case: a unit may hold thousands of languages.
  std::unordered_map<std::string, int> LangByTag;
  std::vector<TBigVector<NodePtr>> Seg; // [language][record]
  std::vector<std::unique_ptr<TIndex>> Indexes;
  std::u16string FileName, Author;
  uint32_t Version = gDefaultVersion;
  TDateTime Created = 0, Changed = 0;
  bool Loaded = false;
  bool Formatted = false;
  bool Batch = false; // inside a bulk update: the indexes order new records at its end

  TState();
  void CreateDocument();
  void Attach(); // header and body of a loaded document
  int AddLanguage(const std::u16string& Tag);
  int LangIndex(std::string_view Utf8Tag) const;
  int AppendRecord(NodePtr TuNode);
  void SetString(int Rec, int Lang, const std::u16string& Text);
  std::u16string GetID(int Rec) const;
  // Raises naming the first record holding text a file cannot hold; returns when there is none.
  void ThrowUnwritableRecord() const;
  void DeleteLanguage(int Lang);
  void DeleteRecords(const std::vector<int>& Sorted); // ascending, unique, in range

  // IQEMRepositoryIndexList
  int Count() const override { return int(Langs.size()); }
  const IQEMRepositoryIndex& Index(int LangIndex) const override;
  const IQEMRepositoryLangList& Languages() const override { return *this; }
  // IQEMRepositoryLangList
  std::u16string LangTag(int Index) const override { return Langs.at(size_t(Index)).Tag; }
  int IndexOf(const std::u16string& Tag) const override {
    if (Langs.size() <= 8) { // every look-up asks: no conversion for the usual few
      for (size_t i = 0; i < Langs.size(); ++i)
        if (SameTextAZ(Langs[i].Tag, Tag)) return int(i);
      return -1;
    }
    return LangIndex(UTF16ToUTF8(Tag));
  }
};

namespace {

// Collation sort keys compare with memcmp in the collator's order: equal keys, equal texts.
// A key ends with its only zero byte, so no key is a prefix of another.
int CompareKeys(std::string_view A, std::string_view B) {
  const int c = std::memcmp(A.data(), B.data(), std::min(A.size(), B.size()));
  return c != 0 ? c : A.size() < B.size() ? -1 : A.size() > B.size() ? 1 : 0;
}

// The key of Text with CR LF folded to LF, appended to Out.
void AppendKey(UCollator* Coll, std::u16string_view Text, std::string& Out) {
  std::u16string folded;
  if (Text.find(u'\r') != std::u16string_view::npos) {
    folded.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i)
      if (!(Text[i] == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n')) folded += Text[i];
    Text = folded;
  }
  const auto* s = reinterpret_cast<const UChar*>(Text.data());
  uint8_t buf[512]; // most keys fit: no zeroed room in Out to write into
  const int32_t k = ucol_getSortKey(Coll, s, int32_t(Text.size()), buf, int32_t(sizeof buf));
  if (size_t(k) <= sizeof buf) {
    Out.append(reinterpret_cast<const char*>(buf), size_t(k));
    return;
  }
  const size_t off = Out.size();
  Out.resize(off + size_t(k));
  ucol_getSortKey(Coll, s, int32_t(Text.size()), reinterpret_cast<uint8_t*>(Out.data() + off), k);
}

// One language: a collation sort key per record, and the records ordered by (key, record
// number) in chunks, so that an insert moves a few thousand entries at most whatever the
// repository's size. Keys are made once per text (when the index is first used, or when a text
// changes) and every comparison after that is a memcmp. Look-ups of equal texts go through a
// hash of the keys, which is all adding needs: the order is made when a position is first
// asked. Until then a text of plain characters alone stands for itself, without collation.
// Inside a bulk update new and changed records are found by the hash at once and go into the
// order together when the update ends (or a position is asked).
class TIndex : public IQEMRepositoryIndex {
public:
  TIndex(const TQEMRepository::TState& Owner, int Lang, UCollator* Coll)
      : FOwner(Owner), FLang(Lang), FColl(Coll) {
    StartArena();
  }

  int Count() const override {
    Settle();
    return int(FCount);
  }
  int Item(int Position) const override {
    Settle();
    if (Position < 0 || size_t(Position) >= FCount) return -1;
    const auto& st = Starts();
    const auto at = std::upper_bound(st.begin(), st.end(), size_t(Position));
    const size_t c = size_t(at - st.begin()) - 1;
    return int(FChunks[c][size_t(Position) - st[c]]);
  }
  int PositionOf(int Rec) const override {
    Settle();
    if (Rec < 0 || size_t(Rec) >= FKeyLen.size()) return -1;
    const auto [c, o] = LowerBound(Key(uint32_t(Rec)), Rec);
    if (c >= FChunks.size() || o >= FChunks[c].size() || FChunks[c][o] != uint32_t(Rec)) return -1;
    return int(Before(c) + o);
  }

  std::string_view Key(uint32_t Rec) const {
    return {FArena.At(FKeyOff[Rec]), FKeyLen[Rec] & ~PlainBit};
  }
  // The key of a text to look for; valid until the next call. The last one is kept, so that the
  // record a look-up adds takes it without a second collation.
  std::string_view SearchKey(std::u16string_view Text) const {
    if (!FSearchValid || Text != FSearchText) {
      FSearchText = Text;
      FSearchKey.clear();
      AppendKey(FColl, Text, FSearchKey);
      FSearchValid = true;
    }
    return FSearchKey;
  }

  // First entry of the order not below (Key, Rec); Rec -1 gives the first entry of Key.
  std::pair<size_t, size_t> LowerBound(std::string_view K, int64_t Rec) const {
    const auto less = [&](uint32_t R) {
      const int c = CompareKeys(Key(R), K);
      return c < 0 || (c == 0 && int64_t(R) < Rec);
    };
    const auto at =
        std::partition_point(FChunks.begin(), FChunks.end(),
                             [&](const std::vector<uint32_t>& C) { return less(C.back()); });
    if (at == FChunks.end()) return {FChunks.size(), 0};
    const auto it = std::partition_point(at->begin(), at->end(), less);
    return {size_t(at - FChunks.begin()), size_t(it - at->begin())};
  }
  // Position of the first entry of text key K, or where it would go; settles first.
  int Find(std::string_view K, bool& Found) const {
    Settle();
    const auto [c, o] = LowerBound(K, -1);
    Found = c < FChunks.size() && CompareKeys(Key(FChunks[c][o]), K) == 0;
    return c < FChunks.size() ? int(Before(c) + o) : int(FCount);
  }
  // Calls Fn with each record whose text equals Text in record order until Fn returns false.
  template <class F> bool ForEachEqual(std::u16string_view Text, F&& Fn) const {
    Ensure();
    std::vector<uint32_t> recs;
    if (!Text.empty() && !FAllKeys && PlainBytes(Text, FPlainText)) {
      EnsureHash();
      const uint32_t head = FindHead(FPlainText);
      // Records of other characters may still collate equal: their keys are asked too.
      const uint32_t other = FNonPlain ? FindHead(SearchKey(Text)) : NoRec;
      if (other == NoRec && head != NoRec && FNext[head] == NoRec) { // the usual case
        Fn(head);
        return true;
      }
      for (const uint32_t h : {head, other})
        for (uint32_t r = h; r != NoRec; r = FNext[r])
          recs.push_back(r);
      std::sort(recs.begin(), recs.end());
    } else {
      if (!FAllKeys) const_cast<TIndex*>(this)->MakeAllKeys();
      const std::string_view k = SearchKey(Text);
      if (k == std::string_view(FArena.At(0), FEmptyLen)) { // empty texts are not hashed
        Settle();
        for (auto [c, o] = LowerBound(k, -1); c < FChunks.size(); ++c, o = 0) {
          for (; o < FChunks[c].size() && Key(FChunks[c][o]) == k; ++o)
            recs.push_back(FChunks[c][o]);
          if (o < FChunks[c].size()) break;
        }
        std::sort(recs.begin(), recs.end());
      } else {
        EnsureHash();
        const uint32_t head = FindHead(k);
        if (head != NoRec && FNext[head] == NoRec) { // the usual case: one record
          Fn(head);
          return true;
        }
        for (uint32_t r = head; r != NoRec; r = FNext[r])
          recs.push_back(r);
        std::reverse(recs.begin(), recs.end());
      }
    }
    for (const uint32_t r : recs)
      if (!Fn(r)) break;
    return !recs.empty();
  }

  // Makes every record's key from its text, orders them and hashes them: once per language and
  // loaded file, when first used. A run looks up one language; the others cost nothing.
  void Build();
  void Ensure() const {
    if (!FBuilt) const_cast<TIndex*>(this)->Build();
  }
  // The end of a bulk update: what waited for it goes in.
  void EndBatch() const {
    if (FHashed) EnsureHash();
    if (FOrdered) Settle(); // an order not made yet takes every record when it is
  }
  // A record appended at the end, with its current text.
  void Append(uint32_t Rec) {
    if (!FBuilt) return; // the build reads every text when it comes
    FKeyOff.push_back(0);
    FKeyLen.push_back(FEmptyLen);
    if (FOrdered) FIsPending.push_back(false);
    if (FHashed) FNext.push_back(NoRec);
    if (NodePtr s = Seg(Rec)) SetKey(Rec, SegText(s));
    Insert(Rec);
  }
  // The record's text in this language is now Text.
  void Update(uint32_t Rec, std::u16string_view Text) {
    if (!FBuilt) return;
    Remove(Rec);
    SetKey(Rec, Text);
    Insert(Rec);
  }
  // Drops the records mapped to Gone and renumbers the rest; the order stays right as it is.
  void Compact(const std::vector<uint32_t>& Map, uint32_t Gone);
  void SetLang(int Lang) { FLang = Lang; }
  // The language's n-grams for fuzzy look-ups: made on first use, kept current from then on.
  const TQEMFuzzyIndex& Fuzzy() const {
    Ensure();
    if (!FFuzzy) {
      FFuzzy = std::make_unique<TQEMFuzzyIndex>([this](uint32_t R) { return SegText(Seg(R)); });
      FFuzzy->Build(uint32_t(FKeyOff.size()));
    }
    return *FFuzzy;
  }
  // Takes the records waiting aside into the order; the order itself is made on first use, as
  // adding looks up equal texts only.
  void Settle() const {
    Ensure();
    if (!FOrdered)
      const_cast<TIndex*>(this)->Order();
    else if (!FPending.empty())
      const_cast<TIndex*>(this)->Merge();
  }

private:
  NodePtr Seg(uint32_t Rec) const { return FOwner.Seg[size_t(FLang)][Rec]; }
  bool Deferred() const { return FOwner.Batch; }
  size_t Before(size_t Chunk) const { return Starts()[Chunk]; }
  // Where each chunk starts, rebuilt after changes on the next positional read, so that reading
  // a million rows in order never walks the chunk list per row.
  const std::vector<size_t>& Starts() const {
    if (!FStartsOk) {
      FStarts.resize(FChunks.size());
      size_t s = 0;
      for (size_t i = 0; i < FChunks.size(); ++i) {
        FStarts[i] = s;
        s += FChunks[i].size();
      }
      FStartsOk = true;
    }
    return FStarts;
  }
  void StartArena() {
    FArena.Clear();
    FArena.AddKey(FColl, u""); // the key of every empty text, shared, at place 0
    FEmptyLen = uint32_t(FArena.Bytes());
  }
  void SetKey(uint32_t Rec, std::u16string_view Text) {
    if (FFuzzy) FFuzzy->Set(Rec, Text);
    if (FKeyOff[Rec] != 0) FGarbage += Key(Rec).size();
    if (Text.empty()) {
      FKeyOff[Rec] = 0;
      FKeyLen[Rec] = FEmptyLen;
    } else if ((!FAllKeys || !FOrdered) && PlainBytes(Text, FPlainText)) {
      // Without an order a text of plain characters needs no collation: its key is made when
      // a text of other characters is first looked up, if ever.
      FKeyOff[Rec] = FArena.Add(FPlainText);
      FKeyLen[Rec] = uint32_t(FPlainText.size()) | PlainBit;
      FAllKeys = false;
      if (FPlainListed && FPlainRecs.size() < FKeyOff.size())
        FPlainRecs.push_back(Rec);
      else {
        FPlainListed = false;
        FPlainRecs.clear();
      }
    } else {
      const std::string_view k = SearchKey(Text);
      FKeyOff[Rec] = FArena.Add(k);
      FKeyLen[Rec] = uint32_t(k.size());
      ++FNonPlain;
    }
    if (FGarbage > (size_t(1) << 20) && FGarbage > FArena.Bytes() / 2) Repack();
  }
  // Drops the keys no record uses any more.
  void Repack() {
    TKeyArena fresh;
    fresh.Add(std::string_view(FArena.At(0), FEmptyLen));
    for (size_t r = 0; r < FKeyOff.size(); ++r)
      if (FKeyOff[r] != 0) FKeyOff[r] = fresh.Add(Key(uint32_t(r)));
    FArena = std::move(fresh);
    FGarbage = 0;
  }
  void Insert(uint32_t Rec) {
    if (FHashed && Deferred() && FKeyOff[Rec] != 0) {
      // Hashed with the others at the end of the update, or at the next look-up before it.
      FNext[Rec] = Unhashed;
      FUnhashed.push_back(Rec);
    } else if (FHashed)
      HashInsert(Rec);
    if (!FOrdered) return; // the order, when made, takes every record
    if (Deferred()) {
      FIsPending[Rec] = true;
      FPending.push_back(Rec);
      return;
    }
    auto [c, o] = LowerBound(Key(Rec), Rec);
    if (FChunks.empty()) FChunks.emplace_back();
    if (c == FChunks.size()) {
      --c;
      o = FChunks[c].size();
    }
    auto& ch = FChunks[c];
    ch.insert(ch.begin() + ptrdiff_t(o), Rec);
    FStartsOk = false;
    if (ch.size() > ChunkMax) {
      std::vector<uint32_t> tail(ch.begin() + ptrdiff_t(ch.size() / 2), ch.end());
      ch.resize(ch.size() / 2);
      FChunks.insert(FChunks.begin() + ptrdiff_t(c + 1), std::move(tail));
    }
    ++FCount;
  }
  void Remove(uint32_t Rec) {
    if (FHashed) HashRemove(Rec);
    if (!FOrdered) return;
    if (FIsPending[Rec]) { // its entry in the list goes when the list is merged
      FIsPending[Rec] = false;
      return;
    }
    const auto [c, o] = LowerBound(Key(Rec), Rec);
    if (c >= FChunks.size() || o >= FChunks[c].size() || FChunks[c][o] != Rec) return;
    FChunks[c].erase(FChunks[c].begin() + ptrdiff_t(o));
    if (FChunks[c].empty()) FChunks.erase(FChunks.begin() + ptrdiff_t(c));
    --FCount;
    FStartsOk = false;
  }
  void Merge();
  void Order();
  void FindPlainChars();
  void AskPlainChars();
  void MakeAllKeys();
  void KeyPlainRecs();
  // Text as the bytes that stand for it, CR LF folded, when all its characters are plain.
  bool PlainBytes(std::u16string_view Text, std::string& Out) const {
    Out.resize(Text.size());
    char* to = Out.data();
    for (size_t i = 0; i < Text.size(); ++i) {
      const char16_t c = Text[i];
      if (c >= FPlain.size() || !FPlain[c]) return false;
      *to = char(c);
      to += c != u'\r' || i + 1 == Text.size() || Text[i + 1] != u'\n';
    }
    Out.resize(size_t(to - Out.data()));
    return true;
  }
  // The length of the text at S in Text; true when all its characters are plain and it holds no
  // CR (which would need folding first).
  bool ScanPlain(const char* S, std::string_view& Text) const {
    Text = S;
    unsigned outside = 0; // of the printable range; a loop the compiler makes wide
    for (const char c : Text)
      outside |= unsigned(uint8_t(c) - 0x20u >= 0x5Fu);
    bool plain = outside == 0 && FPrintablePlain;
    if (!plain) {
      plain = true;
      for (const char c : Text)
        plain &= uint8_t(c) < 0x80 && FPlain[uint8_t(c) & 0x7F] && c != '\r';
    }
    if (!plain) Text = FoldBreaks(Text, FFolded);
    return plain;
  }
  bool PlainUtf8(std::string_view Folded) const {
    for (const char c : Folded)
      if (uint8_t(c) >= FPlain.size() || !FPlain[uint8_t(c)]) return false;
    return true;
  }
  void SortByKey(std::vector<uint32_t>& Recs) const; // by (key, record)
  void Chunk(const std::vector<uint32_t>& Order) {
    FChunks.clear();
    for (size_t i = 0; i < Order.size(); i += ChunkMax / 2)
      FChunks.emplace_back(Order.begin() + ptrdiff_t(i),
                           Order.begin() + ptrdiff_t(std::min(Order.size(), i + ChunkMax / 2)));
    FCount = Order.size();
    FStartsOk = false;
  }

  const TQEMRepository::TState& FOwner;
  int FLang;
  UCollator* FColl;
  TKeyArena FArena; // the keys; the empty text's first
  uint32_t FEmptyLen = 0;
  size_t FGarbage = 0;
  TBigVector<uint64_t> FKeyOff; // per record: the key's place in the arena
  // Per record: the key's length, with PlainBit when the key is the text's own bytes.
  TBigVector<uint32_t> FKeyLen;
  static constexpr uint32_t PlainBit = 0x80000000;
  // Until something needs the order or a text of other characters is looked up, texts of plain
  // characters alone are keyed by their bytes: no collation for most records of most files.
  std::array<bool, 128> FPlain{};
  bool FPrintablePlain = false; // all of U+0020..U+007E
  bool FAllKeys = true;
  size_t FNonPlain = 0; // records keyed by collation while FAllKeys is false, or more
  // The records keyed by their bytes, when FPlainListed: those alone then need a collation key
  // (a record may be there twice, or keyed otherwise since).
  std::vector<uint32_t> FPlainRecs;
  bool FPlainListed = true;
  mutable std::string FPlainText, FFolded;
  std::vector<std::vector<uint32_t>> FChunks;
  size_t FCount = 0;
  mutable std::vector<size_t> FStarts;
  mutable bool FStartsOk = false;
  // Records of a bulk update not yet in the order, by key, each list in record order.
  std::vector<uint32_t> FPending; // may hold records taken out again, and twice
  std::vector<bool> FIsPending;
  // Equal keys: open addressing over 32-bit key hashes, each slot the last record of its key
  // (hash << 32 | record + 1, 0 when free), FNext the ones before it, newest first. Records
  // without text are left out: nobody looks up the empty text, and they may be most.
  static constexpr uint32_t NoRec = UINT32_MAX;
  static constexpr uint32_t Unhashed = UINT32_MAX - 1; // in FNext: waiting in FUnhashed
  mutable std::vector<uint32_t> FUnhashed;
  mutable TBigVector<uint64_t> FSlots;
  mutable TBigVector<uint32_t> FNext;
  mutable size_t FUsed = 0;
  mutable bool FHashed = false;
  bool FBuilt = false;
  bool FOrdered = false;
  // Eight bytes a step, inline: a million keys are hashed when an index is first used.
  static uint32_t Hash(std::string_view K) {
    constexpr uint64_t m = 0xBF58476D1CE4E5B9;
    uint64_t h = 0x9E3779B97F4A7C15 ^ K.size();
    const auto mix = [&](uint64_t W) {
      h = (h ^ W) * m;
      h ^= h >> 31;
    };
    const char* p = K.data();
    size_t n = K.size();
    for (; n > 8; p += 8, n -= 8)
      mix(Load8(p));
    if (K.size() >= 8)
      mix(Load8(K.data() + K.size() - 8)); // the last eight, overlapping
    else {
      uint64_t w = 0;
      for (size_t i = 0; i < n; ++i)
        w |= uint64_t(uint8_t(p[i])) << (8 * i);
      mix(w);
    }
    h ^= h >> 29;
    h *= 0x94D049BB133111EB;
    return uint32_t(h ^ (h >> 32));
  }
  static uint64_t Load8(const char* P) {
    uint64_t w;
    std::memcpy(&w, P, 8);
    return w;
  }
  // Twice the slots, each moved by its stored hash: no key is read again.
  void Grow() {
    TBigVector<uint64_t> old(FSlots.size() * 2, 0);
    old.swap(FSlots);
    const size_t mask = FSlots.size() - 1;
    for (const uint64_t v : old)
      if (v != 0) {
        size_t i = uint32_t(v >> 32) & mask;
        while (FSlots[i] != 0)
          i = (i + 1) & mask;
        FSlots[i] = v;
      }
  }
  void EnsureHash() const {
    if (FHashed) {
      if (!FUnhashed.empty()) {
        auto* self = const_cast<TIndex*>(this);
        self->HashInOrder(
            FUnhashed.size(), [&](size_t I) { return FUnhashed[I]; }, true, false);
        FUnhashed.clear();
      }
      return;
    }
    const_cast<TIndex*>(this)->HashAll(false);
  }
  // Every record hashed; Stored: FNext holds each record's hash already.
  void HashAll(bool Stored) {
    const size_t n = FKeyOff.size();
    size_t size = 16;
    while (size < n * 2)
      size *= 2;
    FSlots.assign(size, 0);
    if (!Stored) {
      FNext.reserve(WithRoom(n));
      FNext.assign(n, NoRec);
    }
    FUnhashed.clear();
    FUsed = 0;
    FHashed = true;
    HashInOrder(
        n, [](size_t I) { return uint32_t(I); }, false, Stored);
  }
  // Hashes records RecAt(0..N-1) in that order, each to the front of its list. The slots are far
  // apart in memory: each record's is fetched a few records ahead, so that the misses overlap.
  // Waiting alone takes only the records still marked so (one may be listed twice).
  // Stored: each record's hash is in FNext until the record is hashed.
  template <class F> void HashInOrder(size_t N, F RecAt, bool WaitingAlone, bool Stored) {
    constexpr size_t ahead = 16;
    std::array<uint32_t, ahead> hashes{};
    const auto fetch = [&](size_t I) {
      const uint32_t r = RecAt(I);
      if (FKeyOff[r] == 0) return;
      hashes[I % ahead] = Stored ? FNext[r] : Hash(Key(r));
      __builtin_prefetch(&FSlots[hashes[I % ahead] & (FSlots.size() - 1)], 1);
    };
    for (size_t i = 0; i < std::min(N, ahead); ++i)
      fetch(i);
    for (size_t i = 0; i < N; ++i) {
      const uint32_t h = hashes[i % ahead], r = RecAt(i);
      if (i + ahead < N) fetch(i + ahead);
      if (!WaitingAlone || FNext[r] == Unhashed) HashInsert(r, h);
    }
  }
  // The slot of key K, or of the free slot where it would go.
  size_t SlotOf(std::string_view K, uint32_t H) const {
    const size_t mask = FSlots.size() - 1;
    for (size_t i = H & mask;; i = (i + 1) & mask) {
      const uint64_t v = FSlots[i];
      if (v == 0 || (uint32_t(v >> 32) == H && Key(uint32_t(v) - 1) == K)) return i;
    }
  }
  uint32_t FindHead(std::string_view K) const {
    const uint64_t v = FSlots[SlotOf(K, Hash(K))];
    return v == 0 ? NoRec : uint32_t(v) - 1;
  }
  void HashInsert(uint32_t Rec) {
    if (FKeyOff[Rec] != 0) HashInsert(Rec, Hash(Key(Rec)));
  }
  void HashInsert(uint32_t Rec, uint32_t h) {
    if (FKeyOff[Rec] == 0) return;
    uint64_t& v = FSlots[SlotOf(Key(Rec), h)];
    if (v == 0) {
      v = uint64_t(h) << 32 | (uint64_t(Rec) + 1);
      FNext[Rec] = NoRec;
      if (++FUsed * 4 > FSlots.size() * 3) Grow();
      return;
    }
    // Newest first: a record appended (the common case) goes in front at once.
    uint32_t head = uint32_t(v) - 1;
    if (Rec > head) {
      FNext[Rec] = head;
      v = uint64_t(h) << 32 | (uint64_t(Rec) + 1);
      return;
    }
    while (FNext[head] != NoRec && FNext[head] > Rec)
      head = FNext[head];
    FNext[Rec] = FNext[head];
    FNext[head] = Rec;
  }
  void HashRemove(uint32_t Rec) {
    if (FKeyOff[Rec] == 0 || FNext[Rec] == Unhashed) return;
    const std::string_view k = Key(Rec);
    size_t i = SlotOf(k, Hash(k));
    uint64_t& v = FSlots[i];
    if (v == 0) return;
    uint32_t head = uint32_t(v) - 1;
    if (head != Rec) {
      while (FNext[head] != NoRec && FNext[head] != Rec)
        head = FNext[head];
      if (FNext[head] == Rec) FNext[head] = FNext[Rec];
      return;
    }
    if (FNext[Rec] != NoRec) {
      v = (v & ~uint64_t(UINT32_MAX)) | (uint64_t(FNext[Rec]) + 1);
      return;
    }
    // The key's last record: close the gap so that probes further on still find theirs.
    const size_t mask = FSlots.size() - 1;
    for (size_t j = i;;) {
      j = (j + 1) & mask;
      const uint64_t w = FSlots[j];
      if (w == 0) break;
      const size_t home = uint32_t(w >> 32) & mask;
      if (i <= j ? (home <= i || home > j) : (home <= i && home > j)) {
        FSlots[i] = w;
        i = j;
      }
    }
    FSlots[i] = 0;
    --FUsed;
  }
  mutable std::u16string FSearchText;
  mutable std::string FSearchKey;
  mutable bool FSearchValid = false;
  mutable std::unique_ptr<TQEMFuzzyIndex> FFuzzy;
};

void TIndex::Build() {
  FBuilt = true;
  FOrdered = false;
  FAllKeys = false;
  FNonPlain = 0;
  FFuzzy.reset();
  const size_t n = FOwner.Tu.size();
  StartArena();
  FindPlainChars();
  FPrintablePlain =
      std::all_of(FPlain.begin() + 0x20, FPlain.begin() + 0x7F, [](bool B) { return B; });
  FGarbage = 0;
  FPending.clear();
  FIsPending.clear();
  FChunks.clear();
  FCount = 0;
  FStartsOk = false;
  FHashed = false;
  FSearchValid = false;
  FKeyOff.reserve(WithRoom(n));
  FKeyOff.assign(n, 0);
  FKeyLen.reserve(WithRoom(n));
  FKeyLen.assign(n, FEmptyLen);
  FNext.reserve(WithRoom(n)); // each key's hash while its bytes are at hand
  FNext.assign(n, NoRec);
  std::u16string u16;
  std::string tmp, tmp2;
  size_t plain = 0;
  // A text is three hops away (seg, its text node, the characters), each likely a miss: each
  // hop is fetched some records ahead of its use.
  constexpr size_t ring = 32, far = 48, near = 24, chars = 8;
  std::array<pugi::xml_node, ring> first{};
  const auto firstOf = [&](size_t R) {
    first[R % ring] =
        Seg(uint32_t(R)) ? pugi::xml_node(Seg(uint32_t(R))).first_child() : pugi::xml_node();
    __builtin_prefetch(first[R % ring].internal_object());
  };
  for (size_t r = 0; r < std::min(n, far); ++r)
    __builtin_prefetch(Seg(uint32_t(r)));
  for (size_t r = 0; r < std::min(n, near); ++r)
    firstOf(r);
  for (uint32_t r = 0; r < n; ++r) {
    if (r + far < n) __builtin_prefetch(Seg(r + far));
    if (r + near < n) firstOf(r + near);
    if (r + chars < n && first[(r + chars) % ring])
      __builtin_prefetch(first[(r + chars) % ring].value());
    const pugi::xml_node c = first[r % ring];
    std::string_view t;
    bool plainText = false;
    if (c && !c.next_sibling() && (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata))
      plainText = ScanPlain(c.value(), t); // the usual case: one text, read once
    else
      t = FoldBreaks(SegUtf8(Seg(r), tmp), tmp2);
    if (t.empty()) continue;
    if (plainText || PlainUtf8(t)) {
      FKeyOff[r] = FArena.Add(t);
      FKeyLen[r] = uint32_t(t.size()) | PlainBit;
      FNext[r] = Hash(t);
      ++plain;
      continue;
    }
    ++FNonPlain;
    u16.resize(t.size());
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(u16.data()), int32_t(u16.size()), &len, t.data(),
                         int32_t(t.size()), 0xFFFD, nullptr, &err);
    const size_t before = FArena.Bytes();
    FKeyOff[r] = FArena.AddKey(FColl, std::u16string_view(u16.data(), size_t(len)));
    FKeyLen[r] = uint32_t(FArena.Bytes() - before);
    FNext[r] = Hash(Key(r));
  }
  FAllKeys = plain == 0;
  FPlainRecs.clear();
  FPlainListed = FAllKeys;
  HashAll(true);
}

// Characters whose share of a collation key stands for them alone: one collation element with a
// primary weight, in no contraction of such characters only, no two alike. Texts of them alone
// collate equal exactly when their bytes are equal, so they need no key to be found.
void TIndex::FindPlainChars() {
  // Asking the collator takes milliseconds: once per locale and run.
  static std::mutex lock;
  static std::unordered_map<std::u16string, std::array<bool, 128>> known;
  // Known by what the collator collates by: its rules and the attributes that bear on equality.
  int32_t len = 0;
  const UChar* rules = ucol_getRules(FColl, &len);
  std::u16string name(reinterpret_cast<const char16_t*>(rules), size_t(len));
  for (const UColAttribute a : {UCOL_ALTERNATE_HANDLING, UCOL_NUMERIC_COLLATION, UCOL_STRENGTH,
                                UCOL_CASE_FIRST, UCOL_CASE_LEVEL, UCOL_NORMALIZATION_MODE}) {
    UErrorCode err = U_ZERO_ERROR;
    name += char16_t(0xE000 + ucol_getAttribute(FColl, a, &err));
  }
  std::lock_guard guard(lock);
  if (const auto at = known.find(name); at != known.end()) {
    FPlain = at->second;
    return;
  }
  AskPlainChars();
  known.emplace(name, FPlain);
}

void TIndex::AskPlainChars() {
  FPlain.fill(false);
  UErrorCode err = U_ZERO_ERROR;
  if (ucol_getAttribute(FColl, UCOL_ALTERNATE_HANDLING, &err) != UCOL_NON_IGNORABLE ||
      ucol_getAttribute(FColl, UCOL_NUMERIC_COLLATION, &err) != UCOL_OFF || U_FAILURE(err))
    return;
  std::array<bool, 128> candidate{};
  for (size_t c = 0x20; c < 0x7F; ++c)
    candidate[c] = true;
  candidate['\t'] = candidate['\n'] = candidate['\r'] = true;
  USet* set = uset_openEmpty();
  ucol_getContractionsAndExpansions(FColl, set, nullptr, true, &err);
  UChar item[64];
  for (int32_t i = 0, n = uset_getItemCount(set); i < n && U_SUCCESS(err); ++i) {
    UChar32 from = 0, to = 0;
    const int32_t len = uset_getItem(set, i, &from, &to, item, 64, &err);
    if (std::all_of(item, item + std::max(len, 0), [](UChar C) { return C < 0x80; }))
      for (int32_t k = 0; k < len; ++k)
        candidate[item[k]] = false;
  }
  uset_close(set);
  if (U_FAILURE(err)) return;
  std::unordered_set<std::string> seen; // the empty text's key first: none may collate as none
  seen.emplace(FArena.At(0), FEmptyLen);
  for (size_t c = 0; c < candidate.size(); ++c) {
    if (!candidate[c]) continue;
    const UChar ch = UChar(c);
    UCollationElements* it = ucol_openElements(FColl, &ch, 1, &err);
    int count = 0;
    bool primary = true;
    for (int32_t ce; U_SUCCESS(err) && (ce = ucol_next(it, &err)) != UCOL_NULLORDER;) {
      ++count;
      primary = primary && ucol_primaryOrder(ce) != 0;
    }
    ucol_closeElements(it);
    std::string key;
    AppendKey(FColl, std::u16string_view(reinterpret_cast<const char16_t*>(&ch), 1), key);
    if (U_FAILURE(err)) return;
    FPlain[c] = count == 1 && primary && seen.insert(key).second;
  }
}

// Every record keyed by collation, as the order and look-ups of other texts need.
void TIndex::MakeAllKeys() {
  if (FPlainListed) {
    KeyPlainRecs();
    return;
  }
  TKeyArena fresh;
  fresh.Add(std::string_view(FArena.At(0), FEmptyLen));
  std::u16string u16;
  for (size_t r = 0; r < FKeyOff.size(); ++r) {
    if (FKeyOff[r] == 0) continue;
    const std::string_view k = Key(uint32_t(r));
    if (!(FKeyLen[r] & PlainBit)) {
      FKeyOff[r] = fresh.Add(k);
      continue;
    }
    u16.assign(k.begin(), k.end());
    const size_t before = fresh.Bytes();
    FKeyOff[r] = fresh.AddKey(FColl, u16);
    FKeyLen[r] = uint32_t(fresh.Bytes() - before);
    ++FNonPlain;
  }
  FArena = std::move(fresh);
  FGarbage = 0;
  FAllKeys = true;
  FPlainRecs.clear();
  FPlainListed = true;
  FHashed = false;
  FSlots = {};
  FNext = {};
}

// The few records keyed by their bytes since all were keyed by collation: each is rehashed in
// place, the rest stay as they are.
void TIndex::KeyPlainRecs() {
  std::u16string u16;
  for (const uint32_t r : FPlainRecs) {
    if (FKeyOff[r] == 0 || !(FKeyLen[r] & PlainBit)) continue;
    if (FHashed) HashRemove(r);
    const std::string_view k = Key(r);
    u16.assign(k.begin(), k.end());
    FGarbage += k.size();
    const size_t before = FArena.Bytes();
    FKeyOff[r] = FArena.AddKey(FColl, u16);
    FKeyLen[r] = uint32_t(FArena.Bytes() - before);
    ++FNonPlain;
    if (FHashed) HashInsert(r);
  }
  FAllKeys = true;
  FPlainRecs.clear();
  if (FGarbage > (size_t(1) << 20) && FGarbage > FArena.Bytes() / 2) Repack();
}

void TIndex::Order() {
  if (!FAllKeys) MakeAllKeys();
  const size_t n = FKeyOff.size();
  std::vector<uint32_t> order(n);
  for (uint32_t r = 0; r < n; ++r)
    order[r] = r;
  SortByKey(order);
  Chunk(order);
  FPending.clear();
  FIsPending.assign(n, false);
  FOrdered = true;
}

void TIndex::SortByKey(std::vector<uint32_t>& Recs) const {
  if (Recs.empty()) return;
  // Texts often share a long lead-in: each entry carries the eight key bytes after the part all
  // keys share, so that most comparisons of the sort are one of integers.
  const std::string_view first = Key(Recs[0]);
  size_t skip = first.size();
  for (size_t i = 1; i < Recs.size() && skip; ++i) {
    const std::string_view b = Key(Recs[i]);
    const size_t m = std::min({skip, first.size(), b.size()});
    skip = size_t(std::mismatch(first.begin(), first.begin() + ptrdiff_t(m), b.begin()).first -
                  first.begin());
  }
  struct TEntry {
    uint64_t Head;
    uint32_t Rec;
  };
  std::vector<TEntry> entries(Recs.size());
  for (size_t i = 0; i < Recs.size(); ++i) {
    const std::string_view k = Key(Recs[i]);
    uint64_t head = 0;
    for (size_t b = skip; b < skip + 8; ++b)
      head = (head << 8) | (b < k.size() ? uint8_t(k[b]) : 0);
    entries[i] = {head, Recs[i]};
  }
  const size_t tail = skip + 8;
  std::sort(entries.begin(), entries.end(), [&](const TEntry& A, const TEntry& B) {
    if (A.Head != B.Head) return A.Head < B.Head;
    // Equal heads: both keys end inside them (equal keys) or both go on.
    const std::string_view a = Key(A.Rec), b = Key(B.Rec);
    const int c =
        a.size() <= tail || b.size() <= tail ? 0 : CompareKeys(a.substr(tail), b.substr(tail));
    return c != 0 ? c < 0 : A.Rec < B.Rec;
  });
  for (size_t i = 0; i < Recs.size(); ++i)
    Recs[i] = entries[i].Rec;
}

void TIndex::Merge() {
  std::vector<uint32_t> add;
  for (const uint32_t r : FPending)
    if (FIsPending[r]) {
      FIsPending[r] = false;
      add.push_back(r);
    }
  FPending.clear();
  // A few records go in one by one; many in one pass over the order.
  if (add.size() * 64 < FCount) {
    for (const uint32_t r : add) {
      auto [c, o] = LowerBound(Key(r), r);
      if (c == FChunks.size()) {
        --c;
        o = FChunks[c].size();
      }
      FChunks[c].insert(FChunks[c].begin() + ptrdiff_t(o), r);
      if (FChunks[c].size() > ChunkMax) {
        std::vector<uint32_t> rest(FChunks[c].begin() + ptrdiff_t(FChunks[c].size() / 2),
                                   FChunks[c].end());
        FChunks[c].resize(FChunks[c].size() / 2);
        FChunks.insert(FChunks.begin() + ptrdiff_t(c + 1), std::move(rest));
      }
      ++FCount;
    }
    FStartsOk = false;
    return;
  }
  const auto less = [&](uint32_t A, uint32_t B) {
    const int c = CompareKeys(Key(A), Key(B));
    return c != 0 ? c < 0 : A < B;
  };
  SortByKey(add);
  std::vector<uint32_t> old;
  old.reserve(FCount);
  for (const auto& ch : FChunks)
    old.insert(old.end(), ch.begin(), ch.end());
  std::vector<uint32_t> order;
  order.reserve(old.size() + add.size());
  auto from = old.begin();
  for (const uint32_t r : add) {
    // Galloping from where the last one went: sorted additions cost little each.
    auto lo = from, hi = from;
    for (size_t step = 1; hi != old.end() && less(*hi, r); step *= 2) {
      lo = hi + 1;
      hi = size_t(old.end() - hi) > step ? hi + ptrdiff_t(step) : old.end();
    }
    const auto at = std::partition_point(lo, hi, [&](uint32_t X) { return less(X, r); });
    order.insert(order.end(), from, at);
    order.push_back(r);
    from = at;
  }
  order.insert(order.end(), from, old.end());
  Chunk(order);
}

void TIndex::Compact(const std::vector<uint32_t>& Map, uint32_t Gone) {
  if (!FBuilt) return;
  if (FOrdered && !FPending.empty()) Merge();
  size_t count = 0, kept = 0;
  for (size_t i = 0; i < FChunks.size(); ++i) {
    auto& ch = FChunks[i];
    size_t w = 0;
    for (const uint32_t r : ch)
      if (Map[r] != Gone) ch[w++] = Map[r];
    ch.resize(w);
    count += w;
    if (w && kept++ != i) FChunks[kept - 1] = std::move(ch);
  }
  FChunks.resize(kept);
  FCount = count;
  FStartsOk = false;
  size_t w = 0;
  for (size_t r = 0; r < FKeyOff.size(); ++r) {
    if (Map[r] == Gone) {
      if (FKeyOff[r] != 0) FGarbage += Key(uint32_t(r)).size();
      continue;
    }
    FKeyOff[w] = FKeyOff[r];
    FKeyLen[w++] = FKeyLen[r];
  }
  FKeyOff.resize(w);
  FKeyLen.resize(w);
  if (FOrdered) FIsPending.assign(w, false);
  w = 0;
  for (const uint32_t r : FPlainRecs)
    if (Map[r] != Gone) FPlainRecs[w++] = Map[r];
  FPlainRecs.resize(w);
  FHashed = false;
  FSlots = {};
  FNext = {};
  if (FFuzzy) FFuzzy->Compact(Map, Gone);
}

} // namespace

TQEMRepository::TState::TState() : Doc(CreateNewDocument()) {}

void TQEMRepository::TState::CreateDocument() {
  Doc = CreateNewDocument();
  LoadFromString(*Doc, std::u16string(NewDocumentText));
  Tmx = pugi::xml_node(Doc->DocumentElement().Handle());
  Attach();
  Header.append_attribute("creationtool") = "Fenmoor QEM";
  Header.append_attribute("creationtoolversion") = "9.0";
  Header.append_attribute("segtype") = "sentence";
  Header.append_attribute("datatype") = "plaintext";
  Header.append_attribute("creationdate") = UTF16ToUTF8(UTCDateText(QEMNowUTC())).c_str();
}

void TQEMRepository::TState::Attach() {
  Body = Tmx.child("body");
  if (!Body) Body = Tmx.append_child("body");
  Header = Tmx.child("header");
  if (!Header) Header = Tmx.insert_child_before("header", Body);
}

namespace {
std::string TagKey(std::string_view Utf8Tag) {
  std::string k(Utf8Tag);
  for (char& c : k)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return k;
}
} // namespace

int TQEMRepository::TState::LangIndex(std::string_view Utf8Tag) const {
  if (Langs.size() <= 8) { // the usual case, cheaper than a look-up
    for (size_t i = 0; i < Langs.size(); ++i)
      if (AsciiSameNoCase(Langs[i].Utf8Tag, Utf8Tag)) return int(i);
    return -1;
  }
  const auto it = LangByTag.find(TagKey(Utf8Tag));
  return it == LangByTag.end() ? -1 : it->second;
}

int TQEMRepository::TState::AddLanguage(const std::u16string& Tag) {
  // Every add names its languages: the usual few are found without a conversion.
  if (Langs.size() <= 8)
    if (const int i = IndexOf(Tag); i >= 0) return i;
  const std::string u = UTF16ToUTF8(Tag);
  if (const int i = LangIndex(u); i >= 0) return i;
  if (Tag.empty() || u.find_first_of(" \t\r\n\"<>&") != std::string::npos || FirstUnwritable(Tag))
    throw EQEMRepositoryError(Format(SRepUnableAddLanguage, Tag));
  Langs.push_back({Tag, u, OpenCollator(Tag)});
  LangByTag.emplace(TagKey(u), int(Langs.size() - 1));
  Seg.emplace_back();
  Seg.back().reserve(std::max(Tu.capacity(), Tu.size()));
  Seg.back().assign(Tu.size(), nullptr);
  Indexes.push_back(
      std::make_unique<TIndex>(*this, int(Langs.size() - 1), Langs.back().Coll.get()));
  return int(Langs.size() - 1);
}

int TQEMRepository::TState::AppendRecord(NodePtr TuNode) {
  if (Tu.size() >= 0x7FFFFFFF) throw EQEMRepositoryError(std::u16string(SRepUnableAddRecord));
  Tu.push_back(TuNode);
  for (auto& s : Seg)
    s.push_back(nullptr);
  return int(Tu.size() - 1);
}

void TQEMRepository::TState::SetString(int Rec, int Lang, const std::u16string& Text) {
  NodePtr& seg = Seg[size_t(Lang)][size_t(Rec)];
  if (!seg) {
    pugi::xml_node tu(Tu[size_t(Rec)]);
    pugi::xml_node tuv = FindTuv(tu, Langs[size_t(Lang)].Utf8Tag);
    if (!tuv) {
      tuv = tu.append_child("tuv");
      tuv.append_attribute("xml:lang") = Langs[size_t(Lang)].Utf8Tag.c_str();
    }
    pugi::xml_node s = tuv.child("seg");
    if (!s) s = tuv.prepend_child("seg");
    seg = s.internal_object();
  }
  SetElementText(pugi::xml_node(seg), Text);
  Indexes[size_t(Lang)]->Update(uint32_t(Rec), Text);
}

void TQEMRepository::TState::DeleteLanguage(int Lang) {
  const std::string tag = Langs[size_t(Lang)].Utf8Tag;
  // Every tuv of the language goes, also a second one a hand-edited file may hold.
  for (NodePtr t : Tu) {
    pugi::xml_node tu(t);
    for (pugi::xml_node tuv = tu.child("tuv"); tuv;) {
      const pugi::xml_node next = tuv.next_sibling("tuv");
      if (AsciiSameNoCase(tuv.attribute("xml:lang").value(), tag)) tu.remove_child(tuv);
      tuv = next;
    }
  }
  Langs.erase(Langs.begin() + Lang);
  LangByTag.clear();
  for (size_t i = 0; i < Langs.size(); ++i)
    LangByTag.emplace(TagKey(Langs[i].Utf8Tag), int(i));
  Seg.erase(Seg.begin() + Lang);
  Indexes.erase(Indexes.begin() + Lang);
  for (size_t i = size_t(Lang); i < Indexes.size(); ++i)
    Indexes[i]->SetLang(int(i));
}

void TQEMRepository::TState::DeleteRecords(const std::vector<int>& Sorted) {
  // One pass over the records and one over each index, however many records go.
  constexpr uint32_t gone = UINT32_MAX;
  std::vector<uint32_t> map(Tu.size());
  size_t k = 0, next = 0;
  for (size_t r = 0; r < Tu.size(); ++r) {
    if (k < Sorted.size() && size_t(Sorted[k]) == r) {
      ++k;
      map[r] = gone;
      pugi::xml_node tu(Tu[r]);
      tu.parent().remove_child(tu);
      continue;
    }
    map[r] = uint32_t(next);
    Tu[next] = Tu[r];
    for (auto& s : Seg)
      s[next] = s[r];
    ++next;
  }
  Tu.resize(next);
  for (auto& s : Seg)
    s.resize(next);
  for (auto& ix : Indexes)
    ix->Compact(map, gone);
}

std::u16string TQEMRepository::TState::GetID(int Rec) const {
  return TQEMXMLNode(Tu[size_t(Rec)]).GetAttribute(u"tuid");
}

void TQEMRepository::TState::ThrowUnwritableRecord() const {
  const auto bad = [](const char* S) { return FirstUnwritable(UTF8ToUTF16(S)); };
  for (size_t r = 0; r < Tu.size(); ++r) {
    pugi::xml_node tu(Tu[r]);
    char32_t c = 0;
    for (pugi::xml_node n = tu; n && !c;) {
      if (!(c = bad(n.name()))) c = bad(n.value());
      for (pugi::xml_attribute a = n.first_attribute(); a && !c; a = a.next_attribute())
        if (!(c = bad(a.name()))) c = bad(a.value());
      // Depth first through the unit only.
      if (n.first_child())
        n = n.first_child();
      else {
        while (n != tu && !n.next_sibling())
          n = n.parent();
        n = n == tu ? pugi::xml_node() : n.next_sibling();
      }
    }
    if (!c) continue;
    std::u16string text;
    for (size_t l = 0; l < Seg.size() && text.empty(); ++l)
      text = SegText(Seg[l][r]);
    if (text.empty()) text = GetID(int(r));
    throw EQEMRepositoryError(
        Format(SRepRecordUnwritable, FileName, int(r + 1), Shown(text), uint32_t(c)));
  }
}

const IQEMRepositoryIndex& TQEMRepository::TState::Index(int LangIndex) const {
  return *Indexes.at(size_t(LangIndex));
}

struct TQEMRepository::TImpl {
  std::unique_ptr<TState> S = std::make_unique<TState>();
  bool Modified = false;
  int Update = 0;
  bool Pending = false;
  std::shared_ptr<IQEMRepositoryNotifier> Notifier;
  // The named file failed to load: it is not read again in this run, nothing is added, and it
  // is never saved over. Cleared by a successful load or a reset.
  bool LoadFailed = false;
  std::u16string LoadError;

  void Changed() {
    Modified = true;
    if (Update > 0)
      Pending = true;
    else if (Notifier)
      Notifier->Changed();
  }
};

class TQEMRepositoryRecord : public IQEMRepositoryRecord {
public:
  TQEMRepositoryRecord(std::shared_ptr<TQEMRepository> Owner, int Index)
      : FOwner(std::move(Owner)), FIndex(Index) {}
  std::u16string GetString(const std::u16string& LangTag) const override {
    auto& s = State();
    const int l = s.IndexOf(LangTag);
    return l < 0 ? std::u16string() : SegText(s.Seg[size_t(l)][size_t(FIndex)]);
  }
  std::u16string GetNote(const std::u16string& LangTag) const override {
    pugi::xml_node tuv = FindTuv(pugi::xml_node(State().Tu[size_t(FIndex)]), UTF16ToUTF8(LangTag));
    pugi::xml_node n = tuv.child("note");
    return n ? SegText(n.internal_object()) : std::u16string();
  }
  std::u16string GetID() const override { return State().GetID(FIndex); }
  void SetString(const std::u16string& LangTag, const std::u16string& Text) override {
    CheckWritable(Text);
    auto& s = State();
    s.SetString(FIndex, s.AddLanguage(LangTag), Text);
    FOwner->FImpl->Changed();
  }
  void SetNote(const std::u16string& LangTag, const std::u16string& Text) override {
    CheckWritable(Text);
    pugi::xml_node tuv = FindTuv(pugi::xml_node(State().Tu[size_t(FIndex)]), UTF16ToUTF8(LangTag));
    if (!tuv) return;
    pugi::xml_node n = tuv.child("note");
    // TMX puts a tuv's notes before its seg.
    if (!n && tuv.child("seg")) n = tuv.insert_child_before("note", tuv.child("seg"));
    if (!n) n = tuv.append_child("note");
    SetElementText(n, Text);
    FOwner->FImpl->Changed();
  }
  void SetID(const std::u16string& Text) override {
    CheckWritable(Text);
    TQEMXMLNode tu(State().Tu[size_t(FIndex)]);
    if (Text.empty())
      tu.RemoveAttribute(u"tuid");
    else
      tu.SetAttribute(u"tuid", Text);
    FOwner->FImpl->Changed();
  }
  int Index() const override { return FIndex; }

private:
  TQEMRepository::TState& State() const {
    auto& s = *FOwner->FImpl->S;
    if (size_t(FIndex) >= s.Tu.size())
      throw EQEMRepositoryError(std::u16string(SRepUnableAddRecord));
    return s;
  }
  std::shared_ptr<TQEMRepository> FOwner;
  int FIndex;
};

namespace {

// ---- Legacy form ----------------------------------------------------------------------------
// Text blocks hold the text in the ANSI code page of the block's language (UTF-8 for a language
// without one), N being its byte count. A text that code page cannot hold refuses the save
// rather than being written as "?".

uint32_t LegacyCodePage(LCID Lcid) {
  const uint32_t cp = LCIDToCodePage(Lcid);
  return cp == 0 ? 65001 : cp;
}

struct TReader {
  std::string_view B;
  size_t P = 0;
  void Need(uint64_t N) const {
    if (N > B.size() - P) throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
  }
  template <class T> T Get() {
    Need(sizeof(T));
    T v;
    std::memcpy(&v, B.data() + P, sizeof(T));
    P += sizeof(T);
    return v;
  }
};

template <class T> void Put(std::string& Out, T V) {
  Out.append(reinterpret_cast<const char*>(&V), sizeof(T));
}

void ReadLegacy(TQEMRepository::TState& S, std::string_view Bytes) {
  TReader r{Bytes};
  r.Need(LegacyHeaderSize);
  r.P = 4;
  const uint32_t version = r.Get<uint32_t>();
  if (version > QEMRepositoryLegacyVersion)
    throw EQEMRepositoryError(std::u16string(SRepInvalidVersion));
  S.Created = r.Get<double>();
  S.Changed = r.Get<double>();
  const int32_t l = r.Get<int32_t>();
  const int32_t n = r.Get<int32_t>();
  if (l < 0 || n < 0 || (l == 0 && n >= 1))
    throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
  r.P = LegacyHeaderSize;
  // Every record holds at least a length per language: absurd counts fail before allocating.
  r.Need(uint64_t(l) * 4 + uint64_t(n) * uint64_t(l) * 4);
  S.CreateDocument();
  S.Version = QEMRepositoryLegacyVersion;
  std::vector<LCID> lcids;
  for (int32_t i = 0; i < l; ++i) {
    const LCID lcid = r.Get<uint32_t>();
    std::u16string tag;
    if (!TryLCIDToLangTag(lcid, tag))
      throw EQEMRepositoryError(Format(SRepUnableAddLanguage, LCIDToStr(lcid)));
    if (S.AddLanguage(tag) != i) throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
    lcids.push_back(lcid);
  }
  S.Tu.reserve(WithRoom(size_t(n)));
  for (auto& v : S.Seg)
    v.reserve(WithRoom(size_t(n)));
  for (int32_t rec = 0; rec < n; ++rec) {
    pugi::xml_node tu = S.Body.append_child("tu");
    S.AppendRecord(tu.internal_object());
    for (int32_t i = 0; i < l; ++i) {
      const int32_t len = r.Get<int32_t>();
      if (len < 0) throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
      const uint64_t block = (uint64_t(len) + 4) & ~uint64_t(3);
      r.Need(block);
      std::u16string text =
          StringToWideStringCP(LegacyCodePage(lcids[size_t(i)]), Bytes.substr(r.P, size_t(len)));
      r.P += size_t(block);
      if (text.empty()) continue;
      std::u16string raw = text;
      if (TryCPPStringToRaw(raw))
        text = raw;
      else if (raw = text; TryPasStringToRaw(raw))
        text = raw;
      pugi::xml_node tuv = tu.append_child("tuv");
      tuv.append_attribute("xml:lang") = S.Langs[size_t(i)].Utf8Tag.c_str();
      pugi::xml_node seg = tuv.append_child("seg");
      SetElementText(seg, text);
      S.Seg[size_t(i)][size_t(rec)] = seg.internal_object();
    }
  }
  for (int32_t i = 1; i < l; ++i)
    for (int32_t k = 0; k < n; ++k)
      if (r.Get<uint32_t>() >= uint32_t(n))
        throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
}

std::string WriteLegacy(TQEMRepository::TState& S) {
  for (NodePtr t : S.Tu) {
    pugi::xml_node tu(t);
    bool lossy = !std::string_view(tu.attribute("tuid").value()).empty();
    for (pugi::xml_node tuv = tu.child("tuv"); tuv && !lossy; tuv = tuv.next_sibling("tuv"))
      lossy = bool(tuv.child("note"));
    if (lossy) throw EQEMRepositoryError(std::u16string(SRepLegacyContext));
  }
  std::vector<LCID> lcids;
  for (const auto& lang : S.Langs) {
    LCID lcid = 0;
    if (!TryLangTagToLCID(lang.Tag, lcid))
      throw EQEMRepositoryError(Format(SRepLegacyLanguage, lang.Tag));
    lcids.push_back(lcid);
  }
  std::string out = "QRDM";
  Put<uint32_t>(out, QEMRepositoryLegacyVersion);
  if (S.Created == 0) S.Created = QEMNow();
  Put<double>(out, S.Created);
  Put<double>(out, QEMNow());
  Put<int32_t>(out, int32_t(S.Langs.size()));
  Put<int32_t>(out, int32_t(S.Tu.size()));
  out.resize(LegacyHeaderSize, '\0');
  for (LCID c : lcids)
    Put<uint32_t>(out, c);
  for (size_t rec = 0; rec < S.Tu.size(); ++rec)
    for (size_t i = 0; i < S.Langs.size(); ++i) {
      std::u16string text = SegText(S.Seg[i][rec]);
      // The reader unwraps literals, so a text that looks like one goes in wrapped.
      if (IsValidCPPString(text) || IsValidPasString(text)) text = RawToCPPString(text);
      const uint32_t cp = LegacyCodePage(lcids[i]);
      const std::string bytes = WideStringToStringCP(cp, text);
      if (StringToWideStringCP(cp, bytes) != text)
        throw EQEMRepositoryError(Format(SRepLegacyEncoding, cp, text));
      Put<int32_t>(out, int32_t(bytes.size()));
      out += bytes;
      out.resize(out.size() + ((bytes.size() + 4) & ~size_t(3)) - bytes.size(), '\0');
    }
  for (size_t i = 1; i < S.Langs.size(); ++i)
    for (int p = 0; p < S.Indexes[i]->Count(); ++p)
      Put<uint32_t>(out, uint32_t(S.Indexes[i]->Item(p)));
  return out;
}

// ---- TMX ------------------------------------------------------------------------------------

void ReadTMX(TQEMRepository::TState& S, std::string_view Bytes) {
  S.Doc = CreateNewDocument();
  if (!LoadFromBytes(*S.Doc, Bytes)) throw EQEMRepositoryError(S.Doc->LastError());
  S.Tmx = pugi::xml_node(S.Doc->DocumentElement().Handle());
  if (!S.Tmx || std::strcmp(S.Tmx.name(), "tmx") != 0)
    throw EQEMRepositoryError(std::u16string(SRepInvalidFormat));
  S.Attach();
  S.Author = UTF8ToUTF16(S.Header.attribute("creationtool").value());
  // The tags as the file spells them, in byte order; the names stay in the document meanwhile.
  std::unordered_set<std::string_view> seen;
  std::string_view last;
  size_t units = 0;
  for (pugi::xml_node tu = S.Body.child("tu"); tu; tu = tu.next_sibling("tu"), ++units)
    for (pugi::xml_node tuv = tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv"))
      if (const std::string_view v = tuv.attribute("xml:lang").value(); !v.empty() && v != last) {
        seen.insert(v);
        last = v;
      }
  std::vector<std::string_view> tags(seen.begin(), seen.end());
  std::sort(tags.begin(), tags.end());
  for (const auto& t : tags)
    S.AddLanguage(UTF8ToUTF16(t));
  S.Tu.reserve(WithRoom(units));
  for (auto& v : S.Seg)
    v.reserve(WithRoom(units));
  for (pugi::xml_node tu = S.Body.child("tu"); tu; tu = tu.next_sibling("tu")) {
    const size_t rec = size_t(S.AppendRecord(tu.internal_object()));
    for (pugi::xml_node tuv = tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv")) {
      const int l = S.LangIndex(tuv.attribute("xml:lang").value());
      if (l < 0 || S.Seg[size_t(l)][rec]) continue;
      if (pugi::xml_node seg = tuv.child("seg")) S.Seg[size_t(l)][rec] = seg.internal_object();
    }
  }
}

std::string ReadFileBytes(const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes))
    throw EQEMRepositoryError(Format(SRepUnableLoad, FileName));
  return bytes;
}

} // namespace

// ---- TQEMRepository ---------------------------------------------------------------------------

TQEMRepository::TQEMRepository() : FImpl(std::make_unique<TImpl>()) {
  FImpl->S->CreateDocument();
}
TQEMRepository::~TQEMRepository() = default;

int TQEMRepository::AddLanguage(const std::u16string& LangTag) {
  const int before = FImpl->S->Count();
  const int i = FImpl->S->AddLanguage(LangTag);
  if (FImpl->S->Count() != before) FImpl->Changed();
  return i;
}

bool TQEMRepository::Find(const std::u16string& Text, const std::u16string& LangTag,
                          int& Position) const {
  Position = 0;
  const auto& s = *FImpl->S;
  const int l = s.IndexOf(LangTag);
  if (l < 0) return false;
  const TIndex& ix = *s.Indexes[size_t(l)];
  bool found = false;
  Position = ix.Find(ix.SearchKey(Text), found);
  return found;
}

const TQEMFuzzyIndex* TQEMRepository::FuzzyIndex(const std::u16string& LangTag) const {
  const auto& s = *FImpl->S;
  const int l = s.IndexOf(LangTag);
  return l < 0 ? nullptr : &s.Indexes[size_t(l)]->Fuzzy();
}

const IQEMRepositoryIndexList& TQEMRepository::GetIndexList() const {
  return *FImpl->S;
}
const TQEMRepository::TState& TQEMRepository::State() const {
  return *FImpl->S;
}
int TQEMRepository::RecCount() const {
  return int(FImpl->S->Tu.size());
}

IQEMRepositoryRecordPtr TQEMRepository::GetRecord(int Index) {
  if (Index < 0 || Index >= RecCount()) return nullptr;
  return std::make_shared<TQEMRepositoryRecord>(shared_from_this(), Index);
}

void TQEMRepository::AppendPair(const std::u16string& OrigTag, const std::u16string& Original,
                                const std::u16string& XlatTag, const std::u16string& Translation,
                                const std::u16string& ContextID) {
  AddLanguage(OrigTag);
  auto& s = *FImpl->S;
  const int rec = s.AppendRecord(s.Body.append_child("tu").internal_object());
  for (auto& ix : s.Indexes)
    ix->Append(uint32_t(rec));
  FImpl->Changed();
  if (!ContextID.empty()) {
    TQEMXMLNode(s.Tu[size_t(rec)]).SetAttribute(u"tuid", ContextID);
    FImpl->Changed();
  }
  s.SetString(rec, s.AddLanguage(OrigTag), Original);
  FImpl->Changed();
  s.SetString(rec, s.AddLanguage(XlatTag), Translation);
  FImpl->Changed();
}

IQEMRepositoryRecordPtr TQEMRepository::AddRecord() {
  auto& s = *FImpl->S;
  const int rec = s.AppendRecord(s.Body.append_child("tu").internal_object());
  for (auto& ix : s.Indexes)
    ix->Append(uint32_t(rec));
  FImpl->Changed();
  return GetRecord(rec);
}

void TQEMRepository::BeginUpdate() {
  ++FImpl->Update;
  FImpl->S->Batch = true;
}

void TQEMRepository::EndUpdate() {
  if (FImpl->Update == 0) return;
  if (--FImpl->Update == 0) {
    FImpl->S->Batch = false;
    for (auto& ix : FImpl->S->Indexes)
      ix->EndBatch();
  }
  if (FImpl->Update == 0 && FImpl->Pending) {
    FImpl->Pending = false;
    if (FImpl->Notifier) FImpl->Notifier->Changed();
  }
}

void TQEMRepository::LoadFromFile(const std::u16string& FileName) {
  auto fresh = std::make_unique<TState>();
  const std::string bytes = ReadFileBytes(FileName);
  try {
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "QRDM", 4) == 0)
      ReadLegacy(*fresh, bytes);
    else {
      ReadTMX(*fresh, bytes);
      fresh->Version =
          gDefaultVersion == QEMRepositoryLegacyVersion ? QEMRepositoryTMXVersion : gDefaultVersion;
    }
  } catch (const EQEMError& e) {
    throw EQEMRepositoryError(Format(SRepUnableLoadBecause, FileName, e.Message()));
  } catch (const std::exception&) {
    throw EQEMRepositoryError(Format(SRepUnableLoad, FileName));
  }
  fresh->FileName = FileName;
  fresh->Loaded = true;
  fresh->Batch = FImpl->Update > 0;
  FImpl->S = std::move(fresh);
  FImpl->LoadFailed = false;
  FImpl->Modified = false;
  FImpl->Changed();
  FImpl->Modified = false;
}

void TQEMRepository::EnsureLoaded() {
  auto& s = *FImpl->S;
  if (s.Loaded || FImpl->LoadFailed) return;
  if (s.FileName.empty() || !FileExists(s.FileName)) {
    s.Loaded = true;
    return;
  }
  std::unique_ptr<TState> mine = std::move(FImpl->S);
  FImpl->S = std::make_unique<TState>(); // placeholder while loading
  FImpl->S->CreateDocument();
  try {
    LoadFromFile(mine->FileName);
  } catch (const EQEMError& E) {
    // Read once per run: every later use goes on without the file instead of failing again.
    FImpl->S = std::move(mine);
    FImpl->LoadFailed = true;
    FImpl->LoadError = E.Message();
    throw;
  } catch (...) {
    FImpl->S = std::move(mine);
    throw;
  }
  if (mine->Tu.empty()) return;
  // Records added before the file was read go after the file's, never lost under them.
  auto& n = *FImpl->S;
  for (NodePtr t : mine->Tu) {
    pugi::xml_node tu = n.Body.append_copy(pugi::xml_node(t));
    // Languages first: a new one indexes the records there are.
    for (pugi::xml_node tuv = tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv"))
      n.AddLanguage(UTF8ToUTF16(tuv.attribute("xml:lang").value()));
    const size_t rec = size_t(n.AppendRecord(tu.internal_object()));
    for (pugi::xml_node tuv = tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv")) {
      const int l = n.LangIndex(tuv.attribute("xml:lang").value());
      if (!n.Seg[size_t(l)][rec]) n.Seg[size_t(l)][rec] = tuv.child("seg").internal_object();
    }
    for (auto& ix : n.Indexes)
      ix->Append(uint32_t(rec));
  }
  FImpl->Changed();
}

void TQEMRepository::Save() {
  auto& s = *FImpl->S;
  if (s.FileName.empty()) throw EQEMRepositoryError(std::u16string(SRepFileNameNotSpecified));
  EnsureLoaded();
  if (FImpl->LoadFailed) throw EQEMRepositoryError(Format(SRepNotLoadedNotSaved, s.FileName));
  auto& st = *FImpl->S;
  if (st.Version == QEMRepositoryLegacyVersion) {
    const std::string data = WriteLegacy(st);
    QEMSaveFileAtomically(st.FileName, data);
  } else {
    const std::string lang = st.Langs.empty() ? std::string() : st.Langs[0].Utf8Tag;
    const auto setAttr = [&](const char* Name, const std::string& Value) {
      pugi::xml_attribute a = st.Header.attribute(Name);
      if (!a) a = st.Header.append_attribute(Name);
      a.set_value(Value.c_str());
    };
    // The file's own choice stands while it names a language the repository still holds; only
    // a repository without one gets the first language.
    const auto keepOrSet = [&](const char* Name) {
      const std::string_view v = st.Header.attribute(Name).value();
      if (v.empty() || (v != "*all*" && st.LangIndex(v) < 0)) setAttr(Name, lang);
    };
    keepOrSet("adminlang");
    keepOrSet("srclang");
    setAttr("changedate", UTF16ToUTF8(UTCDateText(QEMNowUTC())));
    const bool formatted =
        QEMINTOptionProps && QEMINTOptionProps->RepositoryFormattedXML && !st.Formatted;
    try {
      QEMSaveFileAtomically(st.FileName, [&](std::ostream& Out) {
        if (formatted)
          SaveFormattedDocument(*st.Doc, Out, std::u16string(NewDocumentText));
        else
          SaveToStream(*st.Doc, Out);
      });
    } catch (const EQEMXMLError&) {
      st.ThrowUnwritableRecord();
      throw;
    }
  }
  FImpl->Modified = false;
}

void TQEMRepository::SetNotifier(std::shared_ptr<IQEMRepositoryNotifier> Notifier) {
  FImpl->Notifier = std::move(Notifier);
}

bool TQEMRepository::DeleteLanguage(const std::u16string& LangTag) {
  auto& s = *FImpl->S;
  const int l = s.IndexOf(LangTag);
  if (l < 0) return false;
  s.DeleteLanguage(l);
  FImpl->Changed();
  return true;
}

int TQEMRepository::DeleteRecords(std::vector<int> Indexes) {
  auto& s = *FImpl->S;
  std::erase_if(Indexes, [&](int I) { return I < 0 || size_t(I) >= s.Tu.size(); });
  std::sort(Indexes.begin(), Indexes.end());
  Indexes.erase(std::unique(Indexes.begin(), Indexes.end()), Indexes.end());
  if (Indexes.empty()) return 0;
  s.DeleteRecords(Indexes);
  FImpl->Changed();
  return int(Indexes.size());
}

void TQEMRepository::Reset(const std::u16string& FileName) {
  auto fresh = std::make_unique<TState>();
  fresh->CreateDocument();
  fresh->FileName = FileName;
  fresh->Loaded = true;
  fresh->Batch = FImpl->Update > 0;
  FImpl->S = std::move(fresh);
  FImpl->LoadFailed = false;
  FImpl->Changed();
  FImpl->Modified = false;
}

void TQEMRepository::SaveAs(const std::u16string& FileName) {
  EnsureLoaded();
  auto& s = *FImpl->S;
  const std::u16string oldName = s.FileName;
  const uint32_t oldVersion = s.Version;
  const bool oldLoaded = s.Loaded, failed = FImpl->LoadFailed;
  s.Version = QEMRepositoryTMXVersion;
  s.FileName = FileName;
  // Under another name the records of a run whose file failed to load can be kept.
  if (failed && FileName != oldName) {
    FImpl->LoadFailed = false;
    s.Loaded = true;
  }
  try {
    Save();
  } catch (...) {
    s.FileName = oldName;
    s.Version = oldVersion;
    s.Loaded = oldLoaded;
    FImpl->LoadFailed = failed;
    throw;
  }
}
const std::u16string& TQEMRepository::FileName() const {
  return FImpl->S->FileName;
}
void TQEMRepository::SetFileName(const std::u16string& FileName) {
  FImpl->S->FileName = FileName;
}
uint32_t TQEMRepository::Version() const {
  return FImpl->S->Version;
}
void TQEMRepository::SetVersion(uint32_t Version) {
  FImpl->S->Version = Version;
}
const std::u16string& TQEMRepository::Author() const {
  return FImpl->S->Author;
}
TDateTime TQEMRepository::DateCreated() const {
  return FImpl->S->Created;
}
TDateTime TQEMRepository::DateModified() const {
  return FImpl->S->Changed;
}
bool TQEMRepository::Modified() const {
  return FImpl->Modified;
}
const std::u16string* TQEMRepository::LoadError() const {
  return FImpl->LoadFailed ? &FImpl->LoadError : nullptr;
}
bool TQEMRepository::Loaded() const {
  return FImpl->S->Loaded;
}
void TQEMRepository::SetLoaded(bool Value) {
  FImpl->S->Loaded = Value;
}
const TQEMXMLDocument& TQEMRepository::Document() const {
  return *FImpl->S->Doc;
}

// ---- Procedural interface ---------------------------------------------------------------------

namespace {

TQEMRepository& Repo() {
  if (!gRepository) {
    auto made = std::make_shared<TQEMRepository>();
    made->SetFileName(gStartFileName);
    made->SetLoaded(gStartFileName.empty());
    gRepository = std::move(made);
    gStartFileName.clear();
  }
  return *gRepository;
}

struct TTags {
  std::u16string Orig, Xlat;
};

bool Tags(LCID OrigLCID, LCID XlatLCID, TTags& T) {
  return TryLCIDToLangTag(OrigLCID, T.Orig) && TryLCIDToLangTag(XlatLCID, T.Xlat) &&
         !T.Orig.empty() && !T.Xlat.empty();
}

// Calls Fn with each record whose original equals Original, in record order.
template <class F>
void WalkOriginal(TQEMRepository& R, const std::u16string& Original, const std::u16string& Tag,
                  F&& Fn) {
  const auto& s = R.State();
  const int l = s.IndexOf(Tag);
  if (l < 0) return;
  const TIndex& ix = *s.Indexes[size_t(l)];
  ix.ForEachEqual(Original, [&](uint32_t Rec) { return Fn(int(Rec)); });
}

std::u16string TextOf(TQEMRepository& R, int Rec, const std::u16string& Tag) {
  const auto& s = R.State();
  const int l = s.IndexOf(Tag);
  return l < 0 ? std::u16string() : SegText(s.Seg[size_t(l)][size_t(Rec)]);
}

// The language's texts by record, for walks that read many records of one language; empty
// texts throughout for a language the repository does not hold.
struct TTexts {
  const TBigVector<NodePtr>* Seg = nullptr;
  TTexts(TQEMRepository& R, const std::u16string& Tag) {
    const auto& s = R.State();
    if (const int l = s.IndexOf(Tag); l >= 0) Seg = &s.Seg[size_t(l)];
  }
  std::u16string operator[](int Rec) const {
    return Seg ? SegText((*Seg)[size_t(Rec)]) : std::u16string();
  }
};

std::u16string IDOf(TQEMRepository& R, int Rec) {
  return R.State().GetID(Rec);
}

void AppendPair(TQEMRepository& R, const TTags& T, const std::u16string& Original,
                const std::u16string& Translation, const std::u16string& ContextID) {
  R.AppendPair(T.Orig, Original, T.Xlat, Translation, ContextID);
}

void SetResult(TQEMRepositoryAddResult* Result, TQEMRepositoryAddResult Value) {
  if (Result) *Result = Value;
}

// Whether an add must be refused: the file failed to load, or a text could never be saved.
bool Refused(const TQEMRepository& R, std::u16string* Reason,
             std::initializer_list<const std::u16string*> Texts) {
  std::u16string why;
  if (R.LoadError()) why = Format(SRepNotLoadedNotAdded, R.FileName());
  for (auto t = Texts.begin(); why.empty() && t != Texts.end(); ++t)
    why = UnwritableReason(**t);
  if (Reason) *Reason = why;
  return !why.empty();
}

} // namespace

void QEMRepositoryOpen() {
  Repo().EnsureLoaded();
}

void QEMRepositorySave() {
  Repo().Save();
}

void QEMRepositorySaveAs(const std::u16string& FileName) {
  Repo().SaveAs(FileName);
}

std::u16string QEMRepositoryGetFileName() {
  return Repo().FileName();
}

void QEMRepositorySetFileName(const std::u16string& FileName) {
  auto& r = Repo();
  if (!FileName.empty() && FileExists(FileName))
    r.LoadFromFile(FileName);
  else
    r.Reset(FileName);
}

bool QEMRepositoryModified() {
  return gRepository && gRepository->Modified();
}

std::shared_ptr<IQEMRepository> QEMRepositoryGetRepository() {
  Repo().EnsureLoaded();
  // Whoever browses the repository must know it is not the file's content.
  if (const std::u16string* e = gRepository->LoadError()) throw EQEMRepositoryError(*e);
  return gRepository;
}

uint32_t QEMRepositoryGetDefaultVersion() {
  return gDefaultVersion;
}

uint32_t QEMRepositorySetDefaultVersion(uint32_t Version) {
  return std::exchange(gDefaultVersion, Version);
}

bool QEMRepositoryAddString(const std::u16string& Original, LCID OrigLCID,
                            const std::u16string& Translation, LCID XlatLCID,
                            const std::u16string& ContextID, TQEMRepositoryAddResult* Result,
                            std::u16string* Reason) {
  SetResult(Result, TQEMRepositoryAddResult::arFailed);
  if (Reason) Reason->clear();
  TTags t;
  if (Original.empty() || Translation.empty() || !Tags(OrigLCID, XlatLCID, t)) return false;
  auto& r = Repo();
  r.EnsureLoaded();
  if (Refused(r, Reason, {&Original, &Translation, &ContextID})) return false;
  bool exists = false;
  int free = -1;
  const TTexts xlat(r, t.Xlat);
  WalkOriginal(r, Original, t.Orig, [&](int Rec) {
    const std::u16string x = xlat[Rec];
    if (SameTextAZ(x, Translation) && (ContextID.empty() || IDOf(r, Rec) == ContextID)) {
      exists = true;
      return false;
    }
    if (x.empty() && free < 0) free = Rec;
    return true;
  });
  if (exists) {
    SetResult(Result, TQEMRepositoryAddResult::arExisted);
    return true;
  }
  if (free >= 0 && (ContextID.empty() || IDOf(r, free) == ContextID)) {
    r.GetRecord(free)->SetString(t.Xlat, Translation);
    SetResult(Result, TQEMRepositoryAddResult::arFilled);
    return true;
  }
  AppendPair(r, t, Original, Translation, ContextID);
  SetResult(Result, TQEMRepositoryAddResult::arAdded);
  return true;
}

bool QEMRepositoryForceAddString(const std::u16string& Original, LCID OrigLCID,
                                 const std::u16string& Translation, LCID XlatLCID,
                                 const std::u16string& ContextID, TQEMRepositoryAddResult* Result,
                                 std::u16string* Reason) {
  SetResult(Result, TQEMRepositoryAddResult::arFailed);
  if (Reason) Reason->clear();
  TTags t;
  if (Original.empty() || Translation.empty() || !Tags(OrigLCID, XlatLCID, t)) return false;
  auto& r = Repo();
  r.EnsureLoaded();
  if (Refused(r, Reason, {&Original, &Translation, &ContextID})) return false;
  r.AddLanguage(t.Orig);
  // With a context id only the record carrying that id may be reused.
  int rec = -1;
  WalkOriginal(r, Original, t.Orig, [&](int Rec) {
    if (!ContextID.empty() && IDOf(r, Rec) != ContextID) return true;
    rec = Rec;
    return false;
  });
  if (rec < 0) {
    AppendPair(r, t, Original, Translation, ContextID);
    SetResult(Result, TQEMRepositoryAddResult::arAdded);
    return true;
  }
  const std::u16string old = TextOf(r, rec, t.Xlat);
  if (old == Translation) {
    SetResult(Result, TQEMRepositoryAddResult::arExisted);
    return true;
  }
  r.GetRecord(rec)->SetString(t.Xlat, Translation);
  SetResult(Result,
            old.empty() ? TQEMRepositoryAddResult::arFilled : TQEMRepositoryAddResult::arReplaced);
  return true;
}

bool QEMRepositoryReplaceString(const std::u16string& Original, LCID OrigLCID,
                                const std::u16string& OldTranslation, LCID XlatLCID,
                                const std::u16string& NewTranslation,
                                const std::u16string& ContextID, std::u16string* Reason) {
  if (Reason) Reason->clear();
  TTags t;
  if (Original.empty() || NewTranslation.empty() || !Tags(OrigLCID, XlatLCID, t)) return false;
  auto& r = Repo();
  r.EnsureLoaded();
  if (Refused(r, Reason, {&NewTranslation})) return false;
  int rec = -1;
  WalkOriginal(r, Original, t.Orig, [&](int Rec) {
    if (QEMWideSameText(XlatLCID, TextOf(r, Rec, t.Xlat), OldTranslation) &&
        (ContextID.empty() || IDOf(r, Rec) == ContextID)) {
      rec = Rec;
      return false;
    }
    return true;
  });
  if (rec < 0) return false;
  r.GetRecord(rec)->SetString(t.Xlat, NewTranslation);
  return true;
}

namespace {

// "de" of "de-DE" or "de_DE"; empty for a tag without subtags.
std::u16string BareTag(const std::u16string& Tag) {
  const size_t dash = Tag.find_first_of(u"-_");
  return dash == std::u16string::npos || dash == 0 ? std::u16string() : Tag.substr(0, dash);
}

// Candidates of the records whose original in OrigTag equals Original. A record without a
// translation under the exact tag offers the one under the bare tag, looked at only then.
bool CollectCandidates(TQEMRepository& R, const std::u16string& Original,
                       const std::u16string& OrigTag, const TTexts& Xlat,
                       const std::u16string& BareXlat, IQEMWideStrings& Target,
                       const std::u16string& ContextID) {
  bool found = false;
  std::unique_ptr<TTexts> bare;
  WalkOriginal(R, Original, OrigTag, [&](int Rec) {
    found = true;
    if (!ContextID.empty() && IDOf(R, Rec) != ContextID) return true;
    std::u16string x = Xlat[Rec];
    if (x.empty() && !BareXlat.empty()) {
      if (!bare) bare = std::make_unique<TTexts>(R, BareXlat);
      x = (*bare)[Rec];
    }
    if (!x.empty()) Target.Add(std::move(x));
    return true;
  });
  return found;
}

} // namespace

bool QEMRepositoryGetString(const std::u16string& Original, LCID OrigLCID, IQEMWideStrings& Target,
                            LCID XlatLCID, const std::u16string& ContextID, bool ExactLanguages) {
  Target.Clear();
  TTags t;
  if (Original.empty() || !Tags(OrigLCID, XlatLCID, t)) return false;
  auto& r = Repo();
  r.EnsureLoaded();
  const TTexts xlat(r, t.Xlat);
  const std::u16string bareXlat = ExactLanguages ? std::u16string() : BareTag(t.Xlat);
  if (!xlat.Seg && (bareXlat.empty() || r.GetIndexList().Languages().IndexOf(bareXlat) < 0))
    return false;
  bool found = CollectCandidates(r, Original, t.Orig, xlat, bareXlat, Target, ContextID);
  // Originals stored under the bare language only when the exact ones offer nothing.
  if (Target.GetCount() > 0 || ExactLanguages) return found;
  if (const std::u16string bareOrig = BareTag(t.Orig); !bareOrig.empty())
    found = CollectCandidates(r, Original, bareOrig, xlat, bareXlat, Target, ContextID) || found;
  return found;
}

IQEMRepositoryRecordPtr SearchRecord(const std::u16string& Original, LCID OrigLCID,
                                     const std::u16string& ContextID) {
  std::u16string tag;
  if (Original.empty() || !TryLCIDToLangTag(OrigLCID, tag)) return nullptr;
  auto& r = Repo();
  r.EnsureLoaded();
  int rec = -1;
  WalkOriginal(r, Original, tag, [&](int Rec) {
    rec = Rec;
    return false;
  });
  if (rec < 0 || (!ContextID.empty() && IDOf(r, rec) != ContextID)) return nullptr;
  return r.GetRecord(rec);
}

void QEMRepositoryBeginUpdate() {
  Repo().BeginUpdate();
}
void QEMRepositoryEndUpdate() {
  Repo().EndUpdate();
}
void QEMRepositorySetNotifier(std::shared_ptr<IQEMRepositoryNotifier> Notifier) {
  Repo().SetNotifier(std::move(Notifier));
}

std::u16string QEMRepositoryDateText(TDateTime UTC) {
  return UTCDateText(UTC);
}

void QEMNewRepositoryEngineInitialize() {
  gDefaultVersion = QEMRepositoryTMXVersion;
  gRepository.reset();
  gStartFileName = QEMINTOptionProps ? QEMINTOptionProps->RepositoryFilename : std::u16string();
}

void QEMNewRepositoryEngineFinalize() {
  if (gRepository && gRepository->Modified() && !gRepository->FileName().empty()) {
    try {
      gRepository->Save();
    } catch (const EQEMError& E) {
      ShowError(Format(SRepSaveAtExitFailed, gRepository->FileName(), E.Message()));
    }
  }
  gRepository.reset();
  gStartFileName.clear();
}
