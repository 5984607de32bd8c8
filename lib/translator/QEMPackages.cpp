#include "translator/QEMPackages.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <optional>

#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

std::u16string AbsolutePath(const std::u16string& FileName) {
  std::error_code ec;
  const auto p = std::filesystem::absolute(QEMNativePath(FileName), ec);
  return ec ? FileName : UTF8ToUTF16(p.lexically_normal().string());
}

// The contract Module declares; nothing when it declares none. The symbol must be the module's
// own: a lookup by handle also searches the libraries the module depends on.
std::optional<uint32_t> ContractOf(void* Module) {
  const void* sym = dlsym(Module, QEMPackageContractSymbol);
  link_map* map = nullptr;
  Dl_info info{};
  if (!sym || dlinfo(Module, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(sym, &info) ||
      !info.dli_fname || std::strcmp(info.dli_fname, map->l_name) != 0)
    return std::nullopt;
  return *static_cast<const uint32_t*>(sym);
}

// Raises the contract failure of Module (then closed), if any.
void CheckContract(void* Module, const std::u16string& FileName) {
  const auto contract = ContractOf(Module);
  if (contract && *contract == QEMPackageContract) return;
  dlclose(Module);
  if (!contract) throw EQEMError(Format(SPackageNoContract, FileName));
  throw EQEMError(
      Format(SPackageContractMismatch, FileName, int64_t(*contract), int64_t(QEMPackageContract)));
}

// "Translator" and decimal digits, in any case: what QEMRegDeleteNumbered deletes.
bool IsListEntryName(std::u16string_view Name) {
  constexpr std::u16string_view prefix = u"Translator";
  return Name.size() > prefix.size() && QEMSameText(Name.substr(0, prefix.size()), prefix) &&
         std::all_of(Name.begin() + std::ptrdiff_t(prefix.size()), Name.end(),
                     [](char16_t C) { return C >= u'0' && C <= u'9'; });
}

// Whether the settings hold the list exactly as SaveToRegistry would leave it. Writing it again
// would change nothing, but costs the write lock and a rewrite of every entry.
bool ListStoredAs(TRegistry& reg, const std::vector<std::u16string>& Values) {
  if (reg.GetDataType(u"TranslatorCount") != TRegDataType::rdInteger ||
      reg.ReadInteger(u"TranslatorCount") != int32_t(Values.size()))
    return false;
  const std::vector<std::u16string> names = reg.GetValueNames();
  if (size_t(std::count_if(names.begin(), names.end(), IsListEntryName)) != Values.size())
    return false;
  for (size_t i = 0; i < Values.size(); ++i) {
    // The rewrite would also give each entry this spelling of its name.
    const std::u16string name = Format(u"Translator%d", int(i));
    if (std::find(names.begin(), names.end(), name) == names.end() ||
        reg.GetDataType(name) != TRegDataType::rdString || reg.ReadString(name) != Values[i])
      return false;
  }
  return true;
}

bool ListAlreadyStored(const std::vector<std::u16string>& Values) {
  try {
    TRegistry reg;
    TQEMHiveReadBatch batch(reg.Hive());
    return reg.OpenKeyReadOnly(QEMBaseRegKey()) && ListStoredAs(reg, Values);
  } catch (const EQEMError&) {
    return false; // the write says what is wrong
  }
}

} // namespace

void* QEMLoadPackage(const std::u16string& FileName) {
  const std::string path = QEMNativePath(AbsolutePath(FileName));
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    // A package of another contract may name functions this library no longer has; its
    // versions say more than the missing symbol. Lazy binding opens it without them.
    if (void* lazy = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
      const auto contract = ContractOf(lazy);
      if (contract && *contract != QEMPackageContract) CheckContract(lazy, FileName);
      dlclose(lazy);
    }
    return nullptr;
  }
  CheckContract(module, FileName);
  auto init = reinterpret_cast<TQEMPackageInitializeFunc>(dlsym(module, "QEMPackageInitialize"));
  if (!init) {
    dlclose(module);
    throw EQEMError(Format(SPackageNoInit, FileName));
  }
  init(module);
  return module;
}

void QEMUnloadPackage(void* Module) {
  if (!Module) return;
  if (auto fin = reinterpret_cast<TQEMPackageFinalizeFunc>(dlsym(Module, "QEMPackageFinalize")))
    fin();
  dlclose(Module);
}

TQEMPackageManager::TQEMPackageManager() = default;

TQEMPackageManager::~TQEMPackageManager() {
  try {
    UnloadAll();
  } catch (...) {
  }
}

void TQEMPackageManager::Message(const std::u16string& S) const {
  if (OnMessage)
    OnMessage(S);
  else
    QEMUIServices().MessageBox(S);
}

void TQEMPackageManager::Error(const std::u16string& S) const {
  if (OnError)
    OnError(S);
  else
    ShowError(S);
}

bool TQEMPackageManager::ProcessLoadTranslator(const std::u16string& FileName) {
  try {
    for (const auto& e : FEntries)
      if (e.FileName == FileName) {
        Message(Format(SLibraryAlreadyLoaded, FileName));
        return false;
      }
    // The same file under another spelling of its path: the loader would hand out the handle
    // it already holds, after running the package's initialisation a second time. Only a
    // listed package can be held that way.
    if (void* held = FEntries.empty() ? nullptr
                                      : dlopen(QEMNativePath(AbsolutePath(FileName)).c_str(),
                                               RTLD_NOW | RTLD_NOLOAD)) {
      dlclose(held);
      for (const auto& e : FEntries)
        if (e.Module == held) {
          Message(Format(SLibraryAlreadyLoaded, FileName));
          return false;
        }
    }
    auto& types = QEMFileTypes();
    types.ClearLatestAdded();
    const auto before = types.Snapshot();
    void* module = nullptr;
    try {
      module = QEMLoadPackage(FileName);
    } catch (...) {
      // A package that failed half-way must not leave types behind.
      for (const auto& t : types.Snapshot())
        if (std::find(before.begin(), before.end(), t) == before.end()) UnRegisterQEMFileType(t);
      throw;
    }
    if (!module) {
      Error(Format(STranslatorLoadFailedNoModule, FileName));
      return false;
    }
    TQEMPackageEntry entry;
    entry.FileName = FileName;
    entry.Module = module;
    for (const auto& t : types.Snapshot())
      if (std::find(before.begin(), before.end(), t) == before.end()) entry.Types.push_back(t);
    const auto latest = types.LatestAdded();
    entry.Caption = latest ? latest->GetDesc() : FileName;
    if (entry.Types.empty()) Message(Format(SPackageRegisteredNothing, FileName));
    FEntries.push_back(std::move(entry));
    return true;
  } catch (const std::exception& e) {
    Error(Format(STranslatorLoadFailed, FileName, QEMExceptionMessage(e)));
    return false;
  }
}

#ifndef QEM_PACKAGE_DIR_FROM_BIN
#define QEM_PACKAGE_DIR_FROM_BIN "../lib/hlx/packages"
#endif

// Beside hlx in the build tree; an installed hlx has them in its package folder instead.
std::vector<std::u16string> QEMDefaultTranslatorFiles() {
  const std::u16string bin = ExcludeTrailingPathDelimiter(QEMBinDir());
  const std::u16string installed = AbsolutePath(bin + u"/" + UTF8ToUTF16(QEM_PACKAGE_DIR_FROM_BIN));
  std::vector<std::u16string> r;
  for (const auto& f : fnDefaultTranslators) {
    std::u16string file = Format(TQEMRuntimeFormat{f}, bin, u"140");
    if (!FileExists(file)) {
      std::u16string other = Format(TQEMRuntimeFormat{f}, installed, u"140");
      if (FileExists(other)) file = std::move(other);
    }
    r.push_back(std::move(file));
  }
  return r;
}

void TQEMPackageManager::LoadFromRegistry() {
  TQEMRegCount count;
  std::vector<std::u16string> names, stored;
  FStoredAtLoad.reset();
  {
    TRegistry reg;
    TQEMHiveReadBatch batch(reg.Hive()); // one lock for the whole list
    if (reg.OpenKey(QEMBaseRegKey(), true)) {
      count = QEMRegReadCount(reg, u"TranslatorCount", QEMMaxTranslatorCount);
      // The list ends at its first gap: a count no entries back is not read to its end.
      for (int32_t i = 0; i < count.Count; ++i) {
        const auto name = QEMRegReadEntry(reg, Format(u"Translator%d", i));
        if (!name) break;
        stored.push_back(*name);
        names.push_back(QEMExpandRootMacro(*name));
      }
      try {
        if (!stored.empty() && stored.size() == size_t(count.Count) && ListStoredAs(reg, stored))
          FStoredAtLoad = std::move(stored);
      } catch (const EQEMError&) {
        // the write at the end looks again
      }
    }
  }
  if (!count.Warning.empty()) Message(count.Warning);
  const bool fromSettings = count.Count != 0;
  if (!fromSettings) names = QEMDefaultTranslatorFiles();
  FNotLoaded.clear();
  for (const auto& n : names) {
    if (FileExists(n) && ProcessLoadTranslator(n)) continue;
    if (!fromSettings) continue;
    if (!FileExists(n) && ReportMissing) Error(Format(SPackageMissing, n));
    if (std::none_of(FEntries.begin(), FEntries.end(),
                     [&](const auto& E) { return E.FileName == n; }))
      FNotLoaded.push_back(n);
  }
}

void TQEMPackageManager::Unload(size_t Index) {
  TQEMPackageEntry entry = std::move(FEntries[Index]);
  FEntries.erase(FEntries.begin() + std::ptrdiff_t(Index));
  // The library's code backs these objects: none may outlive it.
  for (const auto& t : entry.Types)
    if (QEMFileTypesStarted() && QEMFileTypes().IndexOf(t) >= 0) UnRegisterQEMFileType(t);
  entry.Types.clear();
  QEMUnloadPackage(entry.Module);
}

bool TQEMPackageManager::Remove(void* Module) {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].Module == Module) {
      Unload(i);
      return true;
    }
  return false;
}

void TQEMPackageManager::UnloadAll() {
  if (!FEntries.empty()) {
    FSavedNames.clear();
    for (const auto& e : FEntries)
      FSavedNames.push_back(e.FileName);
  }
  while (!FEntries.empty())
    Unload(FEntries.size() - 1);
}

void TQEMPackageManager::SaveToRegistry() const {
  std::vector<std::u16string> names;
  if (FEntries.empty())
    names = FSavedNames;
  else
    for (const auto& e : FEntries)
      names.push_back(e.FileName);
  for (const auto& n : FNotLoaded)
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  std::vector<std::u16string> stored;
  for (const auto& n : names)
    stored.push_back(QEMCollapseRootMacro(n));
  if (FStoredAtLoad ? *FStoredAtLoad == stored : ListAlreadyStored(stored)) return;
  TRegistry reg;
  if (!reg.OpenKey(QEMBaseRegKey(), true)) return;
  QEMRegDeleteNumbered(reg, u"Translator", 0);
  reg.WriteInteger(u"TranslatorCount", int32_t(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    reg.WriteString(Format(u"Translator%d", int(i)), stored[i]);
}

IQEMFileTypePtr QEMFileTypeOfProjectFile(const std::u16string& Name, const std::u16string& Kind) {
  auto& types = QEMFileTypes();
  int i = types.IndexOf(Kind);
  if (i < 0) i = types.ExtIndexOf(QEMUpperCase(ExtractFileExt(Name)));
  return i < 0 ? nullptr : types.GetQEMFileType(i);
}
