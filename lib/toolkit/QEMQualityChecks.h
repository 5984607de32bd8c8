#pragma once
// Quality warnings on a translation: things a reviewer would query that the entry validation
// lets through. They never block storing or saving; a view shows them on the row and lists them
// for a file. Which kinds run is an option per kind.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "platform/QEMExport.h"

enum TQEMQualityWarning : uint8_t {
  qwWhitespace,     // leading or trailing white space differs
  qwEndPunctuation, // the final punctuation mark differs
  qwMissingNumber,  // a number of the original is not in the translation
  qwDoubledSpace,   // two spaces in a row inside the translation
  qwSameAsOriginal, // a translated item whose translation is the original
  qwAccelerator,    // the original has an accelerator marker, the translation none
};
inline constexpr int QEMQualityWarningCount = 6;

// Bit n for TQEMQualityWarning n.
using TQEMQualityWarningSet = uint8_t;
inline constexpr TQEMQualityWarningSet QEMAllQualityWarnings = (1u << QEMQualityWarningCount) - 1;
constexpr TQEMQualityWarningSet QEMQualityWarningBit(TQEMQualityWarning Kind) {
  return TQEMQualityWarningSet(1u << Kind);
}

// A half-open range of UTF-16 positions.
struct TQEMTextRange {
  int32_t Start = 0;
  int32_t Length = 0;
  bool operator==(const TQEMTextRange&) const = default;
};

struct TQEMQualityIssue {
  TQEMQualityWarning Kind = qwWhitespace;
  // Where in the translation; Start -1 when the warning concerns the text as a whole. Length 0
  // marks a place (for example where the end punctuation is missing).
  TQEMTextRange Range{-1, 0};
  std::u16string Message; // the display text
};

// How the texts of a file are written.
struct TQEMQualityCheckSettings {
  char16_t AccelChar = u'&';    // 0: the texts carry no accelerator markers
  char16_t QuoteChar = 0;       // literals: the checks look inside the outer quotes
  bool FormatSpecifiers = true; // digits of %-specifiers are not numbers
  TQEMQualityWarningSet Enabled = QEMAllQualityWarnings;
};

// The warnings of one translation, in the order of the kinds. Only items counted as translated
// (Translated, Auto Translated, Newly Translated) are checked: the rest hold no translation
// worth querying.
QEM_API std::vector<TQEMQualityIssue> QEMCheckQuality(std::u16string_view Original,
                                                      std::u16string_view Translation,
                                                      TResStatus Status,
                                                      const TQEMQualityCheckSettings& Settings);

// The kinds the options switch on; all when the options object does not exist.
QEM_API TQEMQualityWarningSet QEMEnabledQualityWarnings();
// The short name of a kind, for option pages and count columns.
QEM_API std::u16string QEMQualityWarningName(TQEMQualityWarning Kind);

// Where the format specifiers of S lie, in order (the specifiers the extractor lists).
QEM_API std::vector<TQEMTextRange> QEMFormatSpecifierRanges(std::u16string_view S);
