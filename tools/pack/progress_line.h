// The packager's progress line: one line on a terminal, rewritten in place
// ("\r"), with the files and megabytes done, the speed and the time left.
// Runs that end within a moment never show it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

struct TProgressFigures {
  int64_t FilesDone = 0;
  int64_t FilesTotal = 0;  // 0: not known
  int64_t BytesDone = 0;
  int64_t BytesTotal = 0;  // 0: not known
  double Seconds = 0;      // since the work began
};

// "812/2037 files, 84.3/210.8 MB, 27.1 MB/s, 0:04 left" (MB = 10^6 bytes).
// Speed and time left show as "--" until there is a figure to base them on.
std::string ProgressText(const TProgressFigures& figures);

class TProgressLine {
 public:
  // Shows nothing unless `enabled` (an interactive terminal, no --quiet).
  TProgressLine(bool enabled, std::FILE* out);
  // New figures (their Seconds is filled in here); the line is redrawn at
  // most ten times a second, and only once the work has run a moment.
  void Update(TProgressFigures figures);
  // The final figures, then the line end, when the line was shown.
  void Finish(TProgressFigures figures);

 private:
  double Elapsed() const;
  void Draw(const TProgressFigures& figures);

  bool enabled_;
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_;
  double lastDrawn_ = -1;
  size_t lastLength_ = 0;
};
