#include "update/download_rules.h"

#include "util/divide.h"
#include "util/text.h"

namespace {

constexpr int32_t kLargestChunk = 10240;
constexpr uint32_t kTestModeInterval = 30000;

// value / divisor rounded to the nearest integer, halves away from zero.
int32_t RoundedQuotient(int32_t value, int32_t divisor) {
  if (divisor <= 0) return 0;
  const int64_t twice = 2 * static_cast<int64_t>(value);
  const int64_t quotient =
      DivideSigned(twice + (value < 0 ? -divisor : divisor), 2 * int64_t{divisor});
  return static_cast<int32_t>(quotient);
}

// For the years a DOS stamp holds (1980..2107), where 2100 is the one
// century year that is no leap year (2000 is one, as divisible by 400).
bool IsLeapYear(int year) { return year % 4 == 0 && year != 2100; }

int DaysInMonth(int year, int month) {
  static const uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads a run of decimal digits at `p` (before `end`); -1 when there is
// none or it overflows.
int64_t ReadNumber(const char*& p, const char* end) {
  const char* const start = p;
  int64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9') {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = value * 10 + (*p++ - '0');
  }
  return p > start ? value : -1;
}

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p;
}

// True when the character at `p` (before `end`) is `sign`; steps over it.
bool Takes(const char*& p, const char* end, char sign) { return p < end && *p++ == sign; }

// The length of the "http://" or "https://" at the start of `url`
// (compared without regard to case), 0 for any other beginning.
size_t WebSchemeLength(std::string_view url) {
  // One pass over "https://" in which only the "s" may be missing.
  static const char kPattern[] = "https://";
  size_t i = 0;
  for (size_t k = 0; kPattern[k] != '\0'; ++k) {
    const char c = i < url.size() ? url[i] : '\0';
    if ((k < 5 ? c | 0x20 : c) == kPattern[k]) {
      ++i;
    } else if (k != 4) {
      return 0;
    }
  }
  return i;
}

// True when a ":" comes before any "/", "?" or "#": the location names a
// scheme of its own.
bool NamesScheme(std::string_view location) {
  for (const char c : location) {
    if (c == ':') return true;
    if (c == '/' || c == '?' || c == '#') return false;
  }
  return false;
}

bool IsHttps(const std::string& url) { return WebSchemeLength(url) == 8; }

}  // namespace

int32_t DownloadChunkSize(int32_t total) {
  const int32_t tenth = total / 10;
  if (tenth < 1) return 1;
  return tenth < kLargestChunk ? tenth : kLargestChunk;
}

int32_t ProgressRangeMax(int32_t total, int32_t chunk) { return RoundedQuotient(total, chunk) + 1; }

int32_t ProgressPosition(int32_t done, int32_t chunk) { return RoundedQuotient(done, chunk); }

std::string PartialFileName(const std::string& targetPath, int32_t total, int32_t stamp) {
  const uint32_t sum = static_cast<uint32_t>(total) + static_cast<uint32_t>(stamp);
  return JoinedName(targetPath, '.', Decimal(static_cast<int32_t>(sum)));
}

int32_t DosStampOfDate(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980 || year > 2107 || month < 1 || month > 12) return 0;
  if (day < 1 || day > DaysInMonth(year, month)) return 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return 0;
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (static_cast<uint32_t>(hour) << 11) | (minute << 5) | (second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

std::string JoinedName(const std::string& base, char separator, const std::string& name) {
  std::string joined = base;
  joined += separator;
  joined += name;
  return joined;
}

std::string RangeRequestHeader(int64_t from) {
  return Concat({"Range: bytes=", Decimal(from), "-\r\n"});
}

bool ContentRangeResumes(const std::string& contentRange, int64_t from, int64_t total) {
  const char* const end = contentRange.data() + contentRange.size();
  const char* p = SkipBlanks(contentRange.data(), end);
  for (const char* unit = "bytes"; *unit != '\0'; ++unit, ++p) {
    // The unit's letters in either case.
    if (p >= end || (*p | 0x20) != *unit) return false;
  }
  p = SkipBlanks(p, end);
  const int64_t first = ReadNumber(p, end);
  if (first < 0 || !Takes(p, end, '-')) return false;
  const int64_t last = ReadNumber(p, end);
  if (last < 0 || !Takes(p, end, '/') || first != from || last != total - 1) return false;
  if (p < end && *p == '*') {
    ++p;
  } else {
    const int64_t length = ReadNumber(p, end);
    if (length < 0 || length != total) return false;
  }
  return SkipBlanks(p, end) == end;
}

bool IsRedirectStatus(int32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string RedirectTarget(const std::string& current, const std::string& location) {
  size_t first = 0;
  size_t last = location.size();
  while (first < last && (location[first] == ' ' || location[first] == '\t')) ++first;
  while (last > first && (location[last - 1] == ' ' || location[last - 1] == '\t')) --last;
  const std::string_view where(location.data() + first, last - first);
  const size_t scheme = WebSchemeLength(current);
  // Every way out returns `target`, built in the caller's place.
  std::string target;
  if (where.empty() || scheme == 0) return target;
  if (WebSchemeLength(where) != 0) {
    target.append(where.data(), where.size());
  } else if (where.size() >= 2 && where[0] == '/' && where[1] == '/') {
    target.append(current, 0, scheme - 2);
    target.append(where.data(), where.size());
  } else if (NamesScheme(where)) {
    return target;  // another scheme ("file:", "ftp:", ...)
  } else {
    // The origin, then for a relative location the path of `current` up to
    // and including its last "/" ("/" when it has none).
    const size_t hostEnd = current.find_first_of("/?#", scheme);
    target.append(current, 0, hostEnd);
    if (where[0] != '/') {
      const size_t pathEnd = current.find_first_of("?#", hostEnd);
      const size_t slash = hostEnd == std::string::npos ? hostEnd : current.rfind('/', pathEnd - 1);
      if (slash == std::string::npos || slash < hostEnd) {
        target += '/';
      } else {
        target.append(current, hostEnd, slash + 1 - hostEnd);
      }
    }
    target.append(where.data(), where.size());
  }
  if (IsHttps(current) && !IsHttps(target)) target.clear();
  return target;
}

bool TestModeReadDue(bool force, uint32_t now, uint32_t previous) {
  return force || now - previous > kTestModeInterval;
}

bool TSlowSenderGuard::Keeps(uint32_t now, uint32_t bytes) {
  windowBytes_ += bytes;
  const uint32_t elapsed = now - windowStart_;
  if (elapsed < kSlowSenderWindowMilliseconds) return true;
  // Two 32-bit products, each exact in 64 bits.
  const bool enough = uint64_t{windowBytes_} * 1000 >= uint64_t{elapsed} * kSlowestBytesPerSecond;
  windowStart_ = now;
  windowBytes_ = 0;
  return enough;
}
