#include "pack/package_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "pack/delta_encoder.h"
#include "pack/pack_files.h"
#include "package/extract_rules.h"
#include "package/format.h"
#include "util/file_io.h"
#include "util/text.h"

namespace {

// A name that names no file: empty, or with an empty part ("a\\b", "a\").
bool HasEmptyPart(const std::string& name) {
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of("\\/", start);
    if ((end == std::string::npos ? name.size() : end) == start) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

constexpr char kLangDelimiter = '\x02';
constexpr int kClusterSizes = 9;
constexpr int64_t kLargestDisk = std::numeric_limits<int32_t>::max();
// One entry is compressed in memory: a piece is held whole by its thread.
constexpr int64_t kLargestPiece = int64_t{1024} * 1024 * 1024;
// Spanned packages: pieces no smaller than this, at most this share of a disk.
constexpr int64_t kSmallestSpanPiece = 1024;
constexpr int64_t kSpanPieceShare = 16;

// Delimiters tried for a list, after the preferred "|": control characters
// and then punctuation, never a letter, blank, "=" or the LangTexts
// delimiter, which GetKeyValue or the outer list would misread.
std::string DelimiterCandidates() {
  std::string candidates = "|";
  for (int c = 1; c < 32; ++c) {
    if (c != kLangDelimiter) candidates.push_back(static_cast<char>(c));
  }
  candidates += "~^#!;,%&";
  return candidates;
}

bool ChooseDelimiter(const std::vector<std::string>& texts, char& delimiter) {
  for (char candidate : DelimiterCandidates()) {
    bool free = true;
    for (const std::string& text : texts) {
      if (text.find(candidate) != std::string::npos) {
        free = false;
        break;
      }
    }
    if (free) {
      delimiter = candidate;
      return true;
    }
  }
  return false;
}

void PutInt32(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

std::string Int32Bytes(uint32_t value) {
  std::string bytes(4, '\0');
  PutInt32(&bytes[0], value);
  return bytes;
}

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TOutputFile = std::unique_ptr<std::FILE, TFileCloser>;

// What GetCrc will sum for a disk file, gathered while the file is written:
// the words from the start offset on, with the last two kept apart because
// the checksum leaves the final 5 to 8 bytes before the trailer out.
class TCrcSummer {
 public:
  explicit TCrcSummer(int64_t startOffset) : start_(startOffset) {}

  void Feed(const char* data, size_t count) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
    if (offset_ < start_) {
      const int64_t skip = std::min<int64_t>(start_ - offset_, static_cast<int64_t>(count));
      bytes += skip;
      count -= static_cast<size_t>(skip);
      offset_ += skip;
    }
    offset_ += static_cast<int64_t>(count);
    while (count > 0 && partialLength_ > 0) {
      partial_[partialLength_++] = *bytes++;
      --count;
      if (partialLength_ == 4) {
        AddWords(partial_, 1);
        partialLength_ = 0;
      }
    }
    const size_t words = count / 4;
    AddWords(bytes, words);
    bytes += 4 * words;
    count -= 4 * words;
    while (count-- > 0) partial_[partialLength_++] = *bytes++;
  }

  // The checksum of the disk file once its trailer is behind the bytes fed.
  uint32_t Finish(int32_t packageEnd) const {
    const int64_t fileLength = offset_ + kTrailerSize;
    const CrcPlan plan = PlanCrc(fileLength, packageEnd, kTrailerSize);
    uint32_t sum = sum_;
    const int64_t excess = words_ - plan.WordsToSum;
    if (excess >= 1) sum -= last_[0];
    if (excess >= 2) sum -= last_[1];
    return sum + static_cast<uint32_t>(plan.BonusCount) * 1234u;
  }

 private:
  void AddWords(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    sum_ += SumWords(bytes, count);
    words_ += static_cast<int64_t>(count);
    if (count >= 2) {
      last_[1] = SumWords(bytes + 4 * (count - 2), 1);
    } else {
      last_[1] = last_[0];
    }
    last_[0] = SumWords(bytes + 4 * (count - 1), 1);
  }

  int64_t start_;
  int64_t offset_ = 0;
  uint8_t partial_[4] = {};
  int partialLength_ = 0;
  uint32_t sum_ = 0;
  int64_t words_ = 0;
  uint32_t last_[2] = {};  // newest first
};

// One entry to compress: a piece of a file behind its header.
struct TEntryJob {
  size_t File = 0;
  int64_t Offset = 0;
  int64_t Length = 0;
  std::string Header;
  bool Patch = false;  // the entry is the patch of the whole file
};

// Reads `length` bytes at `offset` of `path` to `out` + `at`.
bool ReadRange(const std::string& path, int64_t offset, int64_t length, std::string& out,
               size_t at) {
  TReadFile source;
  size_t got = 0;
  if (length > 0 && source.Open(path) && source.Seek(offset)) {
    while (got < static_cast<size_t>(length)) {
      const size_t n = source.Read(&out[at + got], static_cast<size_t>(length) - got);
      if (n == 0) break;
      got += n;
    }
  }
  return got == static_cast<size_t>(length);
}

// The input of a patch entry: the patch from the older release to the file.
std::string PatchInput(const TEntryJob& job, const TPackFile& file, std::string& input) {
  std::string newBytes = file.Content;
  if (!file.SourcePath.empty()) {
    newBytes.assign(static_cast<size_t>(job.Length), '\0');
    if (!ReadRange(file.SourcePath, 0, job.Length, newBytes, 0))
      return "Cannot read " + file.SourcePath + " (changed while packing?)";
  }
  TReadFile old;
  const int64_t oldSize = old.Open(file.DeltaFromPath) ? old.Size() : -1;
  std::string oldBytes(oldSize > 0 ? static_cast<size_t>(oldSize) : 0, '\0');
  if (oldSize < 0 || !ReadRange(file.DeltaFromPath, 0, oldSize, oldBytes, 0))
    return "Cannot read " + file.DeltaFromPath;
  std::string patch;
  const std::string error = MakePatch(oldBytes, newBytes, patch);
  if (!error.empty()) return error;
  input = job.Header;
  input.push_back('\0');
  input += patch;
  return std::string();
}

struct TLibdeflateFree {
  void operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
  }
};

// The level `description` asks for, its compressor's default for 0; -1 for
// a level the compressor does not have.
int EffectiveLevel(TCompressor compressor, int level) {
  const bool zlib = compressor == TCompressor::kZlib;
  if (level == 0) return zlib ? kDefaultZlibLevel : kDefaultLibdeflateLevel;
  const int largest = zlib ? kLargestZlibLevel : kLargestLibdeflateLevel;
  return level >= 1 && level <= largest ? level : -1;
}

// Compresses entries one after the other on one thread; libdeflate's
// compressor (its match finder's tables) is set up once and reused.
class TEntryDeflater {
 public:
  TEntryDeflater(TCompressor compressor, int level) : compressor_(compressor), level_(level) {
    if (compressor_ == TCompressor::kLibdeflate)
      libdeflate_.reset(libdeflate_alloc_compressor(level_));
  }

  // Fills `block` with the length and zlib stream of `input`. Returns false
  // when the compressor fails (libdeflate's could not be set up).
  bool Compress(const std::string& input, std::string& block) {
    size_t size = 0;
    if (compressor_ == TCompressor::kZlib) {
      uLongf zlibSize = compressBound(static_cast<uLong>(input.size()));
      block.assign(4 + zlibSize, '\0');
      const int status = compress2(reinterpret_cast<Bytef*>(&block[4]), &zlibSize,
                                   reinterpret_cast<const Bytef*>(input.data()),
                                   static_cast<uLong>(input.size()), level_);
      if (status != Z_OK) return false;
      size = zlibSize;
    } else {
      if (!libdeflate_) return false;
      block.assign(4 + libdeflate_zlib_compress_bound(libdeflate_.get(), input.size()), '\0');
      size = libdeflate_zlib_compress(libdeflate_.get(), input.data(), input.size(), &block[4],
                                      block.size() - 4);
      if (size == 0) return false;
    }
    block.resize(4 + size);
    PutInt32(&block[0], static_cast<uint32_t>(size));
    return true;
  }

 private:
  const TCompressor compressor_;
  const int level_;
  std::unique_ptr<libdeflate_compressor, TLibdeflateFree> libdeflate_;
};

// The most a zlib stream of `inputSize` bytes can take.
int64_t CompressedBound(TCompressor compressor, int64_t inputSize) {
  if (compressor == TCompressor::kZlib)
    return static_cast<int64_t>(compressBound(static_cast<uLong>(inputSize)));
  return static_cast<int64_t>(
      libdeflate_zlib_compress_bound(nullptr, static_cast<size_t>(inputSize)));
}

std::string CompressEntry(const TEntryJob& job, const TPackFile& file, TEntryDeflater& deflater,
                          std::string& block) {
  std::string input;
  if (job.Patch) {
    const std::string error = PatchInput(job, file, input);
    if (!error.empty()) return error;
  } else {
    input = job.Header;
    input.push_back('\0');
    const size_t headerSize = input.size();
    input.resize(headerSize + static_cast<size_t>(job.Length));
    if (file.SourcePath.empty()) {
      std::memcpy(&input[headerSize], file.Content.data() + job.Offset,
                  static_cast<size_t>(job.Length));
    } else if (!ReadRange(file.SourcePath, job.Offset, job.Length, input, headerSize)) {
      return "Cannot read " + file.SourcePath + " (changed while packing?)";
    }
  }
  if (!deflater.Compress(input, block)) return "Cannot compress " + file.Name + " (out of memory?)";
  return std::string();
}

// Compresses the entries on several threads and hands them out strictly in
// order, so the package is the same for any number of threads. At most
// `window` finished entries wait in memory.
class TEntryCompressor {
 public:
  TEntryCompressor(const std::vector<TEntryJob>& jobs, const std::vector<TPackFile>& files,
                   int threads, TCompressor compressor, int level)
      : jobs_(jobs),
        files_(files),
        compressor_(compressor),
        level_(level),
        window_(static_cast<size_t>(threads) * 2 + 2),
        slots_(window_) {
    const size_t workers = std::min(static_cast<size_t>(threads), jobs.size());
    for (size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  }

  ~TEntryCompressor() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  TEntryCompressor(const TEntryCompressor&) = delete;
  TEntryCompressor& operator=(const TEntryCompressor&) = delete;

  // The block (length and zlib stream) of entry `index`, taken in order.
  std::string Take(size_t index, std::string& block) {
    std::unique_lock<std::mutex> lock(mutex_);
    TSlot& slot = slots_[index % window_];
    entryDone_.wait(lock, [&] { return slot.Done; });
    block.swap(slot.Block);
    std::string error = slot.Error;
    slot = TSlot();
    ++taken_;
    workReady_.notify_all();
    return error;
  }

 private:
  struct TSlot {
    bool Done = false;
    std::string Block;
    std::string Error;
  };

  void Work() {
    TEntryDeflater deflater(compressor_, level_);
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        workReady_.wait(
            lock, [&] { return stop_ || (next_ < jobs_.size() && next_ < taken_ + window_); });
        if (stop_) return;
        index = next_++;
      }
      std::string block;
      std::string error = CompressEntry(jobs_[index], files_[jobs_[index].File], deflater, block);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        TSlot& slot = slots_[index % window_];
        slot.Block.swap(block);
        slot.Error = error;
        slot.Done = true;
      }
      entryDone_.notify_all();
    }
  }

  const std::vector<TEntryJob>& jobs_;
  const std::vector<TPackFile>& files_;
  const TCompressor compressor_;
  const int level_;
  const size_t window_;
  std::vector<TSlot> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable entryDone_;
  size_t next_ = 0;
  size_t taken_ = 0;
  bool stop_ = false;
};

// The files as they will be packed: sizes, dates and entry headers settled.
struct TPlannedFile {
  int64_t Size = 0;
  std::string Header;
  bool Patch = false;
};

// Writes the disk files one after another under temporary names.
class TDiskWriter {
 public:
  TDiskWriter(const std::string& outputPath, const PackageTrailer& trailer, int64_t diskLimit)
      : outputPath_(outputPath), trailer_(trailer), diskLimit_(diskLimit) {}

  ~TDiskWriter() {
    file_.reset();
    if (!committed_) {
      for (const std::string& temp : tempPaths_) std::remove(temp.c_str());
    }
  }

  TDiskWriter(const TDiskWriter&) = delete;
  TDiskWriter& operator=(const TDiskWriter&) = delete;

  std::string StartFirstDisk(const std::string& image, const std::string& lists) {
    std::string error = OpenDisk(kCrcSkippedHeader);
    if (!error.empty()) return error;
    std::string head = image;
    PutInt32(&head[kPackageEndOffset], 0);
    error = Write(head);
    if (error.empty()) error = Write(lists);
    if (!error.empty()) return error;
    if (written_ + kTrailerSize > diskLimit_) {
      return "The disk size is too small for the launcher image and its lists (" +
             std::to_string(written_ + kTrailerSize) + " bytes)";
    }
    return std::string();
  }

  std::string AddEntry(const std::string& block) {
    const int64_t size = static_cast<int64_t>(block.size());
    if (written_ + size + kTrailerSize > diskLimit_) {
      if (!spanned())
        return "The package would exceed 2 GB; give a disk size to span it over disk files";
      std::string error = FinishDisk(true);
      if (error.empty()) error = StartLaterDisk();
      if (!error.empty()) return error;
      if (written_ + size + kTrailerSize > diskLimit_)
        return "An entry does not fit on an empty disk";
    }
    return Write(block);
  }

  std::string FinishLastDisk() { return FinishDisk(false); }

  // Renames every finished disk file to its final name.
  std::string Commit(TPackResult& result) {
    // Disk 1 last: the package appears under its name only when every
    // further disk is in place.
    for (size_t i = tempPaths_.size(); i-- > 0;) {
      const std::string target = DiskFileName(outputPath_, static_cast<int>(i) + 1);
      if (!ReplaceFileWith(tempPaths_[i], target)) return "Cannot write " + target;
    }
    committed_ = true;
    for (size_t i = 0; i < tempPaths_.size(); ++i) {
      result.DiskPaths.push_back(DiskFileName(outputPath_, static_cast<int>(i) + 1));
    }
    for (int n = static_cast<int>(tempPaths_.size()) + 1;; ++n) {
      const std::string stale = DiskFileName(outputPath_, n);
      if (!FileExists(stale) || std::remove(stale.c_str()) != 0) break;
    }
    result.OutputBytes = totalWritten_;
    return std::string();
  }

 private:
  bool spanned() const { return diskLimit_ < kLargestDisk; }

  std::string OpenDisk(int64_t crcStart) {
    const std::string temp =
        DiskFileName(outputPath_, static_cast<int>(tempPaths_.size()) + 1) + ".tmp";
    file_.reset(std::fopen(temp.c_str(), "wb"));
    if (!file_) return "Cannot create " + temp;
    tempPaths_.push_back(temp);
    summer_.reset(new TCrcSummer(crcStart));
    written_ = 0;
    return std::string();
  }

  std::string StartLaterDisk() {
    std::string error = OpenDisk(0);
    if (!error.empty()) return error;
    std::string mark(kDiskMark, kDiskMarkSize - 1);
    mark.push_back(static_cast<char>(tempPaths_.size()));
    return Write(mark);
  }

  std::string Write(const std::string& bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
      return "Cannot write " + tempPaths_.back();
    }
    summer_->Feed(bytes.data(), bytes.size());
    written_ += static_cast<int64_t>(bytes.size());
    return std::string();
  }

  std::string FinishDisk(bool another) {
    const bool first = tempPaths_.size() == 1;
    PackageTrailer trailer = trailer_;
    trailer.DataOffset = first ? trailer_.DataOffset : kDiskMarkSize;
    if (another) trailer.PackageFlags |= kFlagHasNextDisk;
    const int64_t length = written_ + kTrailerSize;
    const int32_t packageEnd = first ? static_cast<int32_t>(length) : 0;
    trailer.ExpectedCrc = summer_->Finish(packageEnd);
    std::string bytes(kTrailerSize, '\0');
    std::memcpy(&bytes[0], &trailer, kTrailerSize);
    std::string error = Write(bytes);
    if (!error.empty()) return error;
    if (first) {
      // PackageEnd lies in the first 512 bytes, which the checksum leaves
      // out, so it can be filled in last.
      char end[4];
      PutInt32(end, static_cast<uint32_t>(packageEnd));
      if (std::fseek(file_.get(), kPackageEndOffset, SEEK_SET) != 0 ||
          std::fwrite(end, 1, 4, file_.get()) != 4) {
        return "Cannot write " + tempPaths_.back();
      }
    }
    totalWritten_ += written_;
    const bool closed = std::fclose(file_.release()) == 0;
    return closed ? std::string() : "Cannot write " + tempPaths_.back();
  }

  const std::string outputPath_;
  const PackageTrailer trailer_;
  const int64_t diskLimit_;
  TOutputFile file_;
  std::unique_ptr<TCrcSummer> summer_;
  std::vector<std::string> tempPaths_;
  int64_t written_ = 0;
  int64_t totalWritten_ = 0;
  bool committed_ = false;
};

std::string LoadStub(const TPackageDescription& description, std::string& image) {
  image = description.StubImage;
  if (image.empty()) {
    TReadFile stub;
    if (description.StubPath.empty() || !stub.Open(description.StubPath)) {
      return "Launcher image not found: " + description.StubPath;
    }
    const int64_t size = stub.Size();
    if (size < 0 || size > kLargestDisk)
      return "Cannot read the launcher image " + description.StubPath;
    image.assign(static_cast<size_t>(size), '\0');
    if (size > 0 && stub.Read(&image[0], image.size()) != image.size()) {
      return "Cannot read the launcher image " + description.StubPath;
    }
  }
  if (!IsImageFile(image)) {
    return "Not a launcher image (needs \"MZ\" at offset 0 and \"PE\" at offset 256): " +
           (description.StubPath.empty() ? std::string("(in memory)") : description.StubPath);
  }
  return std::string();
}

bool HasByte(const std::string& text, const char* bytes, size_t count) {
  return text.find_first_of(bytes, 0, count) != std::string::npos;
}

// Sizes, dates and headers of all files; the main program's header carries
// "*" and its arguments. Also fills the order in which the files are packed
// (main program first).
std::string PlanFiles(const TPackageDescription& description, std::vector<TPackFile>& files,
                      std::vector<TPlannedFile>& planned, std::vector<size_t>& order) {
  std::string mainName = description.MainProgram;
  std::string mainTail;
  const size_t star = mainName.find('*');
  if (star != std::string::npos) {
    mainTail = mainName.substr(star + 1);
    mainName = mainName.substr(0, star);
  }
  mainName = Trim(mainName);
  if (HasByte(mainTail, "|\0", 2))
    return "The main program's arguments may not hold \"|\": " + mainTail;

  files = description.Files;
  planned.assign(files.size(), TPlannedFile());
  size_t mainIndex = files.size();
  for (size_t i = 0; i < files.size(); ++i) {
    TPackFile& file = files[i];
    if (!IsSafeEntryName(file.Name)) {
      return "The launcher would refuse the file name \"" + file.Name +
             "\": a name must stay inside the target folder (no drive or \":\", no leading "
             "\"\\\", no part made of dots alone)";
    }
    if (HasEmptyPart(file.Name) || HasByte(file.Name, "|*\0", 3)) {
      return "Not a usable relative file name: \"" + file.Name + "\"";
    }
    for (size_t j = 0; j < i; ++j) {
      if (SameTextTrimmed(files[j].Name, file.Name)) return "File listed twice: " + file.Name;
    }
    if (file.SourcePath.empty()) {
      planned[i].Size = static_cast<int64_t>(file.Content.size());
    } else {
      uint32_t fileTime = 0;
      if (!SourceFileStat(file.SourcePath, planned[i].Size, fileTime))
        return "File not found: " + file.SourcePath;
      if (file.DosDateTime == 0) file.DosDateTime = fileTime;
    }
    if (!file.DeltaFromPath.empty()) {
      int64_t oldSize = 0;
      uint32_t oldTime = 0;
      if (!SourceFileStat(file.DeltaFromPath, oldSize, oldTime))
        return "File not found: " + file.DeltaFromPath;
      planned[i].Patch = oldSize <= kLargestPatchedFile && planned[i].Size <= kLargestPatchedFile;
    }
    std::string field0 = file.Name;
    if (!mainName.empty() && SameTextTrimmed(file.Name, mainName)) {
      mainIndex = i;
      field0 += "*" + mainTail;
    }
    planned[i].Header = "|" + field0 + "|" + std::to_string(file.DosDateTime) + "|" +
                        (planned[i].Patch ? std::string(kPatchEntryMark) + "|" : "");
  }
  if (!mainName.empty() && mainIndex == files.size()) {
    return "The main program is not among the files: " + mainName;
  }
  order.clear();
  if (mainIndex != files.size()) order.push_back(mainIndex);
  for (size_t i = 0; i < files.size(); ++i) {
    if (i != mainIndex) order.push_back(i);
  }
  return std::string();
}

std::string FillSpaceTable(const std::vector<TPlannedFile>& planned, PackageTrailer& trailer) {
  for (int entry = 0; entry < kClusterSizes; ++entry) {
    const uint64_t cluster = entry == 0 ? 1 : uint64_t{256} << entry;
    uint64_t total = 0;
    for (const TPlannedFile& file : planned) {
      total += (static_cast<uint64_t>(file.Size) + cluster - 1) / cluster * cluster;
    }
    if (total > std::numeric_limits<uint32_t>::max()) {
      return "The files take more than 4 GB, more than a package can describe";
    }
    trailer.SpaceTable[entry] = static_cast<uint32_t>(total);
  }
  return std::string();
}

// The largest input piece of a file with header `header` whose entry is
// sure to fit on an otherwise empty later disk.
int64_t PieceSizeFor(const std::string& header, int64_t pieceSize, int64_t diskLimit, bool spanned,
                     TCompressor compressor) {
  if (!spanned) return pieceSize;
  const int64_t room = diskLimit - kDiskMarkSize - kTrailerSize - 4;
  const int64_t overhead = static_cast<int64_t>(header.size()) + 1;
  int64_t piece = std::min(pieceSize, std::max(kSmallestSpanPiece, room / kSpanPieceShare));
  while (piece > 0 && CompressedBound(compressor, piece + overhead) > room) {
    piece -= std::max<int64_t>(1, CompressedBound(compressor, piece + overhead) - room);
  }
  return piece;
}

std::string PlanEntries(const std::vector<TPlannedFile>& planned, const std::vector<size_t>& order,
                        int64_t pieceSize, int64_t diskLimit, bool spanned, TCompressor compressor,
                        std::vector<TEntryJob>& jobs) {
  for (size_t index : order) {
    const TPlannedFile& file = planned[index];
    if (file.Patch) {
      jobs.push_back(TEntryJob{index, 0, file.Size, file.Header, true});
      continue;
    }
    const int64_t piece = PieceSizeFor(file.Header, pieceSize, diskLimit, spanned, compressor);
    if (piece <= 0) return "The disk size is too small for the entries";
    int64_t offset = 0;
    do {
      const int64_t length = std::min(piece, file.Size - offset);
      jobs.push_back(TEntryJob{index, offset, length, file.Header, false});
      offset += length;
    } while (offset < file.Size);
  }
  return std::string();
}

std::string BuildLists(const TPackageDescription& description, std::string& lists,
                       int& headerBlocks) {
  std::string langTexts;
  std::string error = BuildLangTexts(description.LangSections, langTexts);
  if (!error.empty()) return error;
  std::string infoList;
  std::vector<std::string> infoFields = {
      description.UpdateLocation, description.UpdateInfoName, description.AutoUpdateProgName,
      ScrambleToken(description.UpdateToken), description.HiddenExtract ? "1" : "0"};
  if (description.SuccessByExitCode) infoFields.push_back(kSuccessByExitCode);
  if (!BuildFieldList(infoFields, infoList)) {
    return "The update fields leave no delimiter free";
  }
  lists = Int32Bytes(static_cast<uint32_t>(langTexts.size())) + langTexts +
          Int32Bytes(static_cast<uint32_t>(infoList.size())) + infoList;
  headerBlocks = 2;
  if (description.HasWebList) {
    std::string webList;
    if (!BuildFieldList({description.WebFolder, description.WebSetupName,
                         description.WebAlwaysDownload ? "1" : "0",
                         ScrambleToken(description.WebToken), description.WebSetupSize},
                        webList)) {
      return "The web fields leave no delimiter free";
    }
    lists += Int32Bytes(static_cast<uint32_t>(webList.size())) + webList;
    headerBlocks = 3;
  }
  return std::string();
}

int ThreadCount(int requested) {
  if (requested > 0) return requested;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace

bool BuildFieldList(const std::vector<std::string>& fields, std::string& list) {
  char delimiter = '|';
  if (!ChooseDelimiter(fields, delimiter)) return false;
  list.assign(1, delimiter);
  for (const std::string& field : fields) list += field + delimiter;
  return true;
}

std::string BuildLangTexts(const std::vector<TLangSection>& sections, std::string& block) {
  block.assign(1, kLangDelimiter);
  for (const TLangSection& section : sections) {
    if (Trim(section.Language).empty()) return "A language section needs a language name";
    std::vector<std::string> texts = {section.Language};
    for (const auto& text : section.Texts) {
      if (text.first.empty() || text.first.find('=') != std::string::npos) {
        return "Not a usable text id in [" + section.Language + "]: \"" + text.first + "\"";
      }
      texts.push_back(text.first + "=" + text.second);
    }
    for (const std::string& text : texts) {
      if (text.find(kLangDelimiter) != std::string::npos) {
        return "A text of [" + section.Language + "] holds the byte 0x02";
      }
    }
    std::string list;
    if (!BuildFieldList(texts, list))
      return "The texts of [" + section.Language + "] leave no delimiter free";
    block += list + kLangDelimiter;
  }
  return std::string();
}

std::string WritePackage(const TPackageDescription& description, const std::string& outputPath,
                         TPackResult* result) {
  TPackResult local;
  TPackResult& out = result ? *result : local;
  out = TPackResult();

  std::string image;
  std::string error = LoadStub(description, image);
  if (!error.empty()) return error;
  if (description.IsWebSetup && !description.HasWebList) {
    return "A web setup needs the web list (web folder and setup name)";
  }
  if (description.DiskSize < 0 || description.DiskSize > kLargestDisk) {
    return "The disk size must lie between 1 and " + std::to_string(kLargestDisk) + " bytes";
  }
  if (description.PieceSize <= 0 || description.PieceSize > kLargestPiece) {
    return "The piece size must lie between 1 and " + std::to_string(kLargestPiece) + " bytes";
  }

  const int level = EffectiveLevel(description.Compressor, description.Level);
  if (level < 0) {
    return description.Compressor == TCompressor::kZlib
               ? "zlib's levels run from 1 to " + std::to_string(kLargestZlibLevel)
               : "libdeflate's levels run from 1 to " + std::to_string(kLargestLibdeflateLevel);
  }

  std::vector<TPackFile> files;
  std::vector<TPlannedFile> planned;
  std::vector<size_t> order;
  error = PlanFiles(description, files, planned, order);
  if (!error.empty()) return error;

  PackageTrailer trailer{};
  trailer.FormatByte = 1;
  trailer.FilesCount = static_cast<int32_t>(files.size());
  trailer.PackageMagic = kPackageMagic;
  trailer.PackageFlags = description.AlwaysShowTempNotice ? kFlagAlwaysShowTempNotice : 0;
  if (description.DeltaPackage) trailer.PackageFlags |= kFlagDeltaPackage;
  trailer.IsWebSetup = description.IsWebSetup ? 1 : 0;
  trailer.AskBeforeDownload = description.AskBeforeDownload ? 1 : 0;
  trailer.MakeAutoUpdateProg = description.MakeAutoUpdateProg ? 1 : 0;
  trailer.ThisIs_AutoUpdateProg = description.ThisIs_AutoUpdateProg ? 1 : 0;
  trailer.PackageVersion = description.PackageVersion;
  trailer.TrailerLength = kTrailerSize;
  trailer.DataOffset = static_cast<int32_t>(image.size());
  error = FillSpaceTable(planned, trailer);
  if (!error.empty()) return error;

  std::string lists;
  int headerBlocks = 2;
  error = BuildLists(description, lists, headerBlocks);
  if (!error.empty()) return error;
  trailer.HeaderBlockCount = static_cast<uint8_t>(headerBlocks);

  const bool spanned = description.DiskSize > 0;
  const int64_t diskLimit = spanned ? description.DiskSize : kLargestDisk;
  std::vector<TEntryJob> jobs;
  error = PlanEntries(planned, order, description.PieceSize, diskLimit, spanned,
                      description.Compressor, jobs);
  if (!error.empty()) return error;

  TDiskWriter writer(outputPath, trailer, diskLimit);
  error = writer.StartFirstDisk(image, lists);
  if (!error.empty()) return error;
  {
    TEntryCompressor compressor(jobs, files, ThreadCount(description.Threads),
                                description.Compressor, level);
    TPackProgress progress;
    progress.FilesTotal = static_cast<int64_t>(planned.size());
    for (const TPlannedFile& file : planned) progress.BytesTotal += file.Size;
    std::string block;
    for (size_t i = 0; i < jobs.size(); ++i) {
      error = compressor.Take(i, block);
      if (error.empty()) error = writer.AddEntry(block);
      if (!error.empty()) return error;
      const TEntryJob& job = jobs[i];
      progress.BytesDone += job.Length;
      // A file is done with its last piece.
      if (job.Offset + job.Length >= planned[job.File].Size) ++progress.FilesDone;
      if (description.Progress) description.Progress(progress);
    }
  }
  error = writer.FinishLastDisk();
  if (error.empty()) error = writer.Commit(out);
  if (!error.empty()) return error;

  out.FilesCount = trailer.FilesCount;
  out.EntryCount = static_cast<int64_t>(jobs.size());
  for (const TPlannedFile& file : planned) out.InputBytes += file.Size;
  return std::string();
}
