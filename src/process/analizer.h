// TAnalizer: picks the main window of a process among its top-level windows.
// The collection and the scoring are plain logic over opaque window ids, so
// the rules build and are tested on every platform; process_win.cpp feeds it
// real windows and answers its three questions about them.
#pragma once

#include <cstdint>

#include "util/callback.h"

// A window handle seen as an opaque id (an HWND on Windows); nullptr is "none".
using TWindowId = const void*;

class TAnalizer {
 public:
  static constexpr int kMaxWindows = 2001;

  // Every field zero, apart from the process whose windows are collected.
  explicit TAnalizer(uint32_t targetProcessId) : targetProcessId_(targetProcessId) {}

  uint32_t TargetProcessId() const { return targetProcessId_; }
  int Count() const { return count_; }
  // Window and score at `index` (0-based); nullptr and 0 outside 0 .. Count() - 1.
  TWindowId Window(int index) const;
  uint16_t Score(int index) const;

  // Appends a window in enumeration order. False when the arrays are full:
  // the window is then left out, and so should every later one be.
  bool Add(TWindowId window);

  // Questions the scoring asks about a collected window.
  struct TWindowFacts {
    TCallback<TWindowId(TWindowId)> OwnerOf;  // direct owner, nullptr when none
    TCallback<bool(TWindowId)> HasTitle;
    TCallback<bool(TWindowId)> IsVisible;
  };

  // Scores from scratch: 4 for every collected window that the window owns
  // directly or through others, 2 for a title, 1 for being visible.
  void ScoreWindows(const TWindowFacts& facts);

  // The first window with the highest score, or nullptr when every score is
  // 0 (a process without a window worth a message has no main window).
  TWindowId MainWindow() const;

 private:
  TWindowId windows_[kMaxWindows] = {};
  uint16_t scores_[kMaxWindows] = {};
  int32_t count_ = 0;
  uint32_t targetProcessId_ = 0;
};
