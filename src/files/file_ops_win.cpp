#include "files/file_ops.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "files/self_delete_text.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

constexpr size_t kLargeContent = 1048576;
// ReadFile and WriteFile take 32-bit counts; larger stretches go in turns.
constexpr int64_t kReadTurn = 64 * 1048576;

// Views with their lengths fixed at compile time, for Concat.
constexpr std::string_view kQuote = "\"";
constexpr std::string_view kBackslash = "\\";
constexpr std::string_view kRunBatch = "cmd.exe\" /c \"";

std::string JoinPath(const std::string& folder, const char* name) {
  std::string path = SetTrailingBackslash(folder, true);
  path += name;
  return path;
}

bool IsDots(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

bool IsFolder(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FileExistsPlain(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// What ListEntries says of an entry, in the character before its name.
constexpr char kFileEntry = 'f';
constexpr char kFolderEntry = 'd';
constexpr char kLinkedFolderEntry = 'l';  // a link into another place

// The entries of `mask` other than "." and "..", listed before anything is
// changed so that deletions cannot disturb the listing: each is its kind
// followed by its name.
std::vector<std::string> ListEntries(const std::string& mask) {
  std::vector<std::string> entries;
  WIN32_FIND_DATAA entry;
  TFindHandle find(FindFirstFileA(mask.c_str(), &entry));
  if (!find) return entries;
  do {
    if (IsDots(entry.cFileName)) continue;
    std::string item(1, !IsFolder(entry) ? kFileEntry
                        : IsLink(entry)  ? kLinkedFolderEntry
                                         : kFolderEntry);
    item += entry.cFileName;
    entries.push_back(std::move(item));
  } while (FindNextFileA(find.get(), &entry));
  return entries;
}

// The first find of `name` in the tree of `folder`: a file in the tree, or
// with `folders` the tree's first folder whose path ends in "\" + name.
// Links into other places are not walked into.
std::string FindInTree(const std::string& folder, const std::string& name, bool folders) {
  if (folders) {
    if (EndsWithText(Concat({kBackslash, name}), folder)) return folder;
  } else {
    std::string candidate = JoinPath(folder, name.c_str());
    if (FileExistsPlain(candidate)) return candidate;
  }
  for (const std::string& item : ListEntries(JoinPath(folder, "*.*"))) {
    if (item[0] != kFolderEntry) continue;
    std::string found = FindInTree(JoinPath(folder, item.c_str() + 1), name, folders);
    if (!found.empty()) return found;
  }
  return {};
}

bool StampHandle(HANDLE file, int32_t dateStamp) {
  FILETIME local;
  FILETIME universal;
  const uint32_t stamp = static_cast<uint32_t>(dateStamp);
  if (!DosDateTimeToFileTime(static_cast<WORD>(stamp >> 16), static_cast<WORD>(stamp & 0xFFFF),
                             &local) ||
      !LocalFileTimeToFileTime(&local, &universal)) {
    return false;
  }
  return SetFileTime(file, nullptr, nullptr, &universal) != FALSE;
}

TFileHandle OpenForAppend(const std::string& path) {
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && SetFilePointer(file.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    file.reset();
  }
  return file;
}

// Writes `length` bytes in turns of at most `turn` bytes; stops at the
// first turn that writes nothing. Gives the count written.
size_t WriteInTurns(HANDLE file, const char* data, size_t length, size_t turn) {
  size_t written = 0;
  while (written < length) {
    const DWORD ask = static_cast<DWORD>(std::min(turn, length - written));
    DWORD done = 0;
    if (!WriteFile(file, data + written, ask, &done, nullptr) || done == 0) break;
    written += done;
  }
  return written;
}

// Puts the short form of `path` in its place, when there is one.
void MakeShort(std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (length != 0 && length < sizeof buffer) path.assign(buffer, length);
}

}  // namespace

int64_t FileSizeOf(const std::string& path) {
  WIN32_FIND_DATAA entry;
  TFindHandle find(FindFirstFileA(path.c_str(), &entry));
  if (!find) return 0;
  return (static_cast<int64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

std::string ReadFilePart(const std::string& path, int64_t offset, int64_t maxLength) {
  if (!FileExistsPlain(path)) return {};
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size)) return {};
  int64_t count = size.QuadPart - offset;
  if (maxLength > 0) count = std::min(maxLength, count);
  if (offset < 0 || offset >= size.QuadPart || count <= 0) return {};
  if (static_cast<uint64_t>(count) > std::string().max_size()) return {};
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return {};
  // A part larger than the free address space gives "": the room is tried
  // first, since the launcher's allocations end the process when they fail.
  // From here the count fits a size_t, checked above.
  const size_t length = static_cast<size_t>(count);
  void* room = std::malloc(length + 1);
  if (room == nullptr) return {};
  std::free(room);
  std::string data(length, '\0');
  size_t done = 0;
  while (done < length) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(kReadTurn, length - done));
    if (!ReadFile(file.get(), &data[done], ask, &got, nullptr) || got == 0) return {};
    done += got;
  }
  return data;
}

bool WriteWholeFile(const std::string& path, const std::string& content, int32_t dateStamp,
                    bool append) {
  TFileHandle file =
      append ? OpenForAppend(path)
             : TFileHandle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Large contents go in ten slices (at most 1 MB each), the last slice
  // taking the rest; anything up to 1 MB goes in one call.
  const size_t turn = content.size() > kLargeContent ? std::min(content.size() / 10, kLargeContent)
                                                     : std::max<size_t>(content.size(), 1);
  const size_t written = WriteInTurns(file.get(), content.data(), content.size(), turn);
  if (written == content.size() && dateStamp != 0) StampHandle(file.get(), dateStamp);
  return written == content.size();
}

bool AppendToFile(const std::string& path, const std::string& content, int32_t dateStamp) {
  TFileHandle file = OpenForAppend(path);
  if (!file) return false;
  DWORD written = 0;
  if (!content.empty() && !WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                                     &written, nullptr)) {
    written = 0;
  }
  const bool complete = written == content.size();
  if (dateStamp != 0) StampHandle(file.get(), dateStamp);
  return complete;
}

bool SetFileDateStamp(const std::string& path, int32_t dateStamp) {
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && StampHandle(file.get(), dateStamp);
}

bool SetOpenFileDateStamp(void* file, int32_t dateStamp) { return StampHandle(file, dateStamp); }

double DriveFreeSpace(const std::string& path) {
  char root[] = "A:\\";
  const char* rootArg = nullptr;
  if (!path.empty()) {
    const char letter = path[0];
    root[0] = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    rootArg = root;
  }
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  if (!GetDiskFreeSpaceA(rootArg, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return -1;
  }
  return static_cast<double>(freeClusters) * sectorsPerCluster * bytesPerSector;
}

std::string FindFileInTree(const std::string& folder, const std::string& name) {
  return FindInTree(folder, name, false);
}

std::string FindFolderInTree(const std::string& folder, const std::string& name) {
  return FindInTree(folder, name, true);
}

namespace {

// The first find of `name` (a folder when `folders`) in the trees of the
// drives of type `driveType`, C: to Z:.
std::string SearchDrives(int driveType, const std::string& name, bool folders) {
  if (driveType < 0) return {};
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    if (GetDriveTypeA(root) != static_cast<UINT>(driveType)) continue;
    std::string found = FindInTree(root, name, folders);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace

std::string FindFileOnDrives(const std::string& name, int driveType) {
  return SearchDrives(driveType, name, false);
}

std::string FindFolderOnDrives(const std::string& name, int driveType) {
  return SearchDrives(driveType, name, true);
}

bool DeleteByMask(const std::string& mask, bool resetAttributes) {
  const std::string folder = ExtractFilePath(mask);
  bool matched = false;
  for (const std::string& item : ListEntries(mask)) {
    if (item[0] != kFileEntry) continue;
    matched = true;
    std::string path = folder;
    path.append(item, 1, std::string::npos);
    if (resetAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
  return matched;
}

namespace {

void EmptyTree(const std::string& folder, bool resetAttributes) {
  DeleteByMask(JoinPath(folder, "*.*"), resetAttributes);
  for (const std::string& item : ListEntries(JoinPath(folder, "*.*"))) {
    if (item[0] == kFileEntry) continue;
    const std::string sub = JoinPath(folder, item.c_str() + 1);
    // A link is removed as itself; walking into it would delete the files
    // of the folder it points to, which lies outside this tree.
    if (item[0] == kFolderEntry) EmptyTree(sub, resetAttributes);
    RemoveDirectoryA(sub.c_str());
  }
}

}  // namespace

bool DeleteTree(const std::string& folder, bool resetAttributes) {
  if (folder.empty()) return false;
  const std::string path = SetTrailingBackslash(folder, false);
  const bool existed = DirExists(path);
  EmptyTree(path, resetAttributes);
  RemoveDirectoryA(path.c_str());
  return existed && !DirExists(path);
}

bool DirExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::string& path) {
  const std::string folder = SetTrailingBackslash(path, false);
  if (folder.empty()) return false;
  if (DirExists(folder)) return true;
  const std::string parent = SetTrailingBackslash(ExtractFileDir(folder), false);
  if (!parent.empty() && parent.size() < folder.size()) ForceDirectories(parent);
  CreateDirectoryA(folder.c_str(), nullptr);
  return DirExists(folder);
}

void WriteSelfDeleteBatch(bool removeFolder, bool shortNames) {
  const std::string temp = TempDir(true);
  std::string batch = temp;
  batch += kSelfDeleteBatchName;
  // The placeholder makes the file exist, so that its short form can be
  // asked for.
  WriteWholeFile(batch, std::string("ABC\r\n", 5), 0, false);
  std::string exe = ProgramPath();
  std::string folder = SelfDeleteFolderOf(exe);
  if (shortNames) {
    MakeShort(batch);
    MakeShort(exe);
    MakeShort(folder);
  }
  WriteWholeFile(batch, SelfDeleteBatchText(exe, folder, batch, removeFolder, shortNames), 0,
                 false);
  // The interpreter comes from the system folder, never from the search
  // path, and runs in the temporary folder: a batch whose current folder
  // were the program's own could not remove that folder.
  std::string command = Concat({kQuote, SystemDir(true), kRunBatch, batch, kQuote});
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                     temp.c_str(), &startup, &started)) {
    THandle process(started.hProcess);
    THandle thread(started.hThread);
  }
}
