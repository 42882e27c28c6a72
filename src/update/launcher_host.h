// What the setup run and the agent take from the launcher that hosts them,
// handed down by its main window rather than reached for.
#pragma once

#include <windows.h>

#include "util/progress.h"

class TGFileInfo;

struct TLauncherHost {
  // The launcher's own package: its trailer, texts and settings.
  const TGFileInfo& Own;
  // The main window: the owner of the download dialog and of the boxes
  // that need one.
  HWND Window;
  const TProgressView& View;
  // Posts (code, value) to the listener registered with the main window.
  void (*Notify)(WPARAM code, LPARAM value);
};
