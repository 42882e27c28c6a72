#include "pack/pack_files.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "package/format.h"

namespace {

struct TDirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool ListInto(const std::string& folder, const std::string& prefix,
              std::vector<std::string>& names) {
  std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.c_str()));
  if (!dir) return false;
  while (dirent* item = readdir(dir.get())) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = folder + "/" + name;
    struct stat info;
    if (stat(full.c_str(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
      if (!ListInto(full, prefix + name + "\\", names)) return false;
    } else if (S_ISREG(info.st_mode)) {
      names.push_back(prefix + name);
    }
  }
  return true;
}

}  // namespace

bool SourceFileStat(const std::string& path, int64_t& size, uint32_t& dosDateTime) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<int64_t>(info.st_size);
  std::tm local{};
  const time_t when = info.st_mtime;
  if (localtime_r(&when, &local) == nullptr) {
    dosDateTime = 0;
    return true;
  }
  dosDateTime = PackDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, local.tm_sec);
  return true;
}

bool ListFolderFiles(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  if (!ListInto(folder, "", names)) return false;
  std::sort(names.begin(), names.end());
  return true;
}

bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateFolderTree(const std::string& folder) {
  struct stat info;
  if (folder.empty()) return false;
  if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !CreateFolderTree(folder.substr(0, slash)))
    return false;
  return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string NativeRelativePath(const std::string& packageName) {
  std::string path = packageName;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool OutputIsTerminal() { return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1; }

std::vector<std::string> InstalledLauncherPaths() {
  // The real file, not a symbolic link to it, decides where its launcher is.
  std::unique_ptr<char, decltype(&free)> own(realpath("/proc/self/exe", nullptr), &free);
  if (!own) return {};
  const std::string program = own.get();
  const std::string folder = program.substr(0, program.find_last_of('/'));
  const std::string prefix = folder.substr(0, folder.find_last_of('/'));
  return {folder + "/Stub.exe", prefix + "/share/orvane/Stub.exe"};
}
