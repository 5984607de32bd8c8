#include "core/QEMXMLUtils.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/utf16.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <istream>
#include <iterator>
#include <ostream>
#include <vector>

#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

std::u16string DefaultIndentStr = u"  ";

struct TQEMXMLDocumentAccess {
  static pugi::xml_document& Doc(const TQEMXMLDocument& D) { return *D.FDoc; }
  static void SetError(TQEMXMLDocument& D, std::u16string E) { D.FLastError = std::move(E); }
};

namespace {
using pugi::xml_node;
using Access = TQEMXMLDocumentAccess;

// Whitespace-only text is dropped between elements (it is formatting) but kept as an element's
// only child (it is a translation made of spaces).
constexpr unsigned ParseFlags = pugi::parse_default | pugi::parse_declaration |
                                pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi |
                                pugi::parse_ws_pcdata_single;
constexpr std::string_view UTF8BOM = "\xEF\xBB\xBF";
constexpr std::string_view DefaultDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr std::string_view CRLF = "\r\n";

xml_node N(TQEMXMLNode X) {
  return xml_node(X.Handle());
}
TQEMXMLNode W(xml_node X) {
  return TQEMXMLNode(X.internal_object());
}

[[noreturn]] void NotAllowed(std::u16string_view Op) {
  throw EQEMXMLError(Format(SXMLNotAllowed, Op));
}
void Check(bool Ok, std::u16string_view Op) {
  if (!Ok) NotAllowed(Op);
}

// ---- characters and names

bool IsBadChar(char32_t C) {
  return (C < 0x20 && C != u'\t' && C != u'\n' && C != u'\r') || C == 0xFFFE || C == 0xFFFF;
}

// The text around its first bad character, escaped and cut, for a message.
std::u16string Shown(std::u16string_view S) {
  constexpr size_t Before = 20, Width = 60;
  size_t bad = 0;
  while (bad < S.size() && !IsBadChar(S[bad]))
    ++bad;
  if (bad == S.size()) bad = 0;
  size_t from = bad > Before ? bad - Before : 0, to = std::min(S.size(), from + Width);
  if (from > 0 && U16_IS_TRAIL(S[from])) ++from;
  if (to < S.size() && U16_IS_LEAD(S[to - 1])) --to;
  static constexpr char16_t Hex[] = u"0123456789ABCDEF";
  std::u16string r = from > 0 ? u"..." : u"";
  for (size_t i = from; i < to; ++i) {
    const char16_t c = S[i];
    if (c < 0x20) {
      r += {u'\\', u'x', Hex[c >> 4], Hex[c & 15]};
    } else if (c >= 0xFFFE) {
      r += {u'\\', u'u', u'F', u'F', u'F', Hex[c & 15]};
    } else {
      r += c;
    }
  }
  if (to < S.size()) r += u"...";
  return r;
}

bool IsNameStart(char32_t C) {
  return C == ':' || C == '_' || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') ||
         (C >= 0xC0 && C <= 0xD6) || (C >= 0xD8 && C <= 0xF6) || (C >= 0xF8 && C <= 0x2FF) ||
         (C >= 0x370 && C <= 0x37D) || (C >= 0x37F && C <= 0x1FFF) || C == 0x200C || C == 0x200D ||
         (C >= 0x2070 && C <= 0x218F) || (C >= 0x2C00 && C <= 0x2FEF) ||
         (C >= 0x3001 && C <= 0xD7FF) || (C >= 0xF900 && C <= 0xFDCF) ||
         (C >= 0xFDF0 && C <= 0xFFFD) || (C >= 0x10000 && C <= 0xEFFFF);
}

bool IsNameChar(char32_t C) {
  return IsNameStart(C) || C == '-' || C == '.' || (C >= '0' && C <= '9') || C == 0xB7 ||
         (C >= 0x300 && C <= 0x36F) || C == 0x203F || C == 0x2040;
}

bool IsXMLName(std::u16string_view S) {
  if (S.size() > size_t(INT32_MAX)) return false;
  const int32_t n = int32_t(S.size());
  for (int32_t i = 0; i < n;) {
    const bool first = i == 0;
    UChar32 c;
    U16_NEXT(S.data(), i, n, c);
    if (!(first ? IsNameStart(char32_t(c)) : IsNameChar(char32_t(c)))) return false;
  }
  return !S.empty();
}

std::string CheckedName(std::u16string_view Name) {
  if (!IsXMLName(Name)) throw EQEMXMLError(Format(SXMLInvalidName, Shown(Name)));
  return UTF16ToUTF8(Name);
}

// The document keeps C strings: a NUL becomes U+FFFF, which the save refuses as it would NUL.
std::string ToDocText(std::u16string_view S) {
  if (S.find(u'\0') == std::u16string_view::npos) return UTF16ToUTF8(S);
  std::u16string t(S);
  std::replace(t.begin(), t.end(), u'\0', u'\uFFFF');
  return UTF16ToUTF8(t);
}

// Compares without converting, the hot path of every lookup and of unchanged text on save:
// characters of the Basic Multilingual Plane are encoded on the fly; others (and NUL, stored
// as U+FFFF) take the general way.
bool SameName(const char* Utf8, std::u16string_view Name) {
  const auto* p = reinterpret_cast<const unsigned char*>(Utf8);
  size_t k = 0;
  for (size_t i = 0; i < Name.size(); ++i) {
    const char16_t c = Name[i];
    if (c != 0 && c < 0x80) {
      if (p[k++] != c) return false; // stops at Utf8's end, where the byte is 0
    } else if (c >= 0x80 && c < 0x800) {
      if (p[k] != (0xC0 | c >> 6) || p[k + 1] != (0x80 | (c & 0x3F))) return false;
      k += 2;
    } else if (c >= 0x800 && (c < 0xD800 || c >= 0xE000)) {
      if (p[k] != (0xE0 | c >> 12) || p[k + 1] != (0x80 | ((c >> 6) & 0x3F)) ||
          p[k + 2] != (0x80 | (c & 0x3F)))
        return false;
      k += 3;
    } else {
      return ToDocText(Name) == Utf8;
    }
  }
  return p[k] == 0;
}

std::u16string ToCRLF(std::u16string S);

// Document text as UTF-16 with every line break as CR LF. Text is nearly always ASCII or two-
// and three-byte characters without breaks: those are decoded here in one pass, straight into
// the result; anything else goes the general way.
void DocTextCRLF(const char* S, std::u16string& Out) {
  const auto* p = reinterpret_cast<const unsigned char*>(S);
  const size_t n = std::strlen(S);
  Out.resize(n);
  size_t k = 0;
  for (size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80 && c != '\r' && c != '\n') {
      Out[k++] = char16_t(c);
      ++i;
    } else if (c >= 0xC2 && c < 0xE0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      Out[k++] = char16_t((c & 0x1F) << 6 | (p[i + 1] & 0x3F));
      i += 2;
    } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
               (p[i + 2] & 0xC0) == 0x80) {
      const char32_t v = (c & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F);
      if (v < 0x800 || (v >= 0xD800 && v < 0xE000)) {
        Out = ToCRLF(UTF8ToUTF16(S));
        return;
      }
      Out[k++] = char16_t(v);
      i += 3;
    } else {
      Out = ToCRLF(UTF8ToUTF16(S));
      return;
    }
  }
  Out.resize(k);
}

bool SameASCIIText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) {
           return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
         });
}

// ---- structure rules the DOM enforces and pugixml does not

bool HasChildOfType(xml_node Parent, pugi::xml_node_type Type) {
  for (xml_node c = Parent.first_child(); c; c = c.next_sibling())
    if (c.type() == Type) return true;
  return false;
}

bool CanHold(xml_node Parent, pugi::xml_node_type Type) {
  using namespace pugi;
  switch (Parent.type()) {
  case node_element:
    return Type == node_element || Type == node_pcdata || Type == node_cdata ||
           Type == node_comment || Type == node_pi;
  case node_document:
    switch (Type) {
    case node_element:
      return !HasChildOfType(Parent, node_element);
    case node_comment:
    case node_pi:
      return true;
    case node_declaration:
      return !Parent.first_child();
    case node_doctype:
      return !HasChildOfType(Parent, node_element) && !HasChildOfType(Parent, node_doctype);
    default:
      return false;
    }
  default:
    return false;
  }
}

xml_node AddChild(xml_node Parent, pugi::xml_node_type Type, xml_node Before,
                  std::u16string_view Op) {
  Check(CanHold(Parent, Type), Op);
  xml_node c = Before ? Parent.insert_child_before(Type, Before) : Parent.append_child(Type);
  Check(bool(c), Op);
  return c;
}

xml_node AppendShallowCopy(xml_node Parent, xml_node Source) {
  xml_node c = Parent.append_child(Source.type());
  if (!c) return c;
  if (*Source.name()) c.set_name(Source.name());
  if (*Source.value()) c.set_value(Source.value());
  for (pugi::xml_attribute a = Source.first_attribute(); a; a = a.next_attribute())
    c.append_copy(a);
  return c;
}

// ---- loading

// Offset of the first byte that does not start a well-formed UTF-8 character, or npos.
size_t FindBadUTF8(std::string_view S) {
  return QEMFindInvalidUTF8(S);
}

bool Fail(TQEMXMLDocument& Doc, std::u16string Msg) {
  Access::Doc(Doc).reset();
  Access::SetError(Doc, std::move(Msg));
  return false;
}

bool HoldsBadUTF8(const pugi::xml_document& D) {
  auto bad = [](const char* S) { return FindBadUTF8(S) != std::string_view::npos; };
  xml_node n = D.first_child();
  while (n) {
    if (bad(n.value())) return true;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
      if (bad(a.value())) return true;
    if (xml_node c = n.first_child()) {
      n = c;
      continue;
    }
    while (n && !n.next_sibling())
      n = n.parent();
    if (n) n = n.next_sibling();
  }
  return false;
}

// ---- characters XML cannot hold, refused at load with their place

constexpr uint32_t NoChar = 0xFFFFFFFF; // a reference beyond Unicode

bool IsXMLChar(uint32_t C) {
  return C == 0x9 || C == 0xA || C == 0xD || (C >= 0x20 && C <= 0xD7FF) ||
         (C >= 0xE000 && C <= 0xFFFD) || (C >= 0x10000 && C <= 0x10FFFF);
}

// Offset of the first character of valid UTF-8 text that XML cannot hold, or npos; Code gets it.
size_t FindRawNonChar(std::string_view S, uint32_t& Code) {
  constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
  auto hasZero = [](uint64_t X) { return (X - Ones) & ~X & Highs; };
  const auto* p = reinterpret_cast<const unsigned char*>(S.data());
  const size_t n = S.size();
  size_t i = 0;
  while (i < n) {
    // Eight bytes at a time: only control characters and the lead byte of U+FFFE/U+FFFF matter.
    if (n - i >= 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (!(((w - Ones * 0x20) & ~w & Highs) | hasZero(w ^ (Ones * 0xEF)))) {
        i += 8;
        continue;
      }
    }
    for (const size_t end = std::min(n, i + 8); i < end; ++i) {
      const unsigned c = p[i];
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        Code = c;
        return i;
      }
      if (c == 0xEF && n - i >= 3 && p[i + 1] == 0xBF && (p[i + 2] == 0xBE || p[i + 2] == 0xBF)) {
        Code = 0xFFC0 | (p[i + 2] & 0x3F);
        return i;
      }
    }
  }
  return std::string_view::npos;
}

// The value of a character reference at S[I] ("&#"), read as the parser reads it: decimal, or
// hexadecimal after a lower-case x, ended by ';'. False when the parser leaves it as text.
bool ReadCharRef(std::string_view S, size_t I, uint32_t& Code) {
  size_t j = I + 2;
  const bool hex = j < S.size() && S[j] == 'x';
  if (hex) ++j;
  uint64_t v = 0;
  size_t digits = 0;
  for (; j < S.size(); ++j, ++digits) {
    const char c = S[j];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = unsigned(c - '0');
    else if (hex && (c | ' ') >= 'a' && (c | ' ') <= 'f')
      d = unsigned((c | ' ') - 'a' + 10);
    else
      break;
    v = std::min<uint64_t>(v * (hex ? 16 : 10) + d, 0x110000); // the parser's sum would wrap
  }
  if (digits == 0 || j >= S.size() || S[j] != ';') return false;
  Code = v > 0x10FFFF ? NoChar : uint32_t(v);
  return true;
}

// Offset of the first character reference to a character XML cannot hold, or npos. References
// count in text and attribute values; comments, CDATA sections and processing instructions
// hold them as plain text.
size_t FindBadCharRef(std::string_view S, uint32_t& Code) {
  const size_t n = S.size();
  auto skipPast = [&](size_t From, std::string_view End) {
    const size_t e = S.find(End, From);
    return e == S.npos ? n : e + End.size();
  };
  auto badRef = [&](size_t I) { return ReadCharRef(S, I, Code) && !IsXMLChar(Code); };
  size_t i = 0;
  while (i < n) {
    const size_t at = S.find_first_of("<&", i);
    if (at == S.npos) break;
    i = at;
    if (S[i] == '&') {
      if (S.substr(i, 2) == "&#" && badRef(i)) return i;
      ++i;
      continue;
    }
    const std::string_view rest = S.substr(i);
    if (rest.starts_with("<!--")) {
      i = skipPast(i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skipPast(i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = skipPast(i + 2, "?>");
    } else {
      // A tag (or declaration): references count inside its quoted values.
      for (++i; i < n && S[i] != '>' && S[i] != '<'; ++i) {
        if (S[i] != '"' && S[i] != '\'') continue;
        const char q = S[i];
        for (++i; i < n && S[i] != q; ++i)
          if (S[i] == '&' && S.substr(i, 2) == "&#" && badRef(i)) return i;
      }
    }
  }
  return S.npos;
}

// Line and column (both from 1, the column in characters) of a byte offset.
std::pair<int64_t, int64_t> LineColumn(std::string_view S, size_t Off) {
  const std::string_view head = S.substr(0, Off);
  const int64_t line = 1 + std::count(head.begin(), head.end(), '\n');
  const size_t start = head.rfind('\n') + 1; // npos + 1 == 0
  int64_t col = 1;
  for (size_t i = start; i < Off; ++i)
    if ((static_cast<unsigned char>(S[i]) & 0xC0) != 0x80) ++col;
  return {line, col};
}

// Why Text cannot be a document because of a character it holds, raw or as a reference; empty
// when it holds none.
std::u16string NonCharError(std::string_view Text) {
  uint32_t rawCode = 0, refCode = 0;
  const size_t raw = FindRawNonChar(Text, rawCode);
  const size_t ref =
      Text.find("&#") == Text.npos ? Text.npos : FindBadCharRef(Text.substr(0, raw), refCode);
  if (raw == Text.npos && ref == Text.npos) return {};
  const size_t at = std::min(raw, ref);
  const uint32_t code = at == ref ? refCode : rawCode;
  const auto [line, col] = LineColumn(Text, at);
  if (code == NoChar) return Format(SXMLCharRefBeyondUnicode, line, col);
  return Format(SXMLNonCharAt, int64_t(code), line, col);
}

bool Parse(TQEMXMLDocument& Doc, std::string_view Text) {
  if (Text.empty()) Text = ""; // never hand a null pointer on
  if (Text.starts_with(UTF8BOM)) Text.remove_prefix(UTF8BOM.size());
  // pugixml would take a NUL for the end of the text and silently drop the rest.
  if (const void* nul = std::memchr(Text.data(), 0, Text.size()))
    return Fail(Doc, Format(SXMLNulChar, static_cast<const char*>(nul) - Text.data()));
  if (const size_t bad = FindBadUTF8(Text); bad != std::string_view::npos)
    return Fail(Doc, Format(SXMLNotUTF8, bad));
  // Refused before parsing: the parser would store such a character, cutting the text at a NUL,
  // and the document could then never be saved.
  if (std::u16string e = NonCharError(Text); !e.empty()) return Fail(Doc, std::move(e));
  pugi::xml_document& d = Access::Doc(Doc);
  const pugi::xml_parse_result r =
      d.load_buffer(Text.data(), Text.size(), ParseFlags, pugi::encoding_utf8);
  if (!r) return Fail(Doc, Format(SXMLParseError, r.description(), int64_t(r.offset)));
  // pugixml turns a character reference beyond Unicode into bytes that are no UTF-8; such a
  // document is not well-formed, and saving it would give a file nobody can read.
  if (Text.find("&#") != std::string_view::npos && HoldsBadUTF8(d))
    return Fail(Doc, std::u16string(SXMLBadCharRef));
  Access::SetError(Doc, {});
  return true;
}

std::string UTF16BytesToUTF8(std::string_view Bytes, bool BigEndian) {
  std::u16string u;
  u.reserve(Bytes.size() / 2 + 1);
  const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
  for (size_t i = 0; i + 1 < Bytes.size(); i += 2)
    u += char16_t(BigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]));
  if (Bytes.size() % 2) u += u'\uFFFD';
  return UTF16ToUTF8(u);
}

bool IsXMLSpace(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

// The encoding named in a leading declaration, or empty text.
std::string_view DeclaredEncoding(std::string_view Bytes) {
  if (!Bytes.starts_with("<?xml") || Bytes.size() < 6 || !IsXMLSpace(Bytes[5])) return {};
  std::string_view decl = Bytes.substr(5, Bytes.find("?>") - 5);
  for (size_t p = decl.find("encoding"); p != decl.npos; p = decl.find("encoding", p + 1)) {
    if (!IsXMLSpace(decl[p - 1])) continue;
    size_t i = p + 8;
    while (i < decl.size() && IsXMLSpace(decl[i]))
      ++i;
    if (i >= decl.size() || decl[i] != '=') continue;
    ++i;
    while (i < decl.size() && IsXMLSpace(decl[i]))
      ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
    const size_t end = decl.find(decl[i], i + 1);
    if (end == decl.npos) return {};
    return decl.substr(i + 1, end - i - 1);
  }
  return {};
}

// Text without a byte-order mark that claims UTF-16 is really ASCII-compatible: read it as UTF-8.
bool NeedsNoDecoding(std::string_view Enc) {
  auto starts = [&](std::string_view P) {
    return Enc.size() >= P.size() && SameASCIIText(Enc.substr(0, P.size()), P);
  };
  return SameASCIIText(Enc, "UTF-8") || SameASCIIText(Enc, "UTF8") || starts("UTF-16") ||
         starts("UTF16");
}

// The declaration grammar's encoding names; it also keeps ICU from reading a path or options.
bool IsEncName(std::string_view S) {
  if (S.empty() || S.size() > 64) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!alpha(S[0])) return false;
  return std::all_of(S.begin(), S.end(), [&](char c) {
    return alpha(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
  });
}

// Unmappable bytes become U+FFFD: ICU's own default gives U+001A for some code pages, which
// the save would then refuse.
void ReplaceUnmappable(const void*, UConverterToUnicodeArgs* Args, const char*, int32_t,
                       UConverterCallbackReason Reason, UErrorCode* Err) {
  if (Reason > UCNV_IRREGULAR) return;
  static const UChar Replacement = 0xFFFD;
  *Err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(Args, &Replacement, 1, 0, Err);
}

bool DecodeDeclared(std::string_view Enc, std::string_view Bytes, std::string& Out) {
  if (!IsEncName(Enc)) return false;
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> cnv(ucnv_open(std::string(Enc).c_str(), &err),
                                                         ucnv_close);
  if (U_FAILURE(err) || !cnv) return false;
  ucnv_setToUCallBack(cnv.get(), ReplaceUnmappable, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return false;
  std::u16string text;
  std::vector<UChar> buf(64 * 1024);
  const char* src = Bytes.data();
  const char* const srcEnd = src + Bytes.size();
  do {
    err = U_ZERO_ERROR;
    UChar* target = buf.data();
    ucnv_toUnicode(cnv.get(), &target, buf.data() + buf.size(), &src, srcEnd, nullptr, true, &err);
    text.append(buf.data(), target);
  } while (err == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(err)) return false;
  Out = UTF16ToUTF8(text);
  return true;
}

// ---- saving

void CheckText(const char* S) {
  for (const auto* p = reinterpret_cast<const unsigned char*>(S); *p; ++p) {
    if (*p >= 0x20 && *p != 0xEF) continue; // the common case, kept cheap
    const bool bad = *p < 0x20 ? *p != '\t' && *p != '\n' && *p != '\r'
                               : p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF);
    if (bad) throw EQEMXMLError(Format(SXMLInvalidText, Shown(UTF8ToUTF16(S))));
  }
}

// Raises for the first text XML cannot hold. Iterative: deep nesting must not exhaust the stack.
void CheckDocument(const pugi::xml_document& D) {
  xml_node n = D.first_child();
  while (n) {
    CheckText(n.name());
    CheckText(n.value());
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      CheckText(a.name());
      CheckText(a.value());
    }
    if (xml_node c = n.first_child()) {
      n = c;
      continue;
    }
    while (n && !n.next_sibling())
      n = n.parent();
    if (n) n = n.next_sibling();
  }
}

// A quick look over the output for what XML cannot hold: raw in names, comments, instructions
// and CDATA, or as a character reference where pugixml escaped a control character in text or
// an attribute. A literal "&#1;" in a comment is a false alarm that CheckDocument clears.
bool BadAt(const unsigned char* P, const unsigned char* End) {
  const unsigned c = *P;
  if (c < 0x20) return c != '\t' && c != '\n' && c != '\r';
  if (c == 0xEF) return End - P >= 3 && P[1] == 0xBF && (P[2] == 0xBE || P[2] == 0xBF);
  if (c != '&' || End - P < 3 || P[1] != '#' || P[2] < '0' || P[2] > '9') return false;
  unsigned v = 0;
  for (const unsigned char* q = P + 2; q < End && *q >= '0' && *q <= '9' && v < 0x20; ++q)
    v = v * 10 + (*q - '0');
  return v < 0x20 && v != '\t' && v != '\n' && v != '\r';
}

bool MayHoldBadChar(std::string_view Out) {
  // Eight bytes at a time: most words hold no control character, '&' or 0xEF at all.
  constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
  auto hasZero = [](uint64_t X) { return (X - Ones) & ~X & Highs; };
  const auto* p = reinterpret_cast<const unsigned char*>(Out.data());
  const auto* const end = p + Out.size();
  while (p < end) {
    if (end - p >= 8) {
      uint64_t x;
      std::memcpy(&x, p, 8);
      if (!(((x - Ones * 0x20) & ~x & Highs) | hasZero(x ^ (Ones * '&')) |
            hasZero(x ^ (Ones * 0xEF)))) {
        p += 8;
        continue;
      }
    }
    for (int k = 0; k < 8 && p < end; ++k, ++p)
      if (BadAt(p, end)) return true;
  }
  return false;
}

// Collects the output in pieces small enough for the heap to recycle: one growing string for a
// large document costs more in page faults and copies than the serialising itself.
struct TChunkWriter : pugi::xml_writer {
  static constexpr size_t ChunkSize = 64 * 1024;
  std::vector<std::string> Chunks;
  void write(const void* Data, size_t Size) override {
    const char* d = static_cast<const char*>(Data);
    while (Size > 0) {
      if (Chunks.empty() || Chunks.back().size() == ChunkSize)
        Chunks.emplace_back().reserve(ChunkSize);
      std::string& c = Chunks.back();
      const size_t n = std::min(Size, ChunkSize - c.size());
      c.append(d, n);
      d += n;
      Size -= n;
    }
  }
  void write(std::string_view S) { write(S.data(), S.size()); }
  bool MayHoldBadChar() const {
    for (size_t i = 0; i < Chunks.size(); ++i) {
      if (::MayHoldBadChar(Chunks[i])) return true;
      // A character or reference cut by the chunk border.
      if (i + 1 < Chunks.size() &&
          ::MayHoldBadChar(Chunks[i].substr(Chunks[i].size() - 8) + Chunks[i + 1].substr(0, 8)))
        return true;
    }
    return false;
  }
};

// The whole output is made before any of it goes out, so a refused save writes nothing; the
// tree is only walked when the output looks suspect, to name the offending text.
void Serialise(const pugi::xml_document& D, TChunkWriter& W) {
  if (!D.document_element()) throw EQEMXMLError(std::u16string(SXMLNoRoot));
  constexpr unsigned Flags = pugi::format_raw | pugi::format_no_declaration;
  xml_node n = D.first_child();
  if (n.type() == pugi::node_declaration) {
    pugi::xml_attribute enc = n.attribute("encoding");
    if (enc && !SameASCIIText(enc.value(), "UTF-8")) {
      pugi::xml_document tmp;
      xml_node decl = tmp.append_copy(n);
      decl.attribute("encoding").set_value("UTF-8");
      decl.print(W, "", Flags, pugi::encoding_utf8);
    } else {
      n.print(W, "", Flags, pugi::encoding_utf8);
    }
    n = n.next_sibling();
  } else {
    W.write(DefaultDeclaration);
  }
  W.write(CRLF);
  for (; n; n = n.next_sibling()) {
    n.print(W, "", Flags, pugi::encoding_utf8);
    W.write(CRLF);
  }
  if (W.MayHoldBadChar()) CheckDocument(D);
}

bool IsSkippedInFormatted(xml_node N) {
  return N.type() == pugi::node_doctype || N.type() == pugi::node_declaration ||
         (N.type() == pugi::node_pi && SameASCIIText(N.name(), "xml"));
}

// ---- formatted saving

constexpr unsigned PrintFlags = pugi::format_raw | pugi::format_no_declaration;

struct TStringWriter : pugi::xml_writer {
  std::string Out;
  void write(const void* Data, size_t Size) override {
    Out.append(static_cast<const char*>(Data), Size);
  }
};

// Each level's line break and indentation: the indentation as stored (for the check) and the
// whole break as printed (the indentation escaped like any text).
struct TIndents {
  std::string Raw[MaxFormattedDepth + 1], Printed[MaxFormattedDepth + 1];
  bool AnyBad = false;
  explicit TIndents(std::string_view Unit) {
    pugi::xml_document scratch;
    xml_node t = scratch.append_child(pugi::node_pcdata);
    std::string s;
    for (int i = 0; i <= MaxFormattedDepth; ++i, s += Unit) {
      t.set_value(s.data(), s.size());
      Raw[i] = t.value();
      TStringWriter w;
      w.Out = CRLF;
      t.print(w, "", PrintFlags, pugi::encoding_utf8);
      Printed[i] = std::move(w.Out);
    }
    // Only then is the indentation worth checking at every line.
    AnyBad = std::any_of(Unit.begin(), Unit.end(), [](char C) {
      return static_cast<unsigned char>(C) < 0x20 || static_cast<unsigned char>(C) == 0xEF;
    });
  }
  static size_t Level(size_t Depth) { return std::min<size_t>(Depth, MaxFormattedDepth); }
};

// The layout below Root, handed to a sink as it would be printed: each child on a line of its
// own, leaf elements and childless nodes whole, any other element as start tag, children and
// end tag. Every line break inside is followed by indentation, so the two go as one Break.
// Both the check and the writing take this one walk, so they cannot disagree about what is
// saved. pugixml's own walk is iterative (deep nesting cannot exhaust the stack) and much
// cheaper than stepping through the tree by its accessors.
template <class TSink> void WalkFormatted(xml_node Root, TSink& Sink) {
  struct TWalker : pugi::xml_tree_walker {
    TSink& Sink;
    // Elements waiting for their end tag; the one at index i is at level i + 1.
    std::vector<xml_node> Open;
    // The only child of a leaf element, already printed with it.
    bool SkipNext = false;
    std::exception_ptr Fault;

    explicit TWalker(TSink& S) : Sink(S) {}
    void CloseDownTo(size_t Level) {
      while (Open.size() > Level) {
        Sink.Break(Open.size());
        Sink.EndTag(Open.back());
        Open.pop_back();
      }
    }
    void Visit(xml_node& N) {
      if (SkipNext) {
        SkipNext = false;
        return;
      }
      const size_t level = size_t(depth()) + 1;
      if (Open.size() >= level) CloseDownTo(level - 1);
      const pugi::xml_node_type type = N.type();
      if (type != pugi::node_element) {
        if (type != pugi::node_pcdata && IsSkippedInFormatted(N)) return;
        Sink.Break(level);
        Sink.Whole(N);
        return;
      }
      Sink.Break(level);
      const xml_node first = N.first_child();
      const pugi::xml_node_type firstType = first.type();
      if (firstType == pugi::node_null ||
          ((firstType == pugi::node_pcdata || firstType == pugi::node_cdata) &&
           first.next_sibling().type() == pugi::node_null)) {
        Sink.Whole(N);
        SkipNext = firstType != pugi::node_null;
      } else {
        Sink.StartTag(N);
        Open.push_back(N);
      }
    }
    bool for_each(xml_node& N) override {
      // pugixml is not to be unwound through.
      try {
        Visit(N);
      } catch (...) {
        Fault = std::current_exception();
        return false;
      }
      return true;
    }
  };
  if (!Root.first_child()) return;
  TWalker walker(Sink);
  Root.traverse(walker);
  if (walker.Fault) std::rethrow_exception(walker.Fault);
  walker.CloseDownTo(0);
  Sink.Break(0);
}

// The whole file: Head's nodes, with the layout of Root's children inside Head's root element.
template <class TSink>
void EmitFormatted(const pugi::xml_document& Head, xml_node Root, TSink& Sink) {
  const xml_node headRoot = Head.document_element();
  xml_node n = Head.first_child();
  if (n.type() == pugi::node_declaration) {
    Sink.Declaration(n);
    n = n.next_sibling();
  } else {
    Sink.Declaration(xml_node());
  }
  Sink.NewLine();
  for (; n; n = n.next_sibling()) {
    if (n == headRoot && Root.first_child()) {
      Sink.StartTag(n);
      for (xml_node c = n.first_child(); c; c = c.next_sibling())
        Sink.Whole(c);
      Sink.Content(Root);
      Sink.EndTag(n);
    } else {
      Sink.Whole(n);
    }
    Sink.NewLine();
  }
}

// Only elements and declarations have attributes, and only they and instructions have names;
// elements have no value.
void CheckNode(xml_node N, pugi::xml_node_type Type) {
  if (Type == pugi::node_element || Type == pugi::node_declaration) {
    CheckText(N.name());
    for (pugi::xml_attribute a = N.first_attribute(); a; a = a.next_attribute()) {
      CheckText(a.name());
      CheckText(a.value());
    }
    return;
  }
  if (Type == pugi::node_pi) CheckText(N.name());
  CheckText(N.value());
}
void CheckNode(xml_node N) {
  CheckNode(N, N.type());
}

// Raises for the first text XML cannot hold, in the order the text would be written.
struct TFormattedCheck {
  const TIndents& Indents;
  void NewLine() {}
  void Break(size_t Depth) {
    if (Indents.AnyBad) CheckText(Indents.Raw[TIndents::Level(Depth)].c_str());
  }
  void Declaration(xml_node N) {
    if (N) CheckNode(N);
  }
  void StartTag(xml_node N) { CheckNode(N); }
  void EndTag(xml_node) {}
  void Whole(xml_node Top) {
    xml_node n = Top;
    while (true) {
      CheckNode(n);
      if (xml_node c = n.first_child()) {
        n = c;
        continue;
      }
      while (n != Top && !n.next_sibling())
        n = n.parent();
      if (n == Top) return;
      n = n.next_sibling();
    }
  }
  // With clean indentation the written text comes in document order, skipped nodes aside
  // (they never have children), so a plain walk finds the same first fault as the layout would.
  void Content(xml_node Root) {
    if (Indents.AnyBad) return WalkFormatted(Root, *this);
    struct TWalker : pugi::xml_tree_walker {
      std::exception_ptr Fault;
      bool for_each(xml_node& N) override {
        const pugi::xml_node_type t = N.type();
        if (t != pugi::node_element && t != pugi::node_pcdata && IsSkippedInFormatted(N))
          return true;
        try {
          CheckNode(N, t);
        } catch (...) {
          Fault = std::current_exception();
          return false;
        }
        return true;
      }
    } walker;
    Root.traverse(walker);
    if (walker.Fault) std::rethrow_exception(walker.Fault);
  }
};

// Writes to the stream through a buffer of its own: pugixml hands over every node it prints
// separately, and a stream call per node costs more than the printing.
class TFormattedWriter final : public pugi::xml_writer {
public:
  TFormattedWriter(std::ostream& Stream, const TIndents& Indents)
      : FStream(Stream), FIndents(Indents), FBuf(new char[BufSize]) {}

  void write(const void* Data, size_t Size) override {
    Put(std::string_view(static_cast<const char*>(Data), Size));
  }
  void Flush() {
    FStream.write(FBuf.get(), std::streamsize(FUsed));
    FUsed = 0;
  }

  void NewLine() { Put(CRLF); }
  void Break(size_t Depth) { Put(FIndents.Printed[TIndents::Level(Depth)]); }
  void Declaration(xml_node N) {
    if (!N) {
      Put(DefaultDeclaration);
      return;
    }
    pugi::xml_attribute enc = N.attribute("encoding");
    if (enc && !SameASCIIText(enc.value(), "UTF-8")) {
      pugi::xml_document tmp;
      xml_node decl = tmp.append_copy(N);
      decl.attribute("encoding").set_value("UTF-8");
      decl.print(*this, "", PrintFlags, pugi::encoding_utf8);
    } else {
      N.print(*this, "", PrintFlags, pugi::encoding_utf8);
    }
  }
  // pugixml's own form: names raw, and in attribute values control characters as two-digit
  // references, '&', '<' and '"' as entities, '>' and '\'' as they are.
  void StartTag(xml_node E) {
    Put('<');
    PutName(E.name());
    for (pugi::xml_attribute a = E.first_attribute(); a; a = a.next_attribute()) {
      Put(' ');
      PutName(a.name());
      Put("=\"");
      PutAttributeValue(a.value());
      Put('"');
    }
    Put('>');
  }
  void EndTag(xml_node E) {
    Put("</");
    PutName(E.name());
    Put('>');
  }
  void Whole(xml_node N) { N.print(*this, "", PrintFlags, pugi::encoding_utf8); }
  void Content(xml_node Root) { WalkFormatted(Root, *this); }

private:
  static constexpr size_t BufSize = 64 * 1024;
  std::ostream& FStream;
  const TIndents& FIndents;
  std::unique_ptr<char[]> FBuf;
  size_t FUsed = 0;

  void Put(char C) {
    if (FUsed == BufSize) Flush();
    FBuf[FUsed++] = C;
  }
  void Put(std::string_view S) {
    if (S.size() > BufSize - FUsed) {
      Flush();
      if (S.size() > BufSize) {
        FStream.write(S.data(), std::streamsize(S.size()));
        return;
      }
    }
    std::memcpy(FBuf.get() + FUsed, S.data(), S.size());
    FUsed += S.size();
  }
  void PutName(const char* Name) { Put(*Name ? std::string_view(Name) : ":anonymous"); }
  void PutAttributeValue(const char* S) {
    const char* run = S;
    for (;; ++S) {
      const auto c = static_cast<unsigned char>(*S);
      if (c >= 0x20 && c != '&' && c != '<' && c != '"') continue;
      Put(std::string_view(run, size_t(S - run)));
      run = S + 1;
      switch (c) {
      case 0:
        return;
      case '&':
        Put("&amp;");
        break;
      case '<':
        Put("&lt;");
        break;
      case '"':
        Put("&quot;");
        break;
      default: {
        const char ref[] = {'&', '#', char('0' + c / 10), char('0' + c % 10), ';'};
        Put(std::string_view(ref, sizeof ref));
        break;
      }
      }
    }
  }
};

std::u16string Repeat(const std::u16string& S, int Count) {
  std::u16string r;
  r.reserve(S.size() * Count);
  for (int i = 0; i < Count; ++i)
    r += S;
  return r;
}

int AncestorCount(xml_node N) {
  int count = 0;
  for (xml_node p = N.parent(); p; p = p.parent())
    ++count;
  return count;
}

std::u16string ToCRLF(std::u16string S) {
  if (std::none_of(S.begin(), S.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }))
    return S;
  std::u16string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == u'\r') {
      r += u"\r\n";
      if (i + 1 < S.size() && S[i + 1] == u'\n') ++i;
    } else if (S[i] == u'\n') {
      r += u"\r\n";
    } else {
      r += S[i];
    }
  }
  return r;
}
} // namespace

// ---- TQEMXMLNode

TQEMXMLNodeType TQEMXMLNode::NodeType() const {
  switch (N(*this).type()) {
  case pugi::node_document:
    return ntDocument;
  case pugi::node_element:
    return ntElement;
  case pugi::node_pcdata:
    return ntText;
  case pugi::node_cdata:
    return ntCData;
  case pugi::node_comment:
    return ntComment;
  case pugi::node_pi:
    return ntProcessingInstruction;
  case pugi::node_declaration:
    return ntDeclaration;
  case pugi::node_doctype:
    return ntDocumentType;
  default:
    return ntNull;
  }
}

std::u16string TQEMXMLNode::NodeName() const {
  xml_node n = N(*this);
  switch (n.type()) {
  case pugi::node_pcdata:
    return u"#text";
  case pugi::node_cdata:
    return u"#cdata-section";
  case pugi::node_comment:
    return u"#comment";
  case pugi::node_document:
    return u"#document";
  case pugi::node_doctype: {
    // pugixml keeps the whole declaration; its first word is the name.
    std::string_view v = n.value();
    return UTF8ToUTF16(v.substr(0, v.find_first_of(" \t\r\n[")));
  }
  default:
    return UTF8ToUTF16(n.name());
  }
}

std::u16string TQEMXMLNode::NodeValue() const {
  xml_node n = N(*this);
  switch (n.type()) {
  case pugi::node_pcdata:
  case pugi::node_cdata:
  case pugi::node_comment:
  case pugi::node_pi:
    return UTF8ToUTF16(n.value());
  case pugi::node_declaration: {
    std::string v;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
      v.append(v.empty() ? "" : " ").append(a.name()).append("=\"").append(a.value()) += '"';
    return UTF8ToUTF16(v);
  }
  default:
    return {};
  }
}

void TQEMXMLNode::SetNodeValue(const std::u16string& Value) const {
  xml_node n = N(*this);
  Check(bool(n), u"SetNodeValue");
  switch (n.type()) {
  case pugi::node_pcdata:
  case pugi::node_cdata:
  case pugi::node_comment:
  case pugi::node_pi:
    n.set_value(ToDocText(Value).c_str());
    break;
  default:
    break;
  }
}

TQEMXMLNode TQEMXMLNode::ParentNode() const {
  return W(N(*this).parent());
}
TQEMXMLNode TQEMXMLNode::FirstChild() const {
  return W(N(*this).first_child());
}
TQEMXMLNode TQEMXMLNode::LastChild() const {
  return W(N(*this).last_child());
}
TQEMXMLNode TQEMXMLNode::PreviousSibling() const {
  return W(N(*this).previous_sibling());
}
TQEMXMLNode TQEMXMLNode::NextSibling() const {
  return W(N(*this).next_sibling());
}
bool TQEMXMLNode::HasChildNodes() const {
  return bool(N(*this).first_child());
}

int TQEMXMLNode::ChildCount() const {
  int count = 0;
  for (xml_node c = N(*this).first_child(); c; c = c.next_sibling())
    ++count;
  return count;
}

TQEMXMLNode TQEMXMLNode::Child(int Index) const {
  if (Index < 0) return {};
  xml_node c = N(*this).first_child();
  for (; c && Index > 0; --Index)
    c = c.next_sibling();
  return W(c);
}

void TQEMXMLNode::RemoveChild(TQEMXMLNode Child) const {
  Check(!IsNull() && !Child.IsNull() && N(*this).remove_child(N(Child)), u"RemoveChild");
}

TQEMXMLNode TQEMXMLNode::OwnerDocument() const {
  xml_node n = N(*this);
  return n.type() == pugi::node_document ? TQEMXMLNode() : W(n.root());
}

namespace {
pugi::xml_attribute FindAttribute(xml_node N, std::u16string_view Name) {
  for (pugi::xml_attribute a = N.first_attribute(); a; a = a.next_attribute())
    if (SameName(a.name(), Name)) return a;
  return {};
}
} // namespace

std::u16string TQEMXMLNode::GetAttribute(const std::u16string& Name) const {
  return UTF8ToUTF16(FindAttribute(N(*this), Name).value());
}

bool TQEMXMLNode::HasAttribute(const std::u16string& Name) const {
  return bool(FindAttribute(N(*this), Name));
}

void TQEMXMLNode::SetAttribute(const std::u16string& Name, const std::u16string& Value) const {
  xml_node n = N(*this);
  Check(n.type() == pugi::node_element || n.type() == pugi::node_declaration, u"SetAttribute");
  const std::string name = CheckedName(Name);
  pugi::xml_attribute a = n.attribute(name.c_str());
  if (!a) a = n.append_attribute(name.c_str());
  Check(bool(a), u"SetAttribute");
  a.set_value(ToDocText(Value).c_str());
}

void TQEMXMLNode::RemoveAttribute(const std::u16string& Name) const {
  Check(!IsNull(), u"RemoveAttribute");
  N(*this).remove_attribute(ToDocText(Name).c_str());
}

std::vector<std::pair<std::u16string, std::u16string>> TQEMXMLNode::Attributes() const {
  std::vector<std::pair<std::u16string, std::u16string>> r;
  for (pugi::xml_attribute a = N(*this).first_attribute(); a; a = a.next_attribute())
    r.emplace_back(UTF8ToUTF16(a.name()), UTF8ToUTF16(a.value()));
  return r;
}

TQEMXMLNode TQEMXMLNode::AppendElement(const std::u16string& Name) const {
  return InsertElementBefore({}, Name);
}

TQEMXMLNode TQEMXMLNode::AppendText(const std::u16string& Text) const {
  return InsertTextBefore({}, Text);
}

TQEMXMLNode TQEMXMLNode::AppendCData(const std::u16string& Text) const {
  xml_node c = AddChild(N(*this), pugi::node_cdata, {}, u"AppendCData");
  c.set_value(ToDocText(Text).c_str());
  return W(c);
}

TQEMXMLNode TQEMXMLNode::InsertElementBefore(TQEMXMLNode Ref, const std::u16string& Name) const {
  const std::string name = CheckedName(Name);
  xml_node c = AddChild(N(*this), pugi::node_element, N(Ref), u"InsertElementBefore");
  c.set_name(name.c_str());
  return W(c);
}

TQEMXMLNode TQEMXMLNode::InsertTextBefore(TQEMXMLNode Ref, const std::u16string& Text) const {
  xml_node c = AddChild(N(*this), pugi::node_pcdata, N(Ref), u"InsertTextBefore");
  c.set_value(ToDocText(Text).c_str());
  return W(c);
}

TQEMXMLNode TQEMXMLNode::AppendCopy(TQEMXMLNode Source, bool Deep) const {
  xml_node n = N(*this), s = N(Source);
  Check(s && CanHold(n, s.type()), u"AppendCopy");
  const xml_node c = Deep ? n.append_copy(s) : AppendShallowCopy(n, s);
  Check(bool(c), u"AppendCopy");
  return W(c);
}

void TQEMXMLNode::MoveBefore(TQEMXMLNode Node, TQEMXMLNode Ref) const {
  xml_node n = N(*this), m = N(Node);
  Check(m && (m.parent() == n || CanHold(n, m.type())), u"MoveBefore");
  Check(bool(Ref ? n.insert_move_before(m, N(Ref)) : n.append_move(m)), u"MoveBefore");
}

void TQEMXMLNode::MoveToEnd(TQEMXMLNode Node) const {
  MoveBefore(Node, {});
}

// ---- TQEMXMLDocument

TQEMXMLDocument::TQEMXMLDocument() : FDoc(std::make_unique<pugi::xml_document>()) {}
TQEMXMLDocument::~TQEMXMLDocument() = default;

TQEMXMLNode TQEMXMLDocument::DocumentNode() const {
  return W(*FDoc);
}
TQEMXMLNode TQEMXMLDocument::DocumentElement() const {
  return W(FDoc->document_element());
}

void TQEMXMLDocument::Clear() {
  FDoc->reset();
  FLastError.clear();
}

// ---- free functions

std::shared_ptr<TQEMXMLDocument> CreateNewDocument() {
  return std::make_shared<TQEMXMLDocument>();
}

bool LoadFromBytes(TQEMXMLDocument& Doc, std::string_view Bytes) {
  auto at = [&](size_t I, unsigned char A, unsigned char B) {
    return Bytes.size() >= I + 2 && static_cast<unsigned char>(Bytes[I]) == A &&
           static_cast<unsigned char>(Bytes[I + 1]) == B;
  };
  if (Bytes.starts_with(UTF8BOM)) return Parse(Doc, Bytes);
  if (at(0, 0xFF, 0xFE)) return Parse(Doc, UTF16BytesToUTF8(Bytes.substr(2), false));
  if (at(0, 0xFE, 0xFF)) return Parse(Doc, UTF16BytesToUTF8(Bytes.substr(2), true));
  if (at(0, '<', 0) && at(2, '?', 0)) return Parse(Doc, UTF16BytesToUTF8(Bytes, false));
  if (at(0, 0, '<') && at(2, 0, '?')) return Parse(Doc, UTF16BytesToUTF8(Bytes, true));
  const std::string_view enc = DeclaredEncoding(Bytes);
  if (enc.empty() || NeedsNoDecoding(enc)) return Parse(Doc, Bytes);
  std::string text;
  if (!DecodeDeclared(enc, Bytes, text))
    return Fail(Doc, Format(SXMLUnknownEncoding, Shown(UTF8ToUTF16(enc))));
  return Parse(Doc, text);
}

namespace {
// Past the end of a document type whose text starts at I, with an internal subset that may
// hold quotes and comments; npos when the text ends first.
size_t SkipDocType(std::string_view S, size_t I) {
  int depth = 0;
  for (char q = 0; I < S.size(); ++I) {
    const char c = S[I];
    if (q) {
      if (c == q) q = 0;
    } else if (c == '"' || c == '\'') {
      q = c;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (depth > 0 && S.substr(I).starts_with("<!--")) {
      const size_t end = S.find("-->", I + 4);
      if (end == S.npos) return end;
      I = end + 2;
    } else if (c == '>' && depth <= 0) {
      return I + 1;
    }
  }
  return S.npos;
}

// Where the element reached from the root through Path ends, as the parser would read the
// markup before it; Open gets the elements still open there, outermost first. npos when the
// text ends first, or when an element of the path closes without leading to it.
size_t FindPathEnd(std::string_view S, const std::vector<std::string_view>& Path,
                   std::vector<std::string_view>& Open) {
  const size_t n = S.size(), want = Path.size() + 1; // the root is level 1
  size_t matched = 0;                                // levels of Path the open elements follow
  auto skipPast = [&](size_t From, std::string_view End) {
    const size_t e = S.find(End, From);
    return e == S.npos ? S.npos : e + End.size();
  };
  auto nameEnd = [&](size_t From) {
    while (From < n && !IsXMLSpace(S[From]) && S[From] != '>' && S[From] != '/')
      ++From;
    return From;
  };
  // Past a start tag's '>', stepping over quoted values; Closed tells "/>".
  auto tagEnd = [&](size_t From, bool& Closed) {
    for (char q = 0; From < n; ++From) {
      if (q) {
        if (S[From] == q) q = 0;
      } else if (S[From] == '"' || S[From] == '\'') {
        q = S[From];
      } else if (S[From] == '>') {
        Closed = S[From - 1] == '/';
        return From + 1;
      }
    }
    return S.npos;
  };
  for (size_t i = 0; i < n;) {
    i = S.find('<', i);
    if (i == S.npos) return i;
    const std::string_view rest = S.substr(i);
    if (rest.starts_with("<!--")) {
      i = skipPast(i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skipPast(i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = skipPast(i + 2, "?>");
    } else if (rest.starts_with("<!")) {
      i = SkipDocType(S, i + 2);
    } else if (rest.starts_with("</")) {
      const std::string_view name = S.substr(i + 2, nameEnd(i + 2) - i - 2);
      i = S.find('>', i);
      if (Open.empty() || Open.back() != name || i == S.npos) return S.npos;
      const size_t level = Open.size();
      Open.pop_back();
      if (level <= matched + 1 && level > 0) {
        if (level == want && matched + 1 == want) return i + 1;
        return S.npos;
      }
      ++i;
    } else {
      const std::string_view name = S.substr(i + 1, nameEnd(i + 1) - i - 1);
      bool closed = false;
      i = tagEnd(i + 1, closed);
      if (i == S.npos || name.empty()) return S.npos;
      const size_t level = Open.size() + 1;
      const bool onPath = level == 1 || (level - 2 < Path.size() && matched == level - 2 &&
                                         name == Path[level - 2]);
      if (onPath) matched = level - 1;
      if (closed) {
        if (onPath) return level == want ? i : S.npos;
      } else {
        Open.push_back(name);
      }
    }
  }
  return S.npos;
}
} // namespace

bool LoadHeadFromBytes(TQEMXMLDocument& Doc, std::string_view Bytes,
                       std::initializer_list<std::string_view> Path) {
  std::string_view text = Bytes;
  if (text.starts_with(UTF8BOM)) {
    text.remove_prefix(UTF8BOM.size());
  } else {
    // Other encodings are read whole, as LoadFromBytes reads them.
    const std::string_view enc = DeclaredEncoding(Bytes);
    if (!enc.empty() && !NeedsNoDecoding(enc)) return false;
    if (Bytes.size() >= 2 &&
        (Bytes[0] == 0 || Bytes[1] == 0 || static_cast<unsigned char>(Bytes[0]) >= 0xFE))
      return false;
  }
  std::vector<std::string_view> open;
  const size_t end = FindPathEnd(text, std::vector<std::string_view>(Path), open);
  if (end == text.npos) return false;
  std::string head(text.substr(0, end));
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    head.append("</").append(*it) += '>';
  // A start the parser reads otherwise than the scan did fails here and is read whole.
  return Parse(Doc, head);
}

bool LoadFromStream(TQEMXMLDocument& Doc, std::istream& Stream) {
  const std::string bytes{std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
  return LoadFromBytes(Doc, bytes);
}

bool LoadFromFile(TQEMXMLDocument& Doc, const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) return Fail(Doc, Format(SXMLCannotOpen, FileName));
  return LoadFromBytes(Doc, bytes);
}

bool LoadFromString(TQEMXMLDocument& Doc, const std::u16string& S) {
  return Parse(Doc, UTF16ToUTF8(S));
}

std::string SaveToBytes(const TQEMXMLDocument& Doc) {
  TChunkWriter w;
  Serialise(Access::Doc(Doc), w);
  std::string out;
  out.reserve(w.Chunks.size() * TChunkWriter::ChunkSize);
  for (const std::string& c : w.Chunks)
    out += c;
  return out;
}

void SaveToStream(const TQEMXMLDocument& Doc, std::ostream& Stream) {
  TChunkWriter w;
  Serialise(Access::Doc(Doc), w);
  for (const std::string& c : w.Chunks)
    Stream.write(c.data(), std::streamsize(c.size()));
}

std::u16string SaveToString(const TQEMXMLDocument& Doc) {
  return UTF8ToUTF16(SaveToBytes(Doc));
}

void SaveFormattedDocument(const TQEMXMLDocument& Doc, std::ostream& Stream,
                           const std::u16string& Head) {
  const xml_node root = Access::Doc(Doc).document_element();
  if (!root) throw EQEMXMLError(std::u16string(SXMLNoRoot));
  TQEMXMLDocument head;
  if (!LoadFromString(head, Head)) throw EQEMXMLError(head.LastError());
  const pugi::xml_document& h = Access::Doc(head);
  if (!h.document_element()) throw EQEMXMLError(std::u16string(SXMLNoRoot));
  // Checked first and written straight after: a refused save writes nothing, and the output is
  // never held whole in memory.
  const TIndents indents(UTF16ToUTF8(DefaultIndentStr));
  TFormattedCheck check{indents};
  EmitFormatted(h, root, check);
  TFormattedWriter writer(Stream, indents);
  EmitFormatted(h, root, writer);
  writer.Flush();
}

TQEMXMLNode CreateNewElement(TQEMXMLNode Parent, const std::u16string& Name, bool Formatted) {
  if (!Formatted) return Parent.AppendElement(Name);
  Check(Parent.NodeType() == ntElement, u"CreateNewElement");
  CheckedName(Name);
  Parent.AppendText(DefaultIndentStr);
  const TQEMXMLNode e = Parent.AppendElement(Name);
  Parent.AppendText(u"\r\n" + Repeat(DefaultIndentStr, AncestorCount(N(Parent))));
  e.AppendText(u"\r\n" + Repeat(DefaultIndentStr, AncestorCount(N(e))));
  return e;
}

TQEMXMLNode CreateNewTextElement(TQEMXMLNode Parent, const std::u16string& Name, bool Formatted) {
  if (Formatted) Check(Parent.NodeType() == ntElement, u"CreateNewTextElement");
  const TQEMXMLNode e = Parent.AppendElement(Name);
  if (Formatted) {
    if (const TQEMXMLNode prev = e.PreviousSibling()) Parent.AppendCopy(prev, false);
    Parent.InsertTextBefore(e, DefaultIndentStr);
  }
  return e;
}

TQEMXMLNode FindChildElement(TQEMXMLNode Node, const std::u16string& Name) {
  for (xml_node c = N(Node).first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && SameName(c.name(), Name)) return W(c);
  return {};
}

bool IsElement(TQEMXMLNode Node, const std::u16string& Name, TQEMXMLNode& Element) {
  xml_node n = N(Node);
  const bool is = n.type() == pugi::node_element && SameName(n.name(), Name);
  Element = is ? Node : TQEMXMLNode();
  return is;
}

std::u16string GetAttribute(TQEMXMLNode Element, const std::u16string& Name) {
  return Element.GetAttribute(Name);
}

bool HasOnlyText(TQEMXMLNode Element, std::u16string_view S) {
  const xml_node only = N(Element).first_child();
  return !S.empty() && only && !only.next_sibling() && only.type() == pugi::node_pcdata &&
         SameName(only.value(), S);
}

int AttributeCount(TQEMXMLNode Element) {
  int count = 0;
  for (pugi::xml_attribute a = N(Element).first_attribute(); a; a = a.next_attribute())
    ++count;
  return count;
}

bool HasAttributeValue(TQEMXMLNode Element, std::u16string_view Name, std::u16string_view Value) {
  const pugi::xml_attribute a = FindAttribute(N(Element), Name);
  return a && SameName(a.value(), Value);
}

std::u16string GetTextFromNode(TQEMXMLNode Node) {
  std::u16string r;
  GetTextFromNode(Node, r);
  return r;
}

void GetTextFromNode(TQEMXMLNode Node, std::u16string& Out) {
  xml_node n = N(Node);
  if (n.type() != pugi::node_element) {
    Out = ToCRLF(Node.NodeValue());
    return;
  }
  const auto isText = [](xml_node c) {
    return c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata;
  };
  const xml_node first = n.first_child();
  if (!first) {
    Out.clear();
  } else if (!first.next_sibling() && isText(first)) {
    DocTextCRLF(first.value(), Out); // the usual leaf
  } else {
    std::string text;
    for (xml_node c = first; c; c = c.next_sibling())
      if (isText(c)) text += c.value();
    DocTextCRLF(text.c_str(), Out);
  }
}

void SetTextToNode(TQEMXMLNode Node, const std::u16string& S) {
  xml_node n = N(Node);
  if (n.type() != pugi::node_element) {
    Node.SetNodeValue(S);
    return;
  }
  // Rewriting an unchanged leaf would only churn the document's memory.
  const xml_node only = n.first_child();
  if (only && !only.next_sibling() && only.type() == pugi::node_pcdata && !S.empty() &&
      SameName(only.value(), S))
    return;
  n.remove_children();
  Node.AppendText(S);
}

std::string_view RawName(TQEMXMLNode Node) {
  return N(Node).name();
}

std::string_view RawValue(TQEMXMLNode Node) {
  return N(Node).value();
}

size_t RawAttributes(TQEMXMLNode Node, TQEMXMLRawAttribute* Out, size_t Max) {
  size_t count = 0;
  for (pugi::xml_attribute a = N(Node).first_attribute(); a; a = a.next_attribute(), ++count)
    if (count < Max) Out[count] = TQEMXMLRawAttribute{a.name(), a.value()};
  return count;
}
