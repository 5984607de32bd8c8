#pragma once
// Text and error basics every other unit stands on: the exception base, UTF conversions and the
// locale-independent case rules of the host library.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "platform/QEMExport.h"

// Base of every exception the library raises; carries the user-visible message in UTF-16.
class QEM_API EQEMError : public std::exception {
public:
  explicit EQEMError(std::u16string Msg);
  ~EQEMError() override;
  const std::u16string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FUtf8.c_str(); }

private:
  std::u16string FMessage;
  std::string FUtf8;
};

// The message of any exception, for reports that name what failed.
QEM_API std::u16string QEMExceptionMessage(const std::exception& E);

// Raised by a failing conversion of text to a number or date.
class QEM_API EQEMConvertError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

// Helpers whose names other libraries use too live in namespace qem, so that libqem never
// exports them bare (a package linking such a library would get ours); the using declarations
// keep them callable by their names.
namespace qem {
// Malformed input becomes U+FFFD rather than an exception: text from files must never crash us.
QEM_API std::u16string UTF8ToUTF16(std::string_view S);
QEM_API std::string UTF16ToUTF8(std::u16string_view S);
// The offset of the first byte that does not start a well-formed UTF-8 character (overlong
// forms, surrogates and values above U+10FFFF included), or npos when S is all valid.
QEM_API size_t QEMFindInvalidUTF8(std::string_view S);
} // namespace qem
using qem::QEMFindInvalidUTF8;
using qem::UTF16ToUTF8;
using qem::UTF8ToUTF16;

// Full Unicode case mapping, independent of the process locale.
QEM_API std::u16string QEMUpperCase(std::u16string_view S);
QEM_API std::u16string QEMLowerCase(std::u16string_view S);
// Case-insensitive comparison by Unicode case folding: <0, 0, >0.
QEM_API int QEMCompareText(std::u16string_view A, std::u16string_view B);
QEM_API bool QEMSameText(std::u16string_view A, std::u16string_view B);
// Case folding as a key for case-insensitive maps and indexes.
QEM_API std::u16string QEMFoldCase(std::u16string_view S);

QEM_API std::u16string QEMTrim(std::u16string_view S);
namespace qem {
QEM_API std::u16string IntToStr(int64_t Value);
// Decimal integer with optional sign and surrounding blanks; nothing when the text is not one
// or does not fit 32 bits.
QEM_API std::optional<int32_t> TryStrToInt(std::u16string_view S);
QEM_API int32_t StrToIntDef(std::u16string_view S, int32_t Default);
} // namespace qem
using qem::IntToStr;
using qem::StrToIntDef;
using qem::TryStrToInt;

// Asks the allocator to keep what is freed for what comes next: a run goes through files of
// like sizes, and memory handed back to the system in between only returns as page faults.
// Called once at start-up by the programs (and by the benchmarks, to measure what they get).
QEM_API void QEMKeepFreedMemory();

// Replaces every occurrence of From (ignoring case when asked) by To.
QEM_API std::u16string QEMStringReplace(std::u16string_view S, std::u16string_view From,
                                        std::u16string_view To, bool IgnoreCase);
