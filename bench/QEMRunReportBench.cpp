// The statistics a build server asks for (-O) over a run of 100,000 files, and the parsing of a
// command line. Run: build with -DHLX_BUILD_BENCH=ON, then bin/QEMRunReportBench.
#include <benchmark/benchmark.h>

#include "core/QEMIntlUtils.h"
#include "platform/QEMSysUtils.h"
#include "translator/QEMStats.h"
#include "workspace/QEMCommandLine.h"

namespace {

TQEMRunReport MakeReport(int Files) {
  TQEMRunReport r;
  r.Projects = 1;
  r.Languages = 3;
  const LCID locales[] = {0x0407, 0x040C, 0x0411};
  for (int i = 0; i < Files; ++i) {
    TQEMRunFile f;
    f.Project = u"demo.hlx";
    f.Locale = locales[i % 3];
    f.FileType = u"OFM";
    f.Source = u"/work/project/src/Form" + UTF8ToUTF16(std::to_string(i)) + u".ofm";
    f.File = u"/work/project/de/src/Form" + UTF8ToUTF16(std::to_string(i)) + u".ofm";
    f.Status = i % 50 == 0 ? TQEMFileStatus::fsFailed : TQEMFileStatus::fsOk;
    if (f.Status == TQEMFileStatus::fsFailed) f.Message = u"File not found: " + f.Source;
    f.Items.NewCount = 12;
    f.Counts = TFileStats{};
    f.Counts->Translated = 5;
    f.Counts->UnTranslated = 7;
    r.Files.push_back(std::move(f));
  }
  return r;
}

} // namespace

static void BM_RunReportJson(benchmark::State& State) {
  QEMIntlUtilsInitialize();
  const TQEMRunReport r = MakeReport(int(State.range(0)));
  size_t bytes = 0;
  for (auto _ : State) {
    const std::string json = QEMRunReportJson(r, true);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  State.counters["bytes"] = double(bytes);
  QEMIntlUtilsFinalize();
}
BENCHMARK(BM_RunReportJson)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

static void BM_RunReportText(benchmark::State& State) {
  QEMIntlUtilsInitialize();
  const TQEMRunReport r = MakeReport(int(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(QEMRunReportText(r));
  QEMIntlUtilsFinalize();
}
BENCHMARK(BM_RunReportText)->Arg(100000)->Unit(benchmark::kMillisecond);

static void BM_ParseCmdLine(benchmark::State& State) {
  const std::vector<std::u16string> args{u"-I",      u"--log=/tmp/run.log", u"-O",
                                         u"-",       u"--repository",       u"/tmp/memory.tmx",
                                         u"--quiet", u"/tmp/project.hlx"};
  for (auto _ : State) {
    THlxCommandLine c;
    c.ParseCmdLine(args);
    benchmark::DoNotOptimize(c.FileName().size());
  }
}
BENCHMARK(BM_ParseCmdLine)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
