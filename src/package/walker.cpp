#include "package/walker.h"

#include <algorithm>
#include <cstring>

#include "util/file_io.h"
#include "util/text.h"

using namespace std::string_view_literals;

namespace {

// The checksum reads in large pieces: one read per piece instead of one per
// 4096 bytes; the sum does not depend on how the file is read.
constexpr size_t kChecksumPiece = 256 << 10;

// Bytes 0..257 decide IsImageFile.
constexpr size_t kImageHeadSize = kPeSignatureOffset + 2;

// The trailer's ThisIs_AutoUpdateProg byte, counted from the trailer's end.
constexpr size_t kAgentFlagFromEnd = kTrailerSize - offsetof(PackageTrailer, ThisIs_AutoUpdateProg);
static_assert(kAgentFlagFromEnd == 5, "the agent flag lies 5 bytes before the end");

int32_t Int32Of(const uint8_t* bytes) {
  return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                              uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
}

// Reads until `count` bytes are in or a read gives nothing (the end of the
// file or a failure); how many came. A source may return fewer bytes than
// asked before its end.
size_t ReadUpTo(TByteSource& file, int64_t offset, void* data, size_t count) {
  size_t got = 0;
  while (got < count) {
    const size_t n = file.ReadAt(offset + static_cast<int64_t>(got),
                                 static_cast<uint8_t*>(data) + got, count - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool ReadExactlyAt(TByteSource& file, int64_t offset, void* data, size_t count) {
  return ReadUpTo(file, offset, data, count) == count;
}

bool ReadInt32At(TByteSource& file, int64_t offset, int32_t& value) {
  uint8_t bytes[4];
  if (!ReadExactlyAt(file, offset, bytes, 4)) return false;
  value = Int32Of(bytes);
  return true;
}

// Reads `count` bytes at `offset` in pieces of `buffer`'s kBlockPieceSize
// and hands each to `consume`; false when the file ends or a read fails
// first (what was read is handed on).
template <typename Consume>
bool ReadPieces(TByteSource& file, int64_t offset, int64_t count, uint8_t* buffer,
                Consume consume) {
  while (count > 0) {
    const size_t wanted = static_cast<size_t>(std::min<int64_t>(count, kBlockPieceSize));
    const size_t got = file.ReadAt(offset, buffer, wanted);
    if (got == 0) return false;
    consume(buffer, got);
    offset += static_cast<int64_t>(got);
    count -= static_cast<int64_t>(got);
  }
  return true;
}

}  // namespace

size_t TMemorySource::ReadAt(int64_t offset, void* data, size_t count) {
  if (offset < 0 || offset >= Size()) return 0;
  const size_t n = std::min(count, bytes_.size() - static_cast<size_t>(offset));
  std::memcpy(data, bytes_.data() + offset, n);
  return n;
}

int64_t TReadFileSource::Size() { return file_.Size(); }

size_t TReadFileSource::ReadAt(int64_t offset, void* data, size_t count) {
  if (!file_.Seek(offset)) return 0;
  return file_.Read(data, count);
}

int32_t ReadPackageEnd(TByteSource& file) {
  const int64_t size = file.Size();
  if (size < static_cast<int64_t>(kImageHeadSize)) return 0;
  std::string head(kImageHeadSize, '\0');
  head.resize(ReadUpTo(file, 0, &head[0], head.size()));
  if (!IsImageFile(head)) return 0;
  return Int32Of(reinterpret_cast<const uint8_t*>(head.data()) + kPackageEndOffset);
}

int64_t BlockStreamEnd(TByteSource& file) {
  const int64_t size = std::max<int64_t>(file.Size(), 0);
  const int32_t packageEnd = ReadPackageEnd(file);
  if (packageEnd <= 0 || packageEnd > size) return size;
  return packageEnd;
}

bool ReadTrailer(TByteSource& file, PackageTrailer& record) {
  const int64_t size = file.Size();
  if (size < 0) return false;
  int32_t length = 0;
  ReadInt32At(file, size - 4, length);
  int64_t start = size - length;

  const int32_t packageEnd = ReadPackageEnd(file);
  if (packageEnd > 0) {
    // Bytes appended behind the package are skipped: the trailer ends at
    // PackageEnd, not at the physical end.
    length = 0;
    ReadInt32At(file, int64_t{packageEnd} - 4, length);
    start = int64_t{packageEnd} - length;
  }

  const int32_t trailerLength = length < kTrailerSize ? length : kTrailerSize;
  // A damaged length may be as low as INT32_MIN: it reads no trailer bytes.
  const int32_t count = trailerLength > 4 ? trailerLength - 4 : 0;
  if (count > 0 && start >= 0) {
    uint8_t bytes[kTrailerSize] = {};
    std::memcpy(&record, bytes, ReadUpTo(file, start, bytes, static_cast<size_t>(count)));
  }
  record.TrailerLength = trailerLength;
  if (record.HeaderBlockCount == 0) record.HeaderBlockCount = 2;
  return true;
}

TChecksum PackageChecksum(TByteSource& file, int32_t trailerLength) {
  TChecksum result;
  const int64_t size = file.Size();
  if (size < 0) return result;
  const CrcPlan plan = PlanCrc(size, ReadPackageEnd(file), trailerLength);
  result.Value = static_cast<uint32_t>(plan.BonusCount) * 1234u;
  int64_t words = plan.WordsToSum;
  int64_t offset = plan.StartOffset;
  std::unique_ptr<uint8_t[]> buffer(words > 0 ? new uint8_t[kChecksumPiece] : nullptr);
  while (words > 0) {
    const size_t wanted = static_cast<size_t>(std::min<int64_t>(words * 4, kChecksumPiece));
    // The piece is filled up, so words never straddle two reads.
    const size_t got = ReadUpTo(file, offset, buffer.get(), wanted);
    if (got < 4) return result;
    result.Value += SumWords(buffer.get(), got / 4);
    words -= static_cast<int64_t>(got / 4);
    offset += static_cast<int64_t>(got / 4 * 4);
  }
  result.Complete = true;
  return result;
}

uint32_t CrcOfImage(const std::string& file, int32_t trailerLength) {
  TMemorySource source(file);
  return PackageChecksum(source, trailerLength).Value;
}

TPackageWalker::TPackageWalker(TWalkOptions options)
    : options_(options), buffer_(new uint8_t[kBlockPieceSize]) {}

void TPackageWalker::ReportDamage(const std::string& diskPath, int diskNumber, int entryNumber,
                                  int64_t offset, std::initializer_list<std::string_view> reason) {
  damage_.DiskNumber = diskNumber;
  damage_.EntryNumber = entryNumber;
  damage_.Offset = offset;
  damage_.Reason = Concat(reason);
  damage_.Message = DamagedEntryText(diskPath, entryNumber, offset, damage_.Reason);
}

TDiskWalk TPackageWalker::WalkDisk(TByteSource& file, const PackageTrailer& trailer,
                                   const std::string& diskPath, int diskNumber,
                                   TPackageVisitor& visitor) {
  const int64_t packageEnd = BlockStreamEnd(file);
  if (trailer.PackageMagic != kPackageMagic) return TDiskWalk::NoMagic;
  if (trailer.DataOffset < 0 || trailer.DataOffset > packageEnd) {
    ReportDamage(diskPath, diskNumber, 0, trailer.DataOffset, {"Bad data offset"sv});
    return TDiskWalk::Damaged;
  }
  visitor.OnBlocksStart();
  const int headerBlocks = trailer.HeaderBlockCount;
  int64_t position = trailer.DataOffset;
  while (MoreBlocksAt(position, packageEnd)) {
    int32_t length = 0;
    if (!ReadInt32At(file, position, length)) return TDiskWalk::ReadFailed;
    const int entryNumber = blockCounter_ + 1 - headerBlocks;
    if (!BlockFits(position, length, packageEnd)) {
      ReportDamage(diskPath, diskNumber, entryNumber > 0 ? entryNumber : 0, position,
                   {"Block length "sv, Decimal(length), " out of range"sv});
      return TDiskWalk::Damaged;
    }
    const int64_t blockStart = position;
    position += int64_t{length} + 4;
    ++blockCounter_;
    if (blockCounter_ == headerBlocks) headerEnd_ = position;
    if (blockCounter_ <= headerBlocks) {
      const int index = blockCounter_ - 1;
      ReadPieces(file, blockStart + 4, length, buffer_.get(),
                 [&](const uint8_t* data, size_t size) { visitor.OnListPiece(index, data, size); });
      continue;
    }
    ++entryCount_;
    TEntryPlace place;
    place.DiskNumber = diskNumber;
    place.EntryNumber = entryNumber;
    place.BlockOffset = blockStart;
    place.StoredSize = length;
    TEntryInflater inflater(options_.InflateOutputSize);
    TEntrySink& sink = visitor.OnEntryStart(place);
    // A read that ends early leaves the stream short: Finish reports it.
    ReadPieces(file, blockStart + 4, length, buffer_.get(),
               [&](const uint8_t* data, size_t size) { inflater.Feed(data, size, sink); });
    const bool failed = inflater.Finish() == TEntryInflater::TState::Failed;
    if (failed && options_.StopAtBadEntry) {
      ReportDamage(diskPath, diskNumber, entryNumber, blockStart,
                   {"zlib: "sv, inflater.ErrorText()});
      return TDiskWalk::Damaged;
    }
    if (!visitor.OnEntryEnd(place, inflater)) return TDiskWalk::Stopped;
  }
  return TDiskWalk::Done;
}

bool HasNextDisk(const PackageTrailer& trailer) {
  return (trailer.PackageFlags & kFlagHasNextDisk) != 0;
}

bool MarkAsAgentCopy(std::string& image) {
  if (image.size() <= kAgentFlagFromEnd) return false;
  image[image.size() - kAgentFlagFromEnd] = 1;
  return true;
}

std::string AgentCopyOf(TByteSource& package, int64_t headerEnd, PackageTrailer trailer) {
  // The copy carries no entries: its trailer follows the lists directly,
  // and PackageEnd, which would point past them, is cleared. Without the
  // whole image header there is no PackageEnd to clear and no copy.
  const size_t packageEndField = kPackageEndOffset;
  if (headerEnd < static_cast<int64_t>(packageEndField + 4)) return std::string();
  std::string copy(static_cast<size_t>(headerEnd), '\0');
  if (!ReadExactlyAt(package, 0, &copy[0], copy.size())) return std::string();
  std::memset(&copy[packageEndField], 0, 4);
  trailer.TrailerLength = kTrailerSize;
  trailer.PackageFlags &= ~kFlagDeltaPackage;
  copy.append(reinterpret_cast<const char*>(&trailer), sizeof trailer);
  MarkAsAgentCopy(copy);
  return copy;
}
