// Test helper: owns a top-level window of a given class for a while, so that
// tests can stand in for another running instance of the launcher.
//   window_holder.exe --class NAME [--ready FILE] [--exit-after MS]
#include <windows.h>

#include <string>

#include "files/file_ops.h"
#include "util/text.h"
#include "util/winapi.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::string tail = CommandTail();
  const std::string className = SwitchValueIn(tail, "--class ");
  const std::string ready = SwitchValueIn(tail, "--ready ");
  const int64_t exitAfter = SwitchIntIn(tail, "--exit-after ", 30000);
  if (className.empty()) return 2;

  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = className.c_str();
  if (!RegisterClassA(&wc)) return 3;
  HWND window = CreateWindowA(className.c_str(), "holder", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                              nullptr, instance, nullptr);
  if (window == nullptr) return 4;
  if (!ready.empty()) WriteWholeFile(ready, "ready", 0, false);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(exitAfter)) {
    PumpMessage();
    Sleep(20);
  }
  DestroyWindow(window);
  return 0;
}
