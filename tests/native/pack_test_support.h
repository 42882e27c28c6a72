// Shared by the native tests: running the orvane-pack program, reading and
// writing whole files, a scratch folder per test, and packages put together
// by hand for layouts the packager refuses to write.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "package/format.h"

struct TRun {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr
};

// Runs a shell command line and collects its output.
inline TRun Shell(const std::string& command) {
  TRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

#ifdef ORVANE_PACK
// Runs orvane-pack with `arguments` (shell words) and collects its output.
inline TRun Pack(const std::string& arguments) {
  return Shell(std::string(ORVANE_PACK) + " " + arguments);
}
#endif

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// A launcher image as the packager checks it: "MZ" at 0, "PE" at 256 and
// PackageEnd's four zero bytes before it; random bytes everywhere else.
inline std::string FakeStub(size_t size, uint32_t seed) {
  std::string image = RandomBytes(size, seed);
  image[0] = 'M';
  image[1] = 'Z';
  image[256] = 'P';
  image[257] = 'E';
  std::memset(&image[kPackageEndOffset], 0, 4);
  return image;
}

// A test with its own scratch folder below /tmp, removed afterwards.
class TScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-pack-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

inline void PutInt32(std::string& bytes, size_t offset, int32_t value) {
  std::memcpy(&bytes[offset], &value, 4);
}

// A block of the package's stream: its int32 length, then its bytes.
inline std::string Block(const std::string& bytes) {
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  return std::string(reinterpret_cast<const char*>(&length), 4) + bytes;
}

inline std::string Deflated(const std::string& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
            bytes.size(), 9);
  out.resize(size);
  return out;
}

// An entry's zlib block: header "|name|0|", the 0x00, then the content.
inline std::string Entry(const std::string& name, const std::string& content) {
  return Deflated("|" + name + "|0|" + std::string(1, '\0') + content);
}

// One disk file made by hand: disk 1 is a launcher image (FakeStub) with
// the two text lists and PackageEnd set, a further disk a plain file of
// blocks. The trailer and the checksum are right.
struct THandMadeDisk {
  std::vector<std::string> Blocks;
  bool First = true;
  bool Another = false;  // announces a further disk
  std::string LangTexts = "\x02|lang|";
  std::string InfoList = "|info|";
  uint32_t StubSeed = 7;
};

inline std::string HandMade(const THandMadeDisk& d) {
  std::string file = d.First ? FakeStub(1536, d.StubSeed) : std::string("DISK");
  PackageTrailer t{};
  t.FormatByte = 1;
  t.HeaderBlockCount = 2;
  t.DataOffset = static_cast<int32_t>(file.size());
  t.FilesCount = static_cast<int32_t>(d.Blocks.size());
  t.PackageMagic = kPackageMagic;
  t.TrailerLength = kTrailerSize;
  if (d.Another) t.PackageFlags = kFlagHasNextDisk;
  if (d.First) file += Block(d.LangTexts) + Block(d.InfoList);
  for (const std::string& block : d.Blocks) file += Block(block);
  if (d.First) PutInt32(file, kPackageEndOffset, static_cast<int32_t>(file.size() + kTrailerSize));
  file += std::string(kTrailerSize, '\0');
  t.ExpectedCrc = CrcOfImage(file);
  std::memcpy(&file[file.size() - kTrailerSize], &t, kTrailerSize);
  return file;
}
