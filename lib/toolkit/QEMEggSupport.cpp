#include "toolkit/QEMEggSupport.h"

#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMSysUtils.h"

namespace {

constexpr char16_t kPlaceholder = u'\xFEDC';
const std::u16string kEggKey = u"\\EggFormat";

TResStatus gEggedStatus = rsAutoTranslated;
// Values only: a reader held open would pin a read transaction on the hive.
bool gCached = false;
std::u16string gCachedName;
std::u16string gCachedPattern;

} // namespace

std::u16string QEMEggPattern(TResStatus Status, const std::u16string& Kind) {
  const std::u16string name = QEMStatusDesignName(Status) + u"." + Kind;
  if (gCached && name == gCachedName) return gCachedPattern;
  std::u16string pattern;
  {
    TQEMRegistry reg;
    if (reg.OpenKeyReadOnly(QEMBaseRegKey() + kEggKey)) pattern = reg.SafeReadStr(name, u"");
  }
  gCachedName = name;
  gCachedPattern = pattern;
  gCached = true;
  return pattern;
}

std::u16string QEMApplyEggPattern(const std::u16string& Pattern, const std::u16string& Text) {
  std::u16string s = QEMStringReplace(Pattern, u"%%", std::u16string(1, kPlaceholder), false);
  s = QEMStringReplace(s, u"%S", Text, true);
  return QEMStringReplace(s, std::u16string(1, kPlaceholder), u"%", false);
}

bool GetEggString(TResStatus Status, const std::u16string& Kind, const std::u16string& Text,
                  const std::u16string& Current, std::u16string& Result) {
  Result = Current;
  const std::u16string pattern = QEMEggPattern(Status, Kind);
  if (pattern.empty()) return false;
  Result = QEMApplyEggPattern(pattern, Text);
  return true;
}

TResStatus GetEggStatus(TResStatus, const std::u16string&) {
  return gEggedStatus;
}

void QEMEggResetCache() {
  gCached = false;
  gCachedName.clear();
  gCachedPattern.clear();
}

void QEMEggSupportInitialize() {
  QEMEggResetCache();
  gEggedStatus = rsAutoTranslated;
  TQEMRegistry reg;
  if (reg.OpenKeyReadOnly(QEMBaseRegKey() + kEggKey) && reg.SafeReadInt(u"UseEggedStatus", 0) != 0)
    gEggedStatus = rsEgged;
}

void QEMEggSupportFinalize() {
  QEMEggResetCache();
  gEggedStatus = rsAutoTranslated;
}
