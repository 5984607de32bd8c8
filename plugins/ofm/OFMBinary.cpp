#include "OFMBinary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <type_traits>

#include "OFMFormat.h"

namespace {

enum : uint8_t {
  vaNull,
  vaList,
  vaInt8,
  vaInt16,
  vaInt32,
  vaExtended,
  vaString,
  vaIdent,
  vaFalse,
  vaTrue,
  vaBinary,
  vaSet,
  vaLString,
  vaNil,
  vaCollection,
  vaSingle,
  vaCurrency,
  vaDate,
  vaWString,
  vaInt64,
  vaUTF8String,
  vaDouble
};
// Object prefix flags, below 0xF0.
constexpr int ffInherited = 1, ffChildPos = 2, ffInline = 4;

constexpr std::string_view kSignature = "TPF0";
constexpr std::string_view kResMark("\xFF\x0A\x00", 3);
constexpr uint32_t kUtf8 = 65001;
// Indentation stops growing here, so that deep nesting cannot blow the text up.
constexpr int kMaxIndent = 16;
constexpr size_t kHexPerLine = 32;

bool IsStringKind(int K) {
  return K == vaString || K == vaLString || K == vaWString || K == vaUTF8String;
}
bool IsScalarKind(int K) {
  switch (K) {
  case vaInt8:
  case vaInt16:
  case vaInt32:
  case vaInt64:
  case vaExtended:
  case vaSingle:
  case vaCurrency:
  case vaDate:
  case vaDouble:
  case vaIdent:
  case vaFalse:
  case vaTrue:
  case vaNil:
    return true;
  default:
    return false;
  }
}

std::u16string Ascii(std::string_view S) {
  return std::u16string(S.begin(), S.end());
}
std::string Narrow(std::u16string_view S) {
  std::string r;
  for (char16_t c : S)
    r.push_back(c < 0x80 ? char(c) : '?');
  return r;
}

std::string ToCodePage(std::u16string_view Raw, uint32_t CodePage) {
  return CodePage == kUtf8 ? UTF16ToUTF8(Raw) : WideStringToStringCP(CodePage, Raw);
}
// False when the bytes do not come back from the text: no character of the code page, or
// UTF-8 that is not.
bool FromCodePage(std::string_view Bytes, uint32_t CodePage, std::u16string& Raw) {
  Raw = CodePage == kUtf8 ? UTF8ToUTF16(Bytes) : StringToWideStringCP(CodePage, Bytes);
  return ToCodePage(Raw, CodePage) == Bytes;
}
bool Fits(std::u16string_view Raw, uint32_t CodePage) {
  std::u16string back;
  return FromCodePage(ToCodePage(Raw, CodePage), CodePage, back) && back == Raw;
}

uint64_t GetLE(std::string_view B, size_t At, size_t N) {
  uint64_t v = 0;
  for (size_t i = 0; i < N; ++i)
    v |= uint64_t(static_cast<unsigned char>(B[At + i])) << (8 * i);
  return v;
}
void PutLE(std::string& Out, uint64_t V, size_t N) {
  for (size_t i = 0; i < N; ++i)
    Out.push_back(char((V >> (8 * i)) & 0xFF));
}

// The 80-bit extended format, whatever long double is here.
long double ExtendedValue(std::string_view B) {
  const uint64_t mant = GetLE(B, 0, 8);
  const unsigned se = unsigned(GetLE(B, 8, 2));
  const int exp = int(se & 0x7FFF);
  const bool neg = se & 0x8000;
  long double v;
  if (exp == 0x7FFF)
    v = (mant << 1) == 0 ? std::numeric_limits<long double>::infinity()
                         : std::numeric_limits<long double>::quiet_NaN();
  else // a zero exponent field scales like 1 (denormals)
    v = std::ldexp(static_cast<long double>(mant), std::max(exp, 1) - 16383 - 63);
  return neg ? -v : v;
}
std::string ExtendedBytes(long double V) {
  uint64_t mant = 0;
  unsigned se = std::signbit(V) ? 0x8000 : 0;
  if (std::isnan(V)) {
    se |= 0x7FFF;
    mant = 0xC000000000000000ull;
  } else if (std::isinf(V)) {
    se |= 0x7FFF;
    mant = 0x8000000000000000ull;
  } else if (V != 0) {
    int e = 0;
    const long double m = std::frexp(std::fabs(V), &e); // [0.5, 1)
    const int biased = e - 1 + 16383;
    if (biased <= 0) { // denormal
      mant = static_cast<uint64_t>(std::ldexp(m, std::max(biased + 63, -1)));
    } else if (biased >= 0x7FFF) { // beyond the range: infinity
      mant = 0x8000000000000000ull;
    } else {
      mant = static_cast<uint64_t>(std::ldexp(m, 64));
    }
    se |= unsigned(std::clamp(biased, 0, 0x7FFF));
  }
  std::string r;
  PutLE(r, mant, 8);
  PutLE(r, se, 2);
  return r;
}

// Floating text that reads back as a float, never as an integer.
template <class T> std::u16string FloatText(T V) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, V);
  std::string s(buf, res.ptr);
  if (s.find_first_of(".eEna") == std::string::npos) s += ".0";
  return Ascii(s);
}

std::u16string CurrencyText(int64_t V) {
  const bool neg = V < 0;
  const uint64_t a = neg ? 0 - uint64_t(V) : uint64_t(V);
  std::string s = (neg ? "-" : "") + std::to_string(a / 10000);
  if (uint64_t frac = a % 10000) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (f.back() == '0')
      f.pop_back();
    s += "." + f;
  }
  return Ascii(s + "c");
}

std::u16string Indent(int Level) {
  return std::u16string(size_t(std::min(Level, kMaxIndent)) * 2, u' ');
}

// ---- binary -> text ----

class TBinaryReader {
public:
  TBinaryReader(const std::u16string& FileName, std::string_view Bytes, uint32_t CodePage,
                TOFMBinaryLayout* Layout)
      : FFile(FileName), B(Bytes), FCodePage(CodePage), FLayout(Layout) {}

  std::u16string Run() {
    if (B.starts_with(kResMark)) ResHeader();
    if (!B.substr(P).starts_with(kSignature)) Fail(P, SOFMBinaryHeader);
    P += kSignature.size();
    if (FLayout) FLayout->CodePage = FCodePage;
    Object(0, 0);
    if (P != B.size()) Fail(P, SOFMBinaryTrailing);
    return std::move(Out);
  }

private:
  [[noreturn]] void Fail(size_t At, std::u16string_view What) {
    throw EQEMError(Format(SOFMBinaryDamaged, FFile, uint64_t(At), What));
  }
  void Need(size_t N) {
    if (N > B.size() - P) Fail(B.size(), SOFMBinaryEnd);
  }
  uint8_t Peek() {
    Need(1);
    return static_cast<uint8_t>(B[P]);
  }
  uint8_t Byte() {
    const uint8_t b = Peek();
    ++P;
    return b;
  }
  uint64_t Read(size_t N) {
    Need(N);
    const uint64_t v = GetLE(B, P, N);
    P += N;
    return v;
  }
  std::string_view Take(uint64_t N) {
    if (N > B.size() - P) Fail(P, Format(SOFMBinaryLength, Ascii(std::to_string(N))));
    const std::string_view r = B.substr(P, size_t(N));
    P += size_t(N);
    return r;
  }
  void Deeper(int Depth) {
    if (Depth > OFMMaxDepth) Fail(P, SOFMTooDeep);
  }
  void Unit(int Kind, std::u16string Text, size_t From) {
    if (FLayout)
      FLayout->Units.push_back({Kind, std::move(Text), std::string(B.substr(From, P - From))});
  }
  void Line(int Level) {
    Out += u'\n';
    Out += Indent(Level);
  }

  // 0xFF 0x0A 0x00, a name ending in NUL, two flag bytes, the size of the stream that follows.
  void ResHeader() {
    const size_t nul = B.find('\0', kResMark.size());
    if (nul == std::string_view::npos || nul > kResMark.size() + 256 || B.size() - nul < 7)
      Fail(0, SOFMBinaryHeader);
    P = nul + 7;
    if (GetLE(B, nul + 3, 4) != B.size() - P) Fail(nul + 3, SOFMBinaryHeader);
    if (FLayout) FLayout->ResHeader = std::string(B.substr(0, P));
  }

  // A name, a dotted one where Dotted, empty only where Empty.
  std::u16string Name(bool Dotted, bool Empty) {
    const size_t at = P;
    const std::string_view bytes = Take(Byte());
    std::u16string name;
    bool ok = FromCodePage(bytes, kUtf8, name) && (Empty || !name.empty());
    for (size_t i = 0; ok && i < name.size(); ++i) {
      const bool segStart = i == 0 || name[i - 1] == u'.';
      if (name[i] == u'.')
        ok = Dotted && !segStart && i + 1 < name.size();
      else
        ok = segStart ? OFMIsIdentStart(name[i]) : OFMIsIdentChar(name[i]);
    }
    if (!ok) Fail(at, SOFMBinaryName);
    return name;
  }

  void Object(int Depth, int Level) {
    Deeper(Depth);
    const size_t at = P;
    int flags = 0;
    std::u16string pos;
    if ((Peek() & 0xF0) == 0xF0) {
      flags = Byte() & 0x0F;
      if (flags & ~(ffInherited | ffChildPos | ffInline)) Fail(at, Format(SOFMBinaryFlags, flags));
      if (flags & ffChildPos) {
        const size_t v = P;
        const uint8_t t = Byte();
        if (t != vaInt8 && t != vaInt16 && t != vaInt32) Fail(v, Format(SOFMBinaryType, t));
        pos = IntText(t);
      }
    }
    const std::u16string word = flags & ffInline      ? u"inline"
                                : flags & ffInherited ? u"inherited"
                                                      : u"object";
    Unit(TOFMBinaryLayout::kHeader, word + u"[" + pos + u"]", at);
    const std::u16string cls = Name(true, false);
    const std::u16string name = Name(false, true);
    Out += word + u" ";
    if (!name.empty()) Out += name + u": ";
    Out += cls;
    if (!pos.empty()) Out += u" [" + pos + u"]";
    while (Peek() != vaNull)
      Property(Depth, Level + 1);
    ++P;
    while (Peek() != vaNull) {
      Line(Level + 1);
      Object(Depth + 1, Level + 1);
    }
    ++P;
    Line(Level);
    Out += u"end";
    if (Depth == 0) Out += u'\n';
  }

  void Property(int Depth, int Level) {
    Line(Level);
    Out += Name(true, false);
    Out += u" = ";
    Value(Depth + 1, Level);
  }

  std::u16string IntText(uint8_t Type) {
    switch (Type) {
    case vaInt8:
      return Ascii(std::to_string(int8_t(Read(1))));
    case vaInt16:
      return Ascii(std::to_string(int16_t(Read(2))));
    case vaInt32:
      return Ascii(std::to_string(int32_t(Read(4))));
    default:
      return Ascii(std::to_string(int64_t(Read(8))));
    }
  }

  void String(std::u16string Raw, int Kind, size_t At, int Level) {
    std::u16string literal = OFMLiteral(Raw);
    Unit(Kind, std::move(Raw), At);
    const size_t lineStart = Out.find_last_of(u'\n') + 1; // npos + 1 == 0
    Out += OFMWrapLiteral(std::move(literal), Out.size() - lineStart, u"\n", Indent(Level));
  }

  void Value(int Depth, int Level) {
    Deeper(Depth);
    const size_t at = P;
    const uint8_t type = Byte();
    switch (type) {
    case vaList:
      ListValue(Depth, Level, at);
      return;
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64:
      Scalar(IntText(type), type, at);
      return;
    case vaExtended:
    case vaSingle:
    case vaDouble:
    case vaDate:
    case vaCurrency:
      Scalar(NumberText(type), type, at);
      return;
    case vaString:
    case vaLString:
    case vaUTF8String:
    case vaWString:
      String(StringValue(type, at), type, at, Level);
      return;
    case vaIdent:
      Scalar(Name(true, false), type, at);
      return;
    case vaFalse:
      Scalar(u"False", type, at);
      return;
    case vaTrue:
      Scalar(u"True", type, at);
      return;
    case vaNil:
      Scalar(u"nil", type, at);
      return;
    case vaBinary:
      BinaryValue(Level, at);
      return;
    case vaSet:
      SetValue(Level, at);
      return;
    case vaCollection:
      CollectionValue(Depth, Level, at);
      return;
    default:
      Fail(at, Format(SOFMBinaryType, type));
    }
  }

  void ListValue(int Depth, int Level, size_t At) {
    Unit(vaList, u"", At);
    Out += u'(';
    while (Peek() != vaNull) {
      Line(Level + 1);
      Value(Depth + 1, Level + 1);
    }
    ++P;
    Out += u')';
  }

  // The floating-point and currency types.
  std::u16string NumberText(uint8_t Type) {
    switch (Type) {
    case vaExtended:
      return FloatText(ExtendedValue(Take(10)));
    case vaSingle: {
      float f;
      const uint32_t bits = uint32_t(Read(4));
      std::memcpy(&f, &bits, 4);
      return FloatText(f) + u"s";
    }
    case vaCurrency:
      return CurrencyText(int64_t(Read(8)));
    default: {
      double d;
      const uint64_t bits = Read(8);
      std::memcpy(&d, &bits, 8);
      return FloatText(d) + (Type == vaDate ? u"d" : u"");
    }
    }
  }

  std::u16string StringValue(uint8_t Type, size_t At) {
    std::u16string raw;
    if (Type == vaWString) {
      const uint64_t n = Read(4);
      const std::string_view bytes = Take(n * 2);
      raw.resize(size_t(n));
      for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = char16_t(GetLE(bytes, i * 2, 2));
      return raw;
    }
    const std::string_view bytes = Take(Type == vaString ? Byte() : Read(4));
    const uint32_t codePage = Type == vaUTF8String ? kUtf8 : FCodePage;
    if (!FromCodePage(bytes, codePage, raw)) Fail(At, Format(SOFMBinaryText, int32_t(codePage)));
    return raw;
  }

  void BinaryValue(int Level, size_t At) {
    Unit(vaBinary, u"", At);
    const std::string_view data = Take(Read(4));
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    Out += u'{';
    for (size_t i = 0; i < data.size(); ++i) {
      if (i % kHexPerLine == 0) Line(Level + 1);
      const auto b = static_cast<unsigned char>(data[i]);
      Out += hex[b >> 4];
      Out += hex[b & 15];
    }
    Out += u'}';
  }

  void SetValue(int Level, size_t At) {
    Unit(vaSet, u"", At);
    Out += u'[';
    size_t lineStart = Out.find_last_of(u'\n') + 1;
    for (bool first = true; Peek() != 0; first = false) {
      if (!first) Out += u", ";
      if (Out.size() - lineStart > OFMWrapWidth) {
        Line(Level + 1);
        lineStart = Out.find_last_of(u'\n') + 1;
      }
      Out += Name(true, false);
    }
    ++P;
    Out += u']';
  }

  void CollectionValue(int Depth, int Level, size_t At) {
    Unit(vaCollection, u"", At);
    Out += u'<';
    while (Peek() != vaNull) {
      Deeper(Depth + 1);
      Line(Level + 1);
      Out += u"item";
      CollectionItemOrder();
      while (Peek() != vaNull)
        Property(Depth + 1, Level + 2);
      ++P;
      Line(Level + 1);
      Out += u"end";
    }
    ++P;
    Out += u'>';
  }

  // An item's optional order index, then the list of its properties.
  void CollectionItemOrder() {
    const size_t order = P;
    const uint8_t t = Byte();
    if (t == vaInt8 || t == vaInt16 || t == vaInt32) {
      std::u16string text = IntText(t);
      Out += u" [" + text + u"]";
      Unit(t, std::move(text), order);
      if (Byte() != vaList) Fail(P - 1, Format(SOFMBinaryType, uint8_t(B[P - 1])));
    } else if (t != vaList) {
      Fail(order, Format(SOFMBinaryType, t));
    }
  }

  void Scalar(std::u16string Text, int Kind, size_t At) {
    Out += Text;
    Unit(Kind, std::move(Text), At);
  }

  const std::u16string& FFile;
  std::string_view B;
  uint32_t FCodePage;
  TOFMBinaryLayout* FLayout;
  size_t P = 0;
  std::u16string Out;
};

// ---- text -> binary ----

bool IsDigit(char16_t C) {
  return C >= u'0' && C <= u'9';
}
bool IsHex(char16_t C) {
  return IsDigit(C) || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
}
int HexValue(char16_t C) {
  return IsDigit(C) ? C - u'0' : (C | 0x20) - u'a' + 10;
}

// Locale-independent, and denormals read as they are (where from_chars reports a range error).
template <class T> bool ParseFloat(const std::string& S, T& V) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  if (S.empty() || !c) return false;
  char* end = nullptr;
  if constexpr (std::is_same_v<T, float>)
    V = strtof_l(S.c_str(), &end, c);
  else if constexpr (std::is_same_v<T, double>)
    V = strtod_l(S.c_str(), &end, c);
  else
    V = strtold_l(S.c_str(), &end, c);
  return end == S.c_str() + S.size();
}

void PutInt(std::string& Out, int64_t V) {
  if (V >= INT8_MIN && V <= INT8_MAX) {
    Out.push_back(char(vaInt8));
    PutLE(Out, uint64_t(V), 1);
  } else if (V >= INT16_MIN && V <= INT16_MAX) {
    Out.push_back(char(vaInt16));
    PutLE(Out, uint64_t(V), 2);
  } else if (V >= INT32_MIN && V <= INT32_MAX) {
    Out.push_back(char(vaInt32));
    PutLE(Out, uint64_t(V), 4);
  } else {
    Out.push_back(char(vaInt64));
    PutLE(Out, uint64_t(V), 8);
  }
}

class TBinaryWriter : TOFMTextScanner {
public:
  TBinaryWriter(const std::u16string& FileName, const std::u16string& Text, uint32_t CodePage,
                const TOFMBinaryLayout* Layout)
      : TOFMTextScanner(FileName, Text), FCodePage(CodePage), FLayout(Layout) {}

  std::string Run() {
    if (T.starts_with(u"\uFEFF")) P = 1;
    std::string out(kSignature);
    SkipBlanks();
    const size_t at = P;
    const std::u16string word = Ident();
    if (!IsObjectWord(word)) FailAt(at, SOFMExpectedObject);
    Object(out, word, 0);
    SkipBlanks();
    if (P < T.size()) Fail(SOFMTrailing);
    if (!FLayout || FLayout->ResHeader.empty()) return out;
    std::string r = FLayout->ResHeader;
    r.resize(r.size() - 4);
    PutLE(r, out.size(), 4);
    return r + out;
  }

private:
  void PutName(std::string& Out, const std::u16string& Name, size_t At) {
    const std::string bytes = UTF16ToUTF8(Name);
    if (bytes.size() > 255) FailAt(At, Format(SOFMLongName, Name));
    Out.push_back(char(bytes.size()));
    Out += bytes;
  }

  // The layout's next unit when it is of the kind the text has here; a text that has left the
  // layout is written by the rules alone from then on.
  const TOFMBinaryLayout::TUnit* NextUnit(bool (*Fits)(int)) {
    if (!FLayout || FNext >= FLayout->Units.size()) return nullptr;
    const auto& u = FLayout->Units[FNext++];
    if (Fits(u.Kind)) return &u;
    FNext = FLayout->Units.size();
    return nullptr;
  }
  template <int K> static bool Is(int Kind) { return Kind == K; }

  // "[n]" after an object's class or an "item": the number.
  std::u16string Index() {
    const size_t at = P++;
    SkipSpaces();
    const size_t start = P;
    if (Cur() == u'-' || Cur() == u'+') ++P;
    while (IsDigit(Cur()))
      ++P;
    std::u16string n = T.substr(start, P - start);
    SkipSpaces();
    if (Cur() != u']' || n.empty()) FailAt(at, Format(SOFMUnclosed, u"["));
    ++P;
    return n;
  }
  int64_t IntOf(const std::u16string& Text, size_t At) {
    int64_t v = 0;
    const std::string s = Narrow(Text[0] == u'+' ? Text.substr(1) : Text);
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size())
      FailAt(At, Format(SOFMBadNumber, Text));
    return v;
  }

  // After the object word Kind: "Name: Class [pos]" or "Class", then the body up to its "end".
  void Object(std::string& Out, const std::u16string& Kind, int Depth) {
    Deeper(Depth);
    SkipSpaces();
    const size_t nameAt = P;
    std::u16string name = DottedIdent(), cls;
    SkipSpaces();
    if (Cur() == u':') {
      ++P;
      SkipSpaces();
      cls = DottedIdent();
      SkipSpaces();
    } else {
      cls = std::move(name);
      name.clear();
    }
    std::u16string pos;
    const size_t posAt = P;
    if (Cur() == u'[') pos = Index();
    EndOfLine();
    const std::u16string lowerKind = OFMSameWord(Kind, u"inline")      ? u"inline"
                                     : OFMSameWord(Kind, u"inherited") ? u"inherited"
                                                                       : u"object";
    const auto* unit = NextUnit(Is<TOFMBinaryLayout::kHeader>);
    if (unit && unit->Text == lowerKind + u"[" + pos + u"]") {
      Out += unit->Bytes;
    } else {
      int flags = lowerKind == u"inline" ? ffInline : lowerKind == u"inherited" ? ffInherited : 0;
      if (!pos.empty()) flags |= ffChildPos;
      if (flags) Out.push_back(char(0xF0 | flags));
      if (!pos.empty()) PutInt(Out, IntOf(pos, posAt));
    }
    PutName(Out, cls, nameAt);
    PutName(Out, name, nameAt);
    std::string children;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail(SOFMEndOfFile);
      const size_t start = P;
      const std::u16string prop = DottedIdent();
      SkipSpaces();
      if (Cur() == u'=') {
        ++P;
        SkipBlanks();
        PutName(Out, prop, start);
        Value(Out, Depth + 1);
        EndOfLine();
      } else if (OFMSameWord(prop, u"end")) {
        EndOfLine();
        break;
      } else if (IsObjectWord(prop)) {
        Object(children, prop, Depth + 1);
      } else {
        FailAt(start, SOFMExpectedProperty);
      }
    }
    Out.push_back(char(vaNull));
    Out += children;
    Out.push_back(char(vaNull));
  }

  void Value(std::string& Out, int Depth) {
    Deeper(Depth);
    const size_t at = P;
    const char16_t c = Cur();
    if (c == u'\'' || c == u'#') {
      String(Out);
    } else if (c == u'(') {
      NextUnit(Is<vaList>);
      ++P;
      Out.push_back(char(vaList));
      for (;;) {
        SkipBlanks();
        if (AtEnd()) FailAt(at, Format(SOFMUnclosed, u"("));
        if (Cur() == u')') break;
        Value(Out, Depth + 1);
      }
      ++P;
      Out.push_back(char(vaNull));
    } else if (c == u'<') {
      Collection(Out, Depth);
    } else if (c == u'{') {
      Binary(Out);
    } else if (c == u'[') {
      Set(Out);
    } else if (IsDigit(c) || c == u'-' || c == u'+' || c == u'$' || c == u'.') {
      Number(Out);
    } else if (OFMIsIdentStart(c)) {
      const std::u16string id = DottedIdent();
      const auto* unit = NextUnit(IsScalarKind);
      if (unit && unit->Text == id)
        Out += unit->Bytes;
      else if (OFMSameWord(id, u"true"))
        Out.push_back(char(vaTrue));
      else if (OFMSameWord(id, u"false"))
        Out.push_back(char(vaFalse));
      else if (OFMSameWord(id, u"nil"))
        Out.push_back(char(vaNil));
      else {
        Out.push_back(char(vaIdent));
        PutName(Out, id, at);
      }
    } else {
      Fail(SOFMExpectedValue);
    }
  }

  void Collection(std::string& Out, int Depth) {
    const size_t at = P++;
    NextUnit(Is<vaCollection>);
    Out.push_back(char(vaCollection));
    for (;;) {
      SkipBlanks();
      if (AtEnd()) FailAt(at, Format(SOFMUnclosed, u"<"));
      if (Cur() == u'>') break;
      Deeper(Depth + 1);
      const size_t item = P;
      if (!OFMSameWord(Ident(), u"item")) FailAt(item, Format(SOFMUnclosed, u"<"));
      SkipSpaces();
      if (Cur() == u'[') {
        const size_t orderAt = P;
        const std::u16string order = Index();
        const auto* unit = NextUnit(IsScalarKind);
        if (unit && unit->Text == order)
          Out += unit->Bytes;
        else
          PutInt(Out, IntOf(order, orderAt));
      }
      EndOfLine();
      Out.push_back(char(vaList));
      for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail(SOFMEndOfFile);
        const size_t start = P;
        const std::u16string prop = DottedIdent();
        SkipSpaces();
        if (Cur() == u'=') {
          ++P;
          SkipBlanks();
          PutName(Out, prop, start);
          Value(Out, Depth + 2);
          EndOfLine();
        } else if (OFMSameWord(prop, u"end")) {
          SkipSpaces();
          if (Cur() != u'>') EndOfLine();
          break;
        } else {
          FailAt(start, SOFMExpectedProperty);
        }
      }
      Out.push_back(char(vaNull));
    }
    ++P;
    Out.push_back(char(vaNull));
  }

  void Binary(std::string& Out) {
    const size_t at = P++;
    NextUnit(Is<vaBinary>);
    std::string data;
    int high = -1;
    for (;; ++P) {
      if (AtEnd()) FailAt(at, Format(SOFMUnclosed, u"{"));
      const char16_t c = Cur();
      if (c == u'}') break;
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') continue;
      if (!IsHex(c)) Fail(SOFMBadBinary);
      if (high < 0) {
        high = HexValue(c);
      } else {
        data.push_back(char(high << 4 | HexValue(c)));
        high = -1;
      }
    }
    if (high >= 0) Fail(SOFMBadBinary);
    ++P;
    Out.push_back(char(vaBinary));
    PutLE(Out, data.size(), 4);
    Out += data;
  }

  void Set(std::string& Out) {
    const size_t at = P++;
    NextUnit(Is<vaSet>);
    Out.push_back(char(vaSet));
    SkipBlanks();
    while (Cur() != u']') {
      const size_t start = P;
      PutName(Out, DottedIdent(), start);
      SkipBlanks();
      if (Cur() == u',') {
        ++P;
        SkipBlanks();
      } else if (Cur() != u']') {
        FailAt(at, Format(SOFMUnclosed, u"["));
      }
    }
    ++P;
    Out.push_back(char(0));
  }

  void Number(std::string& Out) {
    const size_t at = P++;
    while (!AtEnd()) {
      const char16_t c = Cur();
      if (OFMIsIdentChar(c) || c == u'.')
        ++P;
      else if ((c == u'+' || c == u'-') && (T[P - 1] == u'e' || T[P - 1] == u'E'))
        ++P;
      else
        break;
    }
    const std::u16string text = T.substr(at, P - at);
    const auto* unit = NextUnit(IsScalarKind);
    if (unit && unit->Text == text) {
      Out += unit->Bytes;
      return;
    }
    std::string s = Narrow(text);
    if (s[0] == '+') s.erase(0, 1);
    const auto bad = [&] { FailAt(at, Format(SOFMBadNumber, text)); };
    if (s.empty()) bad();
    const bool neg = s[0] == '-';
    if (s[neg] == '$') {
      uint64_t v = 0;
      const auto res = std::from_chars(s.data() + neg + 1, s.data() + s.size(), v, 16);
      if (res.ec != std::errc() || res.ptr != s.data() + s.size()) bad();
      PutInt(Out, int64_t(neg ? 0 - v : v));
      return;
    }
    const char suffix = char(s.back() | 0x20);
    if (suffix == 's' || suffix == 'c' || suffix == 'd')
      s.pop_back();
    else if (s.find_first_of(".eEna") == std::string::npos) {
      PutInt(Out, IntOf(text, at));
      return;
    }
    if (suffix == 'c') {
      PutCurrency(Out, s, bad);
      return;
    }
    if (suffix == 's') {
      float f;
      if (!ParseFloat(s, f)) bad();
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      Out.push_back(char(vaSingle));
      PutLE(Out, bits, 4);
    } else if (suffix == 'd') {
      double d;
      if (!ParseFloat(s, d)) bad();
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      Out.push_back(char(vaDate));
      PutLE(Out, bits, 8);
    } else {
      long double x;
      if (!ParseFloat(s, x)) bad();
      Out.push_back(char(vaExtended));
      Out += ExtendedBytes(x);
    }
  }

  // Fixed point with four decimals, read exactly.
  template <class TBad> void PutCurrency(std::string& Out, const std::string& S, TBad Bad) {
    const bool neg = S[0] == '-';
    const size_t dot = S.find('.');
    const std::string whole =
        S.substr(neg, dot == std::string::npos ? std::string::npos : dot - neg);
    std::string frac = dot == std::string::npos ? "" : S.substr(dot + 1);
    if (frac.size() > 4 || whole.empty()) Bad();
    frac.append(4 - frac.size(), '0');
    uint64_t v = 0;
    const std::string all = whole + frac;
    if (auto r = std::from_chars(all.data(), all.data() + all.size(), v);
        r.ec != std::errc() || r.ptr != all.data() + all.size())
      Bad();
    if (v > uint64_t(INT64_MAX) + (neg ? 1 : 0)) Bad();
    Out.push_back(char(vaCurrency));
    PutLE(Out, neg ? 0 - v : v, 8);
  }

  void String(std::string& Out) {
    const std::u16string raw = StringValue();
    const auto* unit = NextUnit(IsStringKind);
    if (unit && unit->Text == raw && FLayout->CodePage == FCodePage) {
      Out += unit->Bytes;
      return;
    }
    PutString(Out, raw, unit ? unit->Kind : vaString);
  }

  // In the type it had where the text fits it, else in one that holds every character.
  void PutString(std::string& Out, const std::u16string& Raw, int Kind) {
    if ((Kind == vaString || Kind == vaLString) && Fits(Raw, FCodePage)) {
      const std::string bytes = ToCodePage(Raw, FCodePage);
      if (Kind == vaString && bytes.size() <= 255) {
        Out.push_back(char(vaString));
        Out.push_back(char(bytes.size()));
      } else {
        Out.push_back(char(vaLString));
        PutLE(Out, bytes.size(), 4);
      }
      Out += bytes;
    } else if (Kind == vaUTF8String && Fits(Raw, kUtf8)) {
      const std::string bytes = UTF16ToUTF8(Raw);
      Out.push_back(char(vaUTF8String));
      PutLE(Out, bytes.size(), 4);
      Out += bytes;
    } else {
      Out.push_back(char(vaWString));
      PutLE(Out, Raw.size(), 4);
      for (char16_t c : Raw)
        PutLE(Out, c, 2);
    }
  }

  uint32_t FCodePage;
  const TOFMBinaryLayout* FLayout;
  size_t FNext = 0;
};

} // namespace

bool OFMIsBinaryForm(std::string_view Bytes) {
  return Bytes.starts_with(kSignature) || Bytes.starts_with(kResMark);
}

std::u16string OFMBinaryToText(const std::u16string& FileName, std::string_view Bytes,
                               uint32_t CodePage, TOFMBinaryLayout* Layout) {
  return TBinaryReader(FileName, Bytes, CodePage, Layout).Run();
}

std::string OFMTextToBinary(const std::u16string& FileName, const std::u16string& Text,
                            uint32_t CodePage, const TOFMBinaryLayout* Layout) {
  return TBinaryWriter(FileName, Text, CodePage, Layout).Run();
}
