// hlx: the stand-alone manager. Unattended runs (-I, -E) are headless; without a batch switch
// the desktop window would open, which this build does not have.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "qem.h"
#include "workspace/QEMWorkspace.h"

namespace {
void Print(FILE* To, const std::u16string& Text) {
  const std::string s = UTF16ToUTF8(Text);
  std::fwrite(s.data(), 1, s.size(), To);
  std::fputc('\n', To);
  std::fflush(To);
}

constexpr int kUsageError = 2;

int Run(int argc, char** argv) {
  // --help and --version answer before anything is started, so they work on any machine.
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(UTF8ToUTF16(argv[i]));
    const std::u16string a = QEMUpperCase(args.back());
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
  int rc = 0;
  {
    TQEMWorkspace workspace;
    // Progress goes to a terminal only; standard output carries the summary alone.
    const bool terminal = isatty(STDERR_FILENO);
    bool progressShown = false;
    const auto endProgress = [&] {
      if (progressShown) std::fputs("\r\033[K", stderr);
      progressShown = false;
    };
    workspace.OnStatus = [&](const std::u16string& S) {
      if (!terminal || S.empty()) return;
      endProgress();
      Print(stderr, S);
    };
    workspace.OnProgress = [&](int Done, int Total, const std::u16string& File) {
      if (!terminal) return;
      const std::string line =
          UTF16ToUTF8(Format(u"[%d/%d] %s", Done, Total, ExtractFileName(File)));
      std::fprintf(stderr, "\r\033[K%s", line.c_str());
      std::fflush(stderr);
      progressShown = true;
    };
    workspace.OnBatchError = [&](const std::u16string& S) {
      endProgress();
      Print(stderr, Format(SHlxFatal, S));
    };
    try {
      rc = workspace.ExecuteCmdLine(args);
    } catch (const EHLXException& e) {
      Print(stderr, e.Message());
      return kUsageError;
    }
    if (rc < 0) {
      Print(stderr, std::u16string(SHlxNoDesktop));
      return kUsageError;
    }
    endProgress();
    if (workspace.LastStats().ProjCount > 0) {
      Print(stdout, StatsText(workspace.LastStats()));
      Print(stdout, std::u16string(STimeElapsed) + workspace.LastElapsed());
    }
  }
  return rc;
}
} // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Print(stderr, Format(SHlxFatal, QEMExceptionMessage(e)));
    return 1;
  }
}
