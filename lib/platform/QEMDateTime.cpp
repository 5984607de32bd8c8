#include "platform/QEMDateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr double kSecondsPerDay = 86400.0;

// Days from 1970-01-01 to a civil date (proleptic Gregorian), exact for any year.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yy + (m <= 2));
}

// Local wall-clock seconds (as if UTC) of a UTC instant, and the reverse through mktime.
double UnixToLocalWall(double unix) {
  const time_t t = time_t(std::floor(unix));
  tm lt{};
  localtime_r(&t, &lt);
  const double frac = unix - std::floor(unix);
  return double(DaysFromCivil(lt.tm_year + 1900, unsigned(lt.tm_mon + 1), unsigned(lt.tm_mday))) *
             kSecondsPerDay +
         lt.tm_hour * 3600.0 + lt.tm_min * 60.0 + lt.tm_sec + frac;
}

double LocalWallToUnix(double wall) {
  const double whole = std::floor(wall);
  const double frac = wall - whole;
  int64_t secs = int64_t(whole);
  int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
  int64_t rem = secs - days * 86400;
  int y, m, d;
  CivilFromDays(days, y, m, d);
  tm lt{};
  lt.tm_year = y - 1900;
  lt.tm_mon = m - 1;
  lt.tm_mday = d;
  lt.tm_hour = int(rem / 3600);
  lt.tm_min = int(rem % 3600 / 60);
  lt.tm_sec = int(rem % 60);
  lt.tm_isdst = -1;
  return double(mktime(&lt)) + frac;
}
} // namespace

namespace qem {
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                         int MilliSecond) {
  const int64_t days = DaysFromCivil(Year, unsigned(Month), unsigned(Day)) + QEMUnixEpochDays;
  const double time =
      (Hour * 3600.0 + Minute * 60.0 + Second + MilliSecond / 1000.0) / kSecondsPerDay;
  // Before 1899-12-30 the fraction counts forward from the negative day, the stored form.
  return days >= 0 ? double(days) + time : double(days) - time;
}

TQEMDateTimeParts DecodeDateTime(TDateTime Value) {
  TQEMDateTimeParts p{};
  double days = std::trunc(Value);
  double frac = std::fabs(Value - days);
  int64_t ms = std::llround(frac * kSecondsPerDay * 1000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += Value >= 0 ? 1 : -1;
  }
  CivilFromDays(int64_t(days) - QEMUnixEpochDays, p.Year, p.Month, p.Day);
  p.Hour = int(ms / 3600000);
  p.Minute = int(ms / 60000 % 60);
  p.Second = int(ms / 1000 % 60);
  p.MilliSecond = int(ms % 1000);
  return p;
}

TDateTime UnixToDateTime(double UnixSeconds) {
  return UnixSeconds / kSecondsPerDay + QEMUnixEpochDays;
}
double DateTimeToUnix(TDateTime Value) {
  return (Value - QEMUnixEpochDays) * kSecondsPerDay;
}
} // namespace qem

namespace {
std::function<TDateTime()>& TestClock() {
  static std::function<TDateTime()> Clock;
  return Clock;
}

// HLX_FIXED_TIME, read once; a value that is not a date leaves the system clock running.
const std::optional<TDateTime>& FixedTime() {
  static const std::optional<TDateTime> Fixed = []() -> std::optional<TDateTime> {
    const char* env = std::getenv("HLX_FIXED_TIME");
    if (!env || !*env) return std::nullopt;
    std::u16string text(env, env + std::strlen(env));
    if (!text.empty() && (text.back() == u'Z' || text.back() == u'z')) text.pop_back();
    auto t = QEMTryStrToDateTime(text);
    if (!t || *t == 0) {
      std::fprintf(stderr, "HLX_FIXED_TIME=%s is not yyyy-mm-ddThh:nn:ssZ; ignored\n", env);
      return std::nullopt;
    }
    return t;
  }();
  return Fixed;
}
} // namespace

void QEMSetClockForTesting(std::function<TDateTime()> UTCClock) {
  TestClock() = std::move(UTCClock);
}

bool QEMClockIsFixed() {
  return TestClock() || FixedTime();
}

TDateTime QEMNowUTC() {
  if (const auto& clock = TestClock()) return clock();
  if (const auto& fixed = FixedTime()) return *fixed;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const double ms = double(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  return UnixToDateTime(ms / 1000.0);
}

TDateTime QEMNow() {
  return QEMUTCToLocal(QEMNowUTC());
}

TDateTime QEMUTCToLocal(TDateTime UTC) {
  return UnixToDateTime(UnixToLocalWall(DateTimeToUnix(UTC)));
}

TDateTime QEMLocalToUTC(TDateTime Local) {
  return UnixToDateTime(LocalWallToUnix(DateTimeToUnix(Local)));
}

TDateTime QEMFileTimeToLocal(const timespec& FileTime) {
  // Millisecond resolution, as file dates are kept.
  const double unix = double(FileTime.tv_sec) + double(FileTime.tv_nsec / 1000000) / 1000.0;
  return UnixToDateTime(UnixToLocalWall(unix));
}

timespec QEMLocalToFileTime(TDateTime Local) {
  const double unix = LocalWallToUnix(DateTimeToUnix(Local));
  const double whole = std::floor(unix);
  timespec ts{};
  ts.tv_sec = time_t(whole);
  ts.tv_nsec = long(std::llround((unix - whole) * 1000.0)) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) ts.tv_sec += 1, ts.tv_nsec -= 1000000000L;
  return ts;
}

TDateTime QEMFileDateResolution(TDateTime Value) {
  const double secs = std::floor(DateTimeToUnix(Value) + 1e-6);
  const double even = secs - std::fmod(std::fmod(secs, 2.0) + 2.0, 2.0);
  return UnixToDateTime(even);
}

std::u16string QEMDateTimeToStr(TDateTime Value) {
  if (Value == 0) return {};
  // Round to the second first so that 23:59:59.9996 does not print as second 60.
  const TQEMDateTimeParts p = DecodeDateTime(std::round(Value * kSecondsPerDay) / kSecondsPerDay);
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month,
                              p.Day, p.Hour, p.Minute, p.Second);
  return std::u16string(buf, buf + (n > 0 ? n : 0));
}

std::optional<TDateTime> QEMTryStrToDateTime(const std::u16string& Text) {
  size_t i = 0, end = Text.size();
  while (i < end && Text[i] == u' ')
    ++i;
  while (end > i && Text[end - 1] == u' ')
    --end;
  if (i == end) return TDateTime(0);
  // Reads exactly Digits digits.
  auto number = [&](int Digits, int& Out) {
    Out = 0;
    for (int k = 0; k < Digits; ++k, ++i) {
      if (i >= end || Text[i] < u'0' || Text[i] > u'9') return false;
      Out = Out * 10 + (Text[i] - u'0');
    }
    return true;
  };
  auto expect = [&](char16_t C) { return i < end && Text[i++] == C; };
  int y, mo, d, h = 0, mi = 0, s = 0;
  if (!number(4, y) || !expect(u'-') || !number(2, mo) || !expect(u'-') || !number(2, d))
    return std::nullopt;
  if (i < end) {
    if (Text[i] != u' ' && Text[i] != u'T') return std::nullopt;
    ++i;
    if (!number(2, h) || !expect(u':') || !number(2, mi)) return std::nullopt;
    if (i < end && (!expect(u':') || !number(2, s))) return std::nullopt;
    if (i != end) return std::nullopt;
  }
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
      mi > 59 || s > 59)
    return std::nullopt;
  return EncodeDateTime(y, mo, d, h, mi, s);
}
