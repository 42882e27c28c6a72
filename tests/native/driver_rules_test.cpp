#include "package/driver_rules.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(StartCommand, EachKindOfMainProgramGetsItsOwnCommand) {
  const char* const kSys = "C:\\WINDOWS\\system32";
  struct Case {
    const char* main;
    const char* arguments;
    const char* handShake;
    bool exitCodeMode;
    bool agent;
    const char* application;
    const char* commandLine;
    TSuccessBy successBy;
  } cases[] = {
      // A setup program of the hand-shake: unquoted, the caller's, the
      // agent's and the publisher's arguments, then the token.
      {"Setup.exe* /b", "/a", "", false, false, "C:\\T\\S\\Setup.exe",
       "C:\\T\\S\\Setup.exe /a /b /TH_ID=_1234", TSuccessBy::HandShake},
      {"Setup.exe*", "", "", false, false, "C:\\T\\S\\Setup.exe",
       "C:\\T\\S\\Setup.exe /TH_ID=_1234", TSuccessBy::HandShake},
      {"Setup.exe *  /S ", "", "/OriginalInfoFile=\"C:\\A\\T.info\"", false, true,
       "C:\\T\\S\\Setup.exe",
       "C:\\T\\S\\Setup.exe /OriginalInfoFile=\"C:\\A\\T.info\" /S /TH_ID=_1234 /AutoUpdateProg",
       TSuccessBy::HandShake},
      // An ordinary installer: quoted, the caller's then the publisher's
      // arguments and nothing after them, so NSIS's /D= stays last.
      {"Setup.exe* /S /D=C:\\Custom Dir", "/x", "/OriginalInfoFile=x", true, true,
       "C:\\T\\S\\Setup.exe", "\"C:\\T\\S\\Setup.exe\" /x /S /D=C:\\Custom Dir",
       TSuccessBy::ExitCode},
      {"Setup.exe", "", "", true, false, "C:\\T\\S\\Setup.exe", "\"C:\\T\\S\\Setup.exe\"",
       TSuccessBy::ExitCode},
      // An MSI goes through msiexec and by its exit code, whatever the package says.
      {"app.MSI* /qn", "", "/OriginalInfoFile=x", false, true, "C:\\WINDOWS\\system32\\msiexec.exe",
       "\"C:\\WINDOWS\\system32\\msiexec.exe\" /i \"C:\\T\\S\\app.MSI\" /qn", TSuccessBy::ExitCode},
      // A batch file as it is: the system hands it to its command interpreter.
      {"install.cmd* a", "", "", true, false, "C:\\T\\S\\install.cmd",
       "\"C:\\T\\S\\install.cmd\" a", TSuccessBy::ExitCode},
  };
  for (const Case& c : cases) {
    TStartInput in;
    in.TargetFolder = "C:\\T\\S\\";
    in.MainProgram = c.main;
    in.Arguments = c.arguments;
    in.HandShakeArguments = c.handShake;
    in.RunToken = RunTokenFor(1234);
    in.SystemFolder = kSys;
    in.PackageSaysExitCode = c.exitCodeMode;
    in.AutoUpdateProg = c.agent;
    const TStartCommand start = BuildStartCommand(in);
    EXPECT_EQ(start.Application, c.application) << c.main;
    EXPECT_EQ(start.CommandLine, c.commandLine) << c.main;
    EXPECT_EQ(start.SuccessBy, c.successBy) << c.main;
    EXPECT_EQ(start.ProgramPath.rfind("C:\\T\\S\\", 0), 0u) << start.ProgramPath;
    EXPECT_EQ(start.ProgramPath.find_first_of("* "), std::string::npos) << start.ProgramPath;
  }
}

TEST(LauncherExitCode, OrdinaryInstallersPassTheirCodeOnHandShakeRunsEndWithZero) {
  struct Case {
    TRunStatus status;
    TSuccessBy by;
    uint32_t setupCode;
    uint32_t launcherCode;
  } cases[] = {
      {TRunStatus::Succeeded, TSuccessBy::ExitCode, 3010, 3010},
      {TRunStatus::SetupFailed, TSuccessBy::ExitCode, 5, 5},
      {TRunStatus::Declined, TSuccessBy::ExitCode, 0, 1602},
      {TRunStatus::StartFailed, TSuccessBy::ExitCode, 0, 1603},
      {TRunStatus::NotStarted, TSuccessBy::ExitCode, 0, 1603},
      {TRunStatus::SetupFailed, TSuccessBy::HandShake, 5, 0},
      {TRunStatus::StartFailed, TSuccessBy::HandShake, 0, 0},
  };
  for (const Case& c : cases) {
    TRunResult result;
    result.Status = c.status;
    result.SuccessBy = c.by;
    result.ExitCode = c.setupCode;
    EXPECT_EQ(LauncherExitCode(result), c.launcherCode) << c.setupCode;
  }
  for (uint32_t code : {0u, 3010u, 1641u}) EXPECT_TRUE(IsSuccessExitCode(code)) << code;
  for (uint32_t code : {1u, 5u, 1602u, 1603u, 3011u}) EXPECT_FALSE(IsSuccessExitCode(code)) << code;
  EXPECT_FALSE(AsksForRestart(0));
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
      {"SETUP_11243", true},   {"setup_0", true},       {"SETUP_65535_2", true},
      {"SETUP_1_100", true},   {"SETUP_", false},       {"SETUP_x", false},
      {"SETUP_123456", false}, {"SETUP_12_", false},    {"SETUP_12_1000", false},
      {"SETUP_12_2x", false},  {"SETUP_12.old", false}, {"XSETUP_12", false},
      {"SETUP12", false},      {"SETUP_12 ", false},    {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSetupFolderName(c.name), c.ours) << c.name;
}
