#include "QEMRcFormat.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace {

constexpr char16_t CR = 13, LF = 10;
constexpr size_t npos = std::u16string_view::npos;

constexpr std::u16string_view SUnterminatedString = u"Unterminated string";
constexpr std::u16string_view SUnterminatedComment = u"Unterminated comment";
constexpr std::u16string_view SBeginWithoutEnd = u"BEGIN without END";
constexpr std::u16string_view SEndWithoutBegin = u"END without BEGIN";
constexpr std::u16string_view SBeginExpected = u"BEGIN expected";
constexpr std::u16string_view SStringExpected = u"String expected";
constexpr std::u16string_view SIdentifierExpected = u"String identifier expected";
constexpr std::u16string_view STypeExpected = u"Resource type expected";
constexpr std::u16string_view SUnexpected = u"Unexpected text";
constexpr std::u16string_view STooDeep = u"Menus nested too deeply";
constexpr std::u16string_view SUtf8WithoutBOM =
    u"UTF-8 script (code_page 65001) without a byte-order mark: save it with one";

bool IsBlank(char16_t C) {
  return C == u' ' || C == u'\t' || C == u'\f' || C == u'\v' || C == 0xFEFF;
}
bool IsLineBreak(char16_t C) {
  return C == CR || C == LF;
}
bool IsSeparator(char16_t C) {
  return C == u'"' || C == u',' || C == u'(' || C == u')' || C == u'{' || C == u'}' || C == u'|';
}

bool SameWord(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char16_t a = A[i], b = B[i];
    if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
    if (b >= u'a' && b <= u'z') b = char16_t(b - 32);
    if (a != b) return false;
  }
  return true;
}

std::u16string Ascii(std::string_view S) {
  return std::u16string(S.begin(), S.end());
}

// Line breaks before Pos, counting CR LF once.
int LineOf(std::u16string_view S, size_t Pos) {
  int line = 1;
  for (size_t i = 0; i < Pos && i < S.size(); ++i)
    if (S[i] == LF || (S[i] == CR && (i + 1 >= S.size() || S[i + 1] != LF))) ++line;
  return line;
}

// Decimal or hexadecimal, in parentheses or with an integer suffix, as #define values come.
bool ParseNumber(std::u16string_view S, uint32_t& Value) {
  while (!S.empty() && (S.front() == u'(' || IsBlank(S.front())))
    S.remove_prefix(1);
  while (!S.empty() && (S.back() == u')' || IsBlank(S.back())))
    S.remove_suffix(1);
  while (!S.empty() &&
         (S.back() == u'L' || S.back() == u'l' || S.back() == u'U' || S.back() == u'u'))
    S.remove_suffix(1);
  unsigned base = 10;
  if (S.size() > 2 && S[0] == u'0' && (S[1] == u'x' || S[1] == u'X')) {
    base = 16;
    S.remove_prefix(2);
  }
  if (S.empty() || S.size() > 8) return false;
  uint64_t v = 0;
  for (char16_t c : S) {
    unsigned d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    v = v * base + d;
  }
  if (v > 0xFFFFFFFF) return false;
  Value = uint32_t(v);
  return true;
}

// A syntax error at an offset of the text; Parse names the file and line.
struct TRcSyntaxError {
  size_t Pos;
  std::u16string_view Reason;
};

enum class TKind { Eof, Word, String, Punct };

struct TToken {
  TKind Kind = TKind::Eof;
  size_t Begin = 0; // a string starts at its quote: an L prefix stays outside the literal
  size_t End = 0;
  bool NewLine = false; // a line break separates it from the token before
};

class TRcLexer {
public:
  explicit TRcLexer(std::u16string_view Text) : S(Text) {}

  const TToken& Peek() {
    if (!FHasPeek) {
      FPeek = Scan();
      FHasPeek = true;
    }
    return FPeek;
  }
  TToken Next() {
    Peek();
    FHasPeek = false;
    return FPeek;
  }
  std::u16string_view TextOf(const TToken& T) const { return S.substr(T.Begin, T.End - T.Begin); }
  bool Is(const TToken& T, std::u16string_view Word) const {
    return T.Kind == TKind::Word && SameWord(TextOf(T), Word);
  }
  bool IsPunct(const TToken& T, char16_t C) const {
    return T.Kind == TKind::Punct && S[T.Begin] == C;
  }
  bool IsBegin(const TToken& T) const { return Is(T, u"BEGIN") || IsPunct(T, u'{'); }
  bool IsEnd(const TToken& T) const { return Is(T, u"END") || IsPunct(T, u'}'); }

  std::vector<std::pair<std::u16string, std::u16string>> Defines; // name, value as written
  std::vector<std::pair<size_t, size_t>> CodePages;               // spans inside code_page(...)
  size_t FirstString = npos;

private:
  TToken Scan();
  void ScanString();
  void Directive();

  std::u16string_view S;
  size_t P = 0;
  bool FLineStart = true;
  bool FHasPeek = false;
  TToken FPeek;
};

TToken TRcLexer::Scan() {
  const size_t n = S.size();
  TToken t;
  for (;;) {
    if (P >= n) {
      t.Begin = t.End = n;
      return t;
    }
    const char16_t c = S[P];
    if (IsLineBreak(c)) {
      ++P;
      t.NewLine = FLineStart = true;
    } else if (IsBlank(c)) {
      ++P;
    } else if (c == u'/' && P + 1 < n && S[P + 1] == u'/') {
      while (P < n && !IsLineBreak(S[P]))
        ++P;
    } else if (c == u'/' && P + 1 < n && S[P + 1] == u'*') {
      const size_t e = S.find(u"*/", P + 2);
      if (e == npos) throw TRcSyntaxError{P, SUnterminatedComment};
      P = e + 2;
    } else if (c == u'#' && FLineStart) {
      Directive();
    } else {
      break;
    }
  }
  FLineStart = false;
  t.Begin = P;
  const char16_t c = S[P];
  if (c == u'"') {
    t.Kind = TKind::String;
    ScanString();
  } else if (IsSeparator(c)) {
    t.Kind = TKind::Punct;
    ++P;
  } else {
    t.Kind = TKind::Word;
    while (P < n && !IsBlank(S[P]) && !IsLineBreak(S[P]) && !IsSeparator(S[P]) &&
           !(S[P] == u'/' && P + 1 < n && (S[P + 1] == u'/' || S[P + 1] == u'*')))
      ++P;
    if (P - t.Begin == 1 && S[t.Begin] == u'L' && P < n && S[P] == u'"') {
      t.Kind = TKind::String;
      t.Begin = P;
      ScanString();
    }
  }
  t.End = P;
  return t;
}

void TRcLexer::ScanString() {
  const size_t start = P, n = S.size();
  if (FirstString == npos) FirstString = start;
  ++P;
  for (;;) {
    if (P >= n || IsLineBreak(S[P])) throw TRcSyntaxError{start, SUnterminatedString};
    const char16_t c = S[P];
    if (c == u'"') {
      if (P + 1 < n && S[P + 1] == u'"') {
        P += 2;
        continue;
      }
      ++P;
      return;
    }
    P += c == u'\\' && P + 1 < n && !IsLineBreak(S[P + 1]) ? 2 : 1;
  }
}

// A preprocessor line, with its continuations and comments. Only numeric #defines and code-page
// pragmas matter to us.
void TRcLexer::Directive() {
  const size_t n = S.size(), begin = P + 1;
  size_t i = begin, end = npos;
  while (i < n && !IsLineBreak(S[i])) {
    const char16_t c = S[i];
    if (c == u'\\' && i + 1 < n && IsLineBreak(S[i + 1])) {
      i += S[i + 1] == CR && i + 2 < n && S[i + 2] == LF ? 3 : 2;
    } else if (c == u'/' && i + 1 < n && S[i + 1] == u'*') {
      const size_t e = S.find(u"*/", i + 2);
      if (e == npos) throw TRcSyntaxError{i, SUnterminatedComment};
      if (end == npos) end = i;
      i = e + 2;
    } else if (c == u'/' && i + 1 < n && S[i + 1] == u'/') {
      if (end == npos) end = i;
      while (i < n && !IsLineBreak(S[i]))
        ++i;
    } else {
      ++i;
    }
  }
  P = i;
  const std::u16string_view line = S.substr(begin, (end == npos ? i : end) - begin);
  // The words of the line up to its first comment.
  std::vector<std::pair<size_t, size_t>> words;
  for (size_t k = 0; k < line.size();) {
    while (k < line.size() && (IsBlank(line[k]) || IsLineBreak(line[k]) || line[k] == u'\\'))
      ++k;
    const size_t w = k;
    while (k < line.size() && !IsBlank(line[k]) && !IsLineBreak(line[k]))
      ++k;
    if (k > w) words.emplace_back(w, k);
  }
  auto word = [&](size_t I) {
    return line.substr(words[I].first, words[I].second - words[I].first);
  };
  if (words.size() >= 3 && word(0) == u"define") {
    Defines.emplace_back(word(1), word(2));
  } else if (!words.empty() && word(0) == u"pragma") {
    const size_t k = line.find(u"code_page");
    const size_t open = k == npos ? npos : line.find(u'(', k);
    const size_t close = open == npos ? npos : line.find(u')', open);
    if (close != npos) CodePages.emplace_back(begin + open + 1, begin + close);
  }
}

class TRcParser {
public:
  TRcParser(std::u16string_view Text, bool StringMap, std::vector<TQEMLiteralItem>& Items)
      : L(Text), FStringMap(StringMap), FItems(Items) {}
  void Run();

private:
  [[noreturn]] static void Fail(size_t Pos, std::u16string_view Reason) {
    throw TRcSyntaxError{Pos, Reason};
  }
  std::u16string Text(const TToken& T) const { return std::u16string(L.TextOf(T)); }
  bool Continues(const TToken& Prev) const;
  TToken Literal(const TToken& First);
  void AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit);
  void SkipStatement(TToken Last);
  void SkipBlock(const TToken& Begin);
  TToken Header(const TToken& Start, const std::u16string* Dialog);
  void Resource(const TToken& Name);
  void Menu(const TToken& Begin, const std::u16string& Name, const std::u16string& Path);
  void Dialog(const TToken& Begin, const std::u16string& Name);
  void StringTable(const TToken& Start);
  void Finish();

  TRcLexer L;
  bool FStringMap;
  std::vector<TQEMLiteralItem>& FItems;
};

// Whether a statement goes on after a line break that follows Prev.
bool TRcParser::Continues(const TToken& Prev) const {
  if (Prev.Kind == TKind::Punct) return !L.IsPunct(Prev, u')');
  if (Prev.Kind != TKind::Word) return false;
  const std::u16string_view w = L.TextOf(Prev);
  return SameWord(w, u"NOT") || w.back() == u'+' || w.back() == u'-';
}

// Adjacent literals are one.
TToken TRcParser::Literal(const TToken& First) {
  TToken t = First;
  while (L.Peek().Kind == TKind::String)
    t.End = L.Next().End;
  return t;
}

void TRcParser::AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit) {
  TQEMLiteralItem item;
  item.Value = Text(Lit);
  std::u16string raw;
  if (!RcLiteralToRaw(item.Value, raw) || raw.empty()) return;
  item.ID = std::move(ID);
  item.ResName = ResName;
  item.Begin = Lit.Begin;
  item.End = Lit.End;
  FItems.push_back(std::move(item));
}

// Statements end with their line unless an operator or comma carries them on. Parentheses do
// not: one left open must not swallow the rest of the file.
void TRcParser::SkipStatement(TToken Last) {
  for (;;) {
    const TToken& t = L.Peek();
    if (t.Kind == TKind::Eof || L.IsBegin(t) || L.IsEnd(t)) return;
    const bool joins = L.IsPunct(t, u',') || L.IsPunct(t, u'|') || L.IsPunct(t, u')');
    if (t.NewLine && !joins && !Continues(Last)) return;
    Last = L.Next();
  }
}

void TRcParser::SkipBlock(const TToken& Begin) {
  for (int depth = 1; depth > 0;) {
    const TToken t = L.Next();
    if (t.Kind == TKind::Eof) Fail(Begin.Begin, SBeginWithoutEnd);
    if (L.IsBegin(t)) ++depth;
    if (L.IsEnd(t)) --depth;
  }
}

// The statements between a resource's type and its BEGIN; a dialog's caption is an item.
TToken TRcParser::Header(const TToken& Start, const std::u16string* Dialog) {
  for (;;) {
    const TToken t = L.Next();
    if (L.IsBegin(t)) return t;
    if (t.Kind == TKind::Eof || L.IsEnd(t)) Fail(Start.Begin, SBeginExpected);
    if (Dialog && L.Is(t, u"CAPTION") && L.Peek().Kind == TKind::String)
      AddItem(*Dialog + u".Caption", *Dialog, Literal(L.Next()));
  }
}

void TRcParser::Run() {
  for (;;) {
    const TToken t = L.Next();
    if (t.Kind == TKind::Eof) break;
    if (L.IsEnd(t)) Fail(t.Begin, SEndWithoutBegin);
    if (L.IsBegin(t) || t.Kind == TKind::Punct) Fail(t.Begin, SUnexpected);
    if (L.Is(t, u"STRINGTABLE"))
      StringTable(t);
    else if (L.Is(t, u"LANGUAGE") || L.Is(t, u"VERSION") || L.Is(t, u"CHARACTERISTICS"))
      SkipStatement(t);
    else
      Resource(t);
  }
  Finish();
}

void TRcParser::Resource(const TToken& NameTok) {
  std::u16string name = Text(NameTok);
  if (NameTok.Kind == TKind::String) {
    std::u16string raw;
    if (RcLiteralToRaw(name, raw)) name = raw;
  }
  const TToken type = L.Next();
  if (type.Kind != TKind::Word && type.Kind != TKind::String) Fail(NameTok.Begin, STypeExpected);
  if (L.Is(type, u"MENU") || L.Is(type, u"MENUEX")) {
    Menu(Header(type, nullptr), name, u"");
  } else if (L.Is(type, u"DIALOG") || L.Is(type, u"DIALOGEX")) {
    Dialog(Header(type, &name), name);
  } else if (L.Is(type, u"VERSIONINFO") || L.Is(type, u"ACCELERATORS")) {
    SkipBlock(Header(type, nullptr));
  } else {
    // Other resources name a file on their line or carry a data block, perhaps after common
    // statements on lines of their own.
    for (;;) {
      const TToken& p = L.Peek();
      if (L.IsBegin(p)) return SkipBlock(L.Next());
      if (p.Kind == TKind::Eof || L.IsEnd(p)) return;
      if (p.NewLine && !L.Is(p, u"LANGUAGE") && !L.Is(p, u"VERSION") &&
          !L.Is(p, u"CHARACTERISTICS"))
        return;
      L.Next();
    }
  }
}

void TRcParser::Menu(const TToken& Begin, const std::u16string& Name, const std::u16string& Path) {
  // Each level is a call: input nested without end must not exhaust the stack.
  if (Path.size() > 1000) Fail(Begin.Begin, STooDeep);
  int index = 0;
  for (;;) {
    TToken t = L.Next();
    if (t.Kind == TKind::Eof) Fail(Begin.Begin, SBeginWithoutEnd);
    if (L.IsEnd(t)) return;
    if (L.IsBegin(t)) {
      SkipBlock(t);
      continue;
    }
    const bool popup = L.Is(t, u"POPUP");
    if (popup || L.Is(t, u"MENUITEM")) {
      const std::u16string path = Path + Ascii(std::to_string(index++));
      if (L.Peek().Kind == TKind::String) {
        t = Literal(L.Next());
        AddItem(Name + u"." + path, Name, t);
      }
      if (popup) {
        Menu(Header(t, nullptr), Name, path + u".");
        continue;
      }
    }
    SkipStatement(t);
  }
}

void TRcParser::Dialog(const TToken& Begin, const std::u16string& Name) {
  static constexpr std::u16string_view TextControls[] = {
      u"LTEXT",       u"RTEXT",    u"CTEXT",        u"PUSHBUTTON",     u"DEFPUSHBUTTON",
      u"PUSHBOX",     u"CHECKBOX", u"AUTOCHECKBOX", u"STATE3",         u"AUTO3STATE",
      u"RADIOBUTTON", u"GROUPBOX", u"CONTROL",      u"AUTORADIOBUTTON"};
  int index = 0;
  for (;;) {
    TToken t = L.Next();
    if (t.Kind == TKind::Eof) Fail(Begin.Begin, SBeginWithoutEnd);
    if (L.IsEnd(t)) return;
    if (L.IsBegin(t)) { // a control's creation data
      SkipBlock(t);
      continue;
    }
    if (t.Kind == TKind::Word) {
      const int at = index++;
      const bool text = std::any_of(std::begin(TextControls), std::end(TextControls),
                                    [&](std::u16string_view K) { return L.Is(t, K); });
      if (text && L.Peek().Kind == TKind::String) {
        t = Literal(L.Next());
        AddItem(Name + u"." + Ascii(std::to_string(at)), Name, t);
      }
    }
    SkipStatement(t);
  }
}

void TRcParser::StringTable(const TToken& Start) {
  const TToken begin = Header(Start, nullptr);
  for (;;) {
    const TToken first = L.Next();
    if (first.Kind == TKind::Eof) Fail(begin.Begin, SBeginWithoutEnd);
    if (L.IsEnd(first)) return;
    if (first.Kind == TKind::String || L.IsBegin(first) || L.IsPunct(first, u','))
      Fail(first.Begin, SIdentifierExpected);
    std::u16string id = Text(first);
    for (TToken prev = first; L.Peek().Kind != TKind::String && !L.IsPunct(L.Peek(), u',');) {
      const TToken& p = L.Peek();
      if (p.Kind == TKind::Eof || L.IsBegin(p) || L.IsEnd(p) || (p.NewLine && !Continues(prev)))
        Fail(first.Begin, SStringExpected);
      prev = L.Next();
      id += Text(prev);
    }
    if (L.IsPunct(L.Peek(), u',')) L.Next();
    if (L.Peek().Kind != TKind::String) Fail(first.Begin, SStringExpected);
    AddItem(FStringMap ? id : u"STRINGTABLE." + id, u"STRINGTABLE", Literal(L.Next()));
  }
}

// Map entries written by number take the name #defined for it; identifiers met again are
// numbered so that none is lost.
void TRcParser::Finish() {
  if (FStringMap) {
    std::unordered_map<uint32_t, std::u16string> names;
    for (const auto& [name, value] : L.Defines) {
      uint32_t v;
      if (ParseNumber(value, v)) names.emplace(v, name);
    }
    for (TQEMLiteralItem& item : FItems) {
      uint32_t v;
      if (item.ResName != u"STRINGTABLE" || !ParseNumber(item.ID, v)) continue;
      const auto it = names.find(v);
      if (it != names.end()) item.ID = it->second;
    }
  }
  std::unordered_map<std::u16string, int> seen;
  for (TQEMLiteralItem& item : FItems) {
    const int n = ++seen[item.ID];
    if (n > 1) item.ID += u"~" + Ascii(std::to_string(n));
  }
}

constexpr std::u16string_view EscapeLetters = u"nrtabfv\\\"'?";
constexpr char16_t EscapeCodes[] = {LF, CR, 9, 7, 8, 12, 11, u'\\', u'"', u'\'', u'?'};

bool IsHexDigit(char16_t C) {
  return (C >= u'0' && C <= u'9') || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
}

std::u16string Hex2(unsigned V) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  return {u'0', u'x', char16_t(Digits[(V >> 4) & 15]), char16_t(Digits[V & 15])};
}

} // namespace

bool RcLiteralToRaw(std::u16string_view S, std::u16string& Raw) {
  Raw.clear();
  const size_t n = S.size();
  size_t i = 0;
  bool any = false;
  auto digits = [&](unsigned Base, size_t Max) {
    unsigned v = 0;
    for (size_t k = 0; k < Max && i < n; ++k, ++i) {
      const char16_t c = S[i];
      unsigned d;
      if (c >= u'0' && c <= u'9' && c - u'0' < int(Base))
        d = c - u'0';
      else if (Base == 16 && c >= u'a' && c <= u'f')
        d = c - u'a' + 10;
      else if (Base == 16 && c >= u'A' && c <= u'F')
        d = c - u'A' + 10;
      else
        break;
      v = v * Base + d;
    }
    return char16_t(v);
  };
  for (;;) {
    while (i < n && (IsBlank(S[i]) || IsLineBreak(S[i])))
      ++i;
    if (i >= n) return any;
    if (S[i] == u'L' && i + 1 < n && S[i + 1] == u'"') ++i;
    if (S[i] != u'"') return false;
    ++i;
    any = true;
    for (;;) {
      if (i >= n || IsLineBreak(S[i])) return false;
      const char16_t c = S[i++];
      if (c == u'"') {
        if (i < n && S[i] == u'"') {
          Raw += u'"';
          ++i;
          continue;
        }
        break;
      }
      if (c != u'\\') {
        Raw += c;
        continue;
      }
      if (i >= n || IsLineBreak(S[i])) return false;
      const char16_t e = S[i++];
      const size_t k = EscapeLetters.find(e);
      if (k != npos)
        Raw += EscapeCodes[k];
      else if ((e == u'x' || e == u'X') && i < n && IsHexDigit(S[i]))
        Raw += digits(16, 4);
      else if (e >= u'0' && e <= u'7')
        --i, Raw += digits(8, 3);
      else // the compiler keeps an unknown escape as written
        Raw += {u'\\', e};
    }
  }
}

std::u16string RawToRcLiteral(std::u16string_view Raw) {
  std::u16string r;
  r.reserve(Raw.size() + 2);
  r += u'"';
  for (const char16_t c : Raw) {
    if (c == u'"')
      r += u"\"\"";
    else if (c == u'\\')
      r += u"\\\\";
    else if (c == LF)
      r += u"\\n";
    else if (c == CR)
      r += u"\\r";
    else if (c == u'\t')
      r += u"\\t";
    // Three octal digits always: a digit after the escape cannot join it.
    else if (c < 0x20 || c == 0x7F)
      r += {u'\\', char16_t(u'0' + (c >> 6)), char16_t(u'0' + ((c >> 3) & 7)),
            char16_t(u'0' + (c & 7))};
    else
      r += c;
  }
  r += u'"';
  return r;
}

void TQEMRcFormat::Parse(const std::u16string& FileName, const std::u16string& Text,
                         std::vector<TQEMLiteralItem>& Items) {
  Items.clear();
  try {
    TRcParser(Text, FStringMap, Items).Run();
  } catch (const TRcSyntaxError& E) {
    Items.clear();
    throw QEMKitSyntaxError(FileName, LineOf(Text, E.Pos), std::u16string(E.Reason));
  }
}

// A value that is no literal (the notes were edited by hand) is written as the text it reads as,
// so that it can never break the script open.
bool TQEMRcFormat::OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                                 std::u16string& Literal) {
  size_t b = 0, e = Value.size();
  while (b < e && (IsBlank(Value[b]) || IsLineBreak(Value[b])))
    ++b;
  while (e > b && (IsBlank(Value[e - 1]) || IsLineBreak(Value[e - 1])))
    --e;
  std::u16string raw;
  Literal = RcLiteralToRaw(std::u16string_view(Value).substr(b, e - b), raw)
                ? Value.substr(b, e - b)
                : RawToRcLiteral(Value);
  return QEMKitFits(Literal, CodePage);
}

void TQEMRcFormat::AdjustForTarget(std::u16string& Text, LCID XlatLCID, uint32_t CodePage,
                                   bool Utf8) {
  struct TEdit {
    size_t Begin, End;
    std::u16string Text;
  };
  std::vector<TEdit> edits;
  TRcLexer lex(Text);
  try {
    for (TToken t = lex.Next(); t.Kind != TKind::Eof; t = lex.Next()) {
      if (!lex.Is(t, u"LANGUAGE")) continue;
      TToken first = lex.Peek(), last = t;
      bool comma = false;
      // The operands may go on after a comma at the end of a line.
      while (lex.Peek().Kind != TKind::Eof && !lex.IsBegin(lex.Peek()) && !lex.IsEnd(lex.Peek()) &&
             (!lex.Peek().NewLine || lex.IsPunct(last, u','))) {
        last = lex.Next();
        comma = comma || lex.IsPunct(last, u',');
      }
      if (comma)
        edits.push_back({first.Begin, last.End,
                         Hex2(XlatLCID & 0x3FF) + u", " + Hex2((XlatLCID >> 10) & 0x3F)});
    }
  } catch (const TRcSyntaxError&) {
    return; // Parse refuses such a text, so it is never written
  }
  const uint32_t page = Utf8 ? 65001 : CodePage;
  if (page != 0)
    for (const auto& [b, e] : lex.CodePages)
      edits.push_back({b, e, Ascii(std::to_string(page))});
  if (Utf8 && (lex.CodePages.empty() || lex.CodePages.front().first > lex.FirstString)) {
    const size_t at = !Text.empty() && Text[0] == 0xFEFF ? 1 : 0;
    const std::u16string eol = Text.find(u"\r\n") != npos ? u"\r\n" : u"\n";
    edits.push_back({at, at, u"#pragma code_page(65001)" + eol});
  }
  std::sort(edits.begin(), edits.end(),
            [](const TEdit& A, const TEdit& B) { return A.Begin > B.Begin; });
  for (const TEdit& e : edits)
    Text.replace(e.Begin, e.End - e.Begin, e.Text);
}

// Files are decoded as UTF-8 only when they carry a byte-order mark; read in an ANSI code page, a
// UTF-8 script would be garbled in every translation.
void TQEMRcFormat::CheckBytes(const std::u16string& FileName, std::string_view Bytes) {
  if (Bytes.starts_with("\xEF\xBB\xBF")) return;
  if (std::all_of(Bytes.begin(), Bytes.end(), [](char C) { return (C & 0x80) == 0; })) return;
  for (size_t k = Bytes.find("code_page"); k != npos; k = Bytes.find("code_page", k + 1)) {
    const size_t line = Bytes.find_last_of("\r\n", k) + 1; // npos + 1 is the first line
    const size_t hash = Bytes.find_first_not_of(" \t", line);
    if (hash == npos || Bytes[hash] != '#') continue;
    const size_t open = Bytes.find_first_not_of(" \t", k + 9);
    if (open == npos || Bytes[open] != '(') continue;
    const size_t num = Bytes.find_first_not_of(" \t", open + 1);
    if (num != npos && Bytes.substr(num, 5) == "65001") {
      const std::string_view head = Bytes.substr(0, k);
      const int lineNo = 1 + int(std::count(head.begin(), head.end(), '\n'));
      throw QEMKitSyntaxError(FileName, lineNo, std::u16string(SUtf8WithoutBOM));
    }
    return; // the first pragma decides
  }
}

bool TQEMRcFormat::IsValidLiteral(const std::u16string& Literal) {
  std::u16string raw;
  return RcLiteralToRaw(Literal, raw);
}

std::u16string TQEMRcFormat::ToRaw(const std::u16string& Literal) {
  std::u16string raw;
  return RcLiteralToRaw(Literal, raw) ? raw : Literal;
}

std::u16string TQEMRcFormat::FromRaw(const std::u16string& Raw) {
  return RawToRcLiteral(Raw);
}
