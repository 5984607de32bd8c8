// The repository at scale: 1,000,000 records in two languages, loaded, saved and looked up,
// next to pugixml parsing and writing the same file. Memory figures are the resident-size growth
// while the loaded structure is held.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <pugixml.hpp>

#include "QEMBenchRepository.h"
#include "QEMLibrary.h"
#include "core/QEMUtils.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"

namespace {

constexpr int Records = 1000000;
const std::filesystem::path Dir = std::filesystem::temp_directory_path() / "hlx-repository-bench";
const std::filesystem::path File = Dir / "big.tmx";

std::string Original(int I) {
  return "Original text number " + std::to_string(I) + " of the menu";
}

void MakeFile() {
  if (std::filesystem::exists(File)) return;
  std::filesystem::create_directories(Dir);
  std::ofstream f(File, std::ios::binary);
  f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<tmx version=\"1.4\"><header "
       "creationtool=\"bench\"/><body>";
  for (int i = 0; i < Records; ++i)
    f << "<tu><tuv xml:lang=\"en-US\"><seg>" << Original(i)
      << "</seg></tuv><tuv xml:lang=\"de-DE\"><seg>Übersetzter Text " << i << "</seg></tuv></tu>";
  f << "</body></tmx>";
}

long StatusKB(const std::string& Field) {
  std::ifstream s("/proc/self/status");
  std::string line;
  while (std::getline(s, line))
    if (line.rfind(Field, 0) == 0) return std::stol(line.substr(Field.size()));
  return 0;
}

void BM_PugixmlParse(benchmark::State& State) {
  MakeFile();
  for (auto _ : State) {
    const long before = StatusKB("VmRSS:");
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_file(File.c_str()));
    State.counters["MB"] = double(StatusKB("VmRSS:") - before) / 1024;
  }
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PugixmlSave(benchmark::State& State) {
  MakeFile();
  pugi::xml_document doc;
  doc.load_file(File.c_str());
  for (auto _ : State)
    doc.save_file((Dir / "pugi.tmx").c_str(), "", pugi::format_raw);
}
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond)->Iterations(2);

// The XML layer's own load, the floor under the repository's.
void BM_XMLLayerLoad(benchmark::State& State) {
  MakeFile();
  std::ifstream f(File, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  for (auto _ : State) {
    auto doc = CreateNewDocument();
    benchmark::DoNotOptimize(LoadFromBytes(*doc, bytes));
  }
}
BENCHMARK(BM_XMLLayerLoad)->Unit(benchmark::kMillisecond)->Iterations(2);

// From nothing to the first answer: the repository reads the file and answers one look-up,
// beside pugixml parsing the same file, turn about; CPU time.
void BM_LoadToFirstAnswerBesidePugixml(benchmark::State& State) {
  MakeFile();
  double ours = 0, pugi = 0;
  int k = 0;
  TQEMWideStringList list;
  for (auto _ : State) {
    const auto repository = [&] {
      QEMRepositorySetFileName(u"");
      const double t0 = qembench::CpuSeconds();
      QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
      QEMRepositoryGetString(UTF8ToUTF16(Original(Records / 2)), 0x0409, list, 0x0407, u"");
      const double t = qembench::CpuSeconds() - t0;
      ours += t;
      State.SetIterationTime(t);
      if (list.GetCount() != 1) State.SkipWithError("no answer");
    };
    const auto parser = [&] {
      const double t0 = qembench::CpuSeconds();
      {
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_file(File.c_str()));
      }
      pugi += qembench::CpuSeconds() - t0;
    };
    if (k++ % 2 == 0) {
      repository();
      parser();
    } else {
      parser();
      repository();
    }
  }
  QEMRepositorySetFileName(u"");
  const double n = double(State.iterations());
  State.counters["Ours_ms"] = ours / n * 1000;
  State.counters["Pugixml_ms"] = pugi / n * 1000;
  State.counters["Ratio"] = ours / pugi;
}
BENCHMARK(BM_LoadToFirstAnswerBesidePugixml)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(4);

void BM_RepositoryLoad(benchmark::State& State) {
  MakeFile();
  for (auto _ : State) {
    QEMRepositorySetFileName(u"");
    const long before = StatusKB("VmRSS:");
    QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
    State.counters["MB"] = double(StatusKB("VmRSS:") - before) / 1024;
  }
  QEMRepositorySetFileName(u"");
}
BENCHMARK(BM_RepositoryLoad)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RepositorySave(benchmark::State& State) {
  MakeFile();
  QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
  for (auto _ : State)
    QEMRepositorySaveAs(UTF8ToUTF16((Dir / "saved.tmx").string()));
  QEMRepositorySetFileName(u"");
}
BENCHMARK(BM_RepositorySave)->Unit(benchmark::kMillisecond)->Iterations(2);

// Median and 99th percentile of single lookups (hits), as the translator window makes them one
// at a time. Each is timed by the monotonic clock: reading the CPU clock costs more than a
// look-up here.
template <class TText> void TimeLookups(benchmark::State& State, TText Text, LCID From, LCID To) {
  MakeFile();
  QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
  std::mt19937 rnd(7);
  TQEMWideStringList list;
  for (auto _ : State) {
    std::vector<double> us;
    for (int k = 0; k < 20000; ++k) {
      const std::u16string t = UTF8ToUTF16(Text(int(rnd() % Records)));
      const auto t0 = std::chrono::steady_clock::now();
      QEMRepositoryGetString(t, From, list, To, u"");
      us.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    State.counters["median_us"] = us[us.size() / 2];
    State.counters["p99_us"] = us[us.size() * 99 / 100];
  }
  QEMRepositorySetFileName(u"");
}

void BM_RepositoryGetString(benchmark::State& State) {
  TimeLookups(State, Original, 0x0409, 0x0407);
}
BENCHMARK(BM_RepositoryGetString)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same from the translations back: texts beyond ASCII need a collation key each, for the
// records and for every look-up.
void BM_RepositoryGetStringKeyed(benchmark::State& State) {
  TimeLookups(
      State, [](int I) { return "Übersetzter Text " + std::to_string(I); }, 0x0407, 0x0409);
}
BENCHMARK(BM_RepositoryGetStringKeyed)->Unit(benchmark::kMillisecond)->Iterations(1);

// 100,000 new pairs in one batch into the full repository, just loaded: the first add builds
// the originals' index, the end of the batch the translations'.
void BM_RepositoryAddBatch(benchmark::State& State) {
  MakeFile();
  for (auto _ : State) {
    State.PauseTiming();
    QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
    State.ResumeTiming();
    const double t0 = qembench::CpuSeconds();
    QEMRepositoryBeginUpdate();
    for (int i = 0; i < 100000; ++i)
      QEMRepositoryAddString(UTF8ToUTF16("New original " + std::to_string(i)), 0x0409,
                             UTF8ToUTF16("Neu " + std::to_string(i)), 0x0407, u"");
    QEMRepositoryEndUpdate();
    State.counters["us_per_record"] = (qembench::CpuSeconds() - t0) / 100000 * 1e6;
  }
  QEMRepositorySetFileName(u"");
}
BENCHMARK(BM_RepositoryAddBatch)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same into a repository whose two indexes exist already (a look-up in each language
// before the clock starts): the cost of the adds themselves.
void BM_RepositoryAddBatchWarm(benchmark::State& State) {
  MakeFile();
  for (auto _ : State) {
    State.PauseTiming();
    QEMRepositorySetFileName(UTF8ToUTF16(File.string()));
    TQEMWideStringList list;
    QEMRepositoryGetString(UTF8ToUTF16(Original(1)), 0x0409, list, 0x0407, u"");
    QEMRepositoryGetString(u"Übersetzter Text 1", 0x0407, list, 0x0409, u"");
    State.ResumeTiming();
    const double t0 = qembench::CpuSeconds();
    QEMRepositoryBeginUpdate();
    for (int i = 0; i < 100000; ++i)
      QEMRepositoryAddString(UTF8ToUTF16("New original " + std::to_string(i)), 0x0409,
                             UTF8ToUTF16("Neu " + std::to_string(i)), 0x0407, u"");
    QEMRepositoryEndUpdate();
    State.counters["us_per_record"] = (qembench::CpuSeconds() - t0) / 100000 * 1e6;
  }
  QEMRepositorySetFileName(u"");
}
BENCHMARK(BM_RepositoryAddBatchWarm)->Unit(benchmark::kMillisecond)->Iterations(1);

// One unit in N languages: the load must grow with the file, not with the square of its
// languages.
void BM_RepositoryManyLanguages(benchmark::State& State) {
  const int n = int(State.range(0));
  const std::filesystem::path file = Dir / ("langs" + std::to_string(n) + ".tmx");
  {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<tmx version=\"1.4\"><header/><body><tu>";
    for (int i = 0; i < n; ++i)
      f << "<tuv xml:lang=\"x-l" << i << "\"><seg>Text " << i << "</seg></tuv>";
    f << "</tu></body></tmx>";
  }
  for (auto _ : State) {
    QEMRepositorySetFileName(u"");
    QEMRepositorySetFileName(UTF8ToUTF16(file.string()));
  }
  QEMRepositorySetFileName(u"");
  State.SetComplexityN(n);
}
BENCHMARK(BM_RepositoryManyLanguages)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Complexity();

} // namespace

int main(int argc, char** argv) {
  std::filesystem::create_directories(Dir);
  setenv("HLX_REGISTRY", (Dir / "registry.db").c_str(), 1); // never the user's own settings
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("Peak resident size: %ld MB\n", StatusKB("VmHWM:") / 1024);
  QEMFinalize();
  return 0;
}
