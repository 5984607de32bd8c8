#pragma once
// The languages ICU knows, walked the way the language table wants them: one entry per locale
// that an LCID stands for, with its ANSI code page, English display name, language tag and
// three-letter code. The walk is slow (every ICU locale, with likely-subtag lookups), so the
// build runs it once and the library starts from the result; it stays here for checking that
// result against the ICU of the running system.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/QEMExport.h"

struct TQEMLocaleSeed {
  uint32_t LocaleID = 0;
  uint32_t CodePage = 0;
  std::u16string DispName;
  std::string LangTag;
  std::string LangExt; // ICU's three-letter language code, lower case; may be empty
};

// In ICU's order of available locales; an LCID may come more than once (the first one counts).
QEM_API std::vector<TQEMLocaleSeed> QEMWalkICULocales();
// The ICU version the walk ran against ("72.1").
QEM_API std::string QEMICUVersion();
