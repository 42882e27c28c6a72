#include "paths/folder_rules.h"

#include "util/text.h"

namespace {

const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersionKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kDynDataKey[] = "HKEY_CURRENT_USER\\Software\\Orvane_Dyn_Data";
const char kAppPathsKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A shell folder asked to be created when missing.
std::string CreatedFolder(const TFolderSystem& system, int csidl) {
  return system.folderPath(csidl | kCsidlFlagCreate);
}

// `candidate` when it is an existing folder, else `fallback()`: the
// fallback's lookups run only when they are needed.
std::string ExistingOr(const TFolderSystem& system, const std::string& candidate,
                       const TCallback<std::string()>& fallback) {
  return system.dirExists(candidate) ? candidate : fallback();
}

bool FieldOn(const std::string& fields, int index) { return GetField(fields, index, "") == "1"; }

// Run-time folder state of the process; "*" marks a folder not resolved yet.
std::string runTimeFieldLists[3];
std::string runTimeCache[3] = {"*", "*", "*"};

}  // namespace

std::string ParentFolder(const std::string& path) {
  const int slash = LastPos("\\", path);
  return slash > 0 ? path.substr(0, slash - 1) : std::string();
}

std::string ProfilesFallbackOn(const TFolderSystem& system, bool withSlash) {
  const std::string profile = system.windowsDir(true) + "Profiles\\" + system.registeredOwner();
  const std::string folder = ExistingOr(system, profile, [&] { return system.windowsDir(false); });
  return SetTrailingBackslash(folder, withSlash);
}

std::string UserDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string documents = CreatedFolder(system, kCsidlPersonal);
  const std::string user = system.dirExists(documents) ? ParentFolder(documents) : "";
  const std::string folder =
      ExistingOr(system, user, [&] { return ProfilesFallbackOn(system, false); });
  return SetTrailingBackslash(folder, withSlash);
}

std::string DocumentsAndSettingsDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string documents = CreatedFolder(system, kCsidlPersonal);
  std::string profiles;
  if (system.dirExists(documents)) {
    profiles = ParentFolder(documents);
    if (system.dirExists(profiles)) profiles = ParentFolder(profiles);
  }
  const std::string folder =
      ExistingOr(system, profiles, [&] { return ProfilesFallbackOn(system, false); });
  return SetTrailingBackslash(folder, withSlash);
}

std::string AllUsersDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string appData = CreatedFolder(system, kCsidlCommonAppData);
  const std::string allUsers = system.dirExists(appData) ? ParentFolder(appData) : "";
  const std::string folder = ExistingOr(system, allUsers, [&] { return system.windowsDir(false); });
  return SetTrailingBackslash(folder, withSlash);
}

std::string UserAppDataDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, CreatedFolder(system, kCsidlAppData), [&] {
    return ProfilesFallbackOn(system, true) + "Application Data";
  });
  return SetTrailingBackslash(folder, withSlash);
}

std::string AllUsersAppDataDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, CreatedFolder(system, kCsidlCommonAppData), [&] {
    return system.windowsDir(true) + "Application Data";
  });
  return SetTrailingBackslash(folder, withSlash);
}

std::string MyDocumentsDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, CreatedFolder(system, kCsidlPersonal), [&] {
    return ProfilesFallbackOn(system, true) + "My Documents";
  });
  return SetTrailingBackslash(folder, withSlash);
}

std::string AllUsersDocumentsDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, CreatedFolder(system, kCsidlCommonDocuments),
                                        [&] { return system.windowsDir(true) + "Documents"; });
  return SetTrailingBackslash(folder, withSlash);
}

std::string UserStartMenuDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, system.specialFolder(kCsidlStartMenu), [&] {
    return ExistingOr(system, UserDirOn(system, true) + "Start Menu",
                      [&] { return AllUsersDirOn(system, true) + "Start Menu"; });
  });
  return SetTrailingBackslash(folder, withSlash);
}

std::string AllUsersStartMenuDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, system.specialFolder(kCsidlCommonStartMenu),
                                        [&] { return AllUsersDirOn(system, true) + "Start Menu"; });
  return SetTrailingBackslash(folder, withSlash);
}

std::string UserDesktopDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, system.specialFolder(kCsidlDesktopDirectory), [&] {
    return ExistingOr(system, UserDirOn(system, true) + "Desktop",
                      [&] { return AllUsersDirOn(system, true) + "Desktop"; });
  });
  return SetTrailingBackslash(folder, withSlash);
}

std::string AllUsersDesktopDirOn(const TFolderSystem& system, bool withSlash) {
  const std::string folder = ExistingOr(system, system.specialFolder(kCsidlCommonDesktopDirectory),
                                        [&] { return AllUsersDirOn(system, true) + "Desktop"; });
  return SetTrailingBackslash(folder, withSlash);
}

std::string System16DirOn(const TFolderSystem& system) {
  // Windows 9x keeps its 16-bit system files in "System", NT beside its
  // "System32"; the name without "32" finds either.
  const std::string systemDir = system.systemDir(false);
  const int at = LastPos("32", systemDir);
  if (at > 0) {
    std::string withoutNumber = systemDir;
    withoutNumber.erase(static_cast<size_t>(at - 1), 2);
    if (system.dirExists(withoutNumber)) return withoutNumber;
  }
  const std::string system16 = system.windowsDir(true) + "System";
  return system.dirExists(system16) ? system16 : system.systemDir(false);
}

std::string FontDirOn(const TFolderSystem& system) {
  return ExistingOr(system, system.regRead(kShellFoldersKey, "Fonts"),
                    [&] { return system.windowsDir(true) + "Fonts"; });
}

std::string OriginDirOn(const TFolderSystem& system) {
  const std::string origin = system.regRead(kDynDataKey, "OriginDir");
  return origin.empty() ? system.programDir(false) : origin;
}

std::string ProgramFilesDirOn(const TFolderSystem& system) {
  return system.regRead(kCurrentVersionKey, "ProgramFilesDir");
}

std::string CommonFilesDirOn(const TFolderSystem& system) {
  return system.regRead(kCurrentVersionKey, "CommonFilesDir");
}

std::string StartMenuDirOn(const TFolderSystem& system) {
  return system.regRead(kShellFoldersKey, "Start Menu");
}

std::string AppPathDirOn(const TFolderSystem& system, const std::string& name) {
  // Installers often register the program path in quotes; the folder of a
  // quoted path would keep the opening quote.
  return ParentFolder(Unquote(Trim(system.regRead(kAppPathsKey + name, "")), false));
}

std::string RegistryPathValueOn(const TFolderSystem& system, const std::string& path) {
  const std::string whole = system.regRead(path, "");
  if (!whole.empty()) return whole;
  const int slash = LastPos("\\", path);
  return system.regRead(ParentFolder(path), path.substr(static_cast<size_t>(slash)));
}

std::string RunTimeDirOn(const TRunTimeSearch& search, const std::string& fields) {
  std::string result;
  std::string name;
  if (FieldOn(fields, 0)) {
    name = GetField(fields, 1, "");
    result = StripTrailingBackslash(search.appPathDir(name));
  }
  if (result.empty() && FieldOn(fields, 2)) {
    name = GetField(fields, 3, "");
    result = StripTrailingBackslash(search.registryPathValue(name));
  }
  if (result.empty() && FieldOn(fields, 4)) {
    const std::string file = GetField(fields, 5, "");
    if (name.empty()) name = file;
    if (FieldOn(fields, 6)) result = search.findFile(file, kDriveFixed);
    if (result.empty() && FieldOn(fields, 7)) result = search.findFile(file, kDriveRemote);
    result = ParentFolder(result);
  }
  if (result.empty() && FieldOn(fields, 8)) {
    const std::string folder = GetField(fields, 9, "");
    if (name.empty()) name = folder;
    if (FieldOn(fields, 10)) result = search.findFolder(folder, kDriveFixed);
    if (result.empty() && FieldOn(fields, 11)) {
      result = search.findFolder(folder, kDriveRemote);
    }
  }
  if (result.empty() && FieldOn(fields, 12)) result = GetField(fields, 13, "");
  if (result.empty() && FieldOn(fields, 16)) {
    search.showError("RunTimeDir(" + name + ")<P><P>Not Found!");
  }
  return result;
}

void SetRunTimeDirFields(int index, const std::string& fields) {
  if (index < 1 || index > 3) return;
  runTimeFieldLists[index - 1] = fields;
  runTimeCache[index - 1] = "*";
}

std::string CachedRunTimeDirOn(const TRunTimeSearch& search, int index) {
  if (index < 1 || index > 3) return "";
  std::string& cached = runTimeCache[index - 1];
  if (cached == "*") cached = RunTimeDirOn(search, runTimeFieldLists[index - 1]);
  return cached;
}
