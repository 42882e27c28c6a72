// Which processes of a setup run keep the launcher from removing the setup
// folder. An installer may hand its work on to other processes (a copy of
// itself in the temp folder, cmd.exe running a script, msiexec on the
// package); each of those keeps the launcher waiting. What it starts for
// the user at the end (the installed application) does not, unless it too
// works on the extracted files.
#pragma once

#include <array>
#include <string>

// True when `path` is `folder` itself or lies below it, letter case
// ignored; a trailing backslash of `folder` does not matter, and
// C:\TEMP\SETUP_1 does not hold C:\TEMP\SETUP_12.
bool IsWithinFolder(const std::string& path, const std::string& folder);

// A folder in each form a path may name it: as the launcher spells it, long
// and short (8.3). An empty form matches nothing.
using TFolderForms = std::array<std::string, 3>;

// A process of the run keeps the launcher waiting when its program lies in
// the system's temp folder (`temp`) or in the setup folder (`setup`, which
// may lie elsewhere: on another drive when room was short), or when its
// command line names something inside the setup folder, as
// msiexec /i "...\SETUP_1\app.msi" does.
bool KeepsSetupWaiting(const std::string& image, const std::string& commandLine,
                       const TFolderForms& temp, const TFolderForms& setup);
