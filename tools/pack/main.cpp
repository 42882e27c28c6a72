// orvane-pack: the packager's command line. build writes a package with
// WritePackage; list, verify and extract read one back with WalkPackage;
// info and settings write the INI files that publish an update.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvane_version.h"
#include "pack/pack_files.h"
#include "pack/pack_options.h"
#include "pack/pack_reader.h"
#include "pack/package_writer.h"
#include "pack/progress_line.h"
#include "pack/publish.h"
#include "package/extract_rules.h"
#include "package/format.h"
#include "package/patch.h"
#include "util/text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBad = 1;
constexpr int kExitUsage = 2;

std::string DosTimeText(uint32_t dos) {
  if (dos == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (dos >> 25),
                (dos >> 21) & 15, (dos >> 16) & 31, (dos >> 11) & 31, (dos >> 5) & 63,
                (dos & 31) * 2);
  return text;
}

// Control bytes (list delimiters other than "|") shown as \xNN.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 32 || c == 127) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      out += code;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

void PrintFields(const char* title, const std::string& list, const std::vector<std::string>& names,
                 int tokenField) {
  if (list.empty()) {
    std::printf("%s: none\n", title);
    return;
  }
  std::printf("%s (delimiter %s):\n", title, Printable(list.substr(0, 1)).c_str());
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string value = GetField(list, static_cast<int>(i), "");
    if (static_cast<int>(i) == tokenField) {
      std::printf("  %-20s %s (stored: %s)\n", names[i].c_str(),
                  Printable(UnscrambleToken(value)).c_str(), value.c_str());
    } else {
      std::printf("  %-20s %s\n", names[i].c_str(), Printable(value).c_str());
    }
  }
}

void PrintLangTexts(const std::string& langTexts) {
  const int sections = FieldCount(langTexts);
  std::printf("LangTexts: %d section(s)\n", sections);
  for (int i = 0; i < sections; ++i) {
    const std::string section = GetField(langTexts, i, "");
    const int fields = FieldCount(section);
    std::printf("  [%s] (delimiter %s)\n", Printable(GetField(section, 0, "")).c_str(),
                Printable(section.substr(0, 1)).c_str());
    for (int f = 1; f < fields; ++f)
      std::printf("    %s\n", Printable(GetField(section, f, "")).c_str());
  }
}

void PrintDisk(size_t number, const TDiskCheck& disk) {
  const PackageTrailer& t = disk.Trailer;
  std::printf("Disk %zu: %s\n", number, disk.Path.c_str());
  std::printf("  size %" PRId64 " bytes, PackageEnd %d, TrailerLength %d\n", disk.PhysicalSize,
              static_cast<int>(disk.PackageEnd), static_cast<int>(t.TrailerLength));
  std::printf("  format byte %u, HeaderBlockCount %u, DataOffset %d, FilesCount %d\n", t.FormatByte,
              t.HeaderBlockCount, static_cast<int>(t.DataOffset), static_cast<int>(t.FilesCount));
  std::printf("  magic 0x%08X (%s)\n", static_cast<unsigned>(t.PackageMagic),
              disk.HasMagic ? "ok" : "WRONG");
  std::printf("  checksum expected %u, computed %u: %s\n", static_cast<unsigned>(t.ExpectedCrc),
              static_cast<unsigned>(disk.Crc), disk.CrcMatches ? "matches" : "MISMATCH");
  std::printf(
      "  PackageFlags 0x%02X (AlwaysShowTempNotice %d, next disk %d, delta %d), IsWebSetup %u, "
      "AskBeforeDownload %u, MakeAutoUpdateProg %u, ThisIs_AutoUpdateProg %u\n",
      t.PackageFlags, (t.PackageFlags & kFlagAlwaysShowTempNotice) ? 1 : 0,
      (t.PackageFlags & kFlagHasNextDisk) ? 1 : 0, (t.PackageFlags & kFlagDeltaPackage) ? 1 : 0,
      t.IsWebSetup, t.AskBeforeDownload, t.MakeAutoUpdateProg, t.ThisIs_AutoUpdateProg);
  std::printf("  PackageVersion %d%s\n", static_cast<int>(t.PackageVersion),
              t.PackageVersion == 0 ? " (none recorded)" : "");
  std::printf("  SpaceTable");
  for (int i = 0; i < 9; ++i) std::printf(" %u", static_cast<unsigned>(t.SpaceTable[i]));
  std::printf("\n");
}

// Runs a patch through the launcher's decoder over an old file of the
// declared size: what it reads is zeros, what it writes is only counted.
// Everything but the old file's bytes and the hashes is checked. Returns the
// decoder's reason, empty when the patch is whole.
class TPatchProbe : public TPatchTarget {
 public:
  bool Begin(const TPatchHeader&) override { return true; }
  bool ReadOld(uint64_t, uint8_t* data, size_t count) override {
    std::memset(data, 0, count);
    return true;
  }
  bool Write(const uint8_t*, size_t) override { return true; }
};

std::string CheckPatch(const std::string& content, TPatchHeader* header = nullptr) {
  TPatchProbe probe;
  TPatchDecoder decoder(probe);
  decoder.Feed(reinterpret_cast<const uint8_t*>(content.data()), content.size());
  if (header) *header = decoder.Header();
  return decoder.Finish() == TPatchState::Done ? std::string() : decoder.Error();
}

// "[patch 1000 -> 1200 bytes]", or what is wrong with the patch.
std::string PatchText(const std::string& content) {
  TPatchHeader header;
  const std::string error = CheckPatch(content, &header);
  if (content.size() < kPatchHeaderSize) return "[patch, DAMAGED: " + error + "]";
  return "[patch " + std::to_string(header.OldSize) + " -> " + std::to_string(header.NewSize) +
         " bytes" + (error.empty() ? "" : ", DAMAGED: " + error) + "]";
}

int List(const std::string& package) {
  TPackageReport report;
  std::vector<std::string> lines;
  const std::string error = WalkPackage(package, report, [&](const TPackEntry& entry) {
    std::string line =
        "  " + std::to_string(entry.Disk) + "  " + std::to_string(entry.StoredSize) + "  ";
    if (!entry.Error.empty()) {
      line += "DAMAGED (" + entry.Error + ")";
    } else if (entry.Header.empty()) {
      line += "(no header, skipped)";
    } else {
      line += std::to_string(entry.Content.size()) + "  " + DosTimeText(entry.DosDateTime) + "  " +
              entry.Name;
      if (!entry.MainProgram.empty()) line += "  [main program: " + entry.MainProgram + "]";
      if (entry.IsPatch) line += "  " + PatchText(entry.Content);
    }
    lines.push_back(Printable(line));
    return std::string();
  });
  for (size_t i = 0; i < report.Disks.size(); ++i) PrintDisk(i + 1, report.Disks[i]);
  if (!report.Disks.empty() && (report.Disks[0].Trailer.PackageFlags & kFlagDeltaPackage)) {
    std::printf("Delta package: patch entries rebuild files of the installed release\n");
  }
  PrintLangTexts(report.LangTexts);
  PrintFields(
      "InfoList", report.InfoList,
      {"UpdateLocation", "UpdateInfoName", "AutoUpdateProgName", "UpdateToken", "HiddenExtract"},
      3);
  std::printf("Success by: %s\n",
              GetField(report.InfoList, kSuccessByField, "") == kSuccessByExitCode
                  ? kSuccessByExitCode
                  : kSuccessByHandShake);
  PrintFields("WebList", report.WebList,
              {"WebFolder", "WebSetupName", "WebAlwaysDownload", "WebToken", "WebSetupSize"}, 3);
  std::printf("Entries: %" PRId64 " (disk, stored bytes, size, date, name)\n", report.EntryCount);
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  if (!report.MissingDisk.empty())
    std::printf("Missing disk file: %s\n", report.MissingDisk.c_str());
  if (!error.empty()) {
    std::fprintf(stderr, "orvane-pack: %s\n", error.c_str());
    return kExitBad;
  }
  return kExitOk;
}

// Progress through a package being read: the bytes of the disks walked so
// far and of the current disk up to the end of `entry`; a file counts
// with its first entry (the pieces of one file follow each other).
class TWalkProgress {
 public:
  TWalkProgress(bool quiet, const TPackageReport& report)
      : line_(!quiet && OutputIsTerminal(), stderr), report_(report) {}

  void Entry(const TPackEntry& entry) {
    const std::string name = UpperCase(entry.Name);
    if (figures_.FilesDone == 0 || name != lastName_) ++figures_.FilesDone;
    lastName_ = name;
    figures_.BytesTotal = 0;
    figures_.BytesDone = 0;
    for (size_t i = 0; i < report_.Disks.size(); ++i) {
      figures_.BytesTotal += report_.Disks[i].PhysicalSize;
      if (static_cast<int>(i) + 1 < entry.Disk) figures_.BytesDone += report_.Disks[i].PhysicalSize;
    }
    figures_.BytesDone += entry.BlockOffset + 4 + entry.StoredSize;
    if (!report_.Disks.empty()) figures_.FilesTotal = report_.Disks[0].Trailer.FilesCount;
    line_.Update(figures_);
  }
  void Finish() { line_.Finish(figures_); }

 private:
  TProgressLine line_;
  const TPackageReport& report_;
  TProgressFigures figures_;
  std::string lastName_;
};

int Verify(const std::string& package, bool quiet) {
  TPackageReport report;
  int damaged = 0;
  int64_t patches = 0;
  TWalkProgress progress(quiet, report);
  const std::string error = WalkPackage(package, report, [&](const TPackEntry& entry) {
    progress.Entry(entry);
    if (!entry.Error.empty()) {
      ++damaged;
      std::printf("entry at offset %" PRId64 " of disk %d does not inflate: %s\n",
                  entry.BlockOffset, entry.Disk, entry.Error.c_str());
    } else if (entry.IsPatch) {
      ++patches;
      const std::string why = CheckPatch(entry.Content);
      if (!why.empty()) {
        ++damaged;
        std::printf("the patch of %s (offset %" PRId64 " of disk %d) is damaged: %s\n",
                    Printable(entry.Name).c_str(), entry.BlockOffset, entry.Disk, why.c_str());
      }
    }
    return std::string();
  });
  progress.Finish();
  bool good = error.empty() && damaged == 0 && report.MissingDisk.empty();
  for (const TDiskCheck& disk : report.Disks) {
    if (!disk.HasMagic) std::printf("%s: wrong magic\n", disk.Path.c_str());
    if (!disk.CrcMatches) {
      std::printf("%s: bad checksum (expected %u, computed %u)\n", disk.Path.c_str(),
                  static_cast<unsigned>(disk.Trailer.ExpectedCrc), static_cast<unsigned>(disk.Crc));
    }
    good = good && disk.HasMagic && disk.CrcMatches;
  }
  if (!report.MissingDisk.empty())
    std::printf("missing disk file: %s\n", report.MissingDisk.c_str());
  if (!error.empty()) std::printf("%s\n", error.c_str());
  if (!good) return kExitBad;
  std::printf("OK: %zu disk file(s), %" PRId64 " entries", report.Disks.size(), report.EntryCount);
  const bool delta = report.Disks[0].Trailer.PackageFlags & kFlagDeltaPackage;
  std::printf(delta ? ", delta package with %" PRId64 " patch(es)\n" : "\n", patches);
  return kExitOk;
}

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

int Extract(const std::string& package, const std::string& folder, bool quiet) {
  if (!CreateFolderTree(folder)) {
    std::fprintf(stderr, "orvane-pack: cannot create %s\n", folder.c_str());
    return kExitBad;
  }
  TPackageReport report;
  std::map<std::string, bool> started;
  int refused = 0;
  int64_t written = 0;
  TWalkProgress progress(quiet, report);
  const std::string error =
      WalkPackage(package, report, [&](const TPackEntry& entry) -> std::string {
        progress.Entry(entry);
        // As the launcher does: nothing is read from a disk whose checksum fails.
        const TDiskCheck& disk = report.Disks[static_cast<size_t>(entry.Disk) - 1];
        if (!disk.CrcMatches) return "bad checksum in " + disk.Path + "; extraction stopped";
        if (!entry.Error.empty())
          return "an entry of " + disk.Path + " does not inflate: " + entry.Error;
        if (entry.Header.empty()) return std::string();
        // The launcher's own rule: what it would refuse is refused here too.
        if (entry.Name.empty() || !IsSafeEntryName(entry.Name)) {
          ++refused;
          std::fprintf(stderr, "orvane-pack: refused entry name \"%s\"\n",
                       Printable(entry.Name).c_str());
          return std::string();
        }
        const std::string native = NativeRelativePath(entry.Name);
        const std::string path = folder + "/" + native;
        const size_t slash = path.find_last_of("/\\");
        if (!CreateFolderTree(path.substr(0, slash))) return "cannot create the folder of " + path;
        // Entries of one name continue one file, as the launcher appends them.
        const bool append = started[UpperCase(entry.Name)];
        std::unique_ptr<std::FILE, TFileCloser> file(
            std::fopen(path.c_str(), append ? "ab" : "wb"));
        if (!file || std::fwrite(entry.Content.data(), 1, entry.Content.size(), file.get()) !=
                         entry.Content.size()) {
          return "cannot write " + path;
        }
        if (std::fclose(file.release()) != 0) return "cannot write " + path;
        started[UpperCase(entry.Name)] = true;
        written += static_cast<int64_t>(entry.Content.size());
        return std::string();
      });
  progress.Finish();
  if (!report.MissingDisk.empty())
    std::fprintf(stderr, "orvane-pack: missing disk file %s\n", report.MissingDisk.c_str());
  if (!error.empty()) std::fprintf(stderr, "orvane-pack: %s\n", error.c_str());
  std::printf("%zu file(s), %" PRId64 " bytes written to %s", started.size(), written,
              folder.c_str());
  std::printf(refused ? ", %d entries refused\n" : "\n", refused);
  return error.empty() && refused == 0 && report.MissingDisk.empty() ? kExitOk : kExitBad;
}

#ifdef _WIN32
constexpr const char* kLauncherShareNote = "";
#else
constexpr const char* kLauncherShareNote = " or in ../share/orvane/ from it";
#endif

// The first launcher image of the installed ones that is there; empty when
// none is.
std::string InstalledLauncher() {
  for (const std::string& path : InstalledLauncherPaths()) {
    int64_t size = 0;
    uint32_t when = 0;
    if (SourceFileStat(path, size, when)) return path;
  }
  return std::string();
}

int Build(const std::vector<std::string>& args) {
  TBuildOptions options;
  std::string error = ParseBuildOptions(args, options);
  if (!error.empty()) {
    std::fprintf(stderr, "orvane-pack: %s\n", error.c_str());
    return kExitUsage;
  }
  const auto output = options.Values.find("output");
  if (output == options.Values.end() || output->second.empty()) {
    std::fprintf(stderr, "orvane-pack: no package to write: give --output\n");
    return kExitUsage;
  }
  if (options.Values["stub"].empty()) {
    options.Values["stub"] = InstalledLauncher();
    if (options.Values["stub"].empty()) {
      std::fprintf(stderr,
                   "orvane-pack: no launcher image: give --stub (none is installed beside "
                   "orvane-pack%s)\n",
                   kLauncherShareNote);
      return kExitUsage;
    }
    std::printf("Launcher: %s (installed with orvane-pack; --stub names another)\n",
                options.Values["stub"].c_str());
  }
  TPackageDescription description;
  error = DescribePackage(options, description);
  const auto quiet = options.Values.find("quiet");
  TProgressLine line(!(quiet != options.Values.end() && quiet->second == "1") && OutputIsTerminal(),
                     stderr);
  TProgressFigures figures;
  description.Progress = [&](const TPackProgress& done) {
    figures.FilesDone = done.FilesDone;
    figures.FilesTotal = done.FilesTotal;
    figures.BytesDone = done.BytesDone;
    figures.BytesTotal = done.BytesTotal;
    line.Update(figures);
  };
  TPackResult result;
  if (error.empty()) error = WritePackage(description, output->second, &result);
  line.Finish(figures);
  if (!error.empty()) {
    std::fprintf(stderr, "orvane-pack: %s\n", error.c_str());
    return kExitBad;
  }
  std::printf("%d file(s), %" PRId64 " bytes in %" PRId64 " entries -> %" PRId64
              " bytes in %zu disk file(s)\n",
              static_cast<int>(result.FilesCount), result.InputBytes, result.EntryCount,
              result.OutputBytes, result.DiskPaths.size());
  for (const std::string& path : result.DiskPaths) std::printf("  %s\n", path.c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(UsageText(), stderr);
    return kExitUsage;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(UsageText(), stdout);
    std::fputs(PublishUsageText(), stdout);
    return kExitOk;
  }
  if (command == "--version" || command == "version") {
    std::printf("orvane-pack %s\n", ORVANE_VERSION);
    return kExitOk;
  }
  if (command == "build") return Build(std::vector<std::string>(args.begin() + 1, args.end()));
  if (command == "info") return InfoCommand(std::vector<std::string>(args.begin() + 1, args.end()));
  if (command == "settings") {
    return SettingsCommand(std::vector<std::string>(args.begin() + 1, args.end()));
  }
  if (command == "list" && args.size() == 2) return List(args[1]);
  if (command == "verify" || command == "extract") {
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
    const std::string error = ParseOptionArgs(
        std::vector<std::string>(args.begin() + 1, args.end()),
        [](const std::string& name) {
          return name == "quiet" ? TOptionKind::kFlag : TOptionKind::kUnknown;
        },
        values, &positional);
    const bool quiet = values["quiet"] == "1";
    if (error.empty() && command == "verify" && positional.size() == 1) {
      return Verify(positional[0], quiet);
    }
    if (error.empty() && command == "extract" && positional.size() == 2) {
      return Extract(positional[0], positional[1], quiet);
    }
  }
  std::fprintf(stderr, "orvane-pack: unknown command or wrong arguments: %s\n\n%s", command.c_str(),
               UsageText());
  return kExitUsage;
}
