#include "translator/QEMFileWarnings.h"

namespace {

bool HasTranslation(TResStatus Status) {
  return Status == rsTranslated || Status == rsAutoTranslated || Status == rsNewlyTranslated;
}

} // namespace

char16_t QEMLiteralQuoteChar(const TQEMTranslatorMgrClass& AMgrClass) {
  const std::u16string probe = AMgrClass.ConvertFromRawString(u"x");
  if (probe.size() >= 3 && probe.front() == probe.back() &&
      (probe.front() == u'\'' || probe.front() == u'"') && probe.find(u'x') != std::u16string::npos)
    return probe.front();
  return 0;
}

TQEMQualityCheckSettings QEMQualitySettingsFor(const TQEMTranslatorMgrClass& AMgrClass) {
  TQEMQualityCheckSettings s;
  s.QuoteChar = QEMLiteralQuoteChar(AMgrClass);
  s.FormatSpecifiers = s.QuoteChar != 0;
  s.Enabled = QEMEnabledQualityWarnings();
  return s;
}

std::vector<TQEMItemQualityIssue>
QEMItemsQualityWarnings(const IQEMNotesItems& Items, const TQEMQualityCheckSettings& Settings) {
  std::vector<TQEMItemQualityIssue> result;
  if (Settings.Enabled == 0) return result;
  const int n = Items.Count();
  for (int i = 0; i < n; ++i) {
    const IQEMNotesItemPtr item = Items.Get(i);
    const TResStatus status = item->GetStatus();
    if (!HasTranslation(status)) continue;
    for (TQEMQualityIssue& issue :
         QEMCheckQuality(item->GetOrigText(), item->GetXlatText(), status, Settings))
      result.push_back({i, std::move(issue)});
  }
  return result;
}

void QEMListWarnings(TQEMTranslatorMgr& Mgr, TQEMListWarningsData& Data) {
  TQEMQualityCheckSettings settings = QEMQualitySettingsFor(Mgr.MgrClass());
  settings.Enabled = Data.Enabled;
  const IQEMNotesItemsPtr items = Mgr.Items();
  ++Data.Files;
  for (TQEMItemQualityIssue& w : QEMItemsQualityWarnings(*items, settings))
    Data.Warnings.push_back({Mgr.FileName(), items->Get(w.ItemIndex)->GetID(), w.Issue.Kind,
                             std::move(w.Issue.Message)});
}
