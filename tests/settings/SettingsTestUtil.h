#pragma once
// Shared by the settings suites: a hive without any options, schemes or fonts of either run mode,
// and short ways to plant and inspect stored values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"

namespace settingstest {

inline const std::u16string kNormalBase = u"\\Software\\Wendroth\\HLX\\14.0";
inline const std::u16string kTranslatorBase = u"\\Software\\Wendroth\\HLX\\14.01";

// Every suite in one process shares the hive, so each test starts from a clean one.
inline void WipeSettings() {
  TRegistry r;
  for (const auto& base : {kNormalBase, kTranslatorBase})
    for (const char16_t* key :
         {u"QEMPropSet", u"HLXPropSet", u"CommonPropSet", u"FormDesignerPropSet",
          u"AddToRepositoryPropSet", u"ChangeStatusPropSet", u"GetFromRepositoryPropSet",
          u"PascalPropSet", u"RepositoryPropSet", u"RepositorySearchPropSet", u"History Lists",
          u"Color", u"GridFonts"})
      r.DeleteKey(base + u"\\" + key);
}

inline void PutInt(const std::u16string& Key, const std::u16string& Name, int32_t Value) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey(Key, true));
  r.WriteInteger(Name, Value);
}

inline void PutStr(const std::u16string& Key, const std::u16string& Name,
                   const std::u16string& Value) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey(Key, true));
  r.WriteString(Name, Value);
}

inline void PutBinary(const std::u16string& Key, const std::u16string& Name) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey(Key, true));
  r.WriteBinaryData(Name, {1, 2, 3});
}

// The stored integer, or Missing when the value is absent or not an integer.
inline int64_t GetInt(const std::u16string& Key, const std::u16string& Name,
                      int64_t Missing = -999999) {
  TRegistry r;
  if (!r.OpenKeyReadOnly(Key) || r.GetDataType(Name) != TRegDataType::rdInteger) return Missing;
  return r.ReadInteger(Name);
}

inline bool HasValue(const std::u16string& Key, const std::u16string& Name) {
  TRegistry r;
  return r.OpenKeyReadOnly(Key) && r.ValueExists(Name);
}

inline std::u16string GetStr(const std::u16string& Key, const std::u16string& Name) {
  TRegistry r;
  if (!r.OpenKeyReadOnly(Key)) return u"<no key>";
  if (r.GetDataType(Name) != TRegDataType::rdString) return u"<no string>";
  return r.ReadString(Name);
}

// Points the process at a damaged settings file until destroyed, so every read raises.
class TDamagedHive {
public:
  explicit TDamagedHive(const std::string& Dir) {
    const char* old = std::getenv("HLX_REGISTRY");
    FOld = old ? old : "";
    const std::string path = Dir + "/damaged.db";
    FILE* f = std::fopen(path.c_str(), "wb");
    for (int i = 0; i < 200; ++i)
      std::fputs("this is no settings database at all\n", f);
    std::fclose(f);
    QEMCloseHive();
    setenv("HLX_REGISTRY", path.c_str(), 1);
  }
  ~TDamagedHive() {
    QEMCloseHive();
    setenv("HLX_REGISTRY", FOld.c_str(), 1);
  }

private:
  std::string FOld;
};

// Restores the program arguments (and with them the run mode and base key) after a test.
class TArgsGuard {
public:
  TArgsGuard() : FArgs(QEMProgramArgs()), FBinDir(BinDir) {}
  ~TArgsGuard() {
    QEMSetProgramArgs(FArgs);
    BinDir = FBinDir;
  }

private:
  std::vector<std::u16string> FArgs;
  std::u16string FBinDir;
};

} // namespace settingstest
