#include "core/QEMUtilsRegistry.h"

#include <algorithm>

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "resources/QEMConst.h"

namespace {

bool IsDigit(char16_t C) {
  return C >= u'0' && C <= u'9';
}

// A decimal count, saturated at INT64 scale so that no text overflows; nullopt for anything
// else (signs included: a negative count is no count).
std::optional<int64_t> ParseCount(std::u16string_view S) {
  while (!S.empty() && (S.front() == u' ' || S.front() == u'\t'))
    S.remove_prefix(1);
  while (!S.empty() && (S.back() == u' ' || S.back() == u'\t'))
    S.remove_suffix(1);
  if (S.empty()) return std::nullopt;
  int64_t v = 0;
  for (char16_t c : S) {
    if (!IsDigit(c)) return std::nullopt;
    v = std::min<int64_t>(v * 10 + (c - u'0'), int64_t(1) << 40);
  }
  return v;
}

} // namespace

TQEMRegCount QEMRegReadCount(TRegistry& Registry, const std::u16string& Name, int32_t Max) {
  TQEMRegCount r;
  std::optional<int64_t> value;
  std::u16string shown;
  switch (Registry.GetDataType(Name)) {
  case TRegDataType::rdUnknown:
    return r;
  case TRegDataType::rdInteger: {
    const int32_t v = Registry.ReadInteger(Name);
    shown = Format(u"%d", v);
    if (v >= 0) value = v;
    break;
  }
  case TRegDataType::rdString:
  case TRegDataType::rdExpandString:
    shown = Registry.ReadString(Name);
    value = ParseCount(shown);
    break;
  default:
    break;
  }
  if (!value) {
    r.Warning = Format(SBadSettingsCount, Name, shown.substr(0, 40), Max);
    return r;
  }
  r.Present = true;
  r.Count = int32_t(std::min<int64_t>(*value, Max));
  if (*value > Max) r.Warning = Format(SSettingsCountClamped, Name, shown.substr(0, 40), Max, Max);
  return r;
}

std::optional<std::u16string> QEMRegReadEntry(TRegistry& Registry, const std::u16string& Name) {
  const TRegDataType t = Registry.GetDataType(Name);
  if (t != TRegDataType::rdString && t != TRegDataType::rdExpandString) return std::nullopt;
  return Registry.ReadString(Name);
}

void QEMRegDeleteNumbered(TRegistry& Registry, const std::u16string& Prefix, int32_t Keep) {
  for (const auto& name : Registry.GetValueNames()) {
    if (name.size() <= Prefix.size() || !QEMSameText(name.substr(0, Prefix.size()), Prefix))
      continue;
    const auto n = ParseCount(std::u16string_view(name).substr(Prefix.size()));
    if (n && std::all_of(name.begin() + std::ptrdiff_t(Prefix.size()), name.end(), IsDigit) &&
        *n >= Keep)
      Registry.DeleteValue(name);
  }
}

int32_t TQEMRegistry::SafeReadInt(const std::u16string& Name, int32_t Default) {
  switch (GetDataType(Name)) {
  case TRegDataType::rdInteger:
    return ReadInteger(Name);
  case TRegDataType::rdString:
    return StrToIntDef(ReadString(Name), Default);
  default:
    return Default;
  }
}

std::u16string TQEMRegistry::SafeReadStr(const std::u16string& Name,
                                         const std::u16string& Default) {
  return GetDataType(Name) == TRegDataType::rdString ? ReadString(Name) : Default;
}

std::u16string QEMRegReadWideString(TRegistry& Registry, const std::u16string& Name) {
  switch (Registry.GetDataType(Name)) {
  case TRegDataType::rdUnknown:
    return {};
  case TRegDataType::rdString:
  case TRegDataType::rdExpandString:
    return Registry.ReadString(Name);
  default:
    throw ERegistryException(Format(SInvalidRegType, Name));
  }
}

void QEMRegWriteWideString(TRegistry& Registry, const std::u16string& Name,
                           const std::u16string& Value) {
  Registry.WriteString(Name, Value);
}
