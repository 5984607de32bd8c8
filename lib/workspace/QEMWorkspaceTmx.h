#pragma once
// The unattended TMX steps of a command line, over the process-wide repository (the run's when
// --repository names one): --import-tmx merges a file of another tool into it before anything
// else runs, --export-tmx writes it as TMX 1.4b after the run. Each failure goes to Error, one
// error of the run each; what was done goes to Summary as one line.
#include <functional>
#include <string>

#include "platform/QEMSysUtils.h"

using TQEMTmxReport = std::function<void(const std::u16string&)>;

QEM_API void QEMRunTmxImport(const std::u16string& FileName, const TQEMTmxReport& Summary,
                             const TQEMTmxReport& Error);
QEM_API void QEMRunTmxExport(const std::u16string& FileName, const TQEMTmxReport& Summary,
                             const TQEMTmxReport& Error);
