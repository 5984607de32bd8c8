#include "editing/QEMConcordance.h"

#include "repository/QEMNewRepositoryEngine.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

std::vector<TQEMFuzzyRange> Matches(const TQEMSearchMatcher& Matcher, std::u16string_view Text,
                                    int32_t Length) {
  std::vector<TQEMFuzzyRange> out;
  if (Text.empty()) return out;
  std::vector<int32_t> at;
  Matcher.FindAll(Text, at);
  out.reserve(at.size());
  for (const int32_t p : at)
    out.push_back({p, Length});
  return out;
}

} // namespace

std::vector<TQEMConcordanceHit>
QEMRepositoryConcordance(IQEMRepository& Repository, std::u16string_view Phrase,
                         const std::u16string& SourceTag, LCID SourceLCID,
                         const std::u16string& TargetTag, LCID TargetLCID,
                         const TQEMConcordanceOptions& Options) {
  std::vector<TQEMConcordanceHit> hits;
  if (Phrase.empty() || Options.MaxRecords == 0) return hits;
  const bool matchCase = Options.CaseSensitive, whole = Options.WholeWordsOnly;
  const TQEMSearchMatcher source(Phrase, SourceLCID, matchCase, whole);
  const TQEMSearchMatcher target(Phrase, TargetLCID, matchCase, whole);
  const auto length = int32_t(Phrase.size());
  for (int r = 0, n = Repository.RecCount(); r < n; ++r) {
    const IQEMRepositoryRecordPtr rec = Repository.GetRecord(r);
    TQEMConcordanceHit hit{r, rec->GetString(SourceTag), rec->GetString(TargetTag), {}, {}};
    hit.OriginalMatches = Matches(source, hit.Original, length);
    hit.TranslationMatches = Matches(target, hit.Translation, length);
    if (hit.OriginalMatches.empty() && hit.TranslationMatches.empty()) continue;
    hits.push_back(std::move(hit));
    if (hits.size() >= Options.MaxRecords) break;
  }
  return hits;
}
