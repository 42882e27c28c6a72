// The progress text of a download: bytes done and total, and the rate of
// the last five reads. The rate window (five tick counts and five chunk
// sizes) is process-wide and shared by all downloads.
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

// "done/total Bytes   " (three blanks), followed by the rate over the last
// five reads as "25.00 KB/Sec" once the window spans some time. `reset`
// starts a new window (all five ticks now, no bytes), so the text of a
// reset carries no rate, or 0.00 KB/Sec when the clock moved within the
// call. `lastChunk` is the size of the read that just ended.
std::string FormatDownloadProgress(bool reset, int32_t total, int32_t done, int32_t lastChunk);
