// The agent's settings files: names from a package's UpdateInfoName,
// defaults, value encodings, preference overrides and the agent commands.
// Each test works on the two INI files in a scratch folder of its own.
#include "update/update_settings.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bytes.h"
#include "package/format.h"
#include "package/package_info.h"
#include "scratch.h"
#include "shared_cases.h"
#include "update/agent_state.h"
#include "update/settings_schema.h"
#include "util/text.h"

namespace {

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
  file += TrailerBytes(trailer);
  const TScratch scratch;
  EXPECT_TRUE(WriteAll(scratch.Path("package.bin"), file));
  auto info = std::make_unique<TGFileInfo>(scratch.Path("package.bin"));
  EXPECT_EQ(infoList, info->InfoList());
  return info;
}

// Each test works in a scratch folder of its own.
class UpdateSettingsTest : public TScratchFolderTest {
 protected:
  void SetUp() override { ResetRunTimeState(); }
  void TearDown() override { ResetRunTimeState(); }
  static void ResetRunTimeState() {
    for (uint8_t& value : PreferenceOverrides) value = kFollowInfoFile;
    AgentPhase = TAgentPhase::Idle;
    StopCountdown = -1;
    CheckRequestMode = TCheckRequest::Automatic;
    CheckNowRequested = false;
  }
  void WriteOriginal(const char* section, const char* key, const char* value) const {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, settings.OriginalPath().c_str()));
  }
  void WriteInfo(const char* key, const char* value) const {
    ASSERT_TRUE(WritePrivateProfileStringA("NewSetup", key, value, settings.InfoPath().c_str()));
  }
  std::string RawOriginal(const char* key) const {
    char buffer[256];
    const DWORD n = GetPrivateProfileStringA("OriginalSetup", key, "<none>", buffer, sizeof(buffer),
                                             settings.OriginalPath().c_str());
    return std::string(buffer, n);
  }

  const TAgentSettings settings{Path("Tool.original"), Path("Tool.info")};
};

TEST(AgentSettingsFiles, NamesComeFromTheUpdateInfoName) {
  const char* lists[] = {
      "|u|Tool.dat|ToolUpd.exe|t|0|",
      "|u|C:\\x\\Tool.info|ToolUpd.exe|t|0|",
      "|u|Tool|ToolUpd.exe|t|0|",
  };
  for (const char* list : lists) {
    SCOPED_TRACE(list);
    const TAgentSettings settings =
        TAgentSettings::InFolder("C:\\Apps\\", *PackageWithInfoList(list));
    EXPECT_EQ("C:\\Apps\\Tool.original", settings.OriginalPath());
    EXPECT_EQ("C:\\Apps\\Tool.info", settings.InfoPath());
  }
}

TEST_F(UpdateSettingsTest, NoFilesGiveEveryDefault) {
  ASSERT_FALSE(Exists(settings.OriginalPath()));
  EXPECT_EQ(0, settings.ProbeSecondsInterval());
  EXPECT_EQ(0, settings.ProbeSecondsLast());
  EXPECT_EQ(0, settings.ReAskSecondsInterval());
  EXPECT_EQ(0, settings.ReAskSecondsLast());
  EXPECT_EQ(0, settings.VersionOriginal());
  EXPECT_EQ(0, settings.OriginalStamp());
  EXPECT_EQ("", settings.OriginalProgramName());
  EXPECT_EQ("", settings.TargetDir());
  EXPECT_EQ("", settings.SharedDir());
  EXPECT_EQ("", settings.AuxiliaryDir());
  EXPECT_EQ("", settings.StartUpLink());
  EXPECT_EQ("", settings.CheckforNewUpdateLink());
  EXPECT_EQ("|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", settings.BtnText());
  EXPECT_EQ("Error", settings.Caption(schema::kErrorCaption));
  EXPECT_EQ("Confirm", settings.Caption(schema::kConfirmCaption));
  EXPECT_EQ("Attention", settings.Caption(schema::kAttentionCaption));
  EXPECT_EQ(0, settings.MsgBoxCharSet());
  EXPECT_EQ("File not Found!", settings.AutoUpdateText("s4"));
  EXPECT_EQ("", settings.AutoUpdateText("s16"));
  EXPECT_EQ("fallback", settings.AutoUpdateText("s16", "fallback"));

  EXPECT_EQ("", settings.DownloadURL_UPDATE());
  EXPECT_EQ("", settings.NameOfUpdateFile());
  EXPECT_EQ(0, settings.SizeOfUpdateFile());
  EXPECT_EQ(0, settings.VersionNew());
  EXPECT_EQ(0, settings.NewStamp());
  EXPECT_EQ("", settings.ValidVersions());
  EXPECT_EQ("", settings.NewProgramName());
  EXPECT_EQ("", settings.RunningProcess());
  EXPECT_EQ("", settings.ShutDownMethod());
  EXPECT_FALSE(settings.RequestConfirmationBeforeDownload());
  EXPECT_FALSE(settings.RequestConfirmationBeforeInstall());
  EXPECT_FALSE(settings.BackgroundUpdate());
  EXPECT_FALSE(settings.InformFinish());
  EXPECT_FALSE(settings.RestartProcess());
  EXPECT_FALSE(settings.RemoveStartUpShortcut());
  EXPECT_FALSE(settings.RemoveCheckForNewUpdateShortcut());
  // Reading never creates a file.
  EXPECT_FALSE(Exists(settings.OriginalPath()));
  EXPECT_FALSE(Exists(settings.InfoPath()));
}

TEST_F(UpdateSettingsTest, SettersCreateTheFileAndRoundTrip) {
  EXPECT_TRUE(settings.SetProbeSecondsInterval(-1));
  EXPECT_TRUE(Exists(settings.OriginalPath()));
  EXPECT_TRUE(settings.SetProbeSecondsLast(3890000000123LL));
  EXPECT_TRUE(settings.SetReAskSecondsInterval(86400));
  EXPECT_TRUE(settings.SetReAskSecondsLast(-3890000000123LL));
  EXPECT_TRUE(settings.SetVersionOriginal(-7));
  EXPECT_TRUE(settings.SetOriginalStamp(2147483647));
  EXPECT_EQ(-1, settings.ProbeSecondsInterval());
  EXPECT_EQ(3890000000123LL, settings.ProbeSecondsLast());
  EXPECT_EQ(86400, settings.ReAskSecondsInterval());
  EXPECT_EQ(-3890000000123LL, settings.ReAskSecondsLast());
  EXPECT_EQ(-7, settings.VersionOriginal());
  EXPECT_EQ(2147483647, settings.OriginalStamp());
  // Plain decimal text in the file, negative values with a "-".
  EXPECT_EQ("-1", RawOriginal("ProbeSecondsInterval"));
  EXPECT_EQ("-7", RawOriginal("VersionOriginal"));
  EXPECT_EQ("-3890000000123", RawOriginal("ReAskSecondsLast"));
  // The info file's "Stamp" is another key than the installed one.
  EXPECT_EQ(0, settings.NewStamp());
}

TEST_F(UpdateSettingsTest, IntegerEncodings) {
  for (const TStoredInteger& c : kStoredIntegers) {
    SCOPED_TRACE(c.stored);
    WriteOriginal("OriginalSetup", "ProbeSecondsInterval", c.stored);
    WriteOriginal("OriginalSetup", "VersionOriginal", c.stored);
    WriteOriginal("MsgBox", "CharSet", c.stored);
    WriteInfo("SizeOfUpdateFile", c.stored);
    EXPECT_EQ(c.int64Value, settings.ProbeSecondsInterval());
    EXPECT_EQ(c.int32Value, settings.VersionOriginal());
    EXPECT_EQ(c.int32Value, settings.MsgBoxCharSet());
    EXPECT_EQ(c.int32Value, settings.SizeOfUpdateFile());
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
  EXPECT_EQ("Tool Deluxe", settings.OriginalProgramName());
  EXPECT_EQ("C:\\Apps\\Tool", settings.TargetDir());
  EXPECT_EQ("C:\\Shared", settings.SharedDir());
  EXPECT_EQ("C:\\Aux", settings.AuxiliaryDir());
  EXPECT_EQ("C:\\Links\\Start.lnk", settings.StartUpLink());
  EXPECT_EQ("C:\\Links\\Check.lnk", settings.CheckforNewUpdateLink());
  EXPECT_EQ("|O|C|Y|N|A|R|I|", settings.BtnText());
  EXPECT_EQ("Fehler", settings.Caption(schema::kErrorCaption));
  EXPECT_EQ("Frage", settings.Caption(schema::kConfirmCaption));
  EXPECT_EQ("Achtung", settings.Caption(schema::kAttentionCaption));
  EXPECT_EQ("Done <b>PROG_NAME</b>", settings.AutoUpdateText("s16"));
  EXPECT_EQ("Datei fehlt", settings.AutoUpdateText("s4"));
  EXPECT_EQ(
      "<b>NEW UPDATE</b><P><P>Orvane will check if a new update is available for: "
      "<b>Tool Deluxe</b><P>",
      settings.AutoUpdateText("s22"));

  WriteInfo("DownloadURL_UPDATE", "http://example.invalid/upd/");
  WriteInfo("NameOfUpdateFile", "ToolUpdate.exe");
  WriteInfo("VersionNew", "8");
  WriteInfo("Stamp", "20240101");
  WriteInfo("ValidVersions", "3,4,7");
  WriteInfo("ProgramName", "Tool 8");
  WriteInfo("RunningProcess", "<InstallDir>\\Tool.exe");
  WriteInfo("ShutDownMethod", "Using WM_CLOSE");
  EXPECT_EQ("http://example.invalid/upd/", settings.DownloadURL_UPDATE());
  EXPECT_EQ("ToolUpdate.exe", settings.NameOfUpdateFile());
  EXPECT_EQ(8, settings.VersionNew());
  EXPECT_EQ(20240101, settings.NewStamp());
  EXPECT_EQ(0, settings.OriginalStamp());
  EXPECT_EQ("3,4,7", settings.ValidVersions());
  EXPECT_EQ("Tool 8", settings.NewProgramName());
  EXPECT_EQ("<InstallDir>\\Tool.exe", settings.RunningProcess());
  EXPECT_EQ("Using WM_CLOSE", settings.ShutDownMethod());
}

// The offer and the installed state come from their own file and section.
TEST_F(UpdateSettingsTest, OfferAndInstalledStateReadTheirFiles) {
  WriteOriginal("OriginalSetup", "VersionOriginal", "3");
  WriteOriginal("OriginalSetup", "Stamp", "11");
  WriteOriginal("OriginalSetup", "ReAskSecondsInterval", "4294967297");
  WriteOriginal("OriginalSetup", "ReAskSecondsLast", "-5");
  WriteOriginal("NewSetup", "VersionNew", "99");
  WriteInfo("VersionNew", "8");
  WriteInfo("Stamp", "22");
  WriteInfo("NameOfUpdateFile", "ToolUpdate.exe");
  WriteInfo("InformFinish", "1");
  WriteInfo("VersionOriginal", "7");
  const TInstalledState installed = settings.InstalledState();
  EXPECT_EQ(3, installed.versionOriginal);
  EXPECT_EQ(11, installed.stamp);
  EXPECT_EQ(4294967297LL, installed.reAskSecondsInterval);
  EXPECT_EQ(-5, installed.reAskSecondsLast);
  const TUpdateOffer offer = settings.Offer();
  EXPECT_EQ(8, offer.versionNew);
  EXPECT_EQ(22, offer.stamp);
  EXPECT_EQ("ToolUpdate.exe", offer.updateFileName);
  EXPECT_TRUE(offer.informFinish);
  // The offer keeps the file's flag; the override applies where it is used.
  SetPreferenceOverride(kInformFinish, 0);
  EXPECT_TRUE(settings.Offer().informFinish);
  EXPECT_FALSE(settings.InformFinish());
}

struct FlagGetter {
  const char* key;
  bool (TAgentSettings::*get)() const;
  int override;  // -1: not overridable
};

const FlagGetter kFlags[] = {
    {"RequestConfirmationBeforeDownload", &TAgentSettings::RequestConfirmationBeforeDownload, 1},
    {"RequestConfirmationBeforeInstall", &TAgentSettings::RequestConfirmationBeforeInstall, 2},
    {"BackgroundUpdate", &TAgentSettings::BackgroundUpdate, 3},
    {"InformFinish", &TAgentSettings::InformFinish, 4},
    {"RestartProcess", &TAgentSettings::RestartProcess, 5},
    {"RemoveStartUpShortcut", &TAgentSettings::RemoveStartUpShortcut, -1},
    {"RemoveCheckForNewUpdateShortcut", &TAgentSettings::RemoveCheckForNewUpdateShortcut, -1},
};

TEST_F(UpdateSettingsTest, FlagsAreTrueOnlyForOne) {
  for (const FlagGetter& flag : kFlags) {
    for (const char* text : {"yes", "true", "TRUE", "2", "01", "0"}) {
      SCOPED_TRACE(std::string(flag.key) + "=" + text);
      WriteInfo(flag.key, text);
      EXPECT_FALSE((settings.*flag.get)());
    }
    WriteInfo(flag.key, "1");
    EXPECT_TRUE((settings.*flag.get)()) << flag.key;
  }
}

TEST_F(UpdateSettingsTest, OverrideBytesComeBeforeTheInfoFile) {
  for (const FlagGetter& flag : kFlags) {
    if (flag.override < 0) continue;
    SCOPED_TRACE(flag.key);
    WriteInfo(flag.key, "1");
    SetPreferenceOverride(flag.override, 0);
    EXPECT_FALSE((settings.*flag.get)());
    SetPreferenceOverride(flag.override, 2);
    EXPECT_FALSE((settings.*flag.get)());
    SetPreferenceOverride(flag.override, 255);
    EXPECT_TRUE((settings.*flag.get)());
    WriteInfo(flag.key, "0");
    SetPreferenceOverride(flag.override, 1);
    EXPECT_TRUE((settings.*flag.get)());
    SetPreferenceOverride(flag.override, 255);
    EXPECT_FALSE((settings.*flag.get)());
  }
  // The shortcut flags have no override byte.
  WriteInfo("RemoveStartUpShortcut", "1");
  for (uint8_t& value : PreferenceOverrides) value = 0;
  EXPECT_TRUE(settings.RemoveStartUpShortcut());
}

TEST_F(UpdateSettingsTest, OverrideListParsedIntoTheFlags) {
  WriteInfo("RequestConfirmationBeforeDownload", "1");
  ParseOverrideList("|1||x|");
  EXPECT_TRUE(AskBeforeCheck());
  EXPECT_TRUE(settings.RequestConfirmationBeforeDownload());
  EXPECT_EQ("|1|255|255|255|255|255|", FormatOverrideList());
  ParseOverrideList("|1|0|255|255|0|255|");
  EXPECT_FALSE(settings.RequestConfirmationBeforeDownload());
}

TEST_F(UpdateSettingsTest, AgentCommandsReadTheSettings) {
  WriteOriginal("OriginalSetup", "VersionOriginal", "6");
  WriteOriginal("OriginalSetup", "ProbeSecondsInterval", "4294967301");
  WriteOriginal("OriginalSetup", "ReAskSecondsInterval", "-2");
  WriteOriginal("OriginalSetup", "ProbeSecondsLast", "3900000000");
  WriteOriginal("OriginalSetup", "ReAskSecondsLast", "77");
  AgentPhase = TAgentPhase::Downloading;
  struct Case {
    WPARAM code;
    int32_t reply;
  };
  const std::vector<Case> cases = {
      {4, 6}, {5, 0}, {7, 2}, {8, 5}, {9, -2}, {10, static_cast<int32_t>(3900000000u)}, {11, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    EXPECT_EQ(static_cast<LRESULT>(c.reply), settings.HandleAgentCommand(c.code, 123));
  }
  WriteInfo("VersionNew", "9");
  EXPECT_EQ(9, settings.HandleAgentCommand(5, 0));
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
    EXPECT_EQ(0, settings.HandleAgentCommand(c.code, c.value));
    EXPECT_EQ(c.stored, RawOriginal(c.key));
  }
}

TEST_F(UpdateSettingsTest, AgentCommandsSetOverridesAndState) {
  EXPECT_EQ(0, settings.HandleAgentCommand(20, 1));
  EXPECT_EQ(0, settings.HandleAgentCommand(21, 0x100));
  EXPECT_EQ(0, settings.HandleAgentCommand(22, 0x1FF));
  EXPECT_EQ(0, settings.HandleAgentCommand(25, 7));
  EXPECT_EQ("|1|0|255|255|255|7|", FormatOverrideList());

  EXPECT_EQ(0, settings.HandleAgentCommand(30, 2));
  EXPECT_EQ(2, StopCountdown);
  EXPECT_EQ(0, settings.HandleAgentCommand(30, -1));
  EXPECT_EQ(-1, StopCountdown);

  EXPECT_EQ(0, settings.HandleAgentCommand(31, 1));
  EXPECT_TRUE(CheckNowRequested);
  EXPECT_EQ(TCheckRequest::Automatic, CheckRequestMode);
  CheckNowRequested = false;
  EXPECT_EQ(0, settings.HandleAgentCommand(31, 2));
  EXPECT_TRUE(CheckNowRequested);
  EXPECT_EQ(TCheckRequest::UserCheckPending, CheckRequestMode);
}

TEST_F(UpdateSettingsTest, UnknownAgentCommandsChangeNothing) {
  WriteOriginal("OriginalSetup", "VersionOriginal", "6");
  for (WPARAM code : {WPARAM(0), WPARAM(3), WPARAM(6), WPARAM(16), WPARAM(19), WPARAM(26),
                      WPARAM(29), WPARAM(32), WPARAM(1125)}) {
    SCOPED_TRACE(testing::Message() << "code " << code);
    EXPECT_EQ(0, settings.HandleAgentCommand(code, 1));
  }
  EXPECT_EQ("|255|255|255|255|255|255|", FormatOverrideList());
  EXPECT_EQ(-1, StopCountdown);
  EXPECT_EQ(TCheckRequest::Automatic, CheckRequestMode);
  EXPECT_FALSE(CheckNowRequested);
  EXPECT_EQ("<none>", RawOriginal("ProbeSecondsInterval"));
  EXPECT_EQ("6", RawOriginal("VersionOriginal"));
}

}  // namespace
