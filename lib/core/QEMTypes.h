#pragma once
// Item statuses and the small records and enumerations that pass between subsystems.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/QEMDateTime.h"
#include "platform/QEMExport.h"

// Stored in notes files by ordinal: the order never changes.
enum TResStatus : uint8_t {
  rsUnTranslated = 0,
  rsTranslated = 1,
  rsAutoTranslated = 2,
  rsUnused = 3,
  rsNewlyTranslated = 4,
  rsHold = 5,
  rsDoNotTranslate = 6,
  rsEgged = 7,
};
inline constexpr int QEMStatusCount = 8;

// The two statuses of the plain translated/untranslated toggle.
using TUserResStatus = TResStatus;
inline constexpr TResStatus QEMUserResStatusLow = rsUnTranslated;
inline constexpr TResStatus QEMUserResStatusHigh = rsTranslated;

// A set of statuses: bit n for ordinal n.
class TResStatuses {
public:
  constexpr TResStatuses() = default;
  constexpr TResStatuses(std::initializer_list<TResStatus> Items) {
    for (auto s : Items)
      FBits = uint8_t(FBits | (1u << s));
  }
  static constexpr TResStatuses FromBits(uint8_t Bits) {
    TResStatuses r;
    r.FBits = Bits;
    return r;
  }
  static constexpr TResStatuses All() { return FromBits(0xFF); }
  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool Contains(TResStatus S) const { return (FBits >> S) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TResStatuses& Include(TResStatus S) {
    FBits = uint8_t(FBits | (1u << S));
    return *this;
  }
  constexpr TResStatuses& Exclude(TResStatus S) {
    FBits = uint8_t(FBits & ~(1u << S));
    return *this;
  }
  constexpr TResStatuses operator+(TResStatuses O) const {
    return FromBits(uint8_t(FBits | O.FBits));
  }
  constexpr TResStatuses operator-(TResStatuses O) const {
    return FromBits(uint8_t(FBits & ~O.FBits));
  }
  constexpr TResStatuses operator*(TResStatuses O) const {
    return FromBits(uint8_t(FBits & O.FBits));
  }
  constexpr bool operator==(const TResStatuses&) const = default;

private:
  uint8_t FBits = 0;
};
using PResStatuses = TResStatuses*;

// Statistics classes: Unused and Egged items count as neither.
inline constexpr TResStatuses QEMTranslatedStatuses{rsTranslated, rsAutoTranslated,
                                                    rsNewlyTranslated, rsDoNotTranslate};
inline constexpr TResStatuses QEMUnTranslatedStatuses{rsUnTranslated, rsHold};

enum FilterIds : uint8_t {
  fiShowUntranslated,
  fiShowTranslated,
  fiShowAutoTranslated,
  fiShowUnused,
  fiShowNewlyTranslated,
  fiShowHold,
  fiShowDoNotTranslate,
  fiShowEgged,
};
using TFilterIdSet = uint8_t; // bit n for FilterIds n

// The status an entered or refreshed translation gets: Translated, or Newly Translated when
// that option is on.
QEM_API extern TResStatus TranslatedStatus;

// The display texts by ordinal, built at start-up.
QEM_API extern std::array<std::u16string, QEMStatusCount> XStatusString;
// Ordinal of a display text, ignoring case; -1 when none matches.
QEM_API int QEMStatusFromString(const std::u16string& Text);
QEM_API const std::u16string& QEMStatusToString(TResStatus Status);
QEM_API std::u16string QEMFilterCaption(FilterIds Id);
// Fixed names (registry value names of the egg settings), by ordinal.
QEM_API std::u16string QEMStatusDesignName(TResStatus Status);
QEM_API bool QEMIsValidStatus(int Ordinal);
QEM_API void QEMTypesInitialize();

enum TLCIDType : uint8_t { LCIDDefault, LCIDOrig, LCIDXlat, LCIDCustom, LCIDComment };
enum TNumericType : uint8_t { ntNone, ntInteger, ntFloat };
enum TGridSelectionType : uint8_t { gstNone, gstNumeric, gstString, gstBoolean, gstEnum };
enum TTransactionResult : uint8_t { trNone, trAdd, trReplace, trSkip, trOK, trCancel };
enum TSyncIndex : uint8_t {
  SyncNull,
  SyncId,
  SyncOrigText,
  SyncCurrText,
  SyncPrevOrigText,
  SyncPrevCurrText,
  SyncStatus,
  SyncCreated,
  SyncModified,
  SyncComment,
};

using LCID = uint32_t;

struct TFileStats {
  std::u16string Version;
  TDateTime SelfDateTime = 0;
  TDateTime OrigDateTime = 0;
  TDateTime XlatDateTime = 0;
  int32_t Translated = 0;
  int32_t UnTranslated = 0;
  LCID OrigLCID = 0;
  LCID XlatLCID = 0;
  std::u16string OrigFileName;
};

struct TStats {
  int32_t ProjCount = 0;
  int32_t LangCount = 0;
  int32_t NewCount = 0;
  int32_t ChangedCount = 0;
  int32_t UnchangedCount = 0;
  int32_t UnusedCount = 0;
};

struct TQEMLangRec {
  std::u16string FName;
  LCID FLCID = 0;
  std::u16string FExt;
  std::u16string FPath;
  std::u16string FUpdateMode;
  bool FSelected = false;
};

struct TMiscFileRec {
  std::u16string Name;
  std::u16string Kind;
};

struct TColInfo {
  bool DisplayIt = false;
  std::u16string Caption;
  std::u16string Search;
  TSyncIndex Sync = SyncNull;
  int32_t XlatId = 0;
  bool IsOrig = false;
};

struct TGlobalPoint {
  int32_t Col = 0;
  int32_t Row = 0;
};

// The platform's character-set record, kept for the plug-in contract.
struct TQEMCharsetInfo {
  uint32_t ciCharset = 0;
  uint32_t ciACP = 0;
  uint32_t fs[6] = {};
};
struct TQEMCharsetRec {
  uint32_t lpSrc = 0;
  TQEMCharsetInfo lpCs;
};

// What a file type's List receives as its Data: the progress the callback takes (Data, handed
// on to the callback as it is) and the operation's own data (UserData: the dictionary file
// name as a std::u16string, or the options record of the event), which the type only reads.
struct TQEMListRequestData {
  void* Data = nullptr;
  const void* UserData = nullptr;
};

struct TQEMAddToRepositoryData {
  TResStatuses Status;
  bool IncludeContext = false;
  int32_t ValueType = 0;
  bool Comment = false;
  bool CommentAction = false;
  std::u16string CommentString;
};

struct TQEMChangeStatusData {
  TResStatuses CurrentStatus;
  TResStatus NewStatus = rsUnTranslated;
  bool Revert = false;
  bool UseRepository = false;
  bool UseContext = false;
  bool Comment = false;
  bool CommentAction = false;
  std::u16string CommentString;
};

struct TQEMGetFromRepositoryData {
  TResStatuses CurrentStatus;
  TResStatus NewStatus = rsUnTranslated;
  bool UseContext = false;
  bool Comment = false;
  bool CommentAction = false;
  std::u16string CommentString;
};

// Progress and message callback: false asks the caller to stop.
using TCallBackFunc = std::function<bool(const std::u16string& Mess, void* Data)>;

class IQEMProgress;
// What the Data of the host's progress callbacks points at, so a callback knows what it was
// handed from the record itself and never from the address.
enum class TQEMCallBackKind : uint8_t {
  ckProgress,  // a progress window: it advances, and a cancel stops the run
  ckStatusBar, // the files status bar: it shows the message; the run's window, if any, advances
};
struct TQEMCallBackData {
  TQEMCallBackKind Kind = TQEMCallBackKind::ckProgress;
  IQEMProgress* Progress = nullptr;
};
// Search notifications; setting CanContinue to false stops the search.
using TSearchStartEvent = std::function<void(void* Sender, const std::u16string& Pattern,
                                             const std::u16string& AName, bool& CanContinue)>;
using TSearchEndEvent =
    std::function<void(void* Sender, const std::u16string& Pattern, const std::u16string& AName,
                       int32_t Count, bool& CanContinue)>;
using TSearchFoundEvent = std::function<void(
    void* Sender, const std::u16string& Pattern, const std::u16string& Template,
    const std::u16string& AName, int32_t ACol, int32_t AMgrIndex, int32_t ADisplayIndex,
    int32_t APos, LCID AOrigLCID, LCID AXlatLCID, bool& CanContinue)>;
