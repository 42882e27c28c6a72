// Shared by the packager's native tests: running the orvane-pack program
// and reading and writing whole files.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "package/format.h"

struct TRun {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr
};

#ifdef ORVANE_PACK
// Runs orvane-pack with `arguments` (shell words) and collects its output.
inline TRun Pack(const std::string& arguments) {
  TRun run;
  FILE* pipe = popen((std::string(ORVANE_PACK) + " " + arguments + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
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
