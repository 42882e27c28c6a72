#include "package/extract_rules.h"

#include <zlib.h>

#include <cstring>
#include <string_view>

#include "package/format.h"
#include "util/text.h"

using namespace std::string_view_literals;

// ---- Entry headers and names ----------------------------------------------

TEntryHeader ParseEntryHeader(const std::string& header) {
  TEntryHeader entry;
  if (header.find('*') != std::string::npos) {
    entry.MarksMain = true;
    entry.MainProgram = header;
  }
  std::string& name = entry.Name;
  name = GetField(header, 0, std::string());
  const size_t star = name.find('*');
  if (star != std::string::npos) {
    entry.MainProgram = name;
    name.erase(star);
  }
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  // Dates from 2044 on have the top bit set, so the field is read wide and
  // cut to its 32 bits.
  entry.DateStamp = static_cast<uint32_t>(StrToInt64Def(GetField(header, 1, std::string()), 0));
  entry.IsPatch = GetField(header, 2, std::string()) == kPatchEntryMark;
  return entry;
}

namespace {

// A segment Windows resolves to the parent folder or further up: two or
// more dots with nothing else but blanks (trailing dots and blanks are
// dropped from names).
bool IsParentSegment(std::string_view segment) {
  int dots = 0;
  for (char c : segment) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty()) return true;
  if (name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    if (IsParentSegment(std::string_view(name).substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

// ---- Block stream ---------------------------------------------------------

std::string DiskFileName(const std::string& packagePath, int diskNumber) {
  if (diskNumber <= 1) return packagePath;
  return Concat({packagePath, "."sv, ZeroPad(diskNumber, 3)});
}

bool MoreBlocksAt(int64_t position, int64_t packageEnd) {
  return packageEnd - position > kTrailerSize;
}

bool BlockFits(int64_t position, int32_t length, int64_t packageEnd) {
  if (position < 0 || length < 0) return false;
  return position + 4 + static_cast<int64_t>(length) <= packageEnd;
}

// ---- Box texts --------------------------------------------------------------

std::string FailedWriteText(const std::string& path, const std::string& systemError,
                            int64_t dataSize, int64_t fileSize, double freeBytes) {
  return Concat({path, "<P><P>Unable to save Extracted File!<P><P>"sv, systemError,
                 "<P>Data Size: <T>"sv, Decimal(dataSize), " Bytes<P>File Size: <T>"sv,
                 Decimal(fileSize), " Bytes<P>Bytes Free: <T>"sv,
                 Decimal(static_cast<int64_t>(freeBytes)), " Bytes"sv});
}

std::string UnsafeNameText(const std::string& name) {
  return Concat({name, "<P><P>Unable to save Extracted File!"sv});
}

std::string DamagedEntryText(const std::string& diskPath, int entryNumber, int64_t offset,
                             std::string_view reason) {
  const bool entry = entryNumber > 0;
  return Concat({diskPath, entry ? "<P><P>Damaged entry "sv : "<P><P>Damaged package data"sv,
                 entry ? Decimal(entryNumber) : std::string(), " at offset "sv, Decimal(offset),
                 "!<P><P>"sv, reason});
}

std::string NoTargetFolderText(const std::string& folder, const std::string& systemError) {
  return Concat({folder, "<P><P>Unable to create Directory!<P><P>"sv, systemError});
}

// ---- Streaming inflate --------------------------------------------------------

struct TEntryInflater::TStream {
  z_stream z{};
  bool initialised = false;
};

TEntryInflater::TEntryInflater(size_t outputSize)
    : stream_(new TStream), output_(new uint8_t[outputSize]), outputSize_(outputSize) {
  // Packages are read with the interface of zlib 1.1.4; any 1.x library
  // accepts that version.
  const int code = inflateInit_(&stream_->z, "1.1.4", static_cast<int>(sizeof(z_stream)));
  if (code != Z_OK) {
    Fail(code);
    return;
  }
  stream_->initialised = true;
}

TEntryInflater::~TEntryInflater() {
  if (stream_->initialised) inflateEnd(&stream_->z);
}

void TEntryInflater::Fail(int code) {
  state_ = TState::Failed;
  // zlib has a text for every code its inflate returns.
  errorText_ = zError(code);
  const char* detail = stream_->z.msg;
  if (detail != nullptr && errorText_ != detail) {
    errorText_ += " (";
    errorText_ += detail;
    errorText_ += ')';
  }
}

void TEntryInflater::Deliver(const uint8_t* data, size_t size, TEntrySink& sink) {
  if (phase_ == TPhase::Header) {
    const void* zero = std::memchr(data, 0, size);
    const size_t headerPart =
        zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    if (header_.size() + headerPart > kMaxEntryHeader) {
      phase_ = TPhase::Skip;
      header_.clear();
      return;
    }
    header_.append(reinterpret_cast<const char*>(data), headerPart);
    if (zero == nullptr) return;
    phase_ = TPhase::Content;
    // An entry that starts with 0x00 has an empty header and is skipped.
    if (header_.empty()) {
      phase_ = TPhase::Skip;
      return;
    }
    sink.OnHeader(header_);
    data += headerPart + 1;
    size -= headerPart + 1;
  }
  if (phase_ != TPhase::Content || size == 0) return;
  contentSize_ += static_cast<int64_t>(size);
  sink.OnContent(data, size);
}

TEntryInflater::TState TEntryInflater::Feed(const uint8_t* data, size_t size, TEntrySink& sink) {
  if (state_ != TState::Running) return state_;
  z_stream& z = stream_->z;
  // zlib reads through a non-const pointer but never writes the input.
  z.next_in = const_cast<Bytef*>(data);
  // Pieces are at most 64 KiB, far below zlib's 32-bit counters.
  z.avail_in = static_cast<uInt>(size);
  for (;;) {
    z.next_out = output_.get();
    z.avail_out = static_cast<uInt>(outputSize_);
    const int code = inflate(&z, Z_NO_FLUSH);
    const size_t produced = outputSize_ - z.avail_out;
    if (produced > 0) Deliver(output_.get(), produced, sink);
    if (code == Z_STREAM_END) {
      state_ = TState::Finished;
      return state_;
    }
    // Z_BUF_ERROR: no progress without more input, which the next piece
    // brings (or Finish reports as a truncated stream).
    if (code == Z_BUF_ERROR) return state_;
    if (code != Z_OK) {
      Fail(code);
      return state_;
    }
    // A full output buffer may leave output pending inside zlib; an empty
    // input with room to spare means this piece is done.
    if (z.avail_out != 0 && z.avail_in == 0) return state_;
  }
}

TEntryInflater::TState TEntryInflater::Finish() {
  if (state_ == TState::Running) Fail(Z_BUF_ERROR);
  return state_;
}
