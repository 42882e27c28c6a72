// Bytes that the tests put together by hand: random contents, little-endian
// int32 fields, the blocks and zlib entries of a package's stream, launcher
// images, and whole disk files for layouts the packager refuses to write.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "package/format.h"

// `size` bytes from `random`, each below `alphabet` (256: any byte).
inline std::string RandomBytes(std::mt19937& random, size_t size, int alphabet = 256) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % alphabet);
  return bytes;
}

// The same bytes for the same `seed` on every run.
inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  return RandomBytes(random, size);
}

inline void PutInt32(std::string& bytes, size_t offset, int32_t value) {
  std::memcpy(&bytes[offset], &value, 4);
}

inline std::string Int32Bytes(int32_t value) {
  std::string bytes(4, '\0');
  PutInt32(bytes, 0, value);
  return bytes;
}

// A block of the package's stream: its int32 length, then its bytes.
inline std::string Block(const std::string& bytes) {
  return Int32Bytes(static_cast<int32_t>(bytes.size())) + bytes;
}

// A trailer's bytes as a package carries them.
inline std::string TrailerBytes(const PackageTrailer& trailer) {
  return std::string(reinterpret_cast<const char*>(&trailer), sizeof trailer);
}

// zlib's stream of `bytes` at level 9. zlib refusing is no result a test
// could check, so it ends the program.
inline std::string Deflated(const std::string& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
                reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                9) != Z_OK) {
    std::abort();
  }
  out.resize(size);
  return out;
}

// An entry's zlib stream: its header ("|name|0|"), the 0x00, the content.
inline std::string EntryBlock(const std::string& header, const std::string& content) {
  return Deflated(header + std::string(1, '\0') + content);
}

// `bytes` as the launcher image that readers look for: "MZ" at 0, "PE" at
// 256 and `packageEnd` in PackageEnd.
inline std::string MarkAsImage(std::string bytes, int32_t packageEnd = 0) {
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[kPeSignatureOffset] = 'P';
  bytes[kPeSignatureOffset + 1] = 'E';
  PutInt32(bytes, kPackageEndOffset, packageEnd);
  return bytes;
}

// A launcher image of random bytes around those fields.
inline std::string FakeStub(size_t size, uint32_t seed, int32_t packageEnd = 0) {
  return MarkAsImage(RandomBytes(size, seed), packageEnd);
}

// One disk file made by hand: disk 1 is a launcher image (FakeStub) with
// the two text lists and PackageEnd set, a further disk a plain file of
// blocks. The trailer and the checksum are right.
struct THandMadeDisk {
  std::vector<std::string> Blocks;
  std::string Stream;   // bytes after the blocks as they stand, framed or not
  int FilesCount = -1;  // -1: the number of Blocks
  bool First = true;
  bool Another = false;  // announces a further disk
  std::string LangTexts = "\x02|lang|";
  std::string InfoList = "|info|";
  size_t StubSize = 1536;
  uint32_t StubSeed = 7;
  std::function<void(PackageTrailer&)> Tweak;  // changes the trailer before the checksum
};

inline std::string HandMade(const THandMadeDisk& d) {
  std::string file = d.First ? FakeStub(d.StubSize, d.StubSeed) : std::string("DISK");
  PackageTrailer t{};
  t.FormatByte = 1;
  t.HeaderBlockCount = 2;
  t.DataOffset = static_cast<int32_t>(file.size());
  t.FilesCount = d.FilesCount < 0 ? static_cast<int32_t>(d.Blocks.size()) : d.FilesCount;
  t.PackageMagic = kPackageMagic;
  t.TrailerLength = kTrailerSize;
  if (d.Another) t.PackageFlags = kFlagHasNextDisk;
  if (d.Tweak) d.Tweak(t);
  if (d.First) file += Block(d.LangTexts) + Block(d.InfoList);
  for (const std::string& block : d.Blocks) file += Block(block);
  file += d.Stream;
  if (d.First) PutInt32(file, kPackageEndOffset, static_cast<int32_t>(file.size() + kTrailerSize));
  t.ExpectedCrc = CrcOfImage(file + std::string(kTrailerSize, '\0'));
  return file + TrailerBytes(t);
}
