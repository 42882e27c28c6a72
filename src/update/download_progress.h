// The progress text of a download: bytes done and total, and the rate of
// the last five reads. Each download owns its rate window (five tick counts
// and five chunk sizes).
#pragma once

#include <cstdint>
#include <string>

// Milliseconds since system start, wrapping after 49.7 days.
using TTickSource = uint32_t (*)();

// The system's tick count (GetTickCount on Windows).
uint32_t SystemTickCount();
// Replaces the clock read by the rate window and by the test-mode refresh;
// null restores SystemTickCount.
void SetDownloadTickSource(TTickSource source);
// The current tick of the download clock.
uint32_t DownloadTickNow();

// A download's rate window; its first text is one with `reset`, which
// fills the window.
class TDownloadRate {
 public:
  // "done/total Bytes   " (three blanks), followed by the rate over the last
  // five reads as "25.00 KB/Sec" once the window spans some time. `reset`
  // starts a new window (all five ticks now, no bytes), so the text of a
  // reset carries no rate, or 0.00 KB/Sec when the clock moved within the
  // call. `lastChunk` is the size of the read that just ended.
  std::string Progress(bool reset, int32_t total, int32_t done, int32_t lastChunk);

 private:
  static constexpr int kWindowSize = 5;
  uint32_t ticks_[kWindowSize];
  uint32_t bytes_[kWindowSize];
};
