// The binary patch of a delta package: how one file of an installation is
// rebuilt into its next release from the older file and a stream of
// records. Pure logic, shared by the launcher (which applies patches), the
// packager (which writes them) and the unit tests.
//
// A patch, all numbers little-endian:
//   "OVP1", uint64 old size, uint64 new size, SHA-256 of the old file,
//   SHA-256 of the new file (84 bytes), then records until the new file is
//   whole. A record is three LEB128 numbers, then its data:
//     copy   bytes taken from the old file at the old position, in order;
//     extra  bytes taken from the patch as they are;
//     seek   zigzag-coded: how far the old position moves after the copy.
//   The copy's data says where the new bytes differ from the old ones, as
//   pairs: a LEB128 count of bytes taken unchanged, then, unless that count
//   ends the copy, one byte added (modulo 256) to the next old byte. A copy
//   of n bytes that equal the old ones is the single number n. The extra
//   bytes follow the copy's pairs.
// Nothing may be read outside the old file, nothing written beyond the new
// size, and nothing follow the record that completes the new file.
//
// The decoder never holds a file: it reads the old file where the records
// point, straight into its one buffer, adds the differing bytes there and
// hands the new file on in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

inline constexpr char kPatchMagic[] = "OVP1";
inline constexpr size_t kPatchHeaderSize = 84;
// The old file is read, and the new one handed on, in pieces of at most
// this size.
inline constexpr size_t kPatchBufferSize = 65536;

// The header behind the magic, as it lies in the patch (the launcher and
// the packager run on little-endian machines only).
struct TPatchHeader {
  uint64_t OldSize = 0;
  uint64_t NewSize = 0;
  uint8_t OldSha256[32] = {};
  uint8_t NewSha256[32] = {};
};
static_assert(sizeof(TPatchHeader) == kPatchHeaderSize - 4, "the header is read as it lies");

// The 84 bytes of a patch's header.
void WritePatchHeader(const TPatchHeader& header, uint8_t* out);

// Where a patch reads the old file and writes the new one.
class TPatchTarget {
 public:
  virtual ~TPatchTarget() = default;
  // The header was read; false when the old file does not match it, which
  // stops the patch.
  virtual bool Begin(const TPatchHeader& header) = 0;
  // Reads `count` bytes of the old file at `offset`, all within its size.
  virtual bool ReadOld(uint64_t offset, uint8_t* data, size_t count) = 0;
  // The next bytes of the new file.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

enum class TPatchState { Running, Done, Failed };

// Applies one patch fed in pieces of any size.
class TPatchDecoder {
 public:
  explicit TPatchDecoder(TPatchTarget& target);

  TPatchState Feed(const uint8_t* data, size_t size);
  // The whole patch was fed: one that has not completed the new file fails.
  TPatchState Finish();

  // Why the patch failed, for the debug log; empty while it has not.
  const char* Error() const { return p_.error ? p_.error : ""; }
  // The header as read (zero until the patch's first 84 bytes were fed).
  TPatchHeader Header() const;

 private:
  // The record's numbers in order, the copy's pairs, the extra bytes.
  enum TField { kCopy, kExtra, kSeek, kGap, kValue, kBytes };

  TPatchState Fail(const char* why);
  const char* OnNumber(uint64_t value);
  const char* Pass(uint64_t count);
  const char* ReadOld();
  const char* EndCopy();
  bool Flush();

  TPatchTarget& target_;
  std::unique_ptr<uint8_t[]> out_;
  // How far the patch has come; all zero at its start.
  struct TProgress {
    TPatchState state;  // Running or Failed
    const char* error;
    uint8_t head[kPatchHeaderSize];  // the magic and the header, as they lie
    size_t headFill;
    uint64_t oldSize;
    uint64_t newSize;
    int field;
    bool ended;  // the records so far make the whole new file
    uint64_t number;
    int shift;
    uint64_t promised;  // new bytes the records so far give
    uint64_t copyLeft;  // of the copy, not yet read from the old file
    uint64_t extra;
    uint64_t seek;  // zigzag-coded, as read
    uint64_t oldPos;
    // out_[0, outFill) is final; out_[outFill, readEnd) holds old bytes of
    // the copy that its pairs have not reached yet.
    size_t outFill;
    size_t readEnd;
  } p_{};
};
