#pragma once
// The switches of an unattended run and its log. The workspace runs the batch; this object
// holds what the command line asked for and what the run reported.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/QEMClasses.h"
#include "platform/QEMSysUtils.h"

enum THlxCommandMode : uint8_t { ecmNone, ecmIntegration, ecmEggInteg };

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

  THlxCommandMode Mode() const { return FMode; }
  bool BatchMode() const { return FBatchMode; }
  const std::u16string& FileName() const { return FFileName; }
  const std::u16string& LogFileName() const { return FLogFileName; }
  const std::u16string& OutputFileName() const { return FOutputFileName; }
  // Only an output file the user named is written.
  bool OutputGiven() const { return FOutputGiven; }
  // "-O -": the statistics go to standard output.
  bool OutputToStdout() const { return FOutputGiven && FOutputFileName == u"-"; }
  // The translation memory of this run; empty for the one the options name.
  const std::u16string& RepositoryFileName() const { return FRepositoryFileName; }
  bool Quiet() const { return FQuiet; }
  bool Json() const { return FJson; }
  bool HelpAsked() const { return FHelp; }
  bool VersionAsked() const { return FVersion; }
  std::vector<std::u16string>& LogStrings() { return FLogStrings; }
  int32_t ErrorCount() const { return FErrorCount; }
  int32_t ExitCode() const { return FExitCode; }
  bool IntegrationTools() const { return FIntegrationTools; }

private:
  THlxCommandMode FMode = ecmNone;
  bool FBatchMode = false;
  std::u16string FFileName;
  std::u16string FLogFileName;
  std::u16string FOutputFileName;
  bool FOutputGiven = false;
  std::u16string FRepositoryFileName;
  bool FQuiet = false;
  bool FJson = false;
  bool FHelp = false;
  bool FVersion = false;
  std::vector<std::u16string> FLogStrings;
  int32_t FErrorCount = 0;
  int32_t FExitCode = 0;
  bool FIntegrationTools = false;
};
