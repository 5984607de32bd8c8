// hlx: the stand-alone manager. Unattended runs are headless; without a batch switch the
// desktop GUI opens (when built).
#include <cstdio>
#include <string>

#include "qem.h"

namespace {
void Print(FILE* To, const std::u16string& Text) {
  const std::string s = UTF16ToUTF8(Text);
  std::fwrite(s.data(), 1, s.size(), To);
  std::fputc('\n', To);
}

int Run(int argc, char** argv) {
  // --help and --version answer before anything is started, so they work on any machine.
  for (int i = 1; i < argc; ++i) {
    const std::u16string a = QEMUpperCase(UTF8ToUTF16(argv[i]));
    if (a == u"--HELP" || a == u"-H" || a == u"-?") {
      Print(stdout, std::u16string(SHlxUsage));
      return 0;
    }
    if (a == u"--VERSION") {
      Print(stdout, Format(SHlxVersionLine, QEMProductName(), QEMProductVersion()));
      Print(stdout, QEMLegalCopyright());
      return 0;
    }
  }
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  struct TFinalize {
    ~TFinalize() { QEMFinalize(); }
  } finalize;
  int errors = 0;
  for (int i = 1; i < argc; ++i) {
    const std::u16string a = QEMUpperCase(UTF8ToUTF16(argv[i]));
    if (a == u"-L" || a == u"--LOG" || a == u"-O" || a == u"--OUTPUT") {
      ++i; // takes the next argument, whatever it looks like
    } else if (!a.empty() && a[0] == u'-' && a != u"-I" && a != u"-E" && a != u"-T" &&
               a != u"--TRANSLATOR" && a != u"--NOMERGE") {
      Print(stderr, std::u16string(SInvalidCommandLine));
      return 1;
    }
  }
  Print(stderr, std::u16string(SHlxNoRunYet));
  ++errors;
  return errors;
}
} // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Print(stderr, Format(SHlxFatal, e.what()));
    return 1;
  }
}
