#pragma once
// Registry reads that never fail on a missing or mistyped value, and wide-string access.
#include <cstdint>
#include <optional>
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

// A count of numbered values ("Translator0", "Translator1", ...) as the settings hold it: an
// integer or decimal text. Present is false when the value is missing or unusable (text, a
// negative or binary value): the caller goes on with its defaults. A count above Max reads as
// Max. Warning names the value when it was unusable or too large, and is empty otherwise.
struct TQEMRegCount {
  int32_t Count = 0;
  bool Present = false;
  std::u16string Warning;
};
QEM_API TQEMRegCount QEMRegReadCount(TRegistry& Registry, const std::u16string& Name, int32_t Max);
// The string value Name, or nullopt when it is missing or of another type.
QEM_API std::optional<std::u16string> QEMRegReadEntry(TRegistry& Registry,
                                                      const std::u16string& Name);
// Deletes the values named Prefix followed by decimal digits, from Keep on; reads no count, so
// a damaged one cannot make it loop.
QEM_API void QEMRegDeleteNumbered(TRegistry& Registry, const std::u16string& Prefix, int32_t Keep);

// Empty text when the value does not exist; raises ERegistryException when it is not a string.
QEM_API std::u16string QEMRegReadWideString(TRegistry& Registry, const std::u16string& Name);
QEM_API void QEMRegWriteWideString(TRegistry& Registry, const std::u16string& Name,
                                   const std::u16string& Value);
