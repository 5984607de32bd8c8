// Any bytes as a repository file, in either form: an error or a load, never a crash or an
// unbounded allocation; a loaded repository saves as TMX and that file loads again.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzSupport.h"
#include "core/QEMUtils.h"
#include "repository/QEMNewRepositoryEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const auto in = FuzzDir() / (Size % 2 ? "in.rps" : "in.tmx"), out = FuzzDir() / "out.tmx";
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
  }
  try {
    QEMRepositorySetFileName(UTF8ToUTF16(in.string()));
    QEMRepositoryOpen();
    TQEMWideStringList found;
    QEMRepositoryGetString(u"File", 1033, found, 1031, u"");
    QEMRepositorySaveAs(UTF8ToUTF16(out.string()));
  } catch (const EQEMError&) {
    return 0;
  }
  QEMRepositorySetFileName(UTF8ToUTF16(out.string()));
  QEMRepositoryOpen(); // what we wrote must load
  return 0;
}
