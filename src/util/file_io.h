// Plain reading of a file by offset, the same on Windows and Linux, so that
// the package reader and its tests share one code path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A file open for reading. On Windows other processes may keep reading and
// writing the file meanwhile (a launcher reads its own running image).
class TReadFile {
 public:
  TReadFile();
  ~TReadFile();
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;

  // Opens `path` (closing any file held before); false when it cannot be
  // opened.
  bool Open(const std::string& path);
  bool IsOpen() const;
  // Length in bytes, -1 when no file is open or it cannot be told.
  int64_t Size() const;
  // Moves the read position to `offset` from the start; false for a
  // negative offset or a failed seek.
  bool Seek(int64_t offset);
  // Reads up to `count` bytes at the read position and returns how many
  // were read: fewer at the end of the file, 0 on failure.
  size_t Read(void* data, size_t count);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// True when `path` names an existing file (a folder does not count).
bool FileExists(const std::string& path);

// Bytes per cluster of the drive that holds `path`, 0 when the system
// cannot tell. On Windows the drive is named by the first three characters
// of the path ("C:\").
int64_t ClusterSizeOf(const std::string& path);
