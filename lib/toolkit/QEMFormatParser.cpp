#include "toolkit/QEMFormatParser.h"

#include <charconv>
#include <limits>
#include <string>

#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

namespace {

bool IsDigit(char16_t C) {
  return C >= u'0' && C <= u'9';
}
bool IsWidthChar(char16_t C) {
  return C == u'*' || IsDigit(C);
}
bool IsNameChar(char16_t C) {
  return IsDigit(C) || (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z') || C == u'_';
}
bool IsConversionChar(char16_t C) {
  if (C >= u'A' && C <= u'Z') C = char16_t(C + (u'a' - u'A'));
  return std::u16string_view(u"duefgnmpsxy").find(C) != std::u16string_view::npos;
}

// An explicit index must leave room for the implicit one after it.
int32_t ArgIndexValue(const std::u16string& Digits) {
  std::string ascii(Digits.begin(), Digits.end());
  int32_t value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size() ||
      value == std::numeric_limits<int32_t>::max())
    throw EQEMConvertError(Format(SFormatArgIndexTooLarge, Digits));
  return value;
}

} // namespace

bool TFormatParser::GetCh() {
  UndoIndex = ChIndex;
  if (ChIndex < int32_t(FromString.size())) {
    ++ChIndex;
    Ch = FromString[size_t(ChIndex - 1)];
    return true;
  }
  ChIndex = int32_t(FromString.size()) + 1;
  Ch = 0;
  return false;
}

// Appends Ch and the run of its class after it; the character ending the run is read, not kept.
void TFormatParser::AppendRun(bool (*InClass)(char16_t)) {
  do
    FmtSpec += Ch;
  while (GetCh() && InClass(Ch));
}

bool TFormatParser::ParseArgumentIndexSpecifier() {
  ArgIndexFound = false;
  if (!GetCh() || !IsDigit(Ch)) {
    UnGetCh();
    return true;
  }
  const size_t start = FmtSpec.size();
  AppendRun(IsDigit);
  if (Ch == u'.') {
    FmtSpec += Ch;
    return ParsePrecisionSpecifier();
  }
  if (Ch == u':') {
    ArgIndexCount = ArgIndexValue(FmtSpec.substr(start));
    ArgIndexFound = true;
    FmtSpec += Ch;
    return true;
  }
  UnGetCh();
  return ParseConversionTypeCharacter();
}

bool TFormatParser::ExtractArgIndexSpec() {
  const bool result = ParseArgumentIndexSpecifier();
  if (!ArgIndexFound) {
    if (ArgIndexCount == std::numeric_limits<int32_t>::max())
      throw EQEMConvertError(Format(SFormatArgIndexTooLarge, IntToStr(int64_t(ArgIndexCount) + 1)));
    FmtSpec = IntToStr(ArgIndexCount) + u":" + FmtSpec;
  }
  ++ArgIndexCount;
  return result;
}

bool TFormatParser::ParseLeftJustificationIndicator() {
  if (GetCh() && Ch == u'-')
    FmtSpec += Ch;
  else
    UnGetCh();
  return true;
}

bool TFormatParser::ParseWidthSpecifier() {
  if (!GetCh()) {
    UnGetCh();
    return true;
  }
  if (Ch == u'.') {
    FmtSpec += Ch;
    return ParsePrecisionSpecifier();
  }
  if (IsWidthChar(Ch)) {
    AppendRun(IsWidthChar);
    if (Ch == u'.') {
      FmtSpec += Ch;
      return ParsePrecisionSpecifier();
    }
  }
  UnGetCh();
  return true;
}

bool TFormatParser::ParsePrecisionSpecifier() {
  bool result = false;
  if (GetCh() && IsWidthChar(Ch)) {
    AppendRun(IsWidthChar);
    result = true;
  }
  UnGetCh();
  return result;
}

bool TFormatParser::ParseConversionTypeCharacter() {
  if (ParsedCTC) return true;
  ParsedCTC = true;
  if (GetCh() && IsConversionChar(Ch)) {
    FmtSpec += Ch;
    return true;
  }
  UnGetCh();
  return false;
}

bool TFormatParser::ParseDOSVariable() {
  if (FmtSpec.size() != 2 || !IsNameChar(Ch)) return true;
  const int32_t start = ChIndex;
  if (!GetCh() || !IsNameChar(Ch)) {
    UnGetCh();
    return true;
  }
  std::u16string collected;
  do
    collected += Ch;
  while (GetCh() && IsNameChar(Ch));
  if (Ch == u'%')
    FmtSpec += collected + Ch;
  else
    ChIndex = start;
  return true;
}

std::u16string TFormatParser::ExtractFormatSpecifier(const std::u16string& S, const TQEMFont* AFont,
                                                     bool DOSVars) {
  FromString = S;
  ArgIndexCount = 0;
  ChIndex = 0;
  UndoIndex = 0;
  Ch = 0;
  Font = AFont;
  std::u16string result;
  while (GetCh()) {
    if (Ch != u'%') continue;
    if (GetCh() && Ch == u'%') continue;
    FmtSpec.clear();
    UnGetCh();
    ParsedCTC = false;
    try {
      if (ExtractArgIndexSpec() && ParseLeftJustificationIndicator() && ParseWidthSpecifier() &&
          ParseConversionTypeCharacter()) {
        if (DOSVars) ParseDOSVariable();
        result += u"[%" + FmtSpec + u"]";
      }
    } catch (const EQEMConvertError&) {
      // An index too large for any argument list is no specifier.
    }
  }
  return result;
}

std::u16string ExtractFormatSpecifier(const std::u16string& S, const TQEMFont* Font, bool DOSVars) {
  static TFormatParser Parser;
  return Parser.ExtractFormatSpecifier(S, Font, DOSVars);
}
