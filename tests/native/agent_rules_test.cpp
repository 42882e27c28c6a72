#include <gtest/gtest.h>

#include "update/agent_rules.h"

namespace {

TScheduleInput Schedule(int64_t interval, int64_t last, int64_t now) {
  TScheduleInput in;
  in.probeSecondsInterval = interval;
  in.probeSecondsLast = last;
  in.now = now;
  return in;
}

}  // namespace

TEST(Schedule, DueWhenTheIntervalHasPassed) {
  EXPECT_EQ(ScheduleDecision(Schedule(3600, 1000, 4600)), 1);
  EXPECT_EQ(ScheduleDecision(Schedule(3600, 1000, 4599)), 0);
}

TEST(Schedule, IntervalZeroChecksOnceThenTurnsAutomaticChecksOff) {
  EXPECT_EQ(ScheduleDecision(Schedule(0, 1000, 1000)), 2);
  TScheduleInput off = Schedule(0, 1000, 5000);
  off.autoCheckEnabled = false;
  EXPECT_EQ(ScheduleDecision(off), 0);
  off.checkNowRequested = true;
  EXPECT_EQ(ScheduleDecision(off), 1);
}

TEST(Schedule, IntervalMinusOneNeverChecksByItself) {
  EXPECT_EQ(ScheduleDecision(Schedule(-1, 0, 1000000)), 0);
  TScheduleInput asked = Schedule(-1, 0, 1000000);
  asked.checkNowRequested = true;
  EXPECT_EQ(ScheduleDecision(asked), 1);
}

TEST(Schedule, TestModeProbesEveryFiveSeconds) {
  TScheduleInput in = Schedule(86400, 1000, 1005);
  in.testMode = true;
  EXPECT_EQ(ScheduleDecision(in), 1);
  in.now = 1004;
  EXPECT_EQ(ScheduleDecision(in), 0);
}

TEST(Schedule, OnlyTheLow32BitsOfTheStoredIntervalCount) {
  // 2^32 + 10 reads as 10; the "== 0" and "== -1" rules look at the whole value.
  EXPECT_EQ(ScheduleDecision(Schedule((int64_t{1} << 32) + 10, 100, 110)), 1);
  EXPECT_EQ(ScheduleDecision(Schedule((int64_t{1} << 32) + 10, 100, 109)), 0);
}

TEST(ReAsk, StrictlyAfterAndOnlyWithAPositiveInterval) {
  EXPECT_TRUE(ReAskDue(201, 100, 100));
  EXPECT_FALSE(ReAskDue(200, 100, 100));
  EXPECT_FALSE(ReAskDue(999999, 100, 0));
  EXPECT_FALSE(ReAskDue(999999, 100, -5));
}

TEST(ValidVersions, MatchesWholeEntriesOnly) {
  struct Case {
    const char* list;
    int32_t version;
    bool valid;
  } cases[] = {
      {"", 3, true},       {"1,3,5", 3, true}, {"1,3,5", 1, true}, {"1,3,5", 5, true},
      {"13", 3, false},    {"3a", 3, false},   {"1,2", 3, false},  {"1, 3", 3, false},
      {"-1,0", 0, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionListed(c.list, c.version), c.valid) << c.list << " / " << c.version;
  }
}

TEST(FireStamp, DayMonthYearThenTime) {
  EXPECT_EQ(FireStamp(2026, 12, 7, 12, 30, 5), "07-12-2026  12:30:05");
}
