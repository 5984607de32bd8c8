#include "repository/QEMFuzzyIndex.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "repository/QEMNewRepositoryEngine.h"

namespace {

struct TToken {
  int32_t Start, Length;
};

bool IsWordUnit(char16_t C) {
  return (C >= 0xD800 && C <= 0xDFFF) || u_isalnum(C) || C == u'_';
}

bool IsSpaceUnit(char16_t C) {
  return C == u' ' || C == u'\t' || C == u'\r' || C == u'\n' || u_isspace(C);
}

// Words, and every other character but white space on its own.
std::vector<TToken> Tokens(std::u16string_view S) {
  std::vector<TToken> out;
  for (size_t i = 0; i < S.size();) {
    if (IsSpaceUnit(S[i])) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    if (IsWordUnit(S[i]))
      while (j < S.size() && IsWordUnit(S[j]))
        ++j;
    out.push_back({int32_t(i), int32_t(j - i)});
    i = j;
  }
  return out;
}

// Levenshtein distance over two sequences; stops at Limit + 1 once no path can stay within it.
template <class Eq> size_t EditDistance(size_t N, size_t M, size_t Limit, Eq&& Same) {
  if (N < M ? M - N > Limit : N - M > Limit) return Limit + 1;
  std::vector<size_t> prev(M + 1), cur(M + 1);
  for (size_t j = 0; j <= M; ++j)
    prev[j] = j;
  for (size_t i = 1; i <= N; ++i) {
    cur[0] = i;
    size_t best = cur[0];
    for (size_t j = 1; j <= M; ++j) {
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (Same(i - 1, j - 1) ? 0 : 1)});
      best = std::min(best, cur[j]);
    }
    if (best > Limit) return Limit + 1;
    std::swap(prev, cur);
  }
  return prev[M];
}

double Part(size_t Distance, size_t Longer) {
  return Longer == 0 ? 100.0 : 100.0 * (1.0 - double(Distance) / double(Longer));
}

// The least character similarity a text can have and still reach Threshold overall.
double MinCharPart(int Threshold) {
  return std::max(0.0, (3.0 * Threshold - 100.0) / 2.0);
}

int Score(std::u16string_view A, std::u16string_view B, int Threshold) {
  if (A == B) return 100;
  const size_t longer = std::max(A.size(), B.size());
  const auto limit = size_t(std::floor(double(longer) * (100.0 - MinCharPart(Threshold)) / 100.0));
  const size_t dc =
      EditDistance(A.size(), B.size(), limit, [&](size_t i, size_t j) { return A[i] == B[j]; });
  if (dc > limit) return 0;
  const std::vector<TToken> ta = Tokens(A), tb = Tokens(B);
  const auto word = [&](const TToken& T, std::u16string_view S) {
    return S.substr(size_t(T.Start), size_t(T.Length));
  };
  const size_t dw =
      EditDistance(ta.size(), tb.size(), std::max(ta.size(), tb.size()),
                   [&](size_t i, size_t j) { return word(ta[i], A) == word(tb[j], B); });
  const double s = (2.0 * Part(dc, longer) + Part(dw, std::max(ta.size(), tb.size()))) / 3.0;
  return std::min(99, int(std::lround(s)));
}

char16_t Fold(char16_t C) {
  return C < 0x80 ? (C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C) : char16_t(u_tolower(C));
}

// The text's trigrams, each once, over the text padded with a blank either side.
std::vector<uint64_t> Grams(std::u16string_view Text) {
  std::vector<uint64_t> out;
  if (Text.empty()) return out;
  std::u16string t;
  t.reserve(Text.size() + 2);
  t += u' ';
  for (const char16_t c : Text)
    t += Fold(c);
  t += u' ';
  out.reserve(t.size() - 2);
  for (size_t i = 0; i + 2 < t.size(); ++i)
    out.push_back(uint64_t(t[i]) << 32 | uint64_t(t[i + 1]) << 16 | t[i + 2]);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

// Below this many records every gram is kept; above it a gram in more than an eighth of the
// records narrows nothing and costs most of a query's time.
constexpr uint32_t CommonGramFloor = 50000;

} // namespace

int QEMFuzzySimilarity(std::u16string_view A, std::u16string_view B) {
  return Score(A, B, 0);
}

std::vector<TQEMFuzzyRange> QEMFuzzyDifferences(std::u16string_view Text,
                                                std::u16string_view Current) {
  const std::vector<TToken> ta = Tokens(Text), tb = Tokens(Current);
  const size_t n = ta.size(), m = tb.size();
  const auto same = [&](size_t i, size_t j) {
    return Text.substr(size_t(ta[i].Start), size_t(ta[i].Length)) ==
           Current.substr(size_t(tb[j].Start), size_t(tb[j].Length));
  };
  std::vector<std::vector<uint32_t>> d(n + 1, std::vector<uint32_t>(m + 1));
  for (size_t i = 0; i <= n; ++i)
    d[i][0] = uint32_t(i);
  for (size_t j = 0; j <= m; ++j)
    d[0][j] = uint32_t(j);
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j)
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0u : 1u)});
  // Back from the end: the tokens of Text that are not kept, and the places of dropped ones.
  std::vector<bool> changed(n, false);
  std::set<int32_t> gaps;
  for (size_t i = n, j = m; i > 0 || j > 0;) {
    if (i > 0 && j > 0 && d[i][j] == d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0u : 1u)) {
      changed[i - 1] = !same(i - 1, j - 1);
      --i, --j;
    } else if (i > 0 && d[i][j] == d[i - 1][j] + 1) {
      changed[--i] = true;
    } else {
      gaps.insert(i < n ? ta[i].Start : int32_t(Text.size()));
      --j;
    }
  }
  std::vector<TQEMFuzzyRange> out;
  for (size_t i = 0; i < n;) {
    if (!changed[i]) {
      ++i;
      continue;
    }
    size_t k = i;
    while (k + 1 < n && changed[k + 1])
      ++k;
    out.push_back({ta[i].Start, ta[k].Start + ta[k].Length - ta[i].Start});
    i = k + 1;
  }
  for (const int32_t g : gaps) {
    const bool inside = std::any_of(out.begin(), out.end(), [&](const TQEMFuzzyRange& R) {
      return g >= R.Start && g <= R.Start + R.Length;
    });
    if (!inside) out.push_back({g, 0});
  }
  std::sort(out.begin(), out.end(),
            [](const TQEMFuzzyRange& A, const TQEMFuzzyRange& B) { return A.Start < B.Start; });
  return out;
}

// ---- TQEMFuzzyIndex ----

void TQEMFuzzyIndex::Build(uint32_t Count) {
  FGrams.clear();
  FLength.assign(Count, 0);
  FPostings = FStale = 0;
  for (uint32_t r = 0; r < Count; ++r)
    Add(r, FTextOf(r));
  DropCommonGrams();
}

void TQEMFuzzyIndex::Add(uint32_t Rec, std::u16string_view Text) {
  if (Rec >= FLength.size()) FLength.resize(size_t(Rec) + 1, 0);
  FLength[Rec] = uint32_t(Text.size());
  for (const uint64_t g : Grams(Text)) {
    TPosting& p = FGrams[g];
    if (p.Stop) continue;
    p.Recs.push_back(Rec);
    ++FPostings;
  }
}

void TQEMFuzzyIndex::DropCommonGrams() {
  if (FLength.size() < CommonGramFloor) return;
  const size_t most = FLength.size() / 8;
  for (auto& [gram, p] : FGrams)
    if (p.Recs.size() > most) {
      FPostings -= p.Recs.size();
      p.Stop = true;
      std::vector<uint32_t>().swap(p.Recs);
    }
}

void TQEMFuzzyIndex::Set(uint32_t Rec, std::u16string_view Text) {
  if (Rec < FLength.size() && FLength[Rec] != 0) {
    // The old grams stay listed: a query scores the record's real text, so they only cost time
    // until the stale share makes a rebuild worth it.
    FStale += FLength[Rec];
    if (FStale > 1024 && FStale > FPostings / 4) {
      Build(uint32_t(std::max(FLength.size(), size_t(Rec) + 1)));
      return;
    }
  }
  Add(Rec, Text);
}

void TQEMFuzzyIndex::Compact(const std::vector<uint32_t>& Map, uint32_t Gone) {
  FPostings = 0;
  for (auto& [gram, p] : FGrams) {
    size_t k = 0;
    for (const uint32_t r : p.Recs)
      if (r < Map.size() && Map[r] != Gone) p.Recs[k++] = Map[r];
    p.Recs.resize(k);
    FPostings += k;
  }
  std::vector<uint32_t> length;
  length.reserve(FLength.size());
  for (size_t r = 0; r < FLength.size() && r < Map.size(); ++r)
    if (Map[r] != Gone) length.push_back(FLength[r]);
  FLength = std::move(length);
  FCounts.clear();
}

std::vector<uint32_t> TQEMFuzzyIndex::Candidates(std::u16string_view Text, int Threshold,
                                                 size_t Max) const {
  std::vector<uint32_t> out;
  const std::vector<uint64_t> grams = Grams(Text);
  if (grams.empty() || FLength.empty()) return out;
  FCounts.resize(FLength.size(), 0);
  std::vector<uint32_t> touched;
  for (const uint64_t g : grams) {
    const auto it = FGrams.find(g);
    if (it == FGrams.end()) continue;
    for (const uint32_t r : it->second.Recs)
      if (r < FCounts.size() && FCounts[r]++ == 0) touched.push_back(r);
  }
  // A length difference alone can rule a record out.
  const double room = (100.0 - MinCharPart(Threshold)) / 100.0;
  const auto fits = [&](uint32_t Rec) {
    const double a = double(Text.size()), b = double(FLength[Rec]);
    return std::fabs(a - b) <= std::max(a, b) * room;
  };
  struct TRank {
    double Dice;
    uint32_t Rec;
  };
  std::vector<TRank> ranks;
  ranks.reserve(touched.size());
  for (const uint32_t r : touched) {
    const double shared = std::min<double>(FCounts[r], double(grams.size()));
    FCounts[r] = 0;
    if (fits(r)) ranks.push_back({2.0 * shared / double(grams.size() + FLength[r]), r});
  }
  const auto better = [](const TRank& A, const TRank& B) {
    return A.Dice != B.Dice ? A.Dice > B.Dice : A.Rec < B.Rec;
  };
  const size_t n = std::min(Max, ranks.size());
  std::partial_sort(ranks.begin(), ranks.begin() + ptrdiff_t(n), ranks.end(), better);
  for (size_t i = 0; i < n; ++i)
    out.push_back(ranks[i].Rec);
  return out;
}

size_t TQEMFuzzyIndex::MemoryBytes() const {
  size_t bytes = FLength.capacity() * sizeof(uint32_t) + FCounts.capacity() * sizeof(uint16_t);
  bytes += FGrams.bucket_count() * sizeof(void*);
  for (const auto& [gram, p] : FGrams)
    bytes += sizeof(gram) + sizeof(p) + 2 * sizeof(void*) + p.Recs.capacity() * sizeof(uint32_t);
  return bytes;
}

// ---- the repository's suggestions ----

namespace {

// How many of the index's best records are scored for the five shown.
constexpr size_t ScoredCandidates = 64;

// A language's bare tag ("de" of "de-DE").
std::u16string Bare(const std::u16string& Tag) {
  return Tag.substr(0, Tag.find_first_of(u"-_"));
}

// The tag the repository holds for a language: the exact one, else its bare one.
std::u16string HeldTag(const TQEMRepository& R, const std::u16string& Tag) {
  const IQEMRepositoryLangList& langs = R.GetIndexList().Languages();
  return langs.IndexOf(Tag) >= 0 || langs.IndexOf(Bare(Tag)) < 0 ? Tag : Bare(Tag);
}

// The best Max matches so far, best first; later records lose ties.
class TBest {
public:
  TBest(std::u16string_view Original, int Threshold, size_t Max)
      : FOriginal(Original), FThreshold(Threshold), FMax(Max) {}

  void Offer(TQEMRepository& R, int Rec, const std::u16string& SourceTag,
             const std::u16string& TargetTag) {
    const IQEMRepositoryRecordPtr rec = R.GetRecord(Rec);
    if (!rec) return;
    std::u16string orig = rec->GetString(SourceTag);
    if (orig.empty()) return;
    const int score = Score(FOriginal, orig, FThreshold);
    if (score < FThreshold || (FMatches.size() == FMax && score <= FMatches.back().Score)) return;
    std::u16string xlat = rec->GetString(TargetTag);
    if (xlat.empty()) xlat = rec->GetString(Bare(TargetTag)); // a bare translation serves too
    if (xlat.empty()) return;
    for (const TQEMFuzzyMatch& m : FMatches)
      if (m.Original == orig && m.Translation == xlat) return;
    const auto at = std::find_if(FMatches.begin(), FMatches.end(), [&](const TQEMFuzzyMatch& M) {
      return M.Score < score || (M.Score == score && M.Record > Rec);
    });
    FMatches.insert(at, {Rec, score, std::move(orig), std::move(xlat), {}});
    if (FMatches.size() > FMax) FMatches.pop_back();
  }

  std::vector<TQEMFuzzyMatch> Take() {
    for (TQEMFuzzyMatch& m : FMatches)
      m.Differences = QEMFuzzyDifferences(m.Original, FOriginal);
    return std::move(FMatches);
  }

private:
  std::u16string_view FOriginal;
  int FThreshold;
  size_t FMax;
  std::vector<TQEMFuzzyMatch> FMatches;
};

} // namespace

std::vector<TQEMFuzzyMatch> QEMRepositoryFuzzyFind(TQEMRepository& Repository,
                                                   std::u16string_view Original,
                                                   const std::u16string& SourceTag,
                                                   const std::u16string& TargetTag, int Threshold,
                                                   size_t Max) {
  if (Original.empty() || Max == 0) return {};
  Repository.EnsureLoaded();
  const std::u16string source = HeldTag(Repository, SourceTag);
  const TQEMFuzzyIndex* index = Repository.FuzzyIndex(source);
  if (!index) return {};
  TBest best(Original, Threshold, Max);
  const size_t scored = std::max(Max, ScoredCandidates);
  for (const uint32_t rec : index->Candidates(Original, Threshold, scored))
    best.Offer(Repository, int(rec), source, TargetTag);
  return best.Take();
}

std::vector<TQEMFuzzyMatch> QEMRepositoryFuzzyScan(TQEMRepository& Repository,
                                                   std::u16string_view Original,
                                                   const std::u16string& SourceTag,
                                                   const std::u16string& TargetTag, int Threshold,
                                                   size_t Max) {
  if (Original.empty() || Max == 0) return {};
  Repository.EnsureLoaded();
  const std::u16string source = HeldTag(Repository, SourceTag);
  TBest best(Original, Threshold, Max);
  for (int rec = 0, n = Repository.RecCount(); rec < n; ++rec)
    best.Offer(Repository, rec, source, TargetTag);
  return best.Take();
}
