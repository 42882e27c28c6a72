#include <gtest/gtest.h>

#include <string>

#include "package/driver_rules.h"

namespace {

// Package texts as the built-in defaults (no language section).
std::string Defaults(const char*, const char* def) { return def; }

}  // namespace

TEST(FormatMB, DecimalsDependOnTheSize) {
  struct Case {
    double bytes;
    const char* text;
  } cases[] = {
      {0, "0.000"},
      {-5, "0.000"},
      {524288, "0.500"},
      {1048576, "1.00"},
      {10 * 1048576.0, "10.00"},
      {10 * 1048576.0 + 1, "10.0"},
      {20 * 1048576.0, "20.0"},
      {68995.3 * 1048576.0, "68995.3"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatMB(c.bytes), c.text) << c.bytes;
}

TEST(StartCommand, CallersArgumentsThenTheProgramsOwnThenTheToken) {
  EXPECT_EQ(BuildStartCommand("C:\\T\\SETUP_1", "Setup.exe* /b", "/a", RunTokenFor(1234), false),
            "C:\\T\\SETUP_1\\Setup.exe /a /b /TH_ID=_1234");
  EXPECT_EQ(BuildStartCommand("C:\\T\\SETUP_1\\", "Setup.exe*", "", "_7", false),
            "C:\\T\\SETUP_1\\Setup.exe /TH_ID=_7");
  EXPECT_EQ(BuildStartCommand("C:\\T", "Setup.exe *  /S ", "", "_7", true),
            "C:\\T\\Setup.exe /S /TH_ID=_7 /AutoUpdateProg");
  EXPECT_EQ(BuildStartCommand("C:\\T", "Setup.exe* /S", "\"/x y\"", "_7", false),
            "C:\\T\\Setup.exe \"/x y\" /S /TH_ID=_7");
}

TEST(StartCommand, ProgramPathDropsTheMarkAndArguments) {
  EXPECT_EQ(MainProgramPath("C:\\T", "Setup.exe* /b"), "C:\\T\\Setup.exe");
  EXPECT_EQ(MainProgramPath("C:\\T\\", "app.exe*"), "C:\\T\\app.exe");
}

TEST(TempSpaceQuestion, AskedOnlyWhenAlwaysShownOrShort) {
  const double mb = 1048576;
  EXPECT_EQ(TempSpaceQuestion("C:\\TEMP", 1 * mb, 100 * mb, false, Defaults), "");
  const std::string always = TempSpaceQuestion("c:\\temp", 0.5 * mb, 100 * mb, true, Defaults);
  EXPECT_EQ(always.rfind("Orvane will extract files to your Temp Drive (C:)<P>", 0), 0u) << always;
  EXPECT_NE(always.find("<T>  0.500 MB<P>"), std::string::npos) << always;
  EXPECT_NE(always.find("<T>  100.0 MB<P>"), std::string::npos) << always;
  EXPECT_NE(always.find("<P>Continue with Setup?<P>"), std::string::npos);
}

TEST(TempSpaceQuestion, ShortSpaceWinsOverTheNoticeAndEqualCountsAsShort) {
  const double mb = 1048576;
  for (bool always : {false, true}) {
    const std::string q = TempSpaceQuestion("D:\\TEMP", 5 * mb, 5 * mb, always, Defaults);
    EXPECT_EQ(q.rfind("Limited Free Space on your Temp Drive! (D:)<P>", 0), 0u) << q;
  }
  // A free space that cannot be read (-1) is too little room.
  const std::string unknown = TempSpaceQuestion("E:\\", 0, -1, false, Defaults);
  EXPECT_NE(unknown.find("Limited Free Space"), std::string::npos);
  EXPECT_NE(unknown.find("<T>  0.000 MB<P>"), std::string::npos) << unknown;
}

TEST(TempSpaceQuestion, PackageTextsReplaceTheDefaults) {
  auto texts = [](const char* id, const char* def) -> std::string {
    if (std::string(id) == "s2") return "Disque <DRIVE> ";
    if (std::string(id) == "s6") return "?";
    return def;
  };
  const std::string q = TempSpaceQuestion("C:\\X", 1, 1e12, true, texts);
  EXPECT_EQ(q.rfind("Disque C: <P>Estimated", 0), 0u) << q;
  EXPECT_EQ(q.back(), '?');
}

TEST(SetupFolderName, TheSweepLooksOnlyAtNamesARunCanGive) {
  EXPECT_EQ(SetupFolderName(11243, 1), "SETUP_11243");
  EXPECT_EQ(SetupFolderName(7, 2), "SETUP_7_2");
  struct Case {
    const char* name;
    bool ours;
  } cases[] = {
      {"SETUP_11243", true},  {"setup_0", true},       {"SETUP_65535_2", true},
      {"SETUP_1_100", true},  {"SETUP_", false},       {"SETUP_x", false},
      {"SETUP_123456", false}, {"SETUP_12_", false},   {"SETUP_12_1000", false},
      {"SETUP_12_2x", false}, {"SETUP_12.old", false}, {"XSETUP_12", false},
      {"SETUP12", false},     {"SETUP_12 ", false},    {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSetupFolderName(c.name), c.ours) << c.name;
}
