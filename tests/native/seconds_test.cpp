#include "util/seconds.h"

#include <gtest/gtest.h>

namespace {

struct TDayCase {
  int year, month, day;
  int64_t days;
};

TEST(DaysSince1899, KnownDates) {
  // Reference serial day numbers of the 1899-12-30 epoch.
  const TDayCase cases[] = {
      {1899, 12, 30, 0},   {1899, 12, 31, 1},    {1900, 1, 1, 2},     {1900, 3, 1, 61},
      {1899, 12, 29, -1},  {1970, 1, 1, 25569},  {2000, 1, 1, 36526}, {2000, 2, 29, 36585},
      {2000, 3, 1, 36586}, {2024, 2, 29, 45351}, {2100, 3, 1, 73110}, {1800, 1, 1, -36522},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DaysSince1899(c.year, c.month, c.day), c.days)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(DaysSince1899, ConsecutiveDaysAcrossLeapYears) {
  // Walking day by day must never skip or repeat a serial number.
  const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int64_t expected = DaysSince1899(1896, 1, 1);
  for (int year = 1896; year <= 2104; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (int month = 1; month <= 12; ++month) {
      const int days = monthDays[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int day = 1; day <= days; ++day) {
        ASSERT_EQ(DaysSince1899(year, month, day), expected) << year << "-" << month << "-" << day;
        ++expected;
      }
    }
  }
}

struct TSecondsCase {
  TLocalTime time;
  int64_t seconds;
};

TEST(SecondsSince1899, TimeOfDayAndRounding) {
  const TSecondsCase cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0},
      {{1899, 12, 30, 0, 0, 1, 0}, 1},
      {{1899, 12, 30, 23, 59, 59, 0}, 86399},
      {{1899, 12, 31, 0, 0, 0, 0}, 86400},
      {{1970, 1, 1, 0, 0, 0, 0}, 25569LL * 86400},
      {{2024, 5, 17, 13, 45, 30, 0}, 45429LL * 86400 + 13 * 3600 + 45 * 60 + 30},
      {{2024, 5, 17, 13, 45, 30, 499}, 45429LL * 86400 + 13 * 3600 + 45 * 60 + 30},
      {{2024, 5, 17, 13, 45, 30, 500}, 45429LL * 86400 + 13 * 3600 + 45 * 60 + 31},
      {{2024, 5, 17, 23, 59, 59, 999}, 45430LL * 86400},
      {{1899, 12, 29, 23, 59, 59, 0}, -1},
      {{1899, 12, 29, 23, 59, 59, 500}, 0},
      {{1899, 12, 29, 23, 59, 59, 499}, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SecondsSince1899(c.time), c.seconds)
        << c.time.year << "-" << c.time.month << "-" << c.time.day << " " << c.time.hour << ":"
        << c.time.minute << ":" << c.time.second << "." << c.time.milliseconds;
  }
}

TEST(SecondsSince1899, BeyondThirtyTwoBits) {
  // The schedule compares 64-bit seconds; dates after 1968 already exceed
  // the 32-bit range and must not wrap.
  const int64_t seconds = SecondsSince1899({2040, 1, 1, 0, 0, 0, 0});
  EXPECT_GT(seconds, int64_t{INT32_MAX});
  EXPECT_EQ(seconds, DaysSince1899(2040, 1, 1) * 86400);
}

}  // namespace
