#include "platform/QEMFormat.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "platform/QEMHostConsts.h"

namespace {

[[noreturn]] void Invalid(std::u16string_view Fmt) {
  throw EQEMConvertError(Format(SInvalidFormat, Fmt));
}

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

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
    while (exp.size() < 3 && type == 'e') exp.insert(exp.begin(), '0');
    if (type != 'e') {
      while (exp.size() > 1 && exp[0] == '0') exp.erase(exp.begin());
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

} // namespace

namespace qem {
std::u16string FormatArgs(std::u16string_view Fmt, std::initializer_list<TQEMFormatArg> Args) {
  const std::vector<const TQEMFormatArg*> args = [&] {
    std::vector<const TQEMFormatArg*> v;
    for (auto& a : Args) v.push_back(&a);
    return v;
  }();
  std::u16string out;
  size_t argIndex = 0;
  size_t i = 0;
  auto nextArg = [&]() -> const TQEMFormatArg& {
    if (argIndex >= args.size()) Invalid(Fmt);
    return *args[argIndex++];
  };
  auto readNumber = [&](int& value) -> bool {
    if (i < Fmt.size() && Fmt[i] == u'*') {
      const auto& a = nextArg();
      if (a.Kind() != TQEMFormatArg::TKind::Int && a.Kind() != TQEMFormatArg::TKind::UInt)
        Invalid(Fmt);
      value = int(a.Kind() == TQEMFormatArg::TKind::Int ? a.AsInt() : int64_t(a.AsUInt()));
      ++i;
      return true;
    }
    bool any = false;
    value = 0;
    while (i < Fmt.size() && Fmt[i] >= u'0' && Fmt[i] <= u'9') {
      value = std::min(value * 10 + (Fmt[i] - u'0'), 100000);
      ++i;
      any = true;
    }
    return any;
  };

  while (i < Fmt.size()) {
    const char16_t c = Fmt[i++];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (i >= Fmt.size()) Invalid(Fmt);
    if (Fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    // Optional argument index.
    {
      size_t j = i;
      while (j < Fmt.size() && Fmt[j] >= u'0' && Fmt[j] <= u'9') ++j;
      if (j < Fmt.size() && Fmt[j] == u':' && j > i) {
        int idx = 0;
        readNumber(idx);
        argIndex = size_t(idx);
        i = j + 1;
      } else if (j < Fmt.size() && Fmt[j] == u':' && j == i) {
        argIndex = 0;
        i = j + 1;
      }
    }
    bool left = false, zero = false;
    if (i < Fmt.size() && Fmt[i] == u'-') left = true, ++i;
    if (i < Fmt.size() && Fmt[i] == u'0') zero = true;
    int width = -1, prec = -1;
    {
      int w = 0;
      if (readNumber(w)) width = w;
      if (width < 0 && w < 0) left = true, width = -w;
    }
    if (i < Fmt.size() && Fmt[i] == u'.') {
      ++i;
      int p = 0;
      readNumber(p);
      prec = p;
    }
    if (i >= Fmt.size()) Invalid(Fmt);
    const char16_t t = Fmt[i++];
    const char type = char(t >= u'A' && t <= u'Z' ? t - u'A' + u'a' : t);
    const TQEMFormatArg& a = nextArg();
    using K = TQEMFormatArg::TKind;
    std::u16string body, sign;
    bool numeric = true;
    switch (type) {
    case 'd':
    case 'u':
    case 'x': {
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
        Invalid(Fmt);
      }
      body = Digits(mag, type == 'x' ? 16 : 10);
      if (prec >= 0 && int(body.size()) < prec) body.insert(0, size_t(prec) - body.size(), u'0');
      break;
    }
    case 'f':
    case 'e':
    case 'g':
    case 'n': {
      double v;
      if (a.Kind() == K::Float)
        v = a.AsFloat();
      else if (a.Kind() == K::Int)
        v = double(a.AsInt());
      else if (a.Kind() == K::UInt)
        v = double(a.AsUInt());
      else
        Invalid(Fmt);
      body = FloatText(v, type, prec);
      if (!body.empty() && body[0] == u'-') sign = u"-", body.erase(0, 1);
      break;
    }
    case 'p':
      if (a.Kind() != K::Ptr) Invalid(Fmt);
      body = Digits(a.AsUInt(), 16);
      body.insert(0, sizeof(void*) * 2 - std::min(body.size(), sizeof(void*) * 2), u'0');
      break;
    case 's':
      if (a.Kind() != K::Str) Invalid(Fmt);
      body = a.AsStr();
      if (prec >= 0 && int(body.size()) > prec) body.resize(size_t(prec));
      numeric = false;
      break;
    default:
      Invalid(Fmt);
    }
    const int len = int(sign.size() + body.size());
    if (width > len) {
      const size_t pad = size_t(width - len);
      if (left)
        out += sign + body + std::u16string(pad, u' ');
      else if (zero && numeric)
        out += sign + std::u16string(pad, u'0') + body;
      else
        out += std::u16string(pad, u' ') + sign + body;
    } else {
      out += sign + body;
    }
  }
  return out;
}
} // namespace qem
