// The translator window's aids: quality warnings and spelling of the open file.
#include "editing/QEMTranslatorForm.h"

#include "core/QEMIntlUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMFileWarnings.h"

namespace {

bool HasTranslation(TResStatus Status) {
  return Status == rsTranslated || Status == rsAutoTranslated || Status == rsNewlyTranslated;
}

// C literals: an escape such as \n would otherwise glue its letter to the next word.
std::u16string BlankEscapes(std::u16string Text) {
  for (size_t i = 0; i + 1 < Text.size(); ++i)
    if (Text[i] == u'\\') {
      Text[i] = u' ';
      Text[++i] = u' ';
    }
  return Text;
}

} // namespace

TQEMQualityCheckSettings TQEMTranslatorFormModel::QualitySettings() const {
  TQEMQualityCheckSettings s;
  s.QuoteChar = FSettings.QuoteChar;
  s.FormatSpecifiers = FSettings.CheckFormatSpecifiers;
  s.Enabled = QEMEnabledQualityWarnings();
  return s;
}

std::vector<TQEMQualityIssue> TQEMTranslatorFormModel::Warnings(int Row) const {
  if (!FMgr || Row < 0 || Row >= RowCount()) return {};
  const IQEMNotesItemPtr item = RowItem(Row);
  return QEMCheckQuality(item->GetOrigText(), item->GetXlatText(), item->GetStatus(),
                         QualitySettings());
}

std::vector<TQEMItemWarning> TQEMTranslatorFormModel::FileWarnings() const {
  std::vector<TQEMItemWarning> result;
  if (!FMgr) return result;
  for (TQEMItemQualityIssue& w : QEMItemsQualityWarnings(*FMgr->Items(), QualitySettings())) {
    const size_t i = size_t(w.ItemIndex);
    result.push_back({w.ItemIndex, i < FRowOfItem.size() ? FRowOfItem[i] : -1, std::move(w.Issue)});
  }
  return result;
}

TQEMSpellChecker& TQEMTranslatorFormModel::SpellChecker() {
  const LCID lcid = FMgr ? FMgr->Stats()->GetXlatLCID() : 0;
  if (!FSpeller || lcid != FSpellerLCID) {
    // An unknown or absent language gives an empty tag, and so no dictionary.
    FSpeller = std::make_unique<TQEMSpellChecker>(lcid ? LCIDToLangTag(lcid) : std::u16string());
    FSpellerLCID = lcid;
  }
  return *FSpeller;
}

std::vector<TQEMItemMisspelling> TQEMTranslatorFormModel::FileMisspellings() {
  std::vector<TQEMItemMisspelling> result;
  if (!FMgr) return result;
  const TQEMSpellChecker& speller = SpellChecker();
  if (!speller.Enabled()) return result;
  const auto items = FMgr->Items();
  const int n = items->Count();
  for (int i = 0; i < n; ++i) {
    const IQEMNotesItemPtr item = items->Get(i);
    if (!HasTranslation(item->GetStatus())) continue;
    std::u16string text = item->GetXlatText();
    if (FSettings.QuoteChar == u'"') text = BlankEscapes(std::move(text));
    const int row = size_t(i) < FRowOfItem.size() ? FRowOfItem[size_t(i)] : -1;
    for (const TQEMTextRange& r : speller.Check(text))
      result.push_back({i, row, r});
  }
  return result;
}

// ---- repository aids ----

namespace {

struct TRepositoryLangs {
  std::u16string Orig, Xlat;
};

// The file's languages as the repository names them; false when either has no tag.
bool RepositoryLangs(LCID Orig, LCID Xlat, TRepositoryLangs& Langs) {
  return TryLCIDToLangTag(Orig, Langs.Orig) && TryLCIDToLangTag(Xlat, Langs.Xlat) &&
         !Langs.Orig.empty() && !Langs.Xlat.empty();
}

// The repository, or null when it failed to load: an aid then simply has nothing to offer.
std::shared_ptr<TQEMRepository> ReadableRepository() {
  try {
    return std::dynamic_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  } catch (const EQEMError&) {
    return nullptr;
  }
}

} // namespace

std::vector<TQEMFuzzyMatch> TQEMTranslatorFormModel::Suggestions(int Row) const {
  TRepositoryLangs langs;
  if (!FMgr || Row < 0 || Row >= RowCount() ||
      !RepositoryLangs(FFileStats.OrigLCID, FFileStats.XlatLCID, langs))
    return {};
  const auto repository = ReadableRepository();
  if (!repository) return {};
  const int threshold = QEMINTOptionProps ? int(QEMINTOptionProps->FuzzyThreshold) : 70;
  const std::u16string orig = FMgrClass.ConvertToRawString(RowItem(Row)->GetOrigText());
  std::vector<TQEMFuzzyMatch> found =
      QEMRepositoryFuzzyFind(*repository, orig, langs.Orig, langs.Xlat, threshold);
  for (TQEMFuzzyMatch& m : found)
    m.Translation = FMgrClass.ConvertFromRawString(m.Translation);
  return found;
}

bool TQEMTranslatorFormModel::AcceptSuggestion(int Row, const TQEMFuzzyMatch& Match) {
  if (!FMgr || Row < 0 || Row >= RowCount() || !CellEditable(Row, idColCurr)) return false;
  return AcceptEdit(Row, idColCurr, Match.Translation);
}

std::vector<TQEMConcordanceHit>
TQEMTranslatorFormModel::Concordance(std::u16string_view Phrase,
                                     const TQEMConcordanceOptions& Options) const {
  TRepositoryLangs langs;
  if (!FMgr || !RepositoryLangs(FFileStats.OrigLCID, FFileStats.XlatLCID, langs)) return {};
  const auto repository = ReadableRepository();
  if (!repository) return {};
  return QEMRepositoryConcordance(*repository, Phrase, langs.Orig, FFileStats.OrigLCID, langs.Xlat,
                                  FFileStats.XlatLCID, Options);
}
