// The packager: turns a launcher image and a set of files into a package
// (or the disk files of a spanned package) that the launcher extracts.
//
// Layout written, per disk file:
//   disk 1:  launcher image (PackageEnd at offset 252 set to the disk file's
//            length), LangTexts, InfoList, [WebList], entries, trailer.
//   disk n:  the 8-byte disk mark "ORVDISK" + n (one byte), entries, trailer.
//            A later disk carries no image, so it never passes IsImageFile:
//            its PackageEnd is never consulted, its trailer is found at the
//            physical end and its checksum covers it from offset 0.
//            DataOffset points at its first entry (offset 8).
// Each disk file has its own ExpectedCrc; bit 1 of PackageFlags is set in
// every disk file but the last. Disk n of "setup.exe" is "setup.exe.00n".
//
// An entry is a zlib stream of "|name|dostime|", 0x00 and the file's bytes,
// written by libdeflate or by zlib (TCompressor): the launcher's inflate
// reads either. The main program's entry comes first, its name followed by
// "*" and its arguments. A file larger than the piece size is stored as
// several entries of the same name, which the launcher appends to one file
// in order: this bounds the memory both sides need for one entry and lets
// the pieces of one big file compress on several cores. A spanned package
// also uses pieces small enough that a disk is never wasted by more than
// about a sixteenth.
// A delta package (kFlagDeltaPackage) carries some files as patches
// against the installed release (package/patch.h): header field 2 is
// "patch", and a patch is always one entry, whatever the file's size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Default largest input of one entry.
constexpr int64_t kDefaultPieceSize = 16 * 1024 * 1024;
// Marks the start of a later disk file (followed by the disk number byte).
constexpr char kDiskMark[] = "ORVDISK";
constexpr int kDiskMarkSize = 8;

// What compresses the entries. libdeflate gives smaller streams than zlib
// at the same speed; zlib level 9 is what earlier packers wrote.
enum class TCompressor { kLibdeflate, kZlib };
// Levels run from 1 (fastest, largest) to the compressor's largest
// (smallest, slowest): 12 for libdeflate, 9 for zlib.
constexpr int kLargestLibdeflateLevel = 12;
constexpr int kLargestZlibLevel = 9;
// The level a build uses when none is given.
constexpr int kDefaultLibdeflateLevel = 10;
constexpr int kDefaultZlibLevel = 9;

struct TPackFile {
  // Name relative to the target folder, parts separated by "\".
  std::string Name;
  // Read from this file when not empty; otherwise `Content` is the file.
  std::string SourcePath;
  std::string Content;
  // Packed DOS date/time; 0 takes a source file's own time (content-only
  // files keep 0, which leaves the extracted file's date alone).
  uint32_t DosDateTime = 0;
  // When not empty: the file's older release, and the file travels as a
  // patch against it. Files larger than a patch can describe travel whole.
  std::string DeltaFromPath;
};

struct TLangSection {
  std::string Language;                                    // e.g. "English"
  std::vector<std::pair<std::string, std::string>> Texts;  // id, text
};

// How far a build has come: whole files and input bytes compressed and
// written so far, of all there are.
struct TPackProgress {
  int64_t FilesDone = 0;
  int64_t FilesTotal = 0;
  int64_t BytesDone = 0;
  int64_t BytesTotal = 0;
};

struct TPackageDescription {
  // The launcher image: `StubImage` when not empty, else read from
  // `StubPath`. It must carry "MZ" at 0 and "PE" at 256.
  std::string StubImage;
  std::string StubPath;

  std::vector<TPackFile> Files;
  // "Setup.exe" or "Setup.exe* /S": a file of the package, optionally with
  // "*" and the arguments it is started with. Empty: no main program.
  std::string MainProgram;

  std::vector<TLangSection> LangSections;

  // InfoList.
  std::string UpdateLocation;
  std::string UpdateInfoName;
  std::string AutoUpdateProgName;
  std::string UpdateToken;  // plain; stored scrambled
  bool HiddenExtract = false;
  // Written as a sixth field only when set, so that hand-shake packages
  // stay as they always were.
  bool SuccessByExitCode = false;

  // WebList, written only when `HasWebList`.
  bool HasWebList = false;
  std::string WebFolder;
  std::string WebSetupName;
  bool WebAlwaysDownload = false;
  std::string WebToken;      // plain; stored scrambled
  std::string WebSetupSize;  // decimal bytes

  bool AlwaysShowTempNotice = false;
  bool IsWebSetup = false;
  bool AskBeforeDownload = false;
  bool MakeAutoUpdateProg = false;
  bool ThisIs_AutoUpdateProg = false;
  // The publisher's version of this package, 0 for none; an installation
  // that pins publisher keys installs only the version its info file offers.
  int32_t PackageVersion = 0;
  // Marks the package as a delta package (kFlagDeltaPackage).
  bool DeltaPackage = false;

  // Largest disk file in bytes; 0 writes one file.
  int64_t DiskSize = 0;
  // Compressing threads; 0 uses every core. The output does not depend on it.
  int Threads = 0;
  TCompressor Compressor = TCompressor::kLibdeflate;
  // 1 to the compressor's largest level; 0 takes its default level.
  int Level = 0;
  int64_t PieceSize = kDefaultPieceSize;
  // Called after every entry written, on the calling thread; may be empty.
  std::function<void(const TPackProgress&)> Progress;
};

struct TPackResult {
  std::vector<std::string> DiskPaths;
  int32_t FilesCount = 0;
  int64_t EntryCount = 0;
  int64_t InputBytes = 0;   // total size of the files packed
  int64_t OutputBytes = 0;  // total size of the disk files
};

// Writes the package to `outputPath` (and `outputPath`.002, ... when
// spanned). Returns an error text, empty on success. The disk files are
// written under temporary names and renamed only when all are complete, so
// a failure leaves no file under the output names; disk files of an
// earlier, longer build of the same name are removed on success.
std::string WritePackage(const TPackageDescription& description, const std::string& outputPath,
                         TPackResult* result = nullptr);

// Builds the LangTexts block: 0x02, then every section (its own delimiter,
// the language, "id=text" fields) followed by 0x02. Each section takes the
// first delimiter that occurs in none of its texts. Returns an error text.
std::string BuildLangTexts(const std::vector<TLangSection>& sections, std::string& block);

// A delimited list of `fields`: "|" unless a field holds it, then the first
// other delimiter that none holds. Returns false when none is free.
bool BuildFieldList(const std::vector<std::string>& fields, std::string& list);
