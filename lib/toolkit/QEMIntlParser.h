#pragma once
// Token scanner over 8-bit (code-page) text, for translator packages that find and rewrite
// strings in Pascal and C++ sources, resource scripts and text form files. It knows each
// language's comments, strings and directives, never splits a double-byte character of the
// active code page, and edits its buffer through TAnsiIntlStream.
//
// Every position is an offset from the start of the buffer, so positions survive a buffer that
// grows. Where a search begins inside a string, comment or directive is told by its InQuotes,
// InComment and InDirective arguments (a result's FIsIn... flags say where it lies); whether it
// may match inside them is told by the FSearchIn... switches.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/QEMSysUtils.h"

enum TTokenType : uint8_t { ttNone, ttEOF, ttIdentifier, ttNonIdentifier };
// What FindToken does when its search array is empty, starting at Start.
enum TEmptySetAction : uint8_t {
  esaNextToken, // the first token at or after Start
  esaSkipToken, // passes the token at Start
  esaSkipID,    // passes the identifier at Start, if one stands there
  esaNextChar   // passes one character
};
enum TQuoteCharType : uint8_t { qcNone, qcApostrophe, qcDoubleQuote };
enum TStreamOriginalFormat : uint8_t { sofUnknown, sofBinary, sofText, sofUTF8Text };
// Which comment a position inside one belongs to; needed to resume a scan there.
enum TCommentKind : uint8_t { ckNone, ckLine, ckBrace, ckParenStar, ckSlashStar };

using TCharSet = std::bitset<256>;
using TQEMLeadBytes = std::bitset<256>;

class QEM_API EQuoteError : public EQEMError {
public:
  using EQEMError::EQEMError;
};
// An offset, length or saved-state index outside what exists.
class QEM_API EArrayExceeded : public EQEMError {
public:
  using EQEMError::EQEMError;
};
class QEM_API EInitNotCalled : public EQEMError {
public:
  using EQEMError::EQEMError;
};
class QEM_API EEmptyString : public EQEMError {
public:
  using EQEMError::EQEMError;
};

// 8-bit text in memory, always followed by a NUL. An edit out of range raises EArrayExceeded
// before anything changes.
class QEM_API TAnsiIntlStream {
public:
  TAnsiIntlStream() = default;
  explicit TAnsiIntlStream(std::string Data) : FData(std::move(Data)) {}

  const char* Memory() const { return FData.c_str(); }
  size_t Size() const { return FData.size(); }
  std::string_view Text() const { return FData; }
  void SetText(std::string Data);
  size_t Position() const { return FPosition; }
  void SetPosition(size_t Value) { FPosition = Value < FData.size() ? Value : FData.size(); }

  // Raises EQEMError naming the file.
  void LoadFromFile(const std::u16string& FileName);
  // Through a temporary file and a rename, so a failed save keeps the old file.
  void SaveToFile(const std::u16string& FileName) const;
  void SetNullTerminator();

  // Edits move a position at or after Start behind the new text.
  void Insert(size_t Start, std::string_view S);
  void Delete(size_t Start, size_t Count);
  void Replace(size_t Start, size_t Count, std::string_view NewSt);
  // Every occurrence (the first only unless All) from the start, left to right, going on after
  // each inserted text, so NewSt holding OldSt cannot loop. An empty OldSt replaces nothing.
  // Returns the number replaced; At receives their offsets in the text before the call.
  int Replace(std::string_view OldSt, std::string_view NewSt, bool All,
              std::vector<size_t>* At = nullptr);

  // Where an offset goes when Count bytes at Start become NewCount bytes. Sticky keeps an
  // offset equal to Start in place (a beginning), otherwise it moves behind the new text.
  static size_t ShiftOffset(size_t P, size_t Start, size_t Count, size_t NewCount,
                            bool Sticky = false);

private:
  void CheckRange(size_t Start, size_t Count) const;
  std::string FData;
  size_t FPosition = 0;
};

class QEM_API TVareZezoer {
public:
  static constexpr size_t npos = size_t(-1);

  struct TState {
    bool FCaseSensSave = false;
    std::string FCurrTokenSave;
    bool FInitCalledSave = false;
    std::u16string FFileNameSave;
    bool FIsInDirectiveSave = false;
    bool FIsInCommentSave = false;
    bool FIsInQuotesSave = false;
    bool FIsCPPSave = false;
    bool FIsPascalSave = false;
    size_t FPositionSave = 0;
    size_t FPTokenLineSave = 0;
    bool FSearchInCommentsSave = false;
    bool FSearchInDirectivesSave = false;
    bool FSearchInQuotesSave = false;
    bool FSkipEscSequencesSave = false;
    bool FSkipFormatSequencesSave = false;
    size_t FTokenIndexSave = 0;
    int FTokenLineNumSave = 1;
    bool FWholeWordsSave = false;
    TQuoteCharType QuoteCharTypeSave = qcNone;
    TCommentKind FCommentKindSave = ckNone;
  };
  // The fields ForceDefault can change.
  enum TStateField : uint8_t {
    sfCaseSens,
    sfIsInDirective,
    sfIsInComment,
    sfIsInQuotes,
    sfSearchInComments,
    sfSearchInDirectives,
    sfSearchInQuotes,
    sfSkipEscSequences,
    sfSkipFormatSequences,
    sfWholeWords
  };

  // Code page 0 (the system ANSI code page), no buffer.
  TVareZezoer();
  // Raises EQEMError "Unable to initialize parser" when the buffer cannot be loaded.
  TVareZezoer(const std::u16string& AFileName, bool AWholeWords, TAnsiIntlStream* Memory = nullptr);
  virtual ~TVareZezoer();
  TVareZezoer(const TVareZezoer&) = delete;
  TVareZezoer& operator=(const TVareZezoer&) = delete;

  // Loads the file, or works on Memory (kept by the caller) when given, and takes the language
  // from the file name. False, and no buffer, when loading fails.
  bool InitParser(const std::u16string& AFileName, bool AWholeWords,
                  TAnsiIntlStream* Memory = nullptr);
  // The same over a copy of Text; AFileName, when given, only names the buffer and its language.
  bool InitParser(std::string Text, bool AWholeWords, const std::u16string& AFileName = u"");
  // The buffer only. Text forms of form files are read; a binary form is refused.
  bool Reload(const std::u16string& AFileName, TAnsiIntlStream* Memory = nullptr);
  // Writes the buffer to AFileName when given, then releases it. A failed write keeps it.
  void TermParser(const std::u16string& AFileName = u"");

  void SetIsPascal(bool Value);
  void SetIsCPP(bool Value);
  void SetIsSourceCode(bool Value);
  // False, changing nothing, for a code page we have no table for.
  bool SetCodePage(int CodePage);

  // Searches return the offset found, or npos. A match sets FTokenIndex, FCurrToken, the token
  // line, the FIsIn... flags and the position.
  size_t FindToken(const std::vector<std::string>& FindArray, size_t Start, bool InQuotes = false,
                   bool InComment = false, bool InDirective = false,
                   TEmptySetAction EmptySetAction = esaNextToken);
  size_t FindSingleToken(std::string_view FindSt, size_t Start, bool InQuotes = false,
                         bool InComment = false, bool InDirective = false);
  // From the position on (the current flags tell where it lies).
  size_t FindChar(const TCharSet& Set);
  size_t FindChar(const TCharSet& Set, bool InQuotes, bool InComment, bool InDirective);
  // Plain byte search from the position (double-byte characters respected, nothing else); the
  // position found is then taken to lie outside comments and strings.
  size_t QuickFindCh(char Ch);

  // A token is a run of identifier characters or one other character. The overloads without
  // flags start from where the current flags say the position lies.
  size_t NextToken(int NumToAdvance = 1);
  size_t NextToken(int NumToAdvance, bool InQuotes, bool InComment, bool InDirective);
  size_t NextToken_SkippingComments(int NumToAdvance = 1);
  size_t NextToken_SkippingPASComments(int NumToAdvance = 1);
  size_t SkipToken();
  size_t SkipToken(bool InQuotes, bool InComment, bool InDirective);
  size_t SkipCurrToken();
  size_t NextChar();
  size_t NextLine();
  // The next string of the language (apostrophes in Pascal, double quotes otherwise) with its
  // quotes into FCurrToken; FBlockBegin is its first quote, FBlockEnd the offset just past the
  // last. An unterminated string raises EQuoteError.
  bool NextString();
  bool NextString(bool InQuotes, bool InComment, bool InDirective);
  // The next comment into FCurrComment; the position moves past it.
  bool NextComment(bool ExcludeMarkers);
  bool NextComment(bool ExcludeMarkers, bool InQuotes, bool InComment, bool InDirective);
  // Moves to the next Marker (behind it with PassMarker); false, not moving, when there is none.
  bool GoToMarker(std::string_view Marker, bool PassMarker = false, bool InQuotes = false,
                  bool InComment = false, bool InDirective = false);

  void Insert(size_t Start, std::string_view S);
  void Delete(size_t Start, size_t Count);
  void Replace(size_t Start, size_t Count, std::string_view NewSt);
  int Replace(std::string_view OldSt, std::string_view NewSt, bool All);

  // With UseDefaults the state becomes (or replaces) the default state.
  int SaveState(bool UseDefaults = false);
  // Restores state Index and forgets the states saved after it (never the default state).
  void RestoreState(int Index);
  void ClearStates();
  bool ForceDefault(TStateField AField, bool Value);
  void RestoreDefaults();
  void ResetPointer();

  TTokenType GetTokenType() const;
  std::string GetTokenLineString() const;
  bool GetIsEOF() const;
  bool GetNotEOF() const { return !GetIsEOF(); }
  const char* GetMemStart() const;
  const char* GetMemEnd() const; // the terminating NUL
  size_t GetMemSize() const;
  size_t Position() const;
  std::string_view Text() const;

  // Read freely; of the switches, set FSearchIn..., FWholeWords, FCaseSens, FSkip... and
  // FShowErrors directly, the rest through the operations.
  int FArrayIndex = -1;
  bool FCaseSens = false;
  std::vector<std::string> FComments;
  int FCodePage = -1, FPrevCodePage = -1;
  std::string FCurrComment;
  std::string FCurrToken;
  int FDefaultStateIndex = -1;
  bool FInitCalled = false;
  std::u16string FFileName;
  bool FIsInDirective = false, FIsInComment = false, FIsInQuotes = false;
  bool FIsCPP = false, FIsPascal = false;
  TQEMLeadBytes FLeadBytes, FPrevLeadBytes;
  size_t FBlockBegin = 0, FBlockEnd = 0;
  TAnsiIntlStream* FIntlStream = nullptr;
  bool FIsSourceCode = false;
  TStreamOriginalFormat FStreamOriginalFormat = sofUnknown;
  bool FShowErrors = true;
  size_t FPTokenLine = 0, FPTokenLineOrig = 0; // line start of the token / of the last search
  std::vector<TState> FStates;
  bool FSearchInDirectives = false, FSearchInComments = false, FSearchInQuotes = false;
  bool FSkipEscSequences = false;
  bool FSkipFormatSequences = false;
  size_t FTokenIndex = 0;
  int FTokenLineNum = 1; // 1 for the first line
  bool FWholeWords = false;
  TQuoteCharType QuoteCharType = qcNone;
  TCommentKind FCommentKind = ckNone;

protected:
  // Dropped when FShowErrors is false; otherwise E is raised, or Msg shown in an error box.
  void ShowError(const std::u16string& Msg, std::exception_ptr E = nullptr);

private:
  struct TCursor;
  TCursor MakeCursor(size_t Start, bool InQuotes, bool InComment, bool InDirective) const;
  TCursor CurrentCursor() const;
  template <class F> bool Walk(TCursor& C, F Stop) const;
  void Step(TCursor& C, size_t Until) const;
  [[noreturn]] void RaiseQuoteError(const TCursor& C) const;
  size_t TokenLength(const TCursor& C) const;
  bool MatchAt(size_t P, std::string_view S, bool PrevIdent) const;
  void Commit(const TCursor& C, size_t TokenLen);
  void CommitPosition(const TCursor& C);
  size_t DoFind(const std::vector<std::string_view>& Texts, size_t Start, bool InQuotes,
                bool InComment, bool InDirective);
  size_t DoNextToken(int Num, TCursor C);
  size_t EmptySet(TEmptySetAction Action, size_t Start, bool InQuotes, bool InComment,
                  bool InDirective);
  bool RequireInit();
  template <class F, class R> R Guarded(F Body, R Failed);
  void LineAt(size_t P, int& Line, size_t& LineStart) const;
  void AfterEdit(size_t Start, size_t Count, size_t NewCount);
  void ClearLanguage();
  void ApplyState(const TState& S);
  TState CurrentState() const;
  void Release();

  std::unique_ptr<TAnsiIntlStream> FOwnedStream;
  // One position whose line is known, so line numbers cost the distance from the last one.
  mutable size_t FLinePos = 0, FLineStart = 0;
  mutable int FLineNum = 1;
};

// The process-wide parser, created at library start-up.
QEM_API extern TVareZezoer* VareZezoer;

// Unit start-up and shut-down, called by QEMInitialize/QEMFinalize.
QEM_API void QEMIntlParserInitialize();
QEM_API void QEMIntlParserFinalize();
