#include "core/QEMUtils.h"

#include <utility>

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

namespace {

// Offsets wrap on overflow as the host's unchecked integer arithmetic does, without the
// undefined behaviour of signed overflow.
int32_t AddWrapped(int32_t A, int32_t B) {
  return int32_t(uint32_t(A) + uint32_t(B));
}

TObject* IntToObject(int32_t N) {
  return reinterpret_cast<TObject*>(static_cast<intptr_t>(N));
}

int32_t ObjectToInt(TObject* O) {
  return int32_t(reinterpret_cast<intptr_t>(O));
}

} // namespace

// --- TQEMIntegerList ---------------------------------------------------------------------------

void TQEMIntegerList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EStringListError(Format(SListIndexError, Index));
}

int TQEMIntegerList::Add(int32_t Value) {
  FItems.push_back(Value);
  return Count() - 1;
}

int32_t TQEMIntegerList::Get(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)];
}

void TQEMIntegerList::Put(int Index, int32_t Value) {
  CheckIndex(Index);
  FItems[size_t(Index)] = Value;
}

void TQEMIntegerList::Delete(int Index) {
  CheckIndex(Index);
  FItems.erase(FItems.begin() + Index);
}

int TQEMDirtyList::IndexOf(int32_t Value) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[size_t(i)] == Value) return i;
  return -1;
}

// --- Objects -----------------------------------------------------------------------------------

TQEMIntPair::TQEMIntPair(std::u16string ResName, int32_t Start, int32_t Size, std::u16string Str)
    : FResname(std::move(ResName)), FStart(Start), FSize(Size), FStr(std::move(Str)) {}

// --- TQEMStringObjectList ----------------------------------------------------------------------

int TQEMStringObjectList::NextOfExact(std::u16string_view S, int From) const {
  for (int i = From < 0 ? 0 : From + 1; i < Count(); ++i)
    if (Get(i) == S) return i;
  return -1;
}

// --- TQEMStringIntegerList ---------------------------------------------------------------------

int TQEMStringIntegerList::AddItem(std::u16string S, int32_t N) {
  return AddObject(std::move(S), IntToObject(N));
}

int32_t TQEMStringIntegerList::GetInt(int Index) const {
  return ObjectToInt(GetObject(Index));
}

void TQEMStringIntegerList::SetInt(int Index, int32_t N) {
  PutObject(Index, IntToObject(N));
}

void TQEMStringIntegerList::AdjustList(int32_t Pos, int32_t Delta) {
  if (Delta == 0) return;
  for (int i = 0; i < Count(); ++i) {
    const int32_t n = GetInt(i);
    if (n > Pos) SetInt(i, AddWrapped(n, Delta));
  }
}

// --- TQEMStringIntPairList ---------------------------------------------------------------------

int TQEMStringIntPairList::AddItem(std::u16string S, std::u16string ResName, int32_t Start,
                                   int32_t Size, std::u16string Str) {
  return AddObject(std::move(S), new TQEMIntPair(std::move(ResName), Start, Size, std::move(Str)));
}

TQEMIntPair* TQEMStringIntPairList::GetIntPair(int Index) const {
  return static_cast<TQEMIntPair*>(GetObject(Index));
}

TQEMIntPair& TQEMStringIntPairList::Pair(int Index) {
  TQEMIntPair* p = GetIntPair(Index);
  if (!p) {
    p = new TQEMIntPair;
    PutObject(Index, p);
  }
  return *p;
}

std::u16string TQEMStringIntPairList::GetResName(int Index) const {
  const TQEMIntPair* p = GetIntPair(Index);
  return p ? p->FResname : std::u16string();
}

void TQEMStringIntPairList::SetResName(int Index, std::u16string Value) {
  Pair(Index).FResname = std::move(Value);
}

int32_t TQEMStringIntPairList::GetStart(int Index) const {
  const TQEMIntPair* p = GetIntPair(Index);
  return p ? p->FStart : 0;
}

void TQEMStringIntPairList::SetStart(int Index, int32_t Value) {
  Pair(Index).FStart = Value;
}

int32_t TQEMStringIntPairList::GetSize(int Index) const {
  const TQEMIntPair* p = GetIntPair(Index);
  return p ? p->FSize : 0;
}

void TQEMStringIntPairList::SetSize(int Index, int32_t Value) {
  Pair(Index).FSize = Value;
}

std::u16string TQEMStringIntPairList::GetStr(int Index) const {
  const TQEMIntPair* p = GetIntPair(Index);
  return p ? p->FStr : std::u16string();
}

void TQEMStringIntPairList::SetStr(int Index, std::u16string Value) {
  Pair(Index).FStr = std::move(Value);
}

void TQEMStringIntPairList::AdjustList(int FromIndex, int32_t Pos, int32_t Delta) {
  if (Delta == 0) return;
  for (int i = FromIndex < 0 ? 0 : FromIndex; i < Count(); ++i) {
    TQEMIntPair* p = GetIntPair(i);
    if (p && p->FStart > Pos) p->FStart = AddWrapped(p->FStart, Delta);
  }
}

int TQEMStringIntPairList::NextOf(std::u16string_view S, int From) const {
  return NextOfExact(S, From);
}

int TQEMStringIntPairList::NumberOfResName(std::u16string_view ResName) const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) {
    const TQEMIntPair* p = GetIntPair(i);
    if ((p ? std::u16string_view(p->FResname) : std::u16string_view()) == ResName) ++n;
  }
  return n;
}

// --- TQEMStringPairList ------------------------------------------------------------------------

int TQEMStringPairList::AddPair(std::u16string S, std::u16string ResName, std::u16string Value) {
  return AddObject(std::move(S), new TQEMStringObject(std::move(Value), std::move(ResName)));
}

TQEMStringObject& TQEMStringPairList::Pair(int Index) {
  auto* p = static_cast<TQEMStringObject*>(GetObject(Index));
  if (!p) {
    p = new TQEMStringObject;
    PutObject(Index, p);
  }
  return *p;
}

std::u16string TQEMStringPairList::Get2(int Index) const {
  const auto* p = static_cast<const TQEMStringObject*>(GetObject(Index));
  return p ? p->FString1 : std::u16string();
}

void TQEMStringPairList::Put2(int Index, std::u16string Value) {
  Pair(Index).FString1 = std::move(Value);
}

std::u16string TQEMStringPairList::GetResName(int Index) const {
  const auto* p = static_cast<const TQEMStringObject*>(GetObject(Index));
  return p ? p->FString2 : std::u16string();
}

void TQEMStringPairList::PutResName(int Index, std::u16string Value) {
  Pair(Index).FString2 = std::move(Value);
}

std::u16string TQEMStringPairList::GetV(std::u16string_view Key) const {
  const int i = IndexOf(Key);
  return i < 0 ? std::u16string() : Get2(i);
}

void TQEMStringPairList::SetV(std::u16string_view Key, std::u16string Value) {
  const int i = IndexOf(Key);
  if (i < 0)
    AddPair(std::u16string(Key), std::u16string(), std::move(Value));
  else
    Put2(i, std::move(Value));
}

int TQEMStringPairList::NumberOfResName(std::u16string_view ResName) const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) {
    const auto* p = static_cast<const TQEMStringObject*>(GetObject(i));
    if ((p ? std::u16string_view(p->FString2) : std::u16string_view()) == ResName) ++n;
  }
  return n;
}

// --- TQEMStringWideStringList ------------------------------------------------------------------

int TQEMStringWideStringList::AddPair(std::u16string S, std::u16string W) {
  return AddObject(std::move(S), new TQEMWideStringObject(std::move(W)));
}

std::u16string TQEMStringWideStringList::GetW(int Index) const {
  const auto* p = static_cast<const TQEMWideStringObject*>(GetObject(Index));
  return p ? p->FString : std::u16string();
}

void TQEMStringWideStringList::PutW(int Index, std::u16string W) {
  auto* p = static_cast<TQEMWideStringObject*>(GetObject(Index));
  if (p)
    p->FString = std::move(W);
  else
    PutObject(Index, new TQEMWideStringObject(std::move(W)));
}

std::u16string TQEMStringWideStringList::GetV(std::u16string_view Key) const {
  const int i = IndexOf(Key);
  return i < 0 ? std::u16string() : GetW(i);
}

void TQEMStringWideStringList::SetV(std::u16string_view Key, std::u16string W) {
  const int i = IndexOf(Key);
  if (i < 0)
    AddPair(std::u16string(Key), std::move(W));
  else
    PutW(i, std::move(W));
}

// --- TQEMWideStringList ------------------------------------------------------------------------

IQEMWideStrings::~IQEMWideStrings() = default;

int TQEMWideStringList::Add(std::u16string S) {
  return FStrings.AddObject(std::u16string(), new TQEMWideStringObject(std::move(S)));
}

void TQEMWideStringList::Clear() {
  FStrings.Clear();
}

std::u16string TQEMWideStringList::Get(int Index) const {
  return static_cast<const TQEMWideStringObject*>(FStrings.GetObject(Index))->FString;
}

int TQEMWideStringList::GetCount() const {
  return FStrings.Count();
}

void TQEMWideStringList::Put(int Index, std::u16string S) {
  static_cast<TQEMWideStringObject*>(FStrings.GetObject(Index))->FString = std::move(S);
}

void TQEMWideStringList::TrimList() {
  auto blank = [this](int i) {
    return QEMTrim(static_cast<const TQEMWideStringObject*>(FStrings.GetObject(i))->FString)
        .empty();
  };
  int first = 0;
  while (first < FStrings.Count() && !blank(first))
    ++first;
  if (first == FStrings.Count()) return;
  // Rebuilt in one pass: deleting blanks one by one from a long list would be quadratic.
  std::vector<std::unique_ptr<TObject>> kept;
  for (int i = 0; i < FStrings.Count(); ++i)
    if (!blank(i)) kept.emplace_back(FStrings.ExtractObject(i));
  FStrings.Clear();
  for (auto& o : kept)
    FStrings.AddObject(std::u16string(), o.release());
}

// --- TQEMStringQue -----------------------------------------------------------------------------

void TQEMStringQue::Push(std::u16string S) {
  FStringQue.Add(std::move(S));
}

std::u16string TQEMStringQue::Pop() {
  if (IsEmpty()) return std::u16string();
  std::u16string s = FStringQue.Get(FHead);
  FStringQue.Put(FHead, std::u16string());
  ++FHead;
  Compact();
  return s;
}

void TQEMStringQue::Compact() {
  if (FHead >= FStringQue.Count()) {
    Clear();
    return;
  }
  // Rebuilding costs the rest of the queue; doing it only once half is popped keeps Pop
  // amortised constant.
  if (FHead < 64 || FHead * 2 < FStringQue.Count()) return;
  std::vector<std::u16string> rest;
  rest.reserve(size_t(FStringQue.Count() - FHead));
  for (int i = FHead; i < FStringQue.Count(); ++i)
    rest.push_back(FStringQue.Get(i));
  FStringQue.Clear();
  FHead = 0;
  for (auto& s : rest)
    FStringQue.Add(std::move(s));
}

void TQEMStringQue::Clear() {
  FStringQue.Clear();
  FHead = 0;
}

bool TQEMStringQue::GetAllowDuplicates() const {
  return FStringQue.Duplicates() == TDuplicates::dupAccept;
}

void TQEMStringQue::SetAllowDuplicates(bool Value) {
  FStringQue.SetDuplicates(Value ? TDuplicates::dupAccept : TDuplicates::dupIgnore);
}
