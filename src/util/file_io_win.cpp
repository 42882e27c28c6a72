#include "util/file_io.h"

#include <windows.h>

#include "util/handle.h"

struct TReadFile::TImpl {
  TFileHandle file;
};

TReadFile::TReadFile() : impl_(new TImpl) {}

TReadFile::~TReadFile() = default;

bool TReadFile::Open(const std::string& path) {
  impl_->file.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return impl_->file.valid();
}

bool TReadFile::IsOpen() const { return impl_->file.valid(); }

int64_t TReadFile::Size() const {
  LARGE_INTEGER size;
  if (!impl_->file.valid() || !GetFileSizeEx(impl_->file.get(), &size)) return -1;
  return size.QuadPart;
}

bool TReadFile::Seek(int64_t offset) {
  if (!impl_->file.valid() || offset < 0) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(impl_->file.get(), distance, nullptr, FILE_BEGIN) != 0;
}

size_t TReadFile::Read(void* data, size_t count) {
  if (!impl_->file.valid()) return 0;
  // ReadFile counts in DWORDs; larger requests go in pieces.
  char* out = static_cast<char*>(data);
  size_t total = 0;
  while (total < count) {
    const size_t left = count - total;
    const DWORD piece = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(impl_->file.get(), out + total, piece, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int64_t ClusterSizeOf(const std::string& path) {
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  const std::string root = path.substr(0, 3);
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return 0;
  return int64_t{sectorsPerCluster} * bytesPerSector;
}
