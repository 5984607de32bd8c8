#pragma once
// Fuzzy suggestions from the repository: a similarity score between two texts, the parts of a
// suggestion that differ from the text asked for, and a character n-gram index per language
// that finds the few records worth scoring among a million.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/QEMTypes.h"

class TQEMRepository;

// A half-open range of UTF-16 positions.
struct TQEMFuzzyRange {
  int32_t Start = 0;
  int32_t Length = 0;
  bool operator==(const TQEMFuzzyRange&) const = default;
};

// 0-100: two thirds from the character edit distance, one third from the word edit distance,
// each as 1 - distance / length of the longer text. 100 only for equal texts.
QEM_API int QEMFuzzySimilarity(std::u16string_view A, std::u16string_view B);
// The words (and punctuation) of Text that Current does not have at that place, adjacent ones
// merged; a place where Current has words that Text lacks is a range of length 0.
QEM_API std::vector<TQEMFuzzyRange> QEMFuzzyDifferences(std::u16string_view Text,
                                                        std::u16string_view Current);

// Character trigrams (ignoring case) of one language's texts, each with the records holding
// it. Grams that most records share tell nothing and are not kept once the index is large.
// A changed text adds its grams; the old ones stay until enough went stale to rebuild.
class QEM_API TQEMFuzzyIndex {
public:
  using TTextOf = std::function<std::u16string(uint32_t Rec)>;
  explicit TQEMFuzzyIndex(TTextOf TextOf) : FTextOf(std::move(TextOf)) {}

  void Build(uint32_t Count);
  // Record Rec now holds Text; a record past the end makes the index that long.
  void Set(uint32_t Rec, std::u16string_view Text);
  // Records mapped to Gone are dropped, the rest renumbered by Map.
  void Compact(const std::vector<uint32_t>& Map, uint32_t Gone);
  // Records sharing most grams with Text whose length leaves room for Threshold, best first.
  std::vector<uint32_t> Candidates(std::u16string_view Text, int Threshold, size_t Max) const;
  uint32_t Count() const { return uint32_t(FLength.size()); }
  size_t MemoryBytes() const;

private:
  struct TPosting {
    std::vector<uint32_t> Recs;
    bool Stop = false; // shared by too many records to keep
  };
  void Add(uint32_t Rec, std::u16string_view Text);
  void DropCommonGrams();

  TTextOf FTextOf;
  std::unordered_map<uint64_t, TPosting> FGrams;
  std::vector<uint32_t> FLength; // text length per record
  size_t FPostings = 0, FStale = 0;
  mutable std::vector<uint16_t> FCounts; // per record, zero between queries
};

struct TQEMFuzzyMatch {
  int Record = -1;
  int Score = 0;
  std::u16string Original, Translation;
  std::vector<TQEMFuzzyRange> Differences; // in Original, against the text asked for
};

// The closest originals in SourceTag with a translation in TargetTag, scoring at least
// Threshold; at most Max, best first, one per original and translation. A repository that
// holds a language under its bare tag ("de" for "de-DE") serves it from there.
QEM_API std::vector<TQEMFuzzyMatch> QEMRepositoryFuzzyFind(TQEMRepository& Repository,
                                                           std::u16string_view Original,
                                                           const std::u16string& SourceTag,
                                                           const std::u16string& TargetTag,
                                                           int Threshold, size_t Max = 5);
// The same by scoring every record, without the index: the yardstick for the index.
QEM_API std::vector<TQEMFuzzyMatch> QEMRepositoryFuzzyScan(TQEMRepository& Repository,
                                                           std::u16string_view Original,
                                                           const std::u16string& SourceTag,
                                                           const std::u16string& TargetTag,
                                                           int Threshold, size_t Max = 5);
