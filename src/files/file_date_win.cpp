#include "files/file_date.h"

#include <windows.h>

#include "util/handle.h"

int32_t FileDosDateTime(const std::string& path) {
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME written, local;
  WORD dosDate = 0, dosTime = 0;
  if (!file || !GetFileTime(file.get(), nullptr, nullptr, &written) ||
      !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
    return -1;
  }
  return static_cast<int32_t>((static_cast<uint32_t>(dosDate) << 16) | dosTime);
}
