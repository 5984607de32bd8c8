// The repository window over 1,000,000 records in three languages, offscreen. "Open" reads the
// file and shows the window with its first rows painted; beside it, in the same iteration, the
// engine reads the same file alone ("Load") and then sorts the first language's records, which
// it leaves until first asked ("Index"); rows in that order are what the window first paints.
// "Ratio" is Open / Load, "RatioWithIndex" Open / (Load + Index), CPU time of the process.
// "Sort" clicks another language's header and paints again: the first time builds that
// language's index, later ones only change the row mapping; "RSSGrowth_MB" (what the clicks
// leave resident: one index of record numbers, 4 MB) shows the records are not copied.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "QEMLibrary.h"
#include "QEMRepositoryGrid.h"
#include "QEMRepositoryWindow.h"
#include "editing/QEMRepositoryFrame.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"

namespace {

constexpr int Records = 1000000;
const std::filesystem::path Dir = std::filesystem::temp_directory_path() / "hlx-window-bench";
const std::filesystem::path File = Dir / "million.tmx";

void MakeFile() {
  if (std::filesystem::exists(File)) return;
  std::filesystem::create_directories(Dir);
  const std::filesystem::path part = Dir / "million.part";
  {
    std::ofstream f(part, std::ios::binary);
    f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<tmx version=\"1.4\"><header "
         "creationtool=\"bench\"/><body>";
    for (int i = 0; i < Records; ++i)
      f << "<tu tuid=\"id" << i << "\"><tuv xml:lang=\"en-US\"><seg>Original text number " << i
        << " of the menu</seg></tuv><tuv xml:lang=\"de-DE\"><seg>Übersetzter Text "
        << (int64_t(i) * 7919) % Records
        << "</seg></tuv><tuv xml:lang=\"fr-FR\"><seg>Texte traduit "
        << (int64_t(i) * 104729) % Records << "</seg></tuv></tu>";
    f << "</body></tmx>";
  }
  std::filesystem::rename(part, File); // a run broken off leaves no half file behind
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long StatusKB(const std::string& Field) {
  std::ifstream s("/proc/self/status");
  std::string line;
  while (std::getline(s, line))
    if (line.rfind(Field, 0) == 0) return std::stol(line.substr(Field.size()));
  return 0;
}

std::shared_ptr<TQEMRepository> Load() {
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(UTF8ToUTF16(File.string()));
  return rep;
}

void Paint(TfrmRepository& W) {
  QApplication::processEvents();
  benchmark::DoNotOptimize(W.grab());
}

void BM_OpenWindowBesideEngineLoad(benchmark::State& State) {
  MakeFile();
  Load(); // the file in the page cache and the allocator grown, for both sides alike
  double load = 0, index = 0, open = 0;
  int k = 0;
  for (auto _ : State) {
    const auto alone = [&] {
      const double t0 = CpuSeconds();
      auto rep = Load();
      const double t1 = CpuSeconds();
      TQEMRepositoryFrame frame(rep);
      benchmark::DoNotOptimize(frame.GetCell(0, 0));
      load += t1 - t0;
      index += CpuSeconds() - t1;
    };
    const auto window = [&] {
      const double t0 = CpuSeconds();
      TfrmRepository w(nullptr, Load());
      w.resize(1000, 700);
      w.show();
      Paint(w);
      const double t = CpuSeconds() - t0;
      open += t;
      State.SetIterationTime(t);
    };
    // Turn about, so neither always runs on memory the other has just given back.
    if (k++ % 2 == 0) {
      alone();
      window();
    } else {
      window();
      alone();
    }
  }
  const double n = double(State.iterations());
  State.counters["Load_ms"] = load / n * 1000;
  State.counters["Open_ms"] = open / n * 1000;
  State.counters["Index_ms"] = index / n * 1000;
  State.counters["Ratio"] = open / load;
  State.counters["RatioWithIndex"] = open / (load + index);
}
BENCHMARK(BM_OpenWindowBesideEngineLoad)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);

struct TOpen {
  TfrmRepository Window{nullptr, Load()};
  TOpen() {
    Window.resize(1000, 700);
    Window.show();
    Paint(Window);
  }
  void ClickHeader(int Col) {
    emit Window.Grid()->horizontalHeader()->sectionClicked(Col);
    Paint(Window);
  }
};

std::unique_ptr<TOpen> gOpen; // released before the library shuts down

// The first click on each other language: its index is built once.
void BM_FirstSortByAnotherLanguage(benchmark::State& State) {
  MakeFile();
  gOpen = std::make_unique<TOpen>();
  const long rss = StatusKB("VmRSS:");
  int col = 1;
  for (auto _ : State)
    gOpen->ClickHeader(col++);
  State.counters["RSSGrowth_MB"] = double(StatusKB("VmRSS:") - rss) / 1024;
}
BENCHMARK(BM_FirstSortByAnotherLanguage)->Unit(benchmark::kMillisecond)->Iterations(2);

// Once the indexes exist, a header click is a change of mapping and a repaint.
void BM_Resort(benchmark::State& State) {
  if (!gOpen) gOpen = std::make_unique<TOpen>();
  const long rss = StatusKB("VmRSS:");
  int k = 0;
  for (auto _ : State)
    gOpen->ClickHeader(k++ % 3);
  State.counters["RSSGrowth_MB"] = double(StatusKB("VmRSS:") - rss) / 1024;
}
BENCHMARK(BM_Resort)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  std::filesystem::create_directories(Dir);
  setenv("HLX_REGISTRY", (Dir / "registry.db").c_str(), 1); // never the user's own settings
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QEMKeepFreedMemory();
  QEMInitialize();
  QEMSetUIServices(std::make_shared<TQEMHeadlessUIServices>([](const std::u16string&) {}));
  int rc = 0;
  {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gOpen.reset();
  }
  std::printf("Peak resident size: %ld MB\n", StatusKB("VmHWM:") / 1024);
  QEMFinalize();
  return rc;
}
