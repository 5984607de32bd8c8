#include "core/QEMUtilsRegistry.h"

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

int32_t TQEMRegistry::SafeReadInt(const std::u16string& Name, int32_t Default) {
  switch (GetDataType(Name)) {
  case TRegDataType::rdInteger: return ReadInteger(Name);
  case TRegDataType::rdString: return StrToIntDef(ReadString(Name), Default);
  default: return Default;
  }
}

std::u16string TQEMRegistry::SafeReadStr(const std::u16string& Name, const std::u16string& Default) {
  return GetDataType(Name) == TRegDataType::rdString ? ReadString(Name) : Default;
}

std::u16string QEMRegReadWideString(TRegistry& Registry, const std::u16string& Name) {
  switch (Registry.GetDataType(Name)) {
  case TRegDataType::rdUnknown: return {};
  case TRegDataType::rdString:
  case TRegDataType::rdExpandString: return Registry.ReadString(Name);
  default: throw ERegistryException(Format(SInvalidRegType, Name));
  }
}

void QEMRegWriteWideString(TRegistry& Registry, const std::u16string& Name, const std::u16string& Value) {
  Registry.WriteString(Name, Value);
}
