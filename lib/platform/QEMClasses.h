#pragma once
// The host library's object root and string list, with the semantics the rest of the library
// relies on: an object per entry, case-insensitive IndexOf unless told otherwise, binary search
// when sorted, a duplicate rule that only acts when sorted, and owning variants.
#include <string>
#include <string_view>
#include <vector>

#include "platform/QEMSysUtils.h"

class QEM_API TObject {
public:
  virtual ~TObject();
};

// Raised for an index outside the list and for a refused duplicate.
class QEM_API EStringListError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class QEM_API TStringList {
public:
  explicit TStringList(bool AOwnsObjects = false);
  virtual ~TStringList();
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  int Count() const { return int(FItems.size()); }
  const std::u16string& Get(int Index) const;
  void Put(int Index, std::u16string S);
  TObject* GetObject(int Index) const;
  // An owning list frees the object it replaces.
  void PutObject(int Index, TObject* AObject);

  int Add(std::u16string S) { return AddObject(std::move(S), nullptr); }
  // An owning list takes the object even when the entry is refused as a duplicate.
  virtual int AddObject(std::u16string S, TObject* AObject);
  void Insert(int Index, std::u16string S) { InsertObject(Index, std::move(S), nullptr); }
  void InsertObject(int Index, std::u16string S, TObject* AObject);
  virtual void Delete(int Index);
  virtual void Clear();
  void Exchange(int Index1, int Index2);
  // Hands the object of an entry to the caller; the entry keeps a null object.
  TObject* ExtractObject(int Index);

  virtual int IndexOf(std::u16string_view S) const;
  int IndexOfObject(const TObject* AObject) const;
  // Binary search of a sorted list: true when found; Index is where S is or would be inserted.
  bool Find(std::u16string_view S, int& Index) const;
  void Sort();

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

protected:
  virtual int CompareStrings(std::u16string_view A, std::u16string_view B) const;
  void CheckIndex(int Index) const;

private:
  struct TEntry {
    std::u16string S;
    TObject* O;
  };
  std::vector<TEntry> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};
