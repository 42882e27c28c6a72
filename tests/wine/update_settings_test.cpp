// The agent's settings files: names from the own package, defaults,
// value encodings, preference overrides and the agent commands. The own
// package is a package image made in memory, so that each test chooses the
// UpdateInfoName; both INI files then lie beside this test program.
#include "update/update_settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/package_info.h"
#include "startup/entry.h"
#include "update/agent_state.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

std::string Block(const std::string& data) {
  const int32_t length = static_cast<int32_t>(data.size());
  return std::string(reinterpret_cast<const char*>(&length), 4) + data;
}

// A package with no language sections and this InfoList, followed by its trailer.
std::unique_ptr<TGFileInfo> PackageWithInfoList(const std::string& infoList) {
  std::string file = "not an image";
  PackageTrailer trailer{};
  trailer.FormatByte = 1;
  trailer.HeaderBlockCount = 2;
  trailer.DataOffset = static_cast<int32_t>(file.size());
  trailer.PackageMagic = kPackageMagic;
  trailer.ThisIs_AutoUpdateProg = 1;
  trailer.TrailerLength = kTrailerSize;
  file += Block("\x02") + Block(infoList);
  file.append(reinterpret_cast<const char*>(&trailer), sizeof(trailer));
  const std::string path = TempDir(true) + "orvane_settings_package.bin";
  {
    TFileHandle out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(
        out &&
        WriteFile(out.get(), file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
        written == file.size());
  }
  auto info = std::make_unique<TGFileInfo>(path);
  DeleteFileA(path.c_str());
  EXPECT_EQ(infoList, info->InfoList());
  return info;
}

std::unique_ptr<TGFileInfo> ownPackage;

}  // namespace

// The launcher's own package, as the settings see it in these tests.
const TGFileInfo& OwnPackageInfo() { return *ownPackage; }

namespace {

const char kInfoList[] = "|http://example.invalid/|Tool.dat|ToolUpd.exe|token|0|";

class UpdateSettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    ownPackage = PackageWithInfoList(kInfoList);
    RemoveFiles();
    for (uint8_t& value : PreferenceOverrides) value = kFollowInfoFile;
    AgentPhase = 0;
    StopCountdown = -1;
    CheckRequestMode = 0;
    CheckNowRequested = false;
  }
  void TearDown() override {
    RemoveFiles();
    SetUp();
    RemoveFiles();
  }
  static void RemoveFiles() {
    DeleteFileA(OriginalSetupPath().c_str());
    DeleteFileA(InfoFilePath().c_str());
  }
  static void WriteOriginal(const char* section, const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, OriginalSetupPath().c_str()));
  }
  static void WriteInfo(const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA("NewSetup", key, value, InfoFilePath().c_str()));
  }
  static std::string RawOriginal(const char* key) {
    char buffer[256];
    const DWORD n = GetPrivateProfileStringA("OriginalSetup", key, "<none>", buffer, sizeof(buffer),
                                             OriginalSetupPath().c_str());
    return std::string(buffer, n);
  }
  static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

// The folder of this program, taken apart by hand.
std::string OwnFolder() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  std::string path(buffer, n);
  return path.substr(0, path.find_last_of('\\') + 1);
}

TEST_F(UpdateSettingsTest, FileNamesComeFromTheUpdateInfoName) {
  const char* lists[] = {
      "|u|Tool.dat|ToolUpd.exe|t|0|",
      "|u|C:\\x\\Tool.info|ToolUpd.exe|t|0|",
      "|u|Tool|ToolUpd.exe|t|0|",
  };
  for (const char* list : lists) {
    SCOPED_TRACE(list);
    ownPackage = PackageWithInfoList(list);
    EXPECT_EQ(OwnFolder() + "Tool.original", OriginalSetupPath());
    EXPECT_EQ(OwnFolder() + "Tool.info", InfoFilePath());
  }
  // Recomputed on every call: a different package gives different files.
  ownPackage = PackageWithInfoList("|u|Other.info|x.exe|t|0|");
  EXPECT_EQ(OwnFolder() + "Other.original", OriginalSetupPath());
  EXPECT_EQ(OwnFolder() + "Other.info", InfoFilePath());
}

TEST_F(UpdateSettingsTest, NoFilesGiveEveryDefault) {
  ASSERT_FALSE(Exists(OriginalSetupPath()));
  EXPECT_EQ(0, GetProbeSecondsInterval());
  EXPECT_EQ(0, GetProbeSecondsLast());
  EXPECT_EQ(0, GetReAskSecondsInterval());
  EXPECT_EQ(0, GetReAskSecondsLast());
  EXPECT_EQ(0, GetVersionOriginal());
  EXPECT_EQ(0, GetOriginalStamp());
  EXPECT_EQ("", GetOriginalProgramName());
  EXPECT_EQ("", GetTargetDir());
  EXPECT_EQ("", GetSharedDir());
  EXPECT_EQ("", GetAuxiliaryDir());
  EXPECT_EQ("", GetStartUpLink());
  EXPECT_EQ("", GetCheckforNewUpdateLink());
  EXPECT_EQ("|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", GetBtnText());
  EXPECT_EQ("Error", GetErrorCaption());
  EXPECT_EQ("Confirm", GetConfirmCaption());
  EXPECT_EQ("Attention", GetAttentionCaption());
  EXPECT_EQ(0, GetMsgBoxCharSet());
  EXPECT_EQ("File not Found!", GetAutoUpdateText("s4"));
  EXPECT_EQ("", GetAutoUpdateText("s16"));
  EXPECT_EQ("fallback", GetAutoUpdateText("s16", "fallback"));

  EXPECT_EQ("", GetDownloadURL_UPDATE());
  EXPECT_EQ("", GetNameOfUpdateFile());
  EXPECT_EQ(0, GetSizeOfUpdateFile());
  EXPECT_EQ(0, GetVersionNew());
  EXPECT_EQ(0, GetNewStamp());
  EXPECT_EQ("", GetValidVersions());
  EXPECT_EQ("", GetNewProgramName());
  EXPECT_EQ("", GetRunningProcess());
  EXPECT_EQ("", GetShutDownMethod());
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload());
  EXPECT_FALSE(GetRequestConfirmationBeforeInstall());
  EXPECT_FALSE(GetBackgroundUpdate());
  EXPECT_FALSE(GetInformFinish());
  EXPECT_FALSE(GetRestartProcess());
  EXPECT_FALSE(GetRemoveStartUpShortcut());
  EXPECT_FALSE(GetRemoveCheckForNewUpdateShortcut());
  // Reading never creates a file.
  EXPECT_FALSE(Exists(OriginalSetupPath()));
  EXPECT_FALSE(Exists(InfoFilePath()));
}

TEST_F(UpdateSettingsTest, SettersCreateTheFileAndRoundTrip) {
  EXPECT_TRUE(SetProbeSecondsInterval(-1));
  EXPECT_TRUE(Exists(OriginalSetupPath()));
  EXPECT_TRUE(SetProbeSecondsLast(3890000000123LL));
  EXPECT_TRUE(SetReAskSecondsInterval(86400));
  EXPECT_TRUE(SetReAskSecondsLast(-3890000000123LL));
  EXPECT_TRUE(SetVersionOriginal(-7));
  EXPECT_TRUE(SetOriginalStamp(2147483647));
  EXPECT_EQ(-1, GetProbeSecondsInterval());
  EXPECT_EQ(3890000000123LL, GetProbeSecondsLast());
  EXPECT_EQ(86400, GetReAskSecondsInterval());
  EXPECT_EQ(-3890000000123LL, GetReAskSecondsLast());
  EXPECT_EQ(-7, GetVersionOriginal());
  EXPECT_EQ(2147483647, GetOriginalStamp());
  // Plain decimal text in the file, negative values with a "-".
  EXPECT_EQ("-1", RawOriginal("ProbeSecondsInterval"));
  EXPECT_EQ("-7", RawOriginal("VersionOriginal"));
  EXPECT_EQ("-3890000000123", RawOriginal("ReAskSecondsLast"));
  // The info file's "Stamp" is another key than the installed one.
  EXPECT_EQ(0, GetNewStamp());
}

TEST_F(UpdateSettingsTest, IntegerEncodings) {
  struct Case {
    const char* stored;
    int64_t int64Value;
    int32_t int32Value;
  };
  const std::vector<Case> cases = {
      {"abc", 0, 0},
      {"-1", -1, -1},
      {"12x", 0, 0},
      {"4294967297", 4294967297LL, 1},
      {"-2147483649", -2147483649LL, 2147483647},
      {"99999999999999999999", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    WriteOriginal("OriginalSetup", "ProbeSecondsInterval", c.stored);
    WriteOriginal("OriginalSetup", "VersionOriginal", c.stored);
    WriteOriginal("MsgBox", "CharSet", c.stored);
    WriteInfo("SizeOfUpdateFile", c.stored);
    EXPECT_EQ(c.int64Value, GetProbeSecondsInterval());
    EXPECT_EQ(c.int32Value, GetVersionOriginal());
    EXPECT_EQ(c.int32Value, GetMsgBoxCharSet());
    EXPECT_EQ(c.int32Value, GetSizeOfUpdateFile());
  }
}

TEST_F(UpdateSettingsTest, StringsAsStored) {
  WriteOriginal("OriginalSetup", "ProgramName", "Tool Deluxe");
  WriteOriginal("Directories", "TargetDir", "C:\\Apps\\Tool");
  WriteOriginal("Directories", "SharedDir", "C:\\Shared");
  WriteOriginal("Directories", "AuxiliaryDir", "C:\\Aux");
  WriteOriginal("UnInstall", "StartUpLink", "C:\\Links\\Start.lnk");
  WriteOriginal("UnInstall", "CheckforNewUpdateLink", "C:\\Links\\Check.lnk");
  WriteOriginal("MsgBox", "BtnText", "|O|C|Y|N|A|R|I|");
  WriteOriginal("MsgBox", "Error", "Fehler");
  WriteOriginal("MsgBox", "Confirm", "Frage");
  WriteOriginal("MsgBox", "Attention", "Achtung");
  WriteOriginal("AutoUpdate", "s16", "Done <b>PROG_NAME</b>");
  WriteOriginal("AutoUpdate", "s4", "Datei fehlt");
  EXPECT_EQ("Tool Deluxe", GetOriginalProgramName());
  EXPECT_EQ("C:\\Apps\\Tool", GetTargetDir());
  EXPECT_EQ("C:\\Shared", GetSharedDir());
  EXPECT_EQ("C:\\Aux", GetAuxiliaryDir());
  EXPECT_EQ("C:\\Links\\Start.lnk", GetStartUpLink());
  EXPECT_EQ("C:\\Links\\Check.lnk", GetCheckforNewUpdateLink());
  EXPECT_EQ("|O|C|Y|N|A|R|I|", GetBtnText());
  EXPECT_EQ("Fehler", GetErrorCaption());
  EXPECT_EQ("Frage", GetConfirmCaption());
  EXPECT_EQ("Achtung", GetAttentionCaption());
  EXPECT_EQ("Done <b>PROG_NAME</b>", GetAutoUpdateText("s16"));
  EXPECT_EQ("Datei fehlt", GetAutoUpdateText("s4"));
  EXPECT_EQ(
      "<b>NEW UPDATE</b><P><P>Orvane will check if a new update is available for: "
      "<b>Tool Deluxe</b><P>",
      GetAutoUpdateText("s22"));

  WriteInfo("DownloadURL_UPDATE", "http://example.invalid/upd/");
  WriteInfo("NameOfUpdateFile", "ToolUpdate.exe");
  WriteInfo("VersionNew", "8");
  WriteInfo("Stamp", "20240101");
  WriteInfo("ValidVersions", "3,4,7");
  WriteInfo("ProgramName", "Tool 8");
  WriteInfo("RunningProcess", "<InstallDir>\\Tool.exe");
  WriteInfo("ShutDownMethod", "Using WM_CLOSE");
  EXPECT_EQ("http://example.invalid/upd/", GetDownloadURL_UPDATE());
  EXPECT_EQ("ToolUpdate.exe", GetNameOfUpdateFile());
  EXPECT_EQ(8, GetVersionNew());
  EXPECT_EQ(20240101, GetNewStamp());
  EXPECT_EQ(0, GetOriginalStamp());
  EXPECT_EQ("3,4,7", GetValidVersions());
  EXPECT_EQ("Tool 8", GetNewProgramName());
  EXPECT_EQ("<InstallDir>\\Tool.exe", GetRunningProcess());
  EXPECT_EQ("Using WM_CLOSE", GetShutDownMethod());
}

struct FlagGetter {
  const char* key;
  bool (*get)();
  int override;  // -1: not overridable
};

const FlagGetter kFlags[] = {
    {"RequestConfirmationBeforeDownload", GetRequestConfirmationBeforeDownload, 1},
    {"RequestConfirmationBeforeInstall", GetRequestConfirmationBeforeInstall, 2},
    {"BackgroundUpdate", GetBackgroundUpdate, 3},
    {"InformFinish", GetInformFinish, 4},
    {"RestartProcess", GetRestartProcess, 5},
    {"RemoveStartUpShortcut", GetRemoveStartUpShortcut, -1},
    {"RemoveCheckForNewUpdateShortcut", GetRemoveCheckForNewUpdateShortcut, -1},
};

TEST_F(UpdateSettingsTest, FlagsAreTrueOnlyForOne) {
  for (const FlagGetter& flag : kFlags) {
    for (const char* text : {"yes", "true", "TRUE", "2", "01", "0"}) {
      SCOPED_TRACE(std::string(flag.key) + "=" + text);
      WriteInfo(flag.key, text);
      EXPECT_FALSE(flag.get());
    }
    WriteInfo(flag.key, "1");
    EXPECT_TRUE(flag.get()) << flag.key;
  }
}

TEST_F(UpdateSettingsTest, OverrideBytesComeBeforeTheInfoFile) {
  for (const FlagGetter& flag : kFlags) {
    if (flag.override < 0) continue;
    SCOPED_TRACE(flag.key);
    WriteInfo(flag.key, "1");
    SetPreferenceOverride(flag.override, 0);
    EXPECT_FALSE(flag.get());
    SetPreferenceOverride(flag.override, 2);
    EXPECT_FALSE(flag.get());
    SetPreferenceOverride(flag.override, 255);
    EXPECT_TRUE(flag.get());
    WriteInfo(flag.key, "0");
    SetPreferenceOverride(flag.override, 1);
    EXPECT_TRUE(flag.get());
    SetPreferenceOverride(flag.override, 255);
    EXPECT_FALSE(flag.get());
  }
  // The shortcut flags have no override byte.
  WriteInfo("RemoveStartUpShortcut", "1");
  for (uint8_t& value : PreferenceOverrides) value = 0;
  EXPECT_TRUE(GetRemoveStartUpShortcut());
}

TEST_F(UpdateSettingsTest, OverrideListParsedIntoTheFlags) {
  WriteInfo("RequestConfirmationBeforeDownload", "1");
  ParseOverrideList("|1||x|");
  EXPECT_TRUE(AskBeforeCheck());
  EXPECT_TRUE(GetRequestConfirmationBeforeDownload());
  EXPECT_EQ("|1|255|255|255|255|255|", FormatOverrideList());
  ParseOverrideList("|1|0|255|255|0|255|");
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload());
}

TEST_F(UpdateSettingsTest, AgentCommandsReadTheSettings) {
  WriteOriginal("OriginalSetup", "VersionOriginal", "6");
  WriteOriginal("OriginalSetup", "ProbeSecondsInterval", "4294967301");
  WriteOriginal("OriginalSetup", "ReAskSecondsInterval", "-2");
  WriteOriginal("OriginalSetup", "ProbeSecondsLast", "3900000000");
  WriteOriginal("OriginalSetup", "ReAskSecondsLast", "77");
  AgentPhase = 2;
  struct Case {
    WPARAM code;
    int32_t reply;
  };
  const std::vector<Case> cases = {
      {4, 6}, {5, 0}, {7, 2}, {8, 5}, {9, -2}, {10, static_cast<int32_t>(3900000000u)}, {11, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    EXPECT_EQ(static_cast<LRESULT>(c.reply), HandleAgentCommand(c.code, 123));
  }
  WriteInfo("VersionNew", "9");
  EXPECT_EQ(9, HandleAgentCommand(5, 0));
}

TEST_F(UpdateSettingsTest, AgentCommandsWriteTheSchedule) {
  struct Case {
    WPARAM code;
    LPARAM value;
    const char* key;
    const char* stored;
  };
  const std::vector<Case> cases = {
      {12, 3600, "ProbeSecondsInterval", "3600"},
      {13, -1, "ReAskSecondsInterval", "-1"},
      // A 32-bit caller's -1 reaches a 64-bit agent without its sign.
      {14, static_cast<LPARAM>(0xFFFFFFFFu), "ProbeSecondsLast", "-1"},
      {15, 2147483647, "ReAskSecondsLast", "2147483647"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(0, HandleAgentCommand(c.code, c.value));
    EXPECT_EQ(c.stored, RawOriginal(c.key));
  }
}

TEST_F(UpdateSettingsTest, AgentCommandsSetOverridesAndState) {
  EXPECT_EQ(0, HandleAgentCommand(20, 1));
  EXPECT_EQ(0, HandleAgentCommand(21, 0x100));
  EXPECT_EQ(0, HandleAgentCommand(22, 0x1FF));
  EXPECT_EQ(0, HandleAgentCommand(25, 7));
  EXPECT_EQ("|1|0|255|255|255|7|", FormatOverrideList());

  EXPECT_EQ(0, HandleAgentCommand(30, 2));
  EXPECT_EQ(2, StopCountdown);
  EXPECT_EQ(0, HandleAgentCommand(30, -1));
  EXPECT_EQ(-1, StopCountdown);

  EXPECT_EQ(0, HandleAgentCommand(31, 1));
  EXPECT_TRUE(CheckNowRequested);
  EXPECT_EQ(0, CheckRequestMode);
  CheckNowRequested = false;
  EXPECT_EQ(0, HandleAgentCommand(31, 2));
  EXPECT_TRUE(CheckNowRequested);
  EXPECT_EQ(2, CheckRequestMode);
}

TEST_F(UpdateSettingsTest, UnknownAgentCommandsChangeNothing) {
  WriteOriginal("OriginalSetup", "VersionOriginal", "6");
  for (WPARAM code : {WPARAM(0), WPARAM(3), WPARAM(6), WPARAM(16), WPARAM(19), WPARAM(26),
                      WPARAM(29), WPARAM(32), WPARAM(1125)}) {
    SCOPED_TRACE(testing::Message() << "code " << code);
    EXPECT_EQ(0, HandleAgentCommand(code, 1));
  }
  EXPECT_EQ("|255|255|255|255|255|255|", FormatOverrideList());
  EXPECT_EQ(-1, StopCountdown);
  EXPECT_EQ(0, CheckRequestMode);
  EXPECT_FALSE(CheckNowRequested);
  EXPECT_EQ("<none>", RawOriginal("ProbeSecondsInterval"));
  EXPECT_EQ("6", RawOriginal("VersionOriginal"));
}

}  // namespace
