#include "workspace/QEMCommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

THlxCommandLine::THlxCommandLine() = default;
THlxCommandLine::~THlxCommandLine() = default;

void THlxCommandLine::ParseCmdLine(const std::vector<std::u16string>& Args) {
  FMode = ecmNone;
  FBatchMode = false;
  size_t i = 0;
  const auto next = [&]() -> std::u16string { return ++i < Args.size() ? Args[i] : u""; };
  for (; i < Args.size(); ++i) {
    const std::u16string& arg = Args[i];
    const std::u16string s = QEMUpperCase(arg);
    if (s == u"-I") {
      FMode = ecmIntegration;
      FBatchMode = true;
    } else if (s == u"-E") {
      FMode = ecmEggInteg;
      FBatchMode = true;
    } else if (s == u"-L" || s == u"--LOG")
      FLogFileName = next();
    else if (s == u"-O" || s == u"--OUTPUT") {
      FOutputFileName = next();
      FOutputGiven = !FOutputFileName.empty();
    } else if (s == u"-T" || s == u"--TRANSLATOR" || s == u"--NOMERGE") {
      // start-up switches, read when the library starts
    } else if (!s.empty() && s[0] == u'-')
      throw EHLXException(std::u16string(SInvalidCommandLine));
    else
      FFileName = arg;
  }
  if (FFileName.empty()) return;
  std::error_code ec;
  const auto full = std::filesystem::absolute(QEMNativePath(FFileName), ec);
  if (!ec) FFileName = UTF8ToUTF16(full.lexically_normal().string());
  const std::u16string dir = ExtractFilePath(FFileName);
  if (FLogFileName.empty()) FLogFileName = dir + u"log.txt";
  if (FOutputFileName.empty()) FOutputFileName = dir + u"out.txt";
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
