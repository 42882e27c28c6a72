// The transient copy of the auto-update program and the controller step.
#include "startup/transient_copy.h"

#include <windows.h>

#include "package/package_info.h"
#include "process/process.h"
#include "startup/entry.h"
#include "startup/main_window.h"
#include "update/update_settings_rules.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

constexpr DWORD kCopyAppearsWithinMs = 3000;
// Agent command: check at the next tick (2 = a check requested by the user).
constexpr WPARAM kAgentCommandCheckNow = 31;

// Posts to the copy's main window, found by the copy's path only; nothing
// is posted when the copy's file does not exist.
void PostToCopy(const std::string& copyPath, UINT message, WPARAM wParam, LPARAM lParam) {
  if (FileExists(copyPath)) PostToMainWindow(copyPath, true, message, wParam, lParam);
}

}  // namespace

void CreateAndRun_X_Exe() {
  const std::string zz = SwitchValue("/_ZZ=");
  DebugLinePair(" CreateAndRun_X_Exe-1 ", zz);
  // The flag and the own file name were checked by the dispatch, which
  // calls this for an auto-update program only.
  if (IsTransientCopyRunning() && zz != "99") return;
  const std::string programPath = ProgramPath();
  DebugLine(" CreateAndRun_X_Exe-2");
  Wait(static_cast<int32_t>(SwitchInt("/WAIT=", 0) * 1000));
  const std::string copyPath = TransientCopyPath(programPath);
  CopyFileA(programPath.c_str(), copyPath.c_str(), FALSE);
  const std::string command =
      Concat({copyPath, TransientCopySwitches(SwitchValue("/TRANSIENT="), SwitchValue("/DELAY="))});
  WinExec(command.c_str(), SW_HIDE);
  if (CommandTail().empty()) return;
  const DWORD noted = GetTickCount();
  do {
    Wait(200);
    if (IsProgramRunning(copyPath)) break;
  } while (GetTickCount() - noted <= kCopyAppearsWithinMs);
}

void RunControllerStep(bool copyWasRunning) {
  const std::string commandLine = GetCommandLineA();
  const std::string copyPath = TransientCopyPath(ProgramPath());
  const int64_t stop = SwitchInt("/STOP=", -1);
  if (stop >= 0) {
    DebugLinePair(" ==1== ", commandLine);
    PostToCopy(copyPath, kStopCountdownMessage, static_cast<WPARAM>(stop), 0);
    DebugLine(" ==2==");
  }
  const std::string listener = SwitchValue("/WM_MSG=");
  if (!listener.empty()) {
    DebugLinePair(" ==3== ", commandLine);
    unsigned long long window = 0;
    unsigned long message = 0;
    ParseListenerSwitch(listener, window, message);
    PostToCopy(copyPath, kListenerRegistrationMessage, static_cast<WPARAM>(window),
               static_cast<LPARAM>(message));
    DebugLine(" ==4==");
  }
  const int64_t test = SwitchInt("/TEST=", -1);
  if (test >= 0) {
    DebugLinePair(" ==5== ", commandLine);
    PostToCopy(copyPath, kAgentCommandMessage, kAgentCommandCheckNow, static_cast<LPARAM>(test));
    if (!copyWasRunning) PostToCopy(copyPath, kStopCountdownMessage, 2, 0);
    DebugLine(" ==6==");
  }
  const std::string overrides = SwitchValue("/TRANSIENTx=");
  if (!overrides.empty()) ParseOverrideList(overrides);
}
