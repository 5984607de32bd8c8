#pragma once
// Concordance: the repository's records holding a word or phrase in the original or the
// translation language, found the way the search compares (locale rules, case, whole words).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "repository/QEMFuzzyIndex.h"

class IQEMRepository;

struct TQEMConcordanceOptions {
  bool CaseSensitive = false;
  bool WholeWordsOnly = true;
  size_t MaxRecords = 500; // the walk stops at this many records found
};

struct TQEMConcordanceHit {
  int Record = -1;
  std::u16string Original, Translation;
  std::vector<TQEMFuzzyRange> OriginalMatches, TranslationMatches;
};

// Records in record order whose text in either language holds Phrase. Languages are given by
// tag for the repository and by LCID for the comparison.
QEM_API std::vector<TQEMConcordanceHit>
QEMRepositoryConcordance(IQEMRepository& Repository, std::u16string_view Phrase,
                         const std::u16string& SourceTag, LCID SourceLCID,
                         const std::u16string& TargetTag, LCID TargetLCID,
                         const TQEMConcordanceOptions& Options = {});
