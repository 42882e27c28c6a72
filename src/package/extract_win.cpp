#include "package/extract.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "files/file_ops.h"
#include "package/checksum.h"
#include "package/extract_rules.h"
#include "package/format.h"
#include "package/handle_source.h"
#include "package/package_info.h"
#include "package/patch.h"
#include "package/walker.h"
#include "ui/msgbox.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/sha256.h"
#include "util/text.h"
#include "util/winapi.h"

using namespace std::string_view_literals;

namespace {

// Inflated content goes to the file in pieces of up to this size: a 64 KiB
// piece of the block inflates to two or more times its size, which then
// reaches the file in one write instead of several.
constexpr size_t kEntryOutputSize = 4 * kBlockPieceSize;

// One counter for the whole process: only the first failed write is shown.
int failedWrites = 0;

bool HasSha256(const std::string& path, const uint8_t* expected) {
  TSha256 actual;
  return FileSha256(path, actual) && std::memcmp(actual.data(), expected, actual.size()) == 0;
}

void ShowEngineError(const std::string& text) {
  ShowErrorBox(kOwnerWithHeading, text, kEngineBoxCaption, kEngineBoxButtons, 0);
}

// Lets pending window messages run, at most once in 10 ms: often enough for
// windows to stay responsive, while a message round trip (tens of
// microseconds) is not paid for every piece and block of thousands of small
// entries. (The tick count moves in steps of 10-16 ms on Windows but of 1 ms
// under Wine, so the time passed is compared, not just the tick.)
constexpr DWORD kPumpEveryMs = 10;

void PumpMessageEachTick() {
  static DWORD lastPump = GetTickCount() - kPumpEveryMs;
  const DWORD now = GetTickCount();
  if (now - lastPump < kPumpEveryMs) return;
  lastPump = now;
  PumpMessage();
}

// One run of ExtractPackage: the walker reads the package, this run writes
// what it finds through Win32 files and tells the user.
class TExtraction : public TPackageVisitor {
 public:
  explicit TExtraction(const TExtractRequest& request)
      : targetFolder_(request.TargetFolder),
        folderPrefix_(SetTrailingBackslash(targetFolder_, true)),
        installedPrefix_(
            SetTrailingBackslash(request.InstalledFolder, !request.InstalledFolder.empty())),
        autoUpdateProgName_(request.AutoUpdateProgName),
        progress_(request.Progress),
        walker_(WalkOptions()) {}

  // Extracts one disk file that exists; false when its checksum failed.
  bool ExtractDisk(const std::string& path, int diskNumber);

  const PackageTrailer& Trailer() const { return trailer_; }
  bool ChecksumOk() const { return checksumOk_; }
  const std::string& MainProgram() const { return mainProgram_; }
  const TDamagedEntry& Damage() const { return walker_.Damage(); }
  // A disk that passed its checksum but whose blocks could not be walked:
  // the text for the error box, or empty.
  const std::string& WalkFault() const { return walkFault_; }
  const std::string& RebuildFault() const { return rebuildFault_; }
  void Progress(int kind, int rangeMax) const {
    if (progress_ != nullptr) progress_(kind, 0, rangeMax, 0, 1, std::string());
  }

  void OnBlocksStart() override;
  TEntrySink& OnEntryStart(const TEntryPlace& place) override;
  bool OnEntryEnd(const TEntryPlace& place, const TEntryInflater& inflater) override;

 private:
  class TEntryWriter;

  static TWalkOptions WalkOptions() {
    TWalkOptions options;
    options.InflateOutputSize = kEntryOutputSize;
    return options;
  }
  void MakeTargetFolder();
  void WriteAutoUpdateCopy(THandleSource& package);

  std::string targetFolder_;
  // The target folder with its backslash, put before every entry's name.
  std::string folderPrefix_;
  // The installed folder with its backslash; empty when none was given.
  std::string installedPrefix_;
  std::string autoUpdateProgName_;
  TProgressCallback progress_;
  TPackageWalker walker_;

  PackageTrailer trailer_{};
  int diskNumber_ = 0;
  bool checksumOk_ = false;
  std::string mainProgram_;
  int newFiles_ = 0;
  std::unique_ptr<TEntryWriter> writer_;
  std::string walkFault_;
  std::string rebuildFault_;
};

// Writes one entry's file as the inflater delivers it: the header opens
// (or creates) the file, the content is appended as it comes, the date is
// set once the entry is complete. A patch entry's content goes through the
// decoder, which reads the installed file and writes the rebuilt one.
class TExtraction::TEntryWriter : public TEntrySink, TPatchTarget {
 public:
  explicit TEntryWriter(TExtraction& run) : run_(run) {}

  void OnHeader(const std::string& header) override {
    TEntryHeader entry = ParseEntryHeader(header);
    name_ = entry.Name;
    stamp_ = entry.DateStamp;
    if (!IsSafeEntryName(name_)) {
      unsafe_ = true;
      return;
    }
    if (entry.MarksMain) run_.mainProgram_ = entry.MainProgram;
    path_.assign(run_.folderPrefix_).append(name_);
    if (entry.IsPatch) patch_.reset(new TPatchDecoder(*this));
    // Each system call is a round trip to the Wine server, so the open
    // itself tells whether the file was there, and folders are made only
    // when the open finds its folder missing.
    bool existed = false;
    file_ = OpenForAppend(existed);
    const DWORD openError = GetLastError();
    if (!existed) {
      run_.Progress(1, 0);
      ++run_.newFiles_;
      DebugLineParts({Decimal(run_.newFiles_), " - "sv, path_});
    }
    LARGE_INTEGER zero{};
    if (!file_) {
      Failed(openError);
    } else if (existed && !SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) {
      Failed(GetLastError());
    }
  }

  void OnContent(const uint8_t* data, size_t size) override {
    if (patch_) {
      patch_->Feed(data, size);
    } else {
      Write(data, size);
    }
  }

  // The installed file must be the one the patch was made against (its
  // hash covers its size).
  bool Begin(const TPatchHeader& header) override {
    if (run_.installedPrefix_.empty()) return false;
    const std::string path = run_.installedPrefix_ + name_;
    return old_.Open(path) && HasSha256(path, header.OldSha256);
  }

  bool ReadOld(uint64_t offset, uint8_t* data, size_t count) override {
    return old_.Seek(static_cast<int64_t>(offset)) && old_.Read(data, count) == count;
  }

  bool Write(const uint8_t* data, size_t size) override {
    if (!file_) return false;
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr)) {
      Failed(GetLastError());
    } else if (written != size) {
      // A write that takes only part of its bytes reports success: the file
      // system ran out of room.
      Failed(ERROR_DISK_FULL);
    }
    return !failed_;
  }

  // False when a patch entry's file could not be rebuilt (the extraction's
  // fault then says why): the decoder did not complete it, or the result is
  // not the file the patch was made for.
  bool Complete(int64_t contentSize) {
    const char* fault = nullptr;
    if (patch_ && patch_->Finish() != TPatchState::Done) fault = patch_->Error();
    // Dated through the handle that wrote it: no second open per file.
    if (file_ && stamp_ != 0) SetOpenFileDateStamp(file_.get(), static_cast<int32_t>(stamp_));
    file_.reset();
    if (patch_ && !fault && !HasSha256(path_, patch_->Header().NewSha256)) {
      fault = "rebuilt file differs";
    }
    if (fault) {
      run_.rebuildFault_ = Concat({name_, ": ", fault});
      // Started by hand, a delta package has no installed files to use.
      if (run_.installedPrefix_.empty()) run_.walkFault_ = kRebuildFaultText + run_.rebuildFault_;
      return false;
    }
    if (unsafe_) {
      if (++failedWrites == 1) ShowEngineError(UnsafeNameText(name_));
      return true;
    }
    if (path_.empty() || !failed_ || ++failedWrites != 1) return true;
    SetLastError(error_);
    const std::string systemError = LastErrorText();
    ShowEngineError(
        FailedWriteText(path_, systemError, contentSize, FileSizeOf(path_), DriveFreeSpace(path_)));
    return true;
  }

 private:
  // Opens the entry's file for writing at its end, creating it (and its
  // folder) when missing; `existed` tells whether it was there before.
  TFileHandle OpenForAppend(bool& existed) {
    TFileHandle file(Open());
    if (!file && GetLastError() == ERROR_PATH_NOT_FOUND && name_.find('\\') != std::string::npos) {
      ForceDirectories(ExtractFileDir(path_));
      file.reset(Open());
    }
    if (file) {
      existed = GetLastError() == ERROR_ALREADY_EXISTS;
      return file;
    }
    // Rare: the open failed. Whether a file is there decides, as always,
    // whether this entry counts as a new file.
    const DWORD error = GetLastError();
    existed = FileExists(path_);
    SetLastError(error);
    return file;
  }

  HANDLE Open() const {
    return CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  void Failed(DWORD error) {
    if (!failed_) error_ = error;
    failed_ = true;
    file_.reset();
  }

  TExtraction& run_;
  std::string name_;
  std::string path_;
  uint32_t stamp_ = 0;
  std::unique_ptr<TPatchDecoder> patch_;  // for a patch entry
  TReadFile old_;                         // the installed file it reads
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
  {
    THandleSource source(path);
    ReadTrailer(source, trailer_);
  }
  if (diskNumber == 1) DebugLineNumber("FileInfo.FilesCount=", trailer_.FilesCount);
  checksumOk_ = GetCrc(path, trailer_.TrailerLength) == trailer_.ExpectedCrc;
  if (!checksumOk_) return false;

  THandleSource file(path, PumpMessageEachTick);
  if (!file.IsOpen()) return true;
  diskNumber_ = diskNumber;
  TDiskWalk walk;
  {
    // A log line per new file: the viewer takes them while extraction goes on.
    TDebugBatch batch;
    walk = walker_.WalkDisk(file, trailer_, path, diskNumber, *this);
    // An entry that stopped the walk half-written is closed here, undated.
    writer_.reset();
  }
  if (walk == TDiskWalk::Damaged) {
    DebugLinePair(" ExtractPackage - ", Damage().Message);
    return true;
  }
  if (walk == TDiskWalk::Stopped) return true;
  // Only the trailer, outside the checksum, can be wrong here: damage too.
  if (walk == TDiskWalk::NoMagic || walk == TDiskWalk::ReadFailed) {
    walkFault_ =
        DamagedEntryText(path, 0, trailer_.DataOffset,
                         walk == TDiskWalk::NoMagic ? "Bad package magic"sv : "Read error"sv);
    return true;
  }
  if (diskNumber == 1 && !ExtractFileName(autoUpdateProgName_).empty() &&
      SameTextTrimmed(ExtractFileExt(path), ".exe")) {
    WriteAutoUpdateCopy(file);
  }
  return true;
}

void TExtraction::OnBlocksStart() {
  if (diskNumber_ == 1) Progress(0, trailer_.FilesCount);
  MakeTargetFolder();
}

TEntrySink& TExtraction::OnEntryStart(const TEntryPlace&) {
  writer_.reset(new TEntryWriter(*this));
  return *writer_;
}

bool TExtraction::OnEntryEnd(const TEntryPlace&, const TEntryInflater& inflater) {
  const bool complete = writer_->Complete(inflater.ContentSize());
  writer_.reset();
  return complete;
}

// The launcher image and its text lists, without entries, with PackageEnd
// cleared and a trailer that marks the copy as the auto-update program.
void TExtraction::WriteAutoUpdateCopy(THandleSource& package) {
  PackageTrailer record{};
  if (!ReadTrailer(package, record)) return;
  const std::string bytes = AgentCopyOf(package, walker_.HeaderEnd(), record);
  if (bytes.empty()) return;

  const std::string path = folderPrefix_ + ExtractFileName(autoUpdateProgName_);
  TFileHandle copy(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy) return;
  DWORD written = 0;
  if (!WriteFile(copy.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    return;
  }
  FILETIME created, accessed, modified;
  if (GetFileTime(package.Handle(), &created, &accessed, &modified)) {
    SetFileTime(copy.get(), nullptr, nullptr, &modified);
  }
}

// Asks for disk `diskNumber` until its file is there or the user cancels;
// true to go on.
bool PromptForDisk(const std::string& path, int diskNumber, const std::string& text,
                   const std::string& caption, const std::string& buttons, uint8_t charset) {
  const std::string prompt = ReplaceAllText(text, "<DISK_NUM>", Decimal(diskNumber));
  for (;;) {
    const bool ok = AskOkCancel(kOwnerWithHeading, prompt, caption, buttons, charset);
    if (FileExists(path) || !ok) return ok;
  }
}

}  // namespace

TExtractResult ExtractPackage(const TExtractRequest& request) {
  TExtractResult result;
  TExtraction run(request);
  run.Progress(0, 0);
  bool goOn = true;
  std::string path = request.PackagePath;
  for (int disk = 1;;) {
    if (FileExists(path)) {
      const bool passed = run.ExtractDisk(path, disk);
      if (!passed || !run.Damage().Message.empty() || !run.WalkFault().empty() ||
          !run.RebuildFault().empty()) {
        break;
      }
    }
    if (!HasNextDisk(run.Trailer())) break;
    ++disk;
    path = DiskFileName(request.PackagePath, disk);
    if (request.ForcePrompt || !FileExists(path)) {
      goOn = PromptForDisk(path, disk, request.DiskPromptText, request.DiskPromptCaption,
                           request.ButtonTexts, request.Charset);
    }
    run.Progress(1, 0);
    if (!goOn) break;
  }
  // What the last disk extracted left stands.
  result.ChecksumOk = run.ChecksumOk();
  result.MainProgram = run.MainProgram();
  result.Damage = run.Damage();
  if (result.Damage.Message.empty()) result.Damage.Message = run.WalkFault();
  result.RebuildFault = run.RebuildFault();
  if (!goOn || !result.Damage.Message.empty() || !result.RebuildFault.empty()) {
    result.MainProgram.clear();
  }
  Wait(500);
  return result;
}

int FailedWriteCount() { return failedWrites; }
