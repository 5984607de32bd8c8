// hlx: the stand-alone manager. Unattended runs (-I, -E) are headless and never load Qt; without
// a batch switch the desktop program (libhlxgui.so beside hlx) is loaded and given the workspace.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
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

using TGuiRun = int (*)(TQEMWorkspace&, int, char**);

bool HasDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* s = std::getenv(v); s && *s) return true;
  return false;
}

// The desktop program from the folder of the running executable, never from the loader's
// search path, so an installed copy cannot stand in for the one built beside hlx.
TGuiRun LoadGui(std::u16string& Error) {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string file = (ec ? std::filesystem::path(".") : exe.parent_path()) / "libhlxgui.so";
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* e = dlerror();
    Error = UTF8ToUTF16(e ? e : file.c_str());
    return nullptr;
  }
  // The library stays loaded until the process ends: Qt's exit handlers live in it.
  auto run = reinterpret_cast<TGuiRun>(dlsym(module, "HLXGuiRun"));
  if (!run) Error = UTF8ToUTF16(file + ": HLXGuiRun");
  return run;
}

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// With HLX_GUI_TIMING set, the start-up of the desktop program is reported in steps, each
// against the start of main (passed on to the desktop program).
void TimingMark(const char* What) {
  static const long long start = [] {
    if (!std::getenv("HLX_GUI_TIMING")) return 0LL;
    const long long now = NowNs();
    setenv("HLX_GUI_TIMING_START", std::to_string(now).c_str(), 1);
    return now;
  }();
  if (start) Print(stderr, Format(SGuiTimingMark, What, int((NowNs() - start) / 1000000)));
}

int Run(int argc, char** argv) {
  TimingMark("main");
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
  // Whether the desktop program is wanted is settled before the settings are opened, so a
  // request that cannot be served leaves nothing behind.
  TGuiRun gui = nullptr;
  {
    THlxCommandLine probe;
    try {
      probe.ParseCmdLine(args);
    } catch (const EHLXException& e) {
      Print(stderr, e.Message());
      return kUsageError;
    }
    if (!probe.BatchMode()) {
      if (!HasDisplay()) {
        Print(stderr, Format(SHlxFatal, SHlxNoDisplay));
        return kUsageError;
      }
      std::u16string error;
      if (!(gui = LoadGui(error))) {
        Print(stderr, Format(SHlxFatal, Format(SHlxGuiNotLoaded, error)));
        return kUsageError;
      }
      TimingMark("gui-library-loaded");
    }
  }
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  struct TFinalize {
    ~TFinalize() { QEMFinalize(); }
  } finalize;
  if (gui) {
    TimingMark("library-initialized");
    TQEMWorkspace workspace;
    return gui(workspace, argc, argv);
  }
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
