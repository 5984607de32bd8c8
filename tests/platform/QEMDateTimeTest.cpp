#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/QEMDateTime.h"
#include "platform/QEMSysUtils.h"

TEST(DateTime, DayCountsMatchTheStoredForm) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDateTime(1970, 1, 1), 25569.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 18), 36526.75);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
  const auto p = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(p.Year, 2024);
  EXPECT_EQ(p.Month, 2);
  EXPECT_EQ(p.Day, 29);
  EXPECT_EQ(p.Hour * 10000 + p.Minute * 100 + p.Second, 235959);
  EXPECT_EQ(p.MilliSecond, 999);
  // File dates keep even seconds only.
  EXPECT_DOUBLE_EQ(QEMFileDateResolution(EncodeDateTime(2024, 1, 1, 10, 0, 3, 900)),
                   EncodeDateTime(2024, 1, 1, 10, 0, 2));
  EXPECT_DOUBLE_EQ(QEMFileDateResolution(EncodeDateTime(2024, 1, 1, 10, 0, 4)),
                   EncodeDateTime(2024, 1, 1, 10, 0, 4));
}

TEST(DateTime, LocalAndUtcFollowTheTimeZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const TDateTime winterUtc = EncodeDateTime(2024, 1, 15, 12);
  EXPECT_NEAR(QEMUTCToLocal(winterUtc), EncodeDateTime(2024, 1, 15, 13), 1e-9);
  const TDateTime summerLocal = EncodeDateTime(2024, 7, 1, 9, 30);
  EXPECT_NEAR(QEMLocalToUTC(summerLocal), EncodeDateTime(2024, 7, 1, 7, 30), 1e-9);
  const timespec ft = QEMLocalToFileTime(EncodeDateTime(2024, 7, 1, 9, 30, 0, 500));
  EXPECT_EQ(ft.tv_nsec, 500000000L);
  EXPECT_NEAR(QEMFileTimeToLocal(ft), EncodeDateTime(2024, 7, 1, 9, 30, 0, 500), 1e-9);
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(DateTime, GridTextReadsBack) {
  const TDateTime t = EncodeDateTime(2026, 2, 28, 23, 59, 59, 999);
  EXPECT_EQ(QEMDateTimeToStr(t), u"2026-03-01 00:00:00");
  EXPECT_EQ(QEMDateTimeToStr(0), u"");
  const TDateTime u = EncodeDateTime(2024, 2, 29, 7, 5, 9);
  EXPECT_EQ(*QEMTryStrToDateTime(QEMDateTimeToStr(u)), u);
  EXPECT_EQ(*QEMTryStrToDateTime(u" 2024-02-29T07:05 "), EncodeDateTime(2024, 2, 29, 7, 5));
  EXPECT_EQ(*QEMTryStrToDateTime(u"2024-02-29"), EncodeDateTime(2024, 2, 29));
  EXPECT_EQ(*QEMTryStrToDateTime(u""), 0);
  for (const char16_t* bad : {u"2023-02-29", u"2024-13-01", u"2024-1-01", u"2024-01-01 24:00",
                              u"2024-01-01 10:00:", u"2024-01-01x", u"yesterday"})
    EXPECT_FALSE(QEMTryStrToDateTime(bad)) << UTF16ToUTF8(bad);
}

// Golden files and tests fix the clock; everything that asks for the time must follow it.
TEST(DateTime, ASetClockFixesNowUntilReleased) {
  ASSERT_FALSE(QEMClockIsFixed()) << "HLX_FIXED_TIME is set for the test run";
  TDateTime fixed = EncodeDateTime(2026, 1, 2, 3, 4, 5);
  QEMSetClockForTesting([&] { return fixed; });
  EXPECT_TRUE(QEMClockIsFixed());
  EXPECT_EQ(QEMNowUTC(), fixed);
  EXPECT_EQ(QEMNow(), QEMUTCToLocal(fixed));
  fixed += 1.0 / 24;
  EXPECT_EQ(QEMDateTimeToStr(QEMNowUTC()), u"2026-01-02 04:04:05");
  QEMSetClockForTesting({});
  EXPECT_FALSE(QEMClockIsFixed());
  EXPECT_GT(QEMNowUTC(), EncodeDateTime(2024, 1, 1));
}
