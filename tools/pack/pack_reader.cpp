#include "pack/pack_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "pack/package_writer.h"
#include "package/package_info.h"
#include "util/file_io.h"
#include "util/text.h"

namespace {

constexpr size_t kCrcReadSize = 1 << 20;

bool ReadExactly(TReadFile& file, int64_t offset, std::string& bytes, size_t count) {
  bytes.assign(count, '\0');
  if (!file.Seek(offset)) return false;
  size_t got = 0;
  while (got < count) {
    const size_t n = file.Read(&bytes[got], count - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

bool ReadInt32(TReadFile& file, int64_t offset, int32_t& value) {
  std::string bytes;
  if (!ReadExactly(file, offset, bytes, 4)) return false;
  std::memcpy(&value, bytes.data(), 4);
  return true;
}

void SplitEntry(TPackEntry& entry) {
  const size_t zero = entry.Content.find('\0');
  if (zero == std::string::npos) {
    entry.Content.clear();
    return;
  }
  entry.Header = entry.Content.substr(0, zero);
  entry.Content.erase(0, zero + 1);
  std::string name = GetField(entry.Header, 0, "");
  const size_t star = name.find('*');
  if (star != std::string::npos) {
    entry.MainProgram = name;
    name.erase(star);
  }
  entry.Name = name;
  entry.DosDateTime = static_cast<uint32_t>(StrToInt64Def(GetField(entry.Header, 1, ""), 0));
}

std::string CheckDisk(const std::string& path, TReadFile& file, TDiskCheck& disk) {
  disk.Path = path;
  if (!file.Open(path)) return "Cannot open " + path;
  disk.PhysicalSize = file.Size();
  if (!ReadTrailer(path, disk.Trailer)) return "Cannot read the trailer of " + path;
  disk.HasMagic = disk.Trailer.PackageMagic == kPackageMagic;
  std::string head;
  const size_t headSize = static_cast<size_t>(std::min<int64_t>(disk.PhysicalSize, kPeSignatureOffset + 2));
  if (ReadExactly(file, 0, head, headSize) && IsImageFile(head)) {
    ReadInt32(file, kPackageEndOffset, disk.PackageEnd);
  }
  if (!FileCrc(path, disk.Trailer.TrailerLength, disk.Crc)) return "Cannot read " + path;
  disk.CrcMatches = disk.Crc == disk.Trailer.ExpectedCrc;
  return std::string();
}

}  // namespace

bool FileCrc(const std::string& path, int32_t trailerLength, uint32_t& crc) {
  TReadFile file;
  if (!file.Open(path)) return false;
  const int64_t size = file.Size();
  if (size < 0) return false;
  std::string head;
  int32_t packageEnd = 0;
  const size_t headSize = static_cast<size_t>(std::min<int64_t>(size, kPeSignatureOffset + 2));
  if (ReadExactly(file, 0, head, headSize) && IsImageFile(head)) ReadInt32(file, kPackageEndOffset, packageEnd);
  const CrcPlan plan = PlanCrc(size, packageEnd, trailerLength);

  crc = static_cast<uint32_t>(plan.BonusCount) * 1234u;
  int64_t words = plan.WordsToSum;
  int64_t offset = plan.StartOffset;
  std::string buffer;
  while (words > 0) {
    const size_t count = static_cast<size_t>(std::min<int64_t>(words, kCrcReadSize / 4));
    if (!ReadExactly(file, offset, buffer, count * 4)) return false;
    crc += SumWords(reinterpret_cast<const uint8_t*>(buffer.data()), count);
    words -= static_cast<int64_t>(count);
    offset += static_cast<int64_t>(count) * 4;
  }
  return true;
}

std::string InflateEntry(const std::string& stored, std::string& content) {
  content.clear();
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return "zlib cannot start";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
  stream.avail_in = static_cast<uInt>(stored.size());
  const size_t step = stored.size() / 256 * 256 + 256;
  int status = Z_OK;
  while (status == Z_OK) {
    const size_t produced = content.size();
    content.resize(produced + step);
    stream.next_out = reinterpret_cast<Bytef*>(&content[produced]);
    stream.avail_out = static_cast<uInt>(step);
    status = inflate(&stream, Z_NO_FLUSH);
    content.resize(produced + (step - stream.avail_out));
    if (status == Z_BUF_ERROR && stream.avail_in == 0) status = Z_DATA_ERROR;
  }
  std::string error;
  if (status != Z_STREAM_END) {
    error = stream.msg ? stream.msg : zError(status);
  } else if (stream.avail_in != 0) {
    error = "bytes after the end of the zlib stream";
  }
  inflateEnd(&stream);
  if (!error.empty()) content.clear();
  return error;
}

std::string WalkPackage(const std::string& packagePath, TPackageReport& report, const TEntryVisitor& visitor) {
  report = TPackageReport();
  if (!FileExists(packagePath)) return "Package not found: " + packagePath;
  int64_t blockCounter = 0;
  int headerBlocks = 2;
  for (int diskNumber = 1;; ++diskNumber) {
    const std::string path = DiskFilePath(packagePath, diskNumber);
    if (diskNumber > 1 && !FileExists(path)) {
      report.MissingDisk = path;
      return std::string();
    }
    TReadFile file;
    report.Disks.push_back(TDiskCheck());
    TDiskCheck& disk = report.Disks.back();
    std::string error = CheckDisk(path, file, disk);
    if (!error.empty()) return error;
    if (diskNumber == 1) headerBlocks = disk.Trailer.HeaderBlockCount;

    if (disk.HasMagic) {
      const int64_t end = disk.PackageEnd > 0 ? disk.PackageEnd : disk.PhysicalSize;
      int64_t position = disk.Trailer.DataOffset;
      std::string* lists[] = {&report.LangTexts, &report.InfoList, &report.WebList};
      while (end - position > kTrailerSize) {
        int32_t length = 0;
        if (!ReadInt32(file, position, length) || length < 0 || position + 4 + length > end) {
          return "Damaged block at offset " + std::to_string(position) + " of " + path;
        }
        std::string bytes;
        if (!ReadExactly(file, position + 4, bytes, static_cast<size_t>(length))) {
          return "Cannot read the block at offset " + std::to_string(position) + " of " + path;
        }
        ++blockCounter;
        if (blockCounter <= headerBlocks) {
          if (blockCounter <= 3) lists[blockCounter - 1]->swap(bytes);
        } else {
          TPackEntry entry;
          entry.Disk = diskNumber;
          entry.BlockOffset = position;
          entry.StoredSize = length;
          entry.Error = InflateEntry(bytes, entry.Content);
          if (entry.Error.empty()) SplitEntry(entry);
          ++report.EntryCount;
          error = visitor(entry);
          if (!error.empty()) return error;
        }
        position += 4 + int64_t{length};
      }
    }
    if (!(disk.Trailer.PackageFlags & kFlagHasNextDisk)) return std::string();
  }
}
