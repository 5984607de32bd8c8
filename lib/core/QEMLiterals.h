#pragma once
// Conversions between raw text and the literal syntaxes texts arrive in (Pascal, C++ and
// resource-script string literals), the escaping of legacy notes lines, the float format of
// notes files and a few small text helpers. All are stateless functions on UTF-16 text.
//
// Error positions are 1-based indexes into the literal of the character at which parsing
// stopped; running out of text stops at length + 1.
#include <string>
#include <string_view>

#include "platform/QEMExport.h"

// Pascal literals: quoted parts ('It''s') and character codes (#13, #$0D) side by side.
// An invalid literal gives empty text.
QEM_API std::u16string PasStringToRaw(std::u16string_view S);
QEM_API std::u16string RawToPasString(std::u16string_view S);
// S becomes its raw text on success and empty text on failure.
QEM_API bool TryPasStringToRaw(std::u16string& S);
QEM_API bool IsValidPasString(std::u16string_view S);
// On failure ErrPos and ErrMsg say where and why; on success they are 0 and empty.
QEM_API bool IsValidPasString(std::u16string_view S, int& ErrPos, std::u16string& ErrMsg);

// C++ literals; adjacent literals ("a" "b") are joined and every \n reads as CR LF.
// Resource-script literals are read by the same parser.
QEM_API std::u16string CPPStringToRaw(std::u16string_view S);
QEM_API std::u16string RCStringToRaw(std::u16string_view S);
// Line breaks: CR LF is written \n in the C++ form and \r\n in the resource-script form.
QEM_API std::u16string RawToCPPString(std::u16string_view S);
QEM_API std::u16string RawToRCString(std::u16string_view S);
QEM_API bool TryCPPStringToRaw(std::u16string& S);
QEM_API bool IsValidCPPString(std::u16string_view S);
QEM_API bool IsValidCPPString(std::u16string_view S, int& ErrPos, std::u16string& ErrMsg);

QEM_API std::u16string PasStringToCPPString(std::u16string_view S);
QEM_API std::u16string CPPStringToPasString(std::u16string_view S);

// Legacy notes lines hold no line breaks and use code 4 as a separator: line breaks travel as
// codes 1, 2 and code 4 as code 3. A code 3 of the original text comes back as code 4.
QEM_API std::u16string StrToQEM(std::u16string_view S);
QEM_API std::u16string QEMToStr(std::u16string_view S);

// Numbers in notes files, whatever the user's locale: up to 15 significant digits, "." as the
// decimal separator, no trailing zeros, and the exponent form ("1E20", "-1.5E-7") only when the
// decimal exponent is below -4 or at least 15. Non-finite values are written NAN, INF, -INF.
QEM_API std::u16string QEMFloatToStr(double X);
// Accepts an optional sign, digits with an optional "." fraction and an optional exponent
// (E or e, optional sign), with spaces around. Anything else, including empty text, NaN,
// infinities and values too large for a double, raises EQEMConvertError.
QEM_API double QEMStrToFloat(std::u16string_view S);
// A 32-bit integer written in a file: decimal, or hexadecimal after "$" (read as the 32-bit
// pattern, as LCIDs are written), with optional sign and surrounding blanks, nothing else.
// Raises EQEMConvertError ("'%s' is not a valid integer value") otherwise.
QEM_API int32_t QEMStrToInt(std::u16string_view S);

// S without its accelerator marks: a single & goes, && stays, a final & stays.
QEM_API std::u16string TrimPickLetter(std::u16string_view S);

// Whether a match lying between the 1-based positions Before and After of S is a whole word:
// neither neighbour is an ASCII letter or digit. Positions outside S have no neighbour there.
QEM_API bool IsWholeWordW(std::u16string_view S, int Before, int After);

// Generic names are not exported bare (see platform/QEMSysUtils.h).
namespace qem {
QEM_API int CondInt(bool Cond, int A, int B);
QEM_API std::u16string CondStr(bool Cond, std::u16string_view A, std::u16string_view B);

// These four treat S as ending at its first character with code 0; the conversions drop the
// rest.
QEM_API bool HasCR(std::u16string_view S);
QEM_API bool HasLF(std::u16string_view S);
// CR LF pairs and lone CRs become LF.
QEM_API std::u16string CRLFtoLF(std::u16string_view S);
// Lone LFs become CR LF; CR LF pairs and lone CRs stay.
QEM_API std::u16string LFtoCRLF(std::u16string_view S);
} // namespace qem
using qem::CondInt;
using qem::CondStr;
using qem::CRLFtoLF;
using qem::HasCR;
using qem::HasLF;
using qem::LFtoCRLF;
