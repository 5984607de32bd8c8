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
#include <type_traits>
#include <utility>

#include "platform/QEMSysUtils.h"

class QEM_API TQEMFormatArg {
public:
  enum class TKind { Int, UInt, Float, Str, Ptr };

  template <std::signed_integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) TQEMFormatArg(T V)
      : FKind(TKind::Int), FInt(V) {}
  template <std::unsigned_integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t> &&
           !std::same_as<T, char8_t>) TQEMFormatArg(T V)
      : FKind(TKind::UInt), FUInt(V) {}
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

namespace fmtcheck {
using TKind = TQEMFormatArg::TKind;
template <TKind K> using TIs = std::integral_constant<TKind, K>;
// The kind TQEMFormatArg makes of each argument type: the same overloads as its constructors.
template <std::signed_integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, char>) TIs<TKind::Int> KindOf(T);
template <std::unsigned_integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t> &&
         !std::same_as<T, char8_t>) TIs<TKind::UInt> KindOf(T);
TIs<TKind::Float> KindOf(double);
TIs<TKind::Str> KindOf(std::u16string_view);
TIs<TKind::Str> KindOf(const std::u16string&);
TIs<TKind::Str> KindOf(const char16_t*);
TIs<TKind::Str> KindOf(char16_t);
TIs<TKind::Str> KindOf(std::string_view);
TIs<TKind::Str> KindOf(const std::string&);
TIs<TKind::Str> KindOf(const char*);
TIs<TKind::Ptr> KindOf(const void*);
template <class A>
inline constexpr TKind KindOfArg = decltype(KindOf(std::declval<const A&>()))::value;

// Not constexpr: reaching one while checking a format at compile time stops the build, and the
// compiler names it together with the offending call.
inline void FormatHasMoreSpecifiersThanArguments() {}
inline void FormatArgumentDoesNotFitItsSpecifier() {}
inline void FormatArgumentIsNeverUsed() {}
inline void FormatSpecifierIsMalformed() {}

// Walks Fmt as FormatArgs does, with only the kinds of the arguments.
template <size_t N> struct TChecker {
  const TKind* Kinds;
  std::u16string_view Fmt;
  size_t I = 0, ArgIndex = 0;
  bool Used[N + 1] = {};

  constexpr bool At(char16_t C) const { return I < Fmt.size() && Fmt[I] == C; }
  constexpr bool AtDigit() const { return I < Fmt.size() && Fmt[I] >= u'0' && Fmt[I] <= u'9'; }
  constexpr TKind Next() {
    if (ArgIndex >= N) FormatHasMoreSpecifiersThanArguments();
    Used[ArgIndex] = true;
    return Kinds[ArgIndex++];
  }
  constexpr void Number() {
    if (At(u'*')) {
      if (const TKind K = Next(); K != TKind::Int && K != TKind::UInt)
        FormatArgumentDoesNotFitItsSpecifier();
      ++I;
      return;
    }
    while (AtDigit())
      ++I;
  }
  constexpr void Index() {
    size_t J = I, Value = 0;
    for (; J < Fmt.size() && Fmt[J] >= u'0' && Fmt[J] <= u'9'; ++J)
      Value = Value * 10 + size_t(Fmt[J] - u'0');
    if (J < Fmt.size() && Fmt[J] == u':') ArgIndex = Value, I = J + 1;
  }
  constexpr void Fits(char16_t Type, TKind K) const {
    const bool Number = K == TKind::Int || K == TKind::UInt;
    switch (Type | 0x20) {
    case u'd':
    case u'u':
    case u'x':
      if (!Number) FormatArgumentDoesNotFitItsSpecifier();
      break;
    case u'f':
    case u'e':
    case u'g':
    case u'n':
      if (!Number && K != TKind::Float) FormatArgumentDoesNotFitItsSpecifier();
      break;
    case u'p':
      if (K != TKind::Ptr) FormatArgumentDoesNotFitItsSpecifier();
      break;
    case u's':
      if (K != TKind::Str) FormatArgumentDoesNotFitItsSpecifier();
      break;
    default:
      FormatSpecifierIsMalformed();
    }
  }
  constexpr void Specifier() {
    Index();
    if (At(u'-')) ++I;
    Number();
    if (At(u'.')) ++I, Number();
    if (I >= Fmt.size()) FormatSpecifierIsMalformed();
    const char16_t Type = Fmt[I++];
    Fits(Type, Next());
  }
  constexpr void Run() {
    while (I < Fmt.size()) {
      if (Fmt[I++] != u'%') continue;
      if (I >= Fmt.size()) FormatSpecifierIsMalformed();
      if (At(u'%'))
        ++I;
      else
        Specifier();
    }
    for (size_t K = 0; K < N; ++K)
      if (!Used[K]) FormatArgumentIsNeverUsed();
  }
};
} // namespace fmtcheck
} // namespace qem
using qem::FormatArgs;

// A format whose specifiers are checked against the argument types when the call is compiled:
// too few or too many arguments, or one that does not fit its specifier, stop the build.
template <class... A> struct TQEMFormatString {
  template <class S>
  requires std::convertible_to<const S&, std::u16string_view>
  consteval TQEMFormatString(const S& Text) : FText(Text) {
    constexpr qem::fmtcheck::TKind Kinds[] = {qem::fmtcheck::KindOfArg<A>...,
                                              qem::fmtcheck::TKind::Int};
    qem::fmtcheck::TChecker<sizeof...(A)>{Kinds, FText}.Run();
  }
  std::u16string_view FText;
};

// A format known only at run time (read from settings, or one of two messages picked by a
// condition): checked as it is filled, raising EQEMConvertError.
struct TQEMRuntimeFormat {
  std::u16string_view FText;
};

template <class... A>
std::u16string Format(TQEMFormatString<std::type_identity_t<A>...> Fmt, const A&... Args) {
  return FormatArgs(Fmt.FText, {TQEMFormatArg(Args)...});
}
template <class... A> std::u16string Format(TQEMRuntimeFormat Fmt, const A&... Args) {
  return FormatArgs(Fmt.FText, {TQEMFormatArg(Args)...});
}
