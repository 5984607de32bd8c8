// Any file opened as a notes file: an error or a full read, never a crash; a file that was
// read and saved opens again with the same number of items.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzSupport.h"
#include "notes/QEMNotes.h"

namespace {
class TFuzzNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".fnt"; }
  std::u16string GetDataType() override { return u"x-fuzz"; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const auto in = FuzzDir() / "in.fnt", out = FuzzDir() / "out.fnt";
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
  }
  TFuzzNotesFile f;
  int count = -1;
  try {
    f.Open(UTF8ToUTF16(in.string()));
    count = f.GetItems()->Count();
    f.SaveAs(UTF8ToUTF16(out.string()));
  } catch (const EQEMError&) {
    return 0;
  }
  TFuzzNotesFile g;
  g.Open(UTF8ToUTF16(out.string()));
  if (g.GetItems()->Count() != count) __builtin_trap();
  return 0;
}
