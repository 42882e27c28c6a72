#include "paths/folder_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shared_cases.h"

namespace {

const char kShellFolders[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kAppPaths[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A machine with the Windows folder C:\WINDOWS, owner Ann, the folders in
// `existing` and the shell answers in `folderPaths` / `specialFolders`
// (keyed by the exact CSIDL asked, create flag included). A shell library
// that is missing simply answers nothing.
struct TFakeMachine {
  std::string windows = "C:\\WINDOWS";
  std::string system = "C:\\WINDOWS\\system32";
  std::set<std::string> existing;
  std::map<int, std::string> folderPaths;
  std::map<int, std::string> specialFolders;
  std::map<std::pair<std::string, std::string>, std::string> registry;

  TFolderSystem System() const {
    const auto withSlash = [](const std::string& folder, bool slash) {
      return slash ? folder + "\\" : folder;
    };
    return {
        [this](int csidl) { return Lookup(folderPaths, csidl); },
        [this](int csidl) { return Lookup(specialFolders, csidl); },
        [this](const std::string& path) { return existing.count(path) > 0; },
        [this, withSlash](bool slash) { return withSlash(windows, slash); },
        [this, withSlash](bool slash) { return withSlash(system, slash); },
        [withSlash](bool slash) { return withSlash("E:\\Setup", slash); },
        [] { return std::string("Ann"); },
        [this](const std::string& key, const std::string& name) {
          const auto found = registry.find({key, name});
          return found == registry.end() ? std::string() : found->second;
        },
    };
  }

  static std::string Lookup(const std::map<int, std::string>& answers, int csidl) {
    const auto found = answers.find(csidl);
    return found == answers.end() ? std::string() : found->second;
  }
};

const int kPersonalCreate = kCsidlPersonal | kCsidlFlagCreate;
const int kCommonAppDataCreate = kCsidlCommonAppData | kCsidlFlagCreate;

// An NT-style machine whose shell knows every folder.
TFakeMachine NtMachine() {
  TFakeMachine machine;
  machine.folderPaths = {
      {kPersonalCreate, "C:\\Documents and Settings\\Ann\\My Documents"},
      {kCommonAppDataCreate, "C:\\Documents and Settings\\All Users\\Application Data"},
      {kCsidlAppData | kCsidlFlagCreate, "C:\\Documents and Settings\\Ann\\Application Data"},
      {kCsidlCommonDocuments | kCsidlFlagCreate,
       "C:\\Documents and Settings\\All Users\\Documents"},
  };
  machine.specialFolders = {
      {kCsidlStartMenu, "C:\\Documents and Settings\\Ann\\Start Menu"},
      {kCsidlDesktopDirectory, "C:\\Documents and Settings\\Ann\\Desktop"},
  };
  machine.existing = {
      "C:\\WINDOWS",
      "C:\\Documents and Settings",
      "C:\\Documents and Settings\\Ann",
      "C:\\Documents and Settings\\Ann\\My Documents",
      "C:\\Documents and Settings\\Ann\\Application Data",
      "C:\\Documents and Settings\\Ann\\Start Menu",
      "C:\\Documents and Settings\\Ann\\Desktop",
      "C:\\Documents and Settings\\All Users",
      "C:\\Documents and Settings\\All Users\\Application Data",
      "C:\\Documents and Settings\\All Users\\Documents",
  };
  return machine;
}

TEST(ParentFolder, CutsAtTheLastBackslash) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Documents and Settings\\Ann", "C:\\Documents and Settings"},
      {"C:\\Ann", "C:"},
      {"C:\\Ann\\", "C:\\Ann"},
      {"Ann", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentFolder(c.first), c.second) << c.first;
}

TEST(ProfilesFallback, UsesTheOwnersProfileOnlyWhenItExists) {
  TFakeMachine machine;
  EXPECT_EQ(ProfilesFallbackOn(machine.System(), false), "C:\\WINDOWS");
  EXPECT_EQ(ProfilesFallbackOn(machine.System(), true), "C:\\WINDOWS\\");
  machine.existing.insert("C:\\WINDOWS\\Profiles\\Ann");
  EXPECT_EQ(ProfilesFallbackOn(machine.System(), false), "C:\\WINDOWS\\Profiles\\Ann");
  EXPECT_EQ(ProfilesFallbackOn(machine.System(), true), "C:\\WINDOWS\\Profiles\\Ann\\");
}

TEST(ShellFolders, WithoutTheShellLibrariesFallBackUnderTheWindowsFolder) {
  TFakeMachine win9x;  // no SHFolder.dll, no special-folder function
  EXPECT_EQ(MyDocumentsDirOn(win9x.System(), false), "C:\\WINDOWS\\My Documents");
  EXPECT_EQ(UserAppDataDirOn(win9x.System(), false), "C:\\WINDOWS\\Application Data");
  EXPECT_EQ(AllUsersAppDataDirOn(win9x.System(), false), "C:\\WINDOWS\\Application Data");
  EXPECT_EQ(AllUsersDocumentsDirOn(win9x.System(), false), "C:\\WINDOWS\\Documents");
  EXPECT_EQ(UserDirOn(win9x.System(), false), "C:\\WINDOWS");
  EXPECT_EQ(AllUsersDirOn(win9x.System(), true), "C:\\WINDOWS\\");
  EXPECT_EQ(UserStartMenuDirOn(win9x.System(), false), "C:\\WINDOWS\\Start Menu");
  EXPECT_EQ(AllUsersDesktopDirOn(win9x.System(), false), "C:\\WINDOWS\\Desktop");

  win9x.existing.insert("C:\\WINDOWS\\Profiles\\Ann");
  EXPECT_EQ(MyDocumentsDirOn(win9x.System(), false), "C:\\WINDOWS\\Profiles\\Ann\\My Documents");
  EXPECT_EQ(MyDocumentsDirOn(win9x.System(), true), "C:\\WINDOWS\\Profiles\\Ann\\My Documents\\");
  EXPECT_EQ(UserDirOn(win9x.System(), false), "C:\\WINDOWS\\Profiles\\Ann");
  EXPECT_EQ(UserAppDataDirOn(win9x.System(), false),
            "C:\\WINDOWS\\Profiles\\Ann\\Application Data");
}

TEST(ShellFolders, NtProfilesComeFromTheShellWithTheCreateFlag) {
  const TFakeMachine nt = NtMachine();
  const TFolderSystem system = nt.System();
  const std::pair<std::string, std::string> cases[] = {
      {UserDirOn(system, false), "C:\\Documents and Settings\\Ann"},
      {UserDirOn(system, true), "C:\\Documents and Settings\\Ann\\"},
      {DocumentsAndSettingsDirOn(system, false), "C:\\Documents and Settings"},
      {AllUsersDirOn(system, false), "C:\\Documents and Settings\\All Users"},
      {MyDocumentsDirOn(system, false), "C:\\Documents and Settings\\Ann\\My Documents"},
      {UserAppDataDirOn(system, false), "C:\\Documents and Settings\\Ann\\Application Data"},
      {AllUsersAppDataDirOn(system, true),
       "C:\\Documents and Settings\\All Users\\Application Data\\"},
      {AllUsersDocumentsDirOn(system, false), "C:\\Documents and Settings\\All Users\\Documents"},
      {UserStartMenuDirOn(system, false), "C:\\Documents and Settings\\Ann\\Start Menu"},
      {UserDesktopDirOn(system, true), "C:\\Documents and Settings\\Ann\\Desktop\\"},
      // No common start menu or desktop from the shell: built under All Users.
      {AllUsersStartMenuDirOn(system, false), "C:\\Documents and Settings\\All Users\\Start Menu"},
      {AllUsersDesktopDirOn(system, false), "C:\\Documents and Settings\\All Users\\Desktop"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.first, c.second);
}

TEST(ShellFolders, AnAnswerThatIsNoExistingFolderMovesOnToTheNextStep) {
  TFakeMachine machine = NtMachine();
  // The shell names a documents folder that is not there.
  machine.existing.erase("C:\\Documents and Settings\\Ann\\My Documents");
  EXPECT_EQ(UserDirOn(machine.System(), false), "C:\\WINDOWS");
  EXPECT_EQ(DocumentsAndSettingsDirOn(machine.System(), false), "C:\\WINDOWS");
  EXPECT_EQ(MyDocumentsDirOn(machine.System(), false), "C:\\WINDOWS\\My Documents");

  // The documents folder exists but its parent does not: the parent is no
  // user folder, and Documents and Settings is not looked for above it.
  machine = NtMachine();
  machine.existing.erase("C:\\Documents and Settings\\Ann");
  EXPECT_EQ(UserDirOn(machine.System(), false), "C:\\WINDOWS");
  EXPECT_EQ(DocumentsAndSettingsDirOn(machine.System(), false), "C:\\WINDOWS");

  // A special folder that does not exist: the user folder's subfolder,
  // then All Users', which is the answer even when missing.
  machine = NtMachine();
  machine.existing.erase("C:\\Documents and Settings\\Ann\\Desktop");
  EXPECT_EQ(UserDesktopDirOn(machine.System(), false),
            "C:\\Documents and Settings\\All Users\\Desktop");
  machine.existing.insert("C:\\Documents and Settings\\Ann\\Desktop");
  machine.specialFolders.erase(kCsidlDesktopDirectory);
  EXPECT_EQ(UserDesktopDirOn(machine.System(), false), "C:\\Documents and Settings\\Ann\\Desktop");
}

TEST(ShellFolders, ShellAnswersWithoutTheCreateFlagAreNotUsedForProfileFolders) {
  // The profile folders must be asked with CSIDL_FLAG_CREATE; an answer
  // only to the plain id means the flag was left off.
  TFakeMachine machine = NtMachine();
  machine.folderPaths = {{kCsidlPersonal, "C:\\Documents and Settings\\Ann\\My Documents"}};
  EXPECT_EQ(MyDocumentsDirOn(machine.System(), false), "C:\\WINDOWS\\My Documents");
}

struct TSystem16Case {
  const char* systemDir;
  std::vector<std::string> existing;
  const char* expected;
};

TEST(System16Dir, DropsTheLast32ThenTriesSystemUnderWindows) {
  const TSystem16Case cases[] = {
      {"C:\\WINDOWS\\system32", {"C:\\WINDOWS\\system"}, "C:\\WINDOWS\\system"},
      {"C:\\WINDOWS\\system32", {"C:\\WINDOWS\\System"}, "C:\\WINDOWS\\System"},
      {"C:\\WINDOWS\\system32", {}, "C:\\WINDOWS\\system32"},
      {"C:\\WIN32\\system32", {"C:\\WIN32\\system"}, "C:\\WIN32\\system"},
      {"C:\\WINDOWS\\SYSTEM", {"C:\\WINDOWS\\System"}, "C:\\WINDOWS\\System"},
      {"C:\\WINDOWS\\SYSTEM", {}, "C:\\WINDOWS\\SYSTEM"},
  };
  for (const TSystem16Case& c : cases) {
    TFakeMachine machine;
    machine.system = c.systemDir;
    machine.existing.insert(c.existing.begin(), c.existing.end());
    EXPECT_EQ(System16DirOn(machine.System()), c.expected) << c.systemDir;
  }
}

TEST(RegistryFolders, ReadTheirValuesAndFallBack) {
  TFakeMachine machine;
  EXPECT_EQ(FontDirOn(machine.System()), "C:\\WINDOWS\\Fonts");
  EXPECT_EQ(OriginDirOn(machine.System()), "E:\\Setup");
  EXPECT_EQ(ProgramFilesDirOn(machine.System()), "");
  EXPECT_EQ(CommonFilesDirOn(machine.System()), "");
  EXPECT_EQ(StartMenuDirOn(machine.System()), "");

  machine.registry = {
      {{kShellFolders, "Fonts"}, "D:\\Fonts"},
      {{"HKEY_CURRENT_USER\\Software\\Orvane_Dyn_Data", "OriginDir"}, "F:\\Origin"},
      {{kCurrentVersion, "ProgramFilesDir"}, "C:\\Program Files"},
      {{kCurrentVersion, "CommonFilesDir"}, "C:\\Program Files\\Common Files"},
      {{kShellFolders, "Start Menu"}, "C:\\WINDOWS\\Start Menu\\"},
  };
  // A registered font folder that does not exist is not used.
  EXPECT_EQ(FontDirOn(machine.System()), "C:\\WINDOWS\\Fonts");
  machine.existing.insert("D:\\Fonts");
  EXPECT_EQ(FontDirOn(machine.System()), "D:\\Fonts");
  EXPECT_EQ(OriginDirOn(machine.System()), "F:\\Origin");
  EXPECT_EQ(ProgramFilesDirOn(machine.System()), "C:\\Program Files");
  EXPECT_EQ(CommonFilesDirOn(machine.System()), "C:\\Program Files\\Common Files");
  // Taken as found, trailing backslash and all.
  EXPECT_EQ(StartMenuDirOn(machine.System()), "C:\\WINDOWS\\Start Menu\\");
}

TEST(AppPathDir, IsTheFolderOfTheRegisteredProgram) {
  TFakeMachine machine;
  machine.registry = {
      {{std::string(kAppPaths) + "tool.exe", ""}, "C:\\Program Files\\Tool\\tool.exe"},
      {{std::string(kAppPaths) + "quoted.exe", ""}, "\"C:\\Program Files\\Q\\quoted.exe\""},
  };
  EXPECT_EQ(AppPathDirOn(machine.System(), "tool.exe"), "C:\\Program Files\\Tool");
  EXPECT_EQ(AppPathDirOn(machine.System(), "quoted.exe"), "C:\\Program Files\\Q");
  EXPECT_EQ(AppPathDirOn(machine.System(), "missing.exe"), "");
}

TEST(RegistryPathValue, DefaultValueFirstThenTheLastPartAsValueName) {
  TFakeMachine machine;
  machine.registry = {
      {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool", ""}, "C:\\Default"},
      {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool", "InstallPath"}, "C:\\Named"},
  };
  const std::pair<const char*, const char*> cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool", "C:\\Default"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool\\InstallPath", "C:\\Named"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool\\Other", ""},
      {"NoBackslash", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RegistryPathValueOn(machine.System(), c.first), c.second);
}

// Records what a run-time folder search asks and shows.
struct TFakeSearch {
  std::map<std::string, std::string> appPaths;
  std::map<std::string, std::string> registryValues;
  std::map<std::pair<std::string, int>, std::string> files;
  std::map<std::pair<std::string, int>, std::string> folders;
  std::vector<std::string> asked;
  std::vector<std::string> boxes;

  TRunTimeSearch Search() {
    return {
        [this](const std::string& name) { return Answer("app:" + name, appPaths, name); },
        [this](const std::string& path) { return Answer("reg:" + path, registryValues, path); },
        [this](const std::string& name, int type) {
          asked.push_back("file:" + name + ":" + std::to_string(type));
          const auto found = files.find({name, type});
          return found == files.end() ? std::string() : found->second;
        },
        [this](const std::string& name, int type) {
          asked.push_back("folder:" + name + ":" + std::to_string(type));
          const auto found = folders.find({name, type});
          return found == folders.end() ? std::string() : found->second;
        },
        [this](const std::string& text) { boxes.push_back(text); },
    };
  }

  std::string Answer(const std::string& question, const std::map<std::string, std::string>& map,
                     const std::string& key) {
    asked.push_back(question);
    const auto found = map.find(key);
    return found == map.end() ? std::string() : found->second;
  }
};

struct TRunTimeCase {
  const char* title;
  std::vector<std::pair<int, std::string>> fields;
  const char* expected;
  std::vector<std::string> asked;
  std::vector<std::string> boxes;
};

TEST(RunTimeDir, StagesRunInOrderUntilOneFindsTheFolder) {
  const TRunTimeCase cases[] = {
      {"empty field list", {}, "", {}, {}},
      {"unregistered program",
       {{0, "1"}, {1, "nothere.exe"}, {16, "1"}},
       "",
       {"app:nothere.exe"},
       {"RunTimeDir(nothere.exe)<P><P>Not Found!"}},
      {"registered program, trailing backslash dropped",
       {{0, "1"}, {1, "tool.exe"}, {2, "1"}, {3, "HKEY_X\\Path"}, {16, "1"}},
       "C:\\Tool",
       {"app:tool.exe"},
       {}},
      {"a field is on only when it is exactly 1",
       {{0, "yes"}, {1, "tool.exe"}, {12, " 1"}, {13, "C:\\Fixed"}},
       "",
       {},
       {}},
      {"registry value after App Paths; its path is the name shown",
       {{0, "1"}, {1, "nothere.exe"}, {2, "1"}, {3, "HKEY_X\\Missing"}, {16, "1"}},
       "",
       {"app:nothere.exe", "reg:HKEY_X\\Missing"},
       {"RunTimeDir(HKEY_X\\Missing)<P><P>Not Found!"}},
      {"registry value found",
       {{2, "1"}, {3, "HKEY_X\\Path"}, {4, "1"}, {5, "tool.dll"}, {6, "1"}},
       "D:\\Reg",
       {"reg:HKEY_X\\Path"},
       {}},
      {"file on a network drive, fixed drives searched first",
       {{4, "1"}, {5, "tool.dll"}, {6, "1"}, {7, "1"}},
       "Z:\\Tools\\bin",
       {"file:tool.dll:3", "file:tool.dll:4"},
       {}},
      {"file search on network drives only",
       {{4, "1"}, {5, "tool.dll"}, {6, "0"}, {7, "1"}, {16, "1"}},
       "Z:\\Tools\\bin",
       {"file:tool.dll:4"},
       {}},
      {"file not found; the file name is shown when nothing named before",
       {{4, "1"}, {5, "none.dll"}, {6, "1"}, {8, "1"}, {9, "Data"}, {16, "1"}},
       "",
       {"file:none.dll:3"},
       {"RunTimeDir(none.dll)<P><P>Not Found!"}},
      {"folder search on fixed drives",
       {{8, "1"}, {9, "Data"}, {10, "1"}, {11, "1"}},
       "C:\\Apps\\Data",
       {"folder:Data:3"},
       {}},
      {"folder name shown last",
       {{8, "1"}, {9, "Nowhere"}, {10, "1"}, {11, "1"}, {16, "1"}},
       "",
       {"folder:Nowhere:3", "folder:Nowhere:4"},
       {"RunTimeDir(Nowhere)<P><P>Not Found!"}},
      {"fixed folder kept unchanged",
       {{0, "1"}, {1, "nothere.exe"}, {12, "1"}, {13, "C:\\Fixed\\"}, {16, "1"}},
       "C:\\Fixed\\",
       {"app:nothere.exe"},
       {}},
      {"nothing found without field 16 shows no box",
       {{0, "1"}, {1, "nothere.exe"}},
       "",
       {"app:nothere.exe"},
       {}},
  };
  for (const TRunTimeCase& c : cases) {
    TFakeSearch fake;
    fake.appPaths = {{"tool.exe", "C:\\Tool\\"}};
    fake.registryValues = {{"HKEY_X\\Path", "D:\\Reg\\"}};
    fake.files = {{{"tool.dll", 4}, "Z:\\Tools\\bin\\tool.dll"}};
    fake.folders = {{{"Data", 3}, "C:\\Apps\\Data"}};
    EXPECT_EQ(RunTimeDirOn(fake.Search(), FieldList(c.fields)), c.expected) << c.title;
    EXPECT_EQ(fake.asked, c.asked) << c.title;
    EXPECT_EQ(fake.boxes, c.boxes) << c.title;
  }
}

TEST(RunTimeDir, CachedFolderIsResolvedOnceEvenWhenEmpty) {
  TFakeSearch fake;
  fake.appPaths = {{"tool.exe", "C:\\Tool"}};
  SetRunTimeDirFields(1, FieldList({{0, "1"}, {1, "nothere.exe"}, {16, "1"}}));
  SetRunTimeDirFields(2, FieldList({{0, "1"}, {1, "tool.exe"}}));
  SetRunTimeDirFields(3, "");
  const TRunTimeSearch search = fake.Search();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(CachedRunTimeDirOn(search, 1), "");
    EXPECT_EQ(CachedRunTimeDirOn(search, 2), "C:\\Tool");
    EXPECT_EQ(CachedRunTimeDirOn(search, 3), "");
  }
  EXPECT_EQ(fake.boxes, std::vector<std::string>{"RunTimeDir(nothere.exe)<P><P>Not Found!"});
  EXPECT_EQ(fake.asked, (std::vector<std::string>{"app:nothere.exe", "app:tool.exe"}));

  // A new field list is resolved afresh.
  SetRunTimeDirFields(1, FieldList({{12, "1"}, {13, "C:\\Later"}}));
  EXPECT_EQ(CachedRunTimeDirOn(search, 1), "C:\\Later");
  EXPECT_EQ(CachedRunTimeDirOn(search, 0), "");
  EXPECT_EQ(CachedRunTimeDirOn(search, 4), "");
  for (int index = 1; index <= 3; ++index) SetRunTimeDirFields(index, "");
}

}  // namespace
