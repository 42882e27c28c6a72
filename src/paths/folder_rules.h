// The decisions behind the system and user folders that macro expansion
// needs: which shell lookup is asked first, which registry value or built
// path stands in when it gives no existing folder, and how a run-time
// folder is found from its field list. The system is reached only through
// TFolderSystem and TRunTimeSearch, so the same rules run against the real
// calls (paths/folders.h) and against fixed test folders.
#pragma once

#include <string>

#include "util/callback.h"

// Shell folder ids (CSIDL values) and the flag that makes the shell create a
// missing folder.
constexpr int kCsidlPersonal = 0x0005;
constexpr int kCsidlStartMenu = 0x000B;
constexpr int kCsidlDesktopDirectory = 0x0010;
constexpr int kCsidlCommonStartMenu = 0x0016;
constexpr int kCsidlCommonDesktopDirectory = 0x0019;
constexpr int kCsidlAppData = 0x001A;
constexpr int kCsidlCommonAppData = 0x0023;
constexpr int kCsidlCommonDocuments = 0x002E;
constexpr int kCsidlFlagCreate = 0x8000;

// Drive types searched by the run-time folders.
constexpr int kDriveFixed = 3;
constexpr int kDriveRemote = 4;

// What folder resolution asks of the system. Every member must be set.
struct TFolderSystem {
  // SHGetFolderPathA / SHGetSpecialFolderPathA of a CSIDL; "" when the call
  // or its library is missing or fails.
  TCallback<std::string(int csidl)> folderPath;
  TCallback<std::string(int csidl)> specialFolder;
  // False for "" and for anything that is not an existing folder.
  TCallback<bool(const std::string& path)> dirExists;
  TCallback<std::string(bool withSlash)> windowsDir;
  TCallback<std::string(bool withSlash)> systemDir;
  TCallback<std::string(bool withSlash)> programDir;
  TCallback<std::string()> registeredOwner;
  // A registry value by key path and value name ("" = default value); ""
  // when missing.
  TCallback<std::string(const std::string& key, const std::string& name)> regRead;
};

// The path up to its last backslash, without it; "" when it has none.
std::string ParentFolder(const std::string& path);

// Every folder that the rules below find, in one call: FolderOn(system,
// TFolder::UserDesktop, b) is UserDesktopDirOn(system, b), and so on.
// Windows, System and Program are the system's own folders; `withSlash`
// does not touch the folders that are returned as found (Font, and
// System16 and after).
enum class TFolder : unsigned char {
  User,
  DocumentsAndSettings,
  AllUsers,
  UserAppData,
  AllUsersAppData,
  MyDocuments,
  AllUsersDocuments,
  UserStartMenu,
  AllUsersStartMenu,
  UserDesktop,
  AllUsersDesktop,
  Font,
  Windows,
  System,
  Program,
  System16,
  Origin,
  ProgramFiles,
  CommonFiles,
  StartMenu,
};
std::string FolderOn(const TFolderSystem& system, TFolder folder, bool withSlash);

// The folder functions below follow one pattern: each lookup runs only while
// the earlier ones gave no existing folder, the last fallback is the result
// even when it does not exist, and `withSlash` decides the trailing
// backslash of the result.
std::string ProfilesFallbackOn(const TFolderSystem& system, bool withSlash);
std::string UserDirOn(const TFolderSystem& system, bool withSlash);
std::string DocumentsAndSettingsDirOn(const TFolderSystem& system, bool withSlash);
std::string AllUsersDirOn(const TFolderSystem& system, bool withSlash);
std::string UserAppDataDirOn(const TFolderSystem& system, bool withSlash);
std::string AllUsersAppDataDirOn(const TFolderSystem& system, bool withSlash);
std::string MyDocumentsDirOn(const TFolderSystem& system, bool withSlash);
std::string AllUsersDocumentsDirOn(const TFolderSystem& system, bool withSlash);
std::string UserStartMenuDirOn(const TFolderSystem& system, bool withSlash);
std::string AllUsersStartMenuDirOn(const TFolderSystem& system, bool withSlash);
std::string UserDesktopDirOn(const TFolderSystem& system, bool withSlash);
std::string AllUsersDesktopDirOn(const TFolderSystem& system, bool withSlash);

// These return the folder as found, without touching its trailing
// backslash; System16Dir and FontDir's built fallback have none.
std::string System16DirOn(const TFolderSystem& system);
std::string FontDirOn(const TFolderSystem& system);
std::string OriginDirOn(const TFolderSystem& system);
std::string ProgramFilesDirOn(const TFolderSystem& system);
std::string CommonFilesDirOn(const TFolderSystem& system);
std::string StartMenuDirOn(const TFolderSystem& system);

// The folder of the program registered under App Paths as `name`: the
// key's default value, its surrounding quotes removed, up to its last
// backslash. "" when the program is not registered.
std::string AppPathDirOn(const TFolderSystem& system, const std::string& name);
// The default value of the key named by the whole `path`; when that is
// empty, the value named by the part after the last backslash in the key
// named by the part before it.
std::string RegistryPathValueOn(const TFolderSystem& system, const std::string& path);

// What a run-time folder search asks of the system.
struct TRunTimeSearch {
  TCallback<std::string(const std::string& name)> appPathDir;
  TCallback<std::string(const std::string& path)> registryPathValue;
  // Full path of the first match on drives of `driveType`, or "".
  TCallback<std::string(const std::string& name, int driveType)> findFile;
  TCallback<std::string(const std::string& name, int driveType)> findFolder;
  // Shows the launcher's error box with `text`.
  TCallback<void(const std::string& text)> showError;
};

// The run-time folder of a field list (a delimited list of fields 0..19,
// a field being on when it is exactly "1"): App Paths, then a registry
// value, then a file search, then a folder search, then a fixed folder,
// each only while nothing was found. With field 16 on, a search that found
// nothing shows "RunTimeDir(" + name + ")<P><P>Not Found!". "" when nothing
// was found.
std::string RunTimeDirOn(const TRunTimeSearch& search, const std::string& fields);

// The three run-time folders of the process, numbered 1 to 3. Each is
// resolved from its field list on first use and then kept, even when
// empty, so an error box is shown at most once per folder and process.
// The field lists start empty; setting one (the launcher sets none)
// forgets the folder resolved so far. An index outside 1..3 is ignored and
// resolves to "".
void SetRunTimeDirFields(int index, const std::string& fields);
std::string CachedRunTimeDirOn(const TRunTimeSearch& search, int index);
// CachedRunTimeDirOn the system's own search.
std::string CachedRunTimeDir(int index);

// The system's own search: the real calls on Windows (paths/folders.h);
// builds without Windows find nothing and show no box.
const TRunTimeSearch& SystemRunTimeSearch();
