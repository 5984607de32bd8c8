// Any bytes as an XLIFF or PO catalogue: an error or units, never a crash; the units read
// write out as catalogues of both formats that read back to the same texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzSupport.h"
#include "translator/QEMExchange.h"

namespace {

void Check(bool Ok) {
  if (!Ok) std::abort();
}

void WriteAndReadBack(const TQEMExchangeFile& File) {
  const TQEMExchangeFile po = QEMExchangeRead(TQEMExchangeFormat::efPO, u"back.po",
                                              QEMExchangeWrite(TQEMExchangeFormat::efPO, File))
                                  .at(0);
  Check(po.Units.size() <= File.Units.size());
  std::string xlf;
  try {
    xlf = QEMExchangeWrite(TQEMExchangeFormat::efXliff, File);
  } catch (const EQEMError&) {
    return; // a control character, which XML cannot carry
  }
  const auto back = QEMExchangeRead(TQEMExchangeFormat::efXliff, u"back.xlf", xlf);
  Check(back.size() == 1 && back[0].Units.size() == File.Units.size());
  for (size_t i = 0; i < File.Units.size(); ++i)
    Check(back[0].Units[i].Source == File.Units[i].Source &&
          back[0].Units[i].Id == File.Units[i].Id);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir(); // the library, started once
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);
  for (auto format : {TQEMExchangeFormat::efXliff, TQEMExchangeFormat::efPO}) {
    std::vector<TQEMExchangeFile> files;
    try {
      files = QEMExchangeRead(format, u"in", bytes);
    } catch (const EQEMError&) {
      continue;
    }
    for (TQEMExchangeFile& f : files) {
      for (TQEMExchangeUnit& u : f.Units)
        u.Status = rsTranslated;
      f.Original = u"x/" + f.Original; // a visible name survives a header line
      f.TargetLang = u"de-DE";
      WriteAndReadBack(f);
    }
  }
  return 0;
}
