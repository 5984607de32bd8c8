#pragma once
// Small typed containers the whole library shares: integer lists, string lists carrying an
// integer, an offset pair or a second text per entry, a list of wide texts behind an interface,
// and a first-in-first-out queue of texts.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/QEMClasses.h"

// A list of 32-bit integers. Index errors raise EStringListError, like the string lists do.
class QEM_API TQEMIntegerList : public TObject {
public:
  int Count() const { return int(FItems.size()); }
  int Add(int32_t Value);
  int32_t Get(int Index) const;
  void Put(int Index, int32_t Value);
  void Delete(int Index);
  void Clear() { FItems.clear(); }

protected:
  void CheckIndex(int Index) const;
  std::vector<int32_t> FItems;
};

class QEM_API TQEMDirtyList : public TQEMIntegerList {
public:
  // Position of the first occurrence of Value, -1 when absent.
  int IndexOf(int32_t Value) const;
};

class QEM_API TQEMIntPair : public TObject {
public:
  TQEMIntPair() = default;
  TQEMIntPair(std::u16string ResName, int32_t Start, int32_t Size, std::u16string Str);

  std::u16string FResname;
  int32_t FStart = 0;
  int32_t FSize = 0;
  std::u16string FStr;
};

// A string list that owns the object of every entry; deleting, replacing or clearing entries
// frees their objects, and so does destroying the list.
class QEM_API TQEMStringObjectList : public TStringList {
public:
  TQEMStringObjectList() : TStringList(true) {}

  // First index after From whose entry matches S, -1 when none.
  virtual int NextOf(std::u16string_view S, int From) const = 0;
  virtual int NumberOfResName(std::u16string_view ResName) const = 0;

protected:
  // The exact-text search most subclasses want for NextOf.
  int NextOfExact(std::u16string_view S, int From) const;
};

// The integer of each entry travels in the entry's object slot, as the host library does, so
// inserting, exchanging and sorting keep it with its text. Never read that slot as an object.
class QEM_API TQEMStringIntegerList : public TStringList {
public:
  int AddItem(std::u16string S, int32_t N);
  int32_t GetInt(int Index) const;
  void SetInt(int Index, int32_t N);
  // Keeps recorded offsets valid after Delta characters were inserted (or removed, when
  // negative) at Pos: only offsets beyond Pos move.
  void AdjustList(int32_t Pos, int32_t Delta);

private:
  // The slots hold integers, not objects: nobody may own, read or replace them as objects.
  using TStringList::ExtractObject;
  using TStringList::GetObject;
  using TStringList::PutObject;
  using TStringList::SetOwnsObjects;
};

// Entries without an object (added through the plain string-list calls) read as an empty pair;
// setters create the pair.
class QEM_API TQEMStringIntPairList : public TQEMStringObjectList {
public:
  int AddItem(std::u16string S, std::u16string ResName, int32_t Start, int32_t Size,
              std::u16string Str);
  TQEMIntPair* GetIntPair(int Index) const;
  std::u16string GetResName(int Index) const;
  void SetResName(int Index, std::u16string Value);
  int32_t GetStart(int Index) const;
  void SetStart(int Index, int32_t Value);
  int32_t GetSize(int Index) const;
  void SetSize(int Index, int32_t Value);
  std::u16string GetStr(int Index) const;
  void SetStr(int Index, std::u16string Value);
  // As TQEMStringIntegerList::AdjustList on FStart, for the entries from FromIndex on.
  void AdjustList(int FromIndex, int32_t Pos, int32_t Delta);

  // Exact and case-sensitive, whatever CaseSensitive says: names of resources differ by case.
  int IndexOf(std::u16string_view S) const override { return NextOf(S, -1); }
  int NextOf(std::u16string_view S, int From) const override;
  int NumberOfResName(std::u16string_view ResName) const override;

private:
  TQEMIntPair& Pair(int Index);
};

class QEM_API TQEMStringObject : public TObject {
public:
  TQEMStringObject() = default;
  TQEMStringObject(std::u16string String1, std::u16string String2)
      : FString1(std::move(String1)), FString2(std::move(String2)) {}

  std::u16string FString1;
  std::u16string FString2;
  // The entry's identifier under its package's earlier way of keying items (empty: none); the
  // updater gives the entry the notes item of that identifier when its own is not there.
  std::u16string FFormerID;
};

// Key = entry text, value = FString1, resource name = FString2. Keys are looked up with the
// string list's own IndexOf, so case-insensitively unless CaseSensitive is set.
class QEM_API TQEMStringPairList : public TQEMStringObjectList {
public:
  int AddPair(std::u16string S, std::u16string ResName, std::u16string Value);
  std::u16string Get2(int Index) const;
  void Put2(int Index, std::u16string Value);
  std::u16string GetResName(int Index) const;
  void PutResName(int Index, std::u16string Value);
  std::u16string GetFormerID(int Index) const {
    const auto* p = static_cast<const TQEMStringObject*>(GetObject(Index));
    return p ? p->FFormerID : std::u16string();
  }
  void PutFormerID(int Index, std::u16string Value) { Pair(Index).FFormerID = std::move(Value); }
  std::u16string GetV(std::u16string_view Key) const;
  // Adds an entry with an empty resource name when Key is absent.
  void SetV(std::u16string_view Key, std::u16string Value);

  int NextOf(std::u16string_view S, int From) const override { return NextOfExact(S, From); }
  int NumberOfResName(std::u16string_view ResName) const override;

private:
  TQEMStringObject& Pair(int Index);
};

class QEM_API TQEMWideStringObject : public TObject {
public:
  TQEMWideStringObject() = default;
  explicit TQEMWideStringObject(std::u16string S) : FString(std::move(S)) {}

  std::u16string FString;
};

class QEM_API TQEMStringWideStringList : public TQEMStringObjectList {
public:
  int AddPair(std::u16string S, std::u16string W);
  std::u16string GetW(int Index) const;
  void PutW(int Index, std::u16string W);
  std::u16string GetV(std::u16string_view Key) const;
  // Adds an entry when Key is absent.
  void SetV(std::u16string_view Key, std::u16string W);

  int NextOf(std::u16string_view S, int From) const override { return NextOfExact(S, From); }
  // Entries carry no resource name.
  int NumberOfResName(std::u16string_view) const override { return 0; }
};

class QEM_API IQEMWideStrings {
public:
  virtual ~IQEMWideStrings();
  virtual int Add(std::u16string S) = 0;
  virtual void Clear() = 0;
  virtual std::u16string Get(int Index) const = 0;
  virtual int GetCount() const = 0;
  virtual void Put(int Index, std::u16string S) = 0;
  // Drops the entries that hold only white space.
  virtual void TrimList() = 0;
};

// Held through std::shared_ptr<IQEMWideStrings>.
class QEM_API TQEMWideStringList : public IQEMWideStrings {
public:
  int Add(std::u16string S) override;
  void Clear() override;
  std::u16string Get(int Index) const override;
  int GetCount() const override;
  void Put(int Index, std::u16string S) override;
  void TrimList() override;

private:
  // The texts live in the objects; entry texts stay empty.
  TStringList FStrings{true};
};

// First in, first out. Pop on an empty queue gives empty text.
class QEM_API TQEMStringQue : public TObject {
public:
  void Push(std::u16string S);
  std::u16string Pop();
  bool IsEmpty() const { return FHead >= FStringQue.Count(); }
  void Clear();
  // Kept as the list's duplicate rule (true = dupAccept, false = dupIgnore). The list is never
  // sorted, so the rule does not act: duplicates are queued in either state.
  bool GetAllowDuplicates() const;
  void SetAllowDuplicates(bool Value);

private:
  void Compact();

  TStringList FStringQue;
  // Popped entries stay in front of FHead until compacting, so a long drain is not quadratic.
  int FHead = 0;
};
