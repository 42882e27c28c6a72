// The work of each run mode, called by the dispatch once it has chosen the
// mode. Each returns when that mode's work (including a main window's
// message loop) has finished.
#pragma once

#include <string>

// `className` names the main window's class, the single-instance key of
// the role.

// Normal mode: the setup launcher (the main window drives RunSetupLauncher,
// or the agent when the auto-update flag is set under a third name).
// Returns the process's exit code (see LauncherExitCode).
int RunNormalMode(const std::string& className);

// The auto-update program under its configured name: make and start the
// transient copy.
void RunAutoUpdateProgMode();

// The transient copy: the agent's main window, then its self-delete batch.
void RunTransientCopyMode(const std::string& className);
