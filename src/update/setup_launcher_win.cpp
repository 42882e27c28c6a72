#include "update/setup_launcher.h"

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "ui/msgbox.h"
#include "update/setup_download.h"
#include "update/update_settings.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

TRunResult RunHostedPackage(const TLauncherHost& host, TRunRequest request) {
  request.AutoUpdateProg = host.Own.ThisIs_AutoUpdateProg();
  request.View = &host.View;
  // Every read opens the settings file again: the flags are read after.
  const TAgentSettings settings = OwnAgentSettings(host.Own);
  const std::string links[] = {settings.StartUpLink(), settings.CheckforNewUpdateLink()};
  const TRunResult result = RunPackage(request);
  if (result.Succeeded()) {
    const bool remove[] = {settings.RemoveStartUpShortcut(),
                           settings.RemoveCheckForNewUpdateShortcut()};
    for (int i = 0; i < 2; ++i) {
      if (remove[i] && FileExists(links[i])) DeleteFileA(links[i].c_str());
    }
  }
  return result;
}

void RunSetupLauncher(const TLauncherHost& host) {
  KillTimer(host.Window, 1);
  const TGFileInfo& own = host.Own;
  const std::string agentName = own.MakeAutoUpdateProg() ? own.AutoUpdateProgName() : "";
  TRunResult result;
  if (!ProgramPathIsSpellable()) {
    // Without an ANSI name for its own file the launcher cannot read its
    // package; say what is wrong rather than call the package damaged.
    DebugLine(" Own path has no ANSI form");
    ShowErrorBox(nullptr, kDefaultFolderName, kDefaultError, kDefaultButtons, 0);
  } else if (own.IsWebSetup()) {
    result = RunWebSetup(host, agentName);
  } else {
    const bool hide = HasSwitch("/hide") || own.HiddenExtract();
    result = RunHostedPackage(
        host, {GetSetupFolder(), ProgramPath(), agentName, CommandTail(), {}, !hide});
  }
  RemoveSetupFolder();
  // The exit code travels with the quit message to the end of the process.
  PostQuitMessage(static_cast<int>(LauncherExitCode(result)));
}
