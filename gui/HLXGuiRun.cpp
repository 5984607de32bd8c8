// The one entry point of libhlxgui.so: hlx calls it when no batch switch was given.
//   HLX_GUI_TIMING=1            prints start-up marks to standard error
//   HLX_GUI_QUIT_AFTER_START=1  ends the program once the window is up with its project open
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "QEMMainWindow.h"
#include "QEMQtText.h"
#include "QEMQtUIServices.h"
#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "workspace/QEMWorkspace.h"

namespace {

class TStartupTiming {
public:
  TStartupTiming() : FOn(std::getenv("HLX_GUI_TIMING") != nullptr) {
    const char* start = std::getenv("HLX_GUI_TIMING_START");
    FStart = start ? std::strtoll(start, nullptr, 10) : Now();
  }
  void Mark(const char* What) const {
    if (!FOn) return;
    const std::string line =
        UTF16ToUTF8(Format(SGuiTimingMark, What, int((Now() - FStart) / 1000000))) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }

private:
  static long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  bool FOn;
  long long FStart;
};

} // namespace

extern "C" __attribute__((visibility("default"))) int HLXGuiRun(TQEMWorkspace& Workspace, int argc,
                                                                char** argv) {
  const TStartupTiming timing;
  timing.Mark("gui-entry");
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(UTF8ToUTF16(argv[i]));
  int qtArgc = argc;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStr(QEMProductName()));
  QApplication::setApplicationVersion(QStr(QEMProductVersion()));
  timing.Mark("qapplication");
  auto services = std::make_shared<TQEMQtUIServices>();
  const auto previous = QEMSetUIServices(services);
  int rc = 0;
  {
    TQEMMainWindow window(Workspace, std::move(args));
    timing.Mark("window-created");
    const bool quitAfterStart = std::getenv("HLX_GUI_QUIT_AFTER_START") != nullptr;
    QObject::connect(&window, &TQEMMainWindow::started, &app, [&] {
      timing.Mark("project-open");
      if (quitAfterStart) QCoreApplication::quit();
    });
    window.show();
    timing.Mark("window-shown");
    rc = app.exec();
    if (window.ExitCode() >= 0) rc = window.ExitCode();
  }
  QEMSetUIServices(previous);
  return rc;
}
