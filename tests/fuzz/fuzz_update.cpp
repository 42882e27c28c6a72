// The values of the agent's info and settings files and of a download:
// sizes, versions, valid-version lists, stamps, intervals, the override
// list, the Content-Range answer and the progress text. The input is read
// as "key=value" lines, the way the files come from the server and disk.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "update/agent_rules.h"
#include "update/download_progress.h"
#include "update/download_rules.h"
#include "update/settings_schema.h"
#include "update/update_settings_rules.h"
#include "util/seconds.h"
#include "util/text.h"

namespace {

uint32_t fakeTick = 0;
uint32_t FakeTick() { return fakeTick; }

// The value of the first line "key=value" (blanks around the value
// dropped, as the system's INI reader does), "" without one.
std::string IniValue(const std::string& lines, const char* key) {
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string::npos && SameTextTrimmed(line.substr(0, equals), key)) {
      return Trim(line.substr(equals + 1));
    }
    start = end + 1;
  }
  return "";
}

void OfferAndSchedule(const std::string& lines, TFuzzInput& in) {
  const TIniValues values = [&](const char* key) { return IniValue(lines, key); };
  const TUpdateOffer offer = ParseUpdateOffer(values);
  const TInstalledState installed = ParseInstalledState(values);
  FUZZ_CHECK(offer.versionNew ==
             static_cast<int32_t>(StrToInt64Def(values(schema::kVersionNew), 0)));
  FUZZ_CHECK(installed.reAskSecondsInterval ==
             StrToInt64Def(values(schema::kReAskSecondsInterval), 0));
  FUZZ_CHECK(offer.restartProcess == (values(schema::kRestartProcess) == "1"));

  TOfferInput input;
  input.offer = offer;
  input.installed = installed;
  input.now = in.I64();
  input.userAsked = (in.Byte() & 1) != 0;
  const TOfferDecision first = DecideOnOffer(input);
  if (installed.versionOriginal <= 0) FUZZ_CHECK(first == TOfferDecision::UpdatingOff);
  if (first == TOfferDecision::SizeNeeded) {
    input.availableSize = in.I64() % 3 == 0 ? int64_t{offer.updateFileSize} : in.I64();
    const TOfferDecision second = DecideOnOffer(input);
    FUZZ_CHECK(second == TOfferDecision::Perform || second == TOfferDecision::SizeMismatch);
    FUZZ_CHECK((second == TOfferDecision::Perform) ==
               (*input.availableSize == offer.updateFileSize));
  }
  if (first == TOfferDecision::Perform || first == TOfferDecision::SizeNeeded) {
    FUZZ_CHECK(offer.versionNew > installed.versionOriginal);
    FUZZ_CHECK(VersionListed(offer.validVersions, installed.versionOriginal));
  }
  // A version written into the list is found there.
  const std::string version = std::to_string(installed.versionOriginal);
  const std::string listed =
      offer.validVersions.empty() ? version : offer.validVersions + "," + version;
  FUZZ_CHECK(VersionListed(listed, installed.versionOriginal));

  TScheduleInput schedule;
  schedule.autoCheckEnabled = (in.Byte() & 1) != 0;
  schedule.checkNowRequested = (in.Byte() & 1) != 0;
  schedule.testMode = (in.Byte() & 1) != 0;
  schedule.probeSecondsInterval = StrToInt64Def(values(schema::kProbeSecondsInterval), 0);
  schedule.probeSecondsLast = StrToInt64Def(values(schema::kProbeSecondsLast), 0);
  schedule.now = input.now;
  const TCheckDecision decision = ScheduleDecision(schedule);
  if (schedule.checkNowRequested) FUZZ_CHECK(decision == TCheckDecision::Yes);
  if (!schedule.autoCheckEnabled && !schedule.checkNowRequested) {
    FUZZ_CHECK(decision == TCheckDecision::No);
  }
  if (schedule.probeSecondsInterval == -1 && !schedule.checkNowRequested) {
    FUZZ_CHECK(decision == TCheckDecision::No);
  }
  ReAskDue(input.now, installed.reAskSecondsLast, installed.reAskSecondsInterval);

  // The override list survives its own text.
  ParseOverrideList(values("Overrides"));
  uint8_t before[kPreferenceCount];
  std::copy(PreferenceOverrides, PreferenceOverrides + kPreferenceCount, before);
  const std::string text = FormatOverrideList();
  std::fill(PreferenceOverrides, PreferenceOverrides + kPreferenceCount, uint8_t{7});
  ParseOverrideList(text);
  FUZZ_CHECK(std::equal(before, before + kPreferenceCount, PreferenceOverrides));
  for (int i = -1; i <= kPreferenceCount; ++i) OverriddenFlag(i, true);
  std::fill(PreferenceOverrides, PreferenceOverrides + kPreferenceCount, kFollowInfoFile);

  const std::string id = values("Id");
  DefaultAutoUpdateText(id.c_str(), offer.programName);
  FUZZ_CHECK(IsIniFlag(id) == (id == "1"));
}

void Download(const std::string& contentRange, TFuzzInput& in) {
  const int32_t total = in.I32();
  const int32_t done = in.I32();
  const int32_t stamp = in.I32();
  // Positions and lengths of a download are 32-bit values widened.
  const int64_t from = in.I32();
  const int64_t size = in.I32();
  const int32_t chunk = DownloadChunkSize(total);
  FUZZ_CHECK(chunk >= 1 && chunk <= 10240);
  const int32_t range = ProgressRangeMax(total, chunk);
  const int32_t position = ProgressPosition(done, chunk);
  if (total > 0 && done >= 0 && done <= total) FUZZ_CHECK(position >= 0 && position < range);

  const std::string partial = PartialFileName(contentRange, total, stamp);
  FUZZ_CHECK(partial.compare(0, contentRange.size(), contentRange) == 0);

  // The answer the server gives for the rest is accepted; the text from
  // outside only when its numbers say so.
  if (from >= 0 && size > from) {
    const std::string exact = "bytes " + std::to_string(from) + "-" + std::to_string(size - 1) +
                              "/" + std::to_string(size);
    FUZZ_CHECK(ContentRangeResumes(exact, from, size));
  }
  if (ContentRangeResumes(contentRange, from, size)) {
    FUZZ_CHECK(PosText(std::to_string(from), contentRange) > 0);
  }
  FUZZ_CHECK(RangeRequestHeader(from).size() > 2);

  const int year = in.I32() % 4000, month = in.Byte() % 14, day = in.Byte() % 33;
  const int hour = in.Byte() % 26, minute = in.Byte() % 62, second = in.Byte() % 62;
  const int32_t dos = DosStampOfDate(year, month, day, hour, minute, second);
  if (dos != 0) {
    const uint32_t bits = static_cast<uint32_t>(dos);
    FUZZ_CHECK(static_cast<int>(bits >> 25) + 1980 == year);
    FUZZ_CHECK(static_cast<int>(bits >> 21 & 15) == month);
    FUZZ_CHECK(static_cast<int>(bits >> 16 & 31) == day);
    FUZZ_CHECK(static_cast<int>(bits >> 11 & 31) == hour);
    FUZZ_CHECK(static_cast<int>(bits >> 5 & 63) == minute);
    FUZZ_CHECK(static_cast<int>(bits & 31) == second / 2);
  }
  TLocalTime time;
  time.year = year;
  time.month = 1 + month % 12;
  time.day = 1 + day % 31;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  const int64_t seconds = SecondsSince1899(time);
  FUZZ_CHECK(seconds / 86400 - DaysSince1899(time.year, time.month, time.day) <= 2);
  FUZZ_CHECK(FireStamp(year, month, day, hour, minute, second).size() >= 20);

  // The progress text starts with the byte counts, whatever the clock does.
  fakeTick = in.U32();
  SetDownloadTickSource(FakeTick);
  const bool reset = (in.Byte() & 1) != 0;
  TDownloadRate rate;
  rate.Progress(true, total, 0, 0);
  const std::string progress = rate.Progress(reset, total, done, in.I32());
  const std::string counts = std::to_string(done) + "/" + std::to_string(total) + " Bytes   ";
  FUZZ_CHECK(progress.compare(0, counts.size(), counts) == 0);
  FUZZ_CHECK(progress.size() < counts.size() + 48);
  FUZZ_CHECK(TestModeReadDue(true, in.U32(), in.U32()));
  SetDownloadTickSource(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const uint8_t choice = in.Byte();
  const std::string text = in.Text();
  if (choice & 1) {
    Download(text, in);
  } else {
    OfferAndSchedule(text, in);
  }
  return 0;
}
