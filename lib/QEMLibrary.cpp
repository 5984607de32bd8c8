#include "QEMLibrary.h"

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMTypes.h"
#include "core/QEMUtilsFiles.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryService.h"
#include "settings/QEMGridColor.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMEggSupport.h"
#include "toolkit/QEMIntlParser.h"
#include "translator/QEMFileTypes.h"
#include "translator/QEMTiming.h"

namespace {
int gInitCount = 0;
}

// Units start in this order and stop in the reverse one. Later units take the slot named in
// the comment; none of them may start another unit itself.
void QEMInitialize() {
  if (gInitCount++ > 0) return;
  try {
    // The units read their settings under one lock and from one state of the file.
    TQEMHiveReadBatch settings(QEMHive());
    QEMTypesInitialize();
    QEMStrsInitialize();                // run mode, base key, default notes version, InIDE
    QEMINTOptionPropInitialize();       // option properties
    QEMGridColorInitialize();           // colour schemes
    QEMUtilsInitialize();               // temporary-file list
    QEMIntlUtilsInitialize();           // language table
    QEMGridFontInitialize();            // grid fonts read the language table
    QEMNewRepositoryEngineInitialize(); // repository engine
    QEMRepositoryServiceInitialize();   // repository services
    QEMCommonInitialize();              // inside the IDE: binary directory and reload queue
    QEMFileTypesInitialize();           // file-type registry
    QEMEggSupportInitialize();          // egg support
    // slot: repository frame
    QEMIntlParserInitialize(); // international parser
    // slot: search
    QEMTimingInitialize(); // stop-watch
    // translator window: an entered translation may count as newly translated
    if (QEMINTOptionProps && QEMINTOptionProps->UseNewlyTranslated)
      TranslatedStatus = rsNewlyTranslated;
    QEMTranslatorFormForgetSettings(); // the revert answer is read by the first window asking
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
  QEMTimingFinalize();
  QEMIntlParserFinalize();
  QEMEggSupportFinalize();
  QEMFileTypesFinalize();
  QEMCommonFinalize();
  // The engine saves a modified repository here and reports a failure: options, languages and
  // the UI services must still be alive.
  QEMRepositoryServiceFinalize();
  QEMNewRepositoryEngineFinalize();
  QEMGridFontFinalize();
  QEMIntlUtilsFinalize();
  QEMUtilsFinalize();
  QEMGridColorFinalize();
  QEMINTOptionPropFinalize();
  QEMStrsFinalize();
  QEMCloseHive();
}

bool QEMInitialized() {
  return gInitCount > 0;
}
