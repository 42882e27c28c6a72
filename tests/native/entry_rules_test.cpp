#include <gtest/gtest.h>

#include "startup/entry.h"

TEST(MainWindowClass, SetupLauncherUsesItsFullPath) {
  EXPECT_EQ(MainWindowClassFor(false, "C:\\Downloads\\setup.exe"), "C:\\Downloads\\setup.exe");
}

TEST(MainWindowClass, AutoUpdateRolesUseTheBaseName) {
  EXPECT_EQ(MainWindowClassFor(true, "C:\\Apps\\Tool\\Update.exe"), ".AutoUpdate.Update");
  EXPECT_EQ(MainWindowClassFor(true, "C:\\Apps\\Tool\\X_Update.exe"), ".AutoUpdate.X_Update");
  EXPECT_EQ(MainWindowClassFor(true, "C:\\Apps\\a.b.exe"), ".AutoUpdate.a.b");
}

TEST(OriginDir, KeepsTheDriveOfARootProgramAndDropsOtherBackslashes) {
  struct Case {
    const char* path;
    const char* origin;
  } cases[] = {
      {"C:\\setup.exe", "C:"},
      {"C:\\Setup\\setup.exe", "C:\\Setup"},
      {"D:\\a\\b\\c\\setup.exe", "D:\\a\\b\\c"},
  };
  for (const Case& c : cases) EXPECT_EQ(OriginDirOf(c.path), c.origin) << c.path;
}
