// Window scoring of TAnalizer over a made-up desktop: windows are small
// integers cast to ids, with owner, title and visibility given per window.
#include "process/analizer.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

TWindowId Id(intptr_t n) { return reinterpret_cast<TWindowId>(n); }

struct FakeWindow {
  intptr_t id;
  intptr_t owner;  // 0 = none
  bool titled;
  bool visible;
};

// Windows not listed (owners from other processes) have no owner and no title.
struct FakeDesktop {
  std::map<TWindowId, FakeWindow> windows;

  explicit FakeDesktop(const std::vector<FakeWindow>& list) {
    for (const FakeWindow& w : list) windows[Id(w.id)] = w;
  }
  TAnalizer::TWindowFacts Facts() const {
    TAnalizer::TWindowFacts facts;
    facts.OwnerOf = [this](TWindowId w) {
      auto it = windows.find(w);
      return it == windows.end() ? nullptr : Id(it->second.owner);
    };
    facts.HasTitle = [this](TWindowId w) {
      auto it = windows.find(w);
      return it != windows.end() && it->second.titled;
    };
    facts.IsVisible = [this](TWindowId w) {
      auto it = windows.find(w);
      return it != windows.end() && it->second.visible;
    };
    return facts;
  }
};

// Collects `collected` in order, scores, and returns the analyser.
std::unique_ptr<TAnalizer> Analyse(const FakeDesktop& desktop,
                                   const std::vector<intptr_t>& collected) {
  auto analizer = std::make_unique<TAnalizer>(7);
  for (intptr_t id : collected) EXPECT_TRUE(analizer->Add(Id(id)));
  analizer->ScoreWindows(desktop.Facts());
  return analizer;
}

TEST(AnalizerTest, NewAnalyserIsEmpty) {
  TAnalizer analizer(1234);
  EXPECT_EQ(1234u, analizer.TargetProcessId());
  EXPECT_EQ(0, analizer.Count());
  EXPECT_EQ(nullptr, analizer.Window(0));
  EXPECT_EQ(0, analizer.Score(0));
  EXPECT_EQ(nullptr, analizer.MainWindow());
}

struct ScoreCase {
  const char* name;
  std::vector<FakeWindow> desktop;
  std::vector<intptr_t> collected;
  std::vector<uint16_t> scores;
  intptr_t main;  // 0 = no main window
};

TEST(AnalizerTest, ScoresAndChoice) {
  const std::vector<ScoreCase> cases = {
      {"owner of two dialogs wins over them, listed after them",
       {{1, 0, true, true}, {2, 1, true, true}, {3, 1, true, true}},
       {2, 3, 1},
       {3, 3, 11},
       1},
      {"ownership through a chain counts for the topmost owner only",
       {{1, 0, false, false}, {2, 1, false, false}, {3, 2, false, false}},
       {1, 2, 3},
       {8, 0, 0},
       1},
      {"all scores zero: no main window",
       {{1, 0, false, false}, {2, 0, false, false}},
       {1, 2},
       {0, 0},
       0},
      {"equal scores: the first in enumeration order wins",
       {{1, 0, true, false}, {2, 0, true, false}},
       {1, 2},
       {2, 2},
       1},
      {"visible untitled loses to hidden titled",
       {{1, 0, false, true}, {2, 0, true, false}},
       {1, 2},
       {1, 2},
       2},
      {"owner outside the collected windows scores nothing",
       {{1, 0, true, true}, {2, 99, false, false}, {3, 2, false, false}},
       {1, 2, 3},
       {3, 0, 0},
       1},
      {"an owned window counts once for its topmost owner",
       {{1, 0, false, true}, {2, 1, false, true}, {3, 0, true, true}},
       {3, 2, 1},
       {3, 1, 5},
       1},
  };
  for (const ScoreCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDesktop desktop(c.desktop);
    auto analizer = Analyse(desktop, c.collected);
    ASSERT_EQ(static_cast<int>(c.collected.size()), analizer->Count());
    for (size_t i = 0; i < c.scores.size(); ++i) {
      EXPECT_EQ(c.scores[i], analizer->Score(static_cast<int>(i))) << "window index " << i;
    }
    EXPECT_EQ(c.main == 0 ? nullptr : Id(c.main), analizer->MainWindow());
  }
}

TEST(AnalizerTest, FullArraysRefuseFurtherWindows) {
  auto analizer = std::make_unique<TAnalizer>(1);
  for (int i = 1; i <= TAnalizer::kMaxWindows; ++i) ASSERT_TRUE(analizer->Add(Id(i)));
  EXPECT_FALSE(analizer->Add(Id(5000)));
  EXPECT_EQ(TAnalizer::kMaxWindows, analizer->Count());
  EXPECT_EQ(Id(TAnalizer::kMaxWindows), analizer->Window(TAnalizer::kMaxWindows - 1));
  EXPECT_EQ(nullptr, analizer->Window(TAnalizer::kMaxWindows));

  // Window 1 owns all others: the largest possible score still fits.
  std::vector<FakeWindow> list;
  list.push_back({1, 0, true, true});
  for (int i = 2; i <= TAnalizer::kMaxWindows; ++i) list.push_back({i, 1, false, false});
  FakeDesktop desktop(list);
  analizer->ScoreWindows(desktop.Facts());
  EXPECT_EQ((TAnalizer::kMaxWindows - 1) * 4 + 3, analizer->Score(0));
  EXPECT_EQ(Id(1), analizer->MainWindow());
}

TEST(AnalizerTest, OwnerCycleEndsTheSearch) {
  // A broken owner relation must not hang the analyser.
  FakeDesktop desktop({{1, 2, false, false}, {2, 1, false, false}, {3, 0, true, true}});
  auto analizer = Analyse(desktop, {1, 2, 3});
  EXPECT_EQ(3, analizer->Score(2));
  EXPECT_NE(nullptr, analizer->MainWindow());
}

TEST(AnalizerTest, RescoringStartsFromZero) {
  FakeDesktop desktop({{1, 0, true, true}, {2, 1, true, true}});
  auto analizer = Analyse(desktop, {1, 2});
  analizer->ScoreWindows(desktop.Facts());
  EXPECT_EQ(7, analizer->Score(0));
  EXPECT_EQ(3, analizer->Score(1));
}

}  // namespace
