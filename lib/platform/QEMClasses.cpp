#include "platform/QEMClasses.h"

#include <algorithm>
#include <utility>

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

TObject::~TObject() = default;

TStringList::TStringList(bool AOwnsObjects) : FOwnsObjects(AOwnsObjects) {}

TStringList::~TStringList() {
  if (FOwnsObjects)
    for (auto& e : FItems)
      delete e.O;
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EStringListError(Format(SListIndexError, Index));
}

const std::u16string& TStringList::Get(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)].S;
}

void TStringList::Put(int Index, std::u16string S) {
  if (FSorted) throw EStringListError(std::u16string(SSortedListError));
  CheckIndex(Index);
  FItems[size_t(Index)].S = std::move(S);
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)].O;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  TObject*& slot = FItems[size_t(Index)].O;
  if (FOwnsObjects && slot != AObject) delete slot;
  slot = AObject;
}

TObject* TStringList::ExtractObject(int Index) {
  CheckIndex(Index);
  return std::exchange(FItems[size_t(Index)].O, nullptr);
}

int TStringList::AddObject(std::u16string S, TObject* AObject) {
  int index = Count();
  if (FSorted && Find(S, index)) {
    switch (FDuplicates) {
    case TDuplicates::dupIgnore:
      if (FOwnsObjects && AObject != FItems[size_t(index)].O) delete AObject;
      return index;
    case TDuplicates::dupError:
      if (FOwnsObjects) delete AObject;
      throw EStringListError(std::u16string(SDuplicateString));
    case TDuplicates::dupAccept:
      break;
    }
  }
  FItems.insert(FItems.begin() + index, TEntry{std::move(S), AObject});
  return index;
}

void TStringList::InsertObject(int Index, std::u16string S, TObject* AObject) {
  if (FSorted) {
    if (FOwnsObjects) delete AObject;
    throw EStringListError(std::u16string(SSortedListError));
  }
  if (Index < 0 || Index > Count()) {
    if (FOwnsObjects) delete AObject;
    throw EStringListError(Format(SListIndexError, Index));
  }
  FItems.insert(FItems.begin() + Index, TEntry{std::move(S), AObject});
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  TObject* o = FItems[size_t(Index)].O;
  FItems.erase(FItems.begin() + Index);
  if (FOwnsObjects) delete o;
}

void TStringList::Clear() {
  std::vector<TEntry> old;
  old.swap(FItems);
  if (FOwnsObjects)
    for (auto& e : old)
      delete e.O;
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
}

int TStringList::CompareStrings(std::u16string_view A, std::u16string_view B) const {
  if (FCaseSensitive) return A.compare(B) < 0 ? -1 : (A == B ? 0 : 1);
  return QEMCompareText(A, B);
}

int TStringList::IndexOf(std::u16string_view S) const {
  if (FSorted) {
    int index;
    return Find(S, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[size_t(i)].S, S) == 0) return i;
  return -1;
}

int TStringList::IndexOfObject(const TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[size_t(i)].O == AObject) return i;
  return -1;
}

bool TStringList::Find(std::u16string_view S, int& Index) const {
  // First match, as the host library does when duplicates are accepted.
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareStrings(FItems[size_t(mid)].S, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  Index = lo;
  return found;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(), [this](const TEntry& a, const TEntry& b) {
    return CompareStrings(a.S, b.S) < 0;
  });
}

void TStringList::SetSorted(bool Value) {
  if (Value && !FSorted) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}
