#include "update/agent_rules.h"

#include <cstdio>

int ScheduleDecision(const TScheduleInput& in) {
  if (!in.autoCheckEnabled && !in.checkNowRequested) return 0;
  // The stored interval counts by its low 32 bits, read as signed.
  const int64_t interval = in.testMode ? 5 : static_cast<int32_t>(in.probeSecondsInterval);
  int answer = in.now >= in.probeSecondsLast + interval ? 1 : 0;
  if (in.probeSecondsInterval == 0 && answer == 1) answer = 2;
  if (in.probeSecondsInterval == -1) answer = 0;
  if (in.checkNowRequested) answer = 1;
  return answer;
}

bool ReAskDue(int64_t now, int64_t reAskLast, int64_t reAskInterval) {
  return now > reAskLast + reAskInterval && reAskInterval > 0;
}

bool VersionListed(const std::string& validVersions, int32_t versionOriginal) {
  if (validVersions.empty()) return true;
  const std::string needle = "," + std::to_string(versionOriginal) + ",";
  return ("," + validVersions + ",").find(needle) != std::string::npos;
}

std::string FireStamp(int year, int month, int day, int hour, int minute, int second) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02d-%02d-%04d  %02d:%02d:%02d", day, month, year, hour,
                minute, second);
  return text;
}
