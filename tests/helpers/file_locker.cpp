// Test helper: stands in for another program that holds a file open without
// any sharing. Waits for the file's folder to appear (so that it can take a
// file in a folder a launcher is about to fill), creates the file, holds it.
//   file_locker.exe --file PATH [--ready FILE] [--hold-ms N]
#include <windows.h>

#include <string>

#include "files/file_ops.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string tail = CommandTail();
  const std::string path = SwitchValueIn(tail, "--file ");
  const std::string ready = SwitchValueIn(tail, "--ready ");
  const DWORD holdMs = static_cast<DWORD>(SwitchIntIn(tail, "--hold-ms ", 60000));
  if (path.empty()) return 2;
  const DWORD start = GetTickCount();
  while (!DirExists(ExtractFileDir(path))) {
    if (GetTickCount() - start > holdMs) return 3;
    Sleep(5);
  }
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 4;
  if (!ready.empty()) WriteWholeFile(ready, "locked", 0, false);
  while (GetTickCount() - start < holdMs) Sleep(20);
  return 0;
}
