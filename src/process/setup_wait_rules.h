// Which processes of a setup run keep the launcher from removing the setup
// folder. An installer may hand its work on to other processes (a copy of
// itself in the temp folder, cmd.exe running a script, msiexec on the
// package); each of those keeps the launcher waiting. What it starts for
// the user at the end (the installed application) does not, unless it too
// works on the extracted files.
#pragma once

#include <string>
#include <vector>

// True when `path` is `folder` itself or lies below it, letter case
// ignored; a trailing backslash of `folder` does not matter, and
// C:\TEMP\SETUP_1 does not hold C:\TEMP\SETUP_12.
bool IsWithinFolder(const std::string& path, const std::string& folder);

// A process of the run keeps the launcher waiting when its program lies in
// one of the temporary folders (`tempFolders`: the system's temp folder and
// the setup folder, each in every form a path may take), or when its
// command line names something inside the setup folder (`setupFolders`,
// likewise), as msiexec /i "...\SETUP_1\app.msi" does.
bool KeepsSetupWaiting(const std::string& image, const std::string& commandLine,
                       const std::vector<std::string>& tempFolders,
                       const std::vector<std::string>& setupFolders);
