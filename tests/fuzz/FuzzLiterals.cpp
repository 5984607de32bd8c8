// Any UTF-16 text through the literal parsers and writers: no crash, and writing then reading
// gives the text back (C++ forms read every line break back as CR LF).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "core/QEMLiterals.h"
#include "platform/QEMSysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  std::u16string s;
  for (size_t i = 0; i + 1 < Size; i += 2)
    s.push_back(char16_t(Data[i] | Data[i + 1] << 8));
  int pos = 0;
  std::u16string msg;
  IsValidPasString(s, pos, msg);
  IsValidCPPString(s, pos, msg);
  PasStringToRaw(s);
  CPPStringToRaw(s);
  TrimPickLetter(s);
  IsWholeWordW(s, int(Size % 7) - 2, int(Size % 11) - 3);
  try {
    QEMStrToFloat(s);
  } catch (const EQEMConvertError&) {
  }
  if (PasStringToRaw(RawToPasString(s)) != s) __builtin_trap();
  if (QEMToStr(StrToQEM(s)).size() < s.size() / 2) __builtin_trap();
  std::u16string crlf;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\n' && (i == 0 || s[i - 1] != u'\r')) crlf.push_back(u'\r');
    crlf.push_back(s[i]);
  }
  if (CPPStringToRaw(RawToCPPString(s)) != crlf || RCStringToRaw(RawToRCString(s)) != crlf)
    __builtin_trap();
  return 0;
}
