#pragma once
// The one Format of the library: fills user-visible messages. Specifiers follow the host
// library's form, %[index:][-][0][width|*][.precision|*]type, with types d u x s f e g n p and
// %% for a percent sign. Precision sets the minimum digits of d/u/x, the decimals of f/e/n, the
// significant digits of g and the maximum length of s. A 0 flag pads numbers with zeros, so
// "%08x" gives eight hexadecimal digits. Hexadecimal digits are upper case; floats always use
// "." whatever the process locale.
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/QEMSysUtils.h"

class QEM_API TQEMFormatArg {
public:
  enum class TKind { Int, UInt, Float, Str, Ptr };

  template <std::signed_integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  TQEMFormatArg(T V) : FKind(TKind::Int), FInt(V) {}
  template <std::unsigned_integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t> &&
             !std::same_as<T, char8_t>)
  TQEMFormatArg(T V) : FKind(TKind::UInt), FUInt(V) {}
  TQEMFormatArg(double V) : FKind(TKind::Float), FFloat(V) {}
  TQEMFormatArg(std::u16string_view V) : FKind(TKind::Str), FStr(V) {}
  TQEMFormatArg(const std::u16string& V) : FKind(TKind::Str), FStr(V) {}
  TQEMFormatArg(const char16_t* V) : FKind(TKind::Str), FStr(V ? V : u"") {}
  TQEMFormatArg(char16_t V) : FKind(TKind::Str), FStr(1, V) {}
  // Narrow text is UTF-8.
  TQEMFormatArg(std::string_view V) : FKind(TKind::Str), FStr(UTF8ToUTF16(V)) {}
  TQEMFormatArg(const std::string& V) : FKind(TKind::Str), FStr(UTF8ToUTF16(V)) {}
  TQEMFormatArg(const char* V) : FKind(TKind::Str), FStr(UTF8ToUTF16(V ? V : "")) {}
  TQEMFormatArg(const void* V) : FKind(TKind::Ptr), FUInt(reinterpret_cast<uintptr_t>(V)) {}

  TKind Kind() const { return FKind; }
  int64_t AsInt() const { return FInt; }
  uint64_t AsUInt() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  const std::u16string& AsStr() const { return FStr; }

private:
  TKind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  double FFloat = 0;
  std::u16string FStr;
};

// Generic names are not exported bare (see platform/QEMSysUtils.h).
namespace qem {
// Raises EQEMConvertError for a specifier that does not fit its argument or has none.
QEM_API std::u16string FormatArgs(std::u16string_view Fmt,
                                  std::initializer_list<TQEMFormatArg> Args);
} // namespace qem
using qem::FormatArgs;

template <class... A> std::u16string Format(std::u16string_view Fmt, const A&... Args) {
  return FormatArgs(Fmt, {TQEMFormatArg(Args)...});
}
