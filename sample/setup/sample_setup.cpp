// The bundled sample's setup program: copies the files that the launcher
// extracted beside it into "%APPDATA%\Orvane Sample", writes an install
// log there and tells the launcher it succeeded by removing the run's atom
// ("AutoUpdateAtomTokenByOrvane" + the token of its /TH_ID= switch).
#include <windows.h>

#include <string>

#include "files/file_ops.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

std::string InstallFolder() {
  char appData[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("APPDATA", appData, sizeof(appData));
  const std::string base = n > 0 && n < sizeof(appData) ? appData : TempDir(false);
  return SetTrailingBackslash(base, true) + "Orvane Sample";
}

// Copies the tree below `from` into `to`, leaving out the setup program
// itself; returns the copied files' names, one per line.
std::string CopyTree(const std::string& from, const std::string& to, const std::string& skip) {
  std::string copied;
  ForceDirectories(to);
  WIN32_FIND_DATAA data;
  TFindHandle find(FindFirstFileA((from + "\\*").c_str(), &data));
  if (!find) return copied;
  do {
    const std::string name = data.cFileName;
    const std::string source = from + "\\" + name;
    if (name == "." || name == ".." || SameTextTrimmed(source, skip)) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      copied += CopyTree(source, to + "\\" + name, skip);
    } else if (CopyFileA(source.c_str(), (to + "\\" + name).c_str(), FALSE)) {
      copied += to + "\\" + name + "\r\n";
    }
  } while (FindNextFileA(find.get(), &data));
  return copied;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string target = InstallFolder();
  const std::string copied = CopyTree(ProgramDir(false), target, ProgramPath());
  WriteWholeFile(target + "\\install.log", "Installed by the Orvane sample setup:\r\n" + copied, 0,
                 false);
  const std::string token = SwitchValue("/TH_ID=");
  const ATOM atom = GlobalFindAtomA(("AutoUpdateAtomTokenByOrvane" + token).c_str());
  if (!copied.empty() && atom != 0) GlobalDeleteAtom(atom);
  return 0;
}
