// Opening (header and body) and saving a notes file of 100,000 items, each with a comment and
// one history entry, next to pugixml's own parse and serialisation of the same bytes. Peak
// memory is reported as a counter (maxrss, KiB).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

#include "QEMLibrary.h"
#include "notes/QEMNotes.h"
#include "platform/QEMFiles.h"

namespace {
class TBenchNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".bnt"; }
  std::u16string GetDataType() override { return u"x-bench"; }
};

std::filesystem::path gDir;

std::u16string FileFor(int64_t Items) {
  const std::filesystem::path p = gDir / ("notes-" + std::to_string(Items) + ".bnt");
  const std::u16string name = UTF8ToUTF16(p.string());
  if (std::filesystem::exists(p)) return name;
  TBenchNotesFile f;
  f.GetStats()->SetOrigLCID(1033);
  f.GetStats()->SetXlatLCID(1031);
  f.GetStats()->SetOrigFileName(u"/src/main.ofm");
  for (int64_t i = 0; i < Items; ++i) {
    auto item = f.CreateNotesItem();
    const std::u16string n = UTF8ToUTF16(std::to_string(i));
    item->SetID(u"Form" + n + u".Caption");
    item->SetOrigText(u"Source text number " + n);
    item->SetXlatText(u"Übersetzter Text Nummer " + n);
    item->SetComment(u"Comment " + n);
    item->SetStatus(rsTranslated);
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

void PeakMemory(benchmark::State& State) {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  State.counters["maxrss_KiB"] = double(u.ru_maxrss);
}

void BM_NotesOpen(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  for (auto _ : State) {
    TBenchNotesFile f;
    f.Open(name);
    benchmark::DoNotOptimize(f.GetItems()->Count());
  }
  PeakMemory(State);
}

void BM_NotesSave(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  TBenchNotesFile f;
  f.Open(name);
  f.GetItems();
  for (auto _ : State)
    f.Save();
  PeakMemory(State);
}

void BM_PugixmlParse(benchmark::State& State) {
  const std::string bytes = Bytes(FileFor(State.range(0)));
  for (auto _ : State) {
    pugi::xml_document d;
    benchmark::DoNotOptimize(d.load_buffer(bytes.data(), bytes.size()));
  }
}

void BM_PugixmlSave(benchmark::State& State) {
  const std::string bytes = Bytes(FileFor(State.range(0)));
  pugi::xml_document d;
  d.load_buffer(bytes.data(), bytes.size());
  const std::string out = (gDir / "pugi.xml").string();
  for (auto _ : State)
    d.save_file(out.c_str(), "", pugi::format_raw);
}
} // namespace

BENCHMARK(BM_NotesOpen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesSave)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlParse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlSave)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/hlx-notes-bench-XXXXXX";
  gDir = mkdtemp(tmpl);
  setenv("HLX_REGISTRY", (gDir / "registry.db").c_str(), 1);
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QEMFinalize();
  std::filesystem::remove_all(gDir);
  return 0;
}
