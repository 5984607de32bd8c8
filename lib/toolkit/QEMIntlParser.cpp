#include "toolkit/QEMIntlParser.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "core/QEMIntlUtils.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

TVareZezoer* VareZezoer = nullptr;

namespace {

bool IsIdent(unsigned char C) {
  return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') || C == '_' || (C >= 'a' && C <= 'z');
}
bool IsSeparator(unsigned char C) {
  return C <= ' ';
}
unsigned char Upper(unsigned char C) {
  return C >= 'a' && C <= 'z' ? C - 32 : C;
}

// Lead bytes per code page, asked of the code page's converter once.
std::map<uint32_t, TQEMLeadBytes> gLeadBytes;

bool QueryLeadBytes(int CodePage, TQEMLeadBytes& Result) {
  if (CodePage < 0) return false;
  uint32_t cp = uint32_t(CodePage);
  if (cp == 0) cp = QEMSystemCodePage();
  if (auto it = gLeadBytes.find(cp); it != gLeadBytes.end()) {
    Result = it->second;
    return true;
  }
  // The single-byte ANSI code pages have none: no converter needs loading to say so.
  if (cp == 874 || (cp >= 1250 && cp <= 1258)) {
    Result = gLeadBytes[cp] = TQEMLeadBytes();
    return true;
  }
  UConverter* conv = nullptr;
  for (const std::string& name : {"windows-" + std::to_string(cp), "ibm-" + std::to_string(cp)}) {
    UErrorCode err = U_ZERO_ERROR;
    conv = ucnv_open(name.c_str(), &err);
    if (U_SUCCESS(err) && conv) break;
    conv = nullptr;
  }
  if (!conv) return false;
  TQEMLeadBytes lead;
  UBool starters[256] = {};
  UErrorCode err = U_ZERO_ERROR;
  ucnv_getStarters(conv, starters, &err);
  // Converters that are not table-driven (UTF-8) have no lead bytes in the system's sense.
  if (U_SUCCESS(err) && ucnv_getMaxCharSize(conv) > 1)
    for (int b = 0; b < 256; ++b)
      if (starters[b]) lead.set(size_t(b));
  ucnv_close(conv);
  gLeadBytes[cp] = lead;
  Result = lead;
  return true;
}

bool IsFormExt(const std::u16string& Ext) {
  for (const char16_t* e : {u".ofm", u".~of", u".~ofm", u".xfm", u".~xfm"})
    if (QEMSameText(Ext, e)) return true;
  return false;
}

bool ExtIn(std::initializer_list<const char16_t*> List, const std::u16string& Ext) {
  for (const char16_t* e : List)
    if (QEMSameText(Ext, e)) return true;
  return false;
}

// Ext (with its point) in a ";"-separated list whose entries may omit the point.
bool ExtInRegList(const std::u16string& List, const std::u16string& Ext) {
  if (Ext.size() < 2) return false;
  size_t at = 0;
  while (at <= List.size()) {
    size_t end = List.find(u';', at);
    if (end == std::u16string::npos) end = List.size();
    std::u16string e = QEMTrim(std::u16string_view(List).substr(at, end - at));
    if (!e.empty() && e[0] == u'.') e.erase(0, 1);
    if (!e.empty() && QEMSameText(e, std::u16string_view(Ext).substr(1))) return true;
    at = end + 1;
  }
  return false;
}

enum TMode : uint8_t {
  mdCode,
  mdLineComment,
  mdBrace,
  mdParenStar,
  mdSlashStar,
  mdString,
  mdDirective
};
enum TSyntax : uint8_t { sxPlain, sxPascal, sxCPP };

bool IsComment(TMode M) {
  return M >= mdLineComment && M <= mdSlashStar;
}
TCommentKind KindOf(TMode M) {
  switch (M) {
  case mdLineComment:
    return ckLine;
  case mdBrace:
    return ckBrace;
  case mdParenStar:
    return ckParenStar;
  case mdSlashStar:
    return ckSlashStar;
  default:
    return ckNone;
  }
}
TMode ModeOf(TCommentKind K) {
  switch (K) {
  case ckLine:
    return mdLineComment;
  case ckBrace:
    return mdBrace;
  case ckParenStar:
    return mdParenStar;
  default:
    return mdSlashStar;
  }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TAnsiIntlStream

void TAnsiIntlStream::SetText(std::string Data) {
  FData = std::move(Data);
  FPosition = 0;
}

void TAnsiIntlStream::LoadFromFile(const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) throw EQEMError(Format(SParserUnableToOpen, FileName));
  SetText(std::move(bytes));
}

void TAnsiIntlStream::SaveToFile(const std::u16string& FileName) const {
  QEMSaveFileAtomically(FileName, FData);
}

// The string keeps its NUL already; what remains is the spare room the host stream keeps.
void TAnsiIntlStream::SetNullTerminator() {
  if (FData.capacity() <= FData.size()) FData.reserve(FData.size() + 100);
}

size_t TAnsiIntlStream::ShiftOffset(size_t P, size_t Start, size_t Count, size_t NewCount,
                                    bool Sticky) {
  if (P < Start || (Sticky && P == Start)) return P;
  if (P >= Start + Count) return P - Count + NewCount;
  return Start + NewCount;
}

void TAnsiIntlStream::CheckRange(size_t Start, size_t Count) const {
  if (Start > FData.size() || Count > FData.size() - Start)
    throw EArrayExceeded(
        Format(SParserOutOfRange, uint64_t(Start), uint64_t(Count), uint64_t(FData.size())));
}

void TAnsiIntlStream::Insert(size_t Start, std::string_view S) {
  Replace(Start, 0, S);
}

void TAnsiIntlStream::Delete(size_t Start, size_t Count) {
  Replace(Start, Count, {});
}

void TAnsiIntlStream::Replace(size_t Start, size_t Count, std::string_view NewSt) {
  CheckRange(Start, Count);
  FData.replace(Start, Count, NewSt);
  FPosition = ShiftOffset(FPosition, Start, Count, NewSt.size());
}

int TAnsiIntlStream::Replace(std::string_view OldSt, std::string_view NewSt, bool All,
                             std::vector<size_t>* At) {
  if (At) At->clear();
  if (OldSt.empty()) return 0;
  // One pass into a new text: linear however many occurrences there are.
  std::string out;
  size_t from = 0, pos = FPosition;
  int count = 0;
  for (size_t hit = FData.find(OldSt); hit != std::string::npos;
       hit = All ? FData.find(OldSt, from) : std::string::npos) {
    if (count == 0) out.reserve(FData.size());
    out.append(FData, from, hit - from).append(NewSt);
    pos = ShiftOffset(pos, out.size() - NewSt.size(), OldSt.size(), NewSt.size());
    if (At) At->push_back(hit);
    from = hit + OldSt.size();
    ++count;
  }
  if (count == 0) return 0;
  out.append(FData, from, std::string::npos);
  FData = std::move(out);
  FPosition = pos;
  return count;
}

// ---------------------------------------------------------------------------------------------
// The scan: one character (a byte, or a lead byte with its trail byte) at a time, knowing
// whether it lies in code, a comment, a string or a directive.

struct TVareZezoer::TCursor {
  const unsigned char* B = nullptr;
  size_t End = 0;
  const TQEMLeadBytes* Lead = nullptr;
  TSyntax Syn = sxPlain;
  bool SkipEsc = false, SkipFmt = false;
  bool InComments = false, InQuotes = false, InDirectives = false; // may match inside
  bool Lenient = false; // a line end closes a string instead of raising

  size_t P = 0;
  TMode Mode = mdCode;
  unsigned char Quote = 0;
  bool Escaped = false; // follows a backslash: never structural
  bool NoMatch = false; // passed over by an escape or format sequence
  int Line = 1;
  size_t LineStart = 0;
  bool PrevIdent = false; // the character before P is an identifier character

  // Of the character at P, filled by Settle.
  size_t Len = 1;
  bool Double = false;
  TMode Opens = mdCode;
  bool Closes = false, EscNext = false, SkipSelf = false;

  bool Allowed(TMode M) const {
    if (M == mdCode) return true;
    if (M == mdString) return InQuotes;
    if (M == mdDirective) return InDirectives;
    return InComments;
  }
  bool Candidate() const {
    return !NoMatch && !SkipSelf && (Mode == mdCode ? Allowed(Opens) : Allowed(Mode));
  }

  // False for a line end inside a string that may not run on.
  bool Settle() {
    const unsigned char c = B[P];
    const int n = P + 1 < End ? B[P + 1] : -1;
    // A damaged lead byte never swallows a line end, so lines are counted alike everywhere.
    Double = (*Lead)[c] && n >= 0 && n != '\n';
    Len = Double ? 2 : 1;
    Opens = mdCode;
    Closes = EscNext = SkipSelf = false;
    if (Double) return true;
    if (Escaped) {
      if (c == '\r' && n == '\n') Len = 2;
      return true;
    }
    switch (Mode) {
    case mdLineComment:
      if (c != '\n') return true;
      Mode = mdCode;
      break;
    case mdDirective:
      if (c == '\\') {
        EscNext = true;
        return true;
      }
      if (c == '\n' || (c == '/' && (n == '*' || n == '/'))) {
        Mode = mdCode;
        break;
      }
      CheckSkip(c);
      return true;
    case mdBrace:
      Closes = c == '}';
      return true;
    case mdParenStar:
    case mdSlashStar:
      if (c == '*' && n == (Mode == mdParenStar ? ')' : '/')) Closes = true, Len = 2;
      return true;
    case mdString:
      if (c == '\n' && Syn != sxPlain) {
        if (!Lenient) return false;
        Mode = mdCode;
        break;
      }
      if (c == Quote) {
        if (Syn == sxPascal && n == Quote)
          Len = 2;
        else
          Closes = true;
        return true;
      }
      if (Syn == sxCPP && c == '\\') EscNext = true;
      CheckSkip(c);
      return true;
    case mdCode:
      break;
    }
    if (Syn == sxPascal) {
      if (c == '{')
        Opens = mdBrace;
      else if (c == '(' && n == '*')
        Opens = mdParenStar, Len = 2;
      else if (c == '/' && n == '/')
        Opens = mdLineComment, Len = 2;
      else if (c == '\'')
        Opens = mdString;
    } else if (Syn == sxCPP) {
      if (c == '/' && n == '*')
        Opens = mdSlashStar, Len = 2;
      else if (c == '/' && n == '/')
        Opens = mdLineComment, Len = 2;
      else if (c == '"' || c == '\'')
        Opens = mdString;
      else if (c == '#')
        Opens = mdDirective;
    }
    if (Opens == mdCode) CheckSkip(c);
    return true;
  }

  void CheckSkip(unsigned char c) {
    if (!NoMatch && ((c == '\\' && SkipEsc) || (c == '%' && SkipFmt))) SkipSelf = true;
  }

  void Advance() {
    const size_t from = P;
    P += Len;
    for (size_t i = from; i < P; ++i)
      if (B[i] == '\n') ++Line, LineStart = i + 1;
    PrevIdent = !Double && IsIdent(B[P - 1]);
    if (Opens != mdCode) {
      Mode = Opens;
      if (Opens == mdString) Quote = B[from];
    } else if (Closes) {
      Mode = mdCode;
    }
    Escaped = EscNext;
    NoMatch = SkipSelf;
  }

  // The mode the position lies in, as a caller would resume from it.
  TMode ModeHere() const {
    if ((Mode == mdLineComment || Mode == mdDirective) && P < End && B[P] == '\n') return mdCode;
    return Mode;
  }
};

TVareZezoer::TCursor TVareZezoer::MakeCursor(size_t Start, bool InQuotes, bool InComment,
                                             bool InDirective) const {
  TCursor c;
  const std::string_view t = Text();
  c.B = reinterpret_cast<const unsigned char*>(t.data());
  c.End = t.size();
  c.Lead = &FLeadBytes;
  c.Syn = FIsPascal ? sxPascal : FIsCPP ? sxCPP : sxPlain;
  c.SkipEsc = FSkipEscSequences;
  c.SkipFmt = FSkipFormatSequences;
  c.InComments = FSearchInComments;
  c.InQuotes = FSearchInQuotes;
  c.InDirectives = FSearchInDirectives;
  c.Lenient = FSearchInQuotes;
  c.P = std::min(Start, c.End);
  if (c.Syn != sxPlain) {
    if (InComment) {
      c.Mode = ModeOf(FCommentKind != ckNone ? FCommentKind
                      : c.Syn == sxPascal    ? ckBrace
                                             : ckSlashStar);
    } else if (InQuotes) {
      c.Mode = mdString;
      const TQuoteCharType q = QuoteCharType != qcNone ? QuoteCharType
                               : FIsPascal             ? qcApostrophe
                                                       : qcDoubleQuote;
      c.Quote = q == qcApostrophe ? '\'' : '"';
    } else if (InDirective && c.Syn == sxCPP) {
      c.Mode = mdDirective;
    }
  }
  LineAt(c.P, c.Line, c.LineStart);
  // The byte before is part of an identifier unless it is the trail byte of a double-byte
  // character: an odd run of lead bytes before it says so.
  if (c.P > 0 && IsIdent(c.B[c.P - 1])) {
    size_t run = 0;
    while (run + 2 <= c.P && FLeadBytes[c.B[c.P - 2 - run]] && c.B[c.P - 2 - run] != '\n')
      ++run;
    c.PrevIdent = run % 2 == 0;
  }
  return c;
}

TVareZezoer::TCursor TVareZezoer::CurrentCursor() const {
  return MakeCursor(Position(), FIsInQuotes, FIsInComment, FIsInDirective);
}

template <class F> bool TVareZezoer::Walk(TCursor& C, F Stop) const {
  while (C.P < C.End) {
    if (!C.Settle()) RaiseQuoteError(C);
    if (Stop(C)) return true;
    C.Advance();
  }
  if (C.Mode == mdString && !C.Lenient && C.Syn != sxPlain) RaiseQuoteError(C);
  return false;
}

// Moves on by whole characters until the position reaches Until (or the end).
void TVareZezoer::Step(TCursor& C, size_t Until) const {
  while (C.P < Until && C.P < C.End) {
    if (!C.Settle()) RaiseQuoteError(C);
    C.Advance();
  }
}

void TVareZezoer::RaiseQuoteError(const TCursor& C) const {
  size_t end = C.LineStart;
  while (end < C.End && C.B[end] != '\n')
    ++end;
  const std::string_view line(reinterpret_cast<const char*>(C.B) + C.LineStart, end - C.LineStart);
  std::u16string text;
  try {
    text = StringToWideStringCP(uint32_t(std::max(FCodePage, 0)), line);
  } catch (const EQEMError&) {
    for (unsigned char b : line)
      text.push_back(char16_t(b));
  }
  throw EQuoteError(Format(SParserUnterminatedString, FFileName, FCodePage, C.Line, text));
}

size_t TVareZezoer::TokenLength(const TCursor& C) const {
  if (C.Double || !IsIdent(C.B[C.P])) return C.Len;
  size_t n = 1;
  while (C.P + n < C.End && IsIdent(C.B[C.P + n]))
    ++n;
  return n;
}

bool TVareZezoer::MatchAt(size_t P, std::string_view S, bool PrevIdent) const {
  const std::string_view t = Text();
  if (S.size() > t.size() - P) return false;
  bool lastIdent = false;
  for (size_t i = 0; i < S.size();) {
    const unsigned char a = t[P + i], b = S[i];
    if (FLeadBytes[b] && i + 1 < S.size()) {
      if (a != b || t[P + i + 1] != S[i + 1]) return false;
      lastIdent = false;
      i += 2;
      continue;
    }
    if (a != b && (FCaseSens || Upper(a) != Upper(b))) return false;
    lastIdent = IsIdent(b);
    ++i;
  }
  if (!FWholeWords) return true;
  if (PrevIdent && IsIdent(static_cast<unsigned char>(S[0]))) return false;
  const size_t after = P + S.size();
  return !(lastIdent && after < t.size() && IsIdent(static_cast<unsigned char>(t[after])));
}

void TVareZezoer::Commit(const TCursor& C, size_t TokenLen) {
  FTokenIndex = C.P;
  FCurrToken.assign(Text().substr(C.P, TokenLen));
  FTokenLineNum = C.Line;
  FPTokenLine = C.LineStart;
  CommitPosition(C);
}

void TVareZezoer::CommitPosition(const TCursor& C) {
  FIntlStream->SetPosition(C.P);
  const TMode m = C.ModeHere();
  FIsInComment = IsComment(m);
  FIsInQuotes = m == mdString;
  FIsInDirective = m == mdDirective;
  if (FIsInComment) FCommentKind = KindOf(m);
  if (FIsInQuotes) QuoteCharType = C.Quote == '\'' ? qcApostrophe : qcDoubleQuote;
  FLinePos = C.P, FLineNum = C.Line, FLineStart = C.LineStart;
}

void TVareZezoer::LineAt(size_t P, int& Line, size_t& LineStart) const {
  const std::string_view t = Text();
  P = std::min(P, t.size());
  if (FLinePos > t.size()) FLinePos = 0, FLineNum = 1, FLineStart = 0;
  if (P >= FLinePos) {
    const char* from = t.data() + FLinePos;
    FLineNum += int(std::count(from, t.data() + P, '\n'));
    const size_t lf = t.substr(FLinePos, P - FLinePos).rfind('\n');
    if (lf != std::string_view::npos) FLineStart = FLinePos + lf + 1;
  } else {
    FLineNum -= int(std::count(t.data() + P, t.data() + FLinePos, '\n'));
    const size_t lf = t.substr(0, P).rfind('\n');
    FLineStart = lf == std::string_view::npos ? 0 : lf + 1;
  }
  FLinePos = P;
  Line = FLineNum;
  LineStart = FLineStart;
}

// ---------------------------------------------------------------------------------------------
// TVareZezoer

TVareZezoer::TVareZezoer() {
  SetCodePage(0);
}

TVareZezoer::TVareZezoer(const std::u16string& AFileName, bool AWholeWords, TAnsiIntlStream* Memory)
    : TVareZezoer() {
  if (!InitParser(AFileName, AWholeWords, Memory))
    throw EQEMError(std::u16string(SParserUnableToInit));
}

TVareZezoer::~TVareZezoer() = default;

void TVareZezoer::ShowError(const std::u16string& Msg, std::exception_ptr E) {
  if (!FShowErrors) return;
  if (E) std::rethrow_exception(E);
  QEMUIServices().ErrorBox(Msg);
}

template <class F, class R> R TVareZezoer::Guarded(F Body, R Failed) {
  try {
    return Body();
  } catch (const EQEMError& e) {
    ShowError(e.Message(), std::current_exception());
    return Failed;
  }
}

bool TVareZezoer::RequireInit() {
  if (FInitCalled && FIntlStream) return true;
  ShowError(std::u16string(SParserInitNotCalled),
            std::make_exception_ptr(EInitNotCalled(std::u16string(SParserInitNotCalled))));
  return false;
}

void TVareZezoer::ClearLanguage() {
  FIsPascal = FIsCPP = FIsSourceCode = false;
  FComments.clear();
  FCaseSens = FSkipEscSequences = FSkipFormatSequences = false;
  QuoteCharType = qcNone;
  FCommentKind = ckNone;
}

void TVareZezoer::Release() {
  FOwnedStream.reset();
  FIntlStream = nullptr;
  FInitCalled = false;
  FFileName.clear();
  FCurrToken.clear();
  FTokenIndex = FBlockBegin = FBlockEnd = FPTokenLine = FPTokenLineOrig = 0;
  FLinePos = FLineStart = 0;
  FLineNum = FTokenLineNum = 1;
}

bool TVareZezoer::Reload(const std::u16string& AFileName, TAnsiIntlStream* Memory) {
  std::unique_ptr<TAnsiIntlStream> owned;
  TAnsiIntlStream* stream = Memory;
  if (!stream) {
    if (!FileExists(AFileName)) {
      Release();
      ShowError(Format(SParserFileNotFound, AFileName));
      return false;
    }
    owned = std::make_unique<TAnsiIntlStream>();
    try {
      owned->LoadFromFile(AFileName);
    } catch (const EQEMError& e) {
      Release();
      ShowError(e.Message());
      return false;
    }
    stream = owned.get();
  }
  FStreamOriginalFormat = sofUnknown;
  if (IsFormExt(ExtractFileExt(AFileName))) {
    const std::string_view t = stream->Text();
    // Binary forms carry a signature or a resource header; we read the text form only.
    if (t.substr(0, 4) == "TPF0" || (!t.empty() && static_cast<unsigned char>(t[0]) == 0xFF)) {
      Release();
      ShowError(Format(SParserBinaryForm, AFileName));
      return false;
    }
    FStreamOriginalFormat = t.substr(0, 3) == "\xEF\xBB\xBF" ? sofUTF8Text : sofText;
  }
  FOwnedStream = std::move(owned);
  FIntlStream = stream;
  FFileName = AFileName;
  FIntlStream->SetNullTerminator();
  ResetPointer();
  return true;
}

bool TVareZezoer::InitParser(const std::u16string& AFileName, bool AWholeWords,
                             TAnsiIntlStream* Memory) {
  ClearLanguage();
  if (!Memory) TermParser(u"");
  if (!Reload(AFileName, Memory)) return false;
  const std::u16string ext = ExtractFileExt(AFileName);
  if (ExtIn({u".pas", u".opr", u".ofm", u".~of", u".~ofm", u".xfm", u".~xfm", u".opk", u".inc"},
            ext)) {
    SetIsPascal(true);
  } else if (ExtIn({u".cpp", u".c", u".cs", u".hpp", u".h", u".fpr", u".rul", u".fpk", u".rc",
                    u".rcp"},
                   ext)) {
    SetIsCPP(true);
  } else if (ext.size() > 1) {
    TQEMRegistry reg;
    if (reg.OpenKeyReadOnly(u"\\Software\\Wendroth\\VareZezo")) {
      if (ExtInRegList(reg.SafeReadStr(u"Pascal", u""), ext))
        SetIsPascal(true);
      else if (ExtInRegList(reg.SafeReadStr(u"CPP", u""), ext))
        SetIsCPP(true);
    }
  }
  FWholeWords = AWholeWords;
  FIsInDirective = FIsInComment = FIsInQuotes = false;
  FSearchInDirectives = FSearchInComments = FSearchInQuotes = false;
  FShowErrors = true;
  FInitCalled = true;
  SaveState(true);
  return true;
}

bool TVareZezoer::InitParser(std::string Text, bool AWholeWords, const std::u16string& AFileName) {
  TermParser(u"");
  // The language comes from the name as for a file; the copy is ours once that succeeded.
  auto owned = std::make_unique<TAnsiIntlStream>(std::move(Text));
  if (!InitParser(AFileName, AWholeWords, owned.get())) return false;
  FOwnedStream = std::move(owned);
  return true;
}

void TVareZezoer::TermParser(const std::u16string& AFileName) {
  if (!AFileName.empty() && FIntlStream) {
    try {
      FIntlStream->SaveToFile(AFileName);
    } catch (const EQEMError& e) {
      ShowError(e.Message(), std::current_exception());
      return;
    }
  }
  Release();
  ClearStates();
}

void TVareZezoer::SetIsPascal(bool Value) {
  FIsPascal = Value;
  if (Value) {
    FIsCPP = false;
    FComments = {"//", "(*", "{"};
    FCaseSens = false;
    FSkipEscSequences = false;
    FSkipFormatSequences = true;
    QuoteCharType = qcApostrophe;
  }
  FIsSourceCode = FIsPascal || FIsCPP;
  if (!FIsSourceCode) FComments.clear();
}

void TVareZezoer::SetIsCPP(bool Value) {
  FIsCPP = Value;
  if (Value) {
    FIsPascal = false;
    FComments = {"//", "/*"};
    FCaseSens = true;
    FSkipEscSequences = true;
    FSkipFormatSequences = false;
    QuoteCharType = qcDoubleQuote;
  }
  FIsSourceCode = FIsPascal || FIsCPP;
  if (!FIsSourceCode) FComments.clear();
}

void TVareZezoer::SetIsSourceCode(bool Value) {
  FIsSourceCode = Value;
  if (!Value) {
    FIsPascal = FIsCPP = false;
    FComments.clear();
  }
}

bool TVareZezoer::SetCodePage(int CodePage) {
  if (CodePage == FCodePage) return true;
  if (CodePage == FPrevCodePage) {
    std::swap(FCodePage, FPrevCodePage);
    std::swap(FLeadBytes, FPrevLeadBytes);
    return true;
  }
  TQEMLeadBytes lead;
  if (!QueryLeadBytes(CodePage, lead)) return false;
  FPrevCodePage = FCodePage;
  FPrevLeadBytes = FLeadBytes;
  FCodePage = CodePage;
  FLeadBytes = lead;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Searches

size_t TVareZezoer::DoFind(const std::vector<std::string_view>& Texts, size_t Start, bool InQuotes,
                           bool InComment, bool InDirective) {
  for (std::string_view s : Texts)
    if (s.empty()) throw EEmptyString(std::u16string(SParserEmptySearchString));
  TCharSet first;
  for (std::string_view s : Texts) {
    const unsigned char c = s[0];
    first.set(c);
    if (!FCaseSens && !FLeadBytes[c]) {
      first.set(Upper(c));
      if (c >= 'A' && c <= 'Z') first.set(c + 32);
    }
  }
  TCursor c = MakeCursor(Start, InQuotes, InComment, InDirective);
  FPTokenLineOrig = c.LineStart;
  int index = -1;
  const bool found = Walk(c, [&](const TCursor& C) {
    if (!first[C.B[C.P]] || !C.Candidate()) return false;
    for (size_t i = 0; i < Texts.size(); ++i)
      if (MatchAt(C.P, Texts[i], C.PrevIdent)) {
        index = int(i);
        return true;
      }
    return false;
  });
  FArrayIndex = index;
  if (!found) return npos;
  Commit(c, Texts[size_t(index)].size());
  return c.P;
}

size_t TVareZezoer::FindToken(const std::vector<std::string>& FindArray, size_t Start,
                              bool InQuotes, bool InComment, bool InDirective,
                              TEmptySetAction EmptySetAction) {
  if (!RequireInit()) return npos;
  if (FindArray.empty()) return EmptySet(EmptySetAction, Start, InQuotes, InComment, InDirective);
  const std::vector<std::string_view> texts(FindArray.begin(), FindArray.end());
  return Guarded([&] { return DoFind(texts, Start, InQuotes, InComment, InDirective); }, npos);
}

size_t TVareZezoer::FindSingleToken(std::string_view FindSt, size_t Start, bool InQuotes,
                                    bool InComment, bool InDirective) {
  if (!RequireInit()) return npos;
  return Guarded([&] { return DoFind({FindSt}, Start, InQuotes, InComment, InDirective); }, npos);
}

size_t TVareZezoer::EmptySet(TEmptySetAction Action, size_t Start, bool InQuotes, bool InComment,
                             bool InDirective) {
  return Guarded(
      [&] {
        TCursor c = MakeCursor(Start, InQuotes, InComment, InDirective);
        switch (Action) {
        case esaNextToken:
          FCurrToken.clear();
          return DoNextToken(1, c);
        case esaSkipID:
          if (c.P < c.End && !IsIdent(c.B[c.P])) break;
          [[fallthrough]];
        case esaSkipToken:
          if (c.P < c.End && !IsSeparator(c.B[c.P])) {
            c.Settle();
            Step(c, c.P + TokenLength(c));
          }
          break;
        case esaNextChar:
          Step(c, c.P + 1);
          break;
        }
        FCurrToken.clear();
        CommitPosition(c);
        return c.P < c.End ? c.P : npos;
      },
      npos);
}

size_t TVareZezoer::FindChar(const TCharSet& Set) {
  return FindChar(Set, FIsInQuotes, FIsInComment, FIsInDirective);
}

size_t TVareZezoer::FindChar(const TCharSet& Set, bool InQuotes, bool InComment, bool InDirective) {
  if (!RequireInit()) return npos;
  return Guarded(
      [&] {
        TCursor c = MakeCursor(Position(), InQuotes, InComment, InDirective);
        if (!Walk(c, [&](const TCursor& C) { return Set[C.B[C.P]] && C.Candidate(); })) return npos;
        Commit(c, c.Len);
        return c.P;
      },
      npos);
}

size_t TVareZezoer::QuickFindCh(char Ch) {
  if (!RequireInit()) return npos;
  const std::string_view t = Text();
  for (size_t p = Position(); p < t.size();) {
    const unsigned char b = t[p];
    if (b == static_cast<unsigned char>(Ch)) {
      TCursor c = MakeCursor(p, false, false, false);
      Commit(c, 1);
      return p;
    }
    p += FLeadBytes[b] && p + 1 < t.size() && t[p + 1] != '\n' ? 2 : 1;
  }
  return npos;
}

size_t TVareZezoer::DoNextToken(int Num, TCursor C) {
  size_t tokStart = Position() == FTokenIndex && !FCurrToken.empty() ? FTokenIndex : npos;
  size_t tokLen = FCurrToken.size();
  for (int i = 0; i < Num; ++i) {
    if (tokStart == C.P && C.P < C.End && !IsSeparator(C.B[C.P])) Step(C, tokStart + tokLen);
    if (!Walk(C, [](const TCursor& K) { return !IsSeparator(K.B[K.P]) && K.Candidate(); })) {
      FCurrToken.clear();
      FTokenIndex = C.P;
      FTokenLineNum = C.Line;
      FPTokenLine = C.LineStart;
      CommitPosition(C);
      return npos;
    }
    tokStart = C.P;
    tokLen = TokenLength(C);
  }
  Commit(C, tokLen);
  return C.P;
}

size_t TVareZezoer::NextToken(int NumToAdvance) {
  return NextToken(NumToAdvance, FIsInQuotes, FIsInComment, FIsInDirective);
}

size_t TVareZezoer::NextToken(int NumToAdvance, bool InQuotes, bool InComment, bool InDirective) {
  if (!RequireInit()) return npos;
  if (NumToAdvance < 1) return Position();
  return Guarded(
      [&] {
        return DoNextToken(NumToAdvance, MakeCursor(Position(), InQuotes, InComment, InDirective));
      },
      npos);
}

size_t TVareZezoer::NextToken_SkippingComments(int NumToAdvance) {
  if (!RequireInit()) return npos;
  if (NumToAdvance < 1) return Position();
  return Guarded(
      [&] {
        TCursor c = CurrentCursor();
        c.InComments = false;
        return DoNextToken(NumToAdvance, c);
      },
      npos);
}

size_t TVareZezoer::NextToken_SkippingPASComments(int NumToAdvance) {
  if (!RequireInit()) return npos;
  if (NumToAdvance < 1) return Position();
  return Guarded(
      [&] {
        TCursor c = CurrentCursor();
        if (c.Syn != sxPascal) {
          // Pascal's rules for this walk only; a position in a comment of the other kind is
          // not one Pascal knows.
          c.Syn = sxPascal;
          if (c.Mode == mdSlashStar) c.Mode = mdCode;
          if (c.Mode == mdDirective) c.Mode = mdCode;
        }
        c.InComments = false;
        return DoNextToken(NumToAdvance, c);
      },
      npos);
}

size_t TVareZezoer::SkipToken() {
  return SkipToken(FIsInQuotes, FIsInComment, FIsInDirective);
}

size_t TVareZezoer::SkipToken(bool InQuotes, bool InComment, bool InDirective) {
  if (!RequireInit()) return npos;
  return Guarded(
      [&] {
        TCursor c = MakeCursor(Position(), InQuotes, InComment, InDirective);
        if (c.P < c.End && !IsSeparator(c.B[c.P])) {
          if (!c.Settle()) RaiseQuoteError(c);
          Step(c, c.P + TokenLength(c));
        }
        FCurrToken.clear();
        CommitPosition(c);
        return c.P;
      },
      npos);
}

size_t TVareZezoer::SkipCurrToken() {
  if (!RequireInit()) return npos;
  return Guarded(
      [&] {
        TCursor c = CurrentCursor();
        Step(c, c.P + FCurrToken.size());
        FCurrToken.clear();
        CommitPosition(c);
        return c.P;
      },
      npos);
}

size_t TVareZezoer::NextChar() {
  if (!RequireInit()) return npos;
  TCursor c = CurrentCursor();
  c.Lenient = true;
  Step(c, c.P + 1);
  FCurrToken.clear();
  CommitPosition(c);
  return c.P < c.End ? c.P : npos;
}

size_t TVareZezoer::NextLine() {
  if (!RequireInit()) return npos;
  TCursor c = CurrentCursor();
  c.Lenient = true;
  const int line = c.Line;
  while (c.P < c.End && c.Line == line) {
    c.Settle();
    c.Advance();
  }
  FCurrToken.clear();
  CommitPosition(c);
  return c.P < c.End ? c.P : npos;
}

bool TVareZezoer::NextString() {
  return NextString(FIsInQuotes, FIsInComment, FIsInDirective);
}

bool TVareZezoer::NextString(bool InQuotes, bool InComment, bool InDirective) {
  if (!RequireInit()) return false;
  return Guarded(
      [&] {
        TCursor c = MakeCursor(Position(), InQuotes, InComment, InDirective);
        const unsigned char quote = FIsPascal ? '\'' : '"';
        if (!Walk(c, [&](const TCursor& C) {
              return C.Mode == mdCode && C.B[C.P] == quote &&
                     (C.Syn == sxPlain || C.Opens == mdString);
            }))
          return false;
        const TCursor open = c;
        c.Advance();
        if (c.Syn == sxPlain) c.Mode = mdString, c.Quote = quote;
        c.Lenient = false; // the token search finds it unterminated
        bool closed = false;
        while (!closed && c.P < c.End) {
          if (!c.Settle()) RaiseQuoteError(c);
          closed = c.Closes;
          c.Advance();
        }
        if (!closed) RaiseQuoteError(c);
        FBlockBegin = open.P;
        FBlockEnd = c.P;
        Commit(open, c.P - open.P);
        FIntlStream->SetPosition(c.P);
        FIsInQuotes = FIsInComment = FIsInDirective = false;
        FLinePos = c.P, FLineNum = c.Line, FLineStart = c.LineStart;
        return true;
      },
      false);
}

bool TVareZezoer::NextComment(bool ExcludeMarkers) {
  return NextComment(ExcludeMarkers, FIsInQuotes, FIsInComment, FIsInDirective);
}

bool TVareZezoer::NextComment(bool ExcludeMarkers, bool InQuotes, bool InComment,
                              bool InDirective) {
  if (!RequireInit()) return false;
  if (InComment) {
    ShowError(std::u16string(SParserInComment));
    return false;
  }
  return Guarded(
      [&] {
        TCursor c = MakeCursor(Position(), InQuotes, false, InDirective);
        if (!Walk(c, [](const TCursor& C) { return C.Mode == mdCode && IsComment(C.Opens); }))
          return false;
        const TCursor open = c;
        c.Advance();
        size_t closer = 0;
        while (c.P < c.End) {
          if (!c.Settle()) RaiseQuoteError(c);
          if (c.Mode == mdCode) break; // a line comment ends before its line feed
          const bool closes = c.Closes;
          closer = closes ? c.Len : 0;
          c.Advance();
          if (closes) break;
        }
        std::string_view text = Text().substr(open.P, c.P - open.P);
        if (ExcludeMarkers) text = text.substr(open.Len, text.size() - open.Len - closer);
        FCurrComment.assign(text);
        FCurrToken.clear();
        FTokenIndex = open.P;
        FTokenLineNum = open.Line;
        FPTokenLine = open.LineStart;
        CommitPosition(c);
        return true;
      },
      false);
}

bool TVareZezoer::GoToMarker(std::string_view Marker, bool PassMarker, bool InQuotes,
                             bool InComment, bool InDirective) {
  const size_t keep = Position();
  if (FindSingleToken(Marker, keep, InQuotes, InComment, InDirective) == npos) return false;
  if (PassMarker) SkipCurrToken();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Edits

void TVareZezoer::AfterEdit(size_t Start, size_t Count, size_t NewCount) {
  const size_t t = FTokenIndex, len = FCurrToken.size();
  if (Count > 0 ? (Start < t + len && Start + Count > t) : (Start > t && Start < t + len))
    FCurrToken.clear();
  FTokenIndex = TAnsiIntlStream::ShiftOffset(FTokenIndex, Start, Count, NewCount);
  FBlockEnd = TAnsiIntlStream::ShiftOffset(FBlockEnd, Start, Count, NewCount);
  FBlockBegin = TAnsiIntlStream::ShiftOffset(FBlockBegin, Start, Count, NewCount, true);
  FPTokenLine = TAnsiIntlStream::ShiftOffset(FPTokenLine, Start, Count, NewCount, true);
  FPTokenLineOrig = TAnsiIntlStream::ShiftOffset(FPTokenLineOrig, Start, Count, NewCount, true);
  for (TState& s : FStates) {
    s.FPositionSave = TAnsiIntlStream::ShiftOffset(s.FPositionSave, Start, Count, NewCount);
    s.FTokenIndexSave = TAnsiIntlStream::ShiftOffset(s.FTokenIndexSave, Start, Count, NewCount);
    s.FPTokenLineSave =
        TAnsiIntlStream::ShiftOffset(s.FPTokenLineSave, Start, Count, NewCount, true);
  }
  FLinePos = FLineStart = 0;
  FLineNum = 1;
}

void TVareZezoer::Insert(size_t Start, std::string_view S) {
  Replace(Start, 0, S);
}

void TVareZezoer::Delete(size_t Start, size_t Count) {
  Replace(Start, Count, {});
}

void TVareZezoer::Replace(size_t Start, size_t Count, std::string_view NewSt) {
  if (!RequireInit()) return;
  Guarded(
      [&] {
        FIntlStream->Replace(Start, Count, NewSt);
        AfterEdit(Start, Count, NewSt.size());
        return 0;
      },
      0);
}

int TVareZezoer::Replace(std::string_view OldSt, std::string_view NewSt, bool All) {
  if (!RequireInit()) return 0;
  std::vector<size_t> at;
  const int n = FIntlStream->Replace(OldSt, NewSt, All, &at);
  for (size_t i = 0; i < at.size(); ++i)
    AfterEdit(at[i] + i * NewSt.size() - i * OldSt.size(), OldSt.size(), NewSt.size());
  return n;
}

// ---------------------------------------------------------------------------------------------
// States

TVareZezoer::TState TVareZezoer::CurrentState() const {
  TState s;
  s.FCaseSensSave = FCaseSens;
  s.FCurrTokenSave = FCurrToken;
  s.FInitCalledSave = FInitCalled;
  s.FFileNameSave = FFileName;
  s.FIsInDirectiveSave = FIsInDirective;
  s.FIsInCommentSave = FIsInComment;
  s.FIsInQuotesSave = FIsInQuotes;
  s.FIsCPPSave = FIsCPP;
  s.FIsPascalSave = FIsPascal;
  s.FPositionSave = Position();
  s.FPTokenLineSave = FPTokenLine;
  s.FSearchInCommentsSave = FSearchInComments;
  s.FSearchInDirectivesSave = FSearchInDirectives;
  s.FSearchInQuotesSave = FSearchInQuotes;
  s.FSkipEscSequencesSave = FSkipEscSequences;
  s.FSkipFormatSequencesSave = FSkipFormatSequences;
  s.FTokenIndexSave = FTokenIndex;
  s.FTokenLineNumSave = FTokenLineNum;
  s.FWholeWordsSave = FWholeWords;
  s.QuoteCharTypeSave = QuoteCharType;
  s.FCommentKindSave = FCommentKind;
  return s;
}

void TVareZezoer::ApplyState(const TState& S) {
  FCaseSens = S.FCaseSensSave;
  FCurrToken = S.FCurrTokenSave;
  FInitCalled = S.FInitCalledSave && FIntlStream;
  FFileName = S.FFileNameSave;
  FIsInDirective = S.FIsInDirectiveSave;
  FIsInComment = S.FIsInCommentSave;
  FIsInQuotes = S.FIsInQuotesSave;
  FIsCPP = S.FIsCPPSave;
  FIsPascal = S.FIsPascalSave && !FIsCPP;
  FIsSourceCode = FIsCPP || FIsPascal;
  FComments = FIsPascal ? std::vector<std::string>{"//", "(*", "{"}
              : FIsCPP  ? std::vector<std::string>{"//", "/*"}
                        : std::vector<std::string>{};
  if (FIntlStream) FIntlStream->SetPosition(S.FPositionSave);
  const size_t size = GetMemSize();
  FPTokenLine = std::min(S.FPTokenLineSave, size);
  FSearchInComments = S.FSearchInCommentsSave;
  FSearchInDirectives = S.FSearchInDirectivesSave;
  FSearchInQuotes = S.FSearchInQuotesSave;
  FSkipEscSequences = S.FSkipEscSequencesSave;
  FSkipFormatSequences = S.FSkipFormatSequencesSave;
  FTokenIndex = std::min(S.FTokenIndexSave, size);
  if (FTokenIndex + FCurrToken.size() > size) FCurrToken.clear();
  FTokenLineNum = S.FTokenLineNumSave;
  FWholeWords = S.FWholeWordsSave;
  QuoteCharType = S.QuoteCharTypeSave;
  FCommentKind = S.FCommentKindSave;
}

int TVareZezoer::SaveState(bool UseDefaults) {
  if (UseDefaults && FDefaultStateIndex >= 0) {
    FStates[size_t(FDefaultStateIndex)] = CurrentState();
    return FDefaultStateIndex;
  }
  FStates.push_back(CurrentState());
  const int index = int(FStates.size()) - 1;
  if (UseDefaults) FDefaultStateIndex = index;
  return index;
}

void TVareZezoer::RestoreState(int Index) {
  if (Index < 0 || size_t(Index) >= FStates.size()) {
    const std::u16string msg = Format(SParserNoState, Index);
    ShowError(msg, std::make_exception_ptr(EArrayExceeded(msg)));
    return;
  }
  ApplyState(FStates[size_t(Index)]);
  if (FDefaultStateIndex > Index) {
    FStates[size_t(Index) + 1] = std::move(FStates[size_t(FDefaultStateIndex)]);
    FDefaultStateIndex = Index + 1;
    FStates.resize(size_t(Index) + 2);
  } else {
    FStates.resize(size_t(Index) + 1);
  }
}

void TVareZezoer::ClearStates() {
  FStates.clear();
  FDefaultStateIndex = -1;
}

bool TVareZezoer::ForceDefault(TStateField AField, bool Value) {
  if (FDefaultStateIndex < 0) return false;
  TState& s = FStates[size_t(FDefaultStateIndex)];
  switch (AField) {
  case sfCaseSens:
    s.FCaseSensSave = Value;
    break;
  case sfIsInDirective:
    s.FIsInDirectiveSave = Value;
    break;
  case sfIsInComment:
    s.FIsInCommentSave = Value;
    break;
  case sfIsInQuotes:
    s.FIsInQuotesSave = Value;
    break;
  case sfSearchInComments:
    s.FSearchInCommentsSave = Value;
    break;
  case sfSearchInDirectives:
    s.FSearchInDirectivesSave = Value;
    break;
  case sfSearchInQuotes:
    s.FSearchInQuotesSave = Value;
    break;
  case sfSkipEscSequences:
    s.FSkipEscSequencesSave = Value;
    break;
  case sfSkipFormatSequences:
    s.FSkipFormatSequencesSave = Value;
    break;
  case sfWholeWords:
    s.FWholeWordsSave = Value;
    break;
  }
  return true;
}

void TVareZezoer::RestoreDefaults() {
  if (FDefaultStateIndex >= 0) ApplyState(FStates[size_t(FDefaultStateIndex)]);
}

void TVareZezoer::ResetPointer() {
  if (FIntlStream) FIntlStream->SetPosition(0);
  FCurrToken.clear();
  FTokenIndex = FPTokenLine = FPTokenLineOrig = 0;
  FTokenLineNum = 1;
  FArrayIndex = -1;
  FIsInDirective = FIsInComment = FIsInQuotes = false;
  FLinePos = FLineStart = 0;
  FLineNum = 1;
}

// ---------------------------------------------------------------------------------------------
// Queries

TTokenType TVareZezoer::GetTokenType() const {
  if (GetIsEOF()) return ttEOF;
  if (FCurrToken.empty()) return ttNone;
  return IsIdent(static_cast<unsigned char>(FCurrToken[0])) ? ttIdentifier : ttNonIdentifier;
}

std::string TVareZezoer::GetTokenLineString() const {
  const std::string_view t = Text();
  if (FPTokenLine >= t.size()) return {};
  const size_t lf = t.find('\n', FPTokenLine);
  return std::string(t.substr(FPTokenLine, lf == std::string_view::npos ? lf : lf - FPTokenLine));
}

bool TVareZezoer::GetIsEOF() const {
  return !FIntlStream || Position() >= FIntlStream->Size();
}
const char* TVareZezoer::GetMemStart() const {
  return FIntlStream ? FIntlStream->Memory() : nullptr;
}
const char* TVareZezoer::GetMemEnd() const {
  return FIntlStream ? FIntlStream->Memory() + FIntlStream->Size() : nullptr;
}
size_t TVareZezoer::GetMemSize() const {
  return FIntlStream ? FIntlStream->Size() : 0;
}
size_t TVareZezoer::Position() const {
  return FIntlStream ? FIntlStream->Position() : 0;
}
std::string_view TVareZezoer::Text() const {
  return FIntlStream ? FIntlStream->Text() : std::string_view();
}

void QEMIntlParserInitialize() {
  delete VareZezoer;
  VareZezoer = new TVareZezoer();
}

void QEMIntlParserFinalize() {
  delete VareZezoer;
  VareZezoer = nullptr;
  gLeadBytes.clear();
}
