// Writes text values into the settings hive ($HLX_REGISTRY) under the key a run of hlx with the
// given switch reads, so that scripts can prepare settings the way a user's dialogs leave them.
// Usage: hlx-regset SWITCH SUBKEY NAME VALUE [NAME VALUE]...
#include <cstdio>
#include <exception>

#include "core/QEMStrs.h"
#include "core/QEMUtils.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMSysUtils.h"

int main(int argc, char** argv) {
  if (argc < 5 || argc % 2 == 0) {
    std::fprintf(stderr, "Usage: %s SWITCH SUBKEY NAME VALUE [NAME VALUE]...\n", argv[0]);
    return 2;
  }
  // The switch decides the run mode, and with it the base key.
  const char* const args[] = {argv[0], argv[1]};
  QEMSetProgramArgs(2, args);
  try {
    TRegistry reg;
    if (!reg.OpenKey(QEMBaseRegKey() + u"\\" + UTF8ToUTF16(argv[2]), true)) {
      std::fprintf(stderr, "cannot open the key %s\n", argv[2]);
      return 1;
    }
    for (int i = 3; i + 1 < argc; i += 2)
      reg.WriteString(UTF8ToUTF16(argv[i]), UTF8ToUTF16(argv[i + 1]));
    reg.Flush();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
