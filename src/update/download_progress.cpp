#include "update/download_progress.h"

#include <cstring>

#include "util/text.h"

namespace {

constexpr int kWindowSize = 5;

uint32_t tickWindow[kWindowSize] = {};
uint32_t byteWindow[kWindowSize] = {};
TTickSource tickSource = nullptr;

// Drops the oldest entry and puts `value` last.
void Push(uint32_t (&window)[kWindowSize], uint32_t value) {
  std::memmove(window, window + 1, (kWindowSize - 1) * sizeof window[0]);
  window[kWindowSize - 1] = value;
}

}  // namespace

void SetDownloadTickSource(TTickSource source) { tickSource = source; }

uint32_t DownloadTickNow() { return tickSource != nullptr ? tickSource() : SystemTickCount(); }

std::string FormatDownloadProgress(bool reset, int32_t total, int32_t done, int32_t lastChunk) {
  if (reset) {
    const uint32_t now = DownloadTickNow();
    for (int i = 0; i < kWindowSize; ++i) {
      tickWindow[i] = now;
      byteWindow[i] = 0;
    }
  }
  std::string text = Decimal(done);
  text += '/';
  text += Decimal(total);
  text += " Bytes   ";
  Push(tickWindow, DownloadTickNow());
  // Unsigned difference: the wrap of the tick count does not make it negative.
  const uint32_t elapsed = tickWindow[kWindowSize - 1] - tickWindow[0];
  Push(byteWindow, static_cast<uint32_t>(lastChunk));
  double recent = 0;
  for (uint32_t bytes : byteWindow) recent += bytes;
  if (elapsed > 0) {
    text += FixedDecimal(recent / (elapsed / 1000.0) / 1024.0, 2);
    text += " KB/Sec";
  }
  return text;
}
