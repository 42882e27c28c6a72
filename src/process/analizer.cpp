#include "process/analizer.h"

namespace {

// Owner chains on a real desktop are a few windows long; the bound only keeps
// a broken owner relation (a cycle) from hanging the search.
constexpr int kMaxOwnerChain = TAnalizer::kMaxWindows;

TWindowId TopmostOwner(TWindowId window, const TCallback<TWindowId(TWindowId)>& ownerOf) {
  TWindowId top = nullptr;
  TWindowId next = ownerOf(window);
  for (int step = 0; next != nullptr && step < kMaxOwnerChain; ++step) {
    top = next;
    next = ownerOf(top);
  }
  return top;
}

}  // namespace

TWindowId TAnalizer::Window(int index) const {
  return (index >= 0 && index < count_) ? windows_[index] : nullptr;
}

uint16_t TAnalizer::Score(int index) const {
  return (index >= 0 && index < count_) ? scores_[index] : 0;
}

bool TAnalizer::Add(TWindowId window) {
  if (count_ >= kMaxWindows) return false;
  windows_[count_] = window;
  scores_[count_] = 0;
  ++count_;
  return true;
}

void TAnalizer::ScoreWindows(const TWindowFacts& facts) {
  for (int i = 0; i < count_; ++i) scores_[i] = 0;
  for (int i = 0; i < count_; ++i) {
    const TWindowId top = TopmostOwner(windows_[i], facts.OwnerOf);
    if (top == nullptr) continue;
    for (int j = 0; j < count_; ++j) {
      if (windows_[j] == top) ++scores_[j];
    }
  }
  // At most 2001 owned windows: 4 * 2001 + 3 still fits the 16-bit scores.
  for (int i = 0; i < count_; ++i) {
    scores_[i] = static_cast<uint16_t>(scores_[i] * 4);
    if (facts.HasTitle(windows_[i])) scores_[i] = static_cast<uint16_t>(scores_[i] + 2);
    if (facts.IsVisible(windows_[i])) scores_[i] = static_cast<uint16_t>(scores_[i] + 1);
  }
}

TWindowId TAnalizer::MainWindow() const {
  TWindowId best = nullptr;
  uint16_t bestScore = 0;
  for (int i = 0; i < count_; ++i) {
    if (scores_[i] > bestScore) {
      bestScore = scores_[i];
      best = windows_[i];
    }
  }
  return best;
}
