#include "toolkit/QEMEntryValidation.h"

#include <charconv>
#include <string>
#include <string_view>

#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMFormatParser.h"

std::u16string NewString;

IQEMValidationGrid::~IQEMValidationGrid() = default;

namespace {

bool IsDigit(char16_t C) {
  return C >= u'0' && C <= u'9';
}

// Plain ASCII or nothing: numbers never hold anything else.
bool ToAscii(std::u16string_view S, std::string& Out) {
  Out.clear();
  for (char16_t c : S) {
    if (c > 0x7F) return false;
    Out += char(c);
  }
  return true;
}

bool ParsesAsInteger(std::string_view S) {
  if (!S.empty() && S[0] == '+') S.remove_prefix(1);
  if (S.empty() || S[0] == '+') return false;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), value);
  return ec == std::errc() && end == S.data() + S.size();
}

bool ParsesAsFloat(std::string_view S) {
  if (!S.empty() && S[0] == '+') S.remove_prefix(1);
  if (S.empty() || S[0] == '+') return false;
  double value = 0;
  auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), value);
  return ec == std::errc() && end == S.data() + S.size();
}

std::u16string NumericTypeName(TNumericType Type) {
  return std::u16string(Type == ntFloat ? SNumericTypeFloat : SNumericTypeInteger);
}

bool FormatSpecifiersMatch(const std::u16string& Original, const std::u16string& Translation,
                           const TQEMFont* OriginalFont, const TQEMFont* TranslationFont) {
  std::u16string orig = QEMLowerCase(ExtractFormatSpecifier(Original, OriginalFont));
  std::u16string curr = QEMLowerCase(ExtractFormatSpecifier(Translation, TranslationFont));
  const std::u16string detail = u"- " + std::u16string(SFormatOriginalString) + orig + u"\r\n" +
                                u"- " + std::u16string(SFormatCurrentString) + curr + u"\r\n";
  // Every token starts with "[%", so a match always lines up with a whole token.
  for (size_t close; (close = orig.find(u']')) != std::u16string::npos;) {
    const std::u16string token = orig.substr(0, close + 1);
    const size_t at = curr.find(token);
    if (at == std::u16string::npos) break;
    orig.erase(0, token.size());
    curr.erase(at, token.size());
  }
  if (orig.empty() && curr.empty()) return true;
  return QEMUIServices().WarningQuestion(Format(SFormatSpecifiersMismatch, detail), false);
}

bool EscapesValid(const std::u16string& S) {
  constexpr std::u16string_view escapable = u"\"0ABFNRTVX\\abfnrtvx";
  for (size_t i = 0; i + 1 < S.size(); ++i) {
    if (S[i] != u'\\') continue;
    if (i + 2 >= S.size() || escapable.find(S[i + 1]) == std::u16string_view::npos) return false;
    ++i;
  }
  return true;
}

size_t LeadingSpaces(std::u16string_view S) {
  size_t n = 0;
  while (n < S.size() && S[n] == u' ')
    ++n;
  return n;
}

size_t TrailingSpaces(std::u16string_view S) {
  size_t n = 0;
  while (n < S.size() && S[S.size() - 1 - n] == u' ')
    ++n;
  return n;
}

enum class TSpacesResult { Pass, Cancelled };

// Applies only to literals on both sides; Translation is rebuilt even when the second question
// is cancelled.
TSpacesResult CheckSurroundingSpaces(const std::u16string& Original, std::u16string& Translation,
                                     char16_t Quote) {
  const std::u16string o = QEMTrim(Original), t = QEMTrim(Translation);
  if (!HasOpenAndCloseChars(o, Quote, Quote) || !HasOpenAndCloseChars(t, Quote, Quote))
    return TSpacesResult::Pass;
  const std::u16string_view oInner = std::u16string_view(o).substr(1, o.size() - 2);
  std::u16string inner = t.substr(1, t.size() - 2);

  const size_t oLead = LeadingSpaces(oInner), tLead = LeadingSpaces(inner);
  if (oLead != tLead) {
    const TQEMAnswer a =
        QEMUIServices().AskYesNoCancel(std::u16string(SLeadingSpacesMismatch), TQEMAnswer::anYes);
    if (a == TQEMAnswer::anCancel) return TSpacesResult::Cancelled;
    if (a == TQEMAnswer::anYes) inner = std::u16string(oLead, u' ') + inner.substr(tLead);
  }
  Translation = Quote + inner + Quote;

  const size_t oTrail = TrailingSpaces(oInner), tTrail = TrailingSpaces(inner);
  TQEMAnswer a = TQEMAnswer::anNo;
  if (oTrail != tTrail) {
    a = QEMUIServices().AskYesNoCancel(std::u16string(STrailingSpacesMismatch), TQEMAnswer::anYes);
    if (a == TQEMAnswer::anYes)
      inner = inner.substr(0, inner.size() - tTrail) + std::u16string(oTrail, u' ');
  }
  Translation = Quote + inner + Quote;
  return a == TQEMAnswer::anCancel ? TSpacesResult::Cancelled : TSpacesResult::Pass;
}

bool CheckQuotes(const std::u16string& Original, std::u16string& Translation, char16_t Quote,
                 bool AllowEscapes, const TQEMFont* OriginalFont, const TQEMFont* TranslationFont) {
  if (!IsValidString(Original, Quote, OriginalFont, AllowEscapes, false).empty()) return true;
  if (QEMTrim(Translation).empty()) {
    Translation = std::u16string(2, Quote);
    return true;
  }
  const bool autoQuote = QEMINTOptionProps ? QEMINTOptionProps->AutomaticQuoteStrings : true;
  const std::u16string msg =
      IsValidString(Translation, Quote, TranslationFont, AllowEscapes, autoQuote);
  if (!msg.empty()) {
    QEMUIServices().ErrorBox(msg);
    return false;
  }
  Translation = NewString;
  return true;
}

// A bracketed original needs a translation that starts with the opener and ends with the closer;
// missing ones are added, misplaced ones refused.
bool CheckBrackets(const std::u16string& Original, std::u16string& Translation) {
  static constexpr char16_t pairs[][2] = {{u'[', u']'}, {u'(', u')'}, {u'{', u'}'}};
  const std::u16string o = QEMTrim(Original);
  std::u16string t = QEMTrim(Translation);
  for (const auto& pair : pairs) {
    const char16_t open = pair[0], close = pair[1];
    if (!HasOpenAndCloseChars(o, open, close)) continue;
    if (t.find(open) == std::u16string::npos) t.insert(t.begin(), open);
    if (t.find(close) == std::u16string::npos) t.push_back(close);
    const char16_t bad = t.front() != open ? open : t.size() < 2 || t.back() != close ? close : 0;
    if (bad) {
      QEMUIServices().ErrorBox(Format(SBracketMisplaced, bad));
      return false;
    }
  }
  Translation = t;
  return true;
}

} // namespace

TNumericType NumericTypeOf(const std::u16string& Text, const TQEMFont*) {
  const std::u16string t = QEMTrim(Text);
  size_t i = 0;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
    ++i;
    while (i < t.size() && t[i] == u' ')
      ++i;
  }
  if (i >= t.size() || !IsDigit(t[i])) return ntNone;
  while (i < t.size() && IsDigit(t[i]))
    ++i;
  TNumericType type = ntInteger;
  if (i < t.size() &&
      std::u16string_view(u"+-.0123456789EeCDScds").find(t[i]) != std::u16string_view::npos)
    type = ntFloat;
  std::string ascii;
  if (!ToAscii(t, ascii)) return ntNone;
  if (type == ntInteger) return ParsesAsInteger(ascii) ? ntInteger : ntNone;
  return ParsesAsFloat(ascii) ? ntFloat : ntNone;
}

std::u16string IsValidString(const std::u16string& Text, char16_t QuoteChar, const TQEMFont*,
                             bool AllowEscapes, bool AutoQuote) {
  NewString = Text;
  const std::u16string t = QEMTrim(Text);
  const std::u16string quotesMsg(SQuotesIncorrect), asciiMsg(SAsciiValueIncorrect);
  if (t.empty()) return quotesMsg;
  const char16_t other = QuoteChar == u'"' ? u'\'' : u'"';
  bool inQuote = false, segmentSeen = false, bare = false;
  for (size_t i = 0; i < t.size();) {
    const char16_t c = t[i];
    if (inQuote) {
      if (AllowEscapes && c == u'\\' && i + 1 < t.size() && (t[i + 1] == u'"' || t[i + 1] == u'\\'))
        i += 2;
      else {
        if (c == QuoteChar) {
          inQuote = false;
          bare = false;
        }
        ++i;
      }
      continue;
    }
    if (c == QuoteChar) {
      inQuote = true;
      segmentSeen = true;
      ++i;
    } else if (c == other) {
      ++i;
    } else if (c == u'#') {
      if (QuoteChar == u'"') return quotesMsg;
      size_t j = i + 1;
      while (j < t.size() && IsDigit(t[j]))
        ++j;
      if (j < t.size() && t[j] != QuoteChar && t[j] >= u'!' && t[j] != u'+' && t[j] != u'#')
        return asciiMsg;
      std::string digits;
      ToAscii(std::u16string_view(t).substr(i + 1, j - i - 1), digits);
      int32_t code = 0;
      auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code);
      if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        return asciiMsg;
      segmentSeen = true;
      bare = false;
      i = j;
    } else {
      bare = true;
      ++i;
    }
  }
  if (inQuote) return quotesMsg;
  if (bare) {
    if (segmentSeen || !AutoQuote) return quotesMsg;
    NewString = QuoteChar + Text + QuoteChar;
  }
  return {};
}

bool HasOpenAndCloseChars(const std::u16string& Text, char16_t OpenChar, char16_t CloseChar,
                          const TQEMFont*) {
  return Text.size() >= 2 && Text.front() == OpenChar && Text.back() == CloseChar;
}

bool ValidateComment(const std::u16string& Original, std::u16string& Value) {
  static constexpr std::u16string_view pairs[][2] = {
      {u"//", u""}, {u"/*", u"*/"}, {u"(*", u"*)"}, {u"{", u"}"}};
  const std::u16string o = QEMTrim(Original), v = QEMTrim(Value);
  for (const auto& pair : pairs) {
    const std::u16string_view open = pair[0], close = pair[1];
    if (!o.starts_with(open)) continue;
    if (!v.starts_with(open)) {
      QEMUIServices().ErrorBox(std::u16string(SCommentInvalidOpening));
      return false;
    }
    if (!close.empty() && (v.size() < open.size() + close.size() || !v.ends_with(close))) {
      QEMUIServices().ErrorBox(std::u16string(SCommentInvalidClosing));
      return false;
    }
    return true;
  }
  return false;
}

bool ValidateEntry(const void*, const std::u16string& Original, std::u16string& Translation,
                   const TQEMFont* OriginalFont, const TQEMFont* TranslationFont,
                   bool CheckFormatSpecifiers, bool CheckEscapes, char16_t QuoteChar) {
  const TNumericType type = NumericTypeOf(Original, OriginalFont);
  if (type != ntNone) {
    if (NumericTypeOf(Translation, TranslationFont) == type) return true;
    QEMUIServices().ErrorBox(Format(SNumericTypeMismatch, NumericTypeName(type), Translation));
    return false;
  }
  std::u16string t = Translation;
  if (CheckFormatSpecifiers && !FormatSpecifiersMatch(Original, t, OriginalFont, TranslationFont))
    return false;
  if (CheckEscapes && !EscapesValid(t)) {
    QEMUIServices().ErrorBox(std::u16string(SEscapeSequencesIncorrect));
    return false;
  }
  if (QuoteChar != 0) {
    std::u16string spaced = t;
    const TSpacesResult r = CheckSurroundingSpaces(Original, spaced, QuoteChar);
    if (r == TSpacesResult::Cancelled) {
      Translation = spaced;
      return false;
    }
    t = spaced;
    if (!CheckQuotes(Original, t, QuoteChar, CheckEscapes, OriginalFont, TranslationFont))
      return false;
  }
  if (!CheckBrackets(Original, t)) return false;
  Translation = t;
  return true;
}

bool ValidateGridEntry(IQEMValidationGrid& Grid, int OriginalColumn, int TranslationColumn, int Row,
                       bool CheckFormatSpecifiers, bool CheckEscapes, char16_t QuoteChar) {
  const std::u16string original = Grid.GetCell(OriginalColumn, Row);
  const std::u16string before = Grid.GetCell(TranslationColumn, Row);
  const TQEMFont originalFont = Grid.ColumnFont(OriginalColumn);
  const TQEMFont translationFont = Grid.ColumnFont(TranslationColumn);
  std::u16string translation = before;
  const bool ok = ValidateEntry(&Grid, original, translation, &originalFont, &translationFont,
                                CheckFormatSpecifiers, CheckEscapes, QuoteChar);
  if (translation != before) Grid.SetCell(TranslationColumn, Row, translation);
  return ok;
}
