// The repository browser over 1,000,000 records in three languages: opening it beside the
// engine's own load of the same file ("Ratio", CPU time), sorting by another language and
// reading the first screen of cells after it. Sorting copies no records: rows are read through
// the engine's index. "RSS_MB" is the resident size after the first sort, repository included;
// "PeakGrowth_MB" how far the sort raised the peak over the load's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "QEMBenchRepository.h"
#include "QEMLibrary.h"
#include "core/QEMUtils.h"
#include "editing/QEMRepositoryFrame.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"

namespace {

constexpr int Records = 1000000;
constexpr int ScreenRows = 40;
const std::filesystem::path Dir = std::filesystem::temp_directory_path() / "hlx-frame-bench";
const std::filesystem::path File = Dir / "three.tmx";

void MakeFile() {
  qembench::MakeThreeLanguageTMX(File);
}

long StatusKB(const std::string& Field) {
  std::ifstream s("/proc/self/status");
  std::string line;
  while (std::getline(s, line))
    if (line.rfind(Field, 0) == 0) return std::stol(line.substr(Field.size()));
  return 0;
}

std::shared_ptr<TQEMRepository> Load() {
  MakeFile();
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(UTF8ToUTF16(File.string()));
  return rep;
}

size_t ReadScreen(const TQEMRepositoryFrame& Frame, int FirstRow) {
  size_t chars = 0;
  for (int r = FirstRow; r < FirstRow + ScreenRows; ++r)
    for (int c = 0; c < Frame.ColCount(); ++c)
      chars += Frame.GetCell(c, r).size();
  return chars;
}

// The browser opened on a file beside the engine reading the same file alone, turn about.
void BM_OpenBesideEngineLoad(benchmark::State& State) {
  Load(); // the file in the page cache and the allocator grown, for both sides alike
  double load = 0, open = 0;
  int k = 0;
  for (auto _ : State) {
    const auto alone = [&] {
      const double t0 = qembench::CpuSeconds();
      benchmark::DoNotOptimize(Load());
      load += qembench::CpuSeconds() - t0;
    };
    const auto browser = [&] {
      const double t0 = qembench::CpuSeconds();
      TQEMRepositoryFrame frame(Load());
      benchmark::DoNotOptimize(ReadScreen(frame, 0));
      const double t = qembench::CpuSeconds() - t0;
      open += t;
      State.SetIterationTime(t);
    };
    if (k++ % 2 == 0) {
      alone();
      browser();
    } else {
      browser();
      alone();
    }
  }
  const double n = double(State.iterations());
  State.counters["Load_ms"] = load / n * 1000;
  State.counters["Open_ms"] = open / n * 1000;
  State.counters["Ratio"] = open / load;
}
BENCHMARK(BM_OpenBesideEngineLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

// The first sort by another language after opening (its index comes with the load).
void BM_FirstSortByAnotherLanguage(benchmark::State& State) {
  for (auto _ : State) {
    State.PauseTiming();
    auto rep = Load();
    TQEMRepositoryFrame frame(rep);
    ReadScreen(frame, 0); // the originals' index, as the window opens
    const long peak = StatusKB("VmHWM:");
    State.ResumeTiming();
    frame.SortBy(1, TQEMSortDirection::sdAscending);
    benchmark::DoNotOptimize(ReadScreen(frame, 0));
    State.PauseTiming();
    State.counters["RSS_MB"] = double(StatusKB("VmRSS:")) / 1024;
    State.counters["PeakGrowth_MB"] = double(StatusKB("VmHWM:") - peak) / 1024;
    State.ResumeTiming();
  }
}
BENCHMARK(BM_FirstSortByAnotherLanguage)->Unit(benchmark::kMillisecond)->Iterations(2);

struct TLoaded {
  std::shared_ptr<TQEMRepository> Rep = Load();
  TQEMRepositoryFrame Frame{Rep};
  TLoaded() {
    for (int c = 0; c < Frame.ColCount(); ++c)
      Frame.SortBy(c, TQEMSortDirection::sdAscending);
  }
};

std::unique_ptr<TLoaded> gLoaded; // released before the library shuts down

TLoaded& Loaded() {
  if (!gLoaded) gLoaded = std::make_unique<TLoaded>();
  return *gLoaded;
}

// Once every index exists, a sort is a change of mapping: the first screen is what it costs.
void BM_ResortAndReadFirstScreen(benchmark::State& State) {
  auto& f = Loaded().Frame;
  int k = 0;
  for (auto _ : State) {
    const int col = k % f.ColCount();
    f.SortBy(col, (k / f.ColCount()) % 2 ? TQEMSortDirection::sdDescending
                                         : TQEMSortDirection::sdAscending);
    benchmark::DoNotOptimize(ReadScreen(f, 0));
    ++k;
  }
}
BENCHMARK(BM_ResortAndReadFirstScreen)->Unit(benchmark::kMicrosecond);

// Scrolling anywhere in a descending sort.
void BM_ReadScreenAnywhere(benchmark::State& State) {
  auto& f = Loaded().Frame;
  f.SortBy(2, TQEMSortDirection::sdDescending);
  std::mt19937 rnd(7);
  for (auto _ : State)
    benchmark::DoNotOptimize(ReadScreen(f, int(rnd() % (Records - ScreenRows))));
}
BENCHMARK(BM_ReadScreenAnywhere)->Unit(benchmark::kMicrosecond);

// An edit in the sort column moves its row; the current cell follows.
void BM_EditSortColumn(benchmark::State& State) {
  auto& f = Loaded().Frame;
  f.SortBy(1, TQEMSortDirection::sdAscending);
  std::mt19937 rnd(11);
  int k = 0;
  for (auto _ : State) {
    const int row = int(rnd() % Records);
    f.SetCurrent(1, row);
    f.SetCell(1, row, UTF8ToUTF16("Bearbeitet " + std::to_string(k++)));
  }
}
BENCHMARK(BM_EditSortColumn)->Unit(benchmark::kMicrosecond);

// The worst find: three million cells, nothing there.
void BM_FindNothing(benchmark::State& State) {
  auto& f = Loaded().Frame;
  TQEMRepositoryFindOptions o;
  o.Text = u"not in any cell";
  for (auto _ : State) {
    f.SetCurrent(0, 0);
    benchmark::DoNotOptimize(f.Find(o));
  }
}
BENCHMARK(BM_FindNothing)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
  std::filesystem::create_directories(Dir);
  setenv("HLX_REGISTRY", (Dir / "registry.db").c_str(), 1); // never the user's own settings
  QEMKeepFreedMemory();
  QEMInitialize();
  QEMSetUIServices(std::make_shared<TQEMHeadlessUIServices>([](const std::u16string&) {}));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  gLoaded.reset();
  std::printf("Peak resident size: %ld MB\n", StatusKB("VmHWM:") / 1024);
  QEMFinalize();
  return 0;
}
