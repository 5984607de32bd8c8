// Any bytes as a TMX file of another tool: an error or a merge, never a crash; what merged
// exports as TMX that merges again into an empty repository without an error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "repository/QEMRepositoryInterchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir(); // the library, started once
  auto rep = std::make_shared<TQEMRepository>();
  rep->SetLoaded(true);
  try {
    QEMRepositoryImportTMXBytes(*rep, std::string_view(reinterpret_cast<const char*>(Data), Size),
                                u"in.tmx");
  } catch (const EQEMError&) {
    return 0;
  }
  auto back = std::make_shared<TQEMRepository>();
  back->SetLoaded(true);
  QEMRepositoryImportTMXBytes(*back, QEMRepositoryTMXText(*rep, 45000), u"out.tmx");
  return 0;
}
