#pragma once
// Declarations shared by the host, the translator packages, the editor window and the search:
// column identifiers, batch events, key events.
#include <cstdint>

// Item properties, in their stored order (values 0 to 15); the first ten are the grid columns.
enum TQEMAllColId : uint8_t {
  idColIndex,
  idColId,
  idColOrig,
  idColStatus,
  idColCurr,
  idColCreated,
  idColModified,
  idColPrevOrig,
  idColPrevCurr,
  idColComment,
  idColCanLocalize,
  idColOrder,
  idColType,
  idColOpen,
  idColClose,
  idColInvalid,
};
using TQEMColId = TQEMAllColId; // idColIndex .. idColComment
inline constexpr TQEMAllColId QEMColIdLow = idColIndex;
inline constexpr TQEMAllColId QEMColIdHigh = idColComment;
inline constexpr int QEMAllColIdCount = 16;

// A set of column identifiers: bit n for value n.
class TQEMAllColIds {
public:
  constexpr TQEMAllColIds() = default;
  constexpr TQEMAllColIds(std::initializer_list<TQEMAllColId> Items) {
    for (auto c : Items)
      FBits = uint16_t(FBits | (1u << c));
  }
  constexpr bool Contains(TQEMAllColId C) const { return (FBits >> C) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TQEMAllColIds& Include(TQEMAllColId C) {
    FBits = uint16_t(FBits | (1u << C));
    return *this;
  }
  constexpr TQEMAllColIds& Exclude(TQEMAllColId C) {
    FBits = uint16_t(FBits & ~(1u << C));
    return *this;
  }
  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool operator==(const TQEMAllColIds&) const = default;

private:
  uint16_t FBits = 0;
};
using TQEMColIds = TQEMAllColIds;

// Batch operations over files of a type.
enum TListEventType : uint8_t {
  leNone,
  lePurge,
  leEggBuild,
  leMakeDictionary,
  leAddToRepository,
  leGetFromRepository,
  leChangeStatus,
  leRecreateXlat,
  leListWarnings, // reads only; the data is a TQEMListWarningsData that collects
};

enum TQEMKeyEvent : uint8_t { keNone, keUp, kePress, keDown };

// Modifier keys of a key event: bit per modifier, as the host toolkit reports them.
enum TShiftStateBit : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = uint8_t;
