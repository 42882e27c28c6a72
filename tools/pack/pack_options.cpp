#include "pack/pack_options.h"

#include <cstdint>
#include <fstream>

#include "pack/pack_files.h"
#include "package/format.h"
#include "util/text.h"

namespace {

enum class TKind { Value, Path, Flag };

const std::map<std::string, TKind>& KnownOptions() {
  static const std::map<std::string, TKind> options = {
      {"project", TKind::Path},
      {"stub", TKind::Path},
      {"output", TKind::Path},
      {"folder", TKind::Path},
      {"delta-from", TKind::Path},
      {"files", TKind::Path},
      {"lang", TKind::Path},
      {"main", TKind::Value},
      {"update-location", TKind::Value},
      {"update-info-name", TKind::Value},
      {"auto-update-name", TKind::Value},
      {"update-token", TKind::Value},
      {"hidden-extract", TKind::Flag},
      {"success-by", TKind::Value},
      {"web-folder", TKind::Value},
      {"web-setup-name", TKind::Value},
      {"web-always-download", TKind::Flag},
      {"web-token", TKind::Value},
      {"web-setup-size", TKind::Value},
      {"always-show-temp-notice", TKind::Flag},
      {"web-setup", TKind::Flag},
      {"ask-before-download", TKind::Flag},
      {"make-auto-update", TKind::Flag},
      {"auto-update-prog", TKind::Flag},
      {"disk-size", TKind::Value},
      {"threads", TKind::Value},
      {"compressor", TKind::Value},
      {"level", TKind::Value},
      {"piece-size", TKind::Value},
      {"version", TKind::Value},
      {"quiet", TKind::Flag},
  };
  return options;
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool IsAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  return path.size() > 1 && path[1] == ':';
}

// `path` as seen from the folder of `baseFile`.
std::string RelativeTo(const std::string& baseFile, const std::string& path) {
  if (path.empty() || IsAbsolutePath(path)) return path;
  const size_t slash = baseFile.find_last_of("/\\");
  if (slash == std::string::npos) return path;
  return baseFile.substr(0, slash + 1) + path;
}

std::string JoinPath(const std::string& folder, const std::string& packageName) {
  if (folder.empty()) return NativeRelativePath(packageName);
  const char last = folder.back();
  const bool hasSeparator = last == '/' || last == '\\';
  return folder + (hasSeparator ? "" : std::string(1, kSeparator)) +
         NativeRelativePath(packageName);
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

bool IsSkipped(const std::string& line) {
  const std::string trimmed = Trim(line);
  return trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
}

bool Flag(const TBuildOptions& options, const std::string& name) {
  const auto found = options.Values.find(name);
  return found != options.Values.end() && found->second == "1";
}

std::string Value(const TBuildOptions& options, const std::string& name) {
  const auto found = options.Values.find(name);
  return found == options.Values.end() ? std::string() : found->second;
}

bool Has(const TBuildOptions& options, const std::string& name) {
  return options.Values.count(name) != 0;
}

std::string AddListFile(const std::string& listPath, std::vector<TPackFile>& files) {
  std::vector<std::string> lines;
  if (!ReadLines(listPath, lines)) return "Cannot read the file list " + listPath;
  for (const std::string& line : lines) {
    if (IsSkipped(line)) continue;
    TPackFile file;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      file.SourcePath = RelativeTo(listPath, Trim(line));
      file.Name = ExtractFileName(file.SourcePath);
    } else {
      file.Name = Trim(line.substr(0, equals));
      file.SourcePath = RelativeTo(listPath, Trim(line.substr(equals + 1)));
    }
    files.push_back(file);
  }
  return std::string();
}

std::string CollectFiles(const TBuildOptions& options, std::vector<TPackFile>& files) {
  const std::string folder = Value(options, "folder");
  if (!folder.empty()) {
    std::vector<std::string> names;
    if (!ListFolderFiles(folder, names)) return "Cannot read the folder " + folder;
    for (const std::string& name : names)
      files.push_back({name, JoinPath(folder, name), "", 0, ""});
  }
  const std::string list = Value(options, "files");
  if (!list.empty()) {
    std::string error = AddListFile(list, files);
    if (!error.empty()) return error;
  }
  for (const std::string& path : options.Files)
    files.push_back({ExtractFileName(path), path, "", 0, ""});
  return std::string();
}

// Pairs every file with the file of the same name below the older
// release's folder, names compared without case as Windows does.
std::string PairWithOldRelease(const std::string& oldFolder, std::vector<TPackFile>& files) {
  std::vector<std::string> names;
  if (!ListFolderFiles(oldFolder, names)) return "Cannot read the folder " + oldFolder;
  std::map<std::string, std::string> oldByName;
  for (const std::string& name : names) oldByName[UpperCase(name)] = JoinPath(oldFolder, name);
  for (TPackFile& file : files) {
    std::string key = UpperCase(Trim(file.Name));
    for (char& c : key) c = c == '/' ? '\\' : c;
    const auto old = oldByName.find(key);
    if (old != oldByName.end()) file.DeltaFromPath = old->second;
  }
  return std::string();
}

// The compressor and level the options ask for (level 0: the compressor's
// default). Returns an error text for a compressor or level there is not.
std::string CompressionOf(const TBuildOptions& options, TCompressor& compressor, int& level) {
  const std::string name = Value(options, "compressor");
  if (!name.empty() && name != "libdeflate" && name != "zlib")
    return "--compressor takes libdeflate or zlib, not " + name;
  compressor = name == "zlib" ? TCompressor::kZlib : TCompressor::kLibdeflate;
  level = 0;
  if (!Has(options, "level")) return std::string();
  const bool zlib = compressor == TCompressor::kZlib;
  const int largest = zlib ? kLargestZlibLevel : kLargestLibdeflateLevel;
  int64_t number = 0;
  if (!TryParseInt64(Value(options, "level"), number) || number < 1 || number > largest) {
    return "--level takes a number from 1 to " + std::to_string(largest) +
           (zlib ? " with zlib" : " with libdeflate");
  }
  level = static_cast<int>(number);
  return std::string();
}

}  // namespace

bool ParseByteSize(const std::string& text, int64_t& bytes) {
  std::string digits = Trim(text);
  int64_t unit = 1;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) unit = 1024;
  if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) unit = 1024 * 1024;
  if (unit != 1) digits.pop_back();
  int64_t number = 0;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  if (!TryParseInt64(digits, number) || number > (int64_t{1} << 40)) return false;
  bytes = number * unit;
  return true;
}

std::string ReadProjectFile(const std::string& path, TBuildOptions& options) {
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) return "Cannot read the project file " + path;
  bool inPackage = false;
  for (const std::string& line : lines) {
    if (IsSkipped(line)) continue;
    const std::string trimmed = Trim(line);
    if (trimmed.front() == '[') {
      inPackage = SameTextTrimmed(trimmed, "[Package]");
      continue;
    }
    if (!inPackage) continue;
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos) return "Not a key=value line in " + path + ": " + trimmed;
    const std::string key = Trim(trimmed.substr(0, equals));
    const std::string value = Trim(trimmed.substr(equals + 1));
    if (key == "file") {
      options.Files.push_back(RelativeTo(path, value));
      continue;
    }
    const auto known = KnownOptions().find(key);
    if (known == KnownOptions().end() || key == "project")
      return "Unknown key in " + path + ": " + key;
    if (Has(options, key)) continue;
    options.Values[key] = known->second == TKind::Path ? RelativeTo(path, value) : value;
  }
  return std::string();
}

std::string ParseOptionArgs(const std::vector<std::string>& args,
                            const std::function<TOptionKind(const std::string&)>& kindOf,
                            std::map<std::string, std::string>& values,
                            std::vector<std::string>* positional) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (positional == nullptr) return "Unexpected argument " + arg;
      positional->push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::string value;
    const size_t equals = name.find('=');
    const bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name.erase(equals);
    }
    const TOptionKind kind = kindOf(name);
    if (kind == TOptionKind::kUnknown) return "Unknown option --" + name;
    if (kind == TOptionKind::kFlag) {
      if (inlineValue && value != "0" && value != "1")
        return "--" + name + " takes no value but 0 or 1";
      values[name] = inlineValue ? value : "1";
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) return "--" + name + " needs a value";
      value = args[++i];
    }
    const auto earlier = values.find(name);
    if (kind == TOptionKind::kRepeated && earlier != values.end()) {
      earlier->second += "\n" + value;
      continue;
    }
    values[name] = value;
  }
  return std::string();
}

std::string ParseBuildOptions(const std::vector<std::string>& args, TBuildOptions& options) {
  const std::string error = ParseOptionArgs(
      args,
      [](const std::string& name) {
        const auto known = KnownOptions().find(name);
        if (known == KnownOptions().end()) return TOptionKind::kUnknown;
        return known->second == TKind::Flag ? TOptionKind::kFlag : TOptionKind::kValue;
      },
      options.Values, &options.Files);
  if (!error.empty()) return error;
  const std::string project = Value(options, "project");
  if (!project.empty()) {
    const std::string projectError = ReadProjectFile(project, options);
    if (!projectError.empty()) return projectError;
  }
  // A compressor or level there is not is a usage error, wherever it is set.
  TCompressor compressor;
  int level;
  return CompressionOf(options, compressor, level);
}

std::string ReadLangFile(const std::string& path, std::vector<TLangSection>& sections) {
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) return "Cannot read the language file " + path;
  for (const std::string& line : lines) {
    if (IsSkipped(line)) continue;
    const std::string trimmed = Trim(line);
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      sections.push_back({Trim(trimmed.substr(1, trimmed.size() - 2)), {}});
      continue;
    }
    const size_t equals = line.find('=');
    if (sections.empty() || equals == std::string::npos) {
      return "Not an id=text line under a [Language] line in " + path + ": " + trimmed;
    }
    sections.back().Texts.push_back({Trim(line.substr(0, equals)), line.substr(equals + 1)});
  }
  return std::string();
}

std::string DescribePackage(const TBuildOptions& options, TPackageDescription& d) {
  d = TPackageDescription();
  d.StubPath = Value(options, "stub");
  if (d.StubPath.empty()) return "No launcher image: give --stub";
  std::string error = CollectFiles(options, d.Files);
  if (!error.empty()) return error;
  if (Has(options, "delta-from")) {
    if (Value(options, "delta-from").empty())
      return "--delta-from needs the older release's folder";
    error = PairWithOldRelease(Value(options, "delta-from"), d.Files);
    if (!error.empty()) return error;
    d.DeltaPackage = true;
  }
  d.MainProgram = Value(options, "main");
  const std::string lang = Value(options, "lang");
  if (!lang.empty()) {
    error = ReadLangFile(lang, d.LangSections);
    if (!error.empty()) return error;
  }

  d.UpdateLocation = Value(options, "update-location");
  d.UpdateInfoName = Value(options, "update-info-name");
  d.AutoUpdateProgName = Value(options, "auto-update-name");
  d.UpdateToken = Value(options, "update-token");
  d.HiddenExtract = Flag(options, "hidden-extract");
  const std::string successBy = Value(options, "success-by");
  if (!successBy.empty() && successBy != kSuccessByExitCode && successBy != kSuccessByHandShake) {
    return "--success-by takes hand-shake or exit-code, not " + successBy;
  }
  d.SuccessByExitCode = successBy == kSuccessByExitCode;

  d.WebFolder = Value(options, "web-folder");
  d.WebSetupName = Value(options, "web-setup-name");
  d.WebAlwaysDownload = Flag(options, "web-always-download");
  d.WebToken = Value(options, "web-token");
  d.WebSetupSize = Value(options, "web-setup-size");
  d.IsWebSetup = Flag(options, "web-setup");
  d.HasWebList = d.IsWebSetup;
  for (const char* web :
       {"web-folder", "web-setup-name", "web-always-download", "web-token", "web-setup-size"}) {
    if (Has(options, web)) d.HasWebList = true;
  }

  d.AlwaysShowTempNotice = Flag(options, "always-show-temp-notice");
  d.AskBeforeDownload = Flag(options, "ask-before-download");
  d.MakeAutoUpdateProg = Flag(options, "make-auto-update");
  d.ThisIs_AutoUpdateProg = Flag(options, "auto-update-prog");

  if (Has(options, "disk-size") && !ParseByteSize(Value(options, "disk-size"), d.DiskSize)) {
    return "Not a size: --disk-size " + Value(options, "disk-size");
  }
  if (Has(options, "piece-size") && !ParseByteSize(Value(options, "piece-size"), d.PieceSize)) {
    return "Not a size: --piece-size " + Value(options, "piece-size");
  }
  if (Has(options, "version")) {
    int64_t version = 0;
    if (!TryParseInt64(Value(options, "version"), version) || version < 1 || version > INT32_MAX) {
      return "--version takes a number above 0, the one the info file offers as VersionNew";
    }
    d.PackageVersion = static_cast<int32_t>(version);
  }
  if (Has(options, "threads")) {
    int64_t threads = 0;
    if (!TryParseInt64(Value(options, "threads"), threads) || threads < 1 || threads > 256) {
      return "--threads takes a number from 1 to 256";
    }
    d.Threads = static_cast<int>(threads);
  }
  return CompressionOf(options, d.Compressor, d.Level);
}

const char* UsageText() {
  return "orvane-pack: builds and checks Orvane setup packages.\n"
         "\n"
         "Usage:\n"
         "  orvane-pack build --output setup.exe [options] [FILE...]\n"
         "  orvane-pack build --project setup.ini [options]\n"
         "  orvane-pack list PACKAGE\n"
         "  orvane-pack verify PACKAGE\n"
         "  orvane-pack extract PACKAGE FOLDER\n"
         "  orvane-pack --help\n"
         "  orvane-pack --version\n"
         "\n"
         "build: packs files behind the launcher image.\n"
         "  --stub FILE                 launcher image (\"MZ\" at 0, \"PE\" at 256); without it,\n"
         "                              the one installed with orvane-pack: beside it, or in\n"
         "                              ../share/orvane/ from it (/usr/share/orvane/Stub.exe)\n"
         "  --output FILE               package to write; further disks go to FILE.002, ...\n"
         "  --folder DIR                pack every file below DIR, names relative to it\n"
         "  --delta-from DIR            a delta package: each file that DIR (the installed\n"
         "                              release) also holds, by name without case, travels\n"
         "                              as one patch against it; other files travel whole,\n"
         "                              files only DIR holds are left out\n"
         "  --files LIST                text file, a line per file: \"source\" or \"name=source\"\n"
         "  FILE...                     more files, packed under their own file names\n"
         "  --main \"Setup.exe* /S\"      main program (one of the files), \"*\" and its "
         "arguments\n"
         "  --lang FILE                 language texts: [Language] lines, then id=text lines\n"
         "  --update-location URL       InfoList: where the agent looks for updates\n"
         "  --update-info-name NAME     InfoList: name of the .info / .original files\n"
         "  --auto-update-name NAME     InfoList: file name of the auto-update program\n"
         "  --update-token TEXT         InfoList: publisher token, stored scrambled\n"
         "  --hidden-extract            InfoList: extract without the progress window\n"
         "  --success-by MODE           how the main program reports success: hand-shake\n"
         "                              (default: it removes the run's atom) or exit-code\n"
         "                              (0, 3010 or 1641; for MSI, NSIS, Inno Setup and\n"
         "                              other ordinary installers; an .msi always is)\n"
         "  --web-folder URL            WebList: folder the setup file is downloaded from\n"
         "  --web-setup-name NAME       WebList: the setup file's name\n"
         "  --web-always-download       WebList: never use a copy beside the launcher\n"
         "  --web-token TEXT            WebList: publisher token, stored scrambled\n"
         "  --web-setup-size BYTES      WebList: the download's size\n"
         "  --web-setup                 the setup file is downloaded (needs the WebList)\n"
         "  --ask-before-download       ask before that download\n"
         "  --always-show-temp-notice   always show the temp-drive notice\n"
         "  --make-auto-update          leave an auto-update program beside the files\n"
         "  --auto-update-prog          mark the package as an auto-update program\n"
         "  --version N                 the package's own version, covered by its signature:\n"
         "                              installations that pin publisher keys install only\n"
         "                              the version the info file offers (VersionNew)\n"
         "  --disk-size N[K|M]          span over disk files of at most N bytes\n"
         "  --threads N                 compressing threads (default: every core)\n"
         "  --compressor NAME           libdeflate (default) or zlib; both write zlib streams\n"
         "  --level N                   1 fastest, largest; 12 smallest, slowest (zlib: 1\n"
         "                              to 9); default 10 (zlib: 9). On program files 12\n"
         "                              packs 0.2% smaller in twice the time of 10; 6, 4%\n"
         "                              larger in a sixth of it\n"
         "  --piece-size N[K|M]         largest input of one entry (default 16M)\n"
         "  --quiet                     no progress line (it shows only on a terminal anyway)\n"
         "  --project FILE              read the options from the [Package] section of an\n"
         "                              INI file (key = option name without \"--\", flags = 1,\n"
         "                              \"file=\" lines for more files, paths relative to the\n"
         "                              project file); the command line wins\n"
         "\n"
         "list: the trailer of every disk, the lists (tokens unscrambled) and the entries\n"
         "  (a patch with the old and new size of its file).\n"
         "verify: exit code 1 on a bad checksum, a wrong magic, a missing disk, an entry\n"
         "  that does not inflate or a patch that the launcher's decoder refuses.\n"
         "build, verify and extract show one progress line on a terminal (files, MB, MB/s,\n"
         "  time left) once they run longer than a moment; --quiet (after the command) turns\n"
         "  it off.\n"
         "extract: writes the entries below FOLDER; entry names the launcher refuses (absolute,\n"
         "  with a drive or \":\", starting with \"\\\", or with a part of dots alone) are "
         "refused.\n"
         "\n"
         "Exit codes: 0 success, 1 the package or the input is bad, 2 wrong usage.\n";
}
