#include "files/self_delete_text.h"

#include <gtest/gtest.h>

namespace {

struct TBatchCase {
  const char* name;
  bool removeFolder;
  bool shortNames;
  const char* exe;
  const char* folder;
  const char* batch;
  const char* expected;
};

TEST(SelfDeleteBatchText, LinesForEachOption) {
  const TBatchCase cases[] = {
      {"quoted, folder kept", false, false, "C:\\Apps\\X_Update.exe", "C:\\Apps",
       "C:\\TEMP\\_DEL_ME_.BAT",
       ":START\r\n"
       "DEL \"C:\\Apps\\X_Update.exe\"\r\n"
       "IF errorlevel 1 GOTO START\r\n"
       "IF EXIST \"C:\\Apps\\X_Update.exe\" GOTO START\r\n"
       "DEL \"C:\\TEMP\\_DEL_ME_.BAT\"\r\n"},
      {"quoted, folder removed", true, false, "C:\\My Apps\\X_Update.exe", "C:\\My Apps",
       "C:\\TEMP\\_DEL_ME_.BAT",
       ":START\r\n"
       "DEL \"C:\\My Apps\\X_Update.exe\"\r\n"
       "IF errorlevel 1 GOTO START\r\n"
       "IF EXIST \"C:\\My Apps\\X_Update.exe\" GOTO START\r\n"
       "RD \"C:\\My Apps\"\r\n"
       "DEL \"C:\\TEMP\\_DEL_ME_.BAT\"\r\n"},
      {"short names, folder removed", true, true, "C:\\MYAPPS~1\\X_UPDA~1.EXE", "C:\\MYAPPS~1",
       "C:\\TEMP\\_DEL_ME_.BAT",
       ":START\r\n"
       "DEL C:\\MYAPPS~1\\X_UPDA~1.EXE\r\n"
       "IF errorlevel 1 GOTO START\r\n"
       "IF EXIST C:\\MYAPPS~1\\X_UPDA~1.EXE GOTO START\r\n"
       "RD C:\\MYAPPS~1\r\n"
       "DEL C:\\TEMP\\_DEL_ME_.BAT\r\n"},
      {"short names, folder kept", false, true, "C:\\A\\B.EXE", "C:\\A", "C:\\T\\_DEL_ME_.BAT",
       ":START\r\n"
       "DEL C:\\A\\B.EXE\r\n"
       "IF errorlevel 1 GOTO START\r\n"
       "IF EXIST C:\\A\\B.EXE GOTO START\r\n"
       "DEL C:\\T\\_DEL_ME_.BAT\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SelfDeleteBatchText(c.exe, c.folder, c.batch, c.removeFolder, c.shortNames),
              c.expected)
        << c.name;
  }
}

TEST(SelfDeleteFolderOf, KeepsDriveRootShort) {
  const struct {
    const char* exe;
    const char* folder;
  } cases[] = {
      {"C:\\Apps\\X_Update.exe", "C:\\Apps"},
      {"C:\\X_Update.exe", "C:"},
      {"C:\\Program Files\\Tool\\X_Up.exe", "C:\\Program Files\\Tool"},
      {"\\\\server\\share\\X_Up.exe", "\\\\server\\share"},
  };
  for (const auto& c : cases) EXPECT_EQ(SelfDeleteFolderOf(c.exe), c.folder) << c.exe;
}

}  // namespace
