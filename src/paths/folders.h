// The system and user folders behind the folder macros, on every Windows
// generation the launcher runs on: the shell's special-folder functions
// where they exist (loaded at run time from the system folder), registry
// values and paths under the Windows folder where they do not. The rules
// themselves live in paths/folder_rules.h; this is their binding to the
// real system. Nothing here reports an error except RunTimeDir, through its
// error box.
#pragma once

#include <string>

#include "paths/folder_rules.h"

// The real calls behind the folder rules.
const TFolderSystem& WindowsFolderSystem();
const TRunTimeSearch& WindowsRunTimeSearch();

// SHGetSpecialFolderPathA ("shell32.dll") without creating the folder, and
// SHGetFolderPathA ("SHFolder.dll") for the current path; "" when the
// library or function is missing or the call fails.
std::string SpecialFolder(int csidl);
std::string FolderPath(int csidl);

// WindowsDir + "Profiles\" + the registered owner when that folder exists,
// else the Windows folder: the user's profile on Windows 9x.
std::string ProfilesFallback(bool withSlash);

// `withSlash`: true gives exactly one trailing backslash, false none.
std::string UserDir(bool withSlash);
std::string DocumentsAndSettingsDir(bool withSlash);
std::string AllUsersDir(bool withSlash);
std::string UserAppDataDir(bool withSlash);
std::string AllUsersAppDataDir(bool withSlash);
std::string MyDocumentsDir(bool withSlash);
std::string AllUsersDocumentsDir(bool withSlash);
std::string UserStartMenuDir(bool withSlash);
std::string AllUsersStartMenuDir(bool withSlash);
std::string UserDesktopDir(bool withSlash);
std::string AllUsersDesktopDir(bool withSlash);

// The folder as found (see folder_rules.h); "" for a missing registry value.
std::string System16Dir();
std::string FontDir();
std::string OriginDir();
std::string ProgramFilesDir();
std::string CommonFilesDir();
std::string StartMenuDir();

std::string AppPathDir(const std::string& name);
std::string RegistryPathValue(const std::string& path);

// May search every fixed or network drive and show the launcher's error
// box (no owner, caption "Error").
std::string RunTimeDir(const std::string& fields);
// The cached run-time folders; see CachedRunTimeDirOn.
std::string RunTimeDir1();
std::string RunTimeDir2();
std::string RunTimeDir3();
