#include "paths/folders.h"

#include <windows.h>

#include "files/file_ops.h"
#include "ui/msgbox.h"
#include "util/winapi.h"

namespace {

using TSpecialFolderPathA = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
using TFolderPathA = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

// The shell functions write at most MAX_PATH characters and a zero; the
// zeroed buffer leaves room beyond that.
const int kFolderBufferSize = 1025;

template <typename Proc>
Proc ProcAs(FARPROC address) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(address));
}

const char* const kRunTimeDirButtons = kDefaultButtonTexts;

}  // namespace

namespace {

// Both shell functions fill a buffer of MAX_PATH characters; `special`
// picks SHGetSpecialFolderPathA (never creating the folder) over
// SHGetFolderPathA.
std::string ShellFolder(bool special, int csidl) {
  const FARPROC address = special ? GetDllProc("shell32.dll", "SHGetSpecialFolderPathA")
                                  : GetDllProc("SHFolder.dll", "SHGetFolderPathA");
  if (address == nullptr) return "";
  char buffer[kFolderBufferSize] = {};
  const bool found =
      special ? ProcAs<TSpecialFolderPathA>(address)(nullptr, buffer, csidl, FALSE) != FALSE
              : ProcAs<TFolderPathA>(address)(nullptr, csidl, nullptr, 0, buffer) == S_OK;
  return found ? buffer : "";
}

}  // namespace

std::string SpecialFolder(int csidl) { return ShellFolder(true, csidl); }

std::string FolderPath(int csidl) { return ShellFolder(false, csidl); }

const TFolderSystem& WindowsFolderSystem() {
  static const TFolderSystem system = {
      [](int csidl) { return ShellFolder(false, csidl); },
      [](int csidl) { return ShellFolder(true, csidl); },
      [](const std::string& path) { return !path.empty() && DirExists(path); },
      WindowsDir,
      SystemDir,
      ProgramDir,
      RegisteredOwner,
      [](const std::string& key, const std::string& name) { return RegReadValue(key, name, ""); },
  };
  return system;
}

const TRunTimeSearch& WindowsRunTimeSearch() {
  static const TRunTimeSearch search = {
      AppPathDir,
      RegistryPathValue,
      FindFileOnDrives,
      FindFolderOnDrives,
      [](const std::string& text) {
        ShowErrorBox(kOwnerWithHeading, text, "Error", kRunTimeDirButtons, 0);
      },
  };
  return search;
}

const TRunTimeSearch& SystemRunTimeSearch() { return WindowsRunTimeSearch(); }

std::string ProfilesFallback(bool withSlash) {
  return ProfilesFallbackOn(WindowsFolderSystem(), withSlash);
}

std::string UserDir(bool withSlash) { return UserDirOn(WindowsFolderSystem(), withSlash); }

std::string DocumentsAndSettingsDir(bool withSlash) {
  return DocumentsAndSettingsDirOn(WindowsFolderSystem(), withSlash);
}

std::string AllUsersDir(bool withSlash) { return AllUsersDirOn(WindowsFolderSystem(), withSlash); }

std::string UserAppDataDir(bool withSlash) {
  return UserAppDataDirOn(WindowsFolderSystem(), withSlash);
}

std::string AllUsersAppDataDir(bool withSlash) {
  return AllUsersAppDataDirOn(WindowsFolderSystem(), withSlash);
}

std::string MyDocumentsDir(bool withSlash) {
  return MyDocumentsDirOn(WindowsFolderSystem(), withSlash);
}

std::string AllUsersDocumentsDir(bool withSlash) {
  return AllUsersDocumentsDirOn(WindowsFolderSystem(), withSlash);
}

std::string UserStartMenuDir(bool withSlash) {
  return UserStartMenuDirOn(WindowsFolderSystem(), withSlash);
}

std::string AllUsersStartMenuDir(bool withSlash) {
  return AllUsersStartMenuDirOn(WindowsFolderSystem(), withSlash);
}

std::string UserDesktopDir(bool withSlash) {
  return UserDesktopDirOn(WindowsFolderSystem(), withSlash);
}

std::string AllUsersDesktopDir(bool withSlash) {
  return AllUsersDesktopDirOn(WindowsFolderSystem(), withSlash);
}

std::string System16Dir() { return System16DirOn(WindowsFolderSystem()); }
std::string FontDir() { return FontDirOn(WindowsFolderSystem()); }
std::string OriginDir() { return OriginDirOn(WindowsFolderSystem()); }
std::string ProgramFilesDir() { return ProgramFilesDirOn(WindowsFolderSystem()); }
std::string CommonFilesDir() { return CommonFilesDirOn(WindowsFolderSystem()); }
std::string StartMenuDir() { return StartMenuDirOn(WindowsFolderSystem()); }

std::string AppPathDir(const std::string& name) {
  return AppPathDirOn(WindowsFolderSystem(), name);
}

std::string RegistryPathValue(const std::string& path) {
  return RegistryPathValueOn(WindowsFolderSystem(), path);
}

std::string RunTimeDir(const std::string& fields) {
  return RunTimeDirOn(WindowsRunTimeSearch(), fields);
}

std::string RunTimeDir1() { return CachedRunTimeDirOn(WindowsRunTimeSearch(), 1); }
std::string RunTimeDir2() { return CachedRunTimeDirOn(WindowsRunTimeSearch(), 2); }
std::string RunTimeDir3() { return CachedRunTimeDirOn(WindowsRunTimeSearch(), 3); }
