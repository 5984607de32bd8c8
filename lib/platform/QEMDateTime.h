#pragma once
// TDateTime: days since 1899-12-30 with the time of day as fraction, as every stored file of
// the system counts them. Conversions to and from the clock, local time and UTC.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "platform/QEMExport.h"

using TDateTime = double;

// Seconds between 1899-12-30 and 1970-01-01.
inline constexpr int64_t QEMUnixEpochDays = 25569;

struct TQEMDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, MilliSecond;
};

// Names other libraries use too are not exported bare (see QEMSysUtils.h).
namespace qem {
QEM_API TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour = 0, int Minute = 0,
                                 int Second = 0, int MilliSecond = 0);
QEM_API TQEMDateTimeParts DecodeDateTime(TDateTime Value);

// UTC <-> seconds since 1970 (with fractions); no time zone involved.
QEM_API TDateTime UnixToDateTime(double UnixSeconds);
QEM_API double DateTimeToUnix(TDateTime Value);
} // namespace qem
using qem::DateTimeToUnix;
using qem::DecodeDateTime;
using qem::EncodeDateTime;
using qem::UnixToDateTime;

// Local time as the process's time zone has it.
QEM_API TDateTime QEMNow();
QEM_API TDateTime QEMNowUTC();

// The clock QEMNowUTC reads, for tests and golden files: a function giving UTC, or an empty one
// for the system clock again. HLX_FIXED_TIME=yyyy-mm-ddThh:nn:ssZ (UTC, read once) fixes the
// clock of a whole process, the hlx of a script for instance. A set function wins.
QEM_API void QEMSetClockForTesting(std::function<TDateTime()> UTCClock);
// Whether either of the two fixes the clock: stop-watches then follow it instead of running.
QEM_API bool QEMClockIsFixed();
QEM_API TDateTime QEMLocalToUTC(TDateTime Local);
QEM_API TDateTime QEMUTCToLocal(TDateTime UTC);

// A file time (UTC instant) as local TDateTime, and back.
QEM_API TDateTime QEMFileTimeToLocal(const timespec& FileTime);
QEM_API timespec QEMLocalToFileTime(TDateTime Local);

// Rounds down to the even second, the resolution of stored file dates.
QEM_API TDateTime QEMFileDateResolution(TDateTime Value);

// The date-time text the grids show and the search matches: "yyyy-mm-dd hh:nn:ss", the same in
// every locale so that it reads back; 0 (never) is the empty text.
QEM_API std::u16string QEMDateTimeToStr(TDateTime Value);
// Reads "yyyy-mm-dd", "yyyy-mm-dd hh:nn" or "yyyy-mm-dd hh:nn:ss" ("T" may stand for the blank,
// blanks around are ignored); the empty text is 0. Nothing for any other text or a date that
// does not exist.
QEM_API std::optional<TDateTime> QEMTryStrToDateTime(const std::u16string& Text);
