#pragma once
// The switches of an unattended run and its log. The workspace runs the batch; this object
// holds what the command line asked for and what the run reported.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/QEMClasses.h"
#include "platform/QEMSysUtils.h"

enum THlxCommandMode : uint8_t { ecmNone, ecmIntegration, ecmEggInteg };
// An export or import of translators' catalogues (XLIFF, PO) instead of an updater run.
enum class THlxExchangeRun : uint8_t { erNone, erExport, erImport };

// Raised for a command line or batch that cannot run.
class QEM_API EHLXException : public EQEMError {
public:
  using EQEMError::EQEMError;
};

class QEM_API THlxCommandLine {
public:
  THlxCommandLine();
  ~THlxCommandLine();
  THlxCommandLine(const THlxCommandLine&) = delete;
  THlxCommandLine& operator=(const THlxCommandLine&) = delete;

  // Switches are recognised ignoring case; file names are kept exactly as given, because the
  // file system tells case apart. "--switch=value" and "--switch value" both work and "--"
  // ends the switches. Raises EHLXException (a usage error) on an unknown switch, a switch
  // without its value, or a second project. Args excludes the program name.
  void ParseCmdLine(const std::vector<std::u16string>& Args);
  // The files the command line names must exist before anything is written: the project of a
  // batch and the repository. Raises EHLXException (a usage error) otherwise.
  void CheckNamedFiles() const;
  // In batch mode appends the collected lines to the log file (after an empty line when the
  // file already had a run), never truncating it. A log that cannot be written is reported on
  // standard error and counts as an error.
  void WriteLog();

  void AddLog(const std::u16string& Line) { FLogStrings.push_back(Line); }
  void CountError() { ++FErrorCount; }
  // Exit codes: 0 success, the number of errors up to MaxErrorExitCode, UsageExitCode for a
  // command line that was refused (as sysexits.h has it), so no count reads as either.
  static constexpr int MaxErrorExitCode = 63;
  static constexpr int UsageExitCode = 64;
  int ProcessExitCode() const {
    return FErrorCount > MaxErrorExitCode ? MaxErrorExitCode : FErrorCount;
  }

  THlxCommandMode Mode() const { return FSwitches.Mode; }
  bool BatchMode() const { return FSwitches.BatchMode; }
  const std::u16string& FileName() const { return FSwitches.FileName; }
  const std::u16string& LogFileName() const { return FSwitches.LogFileName; }
  const std::u16string& OutputFileName() const { return FSwitches.OutputFileName; }
  // Only an output file the user named is written.
  bool OutputGiven() const { return FSwitches.OutputGiven; }
  // "-O -": the statistics go to standard output.
  bool OutputToStdout() const { return OutputGiven() && OutputFileName() == u"-"; }
  // The translation memory of this run; empty for the one the options name.
  const std::u16string& RepositoryFileName() const { return FSwitches.RepositoryFileName; }
  // --import-tmx and --export-tmx: a TMX file of another tool merged into the memory before
  // the run, the memory written as TMX after it; either makes the run unattended.
  const std::u16string& ImportTmxFileName() const { return FSwitches.ImportTmxFileName; }
  const std::u16string& ExportTmxFileName() const { return FSwitches.ExportTmxFileName; }
  bool TmxRun() const { return !ImportTmxFileName().empty() || !ExportTmxFileName().empty(); }
  // --warnings: the quality warnings of the project's files listed (after -I or -E).
  bool ListWarnings() const { return FSwitches.Warnings; }
  bool Quiet() const { return FSwitches.Quiet; }
  bool Json() const { return FSwitches.Json; }
  bool HelpAsked() const { return FSwitches.Help; }
  bool VersionAsked() const { return FSwitches.Version; }
  std::vector<std::u16string>& LogStrings() { return FLogStrings; }
  int32_t ErrorCount() const { return FErrorCount; }
  int32_t ExitCode() const { return FExitCode; }
  bool IntegrationTools() const { return FIntegrationTools; }
  THlxExchangeRun ExchangeRun() const { return FSwitches.Exchange; }
  // The folder an export writes to, or the catalogue or folder an import reads; made full.
  const std::u16string& ExchangePath() const { return FSwitches.ExchangePath; }
  bool ExportPO() const { return FSwitches.ExportPO; }
  // As given, each checked to be a language tag; empty for every language or file.
  const std::vector<std::u16string>& ExportLanguages() const { return FSwitches.Languages; }
  const std::vector<std::u16string>& ExportFiles() const { return FSwitches.Files; }

private:
  // What the switches set; every parse starts again from these defaults.
  struct TSwitches {
    THlxCommandMode Mode = ecmNone;
    bool BatchMode = false;
    std::u16string FileName;
    std::u16string LogFileName;
    std::u16string OutputFileName;
    bool OutputGiven = false;
    std::u16string RepositoryFileName;
    std::u16string ImportTmxFileName, ExportTmxFileName;
    bool Quiet = false;
    bool Json = false;
    bool Help = false;
    bool Version = false;
    bool Warnings = false;
    THlxExchangeRun Exchange = THlxExchangeRun::erNone;
    std::u16string ExchangePath;
    bool ExportPO = false;
    std::vector<std::u16string> Languages;
    std::vector<std::u16string> Files;
  };
  struct TExchangeSwitches {
    std::u16string Export, Import, Format;
  };

  void ApplyRunSwitches(bool Integration, bool Egg, const std::u16string& Project);
  void ApplyExchangeSwitches(const TExchangeSwitches& X, bool Run, const std::u16string& Project);

  TSwitches FSwitches;
  std::vector<std::u16string> FLogStrings;
  int32_t FErrorCount = 0;
  int32_t FExitCode = 0;
  bool FIntegrationTools = false;
};
