// Test helper: writes each of its command-line arguments as one debug line
// (process id + argument + CR LF), then a line end without process id.
#include <windows.h>

#include <cstdlib>

#include "util/debug_log.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  for (int i = 1; i < __argc; ++i) DebugLine(__argv[i]);
  DebugWrite("\r\n");
  return 0;
}
