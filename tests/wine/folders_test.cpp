// Folder resolution against a real Windows system: the shell folders of the
// Wine prefix, its registry, and the error box of a run-time folder that
// cannot be found, answered from a second thread.
#include "paths/folders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "box_answerer.h"
#include "files/file_ops.h"
#include "shared_cases.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

const char kDynDataKey[] = "HKEY_CURRENT_USER\\Software\\Orvane_Dyn_Data";
const char kTestKey[] = "HKEY_CURRENT_USER\\Software\\OrvaneTest\\Folders";
const char kAppPathsSubKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

struct TFolderCase {
  const char* name;
  std::function<std::string(bool)> folder;
};

TEST(Folders, ShellFoldersExistWithAndWithoutTheirBackslash) {
  const TFolderCase cases[] = {
      {"UserDir", UserDir},
      {"DocumentsAndSettingsDir", DocumentsAndSettingsDir},
      {"AllUsersDir", AllUsersDir},
      {"UserAppDataDir", UserAppDataDir},
      {"AllUsersAppDataDir", AllUsersAppDataDir},
      {"MyDocumentsDir", MyDocumentsDir},
      {"AllUsersDocumentsDir", AllUsersDocumentsDir},
      {"UserStartMenuDir", UserStartMenuDir},
      {"AllUsersStartMenuDir", AllUsersStartMenuDir},
      {"UserDesktopDir", UserDesktopDir},
      {"AllUsersDesktopDir", AllUsersDesktopDir},
      {"ProfilesFallback", ProfilesFallback},
  };
  for (const TFolderCase& c : cases) {
    const std::string bare = c.folder(false);
    ASSERT_FALSE(bare.empty()) << c.name;
    EXPECT_NE(bare.back(), '\\') << c.name << ": " << bare;
    EXPECT_TRUE(DirExists(bare)) << c.name << ": " << bare;
    EXPECT_EQ(c.folder(true), bare + "\\") << c.name;
  }
}

TEST(Folders, UserDesktopComesFromTheShell) {
  const std::string desktop = UserDesktopDir(false);
  EXPECT_EQ(desktop, SpecialFolder(kCsidlDesktopDirectory));
  EXPECT_TRUE(DirExists(desktop)) << desktop;
}

TEST(Folders, UserDirIsTheParentOfTheDocumentsFolder) {
  const std::string documents = MyDocumentsDir(false);
  ASSERT_EQ(documents, FolderPath(kCsidlPersonal | kCsidlFlagCreate));
  EXPECT_EQ(UserDir(false), ParentFolder(documents));
  EXPECT_EQ(DocumentsAndSettingsDir(false), ParentFolder(UserDir(false)));
  EXPECT_EQ(AllUsersDir(false), ParentFolder(AllUsersAppDataDir(false)));
}

TEST(Folders, AnUnknownFolderIdIsAFailedLookup) {
  EXPECT_EQ(FolderPath(0x7F), "");
  EXPECT_EQ(SpecialFolder(0x7F), "");
}

TEST(Folders, System16DirDropsThe32OfTheSystemFolder) {
  const std::string systemDir = SystemDir(false);
  const int at = LastPos("32", systemDir);
  ASSERT_GT(at, 0) << systemDir;
  const std::string without32 = systemDir.substr(0, static_cast<size_t>(at - 1)) +
                                systemDir.substr(static_cast<size_t>(at + 1));
  if (DirExists(without32)) {
    EXPECT_EQ(System16Dir(), without32);
  } else {
    // Then the Windows folder's "System", else the system folder itself.
    const std::string system = WindowsDir(true) + "System";
    EXPECT_EQ(System16Dir(), DirExists(system) ? system : systemDir);
  }
  EXPECT_TRUE(DirExists(System16Dir())) << System16Dir();
}

TEST(Folders, FontAndProgramFoldersComeFromTheRegistry) {
  const std::string fonts = FontDir();
  EXPECT_TRUE(DirExists(fonts)) << fonts;
  EXPECT_TRUE(EndsWithText("\\Fonts", fonts)) << fonts;
  EXPECT_EQ(ProgramFilesDir(),
            RegReadValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         "ProgramFilesDir", ""));
  EXPECT_TRUE(DirExists(ProgramFilesDir())) << ProgramFilesDir();
  EXPECT_TRUE(DirExists(CommonFilesDir())) << CommonFilesDir();
}

class RegistryFolders : public testing::Test {
 protected:
  void SetUp() override { savedOrigin = RegReadValue(kDynDataKey, "OriginDir", ""); }
  void TearDown() override {
    if (savedOrigin.empty()) {
      DeleteOriginDir();
    } else {
      RegWriteValue(kDynDataKey, "OriginDir", savedOrigin);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OrvaneTest\\Folders");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OrvaneTest");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kAppPathsSubKey) + "orvane_probe.exe").c_str());
  }
  static void DeleteOriginDir() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orvane_Dyn_Data", 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, "OriginDir");
      RegCloseKey(key);
    }
  }
  std::string savedOrigin;
};

TEST_F(RegistryFolders, OriginDirFallsBackToTheProgramFolder) {
  ASSERT_TRUE(RegWriteValue(kDynDataKey, "OriginDir", "Q:\\Origin"));
  EXPECT_EQ(OriginDir(), "Q:\\Origin");
  DeleteOriginDir();
  EXPECT_EQ(OriginDir(), ProgramDir(false));
  ASSERT_TRUE(RegWriteValue(kDynDataKey, "OriginDir", ""));
  EXPECT_EQ(OriginDir(), ProgramDir(false));
}

TEST_F(RegistryFolders, AppPathsAndRegistryPathsGiveRunTimeFolders) {
  const std::string appPaths = std::string("HKEY_LOCAL_MACHINE\\") + kAppPathsSubKey;
  ASSERT_TRUE(RegWriteValue(appPaths + "orvane_probe.exe", "", "C:\\Probe\\Dir\\orvane_probe.exe"));
  EXPECT_EQ(AppPathDir("orvane_probe.exe"), "C:\\Probe\\Dir");
  EXPECT_EQ(AppPathDir("orvane_not_registered.exe"), "");

  ASSERT_TRUE(RegWriteValue(kTestKey, "Path", "C:\\Named\\"));
  EXPECT_EQ(RegistryPathValue(std::string(kTestKey) + "\\Path"), "C:\\Named\\");
  ASSERT_TRUE(RegWriteValue(kTestKey, "", "C:\\Default"));
  EXPECT_EQ(RegistryPathValue(kTestKey), "C:\\Default");

  // The stages end with the first folder found, trailing backslash dropped.
  const std::string namedPath = std::string(kTestKey) + "\\Path";
  EXPECT_EQ(RunTimeDir(FieldList({{0, "1"}, {1, "orvane_probe.exe"}, {2, "1"}, {3, namedPath}})),
            "C:\\Probe\\Dir");
  EXPECT_EQ(
      RunTimeDir(FieldList({{0, "1"}, {1, "orvane_not_registered.exe"}, {2, "1"}, {3, namedPath}})),
      "C:\\Named");
  EXPECT_EQ(RunTimeDir(FieldList({{12, "1"}, {13, "C:\\Fixed"}})), "C:\\Fixed");
  EXPECT_EQ(RunTimeDir(""), "");
}

TEST(RunTimeDirBox, UnregisteredProgramShowsTheErrorOnceThenStaysEmpty) {
  SetRunTimeDirFields(1, FieldList({{0, "1"}, {1, "orvane_not_registered.exe"}, {16, "1"}}));
  TBoxAnswerer closer([](const std::string&) { return ""; });
  EXPECT_EQ(RunTimeDir1(), "");
  const std::vector<std::string> first = closer.Texts();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NE(first[0].find("RunTimeDir(orvane_not_registered.exe)"), std::string::npos) << first[0];
  EXPECT_NE(first[0].find("Not Found!"), std::string::npos) << first[0];

  for (int i = 0; i < 3; ++i) EXPECT_EQ(RunTimeDir1(), "");
  Sleep(300);
  EXPECT_EQ(closer.Texts().size(), 1u);
  SetRunTimeDirFields(1, "");
}

TEST(RunTimeDirBox, EmptyFieldListsResolveToNothingWithoutABox) {
  TBoxAnswerer closer([](const std::string&) { return ""; });
  EXPECT_EQ(RunTimeDir2(), "");
  EXPECT_EQ(RunTimeDir3(), "");
  Sleep(300);
  EXPECT_TRUE(closer.Texts().empty());
}

}  // namespace
