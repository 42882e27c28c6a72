#include "update/setup_launcher.h"

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "startup/debug_log.h"
#include "startup/entry.h"
#include "ui/msgbox.h"
#include "update/setup_download.h"
#include "util/text.h"
#include "util/winapi.h"

void RunSetupLauncher(HWND window) {
  KillTimer(window, 1);
  const TGFileInfo& own = OwnPackageInfo();
  const std::string agentName = own.MakeAutoUpdateProg() ? own.AutoUpdateProgName() : "";
  TRunResult result;
  if (!ProgramPathIsSpellable()) {
    // Without an ANSI name for its own file the launcher cannot read its
    // package; say what is wrong rather than call the package damaged.
    DebugLine(" Own path has no ANSI form");
    ShowErrorBox(nullptr, kDefaultFolderName, kDefaultError, kDefaultButtons, 0);
  } else if (own.IsWebSetup()) {
    result = RunWebSetup(agentName);
  } else {
    const bool hide = HasSwitch("/hide") || own.HiddenExtract();
    result = RunPackage({GetSetupFolder(), ProgramPath(), agentName, CommandTail(), "", !hide});
  }
  RemoveSetupFolder();
  // The exit code travels with the quit message to the end of the process.
  PostQuitMessage(static_cast<int>(LauncherExitCode(result)));
}
