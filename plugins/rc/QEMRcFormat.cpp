#include "QEMRcFormat.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include <unicode/utf16.h>

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

std::u16string Hex(unsigned V, size_t Digits, bool Upper) {
  static constexpr char Lower[] = "0123456789abcdef", Up[] = "0123456789ABCDEF";
  std::u16string r;
  do {
    r.insert(r.begin(), char16_t((Upper ? Up : Lower)[V & 15]));
    V >>= 4;
  } while (V || r.size() < Digits);
  return r;
}

bool HasUpperHex(std::u16string_view S) {
  return std::any_of(S.begin(), S.end(), [](char16_t C) { return C >= u'A' && C <= u'F'; });
}

// 1200 for text after a UTF-16LE byte-order mark, 1201 for UTF-16BE, else 0.
uint32_t Utf16Page(std::string_view Bytes) {
  return Bytes.starts_with("\xFF\xFE") ? 1200 : Bytes.starts_with("\xFE\xFF") ? 1201 : 0;
}

struct TUtf16Form : TQEMKitFileData {
  explicit TUtf16Form(uint32_t APage) : Page(APage) {}
  uint32_t Page;
};

// ---- languages ----

struct TLangName {
  std::u16string_view Name;
  uint16_t Value;
};

// The primary languages of the symbolic names scripts use.
constexpr TLangName PrimaryNames[] = {
    {u"NEUTRAL", 0x00},    {u"INVARIANT", 0x7F},   {u"AFRIKAANS", 0x36},     {u"ALBANIAN", 0x1C},
    {u"AMHARIC", 0x5E},    {u"ARABIC", 0x01},      {u"ARMENIAN", 0x2B},      {u"ASSAMESE", 0x4D},
    {u"AZERI", 0x2C},      {u"AZERBAIJANI", 0x2C}, {u"BASQUE", 0x2D},        {u"BELARUSIAN", 0x23},
    {u"BENGALI", 0x45},    {u"BOSNIAN", 0x1A},     {u"BRETON", 0x7E},        {u"BULGARIAN", 0x02},
    {u"CATALAN", 0x03},    {u"CHINESE", 0x04},     {u"CORSICAN", 0x83},      {u"CROATIAN", 0x1A},
    {u"CZECH", 0x05},      {u"DANISH", 0x06},      {u"DARI", 0x8C},          {u"DUTCH", 0x13},
    {u"ENGLISH", 0x09},    {u"ESTONIAN", 0x25},    {u"FAEROESE", 0x38},      {u"FARSI", 0x29},
    {u"FILIPINO", 0x64},   {u"FINNISH", 0x0B},     {u"FRENCH", 0x0C},        {u"FRISIAN", 0x62},
    {u"GALICIAN", 0x56},   {u"GEORGIAN", 0x37},    {u"GERMAN", 0x07},        {u"GREEK", 0x08},
    {u"GUJARATI", 0x47},   {u"HEBREW", 0x0D},      {u"HINDI", 0x39},         {u"HUNGARIAN", 0x0E},
    {u"ICELANDIC", 0x0F},  {u"INDONESIAN", 0x21},  {u"IRISH", 0x3C},         {u"ITALIAN", 0x10},
    {u"JAPANESE", 0x11},   {u"KANNADA", 0x4B},     {u"KAZAK", 0x3F},         {u"KHMER", 0x53},
    {u"KONKANI", 0x57},    {u"KOREAN", 0x12},      {u"KYRGYZ", 0x40},        {u"LAO", 0x54},
    {u"LATVIAN", 0x26},    {u"LITHUANIAN", 0x27},  {u"LUXEMBOURGISH", 0x6E}, {u"MACEDONIAN", 0x2F},
    {u"MALAY", 0x3E},      {u"MALAYALAM", 0x4C},   {u"MALTESE", 0x3A},       {u"MAORI", 0x81},
    {u"MARATHI", 0x4E},    {u"MONGOLIAN", 0x50},   {u"NEPALI", 0x61},        {u"NORWEGIAN", 0x14},
    {u"ORIYA", 0x48},      {u"PASHTO", 0x63},      {u"PERSIAN", 0x29},       {u"POLISH", 0x15},
    {u"PORTUGUESE", 0x16}, {u"PUNJABI", 0x46},     {u"ROMANIAN", 0x18},      {u"ROMANSH", 0x17},
    {u"RUSSIAN", 0x19},    {u"SANSKRIT", 0x4F},    {u"SERBIAN", 0x1A},       {u"SINHALESE", 0x5B},
    {u"SLOVAK", 0x1B},     {u"SLOVENIAN", 0x24},   {u"SPANISH", 0x0A},       {u"SWAHILI", 0x41},
    {u"SWEDISH", 0x1D},    {u"SYRIAC", 0x5A},      {u"TAJIK", 0x28},         {u"TAMIL", 0x49},
    {u"TATAR", 0x44},      {u"TELUGU", 0x4A},      {u"THAI", 0x1E},          {u"TIBETAN", 0x51},
    {u"TURKISH", 0x1F},    {u"TURKMEN", 0x42},     {u"UIGHUR", 0x80},        {u"UKRAINIAN", 0x22},
    {u"URDU", 0x20},       {u"UZBEK", 0x43},       {u"VIETNAMESE", 0x2A},    {u"WELSH", 0x52},
    {u"XHOSA", 0x34},      {u"YORUBA", 0x6A},      {u"ZULU", 0x35}};

// Sublanguages: the generic ones and those of the languages scripts are most often written in.
constexpr TLangName SubNames[] = {{u"NEUTRAL", 0x00},
                                  {u"DEFAULT", 0x01},
                                  {u"SYS_DEFAULT", 0x02},
                                  {u"CUSTOM_DEFAULT", 0x03},
                                  {u"CUSTOM_UNSPECIFIED", 0x04},
                                  {u"UI_CUSTOM_DEFAULT", 0x05},
                                  {u"ARABIC_SAUDI_ARABIA", 0x01},
                                  {u"ARABIC_EGYPT", 0x03},
                                  {u"CHINESE_TRADITIONAL", 0x01},
                                  {u"CHINESE_SIMPLIFIED", 0x02},
                                  {u"CHINESE_HONGKONG", 0x03},
                                  {u"CHINESE_SINGAPORE", 0x04},
                                  {u"CHINESE_MACAU", 0x05},
                                  {u"CZECH_CZECH_REPUBLIC", 0x01},
                                  {u"DANISH_DENMARK", 0x01},
                                  {u"DUTCH", 0x01},
                                  {u"DUTCH_BELGIAN", 0x02},
                                  {u"ENGLISH_US", 0x01},
                                  {u"ENGLISH_UK", 0x02},
                                  {u"ENGLISH_AUS", 0x03},
                                  {u"ENGLISH_CAN", 0x04},
                                  {u"ENGLISH_NZ", 0x05},
                                  {u"ENGLISH_EIRE", 0x06},
                                  {u"ENGLISH_SOUTH_AFRICA", 0x07},
                                  {u"ENGLISH_JAMAICA", 0x08},
                                  {u"ENGLISH_CARIBBEAN", 0x09},
                                  {u"ENGLISH_BELIZE", 0x0A},
                                  {u"ENGLISH_TRINIDAD", 0x0B},
                                  {u"ENGLISH_ZIMBABWE", 0x0C},
                                  {u"ENGLISH_PHILIPPINES", 0x0D},
                                  {u"ENGLISH_INDIA", 0x10},
                                  {u"ENGLISH_MALAYSIA", 0x11},
                                  {u"ENGLISH_SINGAPORE", 0x12},
                                  {u"FINNISH_FINLAND", 0x01},
                                  {u"FRENCH", 0x01},
                                  {u"FRENCH_BELGIAN", 0x02},
                                  {u"FRENCH_CANADIAN", 0x03},
                                  {u"FRENCH_SWISS", 0x04},
                                  {u"FRENCH_LUXEMBOURG", 0x05},
                                  {u"FRENCH_MONACO", 0x06},
                                  {u"GERMAN", 0x01},
                                  {u"GERMAN_SWISS", 0x02},
                                  {u"GERMAN_AUSTRIAN", 0x03},
                                  {u"GERMAN_LUXEMBOURG", 0x04},
                                  {u"GERMAN_LIECHTENSTEIN", 0x05},
                                  {u"GREEK_GREECE", 0x01},
                                  {u"HEBREW_ISRAEL", 0x01},
                                  {u"HUNGARIAN_HUNGARY", 0x01},
                                  {u"ITALIAN", 0x01},
                                  {u"ITALIAN_SWISS", 0x02},
                                  {u"JAPANESE_JAPAN", 0x01},
                                  {u"KOREAN", 0x01},
                                  {u"NORWEGIAN_BOKMAL", 0x01},
                                  {u"NORWEGIAN_NYNORSK", 0x02},
                                  {u"POLISH_POLAND", 0x01},
                                  {u"PORTUGUESE_BRAZILIAN", 0x01},
                                  {u"PORTUGUESE", 0x02},
                                  {u"ROMANIAN_ROMANIA", 0x01},
                                  {u"RUSSIAN_RUSSIA", 0x01},
                                  {u"SERBIAN_LATIN", 0x02},
                                  {u"SERBIAN_CYRILLIC", 0x03},
                                  {u"SLOVAK_SLOVAKIA", 0x01},
                                  {u"SPANISH", 0x01},
                                  {u"SPANISH_MEXICAN", 0x02},
                                  {u"SPANISH_MODERN", 0x03},
                                  {u"SWEDISH", 0x01},
                                  {u"SWEDISH_FINLAND", 0x02},
                                  {u"THAI_THAILAND", 0x01},
                                  {u"TURKISH_TURKEY", 0x01},
                                  {u"UKRAINIAN_UKRAINE", 0x01}};

// One operand of a LANGUAGE statement: a number, or PREFIX_<name> of the table; -1 unknown.
int LanguagePart(std::u16string_view Operand, std::u16string_view Prefix, const TLangName* Table,
                 size_t Count, uint32_t Max) {
  uint32_t v;
  if (ParseNumber(Operand, v)) return v <= Max ? int(v) : -1;
  if (Operand.size() <= Prefix.size() || !SameWord(Operand.substr(0, Prefix.size()), Prefix))
    return -1;
  Operand.remove_prefix(Prefix.size());
  for (size_t i = 0; i < Count; ++i)
    if (SameWord(Table[i].Name, Operand)) return Table[i].Value;
  return -1;
}

// ---- lexer ----

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
    if (FPeek.Kind != TKind::Eof) LastEnd = FPeek.End;
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

  // Name and value as written, views of the text read.
  std::vector<std::pair<std::u16string_view, std::u16string_view>> Defines;
  std::vector<std::pair<size_t, size_t>> CodePages; // spans inside code_page(...)
  size_t FirstString = npos;
  size_t LastEnd = 0; // end of the last token taken

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
  // The first words of the line up to its first comment: no more are looked at.
  std::pair<size_t, size_t> words[3];
  size_t count = 0;
  for (size_t k = 0; k < line.size() && count < 3;) {
    while (k < line.size() && (IsBlank(line[k]) || IsLineBreak(line[k]) || line[k] == u'\\'))
      ++k;
    const size_t w = k;
    while (k < line.size() && !IsBlank(line[k]) && !IsLineBreak(line[k]))
      ++k;
    if (k > w) words[count++] = {w, k};
  }
  auto word = [&](size_t I) {
    return line.substr(words[I].first, words[I].second - words[I].first);
  };
  if (count >= 3 && word(0) == u"define") {
    Defines.emplace_back(word(1), word(2));
  } else if (count > 0 && word(0) == u"pragma") {
    const size_t k = line.find(u"code_page");
    const size_t open = k == npos ? npos : line.find(u'(', k);
    const size_t close = open == npos ? npos : line.find(u')', open);
    if (close != npos) CodePages.emplace_back(begin + open + 1, begin + close);
  }
}

// ---- what a script holds ----

// A LANGUAGE statement.
struct TLangStmt {
  size_t Begin = 0, End = 0;     // the statement, keyword included
  size_t OpBegin = 0, OpEnd = 0; // its operands
  bool Pair = false;             // two operands: only then is it rewritten
  bool TopLevel = false;         // it opens a section (else it belongs to one resource)
  int Primary = -1, Sub = -1;    // -1: unknown
  std::u16string Key;            // equal keys name the same language
  std::u16string Text;           // the operands as written, for the log
};

struct TResource {
  size_t Begin = 0, End = 0;
  int Lang = -1; // its own LANGUAGE statement or its section's; -1: before any
};

// A string block of a VERSIONINFO ("040904b0").
struct TVerBlock {
  size_t Begin = 0, End = 0; // the literal
  int Resource = -1;
  bool Valid = false; // eight hexadecimal digits
  uint16_t LangID = 0, CodePage = 0;
  bool Upper = false;
};

// The numbers of a VarFileInfo "Translation" value.
struct TVerTranslation {
  struct TNumber {
    size_t Begin, End;
    uint32_t Value;
    bool Hex, Upper;
  };
  int Resource = -1;
  std::vector<TNumber> Numbers;
};

struct TRawItem {
  TQEMLiteralItem Item;
  std::u16string OldID; // the key of the package's earlier keying; empty: the item is new
  bool OldIsID = false; // that key was the item's own, as read (OldID stays empty)
  int Resource = -1;
  int Block = -1; // the VERSIONINFO string block it is in
};

struct TRcScript {
  std::vector<TRawItem> Items;
  std::vector<TResource> Resources;
  std::vector<TLangStmt> Langs;
  std::vector<TVerBlock> Blocks;
  std::vector<TVerTranslation> Translations;
  std::vector<std::pair<std::u16string_view, std::u16string_view>> Defines; // of the text parsed
  std::vector<std::pair<size_t, size_t>> CodePages;
  size_t FirstString = npos;
};

// What the target changes need of a parse: its structure, without items and #defines.
struct TRcParsed : TQEMKitFileData {
  TRcScript S;
  uint32_t Utf16 = 0;
};

// Which language a script is read in, and what of it is kept.
struct TRcChoice {
  std::u16string Key;                      // empty: the script has no LANGUAGE statement
  std::vector<bool> KeptResource, Offered; // per resource, per string block
  bool Kept(const TRcScript& S, int Lang) const { return Lang < 0 || S.Langs[Lang].Key == Key; }
};

TRcChoice Choose(const TRcScript& S, LCID Locale) {
  TRcChoice c;
  const int P = Locale ? int(Locale & 0x3FF) : -1, Sub = Locale ? int((Locale >> 10) & 0x3F) : -1;
  int best = -1, rank = 0;
  for (size_t i = 0; i < S.Langs.size(); ++i) {
    const TLangStmt& l = S.Langs[i];
    const int r = P >= 0 && l.Primary == P && l.Sub == Sub ? 4
                  : P >= 0 && l.Primary == P               ? 3
                  : l.Primary == 0                         ? 2
                                                           : 1;
    if (r > rank) best = int(i), rank = r;
  }
  if (best >= 0) c.Key = S.Langs[best].Key;
  for (const TResource& r : S.Resources)
    c.KeptResource.push_back(c.Kept(S, r.Lang));
  // Of the string blocks of one VERSIONINFO, the one of the language, else the first.
  c.Offered.assign(S.Blocks.size(), false);
  std::unordered_map<int, size_t> chosen;
  for (size_t b = 0; b < S.Blocks.size(); ++b) {
    const auto [at, fresh] = chosen.emplace(S.Blocks[b].Resource, b);
    const TVerBlock& first = S.Blocks[at->second];
    if (!fresh && Locale && S.Blocks[b].Valid && S.Blocks[b].LangID == (Locale & 0xFFFF) &&
        !(first.Valid && first.LangID == (Locale & 0xFFFF)))
      at->second = b;
  }
  for (const auto& [res, b] : chosen)
    c.Offered[b] = true;
  return c;
}

// ---- parser ----

bool IsText(std::u16string_view Literal) {
  // Most literals are one quoted text without escapes, which reads as it stands.
  if (Literal.size() >= 2 && Literal.front() == u'"' && Literal.back() == u'"') {
    const std::u16string_view inner = Literal.substr(1, Literal.size() - 2);
    if (inner.find_first_of(std::u16string_view(u"\"\\\r\n")) == npos)
      return inner.find_first_not_of(u'\0') != npos;
  }
  std::u16string raw;
  // Trailing NULs are how version strings end; alone they are no text either.
  return RcLiteralToRaw(Literal, raw) && raw.find_first_not_of(u'\0') != std::u16string::npos;
}

// Whether an entry's id identifies it. IDC_STATIC and -1 are every static's id; MENUEX entries
// without an id have 0.
bool HasId(std::u16string_view Id, bool ZeroIsNone) {
  while (Id.size() > 2 && Id.front() == u'(' && Id.back() == u')')
    Id = Id.substr(1, Id.size() - 2);
  if (Id.empty() || Id == u"IDC_STATIC" || Id == u"-1") return false;
  uint32_t v;
  if (ParseNumber(Id, v) && (v == 0xFFFF || v == 0xFFFFFFFF || (ZeroIsNone && v == 0)))
    return false;
  return true;
}

// The key part of an id: a number must not read as a position of the former keying.
std::u16string IdKey(const std::u16string& Id) {
  return Id[0] >= u'0' && Id[0] <= u'9' ? u"#" + Id : Id;
}

class TRcParser {
public:
  TRcParser(std::u16string_view Text, bool StringMap) : L(Text), FStringMap(StringMap) {}
  TRcScript Run();

private:
  // A dialog control or menu entry waiting for its key until its resource is read.
  struct TEntry {
    TToken Lit;
    std::u16string Id;
    std::u16string OldKey;
    int Parent = -1; // the popup it is in
    bool Item = false;
  };

  [[noreturn]] static void Fail(size_t Pos, std::u16string_view Reason) {
    throw TRcSyntaxError{Pos, Reason};
  }
  std::u16string Text(const TToken& T) const { return std::u16string(L.TextOf(T)); }
  bool Continues(const TToken& Prev) const;
  TToken Literal(const TToken& First);
  std::u16string Operand(TToken& Last);
  void AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit,
               std::u16string OldID, int Block = -1);
  // An item the earlier keying knew by the same identifier.
  void AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit);
  void SkipStatement(TToken Last);
  void SkipBlock(const TToken& Begin);
  int Language(const TToken& Keyword, bool TopLevel);
  TToken Header(const TToken& Start, const std::u16string* Dialog);
  int OpenResource(const TToken& First);
  void Resource(const TToken& Name);
  void Menu(const TToken& Begin, const std::u16string& Name, bool Ex);
  void MenuLevel(const TToken& Begin, bool Ex, int Parent, const std::u16string& OldPath, int Depth,
                 std::vector<TEntry>& Entries);
  void KeyEntries(const std::u16string& Name, std::vector<TEntry>& Entries, bool ZeroIsNone);
  void Dialog(const TToken& Begin, const std::u16string& Name);
  void VersionInfo(const TToken& Begin, const std::u16string& Name);
  void StringTable(const TToken& Start);

  TRcLexer L;
  bool FStringMap;
  TRcScript R;
  int FSection = -1; // the LANGUAGE statement of the section being read
  int FResource = -1;
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

// The tokens up to the next comma or the statement's end, joined; Last is the last one taken.
std::u16string TRcParser::Operand(TToken& Last) {
  std::u16string r;
  for (;;) {
    const TToken& p = L.Peek();
    if (p.Kind == TKind::Eof || p.Kind == TKind::String || L.IsBegin(p) || L.IsEnd(p) ||
        L.IsPunct(p, u',') || (p.NewLine && !Continues(Last)))
      return r;
    Last = L.Next();
    r += Text(Last);
  }
}

void TRcParser::AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit,
                        std::u16string OldID, int Block) {
  if (!IsText(L.TextOf(Lit))) return;
  TRawItem r;
  r.Item.Value = Text(Lit);
  r.Item.ID = std::move(ID);
  r.Item.ResName = ResName;
  r.Item.Begin = Lit.Begin;
  r.Item.End = Lit.End;
  r.OldID = std::move(OldID);
  r.Resource = FResource;
  r.Block = Block;
  R.Items.push_back(std::move(r));
}

void TRcParser::AddItem(std::u16string ID, const std::u16string& ResName, const TToken& Lit) {
  const size_t n = R.Items.size();
  AddItem(std::move(ID), ResName, Lit, std::u16string());
  if (R.Items.size() > n) R.Items.back().OldIsID = true;
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

// The operands may go on after a comma at the end of a line.
int TRcParser::Language(const TToken& Keyword, bool TopLevel) {
  TLangStmt s;
  s.Begin = Keyword.Begin;
  s.OpBegin = s.OpEnd = Keyword.End;
  s.TopLevel = TopLevel;
  std::vector<std::u16string> ops(1);
  TToken last = Keyword;
  while (L.Peek().Kind != TKind::Eof && !L.IsBegin(L.Peek()) && !L.IsEnd(L.Peek()) &&
         (!L.Peek().NewLine || L.IsPunct(last, u','))) {
    last = L.Next();
    if (s.OpBegin == Keyword.End) s.OpBegin = last.Begin;
    if (L.IsPunct(last, u','))
      ops.emplace_back();
    else
      ops.back() += Text(last);
  }
  s.End = s.OpEnd = last.End;
  s.Text = std::u16string(L.TextOf({TKind::Word, s.OpBegin, s.OpEnd}));
  s.Pair = ops.size() >= 2;
  s.Primary = LanguagePart(ops[0], u"LANG_", PrimaryNames, std::size(PrimaryNames), 0x3FF);
  if (s.Pair) s.Sub = LanguagePart(ops[1], u"SUBLANG_", SubNames, std::size(SubNames), 0x3F);
  if (s.Primary >= 0 && s.Sub >= 0)
    s.Key = Ascii(std::to_string(s.Primary) + "," + std::to_string(s.Sub));
  else
    for (const auto& op : ops)
      s.Key += op + u",";
  R.Langs.push_back(std::move(s));
  return int(R.Langs.size()) - 1;
}

// The statements between a resource's type and its BEGIN; a dialog's caption is an item.
TToken TRcParser::Header(const TToken& Start, const std::u16string* Dialog) {
  for (;;) {
    const TToken t = L.Next();
    if (L.IsBegin(t)) return t;
    if (t.Kind == TKind::Eof || L.IsEnd(t)) Fail(Start.Begin, SBeginExpected);
    if (L.Is(t, u"LANGUAGE") && FResource >= 0)
      R.Resources[FResource].Lang = Language(t, false);
    else if (Dialog && L.Is(t, u"CAPTION") && L.Peek().Kind == TKind::String)
      AddItem(*Dialog + u".Caption", *Dialog, Literal(L.Next()));
  }
}

int TRcParser::OpenResource(const TToken& First) {
  R.Resources.push_back({First.Begin, First.End, FSection});
  return FResource = int(R.Resources.size()) - 1;
}

TRcScript TRcParser::Run() {
  for (;;) {
    const TToken t = L.Next();
    if (t.Kind == TKind::Eof) break;
    if (L.IsEnd(t)) Fail(t.Begin, SEndWithoutBegin);
    if (L.IsBegin(t) || t.Kind == TKind::Punct) Fail(t.Begin, SUnexpected);
    if (L.Is(t, u"LANGUAGE")) {
      FSection = Language(t, true);
      continue;
    }
    if (L.Is(t, u"VERSION") || L.Is(t, u"CHARACTERISTICS")) {
      SkipStatement(t);
      continue;
    }
    OpenResource(t);
    if (L.Is(t, u"STRINGTABLE"))
      StringTable(t);
    else
      Resource(t);
    R.Resources[FResource].End = L.LastEnd;
    FResource = -1;
  }
  R.Defines = std::move(L.Defines);
  R.CodePages = std::move(L.CodePages);
  R.FirstString = L.FirstString;
  return std::move(R);
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
    Menu(Header(type, nullptr), name, L.Is(type, u"MENUEX"));
  } else if (L.Is(type, u"DIALOG") || L.Is(type, u"DIALOGEX")) {
    Dialog(Header(type, &name), name);
  } else if (L.Is(type, u"VERSIONINFO")) {
    VersionInfo(Header(type, nullptr), name);
  } else if (L.Is(type, u"ACCELERATORS")) {
    SkipBlock(Header(type, nullptr));
  } else if (!L.Peek().NewLine && L.Peek().Kind != TKind::Eof && !L.IsBegin(L.Peek())) {
    // A file named on the type's line (after memory options, perhaps), or options before a
    // data block. A LANGUAGE statement on a line of its own after it opens a section.
    SkipStatement(type);
    if (L.IsBegin(L.Peek())) SkipBlock(L.Next());
  } else {
    // A data block, perhaps after common statements on lines of their own.
    for (;;) {
      const TToken& p = L.Peek();
      if (L.IsBegin(p)) return SkipBlock(L.Next());
      if (p.Kind == TKind::Eof || L.IsEnd(p)) return;
      const bool language = L.Is(p, u"LANGUAGE");
      if (p.NewLine && !language && !L.Is(p, u"VERSION") && !L.Is(p, u"CHARACTERISTICS")) return;
      const TToken t = L.Next();
      if (language) R.Resources[FResource].Lang = Language(t, false);
    }
  }
}

// Gives the entries of one dialog or menu their keys: their own id when it is theirs alone,
// else their position among the entries so keyed (per parent).
void TRcParser::KeyEntries(const std::u16string& Name, std::vector<TEntry>& Entries,
                           bool ZeroIsNone) {
  std::unordered_map<std::u16string, int> uses;
  for (const TEntry& e : Entries)
    if (HasId(e.Id, ZeroIsNone)) ++uses[e.Id];
  std::vector<std::u16string> keys(Entries.size());
  std::unordered_map<int, int> positions; // per parent
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TEntry& e = Entries[i];
    if (HasId(e.Id, ZeroIsNone) && uses[e.Id] == 1)
      keys[i] = Name + u"." + IdKey(e.Id);
    else
      keys[i] = (e.Parent < 0 ? Name : keys[e.Parent]) + u".@" +
                Ascii(std::to_string(positions[e.Parent]++));
    if (e.Item) AddItem(keys[i], Name, e.Lit, e.OldKey);
  }
}

void TRcParser::Menu(const TToken& Begin, const std::u16string& Name, bool Ex) {
  std::vector<TEntry> entries;
  MenuLevel(Begin, Ex, -1, Name + u".", 0, entries);
  KeyEntries(Name, entries, Ex);
}

// Entries without text take no position, unless they are popups holding others.
void TRcParser::MenuLevel(const TToken& Begin, bool Ex, int Parent, const std::u16string& OldPath,
                          int Depth, std::vector<TEntry>& Entries) {
  // Each level is a call: input nested without end must not exhaust the stack.
  if (Depth > 500) Fail(Begin.Begin, STooDeep);
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
      TEntry e;
      e.Parent = Parent;
      e.OldKey = OldPath + Ascii(std::to_string(index++));
      if (L.Peek().Kind == TKind::String) {
        e.Lit = t = Literal(L.Next());
        e.Item = IsText(L.TextOf(e.Lit));
        // A MENU popup has options after its text, never an id.
        if ((!popup || Ex) && L.IsPunct(L.Peek(), u',')) {
          t = L.Next();
          e.Id = Operand(t);
        }
      }
      if (popup) {
        Entries.push_back(std::move(e));
        const int self = int(Entries.size()) - 1;
        MenuLevel(Header(t, nullptr), Ex, self, Entries[self].OldKey + u".", Depth + 1, Entries);
        continue;
      }
      if (e.Item) Entries.push_back(std::move(e));
    }
    SkipStatement(t);
  }
}

void TRcParser::Dialog(const TToken& Begin, const std::u16string& Name) {
  static constexpr std::u16string_view TextControls[] = {
      u"LTEXT",       u"RTEXT",    u"CTEXT",        u"PUSHBUTTON",     u"DEFPUSHBUTTON",
      u"PUSHBOX",     u"CHECKBOX", u"AUTOCHECKBOX", u"STATE3",         u"AUTO3STATE",
      u"RADIOBUTTON", u"GROUPBOX", u"CONTROL",      u"AUTORADIOBUTTON"};
  std::vector<TEntry> entries;
  int index = 0;
  for (;;) {
    TToken t = L.Next();
    if (t.Kind == TKind::Eof) Fail(Begin.Begin, SBeginWithoutEnd);
    if (L.IsEnd(t)) break;
    if (L.IsBegin(t)) { // a control's creation data
      SkipBlock(t);
      continue;
    }
    if (t.Kind == TKind::Word) {
      const int at = index++;
      const bool text = std::any_of(std::begin(TextControls), std::end(TextControls),
                                    [&](std::u16string_view K) { return L.Is(t, K); });
      if (text && L.Peek().Kind == TKind::String) {
        TEntry e;
        e.Lit = t = Literal(L.Next());
        e.Item = true;
        e.OldKey = Name + u"." + Ascii(std::to_string(at));
        if (L.IsPunct(L.Peek(), u',')) {
          t = L.Next();
          e.Id = Operand(t);
        }
        if (IsText(L.TextOf(e.Lit))) entries.push_back(std::move(e));
      }
    }
    SkipStatement(t);
  }
  KeyEntries(Name, entries, false);
}

// Blocks nest without a call per level, so no input can exhaust the stack.
void TRcParser::VersionInfo(const TToken& Begin, const std::u16string& Name) {
  static constexpr std::u16string_view NotText[] = {u"FileVersion", u"ProductVersion",
                                                    u"OriginalFilename", u"InternalName"};
  enum TLevel { lvRoot, lvStringFileInfo, lvStrings, lvVarFileInfo, lvOther };
  std::vector<TLevel> levels{lvRoot};
  std::vector<int> blocks{-1};
  TLevel pending = lvOther;
  int pendingBlock = -1;
  for (;;) {
    TToken t = L.Next();
    if (t.Kind == TKind::Eof) Fail(Begin.Begin, SBeginWithoutEnd);
    if (L.IsBegin(t)) {
      levels.push_back(pending);
      blocks.push_back(pending == lvStrings ? pendingBlock : blocks.back());
      pending = lvOther;
      continue;
    }
    if (L.IsEnd(t)) {
      levels.pop_back();
      blocks.pop_back();
      if (levels.empty()) return;
      continue;
    }
    const TLevel level = levels.back();
    if ((L.Is(t, u"BLOCK") || L.Is(t, u"VALUE")) && L.Peek().Kind == TKind::String) {
      const bool block = L.Is(t, u"BLOCK");
      t = Literal(L.Next());
      std::u16string name;
      RcLiteralToRaw(L.TextOf(t), name);
      while (!name.empty() && name.back() == 0)
        name.pop_back();
      if (block) {
        pending = level == lvRoot && SameWord(name, u"StringFileInfo") ? lvStringFileInfo
                  : level == lvRoot && SameWord(name, u"VarFileInfo")  ? lvVarFileInfo
                  : level == lvStringFileInfo                          ? lvStrings
                                                                       : lvOther;
        if (pending == lvStrings) {
          TVerBlock b;
          b.Begin = t.Begin;
          b.End = t.End;
          b.Resource = FResource;
          uint32_t v;
          b.Valid = name.size() == 8 && ParseNumber(u"0x" + name, v);
          if (b.Valid) {
            b.LangID = uint16_t(v >> 16);
            b.CodePage = uint16_t(v & 0xFFFF);
          }
          b.Upper = HasUpperHex(name);
          R.Blocks.push_back(b);
          pendingBlock = int(R.Blocks.size()) - 1;
        }
      } else if (level == lvStrings && L.IsPunct(L.Peek(), u',')) {
        t = L.Next();
        if (L.Peek().Kind == TKind::String) {
          t = Literal(L.Next());
          if (std::none_of(std::begin(NotText), std::end(NotText),
                           [&](std::u16string_view N) { return SameWord(N, name); }))
            AddItem(Name + u"." + name, Name, t, u"", blocks.back());
        }
      } else if (level == lvVarFileInfo && SameWord(name, u"Translation")) {
        TVerTranslation tr;
        tr.Resource = FResource;
        while (L.IsPunct(L.Peek(), u',')) {
          t = L.Next();
          if (L.Peek().Kind != TKind::Word) break;
          t = L.Next();
          const std::u16string_view w = L.TextOf(t);
          uint32_t v;
          if (!ParseNumber(w, v)) break;
          const bool hex = w.size() > 2 && (w[1] == u'x' || w[1] == u'X');
          tr.Numbers.push_back({t.Begin, t.End, v, hex, HasUpperHex(w.substr(hex ? 2 : 0))});
        }
        R.Translations.push_back(std::move(tr));
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
    // Every entry names the same resource: one string for all.
    static const std::u16string stringTable = u"STRINGTABLE";
    AddItem(FStringMap ? std::move(id) : u"STRINGTABLE." + id, stringTable, Literal(L.Next()));
  }
}

TRcScript ParseScript(std::u16string_view Text, bool StringMap) {
  return TRcParser(Text, StringMap).Run();
}

// How often each text was met so far, in two counts: one per kind of key. The texts are views
// of strings that outlive it and stay unchanged meanwhile.
class TKeyCounts {
public:
  explicit TKeyCounts(size_t Keys) {
    size_t n = 16;
    while (n < 2 * Keys)
      n *= 2;
    FSlots.resize(n);
  }
  // The count of Key, to be raised: [0] former keys, [1] keys.
  int* Of(std::u16string_view Key) {
    const size_t mask = FSlots.size() - 1;
    for (size_t h = std::hash<std::u16string_view>{}(Key)&mask;; h = (h + 1) & mask) {
      TSlot& s = FSlots[h];
      if (!s.Used) {
        s.Used = true;
        s.Key = Key;
      }
      if (s.Key == Key) return s.N;
    }
  }

private:
  struct TSlot {
    std::u16string_view Key;
    int N[2] = {0, 0};
    bool Used = false;
  };
  std::vector<TSlot> FSlots;
};

std::u16string Numbered(std::u16string_view Key, int N) {
  std::u16string r(Key);
  if (N > 1) {
    r += u'~';
    for (const char c : std::to_string(N))
      r += char16_t(c);
  }
  return r;
}

// Identifiers met again are numbered so that none is lost: the former keys over every item of
// every language, the keys over the items kept. Kept items get their final keys and, where it
// differs, their former one.
void NumberKeys(std::vector<TRawItem>& Items, const std::vector<bool>& Kept) {
  TKeyCounts counts(Items.size());
  std::vector<std::pair<int, int>> n(Items.size());
  for (size_t i = 0; i < Items.size(); ++i) {
    const TRawItem& r = Items[i];
    if (r.OldIsID || !r.OldID.empty()) n[i].first = ++counts.Of(r.OldIsID ? r.Item.ID : r.OldID)[0];
    if (Kept[i]) n[i].second = ++counts.Of(r.Item.ID)[1];
  }
  for (size_t i = 0; i < Items.size(); ++i) {
    if (!Kept[i]) continue;
    TRawItem& r = Items[i];
    const auto [former, own] = n[i];
    if (r.OldIsID && former != own)
      r.Item.FormerID = Numbered(r.Item.ID, former);
    else if (!r.OldIsID && !r.OldID.empty())
      r.OldID = Numbered(r.OldID, former);
    if (own > 1) r.Item.ID = Numbered(r.Item.ID, own);
    if (!r.OldIsID && r.OldID != r.Item.ID) r.Item.FormerID = std::move(r.OldID);
  }
}

constexpr std::u16string_view EscapeLetters = u"nrtabfv\\\"'?";
constexpr char16_t EscapeCodes[] = {LF, CR, 9, 7, 8, 12, 11, u'\\', u'"', u'\'', u'?'};

bool IsHexDigit(char16_t C) {
  return (C >= u'0' && C <= u'9') || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
}

std::u16string Hex2(unsigned V) {
  return u"0x" + Hex(V & 0xFF, 2, true);
}

} // namespace

bool RcLiteralToRaw(std::u16string_view S, std::u16string& Raw) {
  Raw.clear();
  Raw.reserve(S.size()); // no escape reads as more than it takes
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
  TRcScript s;
  try {
    s = ParseScript(Text, FStringMap);
  } catch (const TRcSyntaxError& E) {
    throw QEMKitSyntaxError(FileName, LineOf(Text, E.Pos), std::u16string(E.Reason));
  }
  // Map entries written by number take the name #defined for it.
  if (FStringMap) {
    // Made at the first entry written by number: most maps name every entry.
    std::unordered_map<uint32_t, std::u16string_view> names;
    bool named = false;
    for (TRawItem& r : s.Items) {
      uint32_t v;
      if (r.Item.ResName != u"STRINGTABLE" || !ParseNumber(r.Item.ID, v)) continue;
      if (!named) {
        named = true;
        for (const auto& [name, value] : s.Defines)
          if (uint32_t n; ParseNumber(value, n)) names.emplace(n, name);
      }
      const auto it = names.find(v);
      if (it == names.end()) continue;
      r.Item.ID = it->second;
      r.OldID.clear();
      r.OldIsID = true;
    }
  }
  const TRcChoice choice = Choose(s, FLocale);
  std::vector<bool> kept(s.Items.size());
  size_t count = 0;
  for (size_t i = 0; i < s.Items.size(); ++i) {
    const TRawItem& r = s.Items[i];
    kept[i] = choice.KeptResource[r.Resource] && (r.Block < 0 || choice.Offered[r.Block]);
    count += kept[i];
  }
  NumberKeys(s.Items, kept);
  Items.reserve(count);
  for (size_t i = 0; i < s.Items.size(); ++i)
    if (kept[i]) Items.push_back(std::move(s.Items[i].Item));
  auto parsed = std::make_shared<TRcParsed>();
  parsed->Utf16 = FUtf16;
  TRcScript& structure = parsed->S;
  structure.Resources = std::move(s.Resources);
  structure.Langs = std::move(s.Langs);
  structure.Blocks = std::move(s.Blocks);
  structure.Translations = std::move(s.Translations);
  structure.CodePages = std::move(s.CodePages);
  structure.FirstString = s.FirstString;
  FParsed = std::move(parsed);
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

namespace {

// [Begin, End) of a target's text becomes Text.
struct TRcEdit {
  size_t Begin, End;
  std::u16string Text;
};

// Resources and sections of other languages go with their whole lines where they have them;
// sorted by position. LeftOut lists the languages that went, for the notice.
std::vector<TRcEdit> OtherLanguageRemovals(const std::u16string& Text, const TRcScript& S,
                                           const TRcChoice& Choice, std::u16string& LeftOut) {
  std::vector<TRcEdit> removals;
  auto remove = [&](size_t B, size_t E) {
    size_t b = B, e = E;
    while (b > 0 && IsBlank(Text[b - 1]))
      --b;
    while (e < Text.size() && IsBlank(Text[e]))
      ++e;
    if ((b == 0 || IsLineBreak(Text[b - 1])) && (e == Text.size() || IsLineBreak(Text[e]))) {
      if (e < Text.size() && Text[e] == CR) ++e;
      if (e < Text.size() && Text[e] == LF) ++e;
      removals.push_back({b, e, {}});
    } else {
      removals.push_back({B, E, {}});
    }
  };
  // Neutral resources (icons, manifests) serve every language: they stay as they are.
  const auto written = [&](int Lang) { return Choice.Kept(S, Lang) || S.Langs[Lang].Primary == 0; };
  for (size_t r = 0; r < S.Resources.size(); ++r)
    if (!written(S.Resources[r].Lang)) remove(S.Resources[r].Begin, S.Resources[r].End);
  for (const TLangStmt& l : S.Langs) {
    if (written(int(&l - S.Langs.data()))) continue;
    if (l.TopLevel) remove(l.Begin, l.End);
    if (LeftOut.find(u"\"" + l.Text + u"\"") == npos)
      LeftOut += (LeftOut.empty() ? u"\"" : u", \"") + l.Text + u"\"";
  }
  std::sort(removals.begin(), removals.end(),
            [](const TRcEdit& A, const TRcEdit& B) { return A.Begin < B.Begin; });
  return removals;
}

bool IsRemoved(const std::vector<TRcEdit>& Removals, size_t Pos) {
  const auto it = std::upper_bound(Removals.begin(), Removals.end(), Pos,
                                   [](size_t P, const TRcEdit& E) { return P < E.Begin; });
  return it != Removals.begin() && Pos < std::prev(it)->End;
}

// The offered string block and its "Translation" pair name the target language; a block for
// an ANSI code page names the target's.
void AddVersionEdits(const TRcScript& S, const TRcChoice& Choice, LCID XlatLCID,
                     std::vector<TRcEdit>& Edits) {
  const uint16_t langID = uint16_t(XlatLCID & 0xFFFF);
  const uint32_t ansi = LCIDToCodePage(XlatLCID);
  std::unordered_map<int, std::vector<size_t>> translations; // per resource
  for (size_t t = 0; t < S.Translations.size(); ++t)
    translations[S.Translations[t].Resource].push_back(t);
  for (size_t b = 0; b < S.Blocks.size(); ++b) {
    const TVerBlock& block = S.Blocks[b];
    if (!Choice.Offered[b] || !Choice.KeptResource[block.Resource] || !block.Valid) continue;
    const uint16_t cp = block.CodePage == 0 || block.CodePage == 1200
                            ? block.CodePage
                            : uint16_t(ansi ? ansi : 1200);
    Edits.push_back({block.Begin, block.End,
                     u"\"" + Hex(langID, 4, block.Upper) + Hex(cp, 4, block.Upper) + u"\""});
    for (const size_t t : translations[block.Resource]) {
      const TVerTranslation& tr = S.Translations[t];
      if (tr.Numbers.size() < 2) continue;
      size_t k = 0;
      for (size_t i = 0; i + 1 < tr.Numbers.size(); i += 2)
        if (tr.Numbers[i].Value == block.LangID && tr.Numbers[i + 1].Value == block.CodePage) {
          k = i;
          break;
        }
      const auto& lang = tr.Numbers[k];
      const auto& page = tr.Numbers[k + 1];
      Edits.push_back({lang.Begin, lang.End, u"0x" + Hex(langID, 1, lang.Upper)});
      Edits.push_back({page.Begin, page.End,
                       page.Hex ? u"0x" + Hex(cp, 1, page.Upper) : Ascii(std::to_string(cp))});
    }
  }
}

// One pass over the text, however many resources go. At one offset, what is inserted there
// comes before what is removed from there.
std::u16string ApplyEdits(const std::u16string& Text, std::vector<TRcEdit> Edits,
                          const std::vector<TRcEdit>& Removals) {
  Edits.insert(Edits.end(), Removals.begin(), Removals.end());
  std::stable_sort(Edits.begin(), Edits.end(),
                   [](const TRcEdit& A, const TRcEdit& B) { return A.Begin < B.Begin; });
  std::u16string out;
  out.reserve(Text.size() + 64);
  size_t pos = 0;
  for (const TRcEdit& e : Edits) {
    if (e.Begin < pos) continue;
    out.append(Text, pos, e.Begin - pos);
    out += e.Text;
    pos = e.End;
  }
  out.append(Text, pos, npos);
  return out;
}

// The positions of a parse carried over to its text with literals rewritten; false when one
// falls inside a rewritten literal.
bool MapPositions(TRcScript& S, const TQEMKitMoves& Moves) {
  bool ok = true;
  const auto map = [&](size_t& Pos) {
    const size_t to = Moves.Map(Pos);
    ok = ok && to != npos;
    Pos = to;
  };
  for (TResource& r : S.Resources)
    map(r.Begin), map(r.End);
  for (TLangStmt& l : S.Langs)
    map(l.Begin), map(l.End), map(l.OpBegin), map(l.OpEnd);
  for (TVerBlock& b : S.Blocks)
    map(b.Begin), map(b.End);
  for (TVerTranslation& t : S.Translations)
    for (auto& n : t.Numbers)
      map(n.Begin), map(n.End);
  for (auto& [b, e] : S.CodePages)
    map(b), map(e);
  if (S.FirstString != npos) map(S.FirstString);
  return ok;
}

// The target changes of a script: Target.Locale, the language it was read in, says what is
// offered.
struct TRcTarget {
  LCID Locale;
  const std::u16string& FileName; // named in the notice about languages left out
  uint32_t Utf16;                 // see TQEMRcFormat::FUtf16
  LCID XlatLCID;
  uint32_t CodePage;
  bool Utf8;
};

void AdjustScript(std::u16string& Text, const TRcScript& s, const TRcTarget& T) {
  const TRcChoice choice = Choose(s, T.Locale);
  std::u16string leftOut;
  const std::vector<TRcEdit> removals = OtherLanguageRemovals(Text, s, choice, leftOut);

  std::vector<TRcEdit> edits;
  const LCID xlat = T.XlatLCID;
  for (const TLangStmt& l : s.Langs)
    if (l.Pair && choice.Kept(s, int(&l - s.Langs.data())) && !IsRemoved(removals, l.Begin))
      edits.push_back({l.OpBegin, l.OpEnd, Hex2(xlat & 0x3FF) + u", " + Hex2((xlat >> 10) & 0x3F)});
  AddVersionEdits(s, choice, xlat, edits);

  // A UTF-16 script is read as UTF-16 whatever its pragmas say.
  const uint32_t page = T.Utf8 ? 65001 : T.CodePage;
  if (page != 0 && !T.Utf16)
    for (const auto& [b, e] : s.CodePages)
      if (!IsRemoved(removals, b)) edits.push_back({b, e, Ascii(std::to_string(page))});
  if (T.Utf8 && !T.Utf16 && (s.CodePages.empty() || s.CodePages.front().first > s.FirstString)) {
    const size_t at = !Text.empty() && Text[0] == 0xFEFF ? 1 : 0;
    const std::u16string eol = Text.find(u"\r\n") != npos ? u"\r\n" : u"\n";
    edits.push_back({at, at, u"#pragma code_page(65001)" + eol});
  }
  if (!edits.empty() || !removals.empty()) Text = ApplyEdits(Text, std::move(edits), removals);
  if (!leftOut.empty()) ShowNotice(Format(SScriptLanguagesLeftOut, T.FileName, leftOut));
}

} // namespace

void TQEMRcFormat::AdjustForTarget(std::u16string& Text, LCID XlatLCID, uint32_t CodePage,
                                   bool Utf8) {
  TRcScript s;
  try {
    s = ParseScript(Text, FStringMap);
  } catch (const TRcSyntaxError&) {
    return; // Parse refuses such a text, so it is never written
  }
  AdjustScript(Text, s, {FLocale, FFileName, FUtf16, XlatLCID, CodePage, Utf8});
}

bool TQEMRcFormat::AdjustParsed(std::u16string& Text, const TQEMKitFileData& Parse,
                                const TQEMKitMoves& Moves, LCID XlatLCID, uint32_t CodePage,
                                bool Utf8) {
  const auto* parsed = dynamic_cast<const TRcParsed*>(&Parse);
  if (!parsed) return false;
  TRcScript s = parsed->S;
  if (!MapPositions(s, Moves)) return false;
  AdjustScript(Text, s, {FLocale, FFileName, parsed->Utf16, XlatLCID, CodePage, Utf8});
  return true;
}

bool TQEMRcFormat::LeavesParsed(const TQEMKitFileData& Parse) {
  const auto* parsed = dynamic_cast<const TRcParsed*>(&Parse);
  // Every resource is then of every language, and only a UTF-8 copy would get a pragma.
  return parsed && !parsed->Utf16 && parsed->S.Langs.empty() && parsed->S.Blocks.empty() &&
         parsed->S.Translations.empty() && parsed->S.CodePages.empty();
}

// Files are decoded as UTF-8 only when they carry a byte-order mark; read in an ANSI code page, a
// UTF-8 script would be garbled in every translation.
void TQEMRcFormat::CheckBytes(const std::u16string& FileName, std::string_view Bytes) {
  if (Bytes.starts_with("\xEF\xBB\xBF") || Utf16Page(Bytes)) return;
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

std::u16string TQEMRcFormat::DecodeFile(const std::u16string& FileName, std::string_view Bytes,
                                        uint32_t CodePage, TQEMKitFileForm& Form) {
  FUtf16 = Utf16Page(Bytes);
  if (!FUtf16) return QEMKitDecode(FileName, Bytes, CodePage, Form.Utf8);
  const std::string_view body = Bytes.substr(2);
  std::u16string text;
  text.reserve(body.size() / 2);
  const bool big = FUtf16 == 1201;
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    const auto hi = uint8_t(body[i + (big ? 0 : 1)]), lo = uint8_t(body[i + (big ? 1 : 0)]);
    text += char16_t(hi << 8 | lo);
  }
  size_t bad = body.size() % 2 ? text.size() : npos;
  for (size_t i = 0; i < text.size() && bad == npos; ++i) {
    if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1]))
      ++i;
    else if (U16_IS_SURROGATE(text[i]))
      bad = i;
  }
  if (bad != npos) throw EQEMError(Format(SScriptInvalidUtf16, FileName, LineOf(text, bad)));
  Form.Utf8 = true; // every character fits
  Form.Data = std::make_shared<TUtf16Form>(FUtf16);
  return text;
}

std::string TQEMRcFormat::EncodeFile(const std::u16string&, const std::u16string& Text,
                                     uint32_t CodePage, const TQEMKitFileForm& Form) {
  if (const auto* utf16 = dynamic_cast<const TUtf16Form*>(Form.Data.get())) {
    const bool big = utf16->Page == 1201;
    std::string r = big ? "\xFE\xFF" : "\xFF\xFE";
    r.reserve(2 + 2 * Text.size());
    for (const char16_t c : Text) {
      const char hi = char(c >> 8), lo = char(c & 0xFF);
      r += big ? hi : lo;
      r += big ? lo : hi;
    }
    return r;
  }
  if (Form.Utf8)
    return (Form.Bom ? std::string("\xEF\xBB\xBF") : std::string()) + UTF16ToUTF8(Text);
  return WideStringToStringCP(CodePage, Text);
}

bool TQEMRcFormat::IsValidLiteral(const std::u16string& Literal) {
  std::u16string raw;
  return RcLiteralToRaw(Literal, raw);
}

std::u16string TQEMRcFormat::ToRaw(const std::u16string& Literal) {
  std::u16string raw;
  if (RcLiteralToRaw(Literal, raw)) return raw;
  return Literal;
}

std::u16string TQEMRcFormat::FromRaw(const std::u16string& Raw) {
  return RawToRcLiteral(Raw);
}
