#include "update/update_settings.h"

#include <windows.h>
#include <ntsecapi.h>

#include "package/package_info.h"
#include "update/agent_state.h"
#include "update/settings_schema.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// The reply to a read command: the low 32 bits, as a 32-bit caller sees them.
LRESULT Low32(int64_t value) { return static_cast<LRESULT>(static_cast<int32_t>(value)); }

}  // namespace

TAgentSettings::TAgentSettings(const std::string& originalPath, const std::string& infoPath)
    : originalPath_(originalPath), infoPath_(infoPath) {}

TAgentSettings TAgentSettings::InFolder(const std::string& folder, const TGFileInfo& package) {
  TAgentSettings settings(folder, folder);
  settings.originalPath_ += package.OriginalFileName();
  settings.infoPath_ += package.InfoFileName();
  return settings;
}

namespace {

std::string ReadOriginal(const TAgentSettings& s, const char* section, const char* key,
                         const char* def = "") {
  return IniRead(s.OriginalPath(), section, key, def);
}

int64_t ReadOriginalInt(const TAgentSettings& s, const char* section, const char* key) {
  return StrToInt64Def(ReadOriginal(s, section, key, "0"), 0);
}

bool WriteOriginalInt(const TAgentSettings& s, const char* key, int64_t value) {
  return WritePrivateProfileStringA(schema::kOriginalSetup, key, Decimal(value).c_str(),
                                    s.OriginalPath().c_str()) != FALSE;
}

std::string ReadInfo(const TAgentSettings& s, const char* key, const char* def = "") {
  return IniRead(s.InfoPath(), schema::kNewSetup, key, def);
}

int32_t ReadInfoInt32(const TAgentSettings& s, const char* key) {
  return static_cast<int32_t>(StrToInt64Def(ReadInfo(s, key, "0"), 0));
}

bool ReadInfoFlag(const TAgentSettings& s, const char* key) {
  return IsIniFlag(ReadInfo(s, key, "0"));
}

// The byte is consulted first: while it overrides, the file is not read.
bool ReadOverridableFlag(const TAgentSettings& s, int index, const char* key) {
  if (PreferenceOverrides[index] != kFollowInfoFile) return OverriddenFlag(index, false);
  return ReadInfoFlag(s, key);
}

}  // namespace

int64_t TAgentSettings::ProbeSecondsInterval() const {
  return ReadOriginalInt(*this, schema::kOriginalSetup, schema::kProbeSecondsInterval);
}
bool TAgentSettings::SetProbeSecondsInterval(int64_t seconds) const {
  return WriteOriginalInt(*this, schema::kProbeSecondsInterval, seconds);
}
int64_t TAgentSettings::ProbeSecondsLast() const {
  return ReadOriginalInt(*this, schema::kOriginalSetup, schema::kProbeSecondsLast);
}
bool TAgentSettings::SetProbeSecondsLast(int64_t seconds) const {
  return WriteOriginalInt(*this, schema::kProbeSecondsLast, seconds);
}
int64_t TAgentSettings::ReAskSecondsInterval() const {
  return ReadOriginalInt(*this, schema::kOriginalSetup, schema::kReAskSecondsInterval);
}
bool TAgentSettings::SetReAskSecondsInterval(int64_t seconds) const {
  return WriteOriginalInt(*this, schema::kReAskSecondsInterval, seconds);
}
int64_t TAgentSettings::ReAskSecondsLast() const {
  return ReadOriginalInt(*this, schema::kOriginalSetup, schema::kReAskSecondsLast);
}
bool TAgentSettings::SetReAskSecondsLast(int64_t seconds) const {
  return WriteOriginalInt(*this, schema::kReAskSecondsLast, seconds);
}
int32_t TAgentSettings::VersionOriginal() const {
  return static_cast<int32_t>(
      ReadOriginalInt(*this, schema::kOriginalSetup, schema::kVersionOriginal));
}
bool TAgentSettings::SetVersionOriginal(int32_t version) const {
  return WriteOriginalInt(*this, schema::kVersionOriginal, version);
}
int32_t TAgentSettings::OriginalStamp() const {
  return static_cast<int32_t>(ReadOriginalInt(*this, schema::kOriginalSetup, schema::kStamp));
}
bool TAgentSettings::SetOriginalStamp(int32_t stamp) const {
  return WriteOriginalInt(*this, schema::kStamp, stamp);
}
std::string TAgentSettings::OriginalProgramName() const {
  return ReadOriginal(*this, schema::kOriginalSetup, schema::kProgramName);
}
bool TAgentSettings::SetFailedAttempts(int32_t attempts) const {
  return WriteOriginalInt(*this, schema::kFailedAttempts, attempts);
}
TInstalledState TAgentSettings::InstalledState() const {
  TInstalledState state = ParseInstalledState(
      [this](const char* key) { return ReadOriginal(*this, schema::kOriginalSetup, key); });
  // Drawn once and kept, so that an installation keeps its place in every
  // rollout; a draw the system fails leaves it at 0, still a place.
  if (state.rolloutNumber < 0) {
    uint32_t number = 0;
    RtlGenRandom(&number, sizeof number);
    state.rolloutNumber = number;
    WriteOriginalInt(*this, schema::kRolloutNumber, number);
  }
  return state;
}

std::string TAgentSettings::TargetDir() const {
  return ReadOriginal(*this, schema::kDirectories, schema::kTargetDir);
}
std::string TAgentSettings::SharedDir() const {
  return ReadOriginal(*this, schema::kDirectories, schema::kSharedDir);
}
std::string TAgentSettings::AuxiliaryDir() const {
  return ReadOriginal(*this, schema::kDirectories, schema::kAuxiliaryDir);
}
std::string TAgentSettings::StartUpLink() const {
  return ReadOriginal(*this, schema::kUnInstall, schema::kStartUpLink);
}
std::string TAgentSettings::CheckforNewUpdateLink() const {
  return ReadOriginal(*this, schema::kUnInstall, schema::kCheckforNewUpdateLink);
}

std::string TAgentSettings::BtnText() const {
  return ReadOriginal(*this, schema::kMsgBox, schema::kBtnText, kDefaultBtnText);
}
std::string TAgentSettings::Caption(const char* key) const {
  return ReadOriginal(*this, schema::kMsgBox, key, key);
}
int32_t TAgentSettings::MsgBoxCharSet() const {
  return static_cast<int32_t>(ReadOriginalInt(*this, schema::kMsgBox, schema::kCharSet));
}

std::string TAgentSettings::AutoUpdateText(const char* id, const std::string& def) const {
  return ReadOriginal(*this, schema::kAutoUpdate, id, def.c_str());
}
std::string TAgentSettings::AutoUpdateText(const char* id) const {
  return AutoUpdateText(id, DefaultAutoUpdateText(id, OriginalProgramName()));
}

TUpdateOffer TAgentSettings::Offer() const {
  return ParseUpdateOffer([this](const char* key) { return ReadInfo(*this, key); });
}
std::string TAgentSettings::DownloadURL_UPDATE() const {
  return ReadInfo(*this, schema::kDownloadURL_UPDATE);
}
std::string TAgentSettings::NameOfUpdateFile() const {
  return ReadInfo(*this, schema::kNameOfUpdateFile);
}
int32_t TAgentSettings::SizeOfUpdateFile() const {
  return ReadInfoInt32(*this, schema::kSizeOfUpdateFile);
}
std::string TAgentSettings::AnnouncedSha256(const char* key) const { return ReadInfo(*this, key); }
std::string TAgentSettings::SignerKeySha256() const {
  return ReadOriginal(*this, schema::kSecurity, schema::kSignerKeySha256);
}
int32_t TAgentSettings::VersionNew() const { return ReadInfoInt32(*this, schema::kVersionNew); }
int32_t TAgentSettings::NewStamp() const { return ReadInfoInt32(*this, schema::kStamp); }
std::string TAgentSettings::ValidVersions() const {
  return ReadInfo(*this, schema::kValidVersions);
}
std::string TAgentSettings::NewProgramName() const { return ReadInfo(*this, schema::kProgramName); }
std::string TAgentSettings::RunningProcess() const {
  return ReadInfo(*this, schema::kRunningProcess);
}
std::string TAgentSettings::ShutDownMethod() const {
  return ReadInfo(*this, schema::kShutDownMethod);
}
bool TAgentSettings::RequestConfirmationBeforeDownload() const {
  return ReadOverridableFlag(*this, kConfirmBeforeDownload,
                             schema::kRequestConfirmationBeforeDownload);
}
bool TAgentSettings::RequestConfirmationBeforeInstall() const {
  return ReadOverridableFlag(*this, kConfirmBeforeInstall,
                             schema::kRequestConfirmationBeforeInstall);
}
bool TAgentSettings::BackgroundUpdate() const {
  return ReadOverridableFlag(*this, kBackgroundUpdate, schema::kBackgroundUpdate);
}
bool TAgentSettings::InformFinish() const {
  return ReadOverridableFlag(*this, kInformFinish, schema::kInformFinish);
}
bool TAgentSettings::RestartProcess() const {
  return ReadOverridableFlag(*this, kRestartProcess, schema::kRestartProcess);
}
bool TAgentSettings::RemoveStartUpShortcut() const {
  return ReadInfoFlag(*this, schema::kRemoveStartUpShortcut);
}
bool TAgentSettings::RemoveCheckForNewUpdateShortcut() const {
  return ReadInfoFlag(*this, schema::kRemoveCheckForNewUpdateShortcut);
}

LRESULT TAgentSettings::HandleAgentCommand(WPARAM code, LPARAM value) const {
  // The application passes a 32-bit value; setters store it sign-extended.
  const int32_t argument = static_cast<int32_t>(value);
  const auto command = static_cast<TAgentCommand>(code);
  if (command >= TAgentCommand::SetFirstPreference && command <= TAgentCommand::SetLastPreference) {
    const auto first = static_cast<WPARAM>(TAgentCommand::SetFirstPreference);
    SetPreferenceOverride(static_cast<int>(code - first), static_cast<uint8_t>(argument & 0xFF));
    return 0;
  }
  // The four times, read by GetProbeSecondsInterval.. and written by
  // SetProbeSecondsInterval.., both in the order of kTimeKeys.
  static const char* const kTimeKeys[] = {schema::kProbeSecondsInterval,
                                          schema::kReAskSecondsInterval, schema::kProbeSecondsLast,
                                          schema::kReAskSecondsLast};
  const auto firstGet = static_cast<WPARAM>(TAgentCommand::GetProbeSecondsInterval);
  const auto firstSet = static_cast<WPARAM>(TAgentCommand::SetProbeSecondsInterval);
  if (code >= firstGet && code < firstSet + 4) {
    const char* key = kTimeKeys[(code - firstGet) % 4];
    if (code < firstSet) return Low32(ReadOriginalInt(*this, schema::kOriginalSetup, key));
    WriteOriginalInt(*this, key, argument);
    return 0;
  }
  switch (command) {
    case TAgentCommand::GetVersionOriginal:
      return Low32(VersionOriginal());
    case TAgentCommand::GetVersionNew:
      return Low32(VersionNew());
    case TAgentCommand::GetAgentPhase:
      return Low32(static_cast<int32_t>(AgentPhase));
    case TAgentCommand::SetStopCountdown:
      StopCountdown = argument;
      return 0;
    case TAgentCommand::CheckNow:
      CheckNowRequested = true;
      if (argument == static_cast<int32_t>(TCheckRequest::UserCheckPending)) {
        CheckRequestMode = TCheckRequest::UserCheckPending;
      }
      return 0;
    default:
      return 0;
  }
}

TAgentSettings OwnAgentSettings(const TGFileInfo& own) {
  return TAgentSettings::InFolder(ProgramDir(true), own);
}
