#include "update/agent_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "shared_cases.h"

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
  EXPECT_EQ(ScheduleDecision(Schedule(3600, 1000, 4600)), TCheckDecision::Yes);
  EXPECT_EQ(ScheduleDecision(Schedule(3600, 1000, 4599)), TCheckDecision::No);
  EXPECT_EQ(ScheduleDecision(Schedule(3600, INT64_MAX, INT64_MAX)), TCheckDecision::No);
  EXPECT_EQ(ScheduleDecision(Schedule(-3600, INT64_MIN, INT64_MIN)), TCheckDecision::Yes);
}

TEST(Schedule, IntervalZeroChecksOnceThenTurnsAutomaticChecksOff) {
  EXPECT_EQ(ScheduleDecision(Schedule(0, 1000, 1000)), TCheckDecision::YesThenStopAutoChecks);
  TScheduleInput off = Schedule(0, 1000, 5000);
  off.autoCheckEnabled = false;
  EXPECT_EQ(ScheduleDecision(off), TCheckDecision::No);
  off.checkNowRequested = true;
  EXPECT_EQ(ScheduleDecision(off), TCheckDecision::Yes);
}

TEST(Schedule, IntervalMinusOneNeverChecksByItself) {
  EXPECT_EQ(ScheduleDecision(Schedule(-1, 0, 1000000)), TCheckDecision::No);
  TScheduleInput asked = Schedule(-1, 0, 1000000);
  asked.checkNowRequested = true;
  EXPECT_EQ(ScheduleDecision(asked), TCheckDecision::Yes);
}

TEST(Schedule, TestModeProbesEveryFiveSeconds) {
  TScheduleInput in = Schedule(86400, 1000, 1005);
  in.testMode = true;
  EXPECT_EQ(ScheduleDecision(in), TCheckDecision::Yes);
  in.now = 1004;
  EXPECT_EQ(ScheduleDecision(in), TCheckDecision::No);
}

TEST(Schedule, OnlyTheLow32BitsOfTheStoredIntervalCount) {
  // 2^32 + 10 reads as 10; the "== 0" and "== -1" rules look at the whole value.
  EXPECT_EQ(ScheduleDecision(Schedule((int64_t{1} << 32) + 10, 100, 110)), TCheckDecision::Yes);
  EXPECT_EQ(ScheduleDecision(Schedule((int64_t{1} << 32) + 10, 100, 109)), TCheckDecision::No);
}

TEST(Schedule, HostileIntervalsAreReadByTheirLow32Bits) {
  // Only the stored -1 means never; -2, and 10^12 whose low 32 bits read as
  // -727379968, make every tick due, and 0 (also as the low bits of 2^32)
  // stops automatic checks only when the whole stored value is 0.
  struct Case {
    int64_t interval, last, now;
    TCheckDecision expected;
  } cases[] = {
      {-2, 1000, 999, TCheckDecision::Yes},
      {-2, 1000, 997, TCheckDecision::No},
      {1000000000000, 1000, 1000, TCheckDecision::Yes},
      {int64_t{1} << 32, 1000, 1000, TCheckDecision::Yes},
      {-1, 0, INT64_MAX / 2, TCheckDecision::No},
      {(int64_t{1} << 32) - 1, 0, INT64_MAX / 2, TCheckDecision::Yes},  // -1 only by its low bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScheduleDecision(Schedule(c.interval, c.last, c.now)), c.expected) << c.interval;
  }
}

TEST(ReAsk, StrictlyAfterAndOnlyWithAPositiveInterval) {
  EXPECT_TRUE(ReAskDue(201, 100, 100));
  EXPECT_FALSE(ReAskDue(200, 100, 100));
  EXPECT_FALSE(ReAskDue(999999, 100, 0));
  EXPECT_FALSE(ReAskDue(999999, 100, -5));
  // Stored values so large that their sum leaves the 64-bit range.
  EXPECT_FALSE(ReAskDue(INT64_MAX, INT64_MAX, 9));
  EXPECT_FALSE(ReAskDue(INT64_MAX, 1, INT64_MAX));
  EXPECT_TRUE(ReAskDue(INT64_MIN + 2, INT64_MIN, 1));
}

TEST(ValidVersions, MatchesWholeEntriesOnly) {
  struct Case {
    const char* list;
    int32_t version;
    bool valid;
  } cases[] = {
      {"", 3, true},     {"1,3,5", 3, true}, {"1,3,5", 1, true}, {"1,3,5", 5, true},
      {"13", 3, false},  {"3a", 3, false},   {"1,2", 3, false},  {"1, 3", 3, false},
      {"-1,0", 0, true}, {",3,", 3, true},   {"31,3", 3, true},  {"1,,34", 3, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionListed(c.list, c.version), c.valid) << c.list << " / " << c.version;
  }
}

TEST(FireStamp, DayMonthYearThenTime) {
  EXPECT_EQ(FireStamp(2026, 12, 7, 12, 30, 5), "07-12-2026  12:30:05");
}

namespace {

// An offer of version 5 to an installation of version 3 that has never
// seen it: every test passes and the file on offer has the stated size.
TOfferInput PerformingInput() {
  TOfferInput in;
  in.offer.versionNew = 5;
  in.offer.stamp = 20240102;
  in.offer.updateFileSize = 1000;
  in.installed.versionOriginal = 3;
  in.installed.stamp = 20240101;
  in.installed.reAskSecondsInterval = 100;
  in.installed.reAskSecondsLast = 5000;
  in.now = 5050;
  in.availableSize = 1000;
  return in;
}

const char* Name(TOfferDecision d) {
  switch (d) {
    case TOfferDecision::UpdatingOff:
      return "UpdatingOff";
    case TOfferDecision::AlreadyOffered:
      return "AlreadyOffered";
    case TOfferDecision::NotNewer:
      return "NotNewer";
    case TOfferDecision::VersionNotListed:
      return "VersionNotListed";
    case TOfferDecision::OutsideRollout:
      return "OutsideRollout";
    case TOfferDecision::SizeNeeded:
      return "SizeNeeded";
    case TOfferDecision::SizeMismatch:
      return "SizeMismatch";
    case TOfferDecision::Perform:
      return "Perform";
  }
  return "?";
}

}  // namespace

TEST(OfferDecision, Table) {
  struct Case {
    const char* name;
    void (*change)(TOfferInput&);
    TOfferDecision expected;
  };
  const Case cases[] = {
      {"all tests pass", [](TOfferInput&) {}, TOfferDecision::Perform},
      {"installed version 0 turns updating off",
       [](TOfferInput& in) { in.installed.versionOriginal = 0; }, TOfferDecision::UpdatingOff},
      {"negative installed version", [](TOfferInput& in) { in.installed.versionOriginal = -3; },
       TOfferDecision::UpdatingOff},
      {"stamp seen, re-ask not due", [](TOfferInput& in) { in.installed.stamp = in.offer.stamp; },
       TOfferDecision::AlreadyOffered},
      {"stamp seen, re-ask due",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.now = 5101;
       },
       TOfferDecision::Perform},
      {"stamp seen, re-ask exactly at the interval is not due",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.now = 5100;
       },
       TOfferDecision::AlreadyOffered},
      {"stamp seen, re-ask time beyond the 64-bit range is never due",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.installed.reAskSecondsLast = INT64_MAX;
         in.now = INT64_MAX;
       },
       TOfferDecision::AlreadyOffered},
      {"stamp seen, re-ask interval 0 never re-asks",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.installed.reAskSecondsInterval = 0;
         in.now = 999999;
       },
       TOfferDecision::AlreadyOffered},
      {"stamp seen but the user asked",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.userAsked = true;
       },
       TOfferDecision::Perform},
      {"same version", [](TOfferInput& in) { in.offer.versionNew = 3; }, TOfferDecision::NotNewer},
      {"older version", [](TOfferInput& in) { in.offer.versionNew = 2; }, TOfferDecision::NotNewer},
      {"stamp seen wins over not newer",
       [](TOfferInput& in) {
         in.installed.stamp = in.offer.stamp;
         in.offer.versionNew = 1;
       },
       TOfferDecision::AlreadyOffered},
      {"installed version listed", [](TOfferInput& in) { in.offer.validVersions = "1,3"; },
       TOfferDecision::Perform},
      {"installed version not listed", [](TOfferInput& in) { in.offer.validVersions = "1,4,13"; },
       TOfferDecision::VersionNotListed},
      {"not newer wins over not listed",
       [](TOfferInput& in) {
         in.offer.versionNew = 3;
         in.offer.validVersions = "1";
       },
       TOfferDecision::NotNewer},
      {"size not asked for yet", [](TOfferInput& in) { in.availableSize.reset(); },
       TOfferDecision::SizeNeeded},
      {"not listed is decided before the size is needed",
       [](TOfferInput& in) {
         in.offer.validVersions = "2";
         in.availableSize.reset();
       },
       TOfferDecision::VersionNotListed},
      {"size differs", [](TOfferInput& in) { in.availableSize = 999; },
       TOfferDecision::SizeMismatch},
      {"file not found", [](TOfferInput& in) { in.availableSize = -1; },
       TOfferDecision::SizeMismatch},
      // The stated size is compared as the info file gives it, sign and all.
      {"file not found where the offer states -1",
       [](TOfferInput& in) {
         in.availableSize = -1;
         in.offer.updateFileSize = -1;
       },
       TOfferDecision::Perform},
      {"size beyond 32 bits", [](TOfferInput& in) { in.availableSize = (int64_t{1} << 32) + 1000; },
       TOfferDecision::SizeMismatch},
      // The size asked for a delta is compared with the delta's.
      {"delta of the stated size",
       [](TOfferInput& in) {
         in.delta = true;
         in.offer.deltaFileSize = 1000;
         in.offer.updateFileSize = 5000;
       },
       TOfferDecision::Perform},
      {"delta of another size",
       [](TOfferInput& in) {
         in.delta = true;
         in.offer.deltaFileSize = 70;
       },
       TOfferDecision::SizeMismatch},
  };
  for (const Case& c : cases) {
    TOfferInput in = PerformingInput();
    c.change(in);
    EXPECT_STREQ(Name(c.expected), Name(DecideOnOffer(in))) << c.name;
  }
}

namespace {

// The answers live in one map that each call replaces (a callback holds no
// map of its own): every use hands the callback straight to a parser.
TIniValues Values(std::map<std::string, std::string> values) {
  static std::map<std::string, std::string> current;
  current = std::move(values);
  return [](const char* key) {
    const auto found = current.find(key);
    return found == current.end() ? std::string() : found->second;
  };
}

}  // namespace

TEST(OfferDecision, ADeltaAppliesOnlyToTheReleaseItRebuilds) {
  const struct {
    const char* name;
    int32_t deltaFrom;
    int32_t installed;
    bool applies;
  } cases[] = {
      {"Delta.exe", 3, 3, true},  {"Delta.exe", 2, 3, false},
      {"Delta.exe", 4, 3, false}, {"", 3, 3, false},  // no delta on offer
      {"Delta.exe", 0, 0, true},                      // updating is off anyway: decided before
  };
  for (const auto& c : cases) {
    TUpdateOffer offer;
    offer.deltaFileName = c.name;
    offer.deltaFromVersion = c.deltaFrom;
    TInstalledState installed;
    installed.versionOriginal = c.installed;
    EXPECT_EQ(c.applies, DeltaApplies(offer, installed)) << c.name << " " << c.deltaFrom;
  }
}

TEST(OfferParsing, EveryKeyOfTheInfoFile) {
  const TUpdateOffer offer = ParseUpdateOffer(Values({
      {"DownloadURL_UPDATE", "http://example.invalid/upd/"},
      {"NameOfUpdateFile", "ToolUpdate.exe"},
      {"SizeOfUpdateFile", "123456"},
      {"VersionNew", "8"},
      {"Stamp", "20240101"},
      {"ValidVersions", "3,4,7"},
      {"ProgramName", "Tool 8"},
      {"RunningProcess", "<InstallDir>\\Tool.exe"},
      {"ShutDownMethod", "Using WM_CLOSE"},
      {"RequestConfirmationBeforeDownload", "1"},
      {"RequestConfirmationBeforeInstall", "0"},
      {"BackgroundUpdate", "1"},
      {"InformFinish", "yes"},
      {"RestartProcess", "1"},
      {"RolloutPercent", "25"},
      {"NameOfDeltaFile", "ToolDelta.exe"},
      {"SizeOfDeltaFile", "4321"},
      {"DeltaFromVersion", "7"},
  }));
  EXPECT_EQ("http://example.invalid/upd/", offer.downloadUrl);
  EXPECT_EQ("ToolUpdate.exe", offer.updateFileName);
  EXPECT_EQ(123456, offer.updateFileSize);
  EXPECT_EQ(8, offer.versionNew);
  EXPECT_EQ(20240101, offer.stamp);
  EXPECT_EQ("3,4,7", offer.validVersions);
  EXPECT_EQ("Tool 8", offer.programName);
  EXPECT_EQ("<InstallDir>\\Tool.exe", offer.runningProcess);
  EXPECT_EQ("Using WM_CLOSE", offer.shutDownMethod);
  EXPECT_TRUE(offer.confirmBeforeDownload);
  EXPECT_FALSE(offer.confirmBeforeInstall);
  EXPECT_TRUE(offer.backgroundUpdate);
  EXPECT_FALSE(offer.informFinish);
  EXPECT_TRUE(offer.restartProcess);
  EXPECT_EQ(25, offer.rolloutPercent);
  EXPECT_EQ("ToolDelta.exe", offer.deltaFileName);
  EXPECT_EQ(4321, offer.deltaFileSize);
  EXPECT_EQ(7, offer.deltaFromVersion);

  const TUpdateOffer empty = ParseUpdateOffer(Values({}));
  EXPECT_EQ(0, empty.versionNew);
  // Info files from before rollouts reach every installation.
  EXPECT_EQ(100, empty.rolloutPercent);
  EXPECT_EQ("", empty.updateFileName);
  EXPECT_EQ("", empty.deltaFileName);
  EXPECT_FALSE(empty.confirmBeforeDownload || empty.confirmBeforeInstall ||
               empty.backgroundUpdate || empty.informFinish || empty.restartProcess);
}

TEST(InstalledStateParsing, IntegerEncodings) {
  for (const TStoredInteger& c : kStoredIntegers) {
    SCOPED_TRACE(c.stored);
    const TInstalledState state = ParseInstalledState(Values({
        {"VersionOriginal", c.stored},
        {"Stamp", c.stored},
        {"ReAskSecondsInterval", c.stored},
        {"ReAskSecondsLast", c.stored},
    }));
    EXPECT_EQ(c.int32Value, state.versionOriginal);
    EXPECT_EQ(c.int32Value, state.stamp);
    EXPECT_EQ(c.int64Value, state.reAskSecondsInterval);
    EXPECT_EQ(c.int64Value, state.reAskSecondsLast);
    const TUpdateOffer offer = ParseUpdateOffer(
        Values({{"SizeOfUpdateFile", c.stored}, {"VersionNew", c.stored}, {"Stamp", c.stored}}));
    EXPECT_EQ(c.int32Value, offer.updateFileSize);
    EXPECT_EQ(c.int32Value, offer.versionNew);
    EXPECT_EQ(c.int32Value, offer.stamp);
  }
}

TEST(InstalledStateParsing, AFreshInstallationHasNoRolloutNumberYet) {
  const TInstalledState fresh = ParseInstalledState(Values({}));
  EXPECT_EQ(-1, fresh.rolloutNumber);
  EXPECT_EQ(0, fresh.failedAttempts);
  const TInstalledState drawn =
      ParseInstalledState(Values({{"RolloutNumber", "4294967295"}, {"FailedAttempts", "2"}}));
  EXPECT_EQ(4294967295, drawn.rolloutNumber);
  EXPECT_EQ(2, drawn.failedAttempts);
}

TEST(OfferDecision, RetriesOfFailedAttemptsAndTheRollout) {
  // A failed attempt is retried at the next check, twice; the third failure
  // waits for the re-ask like a declined offer. A rollout holds back only
  // automatic checks, after the version tests and before the size.
  struct Case {
    const char* name;
    bool stampSeen;
    int32_t failed, percent;
    int64_t now;
    bool userAsked, sizeKnown;
    const char* expected;
  } cases[] = {
      {"stamp seen after one failure", true, 1, 100, 5050, false, true, "Perform"},
      {"stamp seen after two failures", true, 2, 100, 5050, false, true, "Perform"},
      {"stamp seen after three failures", true, 3, 100, 5050, false, true, "AlreadyOffered"},
      {"three failures, then the re-ask is due", true, 3, 100, 5101, false, true, "Perform"},
      {"failures of another stamp", false, 3, 100, 5050, false, true, "Perform"},
      {"rollout stopped", false, 0, 0, 5050, false, true, "OutsideRollout"},
      {"rollout stopped, the user asked", false, 0, 0, 5050, true, true, "Perform"},
      {"rollout before the size", false, 0, 0, 5050, false, false, "OutsideRollout"},
      {"a retry is held back by the rollout", true, 1, 0, 5050, false, true, "OutsideRollout"},
  };
  for (const Case& c : cases) {
    TOfferInput in = PerformingInput();
    if (c.stampSeen) in.installed.stamp = in.offer.stamp;
    in.installed.failedAttempts = c.failed;
    in.offer.rolloutPercent = c.percent;
    in.now = c.now;
    in.userAsked = c.userAsked;
    if (!c.sizeKnown) in.availableSize.reset();
    EXPECT_STREQ(c.expected, Name(DecideOnOffer(in))) << c.name;
  }
  TOfferInput notListed = PerformingInput();
  notListed.offer.rolloutPercent = 0;
  notListed.offer.validVersions = "2";
  EXPECT_EQ(TOfferDecision::VersionNotListed, DecideOnOffer(notListed));
}

TEST(FailedAttempts, CountedPerStampFromTheStartOfEachAttempt) {
  struct Case {
    int32_t installedStamp, failed, offerStamp, expected;
  } cases[] = {
      {7, 0, 8, 1},  {7, 2, 8, 1},  // a new stamp starts again
      {7, 0, 7, 1},  {7, 1, 7, 2},  {7, 2, 7, 3},
      {7, 3, 7, 3},  {7, 99, 7, 3},  // past the retries it stays past them
      {7, -4, 7, 1},                 // a damaged count starts again
  };
  for (const Case& c : cases) {
    TInstalledState installed;
    installed.stamp = c.installedStamp;
    installed.failedAttempts = c.failed;
    EXPECT_EQ(c.expected, FailedAttemptsAtStart(installed, c.offerStamp))
        << c.installedStamp << "/" << c.failed << " -> " << c.offerStamp;
  }
}

TEST(Rollout, ShareOfTenThousandInstallations) {
  // Drawn numbers, and plain consecutive ones: the mixing with the stamp
  // spreads even a poor draw.
  std::mt19937 random(2026);
  std::vector<uint32_t> drawn(10000);
  for (uint32_t& number : drawn) number = static_cast<uint32_t>(random());
  std::vector<uint32_t> consecutive(10000);
  for (uint32_t i = 0; i < consecutive.size(); ++i) consecutive[i] = i;
  struct Case {
    int32_t percent, low, high;
  } cases[] = {
      {0, 0, 0},           {1, 50, 150}, {10, 900, 1100},     {50, 4800, 5200},
      {100, 10000, 10000}, {-5, 0, 0},   {150, 10000, 10000},
  };
  for (const std::vector<uint32_t>* numbers : {&drawn, &consecutive}) {
    for (const Case& c : cases) {
      int selected = 0;
      for (uint32_t number : *numbers) selected += InRollout(number, 20261209, c.percent) ? 1 : 0;
      EXPECT_GE(selected, c.low) << c.percent << "%";
      EXPECT_LE(selected, c.high) << c.percent << "%";
    }
  }
  // Another stamp selects other installations: at 10% each, about one in a
  // hundred is in both, never the same thousand. Widening a rollout keeps
  // every installation already in it.
  int both = 0;
  int first = 0;
  for (uint32_t number : drawn) {
    const bool in7 = InRollout(number, 7, 10);
    first += in7 ? 1 : 0;
    both += in7 && InRollout(number, 8, 10) ? 1 : 0;
    if (in7) EXPECT_TRUE(InRollout(number, 7, 20)) << number;
  }
  EXPECT_GE(first, 900);
  EXPECT_LE(both, 200);
}
