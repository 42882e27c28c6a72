#include "pack/progress_line.h"

#include <cmath>

namespace {

// A run shorter than this never shows the line.
constexpr double kFirstDrawAfter = 0.25;
constexpr double kRedrawEvery = 0.1;

std::string Megabytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

// "0:04", "12:30", "1:02:03".
std::string Duration(double seconds) {
  const int64_t whole = std::llround(seconds);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  }
  return text;
}

}  // namespace

std::string ProgressText(const TProgressFigures& f) {
  std::string text = std::to_string(f.FilesDone);
  if (f.FilesTotal > 0) text += "/" + std::to_string(f.FilesTotal);
  text += " files, " + Megabytes(f.BytesDone);
  if (f.BytesTotal > 0) text += "/" + Megabytes(f.BytesTotal);
  text += " MB, ";
  const bool measured = f.Seconds > 0 && f.BytesDone > 0;
  const double perSecond = measured ? static_cast<double>(f.BytesDone) / f.Seconds : 0;
  text += measured ? Megabytes(static_cast<int64_t>(perSecond)) + " MB/s, " : "-- MB/s, ";
  if (f.BytesTotal > 0 && f.BytesDone >= f.BytesTotal) return text + "0:00 left";
  if (!measured || f.BytesTotal <= 0) return text + "--:-- left";
  return text + Duration(static_cast<double>(f.BytesTotal - f.BytesDone) / perSecond) + " left";
}

TProgressLine::TProgressLine(bool enabled, std::FILE* out)
    : enabled_(enabled), out_(out), start_(std::chrono::steady_clock::now()) {}

double TProgressLine::Elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TProgressLine::Update(TProgressFigures figures) {
  if (!enabled_) return;
  figures.Seconds = Elapsed();
  if (figures.Seconds < kFirstDrawAfter) return;
  if (lastDrawn_ >= 0 && figures.Seconds - lastDrawn_ < kRedrawEvery) return;
  lastDrawn_ = figures.Seconds;
  Draw(figures);
}

void TProgressLine::Finish(TProgressFigures figures) {
  if (!enabled_ || lastDrawn_ < 0) return;
  figures.Seconds = Elapsed();
  Draw(figures);
  std::fputc('\n', out_);
  std::fflush(out_);
  lastDrawn_ = -1;
}

void TProgressLine::Draw(const TProgressFigures& figures) {
  const std::string text = ProgressText(figures);
  // Blanks cover the rest of a longer line drawn before.
  const size_t pad = lastLength_ > text.size() ? lastLength_ - text.size() : 0;
  std::fprintf(out_, "\r%s%s", text.c_str(), std::string(pad, ' ').c_str());
  std::fflush(out_);
  lastLength_ = text.size();
}
