#include "update/agent_rules.h"

#include "update/settings_schema.h"
#include "update/update_settings_rules.h"
#include "util/text.h"

namespace {

// `now` compared with `last` + `interval` (-1, 0, 1), exact for any values a
// settings file may hold: a sum beyond the 64-bit range lies after every
// point in time (or before, for a negative one).
int CompareWithSum(int64_t now, int64_t last, int64_t interval) {
  int64_t sum = 0;
  if (__builtin_add_overflow(last, interval, &sum)) return interval > 0 ? -1 : 1;
  return now < sum ? -1 : (now > sum ? 1 : 0);
}

}  // namespace

TCheckDecision ScheduleDecision(const TScheduleInput& in) {
  if (!in.autoCheckEnabled && !in.checkNowRequested) return TCheckDecision::No;
  // The stored interval counts by its low 32 bits, read as signed.
  const int64_t interval = in.testMode ? 5 : static_cast<int32_t>(in.probeSecondsInterval);
  TCheckDecision answer = CompareWithSum(in.now, in.probeSecondsLast, interval) >= 0
                              ? TCheckDecision::Yes
                              : TCheckDecision::No;
  if (in.probeSecondsInterval == 0 && answer == TCheckDecision::Yes) {
    answer = TCheckDecision::YesThenStopAutoChecks;
  }
  if (in.probeSecondsInterval == -1) answer = TCheckDecision::No;
  if (in.checkNowRequested) answer = TCheckDecision::Yes;
  return answer;
}

bool ReAskDue(int64_t now, int64_t reAskLast, int64_t reAskInterval) {
  return CompareWithSum(now, reAskLast, reAskInterval) > 0 && reAskInterval > 0;
}

bool VersionListed(const std::string& validVersions, int32_t versionOriginal) {
  if (validVersions.empty()) return true;
  // Some field between commas is the version's decimal text, exactly.
  const std::string version = Decimal(versionOriginal);
  for (size_t start = 0;;) {
    const size_t end = validVersions.find(',', start);
    if (validVersions.compare(start, end - start, version) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

std::string FireStamp(int year, int month, int day, int hour, int minute, int second) {
  const int parts[] = {day, month, year, hour, minute, second};
  static const char* const kAfter[] = {"-", "-", "  ", ":", ":", ""};
  std::string stamp;
  for (int i = 0; i < 6; ++i) {
    stamp += ZeroPad(parts[i], i == 2 ? 4 : 2);
    stamp += kAfter[i];
  }
  return stamp;
}

namespace {

int64_t Int64Value(const TIniValues& values, const char* key, int64_t def = 0) {
  return StrToInt64Def(values(key), def);
}

int32_t Int32Value(const TIniValues& values, const char* key, int32_t def = 0) {
  return static_cast<int32_t>(Int64Value(values, key, def));
}

}  // namespace

TUpdateOffer ParseUpdateOffer(const TIniValues& newSetup) {
  // One table per kind of value, so each key costs a table row, not a call.
  static const struct {
    const char* key;
    std::string TUpdateOffer::*field;
  } kTexts[] = {
      {schema::kDownloadURL_UPDATE, &TUpdateOffer::downloadUrl},
      {schema::kNameOfUpdateFile, &TUpdateOffer::updateFileName},
      {schema::kNameOfDeltaFile, &TUpdateOffer::deltaFileName},
      {schema::kValidVersions, &TUpdateOffer::validVersions},
      {schema::kProgramName, &TUpdateOffer::programName},
      {schema::kRunningProcess, &TUpdateOffer::runningProcess},
      {schema::kShutDownMethod, &TUpdateOffer::shutDownMethod},
  };
  static const struct {
    const char* key;
    int32_t TUpdateOffer::*field;
    int32_t def;  // of a key that is missing or does not convert
  } kNumbers[] = {
      {schema::kSizeOfUpdateFile, &TUpdateOffer::updateFileSize, 0},
      {schema::kVersionNew, &TUpdateOffer::versionNew, 0},
      {schema::kStamp, &TUpdateOffer::stamp, 0},
      {schema::kRolloutPercent, &TUpdateOffer::rolloutPercent, 100},
      {schema::kSizeOfDeltaFile, &TUpdateOffer::deltaFileSize, 0},
      {schema::kDeltaFromVersion, &TUpdateOffer::deltaFromVersion, 0},
  };
  static const struct {
    const char* key;
    bool TUpdateOffer::*field;
  } kFlags[] = {
      {schema::kRequestConfirmationBeforeDownload, &TUpdateOffer::confirmBeforeDownload},
      {schema::kRequestConfirmationBeforeInstall, &TUpdateOffer::confirmBeforeInstall},
      {schema::kBackgroundUpdate, &TUpdateOffer::backgroundUpdate},
      {schema::kInformFinish, &TUpdateOffer::informFinish},
      {schema::kRestartProcess, &TUpdateOffer::restartProcess},
  };
  TUpdateOffer offer;
  for (const auto& text : kTexts) offer.*text.field = newSetup(text.key);
  for (const auto& number : kNumbers) {
    offer.*number.field = Int32Value(newSetup, number.key, number.def);
  }
  for (const auto& flag : kFlags) offer.*flag.field = IsIniFlag(newSetup(flag.key));
  return offer;
}

TInstalledState ParseInstalledState(const TIniValues& originalSetup) {
  TInstalledState state;
  state.versionOriginal = Int32Value(originalSetup, schema::kVersionOriginal);
  state.stamp = Int32Value(originalSetup, schema::kStamp);
  state.reAskSecondsInterval = Int64Value(originalSetup, schema::kReAskSecondsInterval);
  state.reAskSecondsLast = Int64Value(originalSetup, schema::kReAskSecondsLast);
  state.failedAttempts = Int32Value(originalSetup, schema::kFailedAttempts);
  state.rolloutNumber = Int64Value(originalSetup, schema::kRolloutNumber, -1);
  return state;
}

TOfferDecision DecideOnOffer(const TOfferInput& in) {
  const TUpdateOffer& offer = in.offer;
  const TInstalledState& installed = in.installed;
  if (installed.versionOriginal <= 0) return TOfferDecision::UpdatingOff;
  const bool reAskDue =
      ReAskDue(in.now, installed.reAskSecondsLast, installed.reAskSecondsInterval);
  const bool retryDue = installed.failedAttempts > 0 && installed.failedAttempts < kRetriedFailures;
  if (offer.stamp == installed.stamp && !reAskDue && !in.userAsked && !retryDue) {
    return TOfferDecision::AlreadyOffered;
  }
  if (offer.versionNew <= installed.versionOriginal) return TOfferDecision::NotNewer;
  if (!VersionListed(offer.validVersions, installed.versionOriginal)) {
    return TOfferDecision::VersionNotListed;
  }
  if (!in.userAsked && !InRollout(static_cast<uint32_t>(installed.rolloutNumber), offer.stamp,
                                  offer.rolloutPercent)) {
    return TOfferDecision::OutsideRollout;
  }
  if (!in.availableSize) return TOfferDecision::SizeNeeded;
  // The size as the info file states it, by its low 32 bits.
  if (*in.availableSize != (in.delta ? offer.deltaFileSize : offer.updateFileSize)) {
    return TOfferDecision::SizeMismatch;
  }
  return TOfferDecision::Perform;
}

bool DeltaApplies(const TUpdateOffer& offer, const TInstalledState& installed) {
  return !offer.deltaFileName.empty() && offer.deltaFromVersion == installed.versionOriginal;
}

int32_t FailedAttemptsAtStart(const TInstalledState& installed, int32_t offerStamp) {
  if (offerStamp != installed.stamp || installed.failedAttempts < 0) return 1;
  // Past the retries the count only needs to stay past them.
  return installed.failedAttempts < kRetriedFailures ? installed.failedAttempts + 1
                                                     : kRetriedFailures;
}

namespace {

// The finalizer of MurmurHash3: every input bit moves every output bit.
uint32_t Mix(uint32_t value) {
  value ^= value >> 16;
  value *= 0x85EBCA6Bu;
  value ^= value >> 13;
  value *= 0xC2B2AE35u;
  value ^= value >> 16;
  return value;
}

}  // namespace

bool InRollout(uint32_t rolloutNumber, int32_t stamp, int32_t percent) {
  if (percent >= 100) return true;
  if (percent <= 0) return false;
  const uint32_t place = Mix(rolloutNumber ^ Mix(static_cast<uint32_t>(stamp)));
  return uint64_t{place} * 100 < uint64_t{static_cast<uint32_t>(percent)} << 32;
}

bool RecordedVersionOffered(int32_t recorded, int32_t versionNew, int32_t versionOriginal) {
  return recorded == versionNew && recorded > versionOriginal;
}
