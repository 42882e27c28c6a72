// One complete self-extraction run: room check and temp-drive question,
// extraction, start of the package's main program, the wait for it and
// every process it hands its work on to, and its success: the run's atom
// removed (the hand-shake) or its exit code (an ordinary installer).
#pragma once

#include <windows.h>

#include <string>

#include "package/driver_rules.h"
#include "package/setup_folder.h"
#include "util/progress.h"

class TGFileInfo;

struct TRunRequest {
  // Where the files go (normally GetSetupFolder); a fallback folder on
  // another fixed drive is taken when room is short.
  std::string TargetFolder;
  std::string PackagePath;
  // Name of the auto-update program copy to leave; empty: none.
  std::string AutoUpdateProgName;
  // The caller's arguments, given to every main program.
  std::string Arguments;
  // Given only to a setup program of the hand-shake (the agent's
  // "/OriginalInfoFile="); an ordinary installer never sees them.
  std::string HandShakeArguments;
  // Shows the questions and the progress window.
  bool Show = true;
  // The launcher is an application's auto-update program (its trailer's
  // flag): a setup program of the hand-shake is told so.
  bool AutoUpdateProg = false;
  // Where the run shows its progress and status: the launcher's window.
  const TProgressView* View = nullptr;
  // Where a delta package finds the installed files it rebuilds (the
  // agent's installation); empty outside an update.
  std::string InstalledFolder{};
};

// Extracts the package, starts its main program (see BuildStartCommand),
// waits for it and every process it started that works on the setup
// folder, and tells how it went. A damaged package, a program that cannot
// be started and an installer's failing exit code have been shown to the
// user in an error box by the time it returns. A delta package that cannot
// be rebuilt from InstalledFolder ends as RebuildFailed, shown only where no
// folder was given (the package started by hand).
TRunResult RunPackage(const TRunRequest& request);

bool FindAltTempRoot();
std::string GetAltSetupFolder();
void RemoveAltSetupFolder();
bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& package);
bool ForcePromptSet();
