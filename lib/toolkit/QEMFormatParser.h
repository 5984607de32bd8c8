#pragma once
// Lists the run-time format specifiers of a text (%s, %0:d, %-10.2f ...) in a normalised form,
// so that a translation can be checked to keep the specifiers of its original.
#include <cstdint>
#include <string>

#include "platform/QEMExport.h"
#include "settings/QEMGridFont.h"

// One scan at a time; the parse steps are public so packages can reuse them.
class QEM_API TFormatParser {
public:
  // One token "[%" index ":" rest "]" per specifier of S, in order of appearance. Font is kept
  // for the caller's sake; DOSVars also takes %NAME% references into the token.
  std::u16string ExtractFormatSpecifier(const std::u16string& S, const TQEMFont* Font,
                                        bool DOSVars);

  bool GetCh();
  void UnGetCh() { ChIndex = UndoIndex; }
  // Raises EQEMConvertError for an explicit index that does not fit.
  bool ParseArgumentIndexSpecifier();
  bool ExtractArgIndexSpec();
  bool ParseLeftJustificationIndicator();
  bool ParseWidthSpecifier();
  bool ParsePrecisionSpecifier();
  bool ParseConversionTypeCharacter();
  bool ParseDOSVariable();

  int32_t ChIndex = 0; // 1-based; 0 before the first character
  int32_t UndoIndex = 0;
  char16_t Ch = 0; // 0 past the end
  const TQEMFont* Font = nullptr;
  std::u16string FmtSpec;
  bool ParsedCTC = false;
  int32_t ArgIndexCount = 0;
  bool ArgIndexFound = false;
  std::u16string FromString;

private:
  void AppendRun(bool (*InClass)(char16_t));
};

// Through the shared parser.
QEM_API std::u16string ExtractFormatSpecifier(const std::u16string& S,
                                              const TQEMFont* Font = nullptr, bool DOSVars = false);
