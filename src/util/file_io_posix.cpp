#include "util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

struct TReadFile::TImpl {
  int fd = -1;
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  ~TImpl() { Close(); }
};

TReadFile::TReadFile() : impl_(new TImpl) {}

TReadFile::~TReadFile() = default;

bool TReadFile::Open(const std::string& path) {
  impl_->Close();
  struct stat info;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  impl_->fd = fd;
  return true;
}

bool TReadFile::IsOpen() const { return impl_->fd >= 0; }

int64_t TReadFile::Size() const {
  struct stat info;
  if (impl_->fd < 0 || fstat(impl_->fd, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool TReadFile::Seek(int64_t offset) {
  if (impl_->fd < 0 || offset < 0) return false;
  return lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

size_t TReadFile::Read(void* data, size_t count) {
  if (impl_->fd < 0) return 0;
  char* out = static_cast<char*>(data);
  size_t total = 0;
  while (total < count) {
    ssize_t got = read(impl_->fd, out + total, count - total);
    if (got <= 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int64_t ClusterSizeOf(const std::string& path) {
  struct statvfs info;
  if (statvfs(path.c_str(), &info) == 0) return static_cast<int64_t>(info.f_bsize);
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (statvfs(folder.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.f_bsize);
}
