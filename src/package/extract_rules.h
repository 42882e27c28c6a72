// The platform-free half of the extraction engine: the rules for entry
// names and headers, the bounds of the block stream, the texts of the
// engine's error boxes, and the streaming inflater that turns one entry's
// block into its header and its content without ever holding the entry
// whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/markup.h"

// The error box of the engine: fixed caption and buttons, charset 0.
inline constexpr const char* kEngineBoxCaption = "Error";
inline constexpr const char* kEngineBoxButtons = kDefaultButtonTexts;

// The engine reads a block in pieces of at most this size and inflates
// into a fixed buffer of the same size.
inline constexpr size_t kBlockPieceSize = 65536;

// Longest entry header the engine accepts. A header is a name and a date;
// an entry whose first 0x00 lies further in is treated like one without any
// 0x00: it is skipped, so a hostile entry cannot make the header grow with
// the entry.
inline constexpr size_t kMaxEntryHeader = 65536;

// ---- Entry headers and names ----------------------------------------------

// What the engine takes from an entry's header.
struct TEntryHeader {
  // Field 0 without its "*" marker and what follows it; "/" turned into "\".
  std::string Name;
  // Packed DOS date/time from field 1; 0 leaves the file's date alone.
  uint32_t DateStamp = 0;
  // The header carries "*": the entry's file is the main program.
  bool MarksMain = false;
  // What the main program becomes when MarksMain: field 0 with its marker
  // when the marker is there, else the whole header.
  std::string MainProgram;
  // Field 2 is kPatchEntryMark: the content is a patch that rebuilds the
  // file from the installed file of the same name. A patch is one entry,
  // never split into pieces.
  bool IsPatch = false;
};

inline constexpr char kPatchEntryMark[] = "patch";

TEntryHeader ParseEntryHeader(const std::string& header);

// Entry names come from the package and are not trusted: false for a name
// that is absolute, names a drive or stream (any ":"), starts with "\" or
// "/", or has a segment of only dots (at least two) and blanks, which
// Windows reads as the parent folder. Subfolders ("data\a.bin") are fine.
bool IsSafeEntryName(const std::string& name);

// ---- Block stream ---------------------------------------------------------

// Disk n of a spanned package: disk 1 is the package itself, disk n >= 2
// the package path + "." + n as three digits ("setup.exe.002").
std::string DiskFileName(const std::string& packagePath, int diskNumber);

// True while another block may start at `position`: more than the 74 bytes
// of a trailer remain before `packageEnd`.
bool MoreBlocksAt(int64_t position, int64_t packageEnd);

// True when a block whose int32 length field lies at `position` and holds
// `length` lies wholly before `packageEnd`.
bool BlockFits(int64_t position, int32_t length, int64_t packageEnd);

// ---- Box texts --------------------------------------------------------------

// The failed-write box: names the file, the system's error text, the size
// of the content, the file's size now and the free bytes of its drive.
std::string FailedWriteText(const std::string& path, const std::string& systemError,
                            int64_t dataSize, int64_t fileSize, double freeBytes);

// The box for an entry whose name would leave the target folder.
std::string UnsafeNameText(const std::string& name);

// The box for a damaged package: the disk file, the entry number (0 for a
// fault of the block stream before any entry), the offset of the block and
// the reason.
std::string DamagedEntryText(const std::string& diskPath, int entryNumber, int64_t offset,
                             std::string_view reason);

// The box for a delta package whose files cannot be rebuilt, before the
// file and the reason: a delta is only ever installed by the agent of the
// release it was made against.
inline constexpr char kRebuildFaultText[] =
    "This update rebuilds the files of the installed release and cannot be used here:<P><P>";

// The box for an empty target folder.
std::string NoTargetFolderText(const std::string& folder, const std::string& systemError);

// ---- Streaming inflate --------------------------------------------------------

// Receives what one entry inflates to, in order: at most one OnHeader,
// then the content piece by piece.
class TEntrySink {
 public:
  virtual ~TEntrySink() = default;
  // The bytes before the first 0x00 of the inflated entry (never empty).
  virtual void OnHeader(const std::string& header) = 0;
  // The next bytes of the content (behind the 0x00).
  virtual void OnContent(const uint8_t* data, size_t size) = 0;
};

// Inflates one zlib stream fed in pieces (zlib's inflateInit with version
// "1.1.4" and the size of its stream record, inflate without flushing) into
// a fixed output buffer, and splits the output at its first 0x00. Memory
// use is the buffer and the header, whatever the size of the entry.
class TEntryInflater {
 public:
  enum class TState { Running, Finished, Failed };

  explicit TEntryInflater(size_t outputSize = kBlockPieceSize);
  ~TEntryInflater();
  TEntryInflater(const TEntryInflater&) = delete;
  TEntryInflater& operator=(const TEntryInflater&) = delete;

  // Inflates the next piece of the block. Bytes behind the end of the
  // stream are ignored; after a failure nothing more happens.
  TState Feed(const uint8_t* data, size_t size, TEntrySink& sink);
  // Called once the whole block was fed: a stream that has not reached its
  // end is truncated and fails with zlib's "buffer error".
  TState Finish();

  TState State() const { return state_; }
  // zlib's text for the failing code ("data error", "buffer error", ...),
  // followed by zlib's detail in parentheses when it gave one.
  const std::string& ErrorText() const { return errorText_; }
  // Bytes of content passed to the sink so far.
  int64_t ContentSize() const { return contentSize_; }
  // The entry had a 0x00 within kMaxEntryHeader bytes.
  bool HasHeader() const { return phase_ == TPhase::Content; }

 private:
  enum class TPhase { Header, Content, Skip };

  void Fail(int code);
  void Deliver(const uint8_t* data, size_t size, TEntrySink& sink);

  struct TStream;
  std::unique_ptr<TStream> stream_;
  std::unique_ptr<uint8_t[]> output_;
  size_t outputSize_;
  TState state_ = TState::Running;
  TPhase phase_ = TPhase::Header;
  std::string header_;
  int64_t contentSize_ = 0;
  std::string errorText_;
};
