// Macro expansion bound to the real system: the folders of the Wine prefix,
// its clock and locale, and GetFullPathNameA.
#include "paths/macros.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_ops.h"
#include "paths/folder_rules.h"
#include "paths/folders.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

class SystemMacros : public testing::Test {
 protected:
  void SetInstallFolders(const std::string& application, const std::string& common,
                         const std::string& auxiliary) {
    folders = {application, common, auxiliary};
  }
  // The expansion with the installation's folders set here.
  std::string ExpandMacros(const std::string& text, const std::string& suffix, bool normaliseDots,
                           bool customLookup) {
    return ::ExpandMacros(folders, text, suffix, normaliseDots, customLookup);
  }
  TMacroFolders folders;
};

TEST_F(SystemMacros, WindowsFolderMacrosGiveTheRealFolders) {
  const std::string notepad = ExpandMacros("<WinDir>\\notepad.exe", "\\", true, true);
  EXPECT_EQ(notepad, WindowsDir(false) + "\\notepad.exe");
  EXPECT_NE(FileSizeOf(notepad), 0) << notepad;

  const struct {
    const char* text;
    std::string expected;
  } cases[] = {
      {"<WinSysDir>\\kernel32.dll", SystemDir(true) + "kernel32.dll"},
      {"<WinSys16Dir>", System16Dir()},
      {"<WinDrive>", WindowsDir(false).substr(0, 3)},
      {"<UserDesktopDir>\\Tool.lnk", UserDesktopDir(true) + "Tool.lnk"},
      {"<MyDocumentsDir>", MyDocumentsDir(false)},
      {"<SrcDir>\\setup.exe", ProgramDir(true) + "setup.exe"},
      {"|<TempDir>|<FontDir>|", "|" + TempDir(false) + "|" + FontDir() + "|"},
      {"<UserName>", RegisteredOwner()},
      {"<RunTimeDir_2>", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExpandMacros(c.text, "\\", true, true), c.expected) << c.text;
}

TEST_F(SystemMacros, InstallFoldersFromTheAgentSettings) {
  SetInstallFolders("C:\\Program Files\\Tool", "C:\\Common", "");
  EXPECT_EQ(ExpandMacros("<InstallDir>\\Tool.exe", "\\", true, true),
            "C:\\Program Files\\Tool\\Tool.exe");
  EXPECT_EQ(ExpandMacros("<Application Folder>\\<InstallDir>bin\\..\\Tool.exe", "\\", true, true),
            "C:\\Program Files\\Tool\\Tool.exe");
}

TEST_F(SystemMacros, DateStampUsesTheLocalClockAndLocale) {
  SYSTEMTIME before = {};
  GetLocalTime(&before);
  const std::string stamp = ExpandMacros("<Date=6>", "\\", false, false);
  const std::string named = ExpandMacros("<Date=#>", "\\", false, false);
  SYSTEMTIME after = {};
  GetLocalTime(&after);
  if (before.wDay != after.wDay) GTEST_SKIP() << "the date changed during the test";

  EXPECT_EQ(stamp, ZeroPad(after.wYear, 4) + "-" + ZeroPad(after.wMonth, 2) + "-" +
                       ZeroPad(after.wDay, 2));
  char month[80] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1 + after.wMonth - 1, month, sizeof(month));
  char separator[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDATE, separator, sizeof(separator));
  ASSERT_NE(month[0], '\0');
  EXPECT_EQ(named,
            ZeroPad(after.wDay, 2) + separator + month + separator + ZeroPad(after.wYear, 4));
}

TEST_F(SystemMacros, RunTimeFolderFromItsFieldListThroughTheSystemSearch) {
  // Field 12 on: the fixed folder of field 13; nothing else is searched.
  std::string fields = "|";
  for (int i = 0; i < 20; ++i) fields += i == 12 ? "1|" : i == 13 ? "C:\\Fixed|" : "|";
  SetRunTimeDirFields(3, fields);
  EXPECT_EQ(ExpandMacros("<RunTimeDir_3>\\bin", "\\", false, false), "C:\\Fixed\\bin");
  // An App Paths entry that is missing and no other lookup: empty, no box.
  SetRunTimeDirFields(3, "|1|orvane_not_registered.exe|");
  EXPECT_EQ(ExpandMacros("<RunTimeDir_3>", "\\", false, false), "");
  SetRunTimeDirFields(3, "");
}

TEST_F(SystemMacros, DotsResolveThroughTheSystem) {
  EXPECT_EQ(NormaliseDots("C:\\A\\B\\..\\C"), "C:\\A\\C");
  EXPECT_EQ(NormaliseDots("|C:\\A\\..\\B|D:\\E|"), "|C:\\B|D:\\E|");
  EXPECT_EQ(NormaliseDots("C:\\A\\B"), "C:\\A\\B");

  // A relative path is taken from the current folder.
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof(saved), saved);
  const std::string temp = TempDir(false);
  ASSERT_TRUE(SetCurrentDirectoryA(temp.c_str()));
  EXPECT_EQ(NormaliseDots("..\\x.txt"), ParentFolder(temp) + "\\x.txt");
  SetCurrentDirectoryA(saved);

  // The ANSI call takes at most MAX_PATH characters; a longer path it
  // cannot resolve is kept as written rather than lost.
  std::string deep = "C:\\";
  for (int i = 0; i < 30; ++i) deep += "folder" + std::to_string(i) + "\\";
  EXPECT_EQ(NormaliseDots(deep + "a\\..\\b"), deep + "a\\..\\b");
  EXPECT_EQ(NormaliseDots("|" + deep + "a\\..\\b|C:\\A\\..\\B|"), "|" + deep + "a\\..\\b|C:\\B|");
}

}  // namespace
