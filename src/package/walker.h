// The one reader of a package's bytes, shared by the launcher and the
// packager: where the block stream ends (PackageEnd), the trailer, the
// checksum, the walk of the block stream with its bounds checks and
// streaming inflate, the damage it finds, the step to the next disk file
// and the bytes of the agent copy. Pure logic over a small byte source, so
// the same rules run under Windows, in the packager and in the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "package/extract_rules.h"
#include "package/format.h"

class TReadFile;

// The bytes of one package file, read by offset.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Length in bytes, -1 when it cannot be told.
  virtual int64_t Size() = 0;
  // Reads up to `count` bytes at `offset` and returns how many were read:
  // fewer at the end, 0 on failure or for a negative offset.
  virtual size_t ReadAt(int64_t offset, void* data, size_t count) = 0;
};

// Bytes held in memory (the caller keeps them alive).
class TMemorySource : public TByteSource {
 public:
  explicit TMemorySource(const std::string& bytes) : bytes_(bytes) {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t offset, void* data, size_t count) override;

 private:
  const std::string& bytes_;
};

// An open TReadFile (the caller keeps it open).
class TReadFileSource : public TByteSource {
 public:
  explicit TReadFileSource(TReadFile& file) : file_(file) {}
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* data, size_t count) override;

 private:
  TReadFile& file_;
};

// PackageEnd as a launcher image stores it (the offset just past its
// trailer); 0 for a file that does not pass IsImageFile.
int32_t ReadPackageEnd(TByteSource& file);

// Where the block stream of a disk file ends: PackageEnd when it is set and
// lies within the file, else the file's length (0 when that is unknown).
int64_t BlockStreamEnd(TByteSource& file);

// Locates the trailer and reads it into `record` over what the record held:
// through PackageEnd when the file is a launcher image with PackageEnd set,
// else from the physical end. A trailer length beyond 74 is read as 74 and
// stored in TrailerLength; a HeaderBlockCount of 0 becomes 2. Reads never
// go past the end of the file. False when the file's size cannot be told.
bool ReadTrailer(TByteSource& file, PackageTrailer& record);

// The package checksum of a file whose trailer is `trailerLength` bytes
// long. `Complete` is false when a read failed; `Value` then holds the
// words summed up to the failure plus the whole bonus, as the launcher
// has always compared it.
struct TChecksum {
  uint32_t Value = 0;
  bool Complete = false;
};
TChecksum PackageChecksum(TByteSource& file, int32_t trailerLength);

// What stopped a walk because the package itself is broken although its
// disk file passed the checksum: an entry that does not inflate, or a block
// stream that does not fit its file (a negative block length, a block
// running past the package end, a DataOffset outside the file). Empty
// `Message` when nothing was wrong.
struct TDamagedEntry {
  int DiskNumber = 0;   // from 1
  int EntryNumber = 0;  // from 1, counted across disks; 0 for a fault before any entry
  int64_t Offset = 0;   // file offset of the block's length field in its disk file
  // zlib's text for the failing code (with zlib's detail in parentheses),
  // or the fault of the block stream.
  std::string Reason;
  // The text for the error box: disk file, entry, offset and reason.
  std::string Message;
};

// Where one entry's block lies.
struct TEntryPlace {
  int DiskNumber = 1;
  int EntryNumber = 0;      // from 1, counted across disks
  int64_t BlockOffset = 0;  // file offset of the block's length field
  int64_t StoredSize = 0;   // zlib bytes
};

// Receives what a walk finds, in the order of the block stream.
class TPackageVisitor {
 public:
  virtual ~TPackageVisitor() = default;
  // The disk's trailer has the package magic and a DataOffset within the
  // file: its blocks follow.
  virtual void OnBlocksStart() {}
  // The next piece of header block `index` (0 LangTexts, 1 InfoList,
  // 2 WebList), read without holding the block whole.
  virtual void OnListPiece(int index, const uint8_t* data, size_t size) {
    (void)index, (void)data, (void)size;
  }
  // Where the next entry's header and content go; it stays in use until
  // OnEntryEnd.
  virtual TEntrySink& OnEntryStart(const TEntryPlace& place) = 0;
  // The entry's block was read whole; `inflater` tells whether it inflated.
  // False stops the walk.
  virtual bool OnEntryEnd(const TEntryPlace& place, const TEntryInflater& inflater) = 0;
};

enum class TDiskWalk {
  Done,        // the block stream was walked to its end
  NoMagic,     // not a package: nothing walked
  Damaged,     // Damage() says where and why
  Stopped,     // the visitor asked to stop
  ReadFailed,  // a block's length field could not be read
};

struct TWalkOptions {
  // The launcher stops at the first entry that does not inflate and reports
  // it as damage; the packager hands it to the visitor and goes on.
  bool StopAtBadEntry = true;
  // Output buffer of the inflater: what one OnContent call gets at most.
  size_t InflateOutputSize = kBlockPieceSize;
};

// Walks the disk files of one package in order; the entry count and the
// end of the text lists carry over from disk to disk.
class TPackageWalker {
 public:
  explicit TPackageWalker(TWalkOptions options = TWalkOptions());

  // Walks the block stream of disk `diskNumber`, whose trailer is `trailer`
  // (as ReadTrailer gave it); `diskPath` names the disk in the damage text.
  // Every block is checked to lie before the end of the block stream before
  // any of it is read.
  TDiskWalk WalkDisk(TByteSource& file, const PackageTrailer& trailer, const std::string& diskPath,
                     int diskNumber, TPackageVisitor& visitor);

  const TDamagedEntry& Damage() const { return damage_; }
  // Offset behind the last header block of disk 1 (the launcher image and
  // its text lists), 0 until it was walked.
  int64_t HeaderEnd() const { return headerEnd_; }
  int EntryCount() const { return entryCount_; }

 private:
  // `reason` comes in parts, joined here.
  void ReportDamage(const std::string& diskPath, int diskNumber, int entryNumber, int64_t offset,
                    std::initializer_list<std::string_view> reason);

  TWalkOptions options_;
  std::unique_ptr<uint8_t[]> buffer_;
  int blockCounter_ = 0;
  int entryCount_ = 0;
  int64_t headerEnd_ = 0;
  TDamagedEntry damage_;
};

// The trailer announces a further disk file, named by DiskFileName.
bool HasNextDisk(const PackageTrailer& trailer);

// Marks an image that ends with its trailer as the agent copy (the
// auto-update program): sets the trailer's ThisIs_AutoUpdateProg byte, the
// fifth byte from the end. False, and nothing changed, for 5 bytes or fewer.
bool MarkAsAgentCopy(std::string& image);

// The agent copy a package leaves beside the extracted files: its first
// `headerEnd` bytes (launcher image and text lists) with PackageEnd cleared,
// then `trailer` with TrailerLength 74, marked as the agent copy. Empty when
// those bytes cannot be read or do not reach past PackageEnd.
std::string AgentCopyOf(TByteSource& package, int64_t headerEnd, PackageTrailer trailer);
