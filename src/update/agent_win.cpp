// The auto-update agent: tick, schedule, check and update procedure.
#include <windows.h>

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/package_info.h"
#include "paths/macros.h"
#include "process/process.h"
#include "startup/debug_log.h"
#include "startup/entry.h"
#include "startup/main_window.h"
#include "ui/msgbox.h"
#include "update/agent.h"
#include "update/agent_downloads.h"
#include "update/agent_rules.h"
#include "update/agent_state.h"
#include "update/http_client.h"
#include "update/update_settings.h"
#include "update/update_settings_core.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

bool tickGuard = false;

constexpr WPARAM kInfoDownloadEvent = 40;
constexpr WPARAM kUpdateDownloadEvent = 41;
constexpr WPARAM kInstallEvent = 42;

std::string WithProgramName(const std::string& text, const std::string& name) {
  return ReplaceAll(text, "PROG_NAME", name);
}

bool Ask(HWND owner, const std::string& question) {
  return AskYesNo(owner, question, GetConfirmCaption(), GetBtnText(), GetMsgBoxCharSet());
}

void Warn(HWND owner, const std::string& text) {
  ShowWarningBox(owner, text, GetAttentionCaption(), GetBtnText(), GetMsgBoxCharSet(), 0);
}

void Step(int n) { DebugLine(" ==== DoPerform-" + std::to_string(n) + " ===="); }

void ShutDown(const std::string& method, const std::string& path) {
  if (method == "Using WM_CLOSE") {
    CloseProgram(path, true);
  } else if (method == "Using WM_QUIT") {
    QuitProgram(path, true);
  } else if (method == "Using Terminate Process") {
    TerminateProgram(path, true);
  } else if (method == "Don't Shut Down") {
    return;
  }
  WaitForProgramExit(path);
}

std::string LocalFireStamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return FireStamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

bool PerformSteps() {
  Step(1);
  const std::string base = GetDownloadURL_UPDATE();
  const std::string updateName = ExtractFileName(GetNameOfUpdateFile());
  if (base.empty() || updateName.empty()) return false;
  const std::string programName = GetNewProgramName();

  Step(2);
  const std::string question =
      GetAutoUpdateText("s11") +
      GetAutoUpdateText(GetRequestConfirmationBeforeInstall() ? "s13" : "s12");
  if (GetRequestConfirmationBeforeDownload() && CheckRequestMode != 1 &&
      !Ask(kOwnerWithHeading, WithProgramName(question, programName))) {
    return false;
  }

  Step(3);
  AgentPhase = 2;
  NotifyListener(kUpdateDownloadEvent, 1);
  bool ok = FetchUpdateFile(base, updateName, kFetchUpdatePackage);
  NotifyListener(kUpdateDownloadEvent, 2);
  if (ok && GetRequestConfirmationBeforeInstall() && CheckRequestMode != 1) {
    ok = Ask(kOwnerWithHeading, WithProgramName(GetAutoUpdateText("s14"), programName));
  }
  if (!ok) return false;

  Step(4);
  SetInstallFolders(GetTargetDir(), GetSharedDir(), GetAuxiliaryDir());
  const std::string path = ExpandMacros(GetRunningProcess(), "\\", true, true);
  int state = IsProgramRunning(path) ? 1 : 0;
  const std::string method = GetShutDownMethod();
  if (method == "Issue a Message Box") {
    const std::string text = WithProgramName(GetAutoUpdateText("s15"), ExtractFileName(path));
    while (IsProgramRunning(path)) Warn(kOwnerWithHeading, text);
  }

  Step(5);
  ShutDown(method, path);

  Step(6);
  if (state == 1 && !IsProgramRunning(path)) state = 2;
  const bool restart = GetRestartProcess() && state == 2;
  const std::string updatePath = AgentFolder() + updateName;
  const std::string arguments = "/OriginalInfoFile=\"" + InfoFilePath() + "\"";
  AgentPhase = 3;
  NotifyListener(kInstallEvent, 1);

  Step(7);
  const bool result = RunPackage(GetSetupFolder(), updatePath,
                                 OwnPackageInfo().AutoUpdateProgName(), arguments,
                                 !GetBackgroundUpdate());
  DeleteTree(GetSetupFolder(), false);

  Step(8);
  NotifyListener(kInstallEvent, 2);
  if (result) SetVersionOriginal(GetVersionNew());
  DeleteFileA(updatePath.c_str());
  const std::string done = WithProgramName(GetAutoUpdateText("s16"), programName);
  const std::string closing = GetAutoUpdateText("s17");
  if (result && (GetInformFinish() || CheckRequestMode == 1)) {
    if (restart) {
      if (Ask(kOwnerActiveWindow, done + closing)) WinExec(path.c_str(), SW_SHOWNORMAL);
    } else {
      Warn(kOwnerActiveWindow, done);
    }
  }
  return result;
}

}  // namespace

int ShouldCheckNow() {
  TScheduleInput in;
  in.autoCheckEnabled = AutoCheckEnabled;
  in.checkNowRequested = CheckNowRequested;
  in.testMode = TestMode;
  in.probeSecondsInterval = GetProbeSecondsInterval();
  in.probeSecondsLast = GetProbeSecondsLast();
  in.now = NowSeconds();
  CheckNowRequested = false;
  return ScheduleDecision(in);
}

void AskToCheckForUpdate(int& decision) {
  std::string server = OwnPackageInfo().UpdateLocation();
  if (RefreshTestMode(true)) server = TestModeURL;
  const std::string hint = server.size() > 2 && server[1] != ':' ? GetAutoUpdateText("s23") : "";
  const std::string name = GetOriginalProgramName();
  const std::string head = WithProgramName(GetAutoUpdateText("s22"), name);
  if (!Ask(kOwnerActiveWindow, head + hint + GetAutoUpdateText("s24"))) decision = 0;
}

bool IsReAskDue() {
  return ReAskDue(NowSeconds(), GetReAskSecondsLast(), GetReAskSecondsInterval());
}

bool IsVersionValid() { return VersionListed(GetValidVersions(), GetVersionOriginal()); }

bool DoPerform() {
  const bool result = PerformSteps();
  Step(9);
  return result;
}

void RelaunchAgent() {
  if (StopCountdown > 0) return;
  const std::string command = AgentFolder() + OwnPackageInfo().AutoUpdateProgName() +
                              " /_ZZ=99 /WAIT=3 /TRANSIENT=" + FormatOverrideList();
  WinExec(command.c_str(), SW_HIDE);
  PostQuitMessage(0);
}

void CheckForUpdate() {
  DebugLine(" Fire  " + LocalFireStamp());
  RefreshTestMode(true);
  bool performed = false;
  AgentPhase = 1;
  NotifyListener(kInfoDownloadEvent, 1);
  const std::string infoPath = InfoFilePath();
  const bool ok =
      FetchUpdateFile(OwnPackageInfo().UpdateLocation(), ExtractFileName(infoPath), kFetchInfoFile);
  NotifyListener(kInfoDownloadEvent, 2);
  if (ok) SetFileAttributesA(infoPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetProbeSecondsLast(NowSeconds());
  if (ok && GetVersionOriginal() > 0) {
    const bool seen = GetNewStamp() == GetOriginalStamp() && !IsReAskDue() && CheckRequestMode != 1;
    if (!seen && GetVersionNew() > GetVersionOriginal() && IsVersionValid() &&
        IsUpdateFileAvailable(GetDownloadURL_UPDATE(), GetNameOfUpdateFile())) {
      DebugLine(" ==== Perform Update-1 ====");
      performed = true;
      SetReAskSecondsLast(NowSeconds());
      SetOriginalStamp(GetNewStamp());
      if (DoPerform()) RelaunchAgent();
      DebugLine(" ==== Perform Update-2 ====");
    }
  }
  if (CheckRequestMode == 1) {
    Wait(1000);
    HideMainWindow();
    if (!performed) {
      const bool connected = IsInternetConnected();
      DebugLine(std::string(" ") + (TestMode ? "TRUE" : "FALSE") + " " +
                (connected ? "TRUE" : "FALSE"));
      if (TestMode || connected) {
        Warn(kOwnerActiveWindow, GetAutoUpdateText("s21"));
      } else {
        ShowErrorBox(kOwnerWithHeading, GetAutoUpdateText("s2"), GetErrorCaption(), GetBtnText(),
                     GetMsgBoxCharSet());
      }
    }
  }
  SetFileAttributesA(infoPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(infoPath.c_str());
}

void AutoUpdateTimerTick() {
  if (tickGuard) return;
  tickGuard = true;
  AgentPhase = 0;
  if (CheckRequestMode == 2) CheckRequestMode = 1;
  if (CheckRequestMode == 1) AutoUpdateTimerCount = 0;
  if (StopCountdown == 0) PostQuitMessage(0);
  if (StopCountdown >= 0) --StopCountdown;
  ++AutoUpdateTimerCount;
  DebugLine(" AutoUpdateTimerCount=" + std::to_string(AutoUpdateTimerCount));
  if (AutoUpdateTimerCount >= 1) {
    RefreshTestMode(false);
    int decision = ShouldCheckNow();
    if (decision == 2) AutoCheckEnabled = false;
    if (decision >= 1 && (CheckRequestMode == 1 || AskBeforeCheck())) AskToCheckForUpdate(decision);
    if (decision >= 1) CheckForUpdate();
    if (CheckRequestMode == 1) CheckRequestMode = 0;
  }
  AgentPhase = 0;
  tickGuard = false;
}
