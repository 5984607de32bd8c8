#pragma once
// PO catalogues for the exchange units: one catalogue per translated file and language, msgctxt
// the item's id, msgid and msgstr the plain source and translation, "#, fuzzy" for a status
// that needs review, the comment as translator comment and the previous source as "#| msgid".
// The header names the translated file (X-Original) and the languages.
#include <string>
#include <string_view>

#include "translator/QEMExchange.h"

QEM_API std::string QEMPOWrite(const TQEMExchangeFile& File);
// Raises EQEMError naming FileName and the line of the first thing it cannot read.
QEM_API TQEMExchangeFile QEMPORead(const std::u16string& FileName, std::string_view Bytes);
