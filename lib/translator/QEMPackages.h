#pragma once
// Translator packages: shared libraries loaded at run time that register file types into this
// process. The host owns one TQEMPackageManager; it keeps the list the settings remember.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "translator/QEMFileTypes.h"

// What a package library exports.
using TQEMPackageInitializeFunc = void (*)(void* Module);
using TQEMPackageFinalizeFunc = void (*)();

// The contract between libqem and its packages (class layouts, virtual slots, entry points).
// Raised whenever a package built against older headers could misbehave with this library.
inline constexpr uint32_t QEMPackageContract = 2;
// A package exports the contract it was built for under this name, as a const uint32_t; the
// loader reads it before it calls anything in the package and refuses any other value.
inline constexpr const char* QEMPackageContractSymbol = "QEMPackageContractVersion";
// Declares the contract in one source file of a package (the plug-in kit does it for its
// packages).
#define QEM_DECLARE_PACKAGE_CONTRACT()                                                             \
  QEM_PACKAGE_EXPORT const uint32_t QEMPackageContractVersion = QEMPackageContract

// Opens the library at FileName (made absolute, so the loader never searches its own paths),
// checks the contract it declares and runs its initialisation. Raises EQEMError with the reason
// (a package of another contract names both versions); null when the loader gives no module.
QEM_API void* QEMLoadPackage(const std::u16string& FileName);
// Runs the package's finalisation and closes the library.
QEM_API void QEMUnloadPackage(void* Module);

struct TQEMPackageEntry {
  std::u16string FileName; // as it was loaded
  void* Module = nullptr;
  // The Remove entry: the description of the type the package registered last, or the file
  // name; the hint is the file name.
  std::u16string Caption;
  std::vector<IQEMFileTypePtr> Types; // what the package registered, dropped before unloading
};

class QEM_API TQEMPackageManager {
public:
  TQEMPackageManager();
  ~TQEMPackageManager();
  TQEMPackageManager(const TQEMPackageManager&) = delete;
  TQEMPackageManager& operator=(const TQEMPackageManager&) = delete;

  // Reports; the host routes them to its message and error functions (batch runs log them).
  std::function<void(const std::u16string&)> OnMessage;
  std::function<void(const std::u16string&)> OnError;
  // A package the settings list but whose file is missing is an error (unattended runs).
  bool ReportMissing = false;

  // Every failure is reported, never raised. True when the package is now listed.
  bool ProcessLoadTranslator(const std::u16string& FileName);
  // The list the settings remember, else the default packages that exist.
  void LoadFromRegistry();
  // Unloads the package of Module; false when none is listed with it.
  bool Remove(void* Module);
  // Unloads every package, last loaded first.
  void UnloadAll();
  // Writes the list back, paths below the binary directory with the root macro.
  void SaveToRegistry() const;
  // The names the list had before UnloadAll, for SaveToRegistry after unloading.
  const std::vector<std::u16string>& SavedNames() const { return FSavedNames; }

  int Count() const { return int(FEntries.size()); }
  const TQEMPackageEntry& Entry(int Index) const { return FEntries.at(size_t(Index)); }

private:
  void Message(const std::u16string& S) const;
  void Error(const std::u16string& S) const;
  void Unload(size_t Index);

  std::vector<TQEMPackageEntry> FEntries;
  std::vector<std::u16string> FSavedNames;
  // Listed in the settings but not loaded: kept when the list is written back, as a missing
  // mount is no reason to forget a package.
  std::vector<std::u16string> FNotLoaded;
  // The list as LoadFromRegistry found it, when stored exactly as SaveToRegistry writes it:
  // the same list again needs no second look at the settings.
  std::optional<std::vector<std::u16string>> FStoredAtLoad;
};

// The most packages the settings list is read for.
inline constexpr int32_t QEMMaxTranslatorCount = 1000;

// The default packages, in the binary directory.
QEM_API std::vector<std::u16string> QEMDefaultTranslatorFiles();

// The file type of a project file: the type named by its kind (exact), else the first type
// serving its extension (ignoring case), else null.
QEM_API IQEMFileTypePtr QEMFileTypeOfProjectFile(const std::u16string& Name,
                                                 const std::u16string& Kind);
