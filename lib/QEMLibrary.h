#pragma once
// One explicit start-up and shut-down of the library's process-wide objects, in the documented
// order, so that nothing depends on static-initialisation order. Calls nest: only the outermost
// pair does the work.
#include "platform/QEMExport.h"

QEM_API void QEMInitialize();
QEM_API void QEMFinalize();
QEM_API bool QEMInitialized();
