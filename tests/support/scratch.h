// A scratch folder of the test's own, removed with everything in it when
// its owner goes, and whole files read, written and looked for in it. The
// same interface natively (below /tmp) and under Wine (below the Windows
// temp folder).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include "files/file_ops.h"
#include "util/winapi.h"
#endif

class TScratch {
 public:
  explicit TScratch(const std::string& name = "orvane-test") {
#ifdef _WIN32
    static int counter = 0;
    root_ = TempDir(true) + name + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
    EXPECT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
#else
    std::string pattern = "/tmp/" + name + "-XXXXXX";
    EXPECT_NE(mkdtemp(&pattern[0]), nullptr) << pattern;
    root_ = pattern;
#endif
  }
  ~TScratch() {
#ifdef _WIN32
    DeleteTree(root_, true);
#else
    std::system(("rm -rf '" + root_ + "'").c_str());
#endif
  }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;

  // The folder, without a separator at its end.
  const std::string& Root() const { return root_; }
  // `name` inside the folder; Path("") is the folder with its separator.
  std::string Path(const std::string& name) const { return root_ + kSeparator + name; }

 private:
#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif
  std::string root_;
};

// A test with a scratch folder of its own.
class TScratchFolderTest : public testing::Test {
 protected:
  std::string Path(const std::string& name) const { return scratch_.Path(name); }

  const TScratch scratch_;
};

// The whole file; empty when it cannot be read.
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Replaces the file with `bytes`; false when it cannot be written.
inline bool WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  out.close();
  return !out.fail();
}

// A file or a folder of that name is there.
inline bool Exists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return access(path.c_str(), F_OK) == 0;
#endif
}
