// The publisher's commands of orvane-pack, run as a user would: the info
// file of an update package and the installation settings file, read back
// the way the platform's profile functions read them.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "pack_test_support.h"
#include "package/format.h"

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Section -> key -> value, as GetPrivateProfileStringA gives them: blanks
// around the value trimmed, then one pair of equal enclosing quotes removed.
using TIni = std::map<std::string, std::map<std::string, std::string>>;

TIni ReadIni(const std::string& path) {
  TIni ini;
  std::istringstream in(ReadAll(path));
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      ini[section];
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = Trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    ini[section][Trimmed(line.substr(0, equals))] = value;
  }
  return ini;
}

class PackInfo : public TScratchFolderTest {
 protected:
  void SetUp() override {
    WriteAll(Path("stub.exe"), FakeStub(1536, 7));
    WriteAll(Path("payload.txt"), "version two of the application\n");
  }

  // A package built with the given token and extra build options.
  std::string Package(const std::string& name, const std::string& token,
                      const std::string& extra = "") {
    const TRun run = Pack("build --stub " + Path("stub.exe") + " --output " + Path(name) +
                          " --update-token " + token + " --update-info-name Tool.info " + extra);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return Path(name);
  }

  TRun Info(const std::string& package, const std::string& options) {
    return Pack("info --package " + package + " --output " + Path("Tool.info") +
                " --url http://updates.example/tool " + options);
  }
};

TEST_F(PackInfo, InfoFileDescribesThePackage) {
  const std::string package = Package("ToolUpdate-2.exe", "T1", Path("payload.txt"));
  const TRun run = Info(package,
                        "--version 7 --valid-versions ' 3, 4,6 ' --program-name '  Tool  ' "
                        "--running-process '<InstallDir>\\Tool.exe' --shutdown 'Using WM_CLOSE'");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const TIni ini = ReadIni(Path("Tool.info"));
  ASSERT_EQ(ini.size(), 1u);
  const auto& s = ini.at("NewSetup");
  EXPECT_EQ(s.at("DownloadURL_UPDATE"), "http://updates.example/tool");
  EXPECT_EQ(s.at("NameOfUpdateFile"), "ToolUpdate-2.exe");
  EXPECT_EQ(s.at("SizeOfUpdateFile"), std::to_string(ReadAll(package).size()));
  EXPECT_EQ(s.at("VersionNew"), "7");
  // The agent looks for ",<version>," in "," + list + ",": no blanks.
  EXPECT_EQ(s.at("ValidVersions"), "3,4,6");
  EXPECT_EQ(s.at("ProgramName"), "  Tool  ");
  EXPECT_EQ(s.at("RunningProcess"), "<InstallDir>\\Tool.exe");
  EXPECT_EQ(s.at("ShutDownMethod"), "Using WM_CLOSE");
  const TRun sum = Shell("sha256sum " + package);
  ASSERT_EQ(sum.ExitCode, 0) << sum.Output;
  EXPECT_EQ(s.at("Sha256OfUpdateFile"), sum.Output.substr(0, 64));
  const std::string text = ReadAll(Path("Tool.info"));
  EXPECT_NE(text.find("\r\nVersionNew=7\r\n"), std::string::npos) << "INI lines end in CR LF";
}

TEST_F(PackInfo, EachFlagOptionSetsExactlyItsKey) {
  const std::string package = Package("u.exe", "T1");
  const std::vector<std::pair<std::string, std::string>> flags = {
      {"--confirm-download", "RequestConfirmationBeforeDownload"},
      {"--confirm-install", "RequestConfirmationBeforeInstall"},
      {"--background", "BackgroundUpdate"},
      {"--inform-finish", "InformFinish"},
      {"--restart", "RestartProcess"},
      {"--remove-startup-shortcut", "RemoveStartUpShortcut"},
      {"--remove-check-shortcut", "RemoveCheckForNewUpdateShortcut"},
  };
  for (const auto& flag : flags) {
    ASSERT_EQ(Info(package, "--version 2 " + flag.first).ExitCode, 0) << flag.first;
    const auto s = ReadIni(Path("Tool.info")).at("NewSetup");
    for (const auto& other : flags) {
      // Only "1" counts as true for the agent, so every flag is written.
      EXPECT_EQ(s.at(other.second), other.second == flag.second ? "1" : "0")
          << flag.first << " / " << other.second;
    }
  }
}

TEST_F(PackInfo, StampIsGivenOrDerivedAndNeverZero) {
  const std::string package = Package("u.exe", "T1");
  ASSERT_EQ(Info(package, "--version 2 --stamp 41").ExitCode, 0);
  EXPECT_EQ(ReadIni(Path("Tool.info"))["NewSetup"]["Stamp"], "41");

  auto derived = [&](const std::string& options) {
    const TRun run = Info(package, options);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return ReadIni(Path("Tool.info"))["NewSetup"]["Stamp"];
  };
  const std::string first = derived("--version 2");
  EXPECT_NE(first, "0");
  EXPECT_NE(first, "");
  EXPECT_EQ(derived("--version 2"), first) << "the same publication keeps its stamp";
  EXPECT_NE(derived("--version 3"), first);
  EXPECT_NE(derived("--version 2 --restart"), first);
  EXPECT_EQ(derived("--version 2 --rollout-percent 10"), first)
      << "widening a rollout must keep its stamp and its installations";
  Package("u.exe", "T1", Path("payload.txt"));
  EXPECT_NE(derived("--version 2"), first) << "another package is another publication";

  // An info stamp of 0 equals the installed stamp before any update.
  std::remove(Path("Tool.info").c_str());
  const TRun zero = Info(package, "--version 2 --stamp 0");
  EXPECT_EQ(zero.ExitCode, 2);
  EXPECT_FALSE(Exists(Path("Tool.info")));
}

TEST_F(PackInfo, AgentTokenMustMatch) {
  const std::string package = Package("u.exe", "publisher-one");
  const std::string sameAgent = Package("agent.exe", "publisher-one");
  const std::string otherAgent = Package("other.exe", "publisher-two");
  WriteAll(Path("not-a-package.exe"), std::string(3000, 'x'));

  TRun run = Info(package, "--version 2 --agent " + sameAgent);
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(run.Output.find("warning"), std::string::npos) << run.Output;
  std::remove(Path("Tool.info").c_str());

  run = Info(package, "--version 2 --agent " + otherAgent);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("update token"), std::string::npos) << run.Output;
  EXPECT_FALSE(Exists(Path("Tool.info")));

  run = Info(package, "--version 2 --agent " + Path("not-a-package.exe"));
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_FALSE(Exists(Path("Tool.info")));

  run = Info(Path("not-a-package.exe"), "--version 2");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_FALSE(Exists(Path("Tool.info")));

  // The agent fetches "Tool.info" (its UpdateInfoName): another name is
  // written but warned about.
  run = Pack("info --package " + package + " --output " + Path("Other.info") +
             " --url http://x --version 2 --agent " + sameAgent);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(run.Output.find("Tool.info"), std::string::npos) << run.Output;
}

TEST_F(PackInfo, WrongUsageWritesNothing) {
  const std::string package = Package("u.exe", "T1");
  const std::vector<std::string> wrong = {
      "",                                         // no --version
      "--version 0",                              // not above 0
      "--version x",                              //
      "--version 2 --valid-versions 3,,4",        //
      "--version 2 --valid-versions '3;4'",       //
      "--version 2 --shutdown 'using wm_close'",  // methods are compared in full, with case
      "--version 2 --unknown 1",                  //
      "--version 2 --restart=yes",                //
      "--version 2 --rollout-percent 101",        // a share of installations
      "--version 2 --rollout-percent -1",         //
      "--version 2 --rollout-percent ten",        //
      "--version 2 --delta u.exe",                // the delta needs the version it rebuilds
      "--version 2 --delta-from-version 1",       // and that version its delta
      "--version 2 --delta u.exe --delta-from-version 2",  // not below the new version
      "--version 2 --delta u.exe --delta-from-version 0",  //
      "--version 2 --delta u.exe --delta-from-version x",  //
  };
  for (const std::string& options : wrong) {
    const TRun run = Info(package, options);
    EXPECT_EQ(run.ExitCode, 2) << options << "\n" << run.Output;
    EXPECT_FALSE(Exists(Path("Tool.info"))) << options;
  }
  const TRun noUrl =
      Pack("info --package " + package + " --output " + Path("Tool.info") + " --version 2");
  EXPECT_EQ(noUrl.ExitCode, 2);
  EXPECT_FALSE(Exists(Path("Tool.info")));
}

TEST_F(PackInfo, RolloutShareAndTheRecordedVersion) {
  const std::string versioned = Package("v3.exe", "T1", "--version 3");
  const TRun list = Pack("list " + versioned);
  EXPECT_NE(list.Output.find("PackageVersion 3\n"), std::string::npos) << list.Output;
  EXPECT_EQ(
      Pack("build --stub " + Path("stub.exe") + " --output " + Path("v0.exe") + " --version 0")
          .ExitCode,
      1);
  EXPECT_FALSE(Exists(Path("v0.exe")));

  struct Case {
    std::string package, options;
    int exitCode;
    const char* rollout;  // the RolloutPercent written, nullptr: none
    const char* said;     // in the output
  } cases[] = {
      {versioned, "--version 3 --rollout-percent 10", 0, "10", ""},
      {versioned, "--version 3 --rollout-percent 0", 0, "0", ""},
      {versioned, "--version 3", 0, nullptr, ""},
      // Pinned installations would refuse it: the publisher learns now.
      {versioned, "--version 4", 1, nullptr, "records version 3, not 4"},
      {Package("u.exe", "T1"), "--version 4", 0, nullptr, "records no version"},
  };
  for (const Case& c : cases) {
    std::remove(Path("Tool.info").c_str());
    const TRun run = Info(c.package, c.options);
    EXPECT_EQ(run.ExitCode, c.exitCode) << c.options << "\n" << run.Output;
    EXPECT_NE(run.Output.find(c.said), std::string::npos) << c.options << "\n" << run.Output;
    if (c.exitCode != 0) {
      EXPECT_FALSE(Exists(Path("Tool.info"))) << c.options;
      continue;
    }
    const auto s = ReadIni(Path("Tool.info")).at("NewSetup");
    const std::string written = s.count("RolloutPercent") ? s.at("RolloutPercent") : "(none)";
    EXPECT_EQ(written, c.rollout != nullptr ? c.rollout : "(none)") << c.options;
  }
}

TEST_F(PackInfo, DeltaPackageIsOfferedBesideTheFullOne) {
  const std::string full = Package("Tool-7.exe", "T1", "--version 7 " + Path("payload.txt"));
  ASSERT_EQ(std::system(("mkdir -p '" + Path("old") + "' '" + Path("new") + "'").c_str()), 0);
  WriteAll(Path("old/payload.txt"), "version one of the application\n");
  WriteAll(Path("new/payload.txt"), "version two of the application\n");
  auto delta = [&](const std::string& name, const std::string& options) {
    return Package(name, "T1", "--folder " + Path("new") + " " + options);
  };
  const std::string good = delta("Tool-5-7.exe", "--delta-from " + Path("old") + " --version 7");

  const TRun run = Info(full, "--version 7 --delta " + good + " --delta-from-version 5");
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  const auto s = ReadIni(Path("Tool.info")).at("NewSetup");
  EXPECT_EQ(s.at("NameOfUpdateFile"), "Tool-7.exe");
  EXPECT_EQ(s.at("NameOfDeltaFile"), "Tool-5-7.exe");
  EXPECT_EQ(s.at("SizeOfDeltaFile"), std::to_string(ReadAll(good).size()));
  EXPECT_EQ(s.at("Sha256OfDeltaFile"), Shell("sha256sum " + good).Output.substr(0, 64));
  EXPECT_EQ(s.at("DeltaFromVersion"), "5");
  EXPECT_NE(s.at("Sha256OfDeltaFile"), s.at("Sha256OfUpdateFile"));

  // Refused, writing nothing: a full package as the delta, a delta of
  // another version, and one of another publisher's token.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {full, "not a delta package"},
      {delta("Tool-5-6.exe", "--delta-from " + Path("old") + " --version 6"), "version 6"},
      {Package("Other-5-7.exe", "T2",
               "--folder " + Path("new") + " --delta-from " + Path("old") + " --version 7"),
       "update token"},
  };
  for (const auto& r : refused) {
    std::remove(Path("Tool.info").c_str());
    const TRun bad = Info(full, "--version 7 --delta " + r.first + " --delta-from-version 5");
    EXPECT_EQ(bad.ExitCode, 1) << r.second;
    EXPECT_NE(bad.Output.find(r.second), std::string::npos) << bad.Output;
    EXPECT_FALSE(Exists(Path("Tool.info"))) << r.second;
  }
}

TEST_F(PackInfo, SettingsFileHoldsEverySection) {
  WriteAll(Path("texts.txt"),
           "; agent texts\r\n"
           "s22=<b>NEW UPDATE</b><P>Checking PROG_NAME\r\n"
           "\r\n"
           "s31=Getting the info file...\r\n");
  const std::string launcher = Package("agent.exe", "T1");
  const TRun run = Pack("settings --output " + Path("Tool.original") +
                        " --version 4 --program-name 'My Tool' --probe-interval 1d"
                        " --reask-interval 12h --target-dir 'C:\\Program Files\\Tool'"
                        " --shared-dir 'C:\\Common' --auxiliary-dir 'D:\\Aux'"
                        " --startup-link 'C:\\Start\\Tool.lnk' --check-link 'C:\\Start\\Check.lnk'"
                        " --btn-text '|OK|Cancel|Yes|No|Abort|Retry|Ignore|' --error-caption Fehler"
                        " --charset 204 --texts " +
                        Path("texts.txt") + " --launcher " + launcher);
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(run.Output.find("warning"), std::string::npos) << run.Output;
  TIni ini = ReadIni(Path("Tool.original"));
  EXPECT_EQ(ini["OriginalSetup"]["ProbeSecondsInterval"], "86400");
  EXPECT_EQ(ini["OriginalSetup"]["ReAskSecondsInterval"], "43200");
  EXPECT_EQ(ini["OriginalSetup"]["VersionOriginal"], "4");
  EXPECT_EQ(ini["OriginalSetup"]["ProgramName"], "My Tool");
  // Written by the agent as it runs, not by the publisher.
  EXPECT_EQ(ini["OriginalSetup"].count("ProbeSecondsLast"), 0u);
  EXPECT_EQ(ini["OriginalSetup"].count("Stamp"), 0u);
  EXPECT_EQ(ini["Directories"]["TargetDir"], "C:\\Program Files\\Tool");
  EXPECT_EQ(ini["Directories"]["SharedDir"], "C:\\Common");
  EXPECT_EQ(ini["Directories"]["AuxiliaryDir"], "D:\\Aux");
  EXPECT_EQ(ini["UnInstall"]["StartUpLink"], "C:\\Start\\Tool.lnk");
  EXPECT_EQ(ini["UnInstall"]["CheckforNewUpdateLink"], "C:\\Start\\Check.lnk");
  EXPECT_EQ(ini["MsgBox"]["BtnText"], "|OK|Cancel|Yes|No|Abort|Retry|Ignore|");
  EXPECT_EQ(ini["MsgBox"]["Error"], "Fehler");
  EXPECT_EQ(ini["MsgBox"].count("Confirm"), 0u) << "a look left out keeps the built-in default";
  EXPECT_EQ(ini["MsgBox"]["CharSet"], "204");
  EXPECT_EQ(ini["AutoUpdate"]["s22"], "<b>NEW UPDATE</b><P>Checking PROG_NAME");
  EXPECT_EQ(ini["AutoUpdate"]["s31"], "Getting the info file...");
  EXPECT_EQ(ini["AutoUpdate"].size(), 2u);
}

TEST_F(PackInfo, SettingsIntervalsAndChecks) {
  const std::vector<std::pair<std::string, std::string>> intervals = {
      {"0", "0"}, {"-1", "-1"}, {"90", "90"}, {"90s", "90"}, {"15m", "900"}, {"7d", "604800"}};
  for (const auto& interval : intervals) {
    const TRun run = Pack("settings --output " + Path("Tool.original") +
                          " --version 1 --probe-interval " + interval.first);
    ASSERT_EQ(run.ExitCode, 0) << interval.first << run.Output;
    EXPECT_EQ(ReadIni(Path("Tool.original"))["OriginalSetup"]["ProbeSecondsInterval"],
              interval.second);
  }
  std::remove(Path("Tool.original").c_str());
  for (const std::string& bad :
       {"--probe-interval -2", "--probe-interval 1w", "--probe-interval -1d", "--reask-interval x",
        "--charset 300", "--version 1 --version 0"}) {
    const TRun run = Pack("settings --output " + Path("Tool.original") + " --version 1 " + bad);
    EXPECT_EQ(run.ExitCode, 2) << bad << run.Output;
    EXPECT_FALSE(Exists(Path("Tool.original"))) << bad;
  }
  WriteAll(Path("texts.txt"), "s99=not an agent text\r\n");
  const TRun unknown = Pack("settings --output " + Path("Tool.original") + " --version 1 --texts " +
                            Path("texts.txt"));
  EXPECT_EQ(unknown.ExitCode, 1);
  EXPECT_NE(unknown.Output.find("s99"), std::string::npos);
  EXPECT_FALSE(Exists(Path("Tool.original")));

  const std::string launcher = Package("agent.exe", "T1");
  const TRun named =
      Pack("settings --output " + Path("Other.original") + " --version 1 --launcher " + launcher);
  EXPECT_EQ(named.ExitCode, 0);
  EXPECT_NE(named.Output.find("Tool.original"), std::string::npos) << named.Output;
}

// Publisher keys, pinned from PEM certificates: each value is the SHA-256
// that openssl gives for the certificate's DER public key, in the order the
// certificates were named.
TEST_F(PackInfo, SettingsPinsTheSignerKeys) {
  std::vector<std::string> expected;
  for (const std::string name : {"a", "b"}) {
    const TRun made = Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + name +
                            " -keyout " + Path(name + ".key") + " -out " + Path(name + ".pem"));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    const TRun key = Shell("openssl x509 -in " + Path(name + ".pem") +
                           " -pubkey -noout | openssl pkey -pubin -outform DER | sha256sum");
    ASSERT_EQ(key.ExitCode, 0) << key.Output;
    expected.push_back(key.Output.substr(0, 64));
  }
  ASSERT_NE(expected[0], expected[1]);
  const std::string settings = "settings --output " + Path("Tool.original") + " --version 1 ";
  TRun run = Pack(settings + "--signer " + Path("a.pem"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadIni(Path("Tool.original"))["Security"]["SignerKeySha256"], expected[0]);
  run = Pack(settings + "--signer " + Path("b.pem") + " --signer=" + Path("a.pem"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadIni(Path("Tool.original"))["Security"]["SignerKeySha256"],
            expected[1] + "," + expected[0]);
  run = Pack(settings);
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadIni(Path("Tool.original")).count("Security"), 0u) << "no pin unless asked";

  std::remove(Path("Tool.original").c_str());
  for (const std::string& bad : {Path("a.key"), Path("missing.pem")}) {
    run = Pack(settings + "--signer " + Path("a.pem") + " --signer " + bad);
    EXPECT_EQ(run.ExitCode, 1) << bad << run.Output;
    EXPECT_NE(run.Output.find(bad), std::string::npos) << run.Output;
    EXPECT_FALSE(Exists(Path("Tool.original"))) << bad;
  }
}

}  // namespace
