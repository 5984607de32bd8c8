// Opening (header and body) and saving a notes file of 100,000 items, each with a comment and
// one history entry, next to pugixml's own load and save of the same file. Peak
// memory is reported as a counter (maxrss, KiB), the heap an opened file holds per item as
// another, and the two CPU-time ratios to pugixml as a last line.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

#include "QEMLibrary.h"
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"
#include "platform/QEMFiles.h"

namespace {
class TBenchNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".bnt"; }
  std::u16string GetDataType() override { return u"x-bench"; }
};

std::filesystem::path gDir;

IQEMNotesItemPtr BenchItem(TQEMCustomNotesFile& File, int64_t I) {
  auto item = File.CreateNotesItem();
  const std::u16string n = UTF8ToUTF16(std::to_string(I));
  item->SetID(u"Form" + n + u".Caption");
  item->SetOrigText(u"Source text number " + n);
  item->SetXlatText(u"Übersetzter Text Nummer " + n);
  item->SetComment(u"Comment " + n);
  item->SetStatus(rsTranslated);
  return item;
}

std::u16string FileFor(int64_t Items) {
  const std::filesystem::path p = gDir / ("notes-" + std::to_string(Items) + ".bnt");
  const std::u16string name = UTF8ToUTF16(p.string());
  if (std::filesystem::exists(p)) return name;
  TBenchNotesFile f;
  f.GetStats()->SetOrigLCID(1033);
  f.GetStats()->SetXlatLCID(1031);
  f.GetStats()->SetOrigFileName(u"/src/main.ofm");
  for (int64_t i = 0; i < Items; ++i) {
    auto item = BenchItem(f, i);
    item->MoveCurrentToHistory(u"update");
    f.GetItems()->Add(item);
  }
  f.SaveAs(name);
  // Save once more from disk, so the benchmark file has the layout of a loaded-and-saved file.
  TBenchNotesFile g;
  g.Open(name);
  g.Save();
  return name;
}

std::string Bytes(const std::u16string& Name) {
  std::ifstream f(QEMNativePath(Name), std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// CPU seconds per iteration of the last run of each, for the ratios.
double gOpen = 0, gSave = 0, gParse = 0, gSerialise = 0;

double CPUSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void PeakMemory(benchmark::State& State) {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  State.counters["maxrss_KiB"] = double(u.ru_maxrss);
}

void OpenFile(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  {
    // What an opened file with its items holds, document included.
    const size_t before = mallinfo2().uordblks;
    TBenchNotesFile f;
    f.Open(name);
    f.GetItems();
    State.counters["heap_B_per_item"] =
        double(mallinfo2().uordblks - before) / double(State.range(0));
  }
  const double start = CPUSeconds();
  for (auto _ : State) {
    TBenchNotesFile f;
    f.Open(name);
    benchmark::DoNotOptimize(f.GetItems()->Count());
  }
  gOpen = (CPUSeconds() - start) / double(State.iterations());
  PeakMemory(State);
}

void BM_NotesOpen(benchmark::State& State) {
  OpenFile(State);
}

// The same file read through the XML document instead of the scan of our own layout.
void BM_NotesOpenByDocument(benchmark::State& State) {
  notesdetail::ScanOwnBodies = false;
  OpenFile(State);
  notesdetail::ScanOwnBodies = true;
}

// What an unchanged run pays per file: the header alone.
void BM_NotesHeader(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  for (auto _ : State) {
    TBenchNotesFile f;
    f.Open(name);
    benchmark::DoNotOptimize(f.GetStats()->GetOrigDateTime());
  }
}

void BM_NotesSave(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  TBenchNotesFile f;
  f.Open(name);
  f.GetItems();
  const double start = CPUSeconds();
  for (auto _ : State)
    f.Save();
  gSave = (CPUSeconds() - start) / double(State.iterations());
  PeakMemory(State);
}

// A notes file written for the first time (no file opened), as a first run of a project does:
// the second argument 1 streams it, 0 builds the document first. Each variant is best run in a
// process of its own (--benchmark_filter), as maxrss only grows; save_peak_KiB is what the
// save added to the peak over the items held.
class TNewNotesFile : public TBenchNotesFile {
public:
  explicit TNewNotesFile(IQEMNotesItemsPtr Items) {
    FItems = std::move(Items);
    FStats->SetOrigLCID(1033);
    FStats->SetXlatLCID(1031);
    FStats->SetOrigFileName(u"/src/main.ofm");
  }
};

void BM_NotesSaveNew(benchmark::State& State) {
  auto items = TBenchNotesFile().GetItems();
  TBenchNotesFile maker;
  for (int64_t i = 0; i < State.range(0); ++i)
    items->Add(BenchItem(maker, i));
  notesdetail::StreamNewNotes = State.range(1) != 0;
  const std::u16string name = UTF8ToUTF16((gDir / "new.bnt").string());
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : State) {
    TNewNotesFile f(items);
    f.SaveAs(name);
  }
  notesdetail::StreamNewNotes = true;
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  State.counters["save_peak_KiB"] = double(after.ru_maxrss - before.ru_maxrss);
  PeakMemory(State);
}

// pugixml's own load of the file, reading included, as an open reads it.
void BM_PugixmlParse(benchmark::State& State) {
  const std::string path = QEMNativePath(FileFor(State.range(0)));
  {
    // The document alone, for comparison with what an opened notes file holds.
    const size_t before = mallinfo2().uordblks;
    pugi::xml_document d;
    d.load_file(path.c_str());
    State.counters["heap_B_per_item"] =
        double(mallinfo2().uordblks - before) / double(State.range(0));
  }
  const double start = CPUSeconds();
  for (auto _ : State) {
    pugi::xml_document d;
    benchmark::DoNotOptimize(d.load_file(path.c_str()));
  }
  gParse = (CPUSeconds() - start) / double(State.iterations());
}

void BM_PugixmlSave(benchmark::State& State) {
  const std::string bytes = Bytes(FileFor(State.range(0)));
  pugi::xml_document d;
  d.load_buffer(bytes.data(), bytes.size());
  const std::string out = (gDir / "pugi.xml").string();
  const double start = CPUSeconds();
  for (auto _ : State)
    d.save_file(out.c_str(), "", pugi::format_raw);
  gSerialise = (CPUSeconds() - start) / double(State.iterations());
}
} // namespace

BENCHMARK(BM_NotesOpen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesOpenByDocument)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesHeader)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NotesSave)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesSaveNew)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlSave)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // A folder shared by several runs (HLX_NOTES_BENCH_DIR) is made once and kept, so that a
  // run measuring the peer alone has not built the file's items on its heap first.
  char tmpl[] = "/tmp/hlx-notes-bench-XXXXXX";
  const char* shared = std::getenv("HLX_NOTES_BENCH_DIR");
  gDir = shared ? shared : mkdtemp(tmpl);
  std::filesystem::create_directories(gDir);
  setenv("HLX_REGISTRY", (gDir / "registry.db").c_str(), 1);
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (gOpen > 0 && gParse > 0) std::printf("open / pugixml parse: %.2fx\n", gOpen / gParse);
  if (gSave > 0 && gSerialise > 0) std::printf("save / pugixml save: %.2fx\n", gSave / gSerialise);
  benchmark::Shutdown();
  QEMFinalize();
  if (!shared) std::filesystem::remove_all(gDir);
  return 0;
}
