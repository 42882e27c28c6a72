// The auto-update program never runs the agent itself: it copies its file
// to "X_" + its name, starts the copy, and forwards control switches to the
// copy's main window.
#pragma once

#include <string>

// Makes and starts the transient copy. Called in AutoUpdateProg mode only
// (IsAutoUpdateProg() holds), which it does not check again.
void CreateAndRun_X_Exe();

// Forwards "/STOP=", "/WM_MSG=" and "/TEST=" to the copy's main window and
// reads "/TRANSIENTx=" into this process's preference overrides.
void RunControllerStep(bool copyWasRunning);

// Folder of `programPath` + "X_" + its file name.
std::string TransientCopyPath(const std::string& programPath);

// The switches handed to the copy, from this process's "/TRANSIENT=" and
// "/DELAY=" values.
std::string TransientCopySwitches(const std::string& transient, const std::string& delay);

// "/WM_MSG=" value "handle:message" as two decimal numbers (0 when not one).
void ParseListenerSwitch(const std::string& value, unsigned long long& window,
                         unsigned long& message);
