#pragma once
// XLIFF 1.2 (the transitional schema) for the exchange units: one <file> per translated file,
// a <trans-unit> per item with plain <source> and <target>, the status as state, approved and
// translate, the comment as <note> and the previous source and translation as <alt-trans>.
#include <string>
#include <string_view>
#include <vector>

#include "translator/QEMExchange.h"

// Raises EQEMError for a text XML cannot carry (a control character), naming the item.
QEM_API std::string QEMXliffWrite(const TQEMExchangeFile& File);
// Every <file> of the document. Raises EQEMError naming FileName and the line of the first
// thing it cannot read.
QEM_API std::vector<TQEMExchangeFile> QEMXliffRead(const std::u16string& FileName,
                                                   std::string_view Bytes);
