// A library planted beside a program under the name of a system library
// (wininet.dll, psapi.dll, ...). Loading it leaves a marker: the file
// "<own path>.loaded", one line per loading process with that process's
// path. It exports nothing, so a program that did load it finds none of
// the functions it looks for.
#include <windows.h>

namespace {

void RecordLoad(HINSTANCE self) {
  char own[MAX_PATH];
  char process[MAX_PATH];
  const DWORD ownLength = GetModuleFileNameA(self, own, MAX_PATH - 8);
  const DWORD processLength = GetModuleFileNameA(nullptr, process, MAX_PATH - 2);
  if (ownLength == 0 || ownLength >= MAX_PATH - 8) return;
  lstrcpyA(own + ownLength, ".loaded");
  const HANDLE marker = CreateFileA(own, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return;
  process[processLength] = '\r';
  process[processLength + 1] = '\n';
  DWORD written = 0;
  WriteFile(marker, process, processLength + 2, &written, nullptr);
  CloseHandle(marker);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad(self);
  return TRUE;
}
