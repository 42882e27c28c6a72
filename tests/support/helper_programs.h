// Small tools shared by the Wine tests: Windows paths of the built helper
// programs, starting a program and waiting for it or for a condition.
#pragma once

#include <windows.h>

#include <string>

#include "util/handle.h"

// The Windows form (drive Z: is the Unix root) of a Unix path.
inline std::string ZDrivePath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

// A helper program built beside the tests.
inline std::string HelperPath(const std::string& fileName) {
  return ZDrivePath(std::string(ORVANE_HELPER_DIR) + "/" + fileName);
}

// A program users get (the launcher, the viewer), from the product folder.
inline std::string ProductPath(const std::string& fileName) {
  return ZDrivePath(std::string(ORVANE_PRODUCT_DIR) + "/" + fileName);
}

// Starts `commandLine`; the process handle, or an empty one.
inline THandle StartProgram(const std::string& commandLine, DWORD* processId = nullptr) {
  std::string command = commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return THandle();
  }
  THandle thread(started.hThread);
  if (processId != nullptr) *processId = started.dwProcessId;
  return THandle(started.hProcess);
}

// True when the process ended within `milliseconds`.
inline bool WaitForEnd(const THandle& process, DWORD milliseconds) {
  return process && WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
}

// Polls `condition` every 20 ms for at most `milliseconds`.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD milliseconds = 10000) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > milliseconds) return false;
    Sleep(20);
  }
}
