// Points in time of the agent's schedule: whole seconds since
// 30 December 1899 00:00 local time. The arithmetic lives here, apart from
// the clock, so that the schedule rules can be checked with fixed dates.
#pragma once

#include <cstdint>

// A broken-down local date and time as the system clock reports it.
struct TLocalTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// Whole days from 1899-12-30 to the given date of the proleptic Gregorian
// calendar; negative for earlier dates.
int64_t DaysSince1899(int year, int month, int day);

// The point in time in whole seconds since 1899-12-30 00:00, the
// milliseconds rounded to the nearest second (500 and more round up).
int64_t SecondsSince1899(const TLocalTime& time);
