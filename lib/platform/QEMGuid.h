#pragma once
// New GUIDs in registry form, as project files record them.
#include <string>

#include "platform/QEMExport.h"

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal, random (version 4).
QEM_API std::u16string QEMNewGuid();
