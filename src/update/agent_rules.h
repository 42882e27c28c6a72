// Pure rules of the agent's schedule and version tests, unit-tested natively.
#pragma once

#include <cstdint>
#include <string>

struct TScheduleInput {
  bool autoCheckEnabled = true;
  bool checkNowRequested = false;
  bool testMode = false;
  int64_t probeSecondsInterval = 0;  // as stored
  int64_t probeSecondsLast = 0;
  int64_t now = 0;
};

// 0 no check, 1 check, 2 check and turn automatic checking off afterwards.
int ScheduleDecision(const TScheduleInput& in);

// Now is strictly after last + interval and the interval is above 0.
bool ReAskDue(int64_t now, int64_t reAskLast, int64_t reAskInterval);

// Empty list: any version; else "," + version + "," occurs in "," + list + ",".
bool VersionListed(const std::string& validVersions, int32_t versionOriginal);

// "DD-MM-YYYY  HH:MM:SS" of a broken-down local time.
std::string FireStamp(int year, int month, int day, int hour, int minute, int second);
