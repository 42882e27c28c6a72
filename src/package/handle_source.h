// A package disk file read through its own Win32 handle, for the walker:
// opened for sequential reading with sharing allowed, as the launcher reads
// packages while other processes (or itself) may hold them.
#pragma once

#include <windows.h>

#include "package/walker.h"
#include "util/handle.h"

class THandleSource : public TByteSource {
 public:
  // Called after every read: the extraction lets window messages run.
  using TAfterRead = void (*)();

  explicit THandleSource(const std::string& path, TAfterRead afterRead = nullptr);

  bool IsOpen() const { return file_.valid(); }
  HANDLE Handle() const { return file_.get(); }
  int64_t Size() override;
  size_t ReadAt(int64_t offset, void* data, size_t count) override;

 private:
  TFileHandle file_;
  TAfterRead afterRead_;
  // Where the file pointer stands: sequential reads skip the seek.
  int64_t position_ = -1;
};
