#include "toolkit/QEMQualityChecks.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <string>
#include <unordered_map>

#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "toolkit/QEMFormatParser.h"

namespace {

bool IsSpace(char16_t C) {
  return u_isUWhiteSpace(C);
}

// The part of a text the checks look at: inside the outer quotes of a literal, else all of it.
struct TBody {
  std::u16string_view Text;
  int32_t Begin = 0, End = 0;
  bool CEscapes = false; // \n, \r and \t at the edges are white space too
};

TBody BodyOf(std::u16string_view S, char16_t Quote) {
  TBody b{S, 0, int32_t(S.size()), Quote == u'"'};
  if (!Quote) return b;
  int32_t first = 0, last = int32_t(S.size()) - 1;
  while (first <= last && IsSpace(S[size_t(first)]))
    ++first;
  while (last > first && IsSpace(S[size_t(last)]))
    --last;
  if (last > first && S[size_t(first)] == Quote && S[size_t(last)] == Quote) {
    b.Begin = first + 1;
    b.End = last;
  } else {
    b.CEscapes = false;
  }
  return b;
}

bool IsEdgeEscape(char16_t C) {
  return C == u'n' || C == u'r' || C == u't';
}

int32_t LeadingEnd(const TBody& B) {
  int32_t i = B.Begin;
  while (i < B.End) {
    if (IsSpace(B.Text[size_t(i)]))
      ++i;
    else if (B.CEscapes && i + 1 < B.End && B.Text[size_t(i)] == u'\\' &&
             IsEdgeEscape(B.Text[size_t(i + 1)]))
      i += 2;
    else
      break;
  }
  return i;
}

int32_t TrailingStart(const TBody& B, int32_t Floor) {
  int32_t i = B.End;
  while (i > Floor) {
    if (IsSpace(B.Text[size_t(i - 1)]))
      --i;
    else if (B.CEscapes && i - 2 >= Floor && B.Text[size_t(i - 2)] == u'\\' &&
             IsEdgeEscape(B.Text[size_t(i - 1)]))
      i -= 2;
    else
      break;
  }
  return i;
}

// Punctuation marks that end a sentence alike in different scripts share a class.
char16_t EndClass(char16_t C) {
  switch (C) {
  case u'.':
  case u'\u3002': // ideographic full stop
  case u'\uFF0E':
  case u'\uFF61':
  case u'\u0964': // danda
  case u'\u06D4': // Arabic full stop
  case u'\u0589': // Armenian full stop
    return u'.';
  case u':':
  case u'\uFF1A':
    return u':';
  case u'!':
  case u'\uFF01':
    return u'!';
  case u'?':
  case u'\uFF1F':
  case u'\u061F': // Arabic question mark
  case u'\u037E': // Greek question mark
    return u'?';
  case u',':
  case u'\uFF0C':
  case u'\u3001': // ideographic comma
  case u'\u060C':
    return u',';
  case u';':
  case u'\uFF1B':
  case u'\u061B':
    return u';';
  case u'\u2026':
  case u'\u22EF':
    return u'\u2026';
  default:
    return 0;
  }
}

// The class of the final mark before End and how many code units it takes.
char16_t FinalMark(std::u16string_view S, int32_t Begin, int32_t End, int32_t& Length) {
  Length = 0;
  if (End <= Begin) return 0;
  const char16_t cls = EndClass(S[size_t(End - 1)]);
  if (!cls) return 0;
  Length = 1;
  if (cls == u'.' && End - Begin >= 3 && EndClass(S[size_t(End - 2)]) == u'.' &&
      EndClass(S[size_t(End - 3)]) == u'.') {
    Length = 3;
    return u'\u2026';
  }
  return cls;
}

int DigitValue(UChar32 C) {
  return u_charType(C) == U_DECIMAL_DIGIT_NUMBER ? u_charDigitValue(C) : -1;
}

bool IsGroupSpace(char16_t C) {
  return C == u' ' || C == u'\u00A0' || C == u'\u202F' || C == u'\u2009' || C == u'\'' ||
         C == u'\u2019';
}

// Marks the positions of S that lie inside a format specifier.
std::vector<bool> SpecifierMask(std::u16string_view S, bool Enabled) {
  std::vector<bool> mask(S.size(), false);
  if (!Enabled || S.find(u'%') == std::u16string_view::npos) return mask;
  for (const TQEMTextRange& r : QEMFormatSpecifierRanges(S))
    for (int32_t i = r.Start; i < r.Start + r.Length; ++i)
      mask[size_t(i)] = true;
  return mask;
}

struct TNumber {
  std::string Digits; // separators dropped, any script's digits as ASCII
  int32_t Start = 0, Length = 0;
};

// Numbers with their group and decimal separators dropped, so 1,000 and 1.000 and 1 000 read
// alike. A space or apostrophe groups only before exactly three digits; a point or comma
// before any digit.
std::vector<TNumber> NumbersOf(std::u16string_view S, int32_t Begin, int32_t End,
                               const std::vector<bool>& Mask) {
  std::vector<TNumber> numbers;
  auto digitAt = [&](int32_t i, int32_t& Next) {
    if (i >= End || Mask[size_t(i)]) return -1;
    UChar32 c;
    int32_t j = i;
    U16_NEXT(S.data(), j, End, c);
    Next = j;
    return DigitValue(c);
  };
  int32_t i = Begin;
  while (i < End) {
    int32_t next = i;
    int d = digitAt(i, next);
    if (d < 0) {
      ++i;
      continue;
    }
    TNumber n;
    n.Start = i;
    int32_t p = i;
    for (;;) {
      while ((d = digitAt(p, next)) >= 0) {
        n.Digits += char('0' + d);
        p = next;
      }
      if (p >= End || Mask[size_t(p)]) break;
      const char16_t sep = S[size_t(p)];
      int32_t after = p + 1;
      if (sep == u'.' || sep == u',') {
        if (digitAt(after, next) >= 0) {
          p = after;
          continue;
        }
      } else if (IsGroupSpace(sep)) {
        int count = 0;
        int32_t q = after;
        while (count < 4 && digitAt(q, next) >= 0) {
          q = next;
          ++count;
        }
        if (count == 3) {
          p = after;
          continue;
        }
      }
      break;
    }
    n.Length = p - n.Start;
    numbers.push_back(std::move(n));
    i = p;
  }
  return numbers;
}

// A single marker followed by a character; && is a literal and a final marker marks nothing.
bool HasAccelerator(std::u16string_view S, int32_t Begin, int32_t End, char16_t Accel) {
  for (int32_t i = Begin; i + 1 < End; ++i) {
    if (S[size_t(i)] != Accel) continue;
    if (S[size_t(i + 1)] == Accel) {
      ++i;
      continue;
    }
    if (!IsSpace(S[size_t(i + 1)])) return true;
  }
  return false;
}

bool HasLetter(std::u16string_view S, const std::vector<bool>& Mask) {
  for (int32_t i = 0; i < int32_t(S.size());) {
    const int32_t at = i;
    UChar32 c;
    U16_NEXT(S.data(), i, int32_t(S.size()), c);
    if (!Mask[size_t(at)] && u_isalpha(c)) return true;
  }
  return false;
}

bool HasDoubledSpace(std::u16string_view S, int32_t Begin, int32_t End) {
  for (int32_t i = Begin; i + 1 < End; ++i)
    if (S[size_t(i)] == u' ' && S[size_t(i + 1)] == u' ') return true;
  return false;
}

// One warning per number of the original that the translation lacks, however often.
void AddMissingNumbers(std::u16string_view Original, std::u16string_view Translation,
                       const TBody& O, const TBody& T, const std::vector<bool>& OMask,
                       const TQEMQualityCheckSettings& Settings,
                       std::vector<TQEMQualityIssue>& Issues) {
  const std::vector<TNumber> oNums = NumbersOf(Original, O.Begin, O.End, OMask);
  if (oNums.empty()) return;
  const std::vector<bool> tMask = SpecifierMask(Translation, Settings.FormatSpecifiers);
  std::unordered_map<std::string, int> have;
  for (const TNumber& n : NumbersOf(Translation, T.Begin, T.End, tMask))
    ++have[n.Digits];
  for (const TNumber& n : oNums) {
    int& left = have[n.Digits];
    if (left-- > 0) continue;
    if (left == -1)
      Issues.push_back({qwMissingNumber,
                        {-1, 0},
                        Format(SQualityMissingNumber, std::u16string(Original.substr(
                                                          size_t(n.Start), size_t(n.Length))))});
  }
}

// Each run of two or more blanks between the translation's first and last non-blank.
void AddDoubledSpaces(std::u16string_view Translation, int32_t Lead, int32_t Trail,
                      std::vector<TQEMQualityIssue>& Issues) {
  for (int32_t i = Lead; i + 1 < Trail; ++i) {
    if (Translation[size_t(i)] != u' ' || Translation[size_t(i + 1)] != u' ') continue;
    int32_t e = i + 2;
    while (e < Trail && Translation[size_t(e)] == u' ')
      ++e;
    Issues.push_back({qwDoubledSpace, {i, e - i}, std::u16string(SQualityDoubledSpace)});
    i = e;
  }
}

} // namespace

std::vector<TQEMTextRange> QEMFormatSpecifierRanges(std::u16string_view S) {
  std::vector<TQEMTextRange> ranges;
  if (S.find(u'%') == std::u16string_view::npos) return ranges;
  TFormatParser p;
  p.FromString = std::u16string(S);
  // Mirrors the extractor's scan, keeping where each specifier it accepts begins and ends.
  while (p.GetCh()) {
    if (p.Ch != u'%') continue;
    const int32_t start = p.ChIndex - 1;
    if (p.GetCh() && p.Ch == u'%') continue;
    p.FmtSpec.clear();
    p.UnGetCh();
    p.ParsedCTC = false;
    try {
      if (p.ExtractArgIndexSpec() && p.ParseLeftJustificationIndicator() &&
          p.ParseWidthSpecifier() && p.ParseConversionTypeCharacter())
        ranges.push_back({start, p.ChIndex - start});
    } catch (const EQEMConvertError&) {
      // The extractor drops it too.
    }
  }
  return ranges;
}

std::vector<TQEMQualityIssue> QEMCheckQuality(std::u16string_view Original,
                                              std::u16string_view Translation, TResStatus Status,
                                              const TQEMQualityCheckSettings& Settings) {
  std::vector<TQEMQualityIssue> issues;
  if (Status != rsTranslated && Status != rsAutoTranslated && Status != rsNewlyTranslated)
    return issues;
  const auto on = [&](TQEMQualityWarning K) {
    return (Settings.Enabled & QEMQualityWarningBit(K)) != 0;
  };
  const auto add = [&](TQEMQualityWarning K, TQEMTextRange R, std::u16string Message) {
    issues.push_back({K, R, std::move(Message)});
  };
  const TBody o = BodyOf(Original, Settings.QuoteChar);
  const TBody t = BodyOf(Translation, Settings.QuoteChar);
  const int32_t oLead = LeadingEnd(o), tLead = LeadingEnd(t);
  const int32_t oTrail = TrailingStart(o, oLead), tTrail = TrailingStart(t, tLead);

  if (on(qwWhitespace)) {
    const auto lead = [](const TBody& B, int32_t E) {
      return B.Text.substr(size_t(B.Begin), size_t(E - B.Begin));
    };
    const auto trail = [](const TBody& B, int32_t S) {
      return B.Text.substr(size_t(S), size_t(B.End - S));
    };
    if (lead(o, oLead) != lead(t, tLead))
      add(qwWhitespace, {t.Begin, tLead - t.Begin}, std::u16string(SQualityLeadingWhitespace));
    // A blank original has only a leading run; one warning says it all.
    if (oLead < o.End && trail(o, oTrail) != trail(t, tTrail))
      add(qwWhitespace, {tTrail, t.End - tTrail}, std::u16string(SQualityTrailingWhitespace));
  }

  if (on(qwEndPunctuation)) {
    int32_t oLen = 0, tLen = 0;
    const char16_t oMark = FinalMark(Original, oLead, oTrail, oLen);
    const char16_t tMark = FinalMark(Translation, tLead, tTrail, tLen);
    if (oMark != tMark)
      add(qwEndPunctuation, {tTrail - tLen, tLen}, std::u16string(SQualityEndPunctuation));
  }

  const bool needMasks = on(qwMissingNumber) || on(qwSameAsOriginal);
  const std::vector<bool> oMask =
      needMasks ? SpecifierMask(Original, Settings.FormatSpecifiers) : std::vector<bool>();

  if (on(qwMissingNumber)) AddMissingNumbers(Original, Translation, o, t, oMask, Settings, issues);

  if (on(qwDoubledSpace) && !HasDoubledSpace(Original, oLead, oTrail))
    AddDoubledSpaces(Translation, tLead, tTrail, issues);

  // Texts without letters (numbers, specifiers, symbols) are rightly left as they are.
  if (on(qwSameAsOriginal) && Original == Translation && HasLetter(Original, oMask))
    add(qwSameAsOriginal, {-1, 0}, std::u16string(SQualitySameAsOriginal));

  if (on(qwAccelerator) && Settings.AccelChar &&
      HasAccelerator(Original, o.Begin, o.End, Settings.AccelChar) &&
      !HasAccelerator(Translation, t.Begin, t.End, Settings.AccelChar))
    add(qwAccelerator, {-1, 0}, std::u16string(SQualityAccelerator));
  return issues;
}

TQEMQualityWarningSet QEMEnabledQualityWarnings() {
  const TQEMINTOptionProps* o = QEMINTOptionProps;
  if (!o) return QEMAllQualityWarnings;
  TQEMQualityWarningSet s = 0;
  const auto set = [&s](bool On, TQEMQualityWarning K) {
    if (On) s |= QEMQualityWarningBit(K);
  };
  set(o->QualityWarnWhitespace, qwWhitespace);
  set(o->QualityWarnEndPunctuation, qwEndPunctuation);
  set(o->QualityWarnNumbers, qwMissingNumber);
  set(o->QualityWarnDoubledSpaces, qwDoubledSpace);
  set(o->QualityWarnSameAsOriginal, qwSameAsOriginal);
  set(o->QualityWarnAccelerator, qwAccelerator);
  return s;
}

std::u16string QEMQualityWarningName(TQEMQualityWarning Kind) {
  switch (Kind) {
  case qwWhitespace:
    return std::u16string(SQualityKindWhitespace);
  case qwEndPunctuation:
    return std::u16string(SQualityKindEndPunctuation);
  case qwMissingNumber:
    return std::u16string(SQualityKindNumbers);
  case qwDoubledSpace:
    return std::u16string(SQualityKindDoubledSpaces);
  case qwSameAsOriginal:
    return std::u16string(SQualityKindSameAsOriginal);
  case qwAccelerator:
    return std::u16string(SQualityKindAccelerator);
  }
  return {};
}
