#include "workspace/QEMCommandLine.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

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
    } else if (s == u"-L" || s == u"--LOG") FLogFileName = next();
    else if (s == u"-O" || s == u"--OUTPUT") FOutputFileName = next();
    else if (s == u"-T" || s == u"--TRANSLATOR" || s == u"--NOMERGE") {
      // start-up switches, read when the library starts
    } else if (!s.empty() && s[0] == u'-') throw EHLXException(std::u16string(SInvalidCommandLine));
    else FFileName = arg;
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
  try {
    QEMSaveFileAtomically(FLogFileName, [&](std::ostream& Out) {
      for (const auto& line : FLogStrings) Out << UTF16ToUTF8(line) << '\n';
    });
  } catch (const std::exception& e) {
    const std::string msg = UTF16ToUTF8(Format(SCmdCannotWriteLog, FLogFileName, QEMExceptionMessage(e)));
    std::fprintf(stderr, "%s\n", msg.c_str());
    if (FErrorCount == 0) FErrorCount = 1;
  }
}
