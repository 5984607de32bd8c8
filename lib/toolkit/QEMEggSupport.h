#pragma once
// Pseudo-translation ("egg") patterns: per status and file kind, a registry text in which %S
// stands for the item's text and %% for a percent sign.
#include <string>

#include "core/QEMTypes.h"
#include "platform/QEMExport.h"

// Result starts as Current; when a pattern exists for (Status, Kind) it becomes the pattern
// applied to Text and the result is true.
QEM_API bool GetEggString(TResStatus Status, const std::u16string& Kind, const std::u16string& Text,
                          const std::u16string& Current, std::u16string& Result);
// The status egged items receive; the arguments do not change it.
QEM_API TResStatus GetEggStatus(TResStatus Status, const std::u16string& Kind);

// The pattern for (Status, Kind), empty when there is none. The last one read is kept, so
// changing a stored pattern needs QEMEggResetCache to be seen.
QEM_API std::u16string QEMEggPattern(TResStatus Status, const std::u16string& Kind);
QEM_API std::u16string QEMApplyEggPattern(const std::u16string& Pattern,
                                          const std::u16string& Text);
QEM_API void QEMEggResetCache();

// Unit start-up and shut-down, called by QEMInitialize/QEMFinalize.
QEM_API void QEMEggSupportInitialize();
QEM_API void QEMEggSupportFinalize();
