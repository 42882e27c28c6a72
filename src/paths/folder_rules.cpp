#include "paths/folder_rules.h"

#include "util/text.h"

namespace {

// Plain literals rather than arrays, so an equal text elsewhere in the
// program is stored once.
constexpr const char* kShellFoldersKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCurrentVersionKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kDynDataKey = "HKEY_CURRENT_USER\\Software\\Orvane_Dyn_Data";
const char kAppPathsKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// How a folder is found: the first lookup, the number of parent steps taken
// from what it gives, and the fallbacks used when the result is no existing
// folder. A fallback is a folder with its backslash plus `name`, or, for a
// rule without a name, the bare folder.
enum TLookup : unsigned char { kCreatedShellFolder, kSpecialFolder, kShellFoldersValue };
const unsigned char kProfiles = 0xFE;
const unsigned char kNoFolder = 0xFF;

struct TFolderRule {
  TLookup lookup;
  unsigned char csidl;
  unsigned char levelsUp;
  unsigned char fallback;
  unsigned char secondFallback;  // when fallback + name is missing too
  const char* name;
};

constexpr unsigned char FolderByte(TFolder folder) { return static_cast<unsigned char>(folder); }

// In the order of TFolder, up to Font.
const TFolderRule kFolderRules[] = {
    {kCreatedShellFolder, kCsidlPersonal, 1, kProfiles, kNoFolder, nullptr},
    {kCreatedShellFolder, kCsidlPersonal, 2, kProfiles, kNoFolder, nullptr},
    {kCreatedShellFolder, kCsidlCommonAppData, 1, FolderByte(TFolder::Windows), kNoFolder, nullptr},
    {kCreatedShellFolder, kCsidlAppData, 0, kProfiles, kNoFolder, "Application Data"},
    {kCreatedShellFolder, kCsidlCommonAppData, 0, FolderByte(TFolder::Windows), kNoFolder,
     "Application Data"},
    {kCreatedShellFolder, kCsidlPersonal, 0, kProfiles, kNoFolder, "My Documents"},
    {kCreatedShellFolder, kCsidlCommonDocuments, 0, FolderByte(TFolder::Windows), kNoFolder,
     "Documents"},
    {kSpecialFolder, kCsidlStartMenu, 0, FolderByte(TFolder::User), FolderByte(TFolder::AllUsers),
     "Start Menu"},
    {kSpecialFolder, kCsidlCommonStartMenu, 0, FolderByte(TFolder::AllUsers), kNoFolder,
     "Start Menu"},
    {kSpecialFolder, kCsidlDesktopDirectory, 0, FolderByte(TFolder::User),
     FolderByte(TFolder::AllUsers), "Desktop"},
    {kSpecialFolder, kCsidlCommonDesktopDirectory, 0, FolderByte(TFolder::AllUsers), kNoFolder,
     "Desktop"},
    {kShellFoldersValue, 0, 0, FolderByte(TFolder::Windows), kNoFolder, "Fonts"},
};
static_assert(sizeof(kFolderRules) / sizeof(kFolderRules[0]) == FolderByte(TFolder::Font) + 1,
              "one rule per folder up to Font");

// Registry values taken as they are, in the order of TFolder from Origin.
const char* const kRegistryFolders[][2] = {
    {kDynDataKey, "OriginDir"},
    {kCurrentVersionKey, "ProgramFilesDir"},
    {kCurrentVersionKey, "CommonFilesDir"},
    {kShellFoldersKey, "Start Menu"},
};

std::string FallbackFolder(const TFolderSystem& system, unsigned char folder, bool withSlash) {
  return folder == kProfiles ? ProfilesFallbackOn(system, withSlash)
                             : FolderOn(system, static_cast<TFolder>(folder), withSlash);
}

std::string RuleFolder(const TFolderSystem& system, const TFolderRule& rule) {
  std::string found;
  if (rule.lookup == kSpecialFolder) {
    found = system.specialFolder(rule.csidl);
  } else if (rule.lookup == kShellFoldersValue) {
    found = system.regRead(kShellFoldersKey, rule.name);
  } else {
    // The shell is asked to create the folder when it is missing.
    found = system.folderPath(rule.csidl | kCsidlFlagCreate);
  }
  int up = 0;
  for (; up < rule.levelsUp && system.dirExists(found); ++up) found = ParentFolder(found);
  if (rule.levelsUp > 0 && up == 0) found.clear();
  // Each fallback's lookups run only when they are needed.
  if (system.dirExists(found)) return found;
  // The last fallback is the result even when it does not exist.
  for (unsigned char fallback = rule.fallback;; fallback = rule.secondFallback) {
    found = FallbackFolder(system, fallback, rule.name != nullptr);
    if (rule.name == nullptr) return found;
    found += rule.name;
    if (rule.secondFallback == kNoFolder || fallback == rule.secondFallback ||
        system.dirExists(found)) {
      return found;
    }
  }
}

std::string Field(const std::string& fields, int index) {
  return GetField(fields, index, std::string());
}

bool FieldOn(const std::string& fields, int index) { return Field(fields, index) == "1"; }

// Run-time folder state of the process, made on first use; "*" marks a
// folder not resolved yet.
struct TRunTimeState {
  std::string fieldLists[3];
  std::string cache[3] = {"*", "*", "*"};
};

TRunTimeState& RunTimeState() {
  static TRunTimeState state;
  return state;
}

// Null until a field list is set: an empty list finds no folder and shows
// no box, so until then no search is needed. Reached only through these
// pointers, the search and the system's calls behind it cost nothing in a
// program that sets no list.
std::string (*runTimeResolver)(const TRunTimeSearch&, const std::string&) = nullptr;
std::string (*systemRunTimeDir)(int index) = nullptr;

std::string SystemRunTimeDir(int index) { return CachedRunTimeDirOn(SystemRunTimeSearch(), index); }

}  // namespace

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash != std::string::npos ? path.substr(0, slash) : std::string();
}

std::string ProfilesFallbackOn(const TFolderSystem& system, bool withSlash) {
  std::string folder = system.windowsDir(true);
  folder += "Profiles\\";
  folder += system.registeredOwner();
  if (!system.dirExists(folder)) folder = system.windowsDir(false);
  return SetTrailingBackslash(folder, withSlash);
}

std::string FolderOn(const TFolderSystem& system, TFolder folder, bool withSlash) {
  switch (folder) {
    case TFolder::Font:
      return RuleFolder(system, kFolderRules[FolderByte(folder)]);
    case TFolder::Windows:
      return system.windowsDir(withSlash);
    case TFolder::System:
      return system.systemDir(withSlash);
    case TFolder::Program:
      return system.programDir(withSlash);
    case TFolder::System16:
      return System16DirOn(system);
    case TFolder::Origin:
    case TFolder::ProgramFiles:
    case TFolder::CommonFiles:
    case TFolder::StartMenu: {
      const char* const* value = kRegistryFolders[FolderByte(folder) - FolderByte(TFolder::Origin)];
      std::string found = system.regRead(value[0], value[1]);
      if (found.empty() && folder == TFolder::Origin) found = system.programDir(false);
      return found;
    }
    default:
      return SetTrailingBackslash(RuleFolder(system, kFolderRules[FolderByte(folder)]), withSlash);
  }
}

std::string UserDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::User, withSlash);
}

std::string DocumentsAndSettingsDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::DocumentsAndSettings, withSlash);
}

std::string AllUsersDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::AllUsers, withSlash);
}

std::string UserAppDataDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::UserAppData, withSlash);
}

std::string AllUsersAppDataDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::AllUsersAppData, withSlash);
}

std::string MyDocumentsDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::MyDocuments, withSlash);
}

std::string AllUsersDocumentsDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::AllUsersDocuments, withSlash);
}

std::string UserStartMenuDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::UserStartMenu, withSlash);
}

std::string AllUsersStartMenuDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::AllUsersStartMenu, withSlash);
}

std::string UserDesktopDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::UserDesktop, withSlash);
}

std::string AllUsersDesktopDirOn(const TFolderSystem& system, bool withSlash) {
  return FolderOn(system, TFolder::AllUsersDesktop, withSlash);
}

std::string System16DirOn(const TFolderSystem& system) {
  // Windows 9x keeps its 16-bit system files in "System", NT beside its
  // "System32"; the name without "32" finds either.
  const std::string systemDir = system.systemDir(false);
  const size_t at = systemDir.rfind("32");
  if (at != std::string::npos) {
    std::string withoutNumber = systemDir;
    withoutNumber.erase(at, 2);
    if (system.dirExists(withoutNumber)) return withoutNumber;
  }
  std::string system16 = system.windowsDir(true);
  system16 += "System";
  return system.dirExists(system16) ? system16 : systemDir;
}

std::string FontDirOn(const TFolderSystem& system) {
  return FolderOn(system, TFolder::Font, false);
}

std::string OriginDirOn(const TFolderSystem& system) {
  return FolderOn(system, TFolder::Origin, false);
}

std::string ProgramFilesDirOn(const TFolderSystem& system) {
  return FolderOn(system, TFolder::ProgramFiles, false);
}

std::string CommonFilesDirOn(const TFolderSystem& system) {
  return FolderOn(system, TFolder::CommonFiles, false);
}

std::string StartMenuDirOn(const TFolderSystem& system) {
  return FolderOn(system, TFolder::StartMenu, false);
}

std::string AppPathDirOn(const TFolderSystem& system, const std::string& name) {
  // Installers often register the program path in quotes; the folder of a
  // quoted path would keep the opening quote.
  return ParentFolder(Unquote(Trim(system.regRead(Concat({kAppPathsKey, name}), "")), false));
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
  // App Paths (fields 0, 1), then a registry value (2, 3).
  for (int field = 0; field <= 2 && result.empty(); field += 2) {
    if (!FieldOn(fields, field)) continue;
    name = Field(fields, field + 1);
    const auto& lookUp = field == 0 ? search.appPathDir : search.registryPathValue;
    result = StripTrailingBackslash(lookUp(name));
  }
  // A file (fields 4..7), then a folder (8..11): the name, then whether
  // fixed and network drives are searched.
  for (int field = 4; field <= 8 && result.empty(); field += 4) {
    if (!FieldOn(fields, field)) continue;
    const std::string wanted = Field(fields, field + 1);
    if (name.empty()) name = wanted;
    const auto& find = field == 4 ? search.findFile : search.findFolder;
    if (FieldOn(fields, field + 2)) result = find(wanted, kDriveFixed);
    if (result.empty() && FieldOn(fields, field + 3)) result = find(wanted, kDriveRemote);
    if (field == 4) result = ParentFolder(result);
  }
  if (result.empty() && FieldOn(fields, 12)) result = Field(fields, 13);
  if (result.empty() && FieldOn(fields, 16)) {
    search.showError(Concat({"RunTimeDir(", name, ")<P><P>Not Found!"}));
  }
  return result;
}

void SetRunTimeDirFields(int index, const std::string& fields) {
  if (index < 1 || index > 3) return;
  TRunTimeState& state = RunTimeState();
  state.fieldLists[index - 1] = fields;
  state.cache[index - 1] = "*";
  runTimeResolver = RunTimeDirOn;
  systemRunTimeDir = SystemRunTimeDir;
}

std::string CachedRunTimeDirOn(const TRunTimeSearch& search, int index) {
  if (index < 1 || index > 3 || runTimeResolver == nullptr) return "";
  TRunTimeState& state = RunTimeState();
  std::string& cached = state.cache[index - 1];
  if (cached == "*") cached = runTimeResolver(search, state.fieldLists[index - 1]);
  return cached;
}

std::string CachedRunTimeDir(int index) {
  return systemRunTimeDir != nullptr ? systemRunTimeDir(index) : std::string();
}
