// A source update of one file of 100,000 items in which 5% changed, 2% went and 2% are new:
// read, merge, notes saved, translated file written. bench/updater-vs-msgmerge.sh runs it and
// GNU msgmerge on a catalogue of the same strings.
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

std::string PoString(const std::string& S) {
  return "\"" + S + "\"";
}

// The same strings as a translated catalogue of the first version and a template of the second.
void WritePo(const fs::path& Dir) {
  std::ofstream def(Dir / "def.po", std::ios::binary), ref(Dir / "ref.pot", std::ios::binary);
  const char* head = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
  def << head;
  ref << head;
  for (int i = 0; i < kItems; ++i) {
    def << "msgctxt " << PoString(Id("Item", i)) << "\nmsgid " << PoString(Text(i)) << "\nmsgstr "
        << PoString("Übersetzung " + std::to_string(i)) << "\n\n";
    if (Removed(i)) continue;
    ref << "msgctxt " << PoString(Id("Item", i)) << "\nmsgid "
        << PoString(Changed(i) ? "Changed text " + std::to_string(i) : Text(i))
        << "\nmsgstr \"\"\n\n";
    if (i % 50 == 2)
      ref << "msgctxt " << PoString(Id("New", i)) << "\nmsgid "
          << PoString("New text " + std::to_string(i)) << "\nmsgstr \"\"\n\n";
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
    if (const char* po = std::getenv("HLX_BENCH_PO_DIR")) WritePo(po);
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
