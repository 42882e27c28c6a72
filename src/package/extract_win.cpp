#include <windows.h>

#include <cstring>
#include <memory>

#include "files/file_ops.h"
#include "package/checksum.h"
#include "package/extract.h"
#include "package/extract_core.h"
#include "package/format.h"
#include "package/package_info.h"
#include "startup/debug_log.h"
#include "ui/msgbox.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// Inflated content goes to the file in pieces of up to this size: a 64 KiB
// piece of the block inflates to two or more times its size, which then
// reaches the file in one write instead of several.
constexpr size_t kEntryOutputSize = 4 * kBlockPieceSize;

// One counter for the whole process: only the first failed write is shown.
int failedWrites = 0;

void ShowEngineError(const std::string& text) {
  ShowErrorBox(kOwnerWithHeading, text, kEngineBoxCaption, kEngineBoxButtons, 0);
}

// Lets pending window messages run, at most once per step of the system
// tick count (10-16 ms): often enough for windows to stay responsive, while
// a message round trip (tens of microseconds) is not paid for every piece
// and block of thousands of small entries.
void PumpMessageEachTick() {
  static DWORD lastPump = GetTickCount() - 1;
  const DWORD now = GetTickCount();
  if (now == lastPump) return;
  lastPump = now;
  PumpMessage();
}

bool SeekTo(HANDLE file, int64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// Reads `count` bytes at the file position in pieces of at most 64 KiB,
// letting window messages run between pieces, and hands every piece to
// `consume`. Stops early on a failed read or at the end of the file;
// returns the bytes read.
template <typename Consume>
int64_t ReadBlock(HANDLE file, int64_t count, uint8_t* buffer, Consume consume) {
  int64_t done = 0;
  while (done < count) {
    const int64_t left = count - done;
    const DWORD wanted =
        static_cast<DWORD>(left < int64_t(kBlockPieceSize) ? left : kBlockPieceSize);
    DWORD got = 0;
    const bool ok = ReadFile(file, buffer, wanted, &got, nullptr) != 0;
    if (got > 0) consume(buffer, got);
    done += got;
    PumpMessageEachTick();
    if (!ok || got == 0) break;
  }
  return done;
}

bool ReadInt32(HANDLE file, int32_t& value) {
  DWORD got = 0;
  return ReadFile(file, &value, sizeof value, &got, nullptr) != 0 && got == sizeof value;
}

// Where the block stream of an open disk file ends: PackageEnd for a
// launcher image that has one, else the file's length; never past the
// file's length.
int64_t PackageEndOf(HANDLE file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return 0;
  char head[kPeSignatureOffset + 2] = {};
  DWORD got = 0;
  if (!SeekTo(file, 0) || !ReadFile(file, head, sizeof head, &got, nullptr)) return size.QuadPart;
  if (!IsImageFile(std::string(head, got))) return size.QuadPart;
  int32_t packageEnd = 0;
  std::memcpy(&packageEnd, head + kPackageEndOffset, sizeof packageEnd);
  if (packageEnd <= 0 || packageEnd > size.QuadPart) return size.QuadPart;
  return packageEnd;
}

// One run of ExtractPackage.
class TExtraction {
 public:
  TExtraction(const std::string& packagePath, const std::string& targetFolder,
              const std::string& autoUpdateProgName, TProgressCallback progress)
      : packagePath_(packagePath),
        targetFolder_(targetFolder),
        autoUpdateProgName_(autoUpdateProgName),
        progress_(progress),
        buffer_(new uint8_t[kBlockPieceSize]) {}

  // Extracts one disk file that exists; false when its checksum failed.
  bool ExtractDisk(const std::string& path, int diskNumber);

  const PackageTrailer& Trailer() const { return trailer_; }
  bool ChecksumOk() const { return checksumOk_; }
  const std::string& MainProgram() const { return mainProgram_; }
  const TDamagedEntry& Damage() const { return damage_; }
  void Progress(int kind, int rangeMax) const {
    if (progress_ != nullptr) progress_(kind, 0, rangeMax, 0, 1, std::string());
  }

 private:
  class TEntryWriter;

  void MakeTargetFolder();
  void WalkBlocks(HANDLE file, int64_t position, int64_t packageEnd, const std::string& path,
                  int diskNumber);
  bool ExtractEntry(HANDLE file, int64_t length);
  void ReportDamage(const std::string& path, int diskNumber, int entryNumber, int64_t offset,
                    const std::string& reason);
  void WriteAutoUpdateCopy(HANDLE package);

  std::string packagePath_;
  std::string targetFolder_;
  std::string autoUpdateProgName_;
  TProgressCallback progress_;
  std::unique_ptr<uint8_t[]> buffer_;

  PackageTrailer trailer_{};
  bool checksumOk_ = false;
  std::string mainProgram_;
  int blockCounter_ = 0;
  int64_t headerEnd_ = 0;
  int newFiles_ = 0;
  std::string inflateError_;
  TDamagedEntry damage_;
};

// Writes one entry's file as the inflater delivers it: the header opens
// (or creates) the file, the content is appended as it comes, the date is
// set once the entry is complete.
class TExtraction::TEntryWriter : public TEntrySink {
 public:
  explicit TEntryWriter(TExtraction& run) : run_(run) {}

  void OnHeader(const std::string& header) override {
    const TEntryHeader entry = ParseEntryHeader(header);
    name_ = entry.Name;
    stamp_ = entry.DateStamp;
    if (!IsSafeEntryName(name_)) {
      unsafe_ = true;
      return;
    }
    if (entry.MarksMain) run_.mainProgram_ = entry.MainProgram;
    path_ = SetTrailingBackslash(run_.targetFolder_, true) + name_;
    if (!FileExists(path_)) {
      run_.Progress(1, 0);
      ++run_.newFiles_;
      DebugLine(std::to_string(run_.newFiles_) + " - " + path_);
    }
    if (name_.find('\\') != std::string::npos) ForceDirectories(ExtractFileDir(path_));
    file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER zero{};
    if (!file_ || !SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) Failed();
  }

  void OnContent(const uint8_t* data, size_t size) override {
    if (!file_) return;
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
        written != size) {
      Failed();
    }
  }

  // The entry inflated completely: date it, or report what went wrong.
  void Complete(int64_t contentSize) {
    // Dated through the handle that wrote it: no second open per file.
    if (file_ && stamp_ != 0) SetOpenFileDateStamp(file_.get(), static_cast<int32_t>(stamp_));
    file_.reset();
    if (unsafe_) {
      if (++failedWrites == 1) ShowEngineError(UnsafeNameText(name_));
      return;
    }
    if (path_.empty() || !failed_) return;
    if (++failedWrites != 1) return;
    SetLastError(error_);
    const std::string systemError = LastErrorText();
    ShowEngineError(
        FailedWriteText(path_, systemError, contentSize, FileSizeOf(path_), DriveFreeSpace(path_)));
  }

 private:
  void Failed() {
    if (!failed_) error_ = GetLastError();
    failed_ = true;
    file_.reset();
  }

  TExtraction& run_;
  std::string name_;
  std::string path_;
  uint32_t stamp_ = 0;
  bool unsafe_ = false;
  bool failed_ = false;
  DWORD error_ = 0;
  TFileHandle file_;
};

void TExtraction::MakeTargetFolder() {
  if (targetFolder_.empty()) {
    ShowEngineError(NoTargetFolderText(targetFolder_, LastErrorText()));
    return;
  }
  // A drive ("C:") or a root needs no creating; other failures show as
  // failed writes.
  if (targetFolder_.size() >= 3) ForceDirectories(targetFolder_);
}

bool TExtraction::ExtractDisk(const std::string& path, int diskNumber) {
  trailer_ = PackageTrailer{};
  ReadTrailer(path, trailer_);
  if (diskNumber == 1) DebugLine("FileInfo.FilesCount=" + std::to_string(trailer_.FilesCount));
  checksumOk_ = GetCrc(path, trailer_.TrailerLength) == trailer_.ExpectedCrc;
  if (!checksumOk_) return false;

  TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return true;
  const int64_t packageEnd = PackageEndOf(file.get());
  if (trailer_.PackageMagic != kPackageMagic) return true;
  if (trailer_.DataOffset < 0 || trailer_.DataOffset > packageEnd) {
    ReportDamage(path, diskNumber, 0, trailer_.DataOffset, "Bad data offset");
    return true;
  }
  if (diskNumber == 1) Progress(0, trailer_.FilesCount);
  MakeTargetFolder();
  WalkBlocks(file.get(), trailer_.DataOffset, packageEnd, path, diskNumber);
  if (damage_.Message.empty() && diskNumber == 1 && !ExtractFileName(autoUpdateProgName_).empty() &&
      SameTextTrimmed(ExtractFileExt(path), ".exe")) {
    WriteAutoUpdateCopy(file.get());
  }
  return true;
}

void TExtraction::WalkBlocks(HANDLE file, int64_t position, int64_t packageEnd,
                             const std::string& path, int diskNumber) {
  if (!SeekTo(file, position)) return;
  const int headerBlocks = trailer_.HeaderBlockCount;
  while (MoreBlocksAt(position, packageEnd)) {
    PumpMessageEachTick();
    int32_t length = 0;
    if (!ReadInt32(file, length)) return;
    const int entryNumber = blockCounter_ + 1 - headerBlocks;
    if (!BlockFits(position, length, packageEnd)) {
      ReportDamage(path, diskNumber, entryNumber > 0 ? entryNumber : 0, position,
                   "Block length " + std::to_string(length) + " out of range");
      return;
    }
    const int64_t blockStart = position;
    position += int64_t(length) + 4;
    ++blockCounter_;
    if (blockCounter_ == headerBlocks) headerEnd_ = position;
    if (blockCounter_ <= headerBlocks) {
      ReadBlock(file, length, buffer_.get(), [](const uint8_t*, size_t) {});
      continue;
    }
    if (!ExtractEntry(file, length)) {
      ReportDamage(path, diskNumber, entryNumber, blockStart, "zlib: " + inflateError_);
      return;
    }
  }
}

bool TExtraction::ExtractEntry(HANDLE file, int64_t length) {
  TEntryInflater inflater(kEntryOutputSize);
  TEntryWriter writer(*this);
  ReadBlock(file, length, buffer_.get(),
            [&](const uint8_t* data, size_t size) { inflater.Feed(data, size, writer); });
  if (inflater.Finish() == TEntryInflater::TState::Failed) {
    inflateError_ = inflater.ErrorText();
    return false;
  }
  writer.Complete(inflater.ContentSize());
  return true;
}

void TExtraction::ReportDamage(const std::string& path, int diskNumber, int entryNumber,
                               int64_t offset, const std::string& reason) {
  damage_.DiskNumber = diskNumber;
  damage_.EntryNumber = entryNumber;
  damage_.Offset = offset;
  damage_.Reason = reason;
  damage_.Message = DamagedEntryText(path, entryNumber, offset, reason);
  DebugLine(" ExtractPackage - " + damage_.Message);
}

// The launcher image and its text lists, without entries, with PackageEnd
// cleared and a trailer that marks the copy as the auto-update program.
void TExtraction::WriteAutoUpdateCopy(HANDLE package) {
  PackageTrailer record{};
  if (!ReadTrailer(packagePath_, record)) return;
  // Without the whole image header there is no PackageEnd to clear.
  if (headerEnd_ < kPackageEndOffset + 4) return;
  record.ThisIs_AutoUpdateProg = 1;
  record.TrailerLength = kTrailerSize;

  const std::string path =
      SetTrailingBackslash(targetFolder_, true) + ExtractFileName(autoUpdateProgName_);
  TFileHandle copy(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy || !SeekTo(package, 0)) return;
  int64_t offset = 0;
  bool ok = true;
  ReadBlock(package, headerEnd_, buffer_.get(), [&](uint8_t* data, size_t size) {
    for (int i = 0; i < 4; ++i) {
      const int64_t at = kPackageEndOffset + i - offset;
      if (at >= 0 && at < int64_t(size)) data[at] = 0;
    }
    offset += int64_t(size);
    DWORD written = 0;
    ok = ok && WriteFile(copy.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
  });
  DWORD written = 0;
  if (!ok || !WriteFile(copy.get(), &record, sizeof record, &written, nullptr)) return;
  FILETIME created, accessed, modified;
  if (GetFileTime(package, &created, &accessed, &modified)) {
    SetFileTime(copy.get(), nullptr, nullptr, &modified);
  }
}

// Asks for disk `diskNumber` until its file is there or the user cancels;
// true to go on.
bool PromptForDisk(const std::string& path, int diskNumber, const std::string& text,
                   const std::string& caption, const std::string& buttons, uint8_t charset) {
  const std::string prompt = ReplaceAllText(text, "<DISK_NUM>", std::to_string(diskNumber));
  for (;;) {
    const bool ok = AskOkCancel(kOwnerWithHeading, prompt, caption, buttons, charset);
    if (FileExists(path) || !ok) return ok;
  }
}

}  // namespace

TExtractResult ExtractPackage(const TExtractRequest& request) {
  TExtractResult result;
  TExtraction run(request.PackagePath, request.TargetFolder, request.AutoUpdateProgName,
                  request.Progress);
  run.Progress(0, 0);
  bool goOn = true;
  std::string path = request.PackagePath;
  for (int disk = 1;;) {
    if (FileExists(path)) {
      const bool passed = run.ExtractDisk(path, disk);
      result.ChecksumOk = run.ChecksumOk();
      result.MainProgram = run.MainProgram();
      if (!passed || !run.Damage().Message.empty()) break;
    }
    if ((run.Trailer().PackageFlags & kFlagHasNextDisk) == 0) break;
    ++disk;
    path = DiskFileName(request.PackagePath, disk);
    if (request.ForcePrompt || !FileExists(path)) {
      goOn = PromptForDisk(path, disk, request.DiskPromptText, request.DiskPromptCaption,
                           request.ButtonTexts, request.Charset);
    }
    run.Progress(1, 0);
    if (!goOn) break;
  }
  result.Damage = run.Damage();
  if (!goOn || !result.Damage.Message.empty()) result.MainProgram.clear();
  Wait(500);
  return result;
}

int FailedWriteCount() { return failedWrites; }
