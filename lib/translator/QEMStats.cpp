#include "translator/QEMStats.h"

#include <algorithm>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "core/QEMIntlUtils.h"
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

// ---- the run report ----

std::string_view QEMFileStatusName(TQEMFileStatus Status) {
  switch (Status) {
  case TQEMFileStatus::fsOk:
    return "ok";
  case TQEMFileStatus::fsSkippedUnchanged:
    return "skipped-unchanged";
  case TQEMFileStatus::fsFailed:
    break;
  }
  return "failed";
}

namespace {

using TJson = nlohmann::ordered_json;

TJson ItemsJson(const TStats& S) {
  return TJson{{"new", S.NewCount},
               {"changed", S.ChangedCount},
               {"unchanged", S.UnchangedCount},
               {"unused", S.UnusedCount},
               {"total", int64_t(S.NewCount) + S.ChangedCount + S.UnchangedCount + S.UnusedCount}};
}

TJson TextOrNull(const std::u16string& S) {
  return S.empty() ? TJson() : TJson(UTF16ToUTF8(S));
}

// A failed file is never reported as done, whatever an earlier run left on disk.
const TFileStats* KnownCounts(const TQEMRunFile& F) {
  return F.Status != TQEMFileStatus::fsFailed && F.Counts ? &*F.Counts : nullptr;
}

int64_t DonePercent(const TFileStats& C) {
  const int64_t total = int64_t(C.Translated) + C.UnTranslated;
  return total > 0 ? int64_t(C.Translated) * 100 / total : 0;
}

} // namespace

std::string QEMRunReportJson(const TQEMRunReport& Report, bool WithFiles) {
  int32_t ok = 0, skipped = 0, failed = 0;
  for (const auto& f : Report.Files)
    ++(f.Status == TQEMFileStatus::fsOk                 ? ok
       : f.Status == TQEMFileStatus::fsSkippedUnchanged ? skipped
                                                        : failed);
  // Readers of the first form know no warnings: the number is left out where none was counted.
  std::optional<int64_t> warnings;
  for (const auto& f : Report.Files)
    if (KnownCounts(f) && f.Warnings) warnings = warnings.value_or(0) + *f.Warnings;
  TJson doc;
  doc["schemaVersion"] = QEMRunReportSchemaVersion;
  doc["summary"] = TJson{{"projects", Report.Projects},
                         {"languages", Report.Languages},
                         {"files",
                          {{"total", ok + skipped + failed},
                           {"ok", ok},
                           {"skippedUnchanged", skipped},
                           {"failed", failed}}},
                         {"items", ItemsJson(Report.Items)},
                         {"errors", Report.Errors},
                         {"elapsedMs", Report.ElapsedMs}};
  if (warnings) doc["summary"]["warnings"] = *warnings;
  if (WithFiles) {
    TJson files = TJson::array();
    std::unordered_map<LCID, TJson> languages; // a run has few
    for (const auto& f : Report.Files) {
      TJson e;
      e["project"] = UTF16ToUTF8(f.Project);
      auto language = languages.find(f.Locale);
      if (language == languages.end())
        language =
            languages
                .emplace(f.Locale, f.Locale == 0
                                       ? TJson()
                                       : TJson{{"lcid", f.Locale},
                                               {"tag", UTF16ToUTF8(LCIDToLangTag(f.Locale))},
                                               {"name", UTF16ToUTF8(LCIDToLangName(f.Locale))}})
                .first;
      e["language"] = language->second;
      e["type"] = TextOrNull(f.FileType);
      e["source"] = UTF16ToUTF8(f.Source);
      e["file"] = TextOrNull(f.File);
      e["status"] = QEMFileStatusName(f.Status);
      if (f.Status == TQEMFileStatus::fsFailed) e["message"] = UTF16ToUTF8(f.Message);
      e["items"] = ItemsJson(f.Items);
      const TFileStats* c = KnownCounts(f);
      e["translated"] = c ? TJson(c->Translated) : TJson();
      e["untranslated"] = c ? TJson(c->UnTranslated) : TJson();
      e["total"] = c ? TJson(int64_t(c->Translated) + c->UnTranslated) : TJson();
      e["done"] = c ? TJson(DonePercent(*c)) : TJson();
      if (c && f.Warnings) e["warnings"] = *f.Warnings;
      files.push_back(std::move(e));
    }
    doc["files"] = std::move(files);
  }
  return doc.dump(2, ' ', false, TJson::error_handler_t::replace) + "\n";
}

std::string QEMRunReportText(const TQEMRunReport& Report) {
  const std::string unknown = UTF16ToUTF8(SStatusUnknown);
  std::string out = UTF16ToUTF8(SHlxStatsTextHeader) + "\n";
  for (const auto& f : Report.Files) {
    const TFileStats* c = KnownCounts(f);
    const auto cell = [&](int64_t N) { return c ? std::to_string(N) : unknown; };
    out += UTF16ToUTF8(f.Project) + "\t" + UTF16ToUTF8(f.Locale ? LCIDToLangName(f.Locale) : u"") +
           "\t" + UTF16ToUTF8(f.FileType) + "\t" + UTF16ToUTF8(f.File.empty() ? f.Source : f.File) +
           "\t" + cell(c ? c->Translated : 0) + "\t" + cell(c ? c->UnTranslated : 0) + "\t" +
           cell(c ? int64_t(c->Translated) + c->UnTranslated : 0) + "\t" +
           cell(c ? DonePercent(*c) : 0) + "\t" + std::string(QEMFileStatusName(f.Status)) + "\n";
  }
  return out;
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
