// The translated file of the translator-window benchmarks and the baseline they are held
// against: opening its notes file alone.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "HLXLines.h"
#include "platform/QEMFiles.h"

namespace hlxbench {

// A translated file of the line format with its notes beside it, made once in Dir. Half the
// items are translated, each has a comment and one history entry. Copy names a second file of
// the same content.
inline std::u16string LinesFileFor(const std::filesystem::path& Dir, int64_t Items, int Copy = 0) {
  const std::filesystem::path p =
      Dir / ("items-" + std::to_string(Items) + "-" + std::to_string(Copy) + ".lines");
  const std::u16string name = UTF8ToUTF16(p.string());
  if (std::filesystem::exists(p)) return name;
  {
    std::ofstream out(p, std::ios::binary);
    for (int64_t i = 0; i < Items; ++i)
      out << "k" << i << " = \"Übersetzter Text Nummer " << i << "\"\n";
  }
  auto mgr = hlxtest::LinesMgrClass().Create(name, false);
  mgr->Stats()->SetOrigLCID(1033);
  mgr->Stats()->SetXlatLCID(1031);
  for (int64_t i = 0; i < Items; ++i) {
    auto item = mgr->NotesFile()->CreateNotesItem();
    const std::u16string n = UTF8ToUTF16(std::to_string(i));
    item->SetID(u"k" + n);
    item->SetOrigText(u"Source text number " + n);
    item->SetXlatText(u"Übersetzter Text Nummer " + n);
    item->SetComment(u"Comment " + n);
    item->MoveCurrentToHistory(u"update");
    item->SetStatus(i % 2 ? rsTranslated : rsUnTranslated);
    mgr->Items()->Add(item);
  }
  mgr->Save(false, 0, 0, false);
  return name;
}

inline void NotesOpen(benchmark::State& State, const std::u16string& File) {
  const std::u16string name = File + u".xlf";
  for (auto _ : State) {
    hlxtest::TLinesNotesFile f;
    f.Open(name);
    benchmark::DoNotOptimize(f.GetItems()->Count());
  }
}

} // namespace hlxbench
