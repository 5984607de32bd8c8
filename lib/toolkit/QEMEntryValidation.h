#pragma once
// Checks an edited translation against its original before it is stored: numeric type, format
// specifiers, escape sequences, surrounding spaces, literal quoting and paired brackets. Failures
// and questions go through the UI services; what can be repaired is handed back repaired.
#include <string>

#include "core/QEMTypes.h"
#include "platform/QEMExport.h"
#include "settings/QEMGridFont.h"

// The little a grid must offer to have its entries validated.
class QEM_API IQEMValidationGrid {
public:
  virtual ~IQEMValidationGrid();
  virtual std::u16string GetCell(int Column, int Row) const = 0;
  virtual void SetCell(int Column, int Row, const std::u16string& Value) = 0;
  virtual TQEMFont ColumnFont(int Column) const = 0;
};

// The last literal IsValidString produced (with any quotes it added).
QEM_API extern std::u16string NewString;

// QuoteChar 0 skips the literal checks. Writes a repaired translation back into its cell.
QEM_API bool ValidateGridEntry(IQEMValidationGrid& Grid, int OriginalColumn, int TranslationColumn,
                               int Row, bool CheckFormatSpecifiers, bool CheckEscapes,
                               char16_t QuoteChar);
// True when Translation may be stored; it may then have been repaired.
QEM_API bool ValidateEntry(const void* Sender, const std::u16string& Original,
                           std::u16string& Translation, const TQEMFont* OriginalFont,
                           const TQEMFont* TranslationFont, bool CheckFormatSpecifiers,
                           bool CheckEscapes, char16_t QuoteChar);
QEM_API TNumericType NumericTypeOf(const std::u16string& Text, const TQEMFont* Font = nullptr);
// The error message, empty for a well-formed literal. Sets NewString.
QEM_API std::u16string IsValidString(const std::u16string& Text, char16_t QuoteChar,
                                     const TQEMFont* Font, bool AllowEscapes, bool AutoQuote);
QEM_API bool HasOpenAndCloseChars(const std::u16string& Text, char16_t OpenChar, char16_t CloseChar,
                                  const TQEMFont* Font = nullptr);
// The value must keep the comment delimiters of the original.
QEM_API bool ValidateComment(const std::u16string& Original, std::u16string& Value);
