#include "pack/pack_files.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "util/handle.h"

namespace {

bool ListInto(const std::string& folder, const std::string& prefix,
              std::vector<std::string>& names) {
  WIN32_FIND_DATAA found;
  TFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!ListInto(folder + "\\" + name, prefix + name + "\\", names)) return false;
    } else {
      names.push_back(prefix + name);
    }
  } while (FindNextFileA(find.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace

bool SourceFileStat(const std::string& path, int64_t& size, uint32_t& dosDateTime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  size = static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  dosDateTime = 0;
  if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
      FileTimeToDosDateTime(&local, &date, &time)) {
    dosDateTime = static_cast<uint32_t>(date) << 16 | time;
  }
  return true;
}

bool ListFolderFiles(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (!ListInto(folder, "", names)) return false;
  std::sort(names.begin(), names.end());
  return true;
}

bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CreateFolderTree(const std::string& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const size_t slash = folder.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0 && folder[slash - 1] != ':' &&
      !CreateFolderTree(folder.substr(0, slash))) {
    return false;
  }
  return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string NativeRelativePath(const std::string& packageName) { return packageName; }

bool OutputIsTerminal() { return _isatty(_fileno(stdout)) != 0 && _isatty(_fileno(stderr)) != 0; }

std::vector<std::string> InstalledLauncherPaths() {
  char own[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::string program(own, length);
  return {program.substr(0, program.find_last_of("\\/") + 1) + "Stub.exe"};
}
