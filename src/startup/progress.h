// The progress callback handed to the extraction and download loops.
#pragma once

#include <string>

// kind 0: set the bar's range to 0..rangeMax (16 bits), its position and
// its step; kind 1: advance one step; other kinds: nothing. `text` is the
// current progress text where the caller has one.
using TProgressCallback = void (*)(int kind, int rangeMin, int rangeMax, int position, int step,
                                   const std::string& text);
