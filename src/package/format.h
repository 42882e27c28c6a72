// Byte layout of a package: the trailer record, the fixed offsets in the
// launcher image, the publisher tokens and the arithmetic of the package
// checksum. Everything here is pure logic, shared by the launcher and the
// packager, and builds on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr int kTrailerSize = 74;
// int32 inside the DOS header: offset just past the trailer (0 = not set).
constexpr int kPackageEndOffset = 252;
// Where a launcher image carries its "PE" signature.
constexpr int kPeSignatureOffset = 256;
// The checksum leaves out the image headers when PackageEnd is set.
constexpr int kCrcSkippedHeader = 512;
// GetCrc reads the file in pieces of this size; the 1234 bonus is per piece.
constexpr int kCrcPieceSize = 4096;

// InfoList field 5, written only for a package whose main program is an
// ordinary installer: its exit code tells success. Packages without the
// field use the hand-shake (the run's atom), as every older package does.
constexpr int kSuccessByField = 5;
inline constexpr char kSuccessByExitCode[] = "exit-code";
inline constexpr char kSuccessByHandShake[] = "hand-shake";

// PackageFlags bits.
constexpr uint8_t kFlagAlwaysShowTempNotice = 0x01;
constexpr uint8_t kFlagHasNextDisk = 0x02;
// A delta package: some entries are patches against the files of the
// installed release and need them to be rebuilt (see package/patch.h).
constexpr uint8_t kFlagDeltaPackage = 0x04;

#pragma pack(push, 1)
struct PackageTrailer {
  uint8_t FormatByte;        // written as 1, never interpreted
  uint8_t HeaderBlockCount;  // 2, or 3 with a WebList; 0 reads as 2
  uint8_t Padding[2];
  int32_t DataOffset;  // file offset of the first block
  int32_t FilesCount;
  uint32_t PackageMagic;  // kPackageMagic
  uint32_t ExpectedCrc;
  // The publisher's own version number of the package, 0 when none is
  // recorded. It lies inside what an Authenticode signature covers, so a
  // pinned installation can tell an older signed release from the one the
  // info file offers.
  int32_t PackageVersion;
  uint8_t Reserved1[4];
  uint32_t SpaceTable[9];  // exact total, then rounded to 512 .. 65536 clusters
  uint8_t Reserved2;
  uint8_t PackageFlags;
  uint8_t IsWebSetup;
  uint8_t AskBeforeDownload;
  uint8_t MakeAutoUpdateProg;
  uint8_t ThisIs_AutoUpdateProg;  // 5 bytes before the end of the trailer
  int32_t TrailerLength;          // 74
};
#pragma pack(pop)
static_assert(sizeof(PackageTrailer) == kTrailerSize, "trailer is 74 bytes");

// True when the first bytes of a file are "MZ" and bytes 256-257 are "PE".
// `head` holds at least the first 258 bytes of the file when it has them.
bool IsImageFile(const std::string& head);

// Turns a stored token field into the token that is compared. An invalid
// field yields a random decimal text, so two invalid tokens practically
// never compare equal.
std::string UnscrambleToken(const std::string& stored);

// Stores `token` in the scrambled form that UnscrambleToken reverses: 48 or
// more lowercase letters. Deterministic for a given token, so that packages
// built twice from the same input are identical.
std::string ScrambleToken(const std::string& token);

// What GetCrc sums for a file: it reads from `StartOffset` to the physical
// end in 4096-byte pieces, sums the first `WordsToSum` little-endian words
// and adds 1234 `BonusCount` times (modulo 2^32).
struct CrcPlan {
  int64_t StartOffset = 0;
  int64_t WordsToSum = 0;
  int64_t BonusCount = 0;
};

// `physicalSize`: the file's length; `packageEnd`: PackageEnd when the file
// passes IsImageFile, else 0; `trailerLength`: the TrailerLength read from
// the file's trailer.
CrcPlan PlanCrc(int64_t physicalSize, int32_t packageEnd, int32_t trailerLength);

// Sum of `count` little-endian 32-bit words at `data`, modulo 2^32.
uint32_t SumWords(const uint8_t* data, size_t count);

// The whole checksum of an in-memory file image, exactly as GetCrc computes
// it from the file.
uint32_t CrcOfImage(const std::string& file, int32_t trailerLength = kTrailerSize);

// Packed DOS date/time (date in the high 16 bits) of a broken-down local time.
uint32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second);
