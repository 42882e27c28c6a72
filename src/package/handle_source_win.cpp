#include "package/handle_source.h"

THandleSource::THandleSource(const std::string& path, TAfterRead afterRead)
    : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
      afterRead_(afterRead) {}

int64_t THandleSource::Size() {
  LARGE_INTEGER size;
  if (!file_ || !GetFileSizeEx(file_.get(), &size)) return -1;
  return size.QuadPart;
}

size_t THandleSource::ReadAt(int64_t offset, void* data, size_t count) {
  if (!file_ || offset < 0) return 0;
  if (offset != position_) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    position_ = -1;
    if (!SetFilePointerEx(file_.get(), distance, nullptr, FILE_BEGIN)) return 0;
  }
  // The walker reads at most a few hundred KiB at a time: one DWORD count.
  DWORD got = 0;
  const bool ok = ReadFile(file_.get(), data, static_cast<DWORD>(count), &got, nullptr) != 0;
  position_ = ok ? offset + got : -1;
  if (afterRead_ != nullptr) afterRead_();
  return ok ? got : 0;
}
