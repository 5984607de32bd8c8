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
  // file system tells case apart. Raises EHLXException "Invalid command line" on an unknown
  // switch. Args excludes the program name.
  void ParseCmdLine(const std::vector<std::u16string>& Args);
  // In batch mode appends the collected lines to the log file (after an empty line when the
  // file already had a run), never truncating it. A log that cannot be written is reported on
  // standard error and counts as an error.
  void WriteLog();

  void AddLog(const std::u16string& Line) { FLogStrings.push_back(Line); }
  void CountError() { ++FErrorCount; }
  // The process exit code: the number of errors, at most 255 so that no count reads as success.
  int ProcessExitCode() const { return FErrorCount > 255 ? 255 : FErrorCount; }

  THlxCommandMode Mode() const { return FMode; }
  bool BatchMode() const { return FBatchMode; }
  const std::u16string& FileName() const { return FFileName; }
  const std::u16string& LogFileName() const { return FLogFileName; }
  const std::u16string& OutputFileName() const { return FOutputFileName; }
  // Only an output file the user named is written.
  bool OutputGiven() const { return FOutputGiven; }
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
  std::vector<std::u16string> FLogStrings;
  int32_t FErrorCount = 0;
  int32_t FExitCode = 0;
  bool FIntegrationTools = false;
};
