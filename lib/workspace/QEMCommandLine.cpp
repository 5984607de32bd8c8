#include "workspace/QEMCommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

THlxCommandLine::THlxCommandLine() = default;
THlxCommandLine::~THlxCommandLine() = default;

namespace {

EHLXException UsageError(const std::u16string& Why) {
  return EHLXException(Format(SHlxTryHelp, Why));
}

std::u16string FullPath(const std::u16string& Name) {
  std::error_code ec;
  const auto full = std::filesystem::absolute(QEMNativePath(Name), ec);
  return ec ? Name : UTF8ToUTF16(full.lexically_normal().string());
}

// The switch as the user typed it, without a value joined by "=".
std::u16string SwitchName(const std::u16string& Arg) {
  return Arg.substr(0, Arg.find(u'='));
}

} // namespace

void THlxCommandLine::ParseCmdLine(const std::vector<std::u16string>& Args) {
  FMode = ecmNone;
  FBatchMode = false;
  FFileName.clear();
  FLogFileName.clear();
  FOutputFileName.clear();
  FOutputGiven = false;
  FRepositoryFileName.clear();
  FQuiet = FJson = FHelp = FVersion = false;

  // The arguments before "--" are the ones that may be switches.
  const size_t switchEnd = size_t(std::find(Args.begin(), Args.end(), u"--") - Args.begin());
  CLI::App app;
  app.set_help_flag();
  app.allow_extras(); // unknown switches are named by us, in our words
  app.option_defaults()->ignore_case()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  bool integration = false, egg = false, ignored = false;
  std::string log, output, repository;
  std::vector<std::string> projects;
  app.add_flag("-I", integration);
  app.add_flag("-E", egg);
  CLI::Option* logOpt = app.add_option("-L,--log", log);
  CLI::Option* outputOpt = app.add_option("-O,--output", output);
  CLI::Option* repositoryOpt = app.add_option("--repository", repository);
  app.add_flag("--quiet", FQuiet);
  app.add_flag("--json", FJson);
  // Start-up switches, read when the library starts.
  app.add_flag("-T,--translator,--nomerge", ignored);
  app.add_flag("-h,--help,-?", FHelp);
  app.add_flag("--version", FVersion);
  app.add_option("project", projects);

  // "-L=FILE" as "--log=FILE"; CLI11 would keep the "=" in the value.
  std::vector<std::string> reversed;
  for (size_t i = Args.size(); i-- > 0;) {
    std::string arg = UTF16ToUTF8(Args[i]);
    if (i < switchEnd && arg.size() > 2 && arg[0] == '-' && arg[1] != '-' && arg[2] == '=' &&
        (logOpt->check_name(arg.substr(0, 2)) || outputOpt->check_name(arg.substr(0, 2))))
      arg.erase(2, 1);
    reversed.push_back(std::move(arg));
  }
  // A value is taken even when it looks like a switch, so only the last argument can lack one.
  const auto lastSwitch = [&] {
    return switchEnd > 0 ? SwitchName(Args[switchEnd - 1]) : std::u16string();
  };
  // CLI11 reads "--log=" as "--log" and takes the next argument: refused here instead.
  for (size_t i = 0; i < switchEnd; ++i) {
    if (Args[i].size() < 3 || !Args[i].starts_with(u"--") || !Args[i].ends_with(u"=")) continue;
    const std::u16string name = SwitchName(Args[i]);
    for (const CLI::Option* opt : {logOpt, outputOpt, repositoryOpt})
      if (opt->check_name(UTF16ToUTF8(name))) throw UsageError(Format(SHlxMissingValue, name));
    throw UsageError(Format(SHlxUnknownSwitch, name));
  }
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch&) {
    throw UsageError(Format(SHlxMissingValue, lastSwitch()));
  } catch (const CLI::ParseError&) {
    throw UsageError(std::u16string(SInvalidCommandLine));
  }
  if (FHelp || FVersion) return;
  for (const std::string& extra : app.remaining())
    if (extra != "--") throw UsageError(Format(SHlxUnknownSwitch, SwitchName(UTF8ToUTF16(extra))));
  for (size_t i = 0; i < switchEnd; ++i)
    if (Args[i].size() > 1 && Args[i][0] == u'-' &&
        std::find(projects.begin(), projects.end(), UTF16ToUTF8(Args[i])) != projects.end())
      throw UsageError(Format(SHlxUnknownSwitch, SwitchName(Args[i])));
  if (projects.size() > 1)
    throw UsageError(Format(SHlxTwoProjects, UTF8ToUTF16(projects[0]), UTF8ToUTF16(projects[1])));
  // An empty value names no file either.
  for (const auto& [opt, value] : {std::pair<CLI::Option*, std::string*>{logOpt, &log},
                                   {outputOpt, &output},
                                   {repositoryOpt, &repository}}) {
    if (opt->count() == 0 || !value->empty()) continue;
    std::u16string typed = UTF8ToUTF16(opt->get_name());
    for (size_t i = 0; i < switchEnd; ++i)
      if (opt->check_name(UTF16ToUTF8(SwitchName(Args[i])))) typed = SwitchName(Args[i]);
    throw UsageError(Format(SHlxMissingValue, typed));
  }

  if (egg)
    FMode = ecmEggInteg; // it runs the updaters as well
  else if (integration)
    FMode = ecmIntegration;
  FBatchMode = FMode != ecmNone;
  FLogFileName = UTF8ToUTF16(log);
  FOutputFileName = UTF8ToUTF16(output);
  FOutputGiven = !FOutputFileName.empty();
  if (!repository.empty()) FRepositoryFileName = FullPath(UTF8ToUTF16(repository));
  if (!projects.empty()) FFileName = UTF8ToUTF16(projects[0]);
  if (FFileName.empty()) return;
  FFileName = FullPath(FFileName);
  const std::u16string dir = ExtractFilePath(FFileName);
  if (FLogFileName.empty()) FLogFileName = dir + u"log.txt";
  if (FOutputFileName.empty()) FOutputFileName = dir + u"out.txt";
}

void THlxCommandLine::CheckNamedFiles() const {
  if (FBatchMode && !FFileName.empty() && !FileExists(FFileName))
    throw EHLXException(Format(SFileNotFound, FFileName));
  if (!FRepositoryFileName.empty() && !FileExists(FRepositoryFileName))
    throw EHLXException(Format(SHlxRepositoryNotFound, FRepositoryFileName));
}

void THlxCommandLine::WriteLog() {
  if (!FBatchMode || FLogFileName.empty()) return;
  std::string text;
  for (const auto& line : FLogStrings)
    text += UTF16ToUTF8(line) + '\n';
  const std::string path = QEMNativePath(FLogFileName);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  struct stat st {};
  bool ok = fd >= 0 && fstat(fd, &st) == 0;
  // Runs are separated by an empty line.
  if (ok && st.st_size > 0) text.insert(0, "\n");
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += size_t(n);
  }
  const int err = errno;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    const std::string msg = UTF16ToUTF8(
        Format(SCmdCannotWriteLog, FLogFileName, UTF8ToUTF16(std::strerror(err ? err : EIO))));
    std::fprintf(stderr, "%s\n", msg.c_str());
    if (FErrorCount == 0) FErrorCount = 1;
  }
}
