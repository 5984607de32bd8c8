// Any bytes: loading never crashes or hangs; what loads saves (or is refused cleanly) and
// what was saved loads again.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "FuzzSupport.h"
#include "core/QEMXMLUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  auto doc = CreateNewDocument();
  if (!LoadFromBytes(*doc, std::string_view(reinterpret_cast<const char*>(Data), Size))) return 0;
  try {
    const std::string saved = SaveToBytes(*doc);
    auto again = CreateNewDocument();
    if (!LoadFromBytes(*again, saved)) __builtin_trap();
    std::ostringstream formatted;
    SaveFormattedDocument(*doc, formatted, u"<?xml version=\"1.0\"?><root/>");
    if (!LoadFromBytes(*again, formatted.str())) __builtin_trap();
  } catch (const EQEMXMLError&) {
  }
  return 0;
}
