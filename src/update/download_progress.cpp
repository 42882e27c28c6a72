#include "update/download_progress.h"

#include <cstring>

#include "util/text.h"

namespace {

TTickSource tickSource = nullptr;

// Drops the oldest entry and puts `value` last.
template <int N>
void Push(uint32_t (&window)[N], uint32_t value) {
  std::memmove(window, window + 1, (N - 1) * sizeof window[0]);
  window[N - 1] = value;
}

}  // namespace

void SetDownloadTickSource(TTickSource source) { tickSource = source; }

uint32_t DownloadTickNow() { return tickSource != nullptr ? tickSource() : SystemTickCount(); }

std::string TDownloadRate::Progress(bool reset, int32_t total, int32_t done, int32_t lastChunk) {
  if (reset) {
    const uint32_t now = DownloadTickNow();
    for (int i = 0; i < kWindowSize; ++i) {
      ticks_[i] = now;
      bytes_[i] = 0;
    }
  }
  std::string text = Decimal(done);
  text += '/';
  text += Decimal(total);
  text += " Bytes   ";
  Push(ticks_, DownloadTickNow());
  // Unsigned difference: the wrap of the tick count does not make it negative.
  const uint32_t elapsed = ticks_[kWindowSize - 1] - ticks_[0];
  Push(bytes_, static_cast<uint32_t>(lastChunk));
  double recent = 0;
  for (uint32_t bytes : bytes_) recent += bytes;
  if (elapsed > 0) {
    text += FixedDecimal(recent / (elapsed / 1000.0) / 1024.0, 2);
    text += " KB/Sec";
  }
  return text;
}
