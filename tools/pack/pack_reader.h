// Reading a package back with the launcher's own walker (package/walker.h),
// for the packager's list, verify and extract commands and for tests: every
// disk file's trailer and checksum, the text lists of disk 1, and every
// entry inflated. Unlike the launcher it never shows anything, walks disks
// whose checksum fails, and hands on entries that do not inflate instead of
// stopping at them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/format.h"

struct TDiskCheck {
  std::string Path;
  PackageTrailer Trailer{};  // as ReadTrailer gives it
  int64_t PhysicalSize = 0;
  int32_t PackageEnd = 0;  // read only when the file passes IsImageFile
  uint32_t Crc = 0;        // what GetCrc yields for the file
  bool HasMagic = false;
  bool CrcMatches = false;
};

struct TPackEntry {
  int Disk = 1;
  int64_t BlockOffset = 0;  // file offset of the block's length field
  int64_t StoredSize = 0;   // zlib bytes
  std::string Header;       // up to the first 0x00; empty when there is none
  // As the launcher reads the header (ParseEntryHeader): field 0 without
  // "*" and what follows it, "/" as "\"; the main program when the header
  // marks one, else empty.
  std::string Name;
  std::string MainProgram;
  uint32_t DosDateTime = 0;  // field 1 read as a decimal number (0 if not one)
  bool IsPatch = false;      // field 2 marks the content as a patch
  std::string Content;
  std::string Error;  // zlib's complaint when the entry does not inflate
};

struct TPackageReport {
  std::vector<TDiskCheck> Disks;
  std::string LangTexts;
  std::string InfoList;
  std::string WebList;
  int64_t EntryCount = 0;
  std::string MissingDisk;  // path of a further disk that is not there
};

// Called for every entry in order; a non-empty return stops the walk and
// becomes WalkPackage's result.
using TEntryVisitor = std::function<std::string(const TPackEntry&)>;

// Walks disk 1 at `packagePath` and every further disk its trailers
// announce. Returns an error text for a missing disk 1, a damaged block
// stream or a stop requested by `visitor`; checksum mismatches, a wrong
// magic and entries that do not inflate are reported in `report` and the
// entries, not as errors.
std::string WalkPackage(const std::string& packagePath, TPackageReport& report,
                        const TEntryVisitor& visitor);
