// Fuzzy suggestions at 1,000,000 records: a query through the n-gram index beside a scan that
// scores every record, over the same repository in the same run. Two repositories: the
// browser benchmarks' file (one sentence with a number, so every record is alike) and varied
// interface sentences built in memory. Reports query CPU time (median, p99), the index's
// memory and build time, whether the index found the scan's best score, and one concordance
// look-up over the same records.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QEMBenchRepository.h"
#include "QEMLibrary.h"
#include "core/QEMUtils.h"
#include "editing/QEMConcordance.h"
#include "repository/QEMFuzzyIndex.h"
#include "repository/QEMNewRepositoryEngine.h"

namespace {

const std::filesystem::path Dir = std::filesystem::temp_directory_path() / "hlx-fuzzy-bench";
constexpr int kQueries = 300, kScanQueries = 5;
const std::u16string En = u"en-US", De = u"de-DE";

// Words made of syllables, so that the vocabulary is large and the texts differ.
std::vector<std::u16string> Vocabulary() {
  const std::vector<std::u16string> syl = {u"ka", u"lo",  u"mer", u"sin", u"tra", u"vol", u"pe",
                                           u"ri", u"gun", u"dal", u"fe",  u"nor", u"bis", u"que"};
  std::vector<std::u16string> words;
  std::mt19937 rnd(3);
  for (int i = 0; i < 3000; ++i) {
    std::u16string w;
    for (int k = 0, n = 1 + int(rnd() % 3); k < n; ++k)
      w += syl[rnd() % syl.size()];
    words.push_back(w);
  }
  return words;
}

std::u16string Sentence(std::mt19937& Rnd, const std::vector<std::u16string>& Words) {
  std::u16string s;
  for (int k = 0, n = 3 + int(Rnd() % 7); k < n; ++k)
    s += (k ? u" " : u"") + Words[Rnd() % Words.size()];
  return s;
}

std::shared_ptr<TQEMRepository> Varied() {
  auto rep = std::make_shared<TQEMRepository>();
  rep->SetLoaded(true);
  const auto words = Vocabulary();
  std::mt19937 rnd(7);
  rep->BeginUpdate();
  for (int i = 0; i < qembench::RepositoryRecords; ++i) {
    const auto rec = rep->AddRecord();
    rec->SetString(En, Sentence(rnd, words));
    rec->SetString(De, UTF8ToUTF16(std::to_string(i)));
  }
  rep->EndUpdate();
  return rep;
}

std::shared_ptr<TQEMRepository> FromFile() {
  const auto file = Dir / "three.tmx";
  qembench::MakeThreeLanguageTMX(file);
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(UTF8ToUTF16(file.string()));
  return rep;
}

// A record's original with one character changed.
std::vector<std::u16string> Queries(TQEMRepository& Rep, int Count) {
  std::vector<std::u16string> out;
  std::mt19937 rnd(9);
  for (int i = 0; i < Count; ++i) {
    std::u16string t = Rep.GetRecord(int(rnd() % uint32_t(Rep.RecCount())))->GetString(En);
    const size_t at = rnd() % t.size();
    t[at] = t[at] == u'7' ? u'8' : (t[at] == u' ' ? u' ' : u'7');
    out.push_back(t);
  }
  return out;
}

double Percentile(std::vector<double> V, double P) {
  std::sort(V.begin(), V.end());
  return V[std::min(V.size() - 1, size_t(P * double(V.size())))];
}

void Measure(benchmark::State& State, std::shared_ptr<TQEMRepository> (*Make)()) {
  static std::shared_ptr<TQEMRepository> rep;
  rep = Make();
  const auto queries = Queries(*rep, kQueries);
  double t0 = qembench::CpuSeconds();
  const TQEMFuzzyIndex* index = rep->FuzzyIndex(En);
  State.counters["build_s"] = qembench::CpuSeconds() - t0;
  State.counters["index_MB"] = double(index->MemoryBytes()) / (1024.0 * 1024.0);
  for (auto _ : State) {
    std::vector<double> ms;
    size_t found = 0;
    for (const auto& q : queries) {
      t0 = qembench::CpuSeconds();
      const auto m = QEMRepositoryFuzzyFind(*rep, q, En, De, 70);
      ms.push_back((qembench::CpuSeconds() - t0) * 1000.0);
      found += m.empty() ? 0 : 1;
    }
    State.counters["index_median_ms"] = Percentile(ms, 0.5);
    State.counters["index_p99_ms"] = Percentile(ms, 0.99);
    State.counters["with_suggestion_pct"] = 100.0 * double(found) / double(queries.size());
    std::vector<double> scan;
    int same = 0;
    for (int i = 0; i < kScanQueries; ++i) {
      t0 = qembench::CpuSeconds();
      const auto s = QEMRepositoryFuzzyScan(*rep, queries[size_t(i)], En, De, 70);
      scan.push_back((qembench::CpuSeconds() - t0) * 1000.0);
      const auto m = QEMRepositoryFuzzyFind(*rep, queries[size_t(i)], En, De, 70);
      same += (s.empty() && m.empty()) || (!s.empty() && !m.empty() && s[0].Score == m[0].Score);
    }
    State.counters["scan_median_ms"] = Percentile(scan, 0.5);
    // The concordance walks every record when the phrase is rare: one no record holds.
    t0 = qembench::CpuSeconds();
    const auto hits = QEMRepositoryConcordance(*rep, u"nowhere", En, 0x0409, De, 0x0407);
    State.counters["concordance_full_walk_ms"] = (qembench::CpuSeconds() - t0) * 1000.0;
    benchmark::DoNotOptimize(hits);
    State.counters["same_best_of_5"] = same;
  }
  rep.reset();
}

void BM_FuzzyVaried(benchmark::State& State) {
  Measure(State, Varied);
}
void BM_FuzzyAlike(benchmark::State& State) {
  Measure(State, FromFile);
}
BENCHMARK(BM_FuzzyVaried)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FuzzyAlike)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
  std::filesystem::create_directories(Dir);
  setenv("HLX_REGISTRY", (Dir / "registry.db").c_str(), 1); // never the user's own settings
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QEMFinalize();
  return 0;
}
