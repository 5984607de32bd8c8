// Opening a translated file of 100,000 items in the translator window, up to its first rows
// painted, next to opening the file's notes alone: the window should take at most 1.5 times
// as long. Then scrolling the window from top to bottom a page at a time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "QEMBenchLinesFile.h"
#include "QEMLibrary.h"
#include "QEMTranslatorGrid.h"
#include "QEMTranslatorWindow.h"

namespace {

std::filesystem::path gDir;
constexpr int64_t kItems = 100000;

std::u16string FileFor(int64_t Items, int Copy = 0) {
  return hlxbench::LinesFileFor(gDir, Items, Copy);
}

void BM_NotesOpen(benchmark::State& State) {
  hlxbench::NotesOpen(State, FileFor(State.range(0)));
}

// A window made for the file, shown, the file loaded and its first rows painted; and, as with
// the notes alone, everything let go again at the end of the iteration.
void BM_WindowOpen(benchmark::State& State) {
  const std::u16string name = FileFor(State.range(0));
  for (auto _ : State) {
    TQEMTranslatorFormModel model(hlxtest::LinesMgrClass());
    TQEMTranslatorWindow window(model, nullptr);
    window.resize(1000, 700);
    window.show();
    model.LoadFromFile(name, idColCurr, 0);
    window.Grid()->viewport()->repaint();
    benchmark::DoNotOptimize(model.RowCount());
  }
}

// The window of the file type is there with another file: switching loads the new file while
// the old one is still held (a failed load keeps it), so both are in memory for a moment.
void BM_WindowSwitchFile(benchmark::State& State) {
  const std::u16string files[2] = {FileFor(State.range(0), 0), FileFor(State.range(0), 1)};
  TQEMTranslatorFormModel model(hlxtest::LinesMgrClass());
  TQEMTranslatorWindow window(model, nullptr);
  window.resize(1000, 700);
  window.show();
  QApplication::processEvents();
  int next = 0;
  for (auto _ : State) {
    model.LoadFromFile(files[next], idColCurr, 0);
    next = 1 - next;
    window.Grid()->viewport()->repaint();
    benchmark::DoNotOptimize(model.RowCount());
  }
}

void BM_WindowScroll(benchmark::State& State) {
  TQEMTranslatorFormModel model(hlxtest::LinesMgrClass());
  TQEMTranslatorWindow window(model, nullptr);
  window.resize(1000, 700);
  window.show();
  model.LoadFromFile(FileFor(State.range(0)), idColCurr, 0);
  QApplication::processEvents();
  QScrollBar* bar = window.Grid()->verticalScrollBar();
  int64_t pages = 0;
  for (auto _ : State) {
    bar->setValue(0);
    // A hundred pages down, then the last one.
    for (int page = 0; page < 100; ++page) {
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
      window.Grid()->viewport()->repaint();
    }
    bar->setValue(bar->maximum());
    window.Grid()->viewport()->repaint();
    pages += 101;
  }
  State.SetItemsProcessed(pages);
  State.counters["reads/page"] =
      double(window.GridModel().CellReads()) / double(std::max<int64_t>(pages, 1));
}

} // namespace

BENCHMARK(BM_NotesOpen)->Arg(kItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowOpen)->Arg(kItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowSwitchFile)->Arg(kItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowScroll)->Arg(kItems)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/hlx-window-bench-XXXXXX";
  gDir = mkdtemp(tmpl);
  setenv("HLX_REGISTRY", (gDir / "registry.db").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QEMKeepFreedMemory();
  QEMInitialize();
  {
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  QEMFinalize();
  std::filesystem::remove_all(gDir);
  return 0;
}
