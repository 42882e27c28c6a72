// The progress callback handed to the extraction and download loops, and
// the launcher window's view that a run below it reports to.
#pragma once

#include <string>

// kind 0: set the bar's range to 0..rangeMax (16 bits), its position and
// its step; kind 1: advance one step; other kinds: nothing. `text` is the
// current progress text where the caller has one.
using TProgressCallback = void (*)(int kind, int rangeMin, int rangeMax, int position, int step,
                                   const std::string& text);

// What a run shows in the launcher's window: its progress bar, its status
// line (in the package's character set: right to left for Hebrew and
// Arabic) and whether the window shows at all. Every member is set.
struct TProgressView {
  TProgressCallback Progress;
  void (*Status)(const std::string& text, int charset);
  void (*Show)();
  void (*Hide)();
};
