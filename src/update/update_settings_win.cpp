#include <windows.h>

#include "package/package_info.h"
#include "startup/entry.h"
#include "update/agent_state.h"
#include "update/update_settings.h"
#include "util/winapi.h"

namespace {

const char kOriginalSetup[] = "OriginalSetup";
const char kDirectories[] = "Directories";
const char kUnInstall[] = "UnInstall";
const char kMsgBox[] = "MsgBox";
const char kAutoUpdate[] = "AutoUpdate";
const char kNewSetup[] = "NewSetup";

std::string ReadOriginal(const char* section, const char* key, const std::string& def = "") {
  return IniRead(OriginalSetupPath(), section, key, def);
}

int64_t ReadOriginalInt(const char* key) {
  return IniReadInt(OriginalSetupPath(), kOriginalSetup, key, 0);
}

bool WriteOriginalInt(const char* key, int64_t value) {
  return IniWriteInt(OriginalSetupPath(), kOriginalSetup, key, value);
}

std::string ReadInfo(const char* key) { return IniRead(InfoFilePath(), kNewSetup, key, ""); }

int32_t ReadInfoInt32(const char* key) {
  return static_cast<int32_t>(IniReadInt(InfoFilePath(), kNewSetup, key, 0));
}

bool ReadInfoFlag(const char* key) {
  return IsIniFlag(IniRead(InfoFilePath(), kNewSetup, key, "0"));
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

int64_t GetProbeSecondsInterval() { return ReadOriginalInt("ProbeSecondsInterval"); }
bool SetProbeSecondsInterval(int64_t seconds) {
  return WriteOriginalInt("ProbeSecondsInterval", seconds);
}
int64_t GetProbeSecondsLast() { return ReadOriginalInt("ProbeSecondsLast"); }
bool SetProbeSecondsLast(int64_t seconds) { return WriteOriginalInt("ProbeSecondsLast", seconds); }
int64_t GetReAskSecondsInterval() { return ReadOriginalInt("ReAskSecondsInterval"); }
bool SetReAskSecondsInterval(int64_t seconds) {
  return WriteOriginalInt("ReAskSecondsInterval", seconds);
}
int64_t GetReAskSecondsLast() { return ReadOriginalInt("ReAskSecondsLast"); }
bool SetReAskSecondsLast(int64_t seconds) { return WriteOriginalInt("ReAskSecondsLast", seconds); }
int32_t GetVersionOriginal() { return static_cast<int32_t>(ReadOriginalInt("VersionOriginal")); }
bool SetVersionOriginal(int32_t version) { return WriteOriginalInt("VersionOriginal", version); }
int32_t GetOriginalStamp() { return static_cast<int32_t>(ReadOriginalInt("Stamp")); }
bool SetOriginalStamp(int32_t stamp) { return WriteOriginalInt("Stamp", stamp); }
std::string GetOriginalProgramName() { return ReadOriginal(kOriginalSetup, "ProgramName"); }

std::string GetTargetDir() { return ReadOriginal(kDirectories, "TargetDir"); }
std::string GetSharedDir() { return ReadOriginal(kDirectories, "SharedDir"); }
std::string GetAuxiliaryDir() { return ReadOriginal(kDirectories, "AuxiliaryDir"); }
std::string GetStartUpLink() { return ReadOriginal(kUnInstall, "StartUpLink"); }
std::string GetCheckforNewUpdateLink() { return ReadOriginal(kUnInstall, "CheckforNewUpdateLink"); }

std::string GetBtnText() { return ReadOriginal(kMsgBox, "BtnText", kDefaultBtnText); }
std::string GetErrorCaption() { return ReadOriginal(kMsgBox, "Error", "Error"); }
std::string GetConfirmCaption() { return ReadOriginal(kMsgBox, "Confirm", "Confirm"); }
std::string GetAttentionCaption() { return ReadOriginal(kMsgBox, "Attention", "Attention"); }
int32_t GetMsgBoxCharSet() {
  return static_cast<int32_t>(IniReadInt(OriginalSetupPath(), kMsgBox, "CharSet", 0));
}

std::string GetAutoUpdateText(const std::string& id, const std::string& def) {
  return IniRead(OriginalSetupPath(), kAutoUpdate, id, def);
}

std::string GetAutoUpdateText(const std::string& id) {
  return GetAutoUpdateText(id, DefaultAutoUpdateText(id, GetOriginalProgramName()));
}

std::string GetDownloadURL_UPDATE() { return ReadInfo("DownloadURL_UPDATE"); }
std::string GetNameOfUpdateFile() { return ReadInfo("NameOfUpdateFile"); }
int32_t GetSizeOfUpdateFile() { return ReadInfoInt32("SizeOfUpdateFile"); }
int32_t GetVersionNew() { return ReadInfoInt32("VersionNew"); }
int32_t GetNewStamp() { return ReadInfoInt32("Stamp"); }
std::string GetValidVersions() { return ReadInfo("ValidVersions"); }
std::string GetNewProgramName() { return ReadInfo("ProgramName"); }
std::string GetRunningProcess() { return ReadInfo("RunningProcess"); }
std::string GetShutDownMethod() { return ReadInfo("ShutDownMethod"); }
bool GetRequestConfirmationBeforeDownload() {
  return ReadOverridableFlag(kConfirmBeforeDownload, "RequestConfirmationBeforeDownload");
}
bool GetRequestConfirmationBeforeInstall() {
  return ReadOverridableFlag(kConfirmBeforeInstall, "RequestConfirmationBeforeInstall");
}
bool GetBackgroundUpdate() { return ReadOverridableFlag(kBackgroundUpdate, "BackgroundUpdate"); }
bool GetInformFinish() { return ReadOverridableFlag(kInformFinish, "InformFinish"); }
bool GetRestartProcess() { return ReadOverridableFlag(kRestartProcess, "RestartProcess"); }
bool GetRemoveStartUpShortcut() { return ReadInfoFlag("RemoveStartUpShortcut"); }
bool GetRemoveCheckForNewUpdateShortcut() {
  return ReadInfoFlag("RemoveCheckForNewUpdateShortcut");
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
