#include "platform/QEMFormat.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "platform/QEMHostConsts.h"

namespace {

[[noreturn]] void Invalid(std::u16string_view Fmt) {
  throw EQEMConvertError(Format(SInvalidFormat, Fmt));
}

std::u16string Widen(std::string_view s) {
  return std::u16string(s.begin(), s.end());
}

std::u16string Digits(uint64_t v, int base) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  std::u16string s = Widen(std::string_view(buf, size_t(r.ptr - buf)));
  for (auto& c : s)
    if (c >= u'a' && c <= u'f') c = char16_t(c - u'a' + u'A');
  return s;
}

std::u16string FloatText(double v, char type, int prec) {
  if (std::isnan(v)) return u"NAN";
  if (std::isinf(v)) return v < 0 ? u"-INF" : u"INF";
  char buf[512];
  std::to_chars_result r{};
  switch (type) {
  case 'f':
  case 'n':
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, prec < 0 ? 2 : prec);
    break;
  case 'e':
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific,
                      (prec < 0 ? 15 : std::max(prec, 1)) - 1);
    break;
  default: // g
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general,
                      prec < 0 ? 15 : std::max(prec, 1));
    break;
  }
  if (r.ec != std::errc()) return u"?";
  std::string s(buf, r.ptr);
  if (auto e = s.find('e'); e != std::string::npos) {
    // Exponent as E+ddd, the host library's form.
    std::string mant = s.substr(0, e);
    char sign = s[e + 1] == '-' ? '-' : '+';
    std::string exp = s.substr(e + 2);
    while (exp.size() < 3 && type == 'e')
      exp.insert(exp.begin(), '0');
    if (type != 'e') {
      while (exp.size() > 1 && exp[0] == '0')
        exp.erase(exp.begin());
    }
    s = mant + "E" + sign + exp;
  }
  if (type == 'n') {
    const size_t start = s[0] == '-' ? 1 : 0;
    const size_t dot = std::min(s.find('.'), s.size());
    std::string grouped = s.substr(0, start);
    for (size_t k = start; k < dot; ++k) {
      if (k > start && (dot - k) % 3 == 0) grouped.push_back(',');
      grouped.push_back(s[k]);
    }
    s = grouped + s.substr(dot);
  }
  return Widen(s);
}

// One pass over a format: the position in it and the next argument to take.
class TFormatter {
public:
  using K = TQEMFormatArg::TKind;

  TFormatter(std::u16string_view Fmt, std::initializer_list<TQEMFormatArg> Args) : FFmt(Fmt) {
    for (auto& a : Args)
      FArgs.push_back(&a);
  }

  std::u16string Run() {
    while (FPos < FFmt.size()) {
      const char16_t c = FFmt[FPos++];
      if (c != u'%') {
        FOut.push_back(c);
      } else if (FPos >= FFmt.size()) {
        Invalid(FFmt);
      } else if (FFmt[FPos] == u'%') {
        FOut.push_back(u'%');
        ++FPos;
      } else {
        Specifier();
      }
    }
    return std::move(FOut);
  }

private:
  std::u16string_view FFmt;
  std::vector<const TQEMFormatArg*> FArgs;
  std::u16string FOut;
  size_t FArgIndex = 0;
  size_t FPos = 0;

  bool At(char16_t c) const { return FPos < FFmt.size() && FFmt[FPos] == c; }
  bool AtDigit(size_t k) const { return k < FFmt.size() && FFmt[k] >= u'0' && FFmt[k] <= u'9'; }

  const TQEMFormatArg& NextArg() {
    if (FArgIndex >= FArgs.size()) Invalid(FFmt);
    return *FArgs[FArgIndex++];
  }

  // A width or precision: digits, or * for the next argument.
  bool ReadNumber(int& value) {
    if (At(u'*')) {
      const auto& a = NextArg();
      if (a.Kind() != K::Int && a.Kind() != K::UInt) Invalid(FFmt);
      value = int(a.Kind() == K::Int ? a.AsInt() : int64_t(a.AsUInt()));
      ++FPos;
      return true;
    }
    bool any = false;
    value = 0;
    for (; AtDigit(FPos); ++FPos, any = true)
      value = std::min(value * 10 + (FFmt[FPos] - u'0'), 100000);
    return any;
  }

  // "n:" moves to argument n; a bare ":" back to the first.
  void ReadIndex() {
    size_t j = FPos;
    while (AtDigit(j))
      ++j;
    if (j >= FFmt.size() || FFmt[j] != u':') return;
    int idx = 0;
    if (j > FPos) ReadNumber(idx);
    FArgIndex = size_t(idx);
    FPos = j + 1;
  }

  void Specifier() {
    ReadIndex();
    bool left = false;
    if (At(u'-')) left = true, ++FPos;
    const bool zero = At(u'0');
    int width = -1, prec = -1;
    int w = 0;
    if (ReadNumber(w)) width = w;
    if (width < 0 && w < 0) left = true, width = -w;
    if (At(u'.')) {
      ++FPos;
      int p = 0;
      ReadNumber(p);
      prec = p;
    }
    if (FPos >= FFmt.size()) Invalid(FFmt);
    const char16_t t = FFmt[FPos++];
    const char type = char(t >= u'A' && t <= u'Z' ? t - u'A' + u'a' : t);
    std::u16string sign;
    bool numeric = true;
    const std::u16string body = Body(type, NextArg(), prec, sign, numeric);
    Pad(sign, body, width, left, zero && numeric);
  }

  std::u16string Body(char type, const TQEMFormatArg& a, int prec, std::u16string& sign,
                      bool& numeric) const {
    switch (type) {
    case 'd':
    case 'u':
    case 'x':
      return Integer(type, a, prec, sign);
    case 'f':
    case 'e':
    case 'g':
    case 'n':
      return Float(type, a, prec, sign);
    case 'p': {
      if (a.Kind() != K::Ptr) Invalid(FFmt);
      std::u16string body = Digits(a.AsUInt(), 16);
      body.insert(0, sizeof(void*) * 2 - std::min(body.size(), sizeof(void*) * 2), u'0');
      return body;
    }
    case 's': {
      if (a.Kind() != K::Str) Invalid(FFmt);
      numeric = false;
      std::u16string body = a.AsStr();
      if (prec >= 0 && int(body.size()) > prec) body.resize(size_t(prec));
      return body;
    }
    default:
      Invalid(FFmt);
    }
  }

  std::u16string Integer(char type, const TQEMFormatArg& a, int prec, std::u16string& sign) const {
    uint64_t mag;
    if (a.Kind() == K::Int) {
      const int64_t v = a.AsInt();
      if (type == 'd') {
        if (v < 0) sign = u"-";
        mag = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
      } else {
        // Negative values show as the unsigned 32-bit pattern when they fit, as the host does.
        mag = v < 0 && v >= INT32_MIN ? uint64_t(uint32_t(int32_t(v))) : uint64_t(v);
      }
    } else if (a.Kind() == K::UInt) {
      mag = a.AsUInt();
    } else {
      Invalid(FFmt);
    }
    std::u16string body = Digits(mag, type == 'x' ? 16 : 10);
    if (prec >= 0 && int(body.size()) < prec) body.insert(0, size_t(prec) - body.size(), u'0');
    return body;
  }

  std::u16string Float(char type, const TQEMFormatArg& a, int prec, std::u16string& sign) const {
    double v;
    if (a.Kind() == K::Float)
      v = a.AsFloat();
    else if (a.Kind() == K::Int)
      v = double(a.AsInt());
    else if (a.Kind() == K::UInt)
      v = double(a.AsUInt());
    else
      Invalid(FFmt);
    std::u16string body = FloatText(v, type, prec);
    if (!body.empty() && body[0] == u'-') sign = u"-", body.erase(0, 1);
    return body;
  }

  void Pad(const std::u16string& sign, const std::u16string& body, int width, bool left,
           bool zeros) {
    const int len = int(sign.size() + body.size());
    if (width <= len) {
      FOut += sign + body;
      return;
    }
    const size_t pad = size_t(width - len);
    if (left)
      FOut += sign + body + std::u16string(pad, u' ');
    else if (zeros)
      FOut += sign + std::u16string(pad, u'0') + body;
    else
      FOut += std::u16string(pad, u' ') + sign + body;
  }
};

} // namespace

namespace qem {
std::u16string FormatArgs(std::u16string_view Fmt, std::initializer_list<TQEMFormatArg> Args) {
  return TFormatter(Fmt, Args).Run();
}
} // namespace qem
