// Find over all ten columns of a file of 100,000 items (ignoring case, whole words), beside a
// plain byte search (memmem) for the pattern's UTF-16 bytes over the same column texts, and
// beside the comparison at every position that defines the search's result.
#include <benchmark/benchmark.h>

#include <string.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QEMLibrary.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "notes/QEMNotes.h"
#include "platform/QEMDateTime.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

constexpr int kItems = 100000;
constexpr LCID kOrig = 1033, kXlat = 1031;
const std::u16string kPattern = u"file";

class TBenchNotesFile : public TQEMCustomNotesFile {
public:
  static std::u16string ClassExts() { return u".bsn"; }
  std::u16string GetExts() const override { return ClassExts(); }
  std::u16string GetDataType() override { return u"x-bench"; }
};

class TBenchMgrClass : public TQEMTranslatorMgrClass {
public:
  std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string&, bool) const override;
  const TQEMBaseNotesFileClass& GetNotesClass() const override {
    static const TQEMNotesFileClassOf<TBenchNotesFile> notesClass;
    return notesClass;
  }
};

// Items in memory only: nothing is read or written.
class TBenchMgr : public TQEMTranslatorMgr {
public:
  explicit TBenchMgr(const TQEMTranslatorMgrClass& AClass) : TQEMTranslatorMgr(AClass) {}
  void Reload() override {}
  void CheckStats() override {}
  void EggBuild() override {}
  void MakeDictionary(TStringList&) override {}
  void Purge() override {}
  void Save(bool, LCID, LCID, bool) override {}
};

std::unique_ptr<TQEMTranslatorMgr> TBenchMgrClass::Create(const std::u16string&, bool) const {
  return std::make_unique<TBenchMgr>(*this);
}

const std::vector<std::u16string> kEnglish = {
    u"Open",    u"&Save",  u"file",   u"Files", u"profile", u"the",     u"settings", u"Print",
    u"window",  u"Cancel", u"name",   u"of",    u"a",       u"Filter",  u"E&xit",    u"record",
    u"Options", u"folder", u"cannot", u"be",    u"found",   u"Replace", u"all",      u"text"};
const std::vector<std::u16string> kGerman = {
    u"\u00d6ffnen",   u"&Speichern", u"Datei",    u"Dateien",   u"Profil",   u"die",
    u"Einstellungen", u"Drucken",    u"Fenster",  u"Abbrechen", u"Name",     u"der",
    u"ein",           u"Filter",     u"B&eenden", u"Datensatz", u"Optionen", u"Ordner",
    u"kann",          u"nicht",      u"gefunden", u"Ersetzen",  u"alle",     u"Text"};

std::u16string Sentence(std::mt19937& Random, const std::vector<std::u16string>& Words) {
  std::u16string s;
  for (int k = 0, n = 2 + int(Random() % 5); k < n; ++k) {
    if (k) s += u' ';
    s += Words[Random() % Words.size()];
  }
  return s;
}

struct TData {
  std::unique_ptr<TQEMTranslatorMgr> Mgr;
  std::vector<std::u16string> Texts; // the nine column texts of every item
  std::vector<LCID> Locales;         // the language each text is compared under
};

const TData& Data() {
  static TData data = [] {
    static const TBenchMgrClass mgrClass;
    TData d;
    d.Mgr = mgrClass.Create(u"", false);
    std::mt19937 random(7);
    const TDateTime base = EncodeDateTime(2023, 5, 1, 9, 0, 0);
    const auto items = d.Mgr->Items();
    for (int i = 0; i < kItems; ++i) {
      auto item = d.Mgr->NotesFile()->CreateNotesItem();
      item->SetID(u"Form" + UTF8ToUTF16(std::to_string(i / 40)) + u".Control" +
                  UTF8ToUTF16(std::to_string(i % 40)) + u".Caption");
      item->SetOrigText(Sentence(random, kEnglish));
      item->SetXlatText(Sentence(random, kGerman));
      item->SetStatus(TResStatus(random() % QEMStatusCount));
      // Items come in with updates, so creation times repeat; edits spread modifications.
      item->SetCreated(base + (i / 2000));
      if (random() % 3 == 0) item->SetModified(base + 40 + (random() % 500000) / 86400.0);
      if (random() % 4 == 0)
        item->AddPrev(Sentence(random, kEnglish), Sentence(random, kGerman), u"");
      if (random() % 5 == 0) item->SetComment(Sentence(random, kEnglish));
      items->Add(item);
    }
    const LCID other = QEMUserDefaultLCID();
    for (int i = 0; i < kItems; ++i) {
      const auto item = items->Get(i);
      for (int c = idColId; c <= idColComment; ++c) {
        d.Texts.push_back(QEMItemColumnText(*item, TQEMAllColId(c)));
        d.Locales.push_back(c == idColOrig || c == idColPrevOrig   ? kOrig
                            : c == idColCurr || c == idColPrevCurr ? kXlat
                                                                   : other);
      }
    }
    return d;
  }();
  return data;
}

void BM_Find(benchmark::State& State) {
  const TData& d = Data();
  TQEMTranslatorMgr& mgr = *d.Mgr;
  auto& s = mgr.SearchSettings();
  s.Pattern = kPattern;
  s.Columns = {};
  s.CaseSensitive = false;
  s.WholeWordsOnly = State.range(0) != 0;
  s.OrigLCID = kOrig;
  s.XlatLCID = kXlat;
  int64_t found = 0;
  mgr.OnSearchFound = [&](void*, const std::u16string&, const std::u16string&,
                          const std::u16string&, int32_t, int32_t, int32_t, int32_t, LCID, LCID,
                          bool&) { ++found; };
  int32_t count = 0;
  for (auto _ : State)
    count = mgr.Search();
  benchmark::DoNotOptimize(found);
  State.counters["matches"] = count;
}

void BM_Memmem(benchmark::State& State) {
  const TData& d = Data();
  const size_t bytes = kPattern.size() * sizeof(char16_t);
  int64_t count = 0;
  for (auto _ : State) {
    count = 0;
    for (const auto& t : d.Texts) {
      const char* begin = reinterpret_cast<const char*>(t.data());
      const char* end = begin + t.size() * sizeof(char16_t);
      for (const char* p = begin; p < end;) {
        const void* hit = memmem(p, size_t(end - p), kPattern.data(), bytes);
        if (!hit) break;
        const char* h = static_cast<const char*>(hit);
        if ((h - begin) % 2 == 0) ++count;
        p = h + 1;
      }
    }
    benchmark::DoNotOptimize(count);
  }
  State.counters["matches"] = double(count);
}

// The matching alone, over the texts memmem searches.
void BM_Matcher(benchmark::State& State) {
  const TData& d = Data();
  const bool whole = State.range(0) != 0;
  const TQEMSearchMatcher orig(kPattern, kOrig, false, whole), xlat(kPattern, kXlat, false, whole),
      other(kPattern, QEMUserDefaultLCID(), false, whole);
  std::vector<int32_t> positions;
  int64_t count = 0;
  for (auto _ : State) {
    count = 0;
    for (size_t i = 0; i < d.Texts.size(); ++i) {
      positions.clear();
      const LCID l = d.Locales[i];
      (l == kOrig ? orig : l == kXlat ? xlat : other).FindAll(d.Texts[i], positions);
      count += int64_t(positions.size());
    }
  }
  State.counters["matches"] = double(count);
}

// The definition: the locale-aware comparison at every position of every text.
void BM_Straightforward(benchmark::State& State) {
  const TData& d = Data();
  const int m = int(kPattern.size());
  const bool whole = State.range(0) != 0;
  int64_t count = 0;
  for (auto _ : State) {
    count = 0;
    for (size_t i = 0; i < d.Texts.size(); ++i) {
      const std::u16string& t = d.Texts[i];
      for (int p = 0; p + m <= int(t.size()); ++p)
        if (QEMCompareStringW(d.Locales[i], NORM_IGNORECASE, kPattern.data(), m, t.data() + p, m) ==
                CSTR_EQUAL &&
            (!whole || IsWholeWordW(t, p, p + m + 1)))
          ++count;
    }
  }
  State.counters["matches"] = double(count);
}

} // namespace

BENCHMARK(BM_Find)->ArgName("whole")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Matcher)->ArgName("whole")->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Straightforward)
    ->ArgName("whole")
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/hlx-search-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  setenv("HLX_REGISTRY", (dir / "registry.db").c_str(), 1);
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QEMFinalize();
  std::filesystem::remove_all(dir);
  return 0;
}
