// hlx: the stand-alone manager. Unattended runs (-I, -E) are headless and never load Qt; without
// a batch switch the desktop program (libhlxgui.so beside hlx) is loaded and given the workspace.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "hlx.h"
#include "qem.h"
#include "workspace/QEMWorkspace.h"

namespace {

// False when the text did not reach the stream whole (a full disk, a closed pipe).
bool Write(FILE* To, const std::string& Text) {
  return std::fwrite(Text.data(), 1, Text.size(), To) == Text.size() && std::fflush(To) == 0 &&
         !std::ferror(To);
}

bool Print(FILE* To, const std::u16string& Text) {
  return Write(To, UTF16ToUTF8(Text) + "\n");
}

bool Print(FILE* To, std::u16string_view Text) {
  return Print(To, std::u16string(Text));
}

constexpr int kUsageError = THlxCommandLine::UsageExitCode;

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
  const auto dir = ec ? std::filesystem::path(".") : exe.parent_path();
  std::string file = dir / "libhlxgui.so";
#ifdef HLX_GUI_DIR_FROM_BIN
  // Installed, it sits in hlx's private library folder instead.
  if (!std::filesystem::exists(file, ec))
    file = (dir / HLX_GUI_DIR_FROM_BIN / "libhlxgui.so").lexically_normal();
#endif
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

// Progress and status lines on standard error, only to a terminal: a line redrawn in place,
// or plain lines where the terminal cannot take escape sequences (TERM=dumb).
class TProgressLine {
public:
  explicit TProgressLine(bool Quiet) {
    const char* term = std::getenv("TERM");
    FShown = !Quiet && isatty(STDERR_FILENO);
    FPlain = !term || !*term || std::string_view(term) == "dumb";
  }
  void Status(const std::u16string& S) {
    if (!FShown || S.empty()) return;
    End();
    Print(stderr, S);
  }
  void Progress(int Done, int Total, const std::u16string& File, LCID Locale) {
    if (!FShown) return;
    const std::string line = UTF16ToUTF8(
        Format(SHlxProgress, Done, Total, LCIDToLangTag(Locale), ExtractFileName(File)));
    if (FPlain) {
      Write(stderr, line + "\n");
      return;
    }
    Write(stderr, "\r\033[K" + line);
    FOpen = true;
  }
  // Ends a line drawn in place before anything else is written.
  void End() {
    if (FOpen) Write(stderr, "\r\033[K");
    FOpen = false;
  }

private:
  bool FShown = false;
  bool FPlain = false;
  bool FOpen = false;
};

// Help, version and the refusals of the command line, before the settings are opened: they
// work on any machine, and a refused command line, or a request that cannot be served, leaves
// nothing behind. -1 when the command line asks for a run.
int ServeCommandLine(THlxCommandLine& Probe, const std::vector<std::u16string>& Args) {
  try {
    Probe.ParseCmdLine(Args);
    if (Probe.HelpAsked()) return Print(stdout, SHlxUsage) ? 0 : 1;
    if (Probe.VersionAsked())
      return Print(stdout, Format(SHlxVersionLine, QEMProductName(), QEMProductVersion())) &&
                     Print(stdout, QEMLegalCopyright())
                 ? 0
                 : 1;
    Probe.CheckNamedFiles();
  } catch (const EHLXException& e) {
    Print(stderr, Format(SHlxFatal, e.Message()));
    return kUsageError;
  }
  return -1;
}

struct TFinalize {
  ~TFinalize() { QEMFinalize(); }
};

int RunDesktop(int argc, char** argv) {
  if (!HasDisplay()) {
    Print(stderr, Format(SHlxFatal, SHlxNoDisplay));
    return kUsageError;
  }
  std::u16string error;
  const TGuiRun gui = LoadGui(error);
  if (!gui) {
    Print(stderr, Format(SHlxFatal, Format(SHlxGuiNotLoaded, error)));
    return 1;
  }
  TimingMark("gui-library-loaded");
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  TFinalize finalize;
  TimingMark("library-initialized");
  TQEMWorkspace workspace;
  return gui(workspace, argc, argv);
}

// Standard output carries the summary alone: as JSON, as text, or nothing when the statistics
// go there or the user asked for quiet. Returns why it could not be written.
std::u16string PrintSummary(const THlxCommandLine& C, const hlx::RunReport& Report) {
  if (C.OutputToStdout()) return {};
  std::string text;
  if (C.Json())
    text = QEMRunReportJson(Report, false);
  else if (!C.Quiet() && !Report.Summary.empty())
    text = UTF16ToUTF8(Report.Summary + u"\n");
  errno = 0;
  if (text.empty() || Write(stdout, text)) return {};
  return Format(SHlxCannotWriteStdout, UTF8ToUTF16(std::strerror(errno ? errno : EIO)));
}

int RunBatch(const THlxCommandLine& Probe, int argc, char** argv) {
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  TFinalize finalize;
  TProgressLine progress(Probe.Quiet());
  hlx::RunOptions options;
  options.Project = Probe.FileName();
  options.Repository = Probe.RepositoryFileName();
  options.EggBuild = Probe.Mode() == ecmEggInteg;
  options.Log = Probe.LogFileName();
  if (Probe.OutputGiven()) options.Output = Probe.OutputFileName();
  options.Quiet = Probe.Quiet();
  options.OnStatus = [&](const std::u16string& S) { progress.Status(S); };
  options.OnProgress = [&](int Done, int Total, const std::u16string& File, LCID Locale) {
    progress.Progress(Done, Total, File, Locale);
  };
  options.OnError = [&](const std::u16string& S) {
    progress.End();
    Print(stderr, Format(SHlxFatal, S));
  };
  options.OnRunEnd = [&](const hlx::RunReport& Report) {
    progress.End();
    return PrintSummary(Probe, Report);
  };
  const hlx::RunReport report = hlx::Run(options);
  progress.End();
  if (report.Outcome.Status != hlx::Status::RunErrors && !report.Outcome)
    Print(stderr, Format(SHlxFatal, report.Outcome.Message));
  return report.ExitCode;
}

// A workspace run other than one update run: the library started, progress and errors shown as
// in the other batch runs, a refused command line exiting with the usage code.
template <class TWire, class TExecute>
int RunWorkspace(const THlxCommandLine& Probe, int argc, char** argv, TWire Wire,
                 TExecute Execute) {
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  TFinalize finalize;
  TProgressLine progress(Probe.Quiet());
  TQEMWorkspace workspace;
  workspace.OnStatus = [&](const std::u16string& S) { progress.Status(S); };
  workspace.OnBatchError = [&](const std::u16string& S) {
    progress.End();
    Print(stderr, Format(SHlxFatal, S));
  };
  Wire(workspace, progress);
  try {
    return Execute(workspace);
  } catch (const EHLXException& e) {
    Print(stderr, Format(SHlxFatal, e.Message()));
    return kUsageError;
  }
}

// --export and --import: the workspace's exchange run.
int RunExchange(const THlxCommandLine& Probe, const std::vector<std::u16string>& Args, int argc,
                char** argv) {
  const auto wire = [&](TQEMWorkspace& Workspace, TProgressLine& Progress) {
    Workspace.OnRunEnd = [&] {
      Progress.End();
      errno = 0;
      if (!Probe.Quiet() && !Print(stdout, Workspace.ExchangeSummary()))
        Workspace.ShowHLXError(
            Format(SHlxCannotWriteStdout, UTF8ToUTF16(std::strerror(errno ? errno : EIO))));
    };
  };
  return RunWorkspace(Probe, argc, argv, wire,
                      [&](TQEMWorkspace& Workspace) { return Workspace.ExecuteExchange(Args); });
}

// --import-tmx, --export-tmx and --warnings, with an -I or -E run before the last two when one
// is asked for: the workspace's command line run.
int RunCommandLineOps(const THlxCommandLine& Probe, const std::vector<std::u16string>& Args,
                      int argc, char** argv) {
  const auto wire = [&](TQEMWorkspace& Workspace, TProgressLine& Progress) {
    Workspace.OnProgress = [&](int Done, int Total, const std::u16string& File, LCID Locale) {
      Progress.Progress(Done, Total, File, Locale);
    };
    Workspace.OnRunEnd = [&] {
      Progress.End();
      hlx::RunReport report;
      static_cast<TQEMRunReport&>(report) = Workspace.RunReport();
      if (Workspace.LastStats().ProjCount > 0)
        report.Summary = StatsText(Workspace.LastStats()) + u"\n" + std::u16string(STimeElapsed) +
                         Workspace.LastElapsed();
      if (const std::u16string e = PrintSummary(Probe, report); !e.empty())
        Workspace.ShowHLXError(e);
    };
  };
  return RunWorkspace(Probe, argc, argv, wire,
                      [&](TQEMWorkspace& Workspace) { return Workspace.ExecuteCmdLine(Args); });
}

int Run(int argc, char** argv) {
  TimingMark("main");
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(UTF8ToUTF16(argv[i]));
  THlxCommandLine probe;
  if (const int rc = ServeCommandLine(probe, args); rc >= 0) return rc;
  if (probe.ExchangeRun() != THlxExchangeRun::erNone) return RunExchange(probe, args, argc, argv);
  if (probe.TmxRun() || probe.ListWarnings()) return RunCommandLineOps(probe, args, argc, argv);
  return probe.BatchMode() ? RunBatch(probe, argc, argv) : RunDesktop(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
  QEMKeepFreedMemory();
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Print(stderr, Format(SHlxFatal, QEMExceptionMessage(e)));
    return 1;
  }
}
