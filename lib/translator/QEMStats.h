#pragma once
// Results of update and batch runs: the "Processed" summary and the project-status list of
// translated and untranslated counts per file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "translator/QEMFileTypes.h"

// Zeroes the counters and every registered file type's count of processed files.
QEM_API void ClearStats(TStats& Stats);
QEM_API void SumStats(TStats& Total, const TStats& Stats);
// The summary, one line each; the command line prints it.
QEM_API std::u16string StatsText(const TStats& Stats);
// Shows StatsText through the UI services.
QEM_API void ShowStats(const TStats& Stats);

// What became of one file in an updater run.
enum class TQEMFileStatus : uint8_t { fsOk, fsSkippedUnchanged, fsFailed };

// One file of an updater run for one language, as the machine-readable report gives it.
struct TQEMRunFile {
  std::u16string Project;
  LCID Locale = 0;         // 0: not run for any language (no package handles the file)
  std::u16string FileType; // empty when no package handles the file
  std::u16string Source;
  std::u16string File; // the translated file; empty when there is none
  TQEMFileStatus Status = TQEMFileStatus::fsOk;
  std::u16string Message; // why it failed
  TStats Items;           // the file's new, changed, unchanged and unused items
  // Translated and untranslated items of the translated file after the run; empty when they
  // could not be read or the file failed.
  std::optional<TFileStats> Counts;
  // Quality warnings of its items, counted when the counts are read; empty like them.
  std::optional<int32_t> Warnings;
};

// An updater run for build servers: the summary and, per file, what became of it.
struct TQEMRunReport {
  int32_t Projects = 0;
  int32_t Languages = 0;
  TStats Items;
  int32_t Errors = 0;
  int64_t ElapsedMs = 0;
  std::vector<TQEMRunFile> Files;
};

// Raised whenever the JSON form changes in a way a reader must know of.
inline constexpr int QEMRunReportSchemaVersion = 1;
// "ok", "skipped-unchanged" or "failed".
QEM_API std::string_view QEMFileStatusName(TQEMFileStatus Status);
// UTF-8 JSON; WithFiles adds the list of files to the summary.
QEM_API std::string QEMRunReportJson(const TQEMRunReport& Report, bool WithFiles);
// UTF-8, tab-separated: a header line, then one line per file; unknown counts read "<unknown>".
QEM_API std::string QEMRunReportText(const TQEMRunReport& Report);

// The project-status list without its window: the caller feeds one row per file.
class QEM_API TQEMProjectStatusModel {
public:
  enum TColumn { scFile, scFileType, scTranslated, scUntranslated, scTotal, scDone };
  static constexpr int ColumnCount = 6;
  struct TRow {
    std::u16string FileName;
    std::u16string FileType; // empty when no type serves the file
    // Empty when the file's counts could not be read: shown as unknown, left out of the totals.
    std::optional<TFileStats> Stats;
  };

  void Clear() { FRows.clear(); }
  void AddRow(std::u16string FileName, IQEMFileType* FileType, std::optional<TFileStats> Stats);
  // Asks the type for the counts; a type that fails, or no type, gives an unknown row.
  void AddFile(const std::u16string& FileName, IQEMFileType* FileType);
  int RowCount() const { return int(FRows.size()); }
  const TRow& Row(int Index) const { return FRows.at(size_t(Index)); }

  static std::u16string ColumnCaption(int Column);
  std::u16string CellText(int Index, int Column) const;
  // Stable, so rows equal in that column keep their order; unknown counts sort first.
  void SortBy(int Column, bool Descending = false);

  // Over the rows with known counts.
  int64_t TotalTranslated() const;
  int64_t TotalUntranslated() const;
  // "Translated: n", "Untranslated: n", "Total: n", "% Done: p%".
  std::vector<std::u16string> StatusTexts() const;

  // Rounded down; 0 for a file without items.
  static std::u16string PercentText(int64_t Translated, int64_t Total);

private:
  std::vector<TRow> FRows;
};
