// The arithmetic of a download: read size, progress-bar range, the name of
// the partial file, the last-modified stamp, the answer to a range request
// and the interval of the test-mode refresh.
#pragma once

#include <cstdint>
#include <string>

// The largest read of a download of `total` bytes: a tenth of the
// resource, at most 10240 bytes, and at least 1 byte so that a resource of
// fewer than ten bytes still arrives and the progress range has a divisor.
int32_t DownloadChunkSize(int32_t total);

// The progress bar's range maximum: total / chunk rounded, plus one.
int32_t ProgressRangeMax(int32_t total, int32_t chunk);
// The progress bar's start position: done / chunk rounded.
int32_t ProgressPosition(int32_t done, int32_t chunk);

// targetPath + "." + the decimal of total + stamp as a wrapping signed
// 32-bit sum: a changed length or date gives another name, so a partial
// file is only ever resumed against the same version of the resource.
std::string PartialFileName(const std::string& targetPath, int32_t total, int32_t stamp);

// A calendar date and time packed as a DOS date (high 16 bits) and time
// (low 16 bits, seconds halved). 0 when the parts do not form a valid date
// and time or the year lies outside 1980..2107.
int32_t DosStampOfDate(int year, int month, int day, int hour, int minute, int second);

// `name` under the folder or URL `base`, joined by `separator` ("\\" or "/").
std::string JoinedName(const std::string& base, char separator, const std::string& name);

// The extra request header that asks for the bytes from `from` on,
// terminated by CR LF.
std::string RangeRequestHeader(int64_t from);
// True when a Content-Range value ("bytes first-last/length") describes
// the rest of a resource of `total` bytes from `from` on: first equals
// from, last is total - 1 and the length, when given, is total.
bool ContentRangeResumes(const std::string& contentRange, int64_t from, int64_t total);

// The most redirections one download follows before it fails.
constexpr int kMaxRedirects = 10;

// True for the status codes that send the client elsewhere with Location.
bool IsRedirectStatus(int32_t status);

// Where a redirection from `current` with the Location value `location`
// leads: an absolute "http://" or "https://" URL as it is, "//host/..."
// with the scheme of `current`, "/path" on the host of `current`, anything
// else beside the last "/" of its path. Empty (not followed) for an empty
// location, any other scheme (a server must never point the launcher at a
// local file), and a step from "https://" down to "http://", which would
// drop the certificate check the publisher chose.
std::string RedirectTarget(const std::string& current, const std::string& location);

// The test-mode values are read when forced or when more than 30000 ms
// passed since the previous call (tick counts, wrapping).
bool TestModeReadDue(bool force, uint32_t now, uint32_t previous);

// A download must average at least 1 KB/s (1024 bytes, as the progress
// text counts them) over each window of kSlowSenderWindowMilliseconds or more: a
// sender that trickles a byte now and then keeps every receive inside its
// time-out, and must still fail like one that stalls.
inline constexpr uint32_t kSlowSenderWindowMilliseconds = 60000;
inline constexpr uint32_t kSlowestBytesPerSecond = 1024;
class TSlowSenderGuard {
 public:
  explicit TSlowSenderGuard(uint32_t now) : windowStart_(now) {}
  // Counts `bytes` that arrived at `now` (tick counts, wrapping); false
  // when this closes a window that averaged less than the least rate.
  bool Keeps(uint32_t now, uint32_t bytes);

 private:
  uint32_t windowStart_;
  uint32_t windowBytes_ = 0;  // no window of a 32-bit download holds more
};
