#include "QEMLibrary.h"

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMTypes.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMRegistry.h"

namespace {
int gInitCount = 0;
}

// Units start in this order and stop in the reverse one. Later units take the slot named in
// the comment; none of them may start another unit itself.
void QEMInitialize() {
  if (gInitCount++ > 0) return;
  try {
    QEMTypesInitialize();
    QEMStrsInitialize();   // run mode, base key, default notes version, InIDE
    // slot: option properties
    QEMUtilsInitialize();  // temporary-file list
    QEMIntlUtilsInitialize(); // language table
    // slot: repository engine
    // slot: repository services
    QEMCommonInitialize(); // inside the IDE: binary directory and reload queue
    // slot: file-type registry
    // slot: egg support
    // slot: repository frame
    // slot: international parser
    // slot: search
    // slot: stop-watch
    // slot: translator window (TranslatedStatus from the options)
    // slot: main window
    bIntegrationTools = IsTranslatorMode();
  } catch (...) {
    // A half-started library must not be left behind for the next attempt.
    gInitCount = 1;
    QEMFinalize();
    throw;
  }
}

void QEMFinalize() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  QEMCommonFinalize();
  QEMIntlUtilsFinalize();
  QEMUtilsFinalize();
  QEMStrsFinalize();
  QEMCloseHive();
}

bool QEMInitialized() { return gInitCount > 0; }
