#include "process/setup_wait_rules.h"

#include <gtest/gtest.h>

TEST(SetupWait, FolderBoundariesAndLetterCase) {
  struct Case {
    const char* path;
    const char* folder;
    bool within;
  } cases[] = {
      {"C:\\Temp\\SETUP_1\\Setup.exe", "C:\\TEMP\\setup_1", true},
      {"C:\\Temp\\SETUP_1\\Setup.exe", "C:\\Temp\\SETUP_1\\", true},
      {"C:\\Temp\\SETUP_1", "C:\\Temp\\SETUP_1", true},
      {"C:\\Temp\\SETUP_12\\Setup.exe", "C:\\Temp\\SETUP_1", false},
      {"C:\\Tem", "C:\\Temp", false},
      {"D:\\Temp\\x.exe", "C:\\Temp", false},
      {"C:\\x.exe", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWithinFolder(c.path, c.folder), c.within) << c.path;
}

TEST(SetupWait, TheInstallersHelpersKeepWaitingTheApplicationDoesNot) {
  // As the launcher spells them, long and short.
  const TFolderForms temp = {"C:\\USERS\\ME~1\\Temp", "C:\\users\\me\\Temp",
                             "C:\\USERS\\ME~1\\Temp"};
  const TFolderForms setup = {"C:\\USERS\\ME~1\\Temp\\SETUP_7", "C:\\users\\me\\Temp\\SETUP_7", ""};
  // A setup folder on another drive, where room was short.
  const TFolderForms elsewhere = {"D:\\TEMP_12345", "D:\\TEMP_12345", "D:\\TEMP_1~1"};
  struct Case {
    const char* image;
    const char* commandLine;
    bool keeps;
    bool setupElsewhere = false;
  } cases[] = {
      // The setup program, and its copy re-launched from the temp folder.
      {"C:\\users\\me\\Temp\\SETUP_7\\Setup.exe", "", true},
      {"C:\\USERS\\ME~1\\Temp\\ns123.tmp\\Au_.exe", "Au_.exe _?=C:\\x", true},
      // System programs on the extracted files, by long or short name.
      {"C:\\windows\\system32\\msiexec.exe",
       "msiexec /i \"C:\\users\\me\\Temp\\SETUP_7\\app.msi\" /qn", true},
      {"C:\\windows\\system32\\cmd.exe", "cmd /c \"c:\\users\\ME~1\\temp\\setup_7\\install.cmd\"",
       true},
      // What the installer starts for the user at its end.
      {"C:\\Program Files\\App\\App.exe", "\"C:\\Program Files\\App\\App.exe\"", false},
      {"C:\\windows\\system32\\notepad.exe", "notepad C:\\Program Files\\App\\readme.txt", false},
      // Another run's folder is not this run's.
      {"C:\\windows\\system32\\msiexec.exe", "msiexec /i C:\\users\\me\\Temp\\SETUP_77\\a.msi",
       false},
      // Nothing known of it: it is none of the installer's work.
      {"", "", false},
      {"D:\\TEMP_12345\\Setup.exe", "", true, true},
      {"C:\\windows\\system32\\cmd.exe", "cmd /c D:\\TEMP_1~1\\go.cmd", true, true},
      {"C:\\windows\\system32\\cmd.exe", "cmd /c D:\\TEMP_12345.cmd", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeepsSetupWaiting(c.image, c.commandLine, temp, c.setupElsewhere ? elsewhere : setup),
              c.keeps)
        << c.image << " " << c.commandLine;
  }
}
