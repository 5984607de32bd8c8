// Any bytes as a project document or an old INI project: an error naming the file or a load,
// never a crash.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzSupport.h"
#include "project/QEMProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const bool ini = Size % 2;
  const auto in = FuzzDir() / (ini ? "in.hlx" : "in.rqxproj");
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
  }
  TQEMBaseProjectFileList list;
  try {
    if (ini)
      list.LoadFromHLXFile(UTF8ToUTF16(in.string()));
    else
      list.LoadFromProjectFile(UTF8ToUTF16(in.string()));
  } catch (const EQEMError&) {
  }
  return 0;
}
