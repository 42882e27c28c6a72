// Test helper: stands in for an installed application that the launcher
// finds, closes or terminates, and that listens to an agent.
//   fake_app.exe [--class NAME] [--title TEXT | --untitled] [--hidden]
//                [--owned N] [--ignore-close] [--no-ime] [--exit-after MS]
//                [--ready FILE] [--log FILE --register-with-class CLASS]
// --ready FILE receives "pid hwnd" (decimal) once the main window exists.
// With ORVANE_FAKE_APP_STARTS set, each start appends "pid show-command".
// --register-with-class posts WM_USER + 100 (own window, the registered
// message "OrvaneFakeAppNotify") to the first top-level window of CLASS;
// every notification then arrives as that message and is appended to the
// --log file as a line "code value".
// --no-ime keeps the system from giving the process its hidden, titled
// "Default IME" window, so that the process has only the windows asked for.
// Exit codes tell the tests how the program ended:
//   0x10000 | wParam << 8 | lParam  WM_CLOSE taken (low bytes of each)
//   0x20000 | wParam << 8 | lParam  WM_QUIT arrived from outside
//   99                              --exit-after elapsed (default 60000 ms)
//   0                               ended by TerminateProcess(.., 0)
#include <windows.h>

#include <string>

#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

constexpr UINT_PTR kLifeTimer = 1;
constexpr UINT kRegisterListener = WM_USER + 100;
constexpr int kMaxOwned = 50;

bool ignoreClose = false;
UINT notifyMessage = 0;
std::string logFile;
DWORD exitCode = 99;

DWORD LowBytes(WPARAM wParam, LPARAM lParam) {
  return static_cast<DWORD>(((wParam & 0xFF) << 8) | (static_cast<ULONG_PTR>(lParam) & 0xFF));
}

bool AppendText(const std::string& file, const std::string& text) {
  TFileHandle handle(CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;
  DWORD written = 0;
  return WriteFile(handle.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Written under a temporary name and renamed, so a reader never sees half.
void WriteReadyFile(const std::string& file, HWND window) {
  const std::string partial = file + ".part";
  DeleteFileA(partial.c_str());
  const std::string text = std::to_string(GetCurrentProcessId()) + " " +
                           std::to_string(reinterpret_cast<ULONG_PTR>(window)) + "\r\n";
  if (AppendText(partial, text))
    MoveFileExA(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (notifyMessage != 0 && message == notifyMessage) {
    AppendText(logFile, std::to_string(static_cast<LONG_PTR>(wParam)) + " " +
                            std::to_string(static_cast<LONG_PTR>(lParam)) + "\r\n");
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      if (ignoreClose) return 0;
      exitCode = 0x10000 | LowBytes(wParam, lParam);
      DestroyWindow(window);
      return 0;
    case WM_TIMER:
      if (wParam != kLifeTimer) break;
      exitCode = 99;
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

ATOM RegisterWindowClass(HINSTANCE instance, const char* name, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name;
  return RegisterClassA(&wc);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::string tail = CommandTail();
  // Every start, however it came (by a test or restarted by an agent), is
  // counted as a line "pid shown" in the file ORVANE_FAKE_APP_STARTS names.
  char starts[MAX_PATH] = "";
  if (GetEnvironmentVariableA("ORVANE_FAKE_APP_STARTS", starts, sizeof starts) > 0) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int shown = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    AppendText(starts,
               std::to_string(GetCurrentProcessId()) + " " + std::to_string(shown) + "\r\n");
  }
  std::string className = SwitchValueIn(tail, "--class ");
  if (className.empty()) className = "OrvaneFakeApp";
  std::string title = SwitchValueIn(tail, "--title ");
  if (title.empty()) title = "Fake Application";
  if (HasSwitchIn(tail, "--untitled")) title.clear();
  const bool hidden = HasSwitchIn(tail, "--hidden");
  const int owned = ClampInt(static_cast<int32_t>(SwitchIntIn(tail, "--owned ", 0)), 0, kMaxOwned);
  ignoreClose = HasSwitchIn(tail, "--ignore-close");
  const int64_t exitAfter = SwitchIntIn(tail, "--exit-after ", 60000);
  const std::string ready = SwitchValueIn(tail, "--ready ");
  logFile = SwitchValueIn(tail, "--log ");
  const std::string agentClass = SwitchValueIn(tail, "--register-with-class ");

  if (HasSwitchIn(tail, "--no-ime")) {
    using DisableImeProc = BOOL(WINAPI*)(DWORD);
    auto disableIme = reinterpret_cast<DisableImeProc>(
        reinterpret_cast<void*>(GetDllProc("imm32.dll", "ImmDisableIME")));
    // Thread id -1: every thread of the process, before its first window.
    if (disableIme == nullptr || !disableIme(static_cast<DWORD>(-1))) return 5;
  }

  const std::string dialogClass = className + ".Dialog";
  if (!RegisterWindowClass(instance, className.c_str(), MainProc)) return 3;
  TWindowClass mainClass(className.c_str(), instance);
  if (!RegisterWindowClass(instance, dialogClass.c_str(), DefWindowProcA)) return 3;
  TWindowClass ownedClass(dialogClass.c_str(), instance);

  HWND window = CreateWindowA(className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 300,
                              200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 4;
  if (!hidden) ShowWindow(window, SW_SHOWNORMAL);
  for (int i = 1; i <= owned; ++i) {
    const std::string caption = "Dialog " + std::to_string(i);
    // Owned by the main window, which destroys them with itself.
    CreateWindowA(dialogClass.c_str(), caption.c_str(), WS_POPUP | WS_CAPTION | WS_VISIBLE,
                  60 + 20 * i, 60 + 20 * i, 200, 100, window, nullptr, instance, nullptr);
  }
  SetTimer(window, kLifeTimer,
           static_cast<UINT>(ClampInt(static_cast<int32_t>(exitAfter), 1, 600000)), nullptr);

  if (!logFile.empty() && !agentClass.empty()) {
    notifyMessage = RegisterWindowMessageA("OrvaneFakeAppNotify");
    HWND agent = FindWindowA(agentClass.c_str(), nullptr);
    if (agent != nullptr) {
      PostMessageA(agent, kRegisterListener, reinterpret_cast<WPARAM>(window),
                   static_cast<LPARAM>(notifyMessage));
    }
  }
  if (!ready.empty()) WriteReadyFile(ready, window);

  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // A quit message that PostQuitMessage did not send came from outside.
  if (got == 0 && (msg.wParam != 0 || msg.lParam != 0)) {
    exitCode = 0x20000 | LowBytes(msg.wParam, msg.lParam);
  }
  return static_cast<int>(exitCode);
}
