#include "util/seconds.h"

#include "util/divide.h"

namespace {

// Days from 0000-03-01 of the proleptic Gregorian calendar; counting years
// from March puts the leap day at the end of the year. Only the era needs
// 64-bit arithmetic; the rest stays within an era and the year (month 1..12).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  if (month <= 2) year -= 1;
  const int64_t era = DivideSigned(year >= 0 ? year : year - 399, 400);
  const int yearOfEra = static_cast<int>(year - era * 400);
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra + day;
}

// DaysFromCivil(1899, 12, 30).
constexpr int64_t kEpochDays = 693899;

}  // namespace

int64_t DaysSince1899(int year, int month, int day) {
  return DaysFromCivil(year, month, day) - kEpochDays;
}

int64_t SecondsSince1899(const TLocalTime& time) {
  const int64_t millis =
      ((DaysSince1899(time.year, time.month, time.day) * 24 + time.hour) * 60 + time.minute) *
          60000 +
      int64_t{time.second} * 1000 + time.milliseconds;
  // Round half up, also below the epoch (floor of millis / 1000 + 0.5): the
  // division truncates toward zero, so a negative dividend is moved down
  // by 999 first.
  const int64_t shifted = millis + 500;
  return DivideSigned(shifted >= 0 ? shifted : shifted - 999, 1000);
}
