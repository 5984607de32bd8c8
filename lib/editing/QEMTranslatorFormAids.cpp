// The translator window's aids: quality warnings and spelling of the open file.
#include "editing/QEMTranslatorForm.h"

#include "core/QEMIntlUtils.h"

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
  const TQEMQualityCheckSettings settings = QualitySettings();
  const auto items = FMgr->Items();
  const int n = items->Count();
  for (int i = 0; i < n; ++i) {
    const IQEMNotesItemPtr item = items->Get(i);
    const TResStatus status = item->GetStatus();
    if (!HasTranslation(status)) continue;
    const int row = size_t(i) < FRowOfItem.size() ? FRowOfItem[size_t(i)] : -1;
    for (TQEMQualityIssue& issue :
         QEMCheckQuality(item->GetOrigText(), item->GetXlatText(), status, settings))
      result.push_back({i, row, std::move(issue)});
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
