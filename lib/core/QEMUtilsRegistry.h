#pragma once
// Registry reads that never fail on a missing or mistyped value, and wide-string access.
#include <cstdint>
#include <string>

#include "platform/QEMRegistry.h"

class QEM_API TQEMRegistry : public TRegistry {
public:
  using TRegistry::TRegistry;
  // An integer value, or a string value holding a decimal integer; Default otherwise.
  int32_t SafeReadInt(const std::u16string& Name, int32_t Default);
  // A plain string value; Default for a missing value or any other type.
  std::u16string SafeReadStr(const std::u16string& Name, const std::u16string& Default);
};

// Empty text when the value does not exist; raises ERegistryException when it is not a string.
QEM_API std::u16string QEMRegReadWideString(TRegistry& Registry, const std::u16string& Name);
QEM_API void QEMRegWriteWideString(TRegistry& Registry, const std::u16string& Name, const std::u16string& Value);
