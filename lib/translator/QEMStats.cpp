#include "translator/QEMStats.h"

#include <algorithm>

#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

void ClearStats(TStats& Stats) {
  Stats = TStats{};
  if (!QEMFileTypesStarted()) return;
  for (const auto& type : QEMFileTypes().Snapshot())
    type->SetTranslatorCount(0);
}

void SumStats(TStats& Total, const TStats& Stats) {
  Total.ProjCount += Stats.ProjCount;
  Total.LangCount += Stats.LangCount;
  Total.NewCount += Stats.NewCount;
  Total.ChangedCount += Stats.ChangedCount;
  Total.UnchangedCount += Stats.UnchangedCount;
  Total.UnusedCount += Stats.UnusedCount;
}

std::u16string StatsText(const TStats& Stats) {
  auto line = [](std::u16string_view Caption, int64_t Value) {
    return Format(u"  %s %d\n", Caption, Value);
  };
  std::u16string s = std::u16string(SStatsProcessed) + u"\n" + std::u16string(SStatsFiles) + u"\n";
  int64_t files = 0;
  if (QEMFileTypesStarted())
    for (const auto& type : QEMFileTypes().Snapshot())
      if (const int32_t n = type->GetTranslatorCount(); n > 0) {
        s += line(type->GetName() + u":", n);
        files += n;
      }
  s += line(SStatsTotal, files);
  s += std::u16string(SStatsItems) + u"\n";
  s += line(SStatsNew, Stats.NewCount);
  s += line(SStatsChanged, Stats.ChangedCount);
  s += line(SStatsUnchanged, Stats.UnchangedCount);
  s += line(SStatsUnused, Stats.UnusedCount);
  s += line(SStatsTotal, int64_t(Stats.NewCount) + Stats.ChangedCount + Stats.UnchangedCount +
                             Stats.UnusedCount);
  s += Format(u"%s %d\n%s %d\n", SStatsProjects, Stats.ProjCount, SStatsLanguages, Stats.LangCount);
  return s;
}

void ShowStats(const TStats& Stats) {
  QEMUIServices().MessageBox(StatsText(Stats));
}

// ---- project status ----

void TQEMProjectStatusModel::AddRow(std::u16string FileName, IQEMFileType* FileType,
                                    std::optional<TFileStats> Stats) {
  std::u16string typeName = FileType ? FileType->GetName() : std::u16string();
  FRows.push_back(TRow{std::move(FileName), std::move(typeName), std::move(Stats)});
}

void TQEMProjectStatusModel::AddFile(const std::u16string& FileName, IQEMFileType* FileType) {
  std::optional<TFileStats> stats;
  if (FileType) {
    try {
      stats = FileType->GetStats(FileName, false);
    } catch (const std::exception&) {
      // A file that cannot be read is listed as unknown rather than as 0 % done.
    }
  }
  AddRow(FileName, FileType, std::move(stats));
}

std::u16string TQEMProjectStatusModel::ColumnCaption(int Column) {
  static constexpr std::u16string_view captions[ColumnCount] = {
      SStatusColFile,         SStatusColFileType, SStatusColTranslated,
      SStatusColUntranslated, SStatusColTotal,    SStatusColDone};
  return Column >= 0 && Column < ColumnCount ? std::u16string(captions[Column]) : std::u16string();
}

std::u16string TQEMProjectStatusModel::PercentText(int64_t Translated, int64_t Total) {
  return Format(SStatusPercent, Total > 0 ? Translated * 100 / Total : 0);
}

namespace {
// -1 for an unknown count, so unknown rows sort before every number.
int64_t Number(const TQEMProjectStatusModel::TRow& R, int Column) {
  if (!R.Stats) return -1;
  const int64_t t = R.Stats->Translated, u = R.Stats->UnTranslated;
  switch (Column) {
  case TQEMProjectStatusModel::scTranslated:
    return t;
  case TQEMProjectStatusModel::scUntranslated:
    return u;
  case TQEMProjectStatusModel::scTotal:
    return t + u;
  default:
    return t + u > 0 ? t * 100 / (t + u) : 0;
  }
}
} // namespace

std::u16string TQEMProjectStatusModel::CellText(int Index, int Column) const {
  const TRow& r = Row(Index);
  switch (Column) {
  case scFile:
    return r.FileName;
  case scFileType:
    return r.FileType.empty() ? std::u16string(SStatusUnknown) : r.FileType;
  default:
    break;
  }
  if (!r.Stats || Column >= ColumnCount)
    return Column >= ColumnCount ? u"" : std::u16string(SStatusUnknown);
  if (Column == scDone)
    return PercentText(r.Stats->Translated, int64_t(r.Stats->Translated) + r.Stats->UnTranslated);
  return IntToStr(Number(r, Column));
}

void TQEMProjectStatusModel::SortBy(int Column, bool Descending) {
  std::stable_sort(FRows.begin(), FRows.end(), [&](const TRow& A, const TRow& B) {
    const TRow& a = Descending ? B : A;
    const TRow& b = Descending ? A : B;
    if (Column == scFile) return QEMCompareText(a.FileName, b.FileName) < 0;
    if (Column == scFileType) return QEMCompareText(a.FileType, b.FileType) < 0;
    return Number(a, Column) < Number(b, Column);
  });
}

int64_t TQEMProjectStatusModel::TotalTranslated() const {
  int64_t n = 0;
  for (const auto& r : FRows)
    if (r.Stats) n += r.Stats->Translated;
  return n;
}

int64_t TQEMProjectStatusModel::TotalUntranslated() const {
  int64_t n = 0;
  for (const auto& r : FRows)
    if (r.Stats) n += r.Stats->UnTranslated;
  return n;
}

std::vector<std::u16string> TQEMProjectStatusModel::StatusTexts() const {
  const int64_t t = TotalTranslated(), total = t + TotalUntranslated();
  // Nothing to translate counts as done.
  const std::u16string done = total > 0 ? PercentText(t, total) : Format(SStatusPercent, 100);
  return {Format(SStatusCount, SStatusColTranslated, t),
          Format(SStatusCount, SStatusColUntranslated, total - t),
          Format(SStatusCount, SStatusColTotal, total), Format(SStatusDone, SStatusColDone, done)};
}
