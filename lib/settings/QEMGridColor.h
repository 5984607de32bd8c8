#pragma once
// Colour schemes of the translation grids: which colour a cell gets by whether it can be edited,
// whether it is selected and the status of its item. Kept below the base key in "\Color".
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMUtilsRegistry.h"

// A colour as the platform stores it: 0x00BBGGRR.
using TColor = uint32_t;
inline constexpr TColor QEMMaxColor = 0x00FFFFFF;

enum TQEMColor : uint8_t {
  iclEditBackgroundColor,
  iclEditForegroundColor,
  iclNon_EditBackgroundColor,
  iclNon_EditForegroundColor,
  iclSelectionBackground,
  iclSelectionForeground,
  iclUntranslatedItemColor,
  iclTranslatedItemColor,
  iclAuto_TranslatedItemColor,
  iclUnusedItemColor,
};
inline constexpr int QEMColorCount = 10;

struct TQEMColorRec {
  std::u16string ColorRegName;
  std::u16string ColorDisName;
  TQEMColor QEMColor = iclEditBackgroundColor;
  TColor Color = 0;
};

// Display name and colour per slot, in slot order: what the options page edits.
using TQEMColorValueList = std::vector<std::pair<std::u16string, TColor>>;

// The registry value name, display name and newly-constructed colour of a slot.
QEM_API std::u16string QEMColorRegName(TQEMColor Slot);
QEM_API std::u16string QEMColorDisName(TQEMColor Slot);
QEM_API TColor QEMColorDefault(TQEMColor Slot);

class QEM_API TQEMColorScheme {
public:
  // Every caller passes the same text for both names; the key name is the scheme's identity.
  TQEMColorScheme(std::u16string ASchemeRegName, std::u16string ASchemeDisName);

  // Replaces the colour of the entry named AColorRegName, else appends one. Returns its index.
  int Add(const std::u16string& AColorRegName, const std::u16string& AColorDisName, TColor AColor,
          TQEMColor AQEMColor);
  void Clear();
  void Delete(int Index);
  void Assign(const TQEMColorScheme& Other);

  // A slot without an entry reads as its newly-constructed colour; setting it adds the entry.
  TColor GetColor(TQEMColor Slot) const;
  void SetColor(TQEMColor Slot, TColor Color);
  std::u16string GetColorDisName(TQEMColor Slot) const;
  std::u16string GetColorRegName(TQEMColor Slot) const;
  int GetCount() const { return int(FQEMColorList.size()); }
  const TQEMColorRec& GetItem(int Index) const;

  bool GetIsOEM() const { return FIsOEM; }
  void SetIsOEM(bool Value) { FIsOEM = Value; }
  const std::u16string& GetSchemeDisName() const { return FSchemeDisName; }
  const std::u16string& GetSchemeRegName() const { return FSchemeRegName; }

  // Key is the scheme's own key. Each slot keeps its colour when the stored one is missing or
  // not a colour; "IsOEM" is read only when present.
  void LoadAll(TQEMRegistry& Registry, const std::u16string& Key);
  void SaveAll(TRegistry& Registry, const std::u16string& Key) const;

  void CopyTo(TQEMColorValueList& List) const;
  // Takes the colours of the list in slot order; a shorter list leaves the remaining slots.
  void LoadFrom(const TQEMColorValueList& List);

private:
  const TQEMColorRec* Find(TQEMColor Slot) const;

  std::vector<TQEMColorRec> FQEMColorList;
  bool FIsOEM = false;
  std::u16string FSchemeDisName;
  std::u16string FSchemeRegName;
};

// Names that cannot be a scheme's key: blank after trimming, or holding the key separator.
// Raises EQEMError with the message for the user.
QEM_API void QEMCheckColorSchemeName(const std::u16string& Name);
// "Classic", "Default", "Ocean" or "Twilight", ignoring case.
QEM_API bool QEMIsOEMColorSchemeName(const std::u16string& Name);

class QEM_API TQEMColorSchemes {
public:
  // The four built-in schemes, "Default" selected, colours in use; the key below the current
  // base key.
  TQEMColorSchemes();
  TQEMColorSchemes(const TQEMColorSchemes&) = delete;
  TQEMColorSchemes& operator=(const TQEMColorSchemes&) = delete;

  // Overwrites a scheme of the same key name (ignoring case) and drops the new one, else
  // appends it. Returns the index of the scheme that holds the colours. Raises EQEMError for a
  // key name that breaks the registry layout.
  int Add(std::unique_ptr<TQEMColorScheme> Scheme);
  void Clear();
  // The selected index follows its scheme; deleting the selected one selects the first.
  void Delete(int Index);
  void Assign(const TQEMColorSchemes& Other);
  TQEMColorScheme* GetColorScheme(int Index) const;
  void SetColorScheme(int Index, const TQEMColorScheme& Scheme);
  int GetCount() const { return int(FColorSchemes.size()); }
  int IndexOf(const std::u16string& Name) const;

  // nullptr only while the collection is empty.
  TQEMColorScheme* SelectedColorsScheme() const;
  int GetSelected() const { return FSelected; }
  void SetSelected(int Index);
  bool GetUseColors() const { return FUseColors; }
  void SetUseColors(bool Value) { FUseColors = Value; }

  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string Key) { FKey = std::move(Key); }

  // Reads into a fresh collection and takes it over only when the whole read succeeded.
  void LoadAll();
  // Replaces the whole key; RefreshImages then calls QEMRefreshStatusImages.
  void SaveAll(bool RefreshImages);

private:
  std::vector<std::unique_ptr<TQEMColorScheme>> FColorSchemes;
  int FSelected = 1;
  bool FUseColors = true;
  std::u16string FKey;
};

// Set by the host: re-tints the status images the windows share after the schemes were saved.
QEM_API extern std::function<void()> QEMRefreshStatusImages;

// The slot that colours the status cell of an item of this status.
QEM_API TQEMColor QEMStatusColorSlot(TResStatus Status);

// The process's colour schemes; exist between the unit's start-up and shut-down.
QEM_API extern TQEMColorSchemes* QEMColorSchemes;

// The options page's "save new scheme": asks for a name until the user cancels or gives one
// that is usable and not built-in, asks before replacing a namesake, then adds a scheme with
// Colors to Schemes. Returns its index, -1 when nothing was saved.
QEM_API int QEMSaveNewColorScheme(TQEMColorSchemes& Schemes, const TQEMColorValueList& Colors);
// Asks for a new name for a scheme that is not built-in, refusing one another scheme holds. True
// when the scheme was renamed.
QEM_API bool QEMRenameColorScheme(TQEMColorSchemes& Schemes, int Index);
// Removing is offered only while more than one scheme exists and the scheme is not built-in.
QEM_API bool QEMCanRemoveColorScheme(const TQEMColorSchemes& Schemes, int Index);
// Asks, then removes. True when the scheme was removed.
QEM_API bool QEMRemoveColorScheme(TQEMColorSchemes& Schemes, int Index);

// Unit start-up and shut-down, called by QEMInitialize/QEMFinalize.
QEM_API void QEMGridColorInitialize();
QEM_API void QEMGridColorFinalize();
