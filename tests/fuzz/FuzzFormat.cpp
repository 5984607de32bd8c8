// Any UTF-16 text through the format-specifier extractor: no crash, and the result is a run of
// whole tokens that each name an argument index.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "toolkit/QEMFormatParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  std::u16string s;
  for (size_t i = 0; i + 1 < Size; i += 2)
    s.push_back(char16_t(Data[i] | Data[i + 1] << 8));
  for (bool dosVars : {false, true}) {
    const std::u16string r = ExtractFormatSpecifier(s, nullptr, dosVars);
    for (size_t at = 0; at < r.size();) {
      const size_t close = r.find(u']', at);
      if (r.compare(at, 2, u"[%") != 0 || close == std::u16string::npos) __builtin_trap();
      const size_t colon = r.find(u':', at);
      if (colon == std::u16string::npos || colon > close || colon == at + 2) __builtin_trap();
      at = close + 1;
    }
    // Every specifier needs at least two characters of the text.
    if (r.size() > s.size() * 40 + 1) __builtin_trap();
  }
  return 0;
}
