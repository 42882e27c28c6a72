#include "package/setup_folder.h"

#include <windows.h>

#include <vector>

#include "files/file_date.h"
#include "files/file_ops.h"
#include "package/driver_rules.h"
#include "util/handle.h"
#include "util/lasting.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// The sweep looks at no more folders than this in one start.
constexpr size_t kSweepLimit = 64;
// Names tried for a new folder before giving up.
constexpr int kClaimAttempts = 20;

// The one record of the run's setup folder: its path (empty before the
// first use and after removal) and the mark that says it is ours.
TLasting<std::string> setupFolder;
bool madeHere = false;
TLasting<TFileHandle> heldMark;

std::string MarkPath(const std::string& folder) {
  std::string path = StripTrailingBackslash(folder);
  path.append(".LCK");
  return path;
}

// Opens (or creates) the mark so that no other process can delete or write
// it while the handle lives; a process that ends closes it with its handles.
HANDLE OpenMark(const std::string& folder, DWORD disposition) {
  return CreateFileA(MarkPath(folder).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     nullptr, disposition, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

// A mark that stays on a folder no process holds: the next sweep's.
void LeaveMark(const std::string& folder) { TFileHandle mark(OpenMark(folder, OPEN_ALWAYS)); }

std::vector<std::string> SetupFoldersIn(const std::string& root) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  TFindHandle find(FindFirstFileA((root + "SETUP_*").c_str(), &found));
  if (!find) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        IsSetupFolderName(found.cFileName)) {
      names.push_back(found.cFileName);
    }
  } while (names.size() < kSweepLimit && FindNextFileA(find.get(), &found));
  return names;
}

void SweepStaleSetupFolders(const std::string& root) {
  for (const std::string& name : SetupFoldersIn(root)) {
    const std::string folder = root + name;
    // Not ours without the mark; still in use while its run holds it.
    const std::string mark = MarkPath(folder);
    if (GetFileAttributesA(mark.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (!DeleteFileA(mark.c_str())) continue;
    if (!DeleteTree(folder, true) && DirExists(folder)) LeaveMark(folder);
  }
}

// Low 16 bits of the launcher file's packed DOS date/time: its time of day.
unsigned OwnFileTimeOfDay() {
  const int32_t stamp = FileDosDateTime(ProgramPath());
  return stamp == -1 ? 65535 : static_cast<unsigned>(stamp) & 0xFFFF;
}

// Sweeps the stale folders of `tempRoot`, then makes a new setup folder
// there (the first free name for `timeOfDay`) and holds its mark. Returns
// the folder, or a name that does not exist when none could be made.
std::string ClaimSetupFolder(const std::string& tempRoot, unsigned timeOfDay) {
  const std::string root = SetTrailingBackslash(tempRoot, true);
  ForceDirectories(root);
  SweepStaleSetupFolders(root);
  for (int attempt = 1; attempt <= kClaimAttempts; ++attempt) {
    const std::string folder = root + SetupFolderName(timeOfDay, attempt);
    // Making the folder claims the name; the mark follows at once.
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
      heldMark->reset(OpenMark(folder, CREATE_ALWAYS));
      madeHere = true;
      return folder;
    }
    // Taken by another run or by something not ours: try the next name.
    // Any other failure (a read-only or full root) fails every name alike.
    if (GetLastError() != ERROR_ALREADY_EXISTS) return folder;
  }
  return root + SetupFolderName(timeOfDay, kClaimAttempts + 1);
}

}  // namespace

std::string GetSetupFolder() {
  if (setupFolder->empty()) *setupFolder = ClaimSetupFolder(TempDir(true), OwnFileTimeOfDay());
  return *setupFolder;
}

void RemoveSetupFolder() {
  const std::string folder = *setupFolder;
  setupFolder->clear();
  // A name that could not be made is not ours to delete.
  if (!madeHere) return;
  madeHere = false;
  heldMark->reset();
  if (DeleteTree(folder, false) || !DirExists(folder)) {
    DeleteFileA(MarkPath(folder).c_str());
  } else {
    LeaveMark(folder);
  }
}
