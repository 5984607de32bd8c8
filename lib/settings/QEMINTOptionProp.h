#pragma once
// The user's options: typed fields grouped in registry-backed property sets, one subkey per set
// below the base key, and the history lists of the combo boxes.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMUtilsRegistry.h"

// What adding to the repository does with a text it already holds. Stored by ordinal.
enum TDuplicateAction : uint8_t { daSkip, daAdd, daForceAdd, daReplace, daDisplayList };
inline constexpr int QEMDuplicateActionCount = 5;
// What getting from the repository does when it finds several translations. Stored by ordinal.
enum TMultipleFindAction : uint8_t { mfaSkip, mfaUseFirst, mfaDisplayList };
inline constexpr int QEMMultipleFindActionCount = 3;
// Which items adding to the repository takes: translation changed, unchanged, either. The
// ordinal is the ValueType of TQEMAddToRepositoryData.
enum TAddToRepositoryValue : uint8_t { avChanged, avUnchanged, avDontCare };
inline constexpr int QEMAddToRepositoryValueCount = 3;

// The statuses an operation may set, in the order the option pages list them; the stored
// "NewStatus" values are positions in this list, not status ordinals.
inline constexpr std::array<TResStatus, 6> QEMNewStatusList{
    rsUnTranslated, rsTranslated, rsAutoTranslated, rsNewlyTranslated, rsHold, rsDoNotTranslate};
// Position of Status in QEMNewStatusList, -1 when it is not there.
QEM_API int QEMNewStatusIndex(TResStatus Status);
// The status at Index of QEMNewStatusList; Default when Index is outside it.
QEM_API TResStatus QEMNewStatusAt(int Index, TResStatus Default = rsUnTranslated);

// An integer that never leaves Lo..Hi: assigning a value outside clamps it.
template <int32_t Lo, int32_t Hi> class TQEMBoundedInt {
public:
  static constexpr int32_t Min = Lo;
  static constexpr int32_t Max = Hi;
  constexpr TQEMBoundedInt(int32_t Value = Lo)
      : FValue(Value < Lo   ? Lo
               : Value > Hi ? Hi
                            : Value) {}
  constexpr operator int32_t() const { return FValue; }
  static constexpr bool InRange(int64_t Value) { return Value >= Lo && Value <= Hi; }

private:
  int32_t FValue;
};
using TQEMGridSize = TQEMBoundedInt<2, 128>;

enum class TQEMOptionType { otBoolean, otInteger, otText, otEnumeration };

// A group of option fields stored together in one registry key. The set only refers to the
// fields, so its owner must outlive it and never move. Reading never fails on what the hive
// holds: a missing, mistyped or out-of-range value gives the field its default.
class QEM_API TQEMPropertySet {
public:
  TQEMPropertySet(std::u16string Name, int Tag);
  TQEMPropertySet(const TQEMPropertySet&) = delete;
  TQEMPropertySet& operator=(const TQEMPropertySet&) = delete;

  const std::u16string& Name() const { return FName; }
  int Tag() const { return FTag; }
  bool Matches(int Mask) const { return (FTag & Mask) != 0; }
  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string Key) { FKey = std::move(Key); }

  void AddBoolean(std::u16string FieldName, std::u16string ValueName, bool& Field, bool Default);
  void AddInteger(std::u16string FieldName, std::u16string ValueName, int32_t& Field,
                  int32_t Default);
  template <int32_t Lo, int32_t Hi>
  void AddInteger(std::u16string FieldName, std::u16string ValueName, TQEMBoundedInt<Lo, Hi>& Field,
                  int32_t Default) {
    AddField(
        std::move(FieldName), std::move(ValueName), TQEMOptionType::otInteger, Lo, Hi, Default,
        [&Field] { return int32_t(Field); }, [&Field](int32_t V) { Field = V; });
  }
  void AddText(std::u16string FieldName, std::u16string ValueName, std::u16string& Field,
               std::u16string Default);
  template <class E>
  void AddEnumeration(std::u16string FieldName, std::u16string ValueName, E& Field, E Default,
                      int Count) {
    AddField(
        std::move(FieldName), std::move(ValueName), TQEMOptionType::otEnumeration, 0, Count - 1,
        int32_t(Default), [&Field] { return int32_t(Field); },
        [&Field](int32_t V) { Field = E(V); });
  }
  // A status field stored as its position in QEMNewStatusList.
  void AddNewStatus(std::u16string FieldName, std::u16string ValueName, TResStatus& Field,
                    TResStatus Default);

  int Count() const { return int(FFields.size()); }
  const std::u16string& FieldName(int Index) const { return FFields.at(size_t(Index)).FieldName; }
  const std::u16string& ValueName(int Index) const { return FFields.at(size_t(Index)).ValueName; }
  TQEMOptionType FieldType(int Index) const { return FFields.at(size_t(Index)).Type; }
  void SetTextDefault(const std::u16string& FieldName, std::u16string Default);
  int IndexOf(const std::u16string& FieldName) const; // -1 when the set has no such field

  // For editors that walk the fields. Integer kinds in their stored form (boolean 0 or 1,
  // enumeration ordinal, position in QEMNewStatusList) within FieldMin..FieldMax; text fields
  // through GetText/SetText. Asking a field of the other kind gives 0 or empty and changes
  // nothing.
  int32_t FieldMin(int Index) const { return FFields.at(size_t(Index)).Min; }
  int32_t FieldMax(int Index) const { return FFields.at(size_t(Index)).Max; }
  int32_t DefaultValue(int Index) const { return FFields.at(size_t(Index)).DefaultInt; }
  const std::u16string& DefaultText(int Index) const {
    return FFields.at(size_t(Index)).DefaultText;
  }
  int32_t GetValue(int Index) const;
  // False, and the field unchanged, for a value outside FieldMin..FieldMax.
  bool SetValue(int Index, int32_t Value);
  const std::u16string& GetText(int Index) const;
  void SetText(int Index, std::u16string Value);
  // Source's values, field by field; Source must be defined with the same fields.
  void AssignValues(const TQEMPropertySet& Source);

  void Reset(); // every field to its default
  // From the set's key; a missing key gives every field its default.
  void Load(TQEMRegistry& Registry);
  void Save(TRegistry& Registry) const;

private:
  struct TField {
    std::u16string FieldName;
    std::u16string ValueName;
    TQEMOptionType Type;
    int32_t Min = 0, Max = 0; // stored range of integer kinds
    int32_t DefaultInt = 0;
    std::u16string DefaultText;
    std::u16string* Text = nullptr;
    std::function<int32_t()> Get; // the stored form
    std::function<void(int32_t)> Set;
  };
  void AddField(std::u16string FieldName, std::u16string ValueName, TQEMOptionType Type,
                int32_t Min, int32_t Max, int32_t Default, std::function<int32_t()> Get,
                std::function<void(int32_t)> Set);

  std::u16string FName;
  int FTag;
  std::u16string FKey;
  std::vector<TField> FFields;
};

// Named most-recent-first lists of the combo boxes: one subkey per list below Key, with the
// entries as string values "0", "1", ... in order.
class QEM_API TQEMHistoryManager {
public:
  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string Key) { FKey = std::move(Key); }
  int MaxCount() const { return FMaxCount; }
  void SetMaxCount(int Value); // at least 1; longer lists are cut

  // Empty when the list is unknown. List names compare ignoring case, like the keys they become.
  std::vector<std::u16string> GetHistory(const std::u16string& Name) const;
  // Puts Item first, dropping an earlier equal entry and what passes the bound. Empty items are
  // ignored.
  void AddHistory(const std::u16string& Name, const std::u16string& Item);
  void SetHistory(const std::u16string& Name, const std::vector<std::u16string>& Items);
  void ClearHistory(const std::u16string& Name);
  void Clear();
  std::vector<std::u16string> ListNames() const;

  void Load(TQEMRegistry& Registry);
  void Save(TRegistry& Registry) const;

private:
  struct TList {
    std::u16string Name;
    std::vector<std::u16string> Items;
  };
  TList* Find(const std::u16string& Name);
  const TList* Find(const std::u16string& Name) const;
  std::vector<std::u16string> Bound(const std::vector<std::u16string>& Items) const;

  std::u16string FKey;
  int FMaxCount = 10;
  std::map<std::u16string, TList> FLists; // by folded name
};

// Which property sets a process loads and saves: 1 inside the development environment, 2 in the
// stand-alone manager. Chosen at start-up.
QEM_API extern int QEMINTOptionMask;

class QEM_API TQEMINTOptionProps {
public:
  // Fields at their defaults, keys below the current base key, then LoadOptions.
  explicit TQEMINTOptionProps(int Mask = QEMINTOptionMask);
  TQEMINTOptionProps(const TQEMINTOptionProps&) = delete;
  TQEMINTOptionProps& operator=(const TQEMINTOptionProps&) = delete;

  // A copy for an options dialog to edit: same mask, keys, values, history lists and modified
  // flag. Reads nothing from the hive.
  std::unique_ptr<TQEMINTOptionProps> Clone() const;
  void Assign(const TQEMINTOptionProps& Source);
  // An options dialog's OK: takes Edited's values and history lists and saves them. An empty
  // repository file name becomes its default, as loading would make it. When saving fails the
  // object keeps the values it had and the error propagates.
  void SaveEdited(const TQEMINTOptionProps& Edited);

  void LoadOptions();
  // Also sets TranslatedStatus from UseNewlyTranslated.
  void SaveOptions();
  void OptionChange() { FIsModified = true; }
  bool GetIsModified() const { return FIsModified; }
  int Mask() const { return FMask; }
  const std::u16string& BaseKey() const { return FBaseKey; }
  const std::u16string& RepositoryFilenameDefault() const { return FRepositoryFilenameDefault; }
  const std::vector<TQEMPropertySet*>& PropertySets() const { return FSets; }
  TQEMPropertySet* FindPropertySet(const std::u16string& Name) const; // null when unknown

  // QEMPropSet (1)
  bool AutomaticallyCompileProjects = false;
  bool ShowTranslationManagerAfterVUD = true;
  // HLXPropSet (3)
  std::u16string EditorFilename = u"notepad.exe";
  int32_t HLXHeight = 0, HLXLeft = 0, HLXTop = 0, HLXWidth = 0;
  // CommonPropSet (3)
  bool AutomaticallyQueryRepository = true;
  bool AutomaticQuoteStrings = true;
  bool AutomaticSaveFiles = false;
  bool UseNewlyTranslated = false;
  bool HideEmptyItems = false;
  // FormDesignerPropSet (3)
  bool DisplayGrid = true;
  bool SnapToGrid = true;
  TQEMGridSize GridSizeX = 8;
  TQEMGridSize GridSizeY = 8;
  // AddToRepositoryPropSet (3)
  bool AddToRepositoryTranslated = true;
  bool AddToRepositoryUntranslated = true;
  bool AddToRepositoryNewlyTranslated = true;
  bool AddToRepositoryHold = false;
  bool AddToRepositoryDoNotTranslate = false;
  bool AddToRepositoryUnused = false;
  TDuplicateAction AddToRepositoryDuplicateAction = daDisplayList;
  bool AddToRepositoryIncludeContext = false;
  TAddToRepositoryValue AddToRepositoryValue = avDontCare;
  bool AddToRepositoryComment = false;
  bool AddToRepositoryCommentAction = true;
  // ChangeStatusPropSet (3)
  bool ChangeStatusUntranslated = true;
  bool ChangeStatusTranslated = true;
  bool ChangeStatusAutoTranslated = true;
  bool ChangeStatusNewlyTranslated = true;
  bool ChangeStatusHold = true;
  bool ChangeStatusDoNotTranslate = false;
  TResStatus ChangeStatusNewStatus = rsUnTranslated;
  bool ChangeStatusRevertToOriginal = false;
  bool ChangeStatusUseRepository = false;
  bool ChangeStatusUseContext = false;
  bool ChangeStatusComment = false;
  bool ChangeStatusCommentAction = true;
  // GetFromRepositoryPropSet (3)
  bool GetFromRepositoryUntranslated = true;
  bool GetFromRepositoryTranslated = false;
  bool GetFromRepositoryAutoTranslated = false;
  bool GetFromRepositoryNewlyTranslated = false;
  bool GetFromRepositoryHold = false;
  bool GetFromRepositoryDoNotTranslate = false;
  TResStatus GetFromRepositoryNewStatus = rsTranslated;
  bool GetFromRepositoryUseContext = false;
  TMultipleFindAction GetFromRepositoryMultipleFindAction = mfaUseFirst;
  bool GetFromRepositoryComment = false;
  bool GetFromRepositoryCommentAction = true;
  // PascalPropSet (3)
  bool PascalGenerateXlat = false;
  // RepositoryPropSet (3)
  std::u16string RepositoryFilename;
  int32_t RepositoryLeft = 0, RepositoryTop = 0, RepositoryWidth = 0, RepositoryHeight = 0;
  bool RepositoryTextLabels = true;
  bool RepositoryLangToolBarExpanded = true;
  bool RepositoryFormattedXML = false;
  // RepositorySearchPropSet (3)
  bool RepositorySearchCaseSensitive = false;
  bool RepositorySearchForward = true;
  bool RepositorySearchWholeWords = false;
  // QualityWarningsPropSet (3): which quality warnings the translator window shows.
  bool QualityWarnWhitespace = true;
  bool QualityWarnEndPunctuation = true;
  bool QualityWarnNumbers = true;
  bool QualityWarnDoubledSpaces = true;
  bool QualityWarnSameAsOriginal = true;
  bool QualityWarnAccelerator = true;
  // The lowest similarity (0-100) a fuzzy suggestion from the repository must reach.
  TQEMBoundedInt<0, 100> FuzzyThreshold = 70;

  TQEMPropertySet QEMPropSet{u"QEMPropSet", 1};
  TQEMPropertySet HLXPropSet{u"HLXPropSet", 3};
  TQEMPropertySet CommonPropSet{u"CommonPropSet", 3};
  TQEMPropertySet FormDesignerPropSet{u"FormDesignerPropSet", 3};
  TQEMPropertySet AddToRepositoryPropSet{u"AddToRepositoryPropSet", 3};
  TQEMPropertySet ChangeStatusPropSet{u"ChangeStatusPropSet", 3};
  TQEMPropertySet GetFromRepositoryPropSet{u"GetFromRepositoryPropSet", 3};
  TQEMPropertySet PascalPropSet{u"PascalPropSet", 3};
  TQEMPropertySet RepositoryPropSet{u"RepositoryPropSet", 3};
  TQEMPropertySet RepositorySearchPropSet{u"RepositorySearchPropSet", 3};
  TQEMPropertySet QualityWarningsPropSet{u"QualityWarningsPropSet", 3};

  TQEMHistoryManager QEMHistoryManager;

private:
  struct TNoLoad {};
  TQEMINTOptionProps(int Mask, TNoLoad);
  void DefineFields();
  void DefineActionFields();
  void DefineRepositoryFields();
  void AssignValues(const TQEMINTOptionProps& Source);

  int FMask;
  bool FIsModified = false;
  std::u16string FBaseKey;
  std::u16string FRepositoryFilenameDefault;
  std::vector<TQEMPropertySet*> FSets;
};

// The process's options; exists between the unit's start-up and shut-down.
QEM_API extern TQEMINTOptionProps* QEMINTOptionProps;

// Unit start-up and shut-down, called by QEMInitialize/QEMFinalize.
QEM_API void QEMINTOptionPropInitialize();
QEM_API void QEMINTOptionPropFinalize();
