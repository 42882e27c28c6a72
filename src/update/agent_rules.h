// Pure rules of the agent's schedule, of its decision on the update on
// offer, and of reading that offer and the installed settings from their
// INI values; unit-tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "util/callback.h"

// The answer of the schedule, and of the question whether to check.
enum class TCheckDecision : int {
  No = 0,
  Yes = 1,
  YesThenStopAutoChecks = 2,  // check, then turn automatic checking off
};

struct TScheduleInput {
  bool autoCheckEnabled = true;
  bool checkNowRequested = false;
  bool testMode = false;
  int64_t probeSecondsInterval = 0;  // as stored
  int64_t probeSecondsLast = 0;
  int64_t now = 0;
};

TCheckDecision ScheduleDecision(const TScheduleInput& in);

// Now is strictly after last + interval and the interval is above 0.
bool ReAskDue(int64_t now, int64_t reAskLast, int64_t reAskInterval);

// Empty list: any version; else "," + version + "," occurs in "," + list + ",".
bool VersionListed(const std::string& validVersions, int32_t versionOriginal);

// "DD-MM-YYYY  HH:MM:SS" of a broken-down local time.
std::string FireStamp(int year, int month, int day, int hour, int minute, int second);

// One INI value of a section by its key; a missing key reads as "".
using TIniValues = TCallback<std::string(const char* key)>;

// The update on offer: the "NewSetup" section of the info file. Integers
// that do not convert read as 0 and keep their low 32 bits; flags are the
// file's own values, before any preference override.
struct TUpdateOffer {
  std::string downloadUrl;
  std::string updateFileName;
  int32_t updateFileSize = 0;
  int32_t versionNew = 0;
  int32_t stamp = 0;
  std::string validVersions;  // comma-separated, no blanks; empty = any
  // Share of installations an automatic check offers it to; absent: 100.
  // Below 0 counts as 0, above 100 as 100.
  int32_t rolloutPercent = 100;
  std::string programName;
  std::string runningProcess;
  std::string shutDownMethod;
  bool confirmBeforeDownload = false;
  bool confirmBeforeInstall = false;
  bool backgroundUpdate = false;
  bool informFinish = false;
  bool restartProcess = false;
  // The delta package; empty when none is on offer.
  std::string deltaFileName;
  int32_t deltaFileSize = 0;
  int32_t deltaFromVersion = 0;  // the release it rebuilds from
};
TUpdateOffer ParseUpdateOffer(const TIniValues& newSetup);

// What the decision needs of the installation settings file's
// "OriginalSetup" section.
struct TInstalledState {
  int32_t versionOriginal = 0;  // 0 or less turns updating off
  int32_t stamp = 0;            // of the last offer whose procedure started
  int64_t reAskSecondsInterval = 0;
  int64_t reAskSecondsLast = 0;
  int32_t failedAttempts = 0;  // of the update of `stamp`, see FailedAttemptsAtStart
  int64_t rolloutNumber = -1;  // the installation's own 32-bit draw; -1: none yet
};
TInstalledState ParseInstalledState(const TIniValues& originalSetup);

enum class TOfferDecision {
  UpdatingOff,       // the installed version is 0 or less
  AlreadyOffered,    // same stamp as the last procedure, re-ask not due
  NotNewer,          // the offered version is not above the installed one
  VersionNotListed,  // the installed version is not among the valid ones
  OutsideRollout,    // an automatic check, and the rollout has not reached this installation
  SizeNeeded,        // all else holds: ask for the update file's size
  SizeMismatch,      // the update file on offer has another size
  Perform,           // start the update procedure
};

struct TOfferInput {
  TUpdateOffer offer;
  TInstalledState installed;
  int64_t now = 0;
  bool userAsked = false;  // a check the user started sees every offer anew
  // Size of the update file where it lies; none until asked for, -1 when
  // it could not be found.
  std::optional<int64_t> availableSize;
  // The size asked for is the delta package's (see DeltaApplies).
  bool delta = false;
};

// The delta package on offer rebuilds the installed release.
bool DeltaApplies(const TUpdateOffer& offer, const TInstalledState& installed);

// The tests in the order the agent makes them; the size is asked for only
// once every other test has passed. An offer already seen comes again when
// its re-ask is due, when the user asked, or while a failed attempt at it
// may be retried.
TOfferDecision DecideOnOffer(const TOfferInput& in);

// Failed attempts at one stamp after which it waits for the re-ask interval
// like a declined offer, so that a broken release is not fetched at every
// check for ever.
inline constexpr int32_t kRetriedFailures = 3;

// The failed-attempt count recorded when the procedure for the offer of
// `offerStamp` starts: this attempt counts as failed until it ends
// otherwise, so that an agent ending during the update leaves it counted.
// A new stamp starts the count again.
int32_t FailedAttemptsAtStart(const TInstalledState& installed, int32_t offerStamp);

// An installation takes part in a rollout of `percent` (0..100) when its
// own number, mixed with the offer's stamp so that the same installations
// are not always first, falls below that share of the 32-bit range.
bool InRollout(uint32_t rolloutNumber, int32_t stamp, int32_t percent);

// A pinned installation installs only a package that records, under its
// publisher's signature, the version the info file offers, and that
// version is above the installed one: an old signed release offered under
// a new number is refused.
bool RecordedVersionOffered(int32_t recorded, int32_t versionNew, int32_t versionOriginal);
