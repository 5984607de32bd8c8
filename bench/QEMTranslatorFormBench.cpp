// Opening a translated file of 100,000 items in the translator-window model, next to opening its
// notes file alone (the model's own work on top of reading the file should stay within 20%), and
// reading every cell of every row once at two sizes (the time per cell should not grow).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "QEMBenchLinesFile.h"
#include "QEMLibrary.h"
#include "editing/QEMTranslatorForm.h"

namespace {

std::filesystem::path gDir;

std::u16string FileFor(int64_t Items) {
  return hlxbench::LinesFileFor(gDir, Items);
}

void BM_NotesOpen(benchmark::State& State) {
  hlxbench::NotesOpen(State, FileFor(State.range(0)));
}

void BM_ModelOpen(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  for (auto _ : State) {
    TQEMTranslatorFormModel form(hlxtest::LinesMgrClass());
    form.LoadFromFile(name, idColCurr, 0);
    benchmark::DoNotOptimize(form.RowCount());
  }
}

void BM_ReadAllCells(benchmark::State& State) {
  TQEMTranslatorFormModel form(hlxtest::LinesMgrClass());
  form.LoadFromFile(FileFor(State.range(0)), idColCurr, 0);
  const int rows = form.RowCount();
  for (auto _ : State) {
    size_t chars = 0;
    for (int row = 0; row < rows; ++row)
      for (int col = 0; col < form.ColumnCount(); ++col)
        chars += form.CellText(row, TQEMAllColId(form.ColToEnum(col))).size();
    benchmark::DoNotOptimize(chars);
  }
  State.SetItemsProcessed(State.iterations() * int64_t(rows) * form.ColumnCount());
}

} // namespace

BENCHMARK(BM_NotesOpen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelOpen)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAllCells)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/hlx-form-bench-XXXXXX";
  gDir = mkdtemp(tmpl);
  setenv("HLX_REGISTRY", (gDir / "registry.db").c_str(), 1);
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QEMFinalize();
  std::filesystem::remove_all(gDir);
  return 0;
}
