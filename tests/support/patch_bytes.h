// Patches put together by hand, record by record, and applied to bytes in
// memory: what the decoder's tests and the packager's tests share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/patch.h"

inline void PutNumber(std::string& out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>(value | 0x80);
  out += static_cast<char>(value);
}

inline std::string PatchHead(uint64_t oldSize, uint64_t newSize) {
  TPatchHeader header;
  header.OldSize = oldSize;
  header.NewSize = newSize;
  header.NewSha256[0] = 1;  // tells the two hashes apart where a test looks
  std::string out(kPatchHeaderSize, '\0');
  WritePatchHeader(header, reinterpret_cast<uint8_t*>(&out[0]));
  return out;
}

// One record: `copy` old bytes with the copy's pairs as given (numbers and
// bytes already coded), `extra` bytes, then the seek.
inline std::string PatchRecord(uint64_t copy, const std::string& pairs, const std::string& extra,
                               int64_t seek) {
  std::string out;
  PutNumber(out, copy);
  PutNumber(out, extra.size());
  PutNumber(out,
            seek < 0 ? (static_cast<uint64_t>(~seek) << 1 | 1) : static_cast<uint64_t>(seek) << 1);
  return out + pairs + extra;
}

// The pairs of a copy that turns `from` into `to` (same length).
inline std::string CopyPairs(const std::string& from, const std::string& to) {
  std::string out;
  size_t same = 0;
  for (size_t i = 0; i < to.size(); ++i) {
    if (from[i] == to[i]) {
      ++same;
      continue;
    }
    PutNumber(out, same);
    out += static_cast<char>(static_cast<uint8_t>(to[i]) - static_cast<uint8_t>(from[i]));
    same = 0;
  }
  if (same) PutNumber(out, same);
  return out;
}

// An old file in memory; the new one collects what the patch writes.
// `refuse` makes Begin fail; `failRead` and `failWrite` fail the first
// read or write.
struct TMemoryPatchTarget : TPatchTarget {
  std::string old;
  std::string written;
  bool refuse = false;
  bool failRead = false;
  bool failWrite = false;
  int reads = 0;

  bool Begin(const TPatchHeader&) override { return !refuse; }
  bool ReadOld(uint64_t offset, uint8_t* data, size_t count) override {
    ++reads;
    if (failRead || offset + count > old.size()) return false;
    std::memcpy(data, old.data() + offset, count);
    return true;
  }
  bool Write(const uint8_t* data, size_t size) override {
    if (failWrite) return false;
    written.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
};

// Feeds `patch` to a decoder over `target` in pieces of `piece` bytes.
inline TPatchState ApplyPatch(TMemoryPatchTarget& target, const std::string& patch,
                              size_t piece = 1 << 20, std::string* error = nullptr) {
  TPatchDecoder decoder(target);
  for (size_t at = 0; at < patch.size(); at += piece) {
    const size_t size = patch.size() - at < piece ? patch.size() - at : piece;
    decoder.Feed(reinterpret_cast<const uint8_t*>(patch.data()) + at, size);
  }
  const TPatchState state = decoder.Finish();
  if (error) *error = decoder.Error();
  return state;
}
