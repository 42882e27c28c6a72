#include "pack/publish.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "pack/pack_files.h"
#include "pack/pack_options.h"
#include "pack/signer_key.h"
#include "package/format.h"
#include "package/package_info.h"
#include "update/settings_schema.h"
#include "util/text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBad = 1;
constexpr int kExitUsage = 2;

// Option values by name without "--"; flags hold "1".
using TValues = std::map<std::string, std::string>;

// The options of `values`, the repeatable ones of `repeated` and the flags
// of `flags`, and no others.
std::string ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& values,
                         const std::set<std::string>& flags, TValues& out,
                         const std::set<std::string>& repeated = {}) {
  return ParseOptionArgs(
      args,
      [&](const std::string& name) {
        if (flags.count(name) != 0) return TOptionKind::kFlag;
        if (repeated.count(name) != 0) return TOptionKind::kRepeated;
        return values.count(name) != 0 ? TOptionKind::kValue : TOptionKind::kUnknown;
      },
      out, nullptr);
}

std::string Value(const TValues& values, const std::string& name) {
  const auto found = values.find(name);
  return found == values.end() ? std::string() : found->second;
}

bool Has(const TValues& values, const std::string& name) { return values.count(name) != 0; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The profile functions trim blanks and strip one pair of enclosing quotes;
// wrapping such a value in double quotes makes it read back unchanged.
bool IniLine(const std::string& key, const std::string& value, std::string& line) {
  if (value.find_first_of("\r\n") != std::string::npos) return false;
  const bool padded = !value.empty() && (static_cast<unsigned char>(value.front()) <= ' ' ||
                                         static_cast<unsigned char>(value.back()) <= ' ');
  const bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
  line = key + "=" + (padded || quoted ? "\"" + value + "\"" : value) + "\r\n";
  return true;
}

// An INI file put together section by section; the first value that cannot
// be written is remembered as the error.
class TIniText {
 public:
  void Section(const std::string& name) {
    text_ += (text_.empty() ? "[" : "\r\n[") + name + "]\r\n";
  }
  void Add(const std::string& key, const std::string& value) {
    std::string line;
    if (!IniLine(key, value, line)) {
      if (error_.empty()) error_ = "The value of " + key + " holds a line break";
      return;
    }
    text_ += line;
  }
  void AddFlag(const std::string& key, bool on) { Add(key, on ? "1" : "0"); }
  const std::string& Text() const { return text_; }
  const std::string& Error() const { return error_; }

 private:
  std::string text_;
  std::string error_;
};

bool ParseInt32(const std::string& text, int32_t& value) {
  int64_t wide = 0;
  if (!TryParseInt64(Trim(text), wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool ParseDuration(const std::string& text, int64_t& seconds) {
  std::string digits = Trim(text);
  int64_t unit = 1;
  static const std::map<char, int64_t> units = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
  if (!digits.empty() && units.count(digits.back())) {
    unit = units.at(digits.back());
    digits.pop_back();
  }
  int64_t number = 0;
  if (!TryParseInt64(digits, number)) return false;
  if (number == -1 && unit == 1) {
    seconds = -1;
    return true;
  }
  if (number < 0 || number > INT64_MAX / unit) return false;
  seconds = number * unit;
  return true;
}

// "3, 4,7" -> "3,4,7": the agent looks for ",<version>," in the list, so
// blanks would hide a version.
bool NormalizeVersionList(const std::string& text, std::string& list) {
  list.clear();
  if (Trim(text).empty()) return true;
  std::string item;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',') {
      item.push_back(text[i]);
      continue;
    }
    int32_t version = 0;
    if (!ParseInt32(item, version) || version <= 0) return false;
    list += (list.empty() ? "" : ",") + std::to_string(version);
    item.clear();
  }
  return true;
}

std::string NamePart(const std::string& path) {
  const size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "orvane-pack: %s\n", message.c_str());
  return code;
}

// The agent fetches and reads its files under the names its own package
// gives; a file published under another name is never found.
void WarnOnName(const std::string& output, const std::string& expected, const char* kind) {
  if (!expected.empty() && UpperCase(NamePart(output)) != UpperCase(expected)) {
    std::fprintf(stderr, "orvane-pack: warning: the agent looks for its %s file as %s, not %s\n",
                 kind, expected.c_str(), NamePart(output).c_str());
  }
}

const char* const kShutDownMethods[] = {"Issue a Message Box", "Using WM_CLOSE", "Using WM_QUIT",
                                        "Using Terminate Process", "Don't Shut Down"};

bool IsShutDownMethod(const std::string& text) {
  for (const char* method : kShutDownMethods) {
    if (text == method) return true;
  }
  return false;
}

// Info-file flags: option name, key.
const std::pair<const char*, const char*> kInfoFlags[] = {
    {"confirm-download", schema::kRequestConfirmationBeforeDownload},
    {"confirm-install", schema::kRequestConfirmationBeforeInstall},
    {"background", schema::kBackgroundUpdate},
    {"inform-finish", schema::kInformFinish},
    {"restart", schema::kRestartProcess},
    {"remove-startup-shortcut", schema::kRemoveStartUpShortcut},
    {"remove-check-shortcut", schema::kRemoveCheckForNewUpdateShortcut},
};

// A stamp that changes whenever the package or anything offered with it
// changes. Never 0: that is the installed stamp before any update, and an
// info file carrying it would count as already offered.
int32_t DerivedStamp(uint32_t packageCrc, const std::string& keys) {
  const std::string seed = std::to_string(packageCrc) + "\n" + keys;
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(seed.data()), static_cast<uInt>(seed.size())));
  const int32_t stamp = static_cast<int32_t>(crc & 0x7FFFFFFF);
  return stamp == 0 ? 1 : stamp;
}

// Message text ids of the agent's boxes and status lines.
const std::set<std::string>& AgentTextIds() {
  static const std::set<std::string> ids = {"s2",  "s3",  "s4",  "s5",  "s11", "s12",
                                            "s13", "s14", "s15", "s16", "s17", "s21",
                                            "s22", "s23", "s24", "s31", "s32"};
  return ids;
}

// "id=text" lines; blank lines and lines starting with ";" are skipped.
std::string ReadAgentTexts(const std::string& path,
                           std::vector<std::pair<std::string, std::string>>& texts) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "Cannot read the text file " + path;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    const size_t equals = line.find('=');
    const std::string id = equals == std::string::npos ? trimmed : Trim(line.substr(0, equals));
    if (equals == std::string::npos || !AgentTextIds().count(id)) {
      return "Not a known id=text line in " + path + ": " + trimmed;
    }
    texts.push_back({id, line.substr(equals + 1)});
  }
  return std::string();
}

// One option check: whether the options pass it, and the message given
// when they do not.
struct TOptionCheck {
  std::function<bool()> Passes;
  std::string Message;
};

// Passes when option `name` has a value that is not empty.
std::function<bool()> Given(const TValues& values, const char* name) {
  return [&values, name] { return !Value(values, name).empty(); };
}

// The message of the first check that fails, or "" when all pass. Checks
// after a failed one are not run, so a check may use what an earlier one
// parsed.
std::string FirstFailure(const std::vector<TOptionCheck>& checks) {
  for (const TOptionCheck& check : checks) {
    if (!check.Passes()) return check.Message;
  }
  return std::string();
}

// The delta package of --delta: a delta package of the offered version.
// Returns an error text.
std::string CheckDelta(const std::string& path, int32_t versionNew, int64_t& size,
                       std::string& sha256) {
  uint32_t dosTime = 0;
  if (!SourceFileStat(path, size, dosTime)) return "Cannot read the delta package " + path;
  if (size > INT32_MAX) return "The delta package is larger than 2 GB";
  const std::string error = FileSha256Hex(path, sha256);
  if (!error.empty()) return error;
  const TGFileInfo delta(path);
  if (delta.Trailer().PackageMagic != kPackageMagic) return path + " is not a package";
  if (!(delta.Trailer().PackageFlags & kFlagDeltaPackage)) {
    return path + " is not a delta package (build --delta-from)";
  }
  const int32_t recorded = delta.Trailer().PackageVersion;
  if (recorded != 0 && recorded != versionNew) {
    return path + " records version " + std::to_string(recorded) + ", not " +
           std::to_string(versionNew) + ": installations that pin publisher keys would refuse it";
  }
  if (recorded == 0) {
    std::fprintf(stderr,
                 "orvane-pack: note: %s records no version (build --version): installations "
                 "that pin publisher keys will refuse it\n",
                 path.c_str());
  }
  return std::string();
}

}  // namespace

int InfoCommand(const std::vector<std::string>& args) {
  std::set<std::string> flags;
  for (const auto& flag : kInfoFlags) flags.insert(flag.first);
  TValues o;
  std::string error = ParseOptions(
      args,
      {"package", "output", "url", "version", "stamp", "valid-versions", "program-name",
       "running-process", "shutdown", "agent", "rollout-percent", "delta", "delta-from-version"},
      flags, o);
  int32_t versionNew = 0;
  int32_t stamp = 0;
  int32_t rolloutPercent = 100;
  int32_t deltaFrom = 0;
  std::string validVersions;
  // Of several required options left out, the message names the last one of
  // package, output, url, version: hence their reverse order here.
  if (error.empty()) {
    error = FirstFailure({
        {Given(o, "version"), "info needs --version"},
        {Given(o, "url"), "info needs --url"},
        {Given(o, "output"), "info needs --output"},
        {Given(o, "package"), "info needs --package"},
        {[&] { return ParseInt32(Value(o, "version"), versionNew) && versionNew > 0; },
         "--version takes a number above 0"},
        {[&] { return !Has(o, "stamp") || (ParseInt32(Value(o, "stamp"), stamp) && stamp != 0); },
         "--stamp takes a 32-bit number other than 0 (0 counts as already offered)"},
        {[&] { return NormalizeVersionList(Value(o, "valid-versions"), validVersions); },
         "--valid-versions takes version numbers separated by commas, e.g. 3,4,7"},
        {[&] { return !Has(o, "shutdown") || IsShutDownMethod(Value(o, "shutdown")); },
         "--shutdown takes \"Issue a Message Box\", \"Using WM_CLOSE\", \"Using WM_QUIT\", "
         "\"Using Terminate Process\" or \"Don't Shut Down\""},
        {[&] {
           return !Has(o, "rollout-percent") ||
                  (ParseInt32(Value(o, "rollout-percent"), rolloutPercent) && rolloutPercent >= 0 &&
                   rolloutPercent <= 100);
         },
         "--rollout-percent takes a share of installations from 0 (stopped) to 100"},
        {[&] { return Has(o, "delta") == Has(o, "delta-from-version"); },
         "--delta and --delta-from-version go together: the delta package and the installed "
         "version it rebuilds"},
        {[&] {
           return !Has(o, "delta-from-version") ||
                  (ParseInt32(Value(o, "delta-from-version"), deltaFrom) && deltaFrom > 0 &&
                   deltaFrom < versionNew);
         },
         "--delta-from-version takes a version above 0 and below --version"},
    });
  }
  if (!error.empty()) return Fail(kExitUsage, error);

  const std::string packagePath = Value(o, "package");
  int64_t size = 0;
  uint32_t dosTime = 0;
  if (!SourceFileStat(packagePath, size, dosTime)) {
    return Fail(kExitBad, "Cannot read the update package " + packagePath);
  }
  if (size > INT32_MAX) return Fail(kExitBad, "The update package is larger than 2 GB");
  std::string packageSha256;
  error = FileSha256Hex(packagePath, packageSha256);
  if (!error.empty()) return Fail(kExitBad, error);
  const TGFileInfo package(packagePath);
  if (package.Trailer().PackageMagic != kPackageMagic) {
    return Fail(kExitBad, packagePath + " is not a package");
  }
  // A pinned installation refuses a package whose recorded version is not
  // the one offered; one without a recorded version only pinned ones refuse.
  const int32_t recorded = package.Trailer().PackageVersion;
  if (recorded != 0 && recorded != versionNew) {
    return Fail(kExitBad, packagePath + " records version " + std::to_string(recorded) + ", not " +
                              std::to_string(versionNew) +
                              ": installations that pin publisher keys would refuse it");
  }
  if (recorded == 0) {
    std::fprintf(stderr,
                 "orvane-pack: note: %s records no version (build --version): installations "
                 "that pin publisher keys will refuse it\n",
                 packagePath.c_str());
  }
  const std::string deltaPath = Value(o, "delta");
  int64_t deltaSize = 0;
  std::string deltaSha256;
  if (!deltaPath.empty()) {
    error = CheckDelta(deltaPath, versionNew, deltaSize, deltaSha256);
    if (!error.empty()) return Fail(kExitBad, error);
    // The agent checks the delta's token as the full package's.
    if (!package.SameUpdateToken(TGFileInfo(deltaPath))) {
      return Fail(kExitBad, "The update token of " + deltaPath + " differs from that of " +
                                packagePath + ": every installation would refuse the delta");
    }
  }
  const std::string agentPath = Value(o, "agent");
  if (!agentPath.empty()) {
    const TGFileInfo agent(agentPath);
    if (agent.Trailer().PackageMagic != kPackageMagic) {
      return Fail(kExitBad, agentPath + " is not a package");
    }
    if (!package.SameUpdateToken(agent)) {
      return Fail(kExitBad, "The update token of " + packagePath + " differs from that of " +
                                agentPath + ": the agent would refuse the update");
    }
    WarnOnName(Value(o, "output"), agent.InfoFileName(), "info");
  }

  TIniText ini;
  ini.Section(schema::kNewSetup);
  ini.Add(schema::kDownloadURL_UPDATE, Value(o, "url"));
  ini.Add(schema::kNameOfUpdateFile, NamePart(packagePath));
  ini.Add(schema::kSizeOfUpdateFile, std::to_string(size));
  // Of the package as published: signed first, then described.
  ini.Add(schema::kSha256OfUpdateFile, packageSha256);
  if (!deltaPath.empty()) {
    ini.Add(schema::kNameOfDeltaFile, NamePart(deltaPath));
    ini.Add(schema::kSizeOfDeltaFile, std::to_string(deltaSize));
    ini.Add(schema::kSha256OfDeltaFile, deltaSha256);
    ini.Add(schema::kDeltaFromVersion, std::to_string(deltaFrom));
  }
  ini.Add(schema::kVersionNew, std::to_string(versionNew));
  ini.Add(schema::kValidVersions, validVersions);
  ini.Add(schema::kProgramName, Value(o, "program-name"));
  ini.Add(schema::kRunningProcess, Value(o, "running-process"));
  ini.Add(schema::kShutDownMethod, Value(o, "shutdown"));
  for (const auto& flag : kInfoFlags) ini.AddFlag(flag.second, Value(o, flag.first) == "1");
  if (!ini.Error().empty()) return Fail(kExitUsage, ini.Error());
  if (!Has(o, "stamp")) stamp = DerivedStamp(package.Trailer().ExpectedCrc, ini.Text());
  ini.Add(schema::kStamp, std::to_string(stamp));
  // Left out of the derived stamp: widening a rollout keeps its stamp, and
  // with it every installation already in. Absent, every installation takes
  // the update, as agents before rollouts do.
  if (Has(o, "rollout-percent")) {
    ini.Add(schema::kRolloutPercent, std::to_string(rolloutPercent));
  }

  if (!WriteText(Value(o, "output"), ini.Text())) {
    return Fail(kExitBad, "Cannot write " + Value(o, "output"));
  }
  std::printf("%s: %s, %lld bytes, version %d, stamp %d\n", Value(o, "output").c_str(),
              NamePart(packagePath).c_str(), static_cast<long long>(size), versionNew, stamp);
  return kExitOk;
}

int SettingsCommand(const std::vector<std::string>& args) {
  TValues o;
  std::string error = ParseOptions(
      args,
      {"output", "version", "program-name", "probe-interval", "reask-interval", "target-dir",
       "shared-dir", "auxiliary-dir", "startup-link", "check-link", "btn-text", "error-caption",
       "confirm-caption", "attention-caption", "charset", "texts", "launcher"},
      {}, o, {"signer"});
  int32_t version = 0;
  int64_t probe = 0;
  int64_t reask = 0;
  int32_t charset = 0;
  if (error.empty()) {
    error = FirstFailure({
        {Given(o, "output"), "settings needs --output"},
        {[&] { return ParseInt32(Value(o, "version"), version) && version > 0; },
         "settings needs --version, a number above 0 (0 turns updating off)"},
        {[&] {
           return !Has(o, "probe-interval") || ParseDuration(Value(o, "probe-interval"), probe);
         },
         "--probe-interval takes seconds (or 15m, 12h, 7d), 0 for once or -1 for never"},
        {[&] {
           return !Has(o, "reask-interval") || ParseDuration(Value(o, "reask-interval"), reask);
         },
         "--reask-interval takes seconds (or 15m, 12h, 7d), 0 for never again"},
        {[&] {
           return !Has(o, "charset") ||
                  (ParseInt32(Value(o, "charset"), charset) && charset >= 0 && charset <= 255);
         },
         "--charset takes a character-set number from 0 to 255"},
    });
  }
  if (!error.empty()) return Fail(kExitUsage, error);
  // A text file that cannot be used is bad input, not wrong usage.
  std::vector<std::pair<std::string, std::string>> texts;
  if (Has(o, "texts")) {
    error = ReadAgentTexts(Value(o, "texts"), texts);
    if (!error.empty()) return Fail(kExitBad, error);
  }
  std::string signerKeys;
  if (Has(o, "signer")) {
    std::istringstream certificates(Value(o, "signer"));
    std::string certificate;
    while (std::getline(certificates, certificate)) {
      std::string key;
      error = SignerKeySha256Hex(certificate, key);
      if (!error.empty()) return Fail(kExitBad, error);
      signerKeys += (signerKeys.empty() ? "" : ",") + key;
    }
  }
  if (Has(o, "launcher")) {
    const TGFileInfo launcher(Value(o, "launcher"));
    if (launcher.Trailer().PackageMagic != kPackageMagic) {
      return Fail(kExitBad, Value(o, "launcher") + " is not a package");
    }
    WarnOnName(Value(o, "output"), launcher.OriginalFileName(), "installation settings");
  }

  TIniText ini;
  ini.Section(schema::kOriginalSetup);
  ini.Add(schema::kProbeSecondsInterval, std::to_string(probe));
  ini.Add(schema::kReAskSecondsInterval, std::to_string(reask));
  ini.Add(schema::kVersionOriginal, std::to_string(version));
  ini.Add(schema::kProgramName, Value(o, "program-name"));
  ini.Section(schema::kDirectories);
  ini.Add(schema::kTargetDir, Value(o, "target-dir"));
  ini.Add(schema::kSharedDir, Value(o, "shared-dir"));
  ini.Add(schema::kAuxiliaryDir, Value(o, "auxiliary-dir"));
  ini.Section(schema::kUnInstall);
  ini.Add(schema::kStartUpLink, Value(o, "startup-link"));
  ini.Add(schema::kCheckforNewUpdateLink, Value(o, "check-link"));
  // Looks left out keep the agent's built-in defaults.
  ini.Section(schema::kMsgBox);
  const std::pair<const char*, const char*> looks[] = {
      {"btn-text", schema::kBtnText},
      {"error-caption", schema::kErrorCaption},
      {"confirm-caption", schema::kConfirmCaption},
      {"attention-caption", schema::kAttentionCaption}};
  for (const auto& look : looks) {
    if (Has(o, look.first)) ini.Add(look.second, Value(o, look.first));
  }
  ini.Add(schema::kCharSet, std::to_string(charset));
  ini.Section(schema::kAutoUpdate);
  for (const auto& text : texts) ini.Add(text.first, text.second);
  if (!signerKeys.empty()) {
    ini.Section(schema::kSecurity);
    ini.Add(schema::kSignerKeySha256, signerKeys);
  }
  if (!ini.Error().empty()) return Fail(kExitUsage, ini.Error());

  if (!WriteText(Value(o, "output"), ini.Text())) {
    return Fail(kExitBad, "Cannot write " + Value(o, "output"));
  }
  std::printf("%s: version %d, %zu text(s)%s\n", Value(o, "output").c_str(), version, texts.size(),
              signerKeys.empty() ? "" : (", signer keys " + signerKeys).c_str());
  return kExitOk;
}

const char* PublishUsageText() {
  return "\n"
         "Publishing updates:\n"
         "  orvane-pack info --package UPDATE.exe --output NAME.info --url URL --version N\n"
         "                   [options]\n"
         "  orvane-pack settings --output NAME.original --version N [options]\n"
         "\n"
         "info: writes the info file the agent fetches from the update server.\n"
         "  --package FILE              the update package (name and size are taken from it)\n"
         "  --url URL                   folder URL (or folder) the package is published in\n"
         "  --version N                 VersionNew: the version the update installs\n"
         "  --stamp N                   this publication's stamp (default: derived from the\n"
         "                              package and the other values; never 0)\n"
         "  --valid-versions 3,4,7      installed versions the update applies to (default any)\n"
         "  --rollout-percent N         phased rollout: automatic checks offer the update to\n"
         "                              about N% of the installations (each draws its own\n"
         "                              number once); 0 stops it; a check the user starts\n"
         "                              always offers it (default 100)\n"
         "  --program-name TEXT         name shown in the update questions\n"
         "  --running-process PATH      the application's executable, e.g. <InstallDir>\\App.exe\n"
         "  --shutdown METHOD           \"Issue a Message Box\", \"Using WM_CLOSE\",\n"
         "                              \"Using WM_QUIT\", \"Using Terminate Process\" or\n"
         "                              \"Don't Shut Down\"\n"
         "  --confirm-download          ask before downloading\n"
         "  --confirm-install           ask before installing\n"
         "  --background                install without the extraction window\n"
         "  --inform-finish             tell the user when the update has finished\n"
         "  --restart                   start the application again afterwards\n"
         "  --remove-startup-shortcut   delete the start-up shortcut after the update\n"
         "  --remove-check-shortcut     delete the check-for-update shortcut afterwards\n"
         "  --agent FILE                refuse unless the package's update token equals that\n"
         "                              of FILE (the launcher that installed the agent)\n"
         "  --delta FILE                a delta package (build --delta-from) of the same\n"
         "                              version, offered beside the full one: its name, size\n"
         "                              and SHA-256 are written (NameOfDeltaFile, ...)\n"
         "  --delta-from-version N      DeltaFromVersion: the installed version the delta\n"
         "                              package rebuilds (below --version); needs --delta\n"
         "  (Sha256OfUpdateFile is always written: sign the package before running info.\n"
         "  A package built with --version must record the version given here.)\n"
         "\n"
         "settings: writes the installation settings file installed beside the agent.\n"
         "  --version N                 VersionOriginal: the installed version (above 0)\n"
         "  --program-name TEXT         name shown in the check question\n"
         "  --probe-interval TIME       between automatic checks: seconds or 15m, 12h, 7d;\n"
         "                              0 checks once, -1 never (default 0)\n"
         "  --reask-interval TIME       before a declined update is offered again\n"
         "                              (default 0: never)\n"
         "  --target-dir, --shared-dir, --auxiliary-dir DIR   the installation's folders\n"
         "  --startup-link, --check-link FILE                 shortcut files to remove\n"
         "  --btn-text LIST, --error-caption, --confirm-caption, --attention-caption TEXT,\n"
         "  --charset N                 looks of the agent's message boxes\n"
         "  --texts FILE                id=text lines for the agent's texts (s2 ... s32)\n"
         "  --launcher FILE             warn when --output is not the name FILE's agent reads\n"
         "  --signer CERT.pem           pin the publisher key of this certificate: the agent\n"
         "                              then installs only updates signed with it; repeat for\n"
         "                              a key rollover\n";
}
