#include "core/QEMLiterals.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

namespace {

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

// Where and why a literal failed. Pos is 1-based; 0 means no error.
struct TLitError {
  int Pos = 0;
  std::u16string_view Msg;
};

bool IsDigitOf(char16_t C, unsigned Base, unsigned& Value) {
  if (C >= u'0' && C <= u'9')
    Value = C - u'0';
  else if (C >= u'A' && C <= u'F')
    Value = C - u'A' + 10;
  else if (C >= u'a' && C <= u'f')
    Value = C - u'a' + 10;
  else
    return false;
  return Value < Base;
}

bool IsHexDigit(char16_t C) {
  unsigned v;
  return IsDigitOf(C, 16, v);
}

// Out == nullptr validates only. The error is set when the result is false.
bool ParsePas(std::u16string_view S, std::u16string* Out, TLitError& Err) {
  const size_t n = S.size();
  auto fail = [&](size_t I, std::u16string_view Msg) {
    Err = {int(I) + 1, Msg};
    return false;
  };
  size_t i = 0;
  while (i < n) {
    if (S[i] == u'\'') {
      ++i;
      for (;;) {
        if (i >= n) return fail(i, SInvalidCharacter);
        const char16_t c = S[i];
        if (c == 0 || c == LF || c == CR) return fail(i, SInvalidCharacter);
        if (c == u'\'') {
          ++i;
          if (i < n && S[i] == u'\'') {
            if (Out) Out->push_back(u'\'');
            ++i;
            continue;
          }
          break;
        }
        if (Out) Out->push_back(c);
        ++i;
      }
    } else if (S[i] == u'#') {
      ++i;
      unsigned base = 10;
      if (i < n && S[i] == u'$') {
        base = 16;
        ++i;
      }
      unsigned d;
      if (i >= n || !IsDigitOf(S[i], base, d)) return fail(i, SNumberExpected);
      // Only the low 16 bits reach the output, so keeping just those cannot overflow.
      uint32_t v = 0;
      while (i < n && IsDigitOf(S[i], base, d)) {
        v = (v * base + d) & 0xFFFF;
        ++i;
      }
      if (Out) Out->push_back(char16_t(v));
    } else {
      return fail(i, SInvalidCharacter);
    }
  }
  return true;
}

// The escape letters both ways; \n and \r are decided before the table when reading.
struct TEscape {
  char16_t Letter;
  char16_t Code;
};
constexpr TEscape Escapes[] = {{u'a', 7}, {u'b', 8},  {u'f', 12},  {u'n', 10},  {u'r', 13},
                               {u't', 9}, {u'v', 11}, {u'\\', 92}, {u'\'', 39}, {u'"', 34}};

bool ParseCPP(std::u16string_view S, std::u16string* Out, TLitError& Err) {
  const size_t n = S.size();
  auto fail = [&](size_t I, std::u16string_view Msg) {
    Err = {int(I) + 1, Msg};
    return false;
  };
  auto put = [&](char16_t C) {
    if (Out) Out->push_back(C);
  };
  size_t i = 0;
  while (i < n) {
    const char16_t c = S[i];
    if (c == u'\t' || c == LF || c == CR || c == u' ') {
      ++i;
      continue;
    }
    if (c != u'"') return fail(i, SInvalidCharacter);
    ++i;
    for (;;) {
      if (i >= n) return fail(i, SUnterminatedString);
      const char16_t q = S[i];
      if (q == u'"') {
        ++i;
        break;
      }
      if (q != u'\\') {
        put(q);
        ++i;
        continue;
      }
      ++i;
      if (i >= n) return fail(i, SUnterminatedString);
      const char16_t e = S[i];
      unsigned base = 0;
      if (e == u'n') {
        put(CR);
        put(LF);
        ++i;
      } else if (e == u'r') {
        if (i + 2 < n && S[i + 1] == u'\\' && S[i + 2] == u'n') {
          put(CR);
          put(LF);
          i += 3;
        } else {
          put(CR);
          ++i;
        }
      } else if (e >= u'0' && e <= u'7') {
        base = 8;
      } else if (e == u'x' || e == u'u' || e == u'U') {
        ++i;
        if (i >= n || !IsHexDigit(S[i])) return fail(i, SInvalidEscapeSequence);
        base = 16;
      } else {
        bool found = false;
        for (const TEscape& t : Escapes)
          if (t.Letter == e) {
            put(t.Code);
            found = true;
            break;
          }
        if (!found) return fail(i, SInvalidEscapeSequence);
        ++i;
      }
      if (base) {
        // No digit limit; the value is checked after every digit, so it never passes 0x10000 * 16.
        uint32_t v = 0;
        unsigned d;
        while (i < n && IsDigitOf(S[i], base, d)) {
          v = v * base + d;
          ++i;
          if (v > 0xFFFF) return fail(i, SNumericConstantTooLarge);
        }
        put(char16_t(v));
      }
    }
  }
  return true;
}

using TParser = bool (*)(std::u16string_view, std::u16string*, TLitError&);

std::u16string ToRaw(TParser Parse, std::u16string_view S) {
  std::u16string r;
  TLitError err;
  if (!Parse(S, &r, err)) r.clear();
  return r;
}

bool TryToRaw(TParser Parse, std::u16string& S) {
  std::u16string r;
  TLitError err;
  const bool ok = Parse(S, &r, err);
  S = ok ? std::move(r) : std::u16string();
  return ok;
}

bool Validate(TParser Parse, std::u16string_view S, int& ErrPos, std::u16string& ErrMsg) {
  TLitError err;
  const bool ok = Parse(S, nullptr, err);
  ErrPos = ok ? 0 : err.Pos;
  ErrMsg = ok ? std::u16string() : std::u16string(err.Msg);
  return ok;
}

void AppendAscii(std::u16string& R, std::string_view A) {
  R.append(A.begin(), A.end());
}

void AppendNumber(std::u16string& R, unsigned V, int Base) {
  char buf[16];
  const auto res = std::to_chars(buf, buf + sizeof buf, V, Base);
  for (char* p = buf; p != res.ptr; ++p)
    R.push_back(char16_t(*p >= 'a' && *p <= 'f' ? *p - 'a' + 'A' : *p));
}

std::u16string RawToCStyle(std::u16string_view S, bool LineBreaks) {
  std::u16string r;
  r.reserve(S.size() + 2);
  r.push_back(u'"');
  const size_t n = S.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = S[i];
    if (c >= 32 && c != u'"' && c != u'\\') {
      r.push_back(c);
      continue;
    }
    if (LineBreaks && c == CR && i + 1 < n && S[i + 1] == LF) {
      AppendAscii(r, "\\n");
      ++i;
      continue;
    }
    // "\r" right before the "\n" of a CR LF pair would read back as one pair: the CR is lost.
    if (LineBreaks && c == CR && i + 2 < n && S[i + 1] == CR && S[i + 2] == LF) {
      AppendAscii(r, "\\xD");
      continue;
    }
    bool escaped = false;
    for (const TEscape& t : Escapes)
      if (t.Code == c) {
        r.push_back(u'\\');
        r.push_back(t.Letter);
        escaped = true;
        break;
      }
    if (escaped) continue;
    AppendAscii(r, "\\x");
    AppendNumber(r, c, 16);
    // A following hexadecimal digit would otherwise be read into the escape.
    if (i + 1 < n && IsHexDigit(S[i + 1])) AppendAscii(r, "\"\"");
  }
  r.push_back(u'"');
  return r;
}

// Text up to the first character with code 0.
std::u16string_view UpToNul(std::u16string_view S) {
  const size_t z = S.find(char16_t(0));
  return z == std::u16string_view::npos ? S : S.substr(0, z);
}

bool IsWordChar(char16_t C) {
  return (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z');
}

[[noreturn]] void FloatError(std::u16string_view S) {
  throw EQEMConvertError(Format(SInvalidFloat, S));
}

} // namespace

std::u16string PasStringToRaw(std::u16string_view S) {
  return ToRaw(ParsePas, S);
}

std::u16string RawToPasString(std::u16string_view S) {
  if (S.empty()) return u"''";
  std::u16string r;
  r.reserve(S.size() + 2);
  const size_t n = S.size();
  size_t i = 0;
  auto plain = [&](char16_t C) { return C >= 32 && C != u'\''; };
  while (i < n) {
    if (plain(S[i])) {
      r.push_back(u'\'');
      while (i < n && plain(S[i]))
        r.push_back(S[i++]);
      r.push_back(u'\'');
    } else {
      r.push_back(u'#');
      AppendNumber(r, S[i++], 10);
    }
  }
  return r;
}

bool TryPasStringToRaw(std::u16string& S) {
  return TryToRaw(ParsePas, S);
}

bool IsValidPasString(std::u16string_view S) {
  TLitError err;
  return ParsePas(S, nullptr, err);
}

bool IsValidPasString(std::u16string_view S, int& ErrPos, std::u16string& ErrMsg) {
  return Validate(ParsePas, S, ErrPos, ErrMsg);
}

std::u16string CPPStringToRaw(std::u16string_view S) {
  return ToRaw(ParseCPP, S);
}
std::u16string RCStringToRaw(std::u16string_view S) {
  return ToRaw(ParseCPP, S);
}
std::u16string RawToCPPString(std::u16string_view S) {
  return RawToCStyle(S, true);
}
std::u16string RawToRCString(std::u16string_view S) {
  return RawToCStyle(S, false);
}
bool TryCPPStringToRaw(std::u16string& S) {
  return TryToRaw(ParseCPP, S);
}

bool IsValidCPPString(std::u16string_view S) {
  TLitError err;
  return ParseCPP(S, nullptr, err);
}

bool IsValidCPPString(std::u16string_view S, int& ErrPos, std::u16string& ErrMsg) {
  return Validate(ParseCPP, S, ErrPos, ErrMsg);
}

std::u16string PasStringToCPPString(std::u16string_view S) {
  return RawToCPPString(PasStringToRaw(S));
}

std::u16string CPPStringToPasString(std::u16string_view S) {
  return RawToPasString(CPPStringToRaw(S));
}

std::u16string StrToQEM(std::u16string_view S) {
  std::u16string r;
  r.reserve(S.size());
  const size_t n = S.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = S[i];
    if (c == LF || (c == CR && i + 1 < n && S[i + 1] == LF)) {
      if (c == CR) ++i;
      r.push_back(1);
      r.push_back(2);
    } else {
      r.push_back(c == 4 ? char16_t(3) : c);
    }
  }
  return r;
}

std::u16string QEMToStr(std::u16string_view S) {
  std::u16string r;
  r.reserve(S.size());
  const size_t n = S.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = S[i];
    if (c == 1 && i + 1 < n && S[i + 1] == 2) {
      r.push_back(CR);
      r.push_back(LF);
      ++i;
    } else {
      r.push_back(c == 3 ? char16_t(4) : c);
    }
  }
  return r;
}

std::u16string QEMFloatToStr(double X) {
  if (std::isnan(X)) return u"NAN";
  if (std::isinf(X)) return X > 0 ? u"INF" : u"-INF";
  if (X == 0) return u"0";
  // The scientific form rounds correctly to 15 significant digits: d.dddddddddddddde[+-]x.
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, X, std::chars_format::scientific, 14);
  std::string_view sci(buf, res.ptr - buf);
  const bool neg = sci.front() == '-';
  if (neg) sci.remove_prefix(1);
  const size_t epos = sci.find('e');
  int exp = 0;
  std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+'), sci.data() + sci.size(), exp);
  std::string digits;
  digits.push_back(sci[0]);
  digits.append(sci.substr(2, epos - 2));
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string out;
  if (neg) out.push_back('-');
  if (exp < -4 || exp >= 15) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('E');
    char e[8];
    out.append(e, std::to_chars(e, e + sizeof e, exp).ptr);
  } else if (exp < 0) {
    out.append("0.");
    out.append(size_t(-exp - 1), '0');
    out.append(digits);
  } else {
    const size_t whole = size_t(exp) + 1;
    if (digits.size() <= whole) {
      out.append(digits);
      out.append(whole - digits.size(), '0');
    } else {
      out.append(digits, 0, whole);
      out.push_back('.');
      out.append(digits, whole);
    }
  }
  return std::u16string(out.begin(), out.end());
}

double QEMStrToFloat(std::u16string_view S) {
  size_t i = 0, e = S.size();
  while (i < e && S[i] == u' ')
    ++i;
  while (e > i && S[e - 1] == u' ')
    --e;
  auto digit = [&](size_t I) { return I < e && S[I] >= u'0' && S[I] <= u'9'; };
  // Checked by hand first: from_chars alone would take "inf", "nan" and hexadecimal forms.
  // Each character kept stands for one of S: a number as written in notes fits on the stack.
  char local[64];
  std::unique_ptr<char[]> heap;
  char* a = e - i <= sizeof local ? local : (heap = std::make_unique<char[]>(e - i)).get();
  size_t an = 0;
  bool neg = false;
  if (i < e && (S[i] == u'+' || S[i] == u'-')) neg = S[i++] == u'-';
  // Decimal exponent of the first significant digit, plus one; tells an overflow from an
  // underflow when from_chars reports the value out of range.
  long long mag = 0;
  bool significant = false, anyDigit = false;
  for (; digit(i); ++i) {
    significant = significant || S[i] != u'0';
    if (significant) ++mag;
    a[an++] = char(S[i]);
    anyDigit = true;
  }
  if (i < e && S[i] == u'.') {
    a[an++] = '.';
    for (++i; digit(i); ++i) {
      if (!significant && S[i] == u'0') --mag;
      significant = significant || S[i] != u'0';
      a[an++] = char(S[i]);
      anyDigit = true;
    }
  }
  if (!anyDigit) FloatError(S);
  if (i < e && (S[i] == u'E' || S[i] == u'e')) {
    a[an++] = 'e';
    ++i;
    bool expNeg = false;
    if (i < e && (S[i] == u'+' || S[i] == u'-')) {
      expNeg = S[i] == u'-';
      a[an++] = char(S[i++]);
    }
    if (!digit(i)) FloatError(S);
    long long exp = 0;
    for (; digit(i); ++i) {
      exp = std::min(exp * 10 + (S[i] - u'0'), 1000000000LL);
      a[an++] = char(S[i]);
    }
    mag += expNeg ? -exp : exp;
  }
  if (i != e) FloatError(S);

  double v = 0;
  const auto res = std::from_chars(a, a + an, v);
  if (res.ptr != a + an) FloatError(S);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small for a double reads as zero; too large is no number we can keep.
    if (mag > 0) FloatError(S);
    v = 0;
  } else if (res.ec != std::errc() || std::isinf(v)) {
    FloatError(S);
  }
  return neg ? -v : v;
}

std::u16string TrimPickLetter(std::u16string_view S) {
  std::u16string r;
  r.reserve(S.size());
  const size_t n = S.size();
  for (size_t i = 0; i < n; ++i) {
    if (S[i] != u'&' || i + 1 == n) {
      r.push_back(S[i]);
    } else if (S[i + 1] == u'&') {
      r.append(u"&&");
      ++i;
    }
  }
  return r;
}

bool IsWholeWordW(std::u16string_view S, int Before, int After) {
  const long n = long(S.size());
  if (Before >= 1 && Before <= n && IsWordChar(S[Before - 1])) return false;
  if (After < 1 || After > n) return true;
  return !IsWordChar(S[After - 1]);
}

namespace qem {
int CondInt(bool Cond, int A, int B) {
  return Cond ? A : B;
}

std::u16string CondStr(bool Cond, std::u16string_view A, std::u16string_view B) {
  return std::u16string(Cond ? A : B);
}

bool HasCR(std::u16string_view S) {
  return UpToNul(S).find(CR) != std::u16string_view::npos;
}
bool HasLF(std::u16string_view S) {
  return UpToNul(S).find(LF) != std::u16string_view::npos;
}

std::u16string CRLFtoLF(std::u16string_view S) {
  S = UpToNul(S);
  std::u16string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == CR) {
      if (i + 1 < S.size() && S[i + 1] == LF) ++i;
      r.push_back(LF);
    } else {
      r.push_back(S[i]);
    }
  }
  return r;
}

std::u16string LFtoCRLF(std::u16string_view S) {
  S = UpToNul(S);
  std::u16string r;
  r.reserve(S.size() + S.size() / 8);
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == LF && (i == 0 || S[i - 1] != CR)) r.push_back(CR);
    r.push_back(S[i]);
  }
  return r;
}
} // namespace qem

int32_t QEMStrToInt(std::u16string_view S) {
  const std::u16string t = QEMTrim(S);
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) neg = t[i++] == u'-';
  const bool hex = i < t.size() && t[i] == u'$';
  if (hex) ++i;
  const size_t start = i;
  uint64_t v = 0;
  for (; i < t.size(); ++i) {
    const char16_t c = t[i];
    int d = -1;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (hex && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else if (hex && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    if (d < 0) break;
    v = v * (hex ? 16 : 10) + uint64_t(d);
    if (v > 0xFFFFFFFFull) break;
  }
  if (i != t.size() || i == start || v > 0xFFFFFFFFull ||
      (!hex && v > (neg ? 0x80000000ull : 0x7FFFFFFFull)))
    throw EQEMConvertError(Format(SInvalidInteger, std::u16string(S)));
  const int64_t value = hex ? int64_t(int32_t(uint32_t(v))) : int64_t(v);
  return int32_t(neg ? -value : value);
}
