// A source update of one file of 100,000 items in which 5% changed, 2% went and 2% are new:
// read, merge, notes saved, translated file written, in process through the test package's
// line format. bench/updater-vs-msgmerge.sh runs hlx over a resource-string map of the same
// size as a process per run, against GNU msgmerge on the same strings.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "QEMLibrary.h"
#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "platform/QEMSysUtils.h"
#include "translator/QEMFileTypes.h"
#include "translator/QEMPackages.h"
#include "translator/QEMTranslatorUpdater.h"

namespace fs = std::filesystem;

namespace {

constexpr int kItems = 100000;

std::string Text(int I) {
  return "Text of item " + std::to_string(I) + ", a sentence of moderate length";
}
std::string Id(const char* Prefix, int I) {
  char b[32];
  std::snprintf(b, sizeof b, "%s%06d", Prefix, I);
  return b;
}
bool Changed(int I) {
  return I % 20 == 0;
}
bool Removed(int I) {
  return I % 50 == 1;
}

void WriteSource(const fs::path& P, bool Second) {
  std::ofstream o(P, std::ios::binary);
  for (int i = 0; i < kItems; ++i) {
    if (Second && Removed(i)) continue;
    o << Id("Item", i) << " = \""
      << (Second && Changed(i) ? "Changed text " + std::to_string(i) : Text(i)) << "\"\n";
    if (Second && i % 50 == 2) o << Id("New", i) << " = \"New text " << i << "\"\n";
  }
}

struct TSetup {
  fs::path Dir = fs::temp_directory_path() / ("hlx-updater-bench-" + std::to_string(getpid()));
  IQEMTranslatorUpdaterPtr Updater;
  TQEMPackageManager Packages;

  TSetup() {
    fs::create_directories(Dir / "src");
    fs::create_directories(Dir / "de");
    setenv("HLX_REGISTRY", (Dir / "registry.db").c_str(), 1);
    QEMInitialize();
    Packages.OnError = [](const std::u16string& S) {
      std::fprintf(stderr, "%s\n", UTF16ToUTF8(S).c_str());
    };
    Packages.ProcessLoadTranslator(UTF8ToUTF16(HLX_TEST_PACKAGE));
    const int t = QEMFileTypes().IndexOf(u"HLXLines");
    if (t < 0) std::abort();
    Updater = QEMFileTypes().GetQEMFileType(t)->GetUpdater();
    WriteSource(Dir / "src/big.lines", false);
    Run();
    fs::copy_file(Dir / "de/big.lines.xlf", Dir / "pristine.xlf");
    fs::copy_file(Dir / "de/big.lines", Dir / "pristine.lines");
    const auto stamp = fs::last_write_time(Dir / "src/big.lines");
    WriteSource(Dir / "src/big.lines", true);
    fs::last_write_time(Dir / "src/big.lines", stamp + std::chrono::seconds(10));
  }
  ~TSetup() {
    Updater.reset();
    Packages.UnloadAll();
    QEMFinalize();
    fs::remove_all(Dir);
  }
  void Restore() {
    for (auto [from, to] : {std::pair{"pristine.xlf", "de/big.lines.xlf"},
                            std::pair{"pristine.lines", "de/big.lines"}}) {
      fs::copy_file(Dir / from, Dir / to, fs::copy_options::overwrite_existing);
      fs::last_write_time(Dir / to, fs::last_write_time(Dir / from));
    }
  }
  TStats Run() {
    TStringList files;
    files.Add(UTF8ToUTF16((Dir / "src/big.lines").string()));
    TStats stats;
    Updater->Execute(&files, u"", u"", UTF8ToUTF16((Dir / "src/").string()),
                     UTF8ToUTF16((Dir / "de/").string()), stats, false, 1033, 1031, nullptr, {});
    return stats;
  }
};

void BM_UpdaterSourceRun(benchmark::State& State) {
  static TSetup setup;
  TStats stats;
  for (auto _ : State) {
    State.PauseTiming();
    setup.Restore();
    State.ResumeTiming();
    stats = setup.Run();
  }
  State.counters["new"] = stats.NewCount;
  State.counters["changed"] = stats.ChangedCount;
  State.counters["unchanged"] = stats.UnchangedCount;
  State.counters["unused"] = stats.UnusedCount;
}
BENCHMARK(BM_UpdaterSourceRun)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
