#include <windows.h>

#include "package/package_info.h"
#include "startup/entry.h"
#include "update/agent_state.h"
#include "update/settings_schema.h"
#include "update/update_settings.h"
#include "util/winapi.h"

namespace {

std::string ReadOriginal(const char* section, const char* key, const std::string& def = "") {
  return IniRead(OriginalSetupPath(), section, key, def);
}

int64_t ReadOriginalInt(const char* key) {
  return IniReadInt(OriginalSetupPath(), schema::kOriginalSetup, key, 0);
}

bool WriteOriginalInt(const char* key, int64_t value) {
  return IniWriteInt(OriginalSetupPath(), schema::kOriginalSetup, key, value);
}

std::string ReadInfo(const char* key) {
  return IniRead(InfoFilePath(), schema::kNewSetup, key, "");
}

int32_t ReadInfoInt32(const char* key) {
  return static_cast<int32_t>(IniReadInt(InfoFilePath(), schema::kNewSetup, key, 0));
}

bool ReadInfoFlag(const char* key) {
  return IsIniFlag(IniRead(InfoFilePath(), schema::kNewSetup, key, "0"));
}

// The byte is consulted first: while it overrides, the file is not read.
bool ReadOverridableFlag(int index, const char* key) {
  if (PreferenceOverrides[index] != kFollowInfoFile) return OverriddenFlag(index, false);
  return ReadInfoFlag(key);
}

// The reply to a read command: the low 32 bits, as a 32-bit caller sees them.
LRESULT Low32(int64_t value) { return static_cast<LRESULT>(static_cast<int32_t>(value)); }

}  // namespace

std::string OriginalSetupPath() { return ProgramDir(true) + OwnPackageInfo().OriginalFileName(); }

std::string InfoFilePath() { return ProgramDir(true) + OwnPackageInfo().InfoFileName(); }

int64_t GetProbeSecondsInterval() { return ReadOriginalInt(schema::kProbeSecondsInterval); }
bool SetProbeSecondsInterval(int64_t seconds) {
  return WriteOriginalInt(schema::kProbeSecondsInterval, seconds);
}
int64_t GetProbeSecondsLast() { return ReadOriginalInt(schema::kProbeSecondsLast); }
bool SetProbeSecondsLast(int64_t seconds) {
  return WriteOriginalInt(schema::kProbeSecondsLast, seconds);
}
int64_t GetReAskSecondsInterval() { return ReadOriginalInt(schema::kReAskSecondsInterval); }
bool SetReAskSecondsInterval(int64_t seconds) {
  return WriteOriginalInt(schema::kReAskSecondsInterval, seconds);
}
int64_t GetReAskSecondsLast() { return ReadOriginalInt(schema::kReAskSecondsLast); }
bool SetReAskSecondsLast(int64_t seconds) {
  return WriteOriginalInt(schema::kReAskSecondsLast, seconds);
}
int32_t GetVersionOriginal() {
  return static_cast<int32_t>(ReadOriginalInt(schema::kVersionOriginal));
}
bool SetVersionOriginal(int32_t version) {
  return WriteOriginalInt(schema::kVersionOriginal, version);
}
int32_t GetOriginalStamp() { return static_cast<int32_t>(ReadOriginalInt(schema::kStamp)); }
bool SetOriginalStamp(int32_t stamp) { return WriteOriginalInt(schema::kStamp, stamp); }
std::string GetOriginalProgramName() {
  return ReadOriginal(schema::kOriginalSetup, schema::kProgramName);
}

std::string GetTargetDir() { return ReadOriginal(schema::kDirectories, schema::kTargetDir); }
std::string GetSharedDir() { return ReadOriginal(schema::kDirectories, schema::kSharedDir); }
std::string GetAuxiliaryDir() { return ReadOriginal(schema::kDirectories, schema::kAuxiliaryDir); }
std::string GetStartUpLink() { return ReadOriginal(schema::kUnInstall, schema::kStartUpLink); }
std::string GetCheckforNewUpdateLink() {
  return ReadOriginal(schema::kUnInstall, schema::kCheckforNewUpdateLink);
}

std::string GetBtnText() {
  return ReadOriginal(schema::kMsgBox, schema::kBtnText, kDefaultBtnText);
}
std::string GetErrorCaption() {
  return ReadOriginal(schema::kMsgBox, schema::kErrorCaption, schema::kErrorCaption);
}
std::string GetConfirmCaption() {
  return ReadOriginal(schema::kMsgBox, schema::kConfirmCaption, schema::kConfirmCaption);
}
std::string GetAttentionCaption() {
  return ReadOriginal(schema::kMsgBox, schema::kAttentionCaption, schema::kAttentionCaption);
}
int32_t GetMsgBoxCharSet() {
  return static_cast<int32_t>(
      IniReadInt(OriginalSetupPath(), schema::kMsgBox, schema::kCharSet, 0));
}

std::string GetAutoUpdateText(const std::string& id, const std::string& def) {
  return IniRead(OriginalSetupPath(), schema::kAutoUpdate, id, def);
}

std::string GetAutoUpdateText(const std::string& id) {
  return GetAutoUpdateText(id, DefaultAutoUpdateText(id, GetOriginalProgramName()));
}

std::string GetDownloadURL_UPDATE() { return ReadInfo(schema::kDownloadURL_UPDATE); }
std::string GetNameOfUpdateFile() { return ReadInfo(schema::kNameOfUpdateFile); }
int32_t GetSizeOfUpdateFile() { return ReadInfoInt32(schema::kSizeOfUpdateFile); }
int32_t GetVersionNew() { return ReadInfoInt32(schema::kVersionNew); }
int32_t GetNewStamp() { return ReadInfoInt32(schema::kStamp); }
std::string GetValidVersions() { return ReadInfo(schema::kValidVersions); }
std::string GetNewProgramName() { return ReadInfo(schema::kProgramName); }
std::string GetRunningProcess() { return ReadInfo(schema::kRunningProcess); }
std::string GetShutDownMethod() { return ReadInfo(schema::kShutDownMethod); }
bool GetRequestConfirmationBeforeDownload() {
  return ReadOverridableFlag(kConfirmBeforeDownload, schema::kRequestConfirmationBeforeDownload);
}
bool GetRequestConfirmationBeforeInstall() {
  return ReadOverridableFlag(kConfirmBeforeInstall, schema::kRequestConfirmationBeforeInstall);
}
bool GetBackgroundUpdate() {
  return ReadOverridableFlag(kBackgroundUpdate, schema::kBackgroundUpdate);
}
bool GetInformFinish() { return ReadOverridableFlag(kInformFinish, schema::kInformFinish); }
bool GetRestartProcess() { return ReadOverridableFlag(kRestartProcess, schema::kRestartProcess); }
bool GetRemoveStartUpShortcut() { return ReadInfoFlag(schema::kRemoveStartUpShortcut); }
bool GetRemoveCheckForNewUpdateShortcut() {
  return ReadInfoFlag(schema::kRemoveCheckForNewUpdateShortcut);
}

LRESULT HandleAgentCommand(WPARAM code, LPARAM value) {
  // The application passes a 32-bit value; setters store it sign-extended.
  const int32_t argument = static_cast<int32_t>(value);
  switch (code) {
    case 4:
      return Low32(GetVersionOriginal());
    case 5:
      return Low32(GetVersionNew());
    case 7:
      return Low32(AgentPhase);
    case 8:
      return Low32(GetProbeSecondsInterval());
    case 9:
      return Low32(GetReAskSecondsInterval());
    case 10:
      return Low32(GetProbeSecondsLast());
    case 11:
      return Low32(GetReAskSecondsLast());
    case 12:
      SetProbeSecondsInterval(argument);
      return 0;
    case 13:
      SetReAskSecondsInterval(argument);
      return 0;
    case 14:
      SetProbeSecondsLast(argument);
      return 0;
    case 15:
      SetReAskSecondsLast(argument);
      return 0;
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
      SetPreferenceOverride(static_cast<int>(code - 20), static_cast<uint8_t>(argument & 0xFF));
      return 0;
    case 30:
      StopCountdown = argument;
      return 0;
    case 31:
      CheckNowRequested = true;
      if (argument == 2) CheckRequestMode = 2;
      return 0;
    default:
      return 0;
  }
}
