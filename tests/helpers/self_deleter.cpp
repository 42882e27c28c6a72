// Test helper: writes and starts the self-delete batch for its own file,
// then keeps running (its file in use) for the given milliseconds, so the
// batch has to wait for it to end.
//   self_deleter.exe HOLD_MS [remove] [short]
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "files/file_ops.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const int holdMs = __argc > 1 ? atoi(__argv[1]) : 0;
  bool removeFolder = false;
  bool shortNames = false;
  for (int i = 2; i < __argc; ++i) {
    if (strcmp(__argv[i], "remove") == 0) removeFolder = true;
    if (strcmp(__argv[i], "short") == 0) shortNames = true;
  }
  WriteSelfDeleteBatch(removeFolder, shortNames);
  Sleep(holdMs);
  return 0;
}
