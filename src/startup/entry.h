// The launcher's start: the process entry, its process-wide state, and the
// choice of run mode (setup launcher, auto-update program, or the transient
// copy that runs the agent).
#pragma once

#include <string>

class TGFileInfo;

// Runs the whole process: START line, own package info, dispatch, END line.
// Returns the process's exit code: 0 on every path but a setup run whose
// main program reports success by its exit code (see LauncherExitCode).
int RunStub();

// The package information of the launcher's own file; valid from the START
// line to the END line (an empty object outside that span).
const TGFileInfo& OwnPackageInfo();

// Copied from the own package's ThisIs_AutoUpdateProg flag at start.
extern bool AutoUpdateFlag;

// A top-level window of class ".AutoUpdate.X_" + BaseName(AutoUpdateProgName) exists.
bool IsTransientCopyRunning();
// Flag set and the own file is named AutoUpdateProgName.
bool IsAutoUpdateProg();
// Flag set and the own file is named "X_" + AutoUpdateProgName.
bool IsTransientCopy();

// The class name rule: ".AutoUpdate." + BaseName(programPath) for an
// auto-update program, else the program path itself.
std::string MainWindowClassFor(bool autoUpdateFlag, const std::string& programPath);

// "OriginDir" value: the folder of `programPath`, its trailing backslash
// removed only when the folder text is longer than two characters.
std::string OriginDirOf(const std::string& programPath);
