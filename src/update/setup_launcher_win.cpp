#include "update/setup_launcher.h"

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/package_info.h"
#include "startup/entry.h"
#include "update/setup_download.h"
#include "util/text.h"
#include "util/winapi.h"

void RunSetupLauncher(HWND window) {
  KillTimer(window, 1);
  const TGFileInfo& own = OwnPackageInfo();
  const std::string agentName = own.MakeAutoUpdateProg() ? own.AutoUpdateProgName() : "";
  if (own.IsWebSetup()) {
    RunWebSetup(agentName);
  } else {
    const bool hide = HasSwitch("/hide") || own.HiddenExtract();
    RunPackage(GetSetupFolder(), ProgramPath(), agentName, CommandTail(), !hide);
  }
  RemoveSetupFolder();
  PostQuitMessage(0);
}
