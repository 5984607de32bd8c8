#include "OFMFormat.h"

#include "OFMBinary.h"

namespace {

constexpr std::string_view kBOM = "\xEF\xBB\xBF";
constexpr uint32_t kUtf8CodePage = 65001;

bool IsIdentStart(char16_t C) {
  return OFMIsIdentStart(C);
}
bool IsIdentChar(char16_t C) {
  return OFMIsIdentChar(C);
}
bool IsDigit(char16_t C) {
  return C >= u'0' && C <= u'9';
}
bool IsHex(char16_t C) {
  return IsDigit(C) || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
}

// ".name." so that a search finds whole path segments. Built by appending: GCC 12 warns
// wrongly on "." + std::move(text).
std::u16string Dotted(const std::u16string& S) {
  std::u16string r;
  r.reserve(S.size() + 2);
  r += u'.';
  r += S;
  r += u'.';
  return r;
}

// Printable runs quoted with doubled apostrophes, control characters as codes; Keep decides
// which other characters stay as they are.
template <class TKeep> std::u16string MakeLiteral(std::u16string_view Raw, TKeep Keep) {
  if (Raw.empty()) return u"''";
  std::u16string r;
  r.reserve(Raw.size() + 2);
  bool quoted = false;
  for (size_t i = 0; i < Raw.size(); ++i) {
    const char16_t c = Raw[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < Raw.size() && Raw[i + 1] >= 0xDC00 &&
                      Raw[i + 1] <= 0xDFFF;
    const std::u16string_view ch = Raw.substr(i, pair ? 2 : 1);
    if (c >= 32 && Keep(ch)) {
      if (!quoted) r.push_back(u'\'');
      quoted = true;
      r.append(ch);
      if (c == u'\'') r.push_back(u'\'');
    } else {
      if (quoted) r.push_back(u'\'');
      quoted = false;
      for (char16_t u : ch) {
        r.push_back(u'#');
        for (char d : std::to_string(unsigned(u)))
          r.push_back(char16_t(d));
      }
    }
    if (pair) ++i;
  }
  if (quoted) r.push_back(u'\'');
  return r;
}

std::u16string Canonical(std::u16string_view Raw) {
  return MakeLiteral(Raw, [](std::u16string_view) { return true; });
}

// What a UTF-8 form holds as it stands: not DEL or the C1 range (control characters too), not
// half a surrogate pair (UTF-8 has no bytes for it).
bool KeptInUtf8(std::u16string_view Ch) {
  const char16_t c = Ch[0];
  return !(c >= 0x7F && c <= 0x9F) && !(Ch.size() == 1 && c >= 0xD800 && c <= 0xDFFF);
}

// Segment names without indexes, for matching the exclusion list.
std::u16string WithoutIndexes(const std::u16string& Path) {
  std::u16string r;
  int depth = 0;
  for (char16_t c : Path) {
    if (c == u'[')
      ++depth;
    else if (c == u']')
      --depth;
    else if (depth == 0)
      r.push_back(c);
  }
  return r;
}

class TParser : TOFMTextScanner {
public:
  TParser(const std::u16string& FileName, const std::u16string& Text,
          std::vector<TQEMLiteralItem>& Items, const std::vector<std::u16string>& Exclusions)
      : TOFMTextScanner(FileName, Text), FItems(Items), FExclusions(Exclusions) {}

  void Run() {
    CheckLines();
    if (T.starts_with(u"\uFEFF")) P = 1;
    SkipBlanks();
    const std::u16string word = Ident();
    if (!IsObjectWord(word)) Fail(SOFMExpectedObject);
    Object(u"", 0);
    SkipBlanks();
    if (P < T.size()) Fail(SOFMTrailing);
  }

private:
  void CheckLines() {
    size_t start = 0;
    while (start <= T.size()) {
      size_t end = T.find(u'\n', start);
      if (end == std::u16string::npos) end = T.size();
      if (end - start > OFMMaxLine) FailAt(start, Format(SOFMLongLine, int32_t(OFMMaxLine)));
      start = end + 1;
    }
  }

  // After the object word: "Name: Class [index]" or "Class", then the body up to its "end".
  void Object(const std::u16string& Parent, int Depth) {
    Deeper(Depth);
    SkipSpaces();
    std::u16string name = DottedIdent();
    SkipSpaces();
    if (Cur() == u':') {
      ++P;
      SkipSpaces();
      DottedIdent();
      SkipSpaces();
    }
    if (Cur() == u'[') {
      while (!AtEnd() && Cur() != u']' && Cur() != u'\n')
        ++P;
      if (Cur() != u']') Fail(Format(SOFMUnclosed, u"["));
      ++P;
    }
    EndOfLine();
    const std::u16string path = Parent.empty() ? name : Parent + u"." + name;
    if (Parent.empty()) FRes = name;
    Body(path, u"", Depth, false);
  }

  // Properties and nested objects up to "end". Prefix: the property path of a collection item.
  void Body(const std::u16string& Path, const std::u16string& Prefix, int Depth, bool InItem) {
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail(SOFMEndOfFile);
      const size_t start = P;
      const std::u16string word = DottedIdent();
      SkipSpaces();
      if (Cur() == u'=') {
        ++P;
        SkipSpaces();
        // Long values start on the line after the "=".
        if (Cur() == u'\r' || Cur() == u'\n') SkipBlanks();
        Value(Path, Prefix + word, Depth + 1, true);
        continue;
      }
      if (OFMSameWord(word, u"end")) {
        SkipSpaces();
        if (!InItem || Cur() != u'>') EndOfLine(); // "end>" closes the last collection item
        return;
      }
      if (!InItem && IsObjectWord(word)) {
        Object(Path, Depth + 1);
        continue;
      }
      FailAt(start, SOFMExpectedProperty);
    }
  }

  void Value(const std::u16string& Path, const std::u16string& Prop, int Depth, bool Line) {
    Deeper(Depth);
    const char16_t c = Cur();
    if (c == u'\'' || c == u'#')
      String(Path, Prop);
    else if (c == u'[')
      Bracketed(u'[', u']');
    else if (c == u'{')
      Binary();
    else if (c == u'(')
      List(Path, Prop, Depth);
    else if (c == u'<')
      Collection(Path, Prop, Depth);
    else if (IsDigit(c) || c == u'-' || c == u'+' || c == u'$' || c == u'.')
      Number();
    else if (IsIdentStart(c))
      DottedIdent();
    else
      Fail(SOFMExpectedValue);
    if (Line) EndOfLine();
  }

  void Number() {
    ++P;
    while (!AtEnd()) {
      const char16_t c = Cur();
      if (IsIdentChar(c) || c == u'.')
        ++P;
      else if ((c == u'+' || c == u'-') && (T[P - 1] == u'e' || T[P - 1] == u'E'))
        ++P;
      else
        break;
    }
  }

  // Segments ('text', #13, #$0D) side by side, runs joined by "+" across lines.
  void String(const std::u16string& Path, const std::u16string& Prop) {
    const size_t begin = P;
    size_t end = P;
    const std::u16string raw = StringValue(&end);
    TQEMLiteralItem item;
    item.ID = Path + u"." + Prop;
    item.ResName = FRes;
    item.Value = Canonical(raw);
    item.Begin = begin;
    item.End = end;
    // Excluded values are reported too, so that a target code page lacking one of their
    // characters gets a character code instead of refusing the whole file. An empty string has
    // nothing to translate.
    item.Fixed = raw.empty() || Excluded(Prop);
    FItems.push_back(std::move(item));
  }

  void Bracketed(char16_t Open, char16_t Close) {
    const size_t begin = P++;
    while (!AtEnd() && Cur() != Close) {
      if (Cur() == Open || Cur() == u'\'' || Cur() == u'=')
        FailAt(begin, Format(SOFMUnclosed, std::u16string(1, Open)));
      ++P;
    }
    if (AtEnd()) FailAt(begin, Format(SOFMUnclosed, std::u16string(1, Open)));
    ++P;
  }

  void Binary() {
    const size_t begin = P++;
    while (!AtEnd() && Cur() != u'}') {
      const char16_t c = Cur();
      if (!IsHex(c) && c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') {
        if (IsIdentStart(c) || c == u'=' || c == u'\'') FailAt(begin, Format(SOFMUnclosed, u"{"));
        Fail(SOFMBadBinary);
      }
      ++P;
    }
    if (AtEnd()) FailAt(begin, Format(SOFMUnclosed, u"{"));
    ++P;
  }

  void List(const std::u16string& Path, const std::u16string& Prop, int Depth) {
    const size_t begin = P++;
    for (int index = 0;; ++index) {
      SkipBlanks();
      if (AtEnd()) FailAt(begin, Format(SOFMUnclosed, u"("));
      if (Cur() == u')') break;
      Value(Path, Prop + u"[" + Num(index) + u"]", Depth + 1, false);
      // A property line after an unclosed list must not be read as values.
      SkipSpaces();
      if (Cur() == u'=') FailAt(begin, Format(SOFMUnclosed, u"("));
    }
    ++P;
  }

  void Collection(const std::u16string& Path, const std::u16string& Prop, int Depth) {
    const size_t begin = P++;
    for (int index = 0;; ++index) {
      SkipBlanks();
      if (AtEnd()) FailAt(begin, Format(SOFMUnclosed, u"<"));
      if (Cur() == u'>') break;
      const size_t at = P;
      if (!OFMSameWord(Ident(), u"item")) FailAt(at, Format(SOFMUnclosed, u"<"));
      SkipSpaces();
      if (Cur() == u'[') Bracketed(u'[', u']');
      EndOfLine();
      Body(Path, Prop + u"[" + Num(index) + u"].", Depth + 1, true);
    }
    ++P;
  }

  static std::u16string Num(int N) {
    std::u16string r;
    for (char d : std::to_string(N))
      r.push_back(char16_t(d));
    return r;
  }

  bool Excluded(const std::u16string& Prop) const {
    if (FExclusions.empty()) return false;
    const std::u16string padded = Dotted(QEMLowerCase(WithoutIndexes(Prop)));
    for (const auto& e : FExclusions)
      if (padded.find(e) != std::u16string::npos) return true;
    return false;
  }

  std::vector<TQEMLiteralItem>& FItems;
  const std::vector<std::u16string>& FExclusions; // ".entry." in lower case
  std::u16string FRes;
};

} // namespace

bool OFMSameWord(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char16_t a = A[i], b = B[i];
    if (a >= u'A' && a <= u'Z') a = char16_t(a + 32);
    if (b >= u'A' && b <= u'Z') b = char16_t(b + 32);
    if (a != b) return false;
  }
  return true;
}

void TOFMTextScanner::FailAt(size_t Pos, std::u16string_view What) const {
  throw QEMKitSyntaxError(FFile, QEMKitLineOf(T, Pos), std::u16string(What));
}

bool TOFMTextScanner::IsObjectWord(std::u16string_view W) {
  return OFMSameWord(W, u"object") || OFMSameWord(W, u"inherited") || OFMSameWord(W, u"inline");
}

void TOFMTextScanner::SkipBlanks() {
  while (P < T.size() && (T[P] == u' ' || T[P] == u'\t' || T[P] == u'\r' || T[P] == u'\n'))
    ++P;
}

void TOFMTextScanner::SkipSpaces() {
  while (P < T.size() && (T[P] == u' ' || T[P] == u'\t'))
    ++P;
}

std::u16string TOFMTextScanner::Ident() {
  const size_t start = P;
  while (P < T.size() && OFMIsIdentChar(T[P]))
    ++P;
  return T.substr(start, P - start);
}

std::u16string TOFMTextScanner::DottedIdent() {
  if (!OFMIsIdentStart(Cur())) Fail(SOFMExpectedIdent);
  std::u16string r = Ident();
  while (Cur() == u'.' && P + 1 < T.size() && OFMIsIdentStart(T[P + 1])) {
    ++P;
    r += u'.';
    r += Ident();
  }
  return r;
}

void TOFMTextScanner::EndOfLine() {
  SkipSpaces();
  if (AtEnd() || Cur() == u'\n' || Cur() == u'\r') return;
  Fail(SOFMAfterValue);
}

void TOFMTextScanner::Deeper(int Depth) {
  if (Depth > OFMMaxDepth) Fail(SOFMTooDeep);
}

std::u16string TOFMTextScanner::StringValue(size_t* End) {
  const size_t begin = P;
  std::u16string raw;
  for (;;) {
    if (Cur() == u'\'') {
      ++P;
      for (;;) {
        if (AtEnd() || Cur() == u'\n' || Cur() == u'\r') FailAt(begin, SOFMUnterminated);
        if (Cur() == u'\'') {
          if (P + 1 < T.size() && T[P + 1] == u'\'') {
            raw.push_back(u'\'');
            P += 2;
            continue;
          }
          ++P;
          break;
        }
        raw.push_back(T[P++]);
      }
    } else if (Cur() == u'#') {
      ++P;
      uint32_t code = 0;
      const bool hex = Cur() == u'$';
      if (hex) ++P;
      const size_t digits = P;
      const auto isDigit = [](char16_t C) { return C >= u'0' && C <= u'9'; };
      const auto isHex = [&](char16_t C) {
        return isDigit(C) || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
      };
      while (!AtEnd() && (hex ? isHex(Cur()) : isDigit(Cur()))) {
        const char16_t d = Cur();
        code = code * (hex ? 16 : 10) + uint32_t(isDigit(d) ? d - u'0' : (d | 0x20) - u'a' + 10);
        if (code > 0x10FFFF) Fail(SOFMBadCode);
        ++P;
      }
      if (P == digits) Fail(SOFMBadCode);
      if (code >= 0x10000) {
        code -= 0x10000;
        raw.push_back(char16_t(0xD800 + (code >> 10)));
        raw.push_back(char16_t(0xDC00 + (code & 0x3FF)));
      } else {
        raw.push_back(char16_t(code));
      }
    } else {
      break;
    }
    if (End) *End = P;
    // A "+" joins the next run, which may start on a following line.
    const size_t save = P;
    SkipSpaces();
    if (Cur() == u'+') {
      ++P;
      SkipBlanks();
      if (Cur() != u'\'' && Cur() != u'#') Fail(SOFMExpectedString);
    } else if (Cur() != u'\'' && Cur() != u'#') {
      P = save;
      break;
    } else if (P != save) {
      // Another string after blanks, in a list: a value of its own.
      P = save;
      break;
    }
  }
  return raw;
}

std::vector<std::u16string> TOFMFormat::Exclusions() const {
  std::u16string list = OFMDefaultExclusions;
  {
    TQEMRegistry reg;
    if (!FSubKey.empty() && reg.OpenKeyReadOnly(QEMKitSettingsKey(FSubKey)) &&
        reg.ValueExists(OFMExclusionValue))
      list = reg.SafeReadStr(OFMExclusionValue, list);
  }
  std::vector<std::u16string> r;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u';', start);
    if (end == std::u16string::npos) end = list.size();
    std::u16string e = QEMTrim(list.substr(start, end - start));
    if (!e.empty()) r.push_back(Dotted(QEMLowerCase(e)));
    start = end + 1;
  }
  return r;
}

void TOFMFormat::Parse(const std::u16string& FileName, const std::u16string& Text,
                       std::vector<TQEMLiteralItem>& Items) {
  Items.clear();
  const std::vector<std::u16string> exclusions = Exclusions();
  TParser(FileName, Text, Items, exclusions).Run();
}

std::u16string OFMLiteral(std::u16string_view Raw) {
  return Canonical(Raw);
}

bool OFMIsUtf8Form(const std::u16string& FileName) {
  return QEMSameText(ExtractFileExt(FileName), u".lfm");
}

std::u16string TOFMFormat::FromRaw(const std::u16string& Raw) {
  return Canonical(Raw);
}

bool TOFMFormat::OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                               std::u16string& Literal) {
  const std::u16string raw = PasStringToRaw(Value);
  if (CodePage == kUtf8CodePage)
    Literal = MakeLiteral(raw, KeptInUtf8);
  else if (QEMKitFits(raw, CodePage))
    Literal = Canonical(raw);
  else
    Literal = MakeLiteral(raw, [&](std::u16string_view Ch) { return QEMKitFits(Ch, CodePage); });
  return true;
}

// A UTF-8 form's own toolchain reads it as UTF-8 with or without a mark, and a binary form is
// read through its text form; the rest are text in the language's code page.
std::u16string TOFMFormat::DecodeFile(const std::u16string& FileName, std::string_view Bytes,
                                      uint32_t CodePage, TQEMKitFileForm& Form) {
  const bool utf8Form = OFMIsUtf8Form(FileName);
  if (OFMIsBinaryForm(Bytes)) {
    auto layout = std::make_shared<TOFMBinaryLayout>();
    std::u16string text =
        OFMBinaryToText(FileName, Bytes, utf8Form ? kUtf8CodePage : CodePage, layout.get());
    // Literals then keep every character; the writer picks each string's type.
    Form.Utf8 = true;
    Form.Data = std::move(layout);
    return text;
  }
  if (utf8Form && !Bytes.starts_with(kBOM) && !Bytes.starts_with("\xFF\xFE") &&
      !Bytes.starts_with("\xFE\xFF")) {
    // Decoded as if marked, so that invalid bytes are reported the same way.
    std::u16string text =
        QEMKitDecode(FileName, std::string(kBOM) + std::string(Bytes), 0, Form.Utf8);
    Form.Bom = false;
    return text;
  }
  return QEMKitDecode(FileName, Bytes, CodePage, Form.Utf8);
}

std::string TOFMFormat::EncodeFile(const std::u16string& FileName, const std::u16string& Text,
                                   uint32_t CodePage, const TQEMKitFileForm& Form) {
  if (const auto* layout = dynamic_cast<const TOFMBinaryLayout*>(Form.Data.get()))
    return OFMTextToBinary(FileName, Text, OFMIsUtf8Form(FileName) ? kUtf8CodePage : CodePage,
                           layout);
  if (Form.Utf8) return (Form.Bom ? std::string(kBOM) : std::string()) + UTF16ToUTF8(Text);
  return WideStringToStringCP(CodePage, Text);
}

bool TOFMFormat::AcceptsContent(std::string_view Head) {
  if (OFMIsBinaryForm(Head)) return true;
  if (Head.starts_with("\xEF\xBB\xBF")) Head.remove_prefix(3);
  while (!Head.empty() && (Head[0] == ' ' || Head[0] == '\t' || Head[0] == '\r' || Head[0] == '\n'))
    Head.remove_prefix(1);
  std::u16string word;
  for (char c : Head.substr(0, 10))
    word.push_back(char16_t(static_cast<unsigned char>(c)));
  for (std::u16string_view w : {u"object", u"inherited", u"inline"})
    if (word.size() > w.size() && OFMSameWord(std::u16string_view(word).substr(0, w.size()), w) &&
        (word[w.size()] == u' ' || word[w.size()] == u'\t'))
      return true;
  return false;
}

// The literal is canonical: quoted runs and "#<decimal>" codes. Breaks fall between characters
// of a quoted run (closed and reopened around the "+") or before a code, never inside a doubled
// apostrophe, a code or a surrogate pair.
std::u16string TOFMFormat::WrapLiteral(std::u16string Literal, size_t Column,
                                       std::u16string_view NewLine, std::u16string_view Indent) {
  return OFMWrapLiteral(std::move(Literal), Column, NewLine, Indent);
}

std::u16string OFMWrapLiteral(std::u16string Literal, size_t Column, std::u16string_view NewLine,
                              std::u16string_view Indent) {
  if (Column + Literal.size() <= OFMWrapWidth) return Literal;
  std::u16string cont = u" +";
  cont += NewLine;
  cont += Indent;
  cont += u"  ";
  const size_t contColumn = Indent.size() + 2;
  std::u16string r;
  r.reserve(Literal.size() + Literal.size() / OFMWrapWidth * (cont.size() + 2) + 8);
  size_t column = Column;
  bool quoted = false;
  const size_t n = Literal.size();
  for (size_t i = 0; i < n;) {
    const char16_t c = Literal[i];
    if (!quoted && c == u'\'') {
      r.push_back(c);
      quoted = true;
      ++column;
      ++i;
      continue;
    }
    if (quoted && c == u'\'' && !(i + 1 < n && Literal[i + 1] == u'\'')) {
      r.push_back(c);
      quoted = false;
      ++column;
      ++i;
      continue;
    }
    size_t len = 1;
    if (quoted) {
      if (c == u'\'' || (c >= 0xD800 && c <= 0xDBFF && i + 1 < n)) len = 2;
    } else {
      while (i + len < n && Literal[i + len] != u'#' && Literal[i + len] != u'\'')
        ++len;
    }
    // A piece already on the line and this one would pass the width: break before it.
    if (column + len + 1 > OFMWrapWidth && r.size() > 1) {
      r += quoted ? u"'" + cont + u"'" : cont;
      column = contColumn + (quoted ? 1 : 0);
    }
    r.append(Literal, i, len);
    column += len;
    i += len;
  }
  return r;
}
