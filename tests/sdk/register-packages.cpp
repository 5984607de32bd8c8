// Lists translator packages in the settings of $HLX_REGISTRY, as the desktop program's
// Translators > Add would: register-packages PACKAGE... Built against the installed SDK through
// pkg-config, so it also shows that hlx.pc gives what a tool needs.
#include <cstdio>

#include "qem.h"

int main(int argc, char** argv) {
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  int rc = 0;
  try {
    TRegistry reg;
    if (!reg.OpenKey(QEMBaseRegKey(), true)) throw EQEMError(u"cannot open the settings");
    reg.WriteInteger(u"TranslatorCount", argc - 1);
    for (int i = 1; i < argc; ++i)
      reg.WriteString(Format(u"Translator%d", i - 1), UTF8ToUTF16(argv[i]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "register-packages: %s\n", e.what());
    rc = 1;
  }
  QEMFinalize();
  return rc;
}
