// Compiled once per CASE by ctest: CASE 0 must build, every other case must be refused by the
// compile-time check of Format.
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

std::u16string Messages(const std::u16string& Name, int Code, double Ratio, const void* At) {
#if CASE == 0
  return Format(SXlatOutsideDir, Name, u"dir") + Format(u"%1:s %0:s %s", Name, "x") +
         Format(u"[%*d] %.2f %n %g %x %p %%", Code, 7u, Ratio, Code, 1.5, Code, At) +
         Format(u"%-8.3s|%08x|%d", Name, 255ll, short(1)) + Format(SCodePageUnsupported, Code);
#elif CASE == 1
  return Format(SXlatOutsideDir, Name); // one argument short
#elif CASE == 2
  return Format(SCodePageUnsupported, Code, Code); // one too many
#elif CASE == 3
  return Format(SCodePageUnsupported, Name); // text for %d
#elif CASE == 4
  return Format(u"%s", Code); // number for %s
#elif CASE == 5
  return Format(u"%d", Ratio); // floating point for %d
#elif CASE == 6
  return Format(u"[%*d]", Name, Code); // text for the width
#elif CASE == 7
  return Format(u"%p", Code); // number for a pointer
#elif CASE == 8
  return Format(u"%1:s", Name, Name); // the first one is never used
#elif CASE == 9
  return Format(u"%q", Code); // no such type
#elif CASE == 10
  return Format(u"100%", Code); // a lone percent sign at the end
#elif CASE == 11
  std::u16string_view Fmt = SCodePageUnsupported;
  return Format(Fmt, Code); // not known at compile time: TQEMRuntimeFormat says so
#endif
  (void)Name, (void)Code, (void)Ratio, (void)At;
}
