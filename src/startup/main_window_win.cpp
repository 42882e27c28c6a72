// Main window, its message loop and the progress display.
#include "startup/main_window.h"

#include <commctrl.h>

#include "files/file_ops.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "package/setup_folder.h"
#include "startup/entry.h"
#include "update/agent.h"
#include "update/agent_state.h"
#include "update/launcher_host.h"
#include "update/setup_launcher.h"
#include "update/update_settings.h"
#include "update/wininet_api.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

HWND MainWindow = nullptr;
HWND StatusLabel = nullptr;
HWND ProgressBar = nullptr;
HWND ListenerWindow = nullptr;
UINT ListenerMessage = 0;

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kWidth = 440;
constexpr int kHeight = 110;
constexpr WPARAM kListenerReplyWindow = 50;
constexpr WPARAM kListenerReplyCommand = 51;
constexpr WPARAM kLoopEnded = 43;

HICON MainIcon() {
  static HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  return icon;
}

// `font` is the status line's, the window's creation parameter: RunMainWindow
// owns it for as long as the window lives.
void CreateChildren(HWND window, HFONT font) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  StatusLabel = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 70, 20, 340, 18, window,
                                nullptr, instance, nullptr);
  ProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 70, 38, 340, 13,
                                window, nullptr, instance, nullptr);
  SetTimer(window, kTimerId, 1000, nullptr);
  SendMessageA(StatusLabel, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Paint(HWND window) {
  TGdiObject face;  // made while painting, deleted once the painting ends
  TPaint paint(window);
  const HDC dc = paint.dc();
  RECT client;
  GetClientRect(window, &client);
  face.reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &client, static_cast<HBRUSH>(face.get()));
  const HICON icon = MainIcon();
  if (icon != nullptr) DrawIcon(dc, 18, 20, icon);
}

const TProgressView kMainWindowView{MainWindowProgress, SetMainWindowStatus, ShowMainWindow,
                                    HideMainWindow};

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateChildren(window, static_cast<HFONT>(
                                 reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams));
      break;
    case WM_DESTROY:
      DownloadAbortRequested = true;
      // Only a run cut short by closing the window leaves its folder here;
      // a finished run has removed it already, and nothing makes it again.
      RemoveSetupFolder();
      PostQuitMessage(0);
      break;
    case WM_PAINT:
      // Painting validates the window itself; default processing adds nothing.
      Paint(window);
      return 0;
    case WM_CLOSE:
      if (!DownloadAbortRequested) {
        DownloadAbortRequested = true;
        return 0;
      }
      break;
    case WM_TIMER: {
      const TLauncherHost host{OwnPackageInfo(), window, kMainWindowView, NotifyListener};
      if (AutoUpdateFlag) {
        AutoUpdateTimerTick(host);
      } else {
        RunSetupLauncher(host);
      }
      break;
    }
    case kStopCountdownMessage:
      StopCountdown = static_cast<int32_t>(wParam);
      break;
    case kListenerRegistrationMessage:
      ListenerWindow = reinterpret_cast<HWND>(wParam);
      ListenerMessage = static_cast<UINT>(lParam);
      NotifyListener(kListenerReplyWindow, reinterpret_cast<LPARAM>(window));
      NotifyListener(kListenerReplyCommand, kAgentCommandMessage);
      break;
    case kAgentCommandMessage:
      return OwnAgentSettings(OwnPackageInfo()).HandleAgentCommand(wParam, lParam);
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int32_t TimerCountAfterSleepSwitch(int64_t sleepValue, int32_t current) {
  if (sleepValue < 0) return current;
  return static_cast<int32_t>(-sleepValue);
}

void NotifyListener(WPARAM code, LPARAM value) {
  if (ListenerWindow != nullptr && ListenerMessage != 0) {
    PostMessageA(ListenerWindow, ListenerMessage, code, value);
  }
}

namespace {

// Steps of the bar not drawn yet. Each step of the bar is a repaint request
// and an update of the window (round trips to the Wine server), and an
// extraction steps once per file, many files per screen refresh: a step
// is drawn at once when the last drawing is kStepDrawMs old, later ones are
// counted and drawn together by a one-shot thread timer (or the next call).
constexpr DWORD kStepDrawMs = 15;
int pendingSteps = 0;
UINT_PTR stepTimer = 0;
DWORD lastStepTick = 0;

void DrawPendingSteps() {
  if (stepTimer != 0) {
    KillTimer(nullptr, stepTimer);
    stepTimer = 0;
  }
  if (pendingSteps == 0) return;
  // Where the bar's own stepping would have got to, wrapping to the start
  // past the maximum as it does.
  PBRANGE range = {};
  SendMessageA(ProgressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  // Setting the step gives the one before; it goes back unchanged.
  const WPARAM step = static_cast<WPARAM>(SendMessageA(ProgressBar, PBM_SETSTEP, 1, 0));
  SendMessageA(ProgressBar, PBM_SETSTEP, step, 0);
  int position = static_cast<int>(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0));
  for (; pendingSteps > 0; --pendingSteps) {
    position += static_cast<int>(step);
    if (position > range.iHigh) position = range.iLow;
  }
  SendMessageA(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CALLBACK OnStepTimer(HWND, UINT, UINT_PTR, DWORD) { DrawPendingSteps(); }

}  // namespace

void MainWindowProgress(int kind, int rangeMin, int rangeMax, int position, int step,
                        const std::string&) {
  if (kind == 0) {
    DrawPendingSteps();
    // The bar's message carries the maximum in 16 bits: larger ranges are cut.
    SendMessageA(ProgressBar, PBM_SETRANGE, static_cast<WPARAM>(rangeMin),
                 MAKELPARAM(0, rangeMax & 0xFFFF));
    SendMessageA(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    SendMessageA(ProgressBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  } else if (kind == 1) {
    const DWORD now = GetTickCount();
    if (now - lastStepTick >= kStepDrawMs) {
      lastStepTick = now;
      DrawPendingSteps();
      SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
      return;
    }
    ++pendingSteps;
    if (stepTimer == 0) stepTimer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnStepTimer);
    if (stepTimer == 0) DrawPendingSteps();
  }
}

void SetMainWindowStatus(const std::string& text, int charset) {
  if (StatusLabel == nullptr) return;
  const bool rightToLeft = charset == 177 || charset == 178;
  SetWindowLongPtrA(StatusLabel, GWL_EXSTYLE, rightToLeft ? WS_EX_RTLREADING : 0);
  SetWindowLongPtrA(StatusLabel, GWL_STYLE, WS_CHILD | WS_VISIBLE | (rightToLeft ? SS_RIGHT : 0));
  SendMessageA(StatusLabel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ShowMainWindow() {
  if (MainWindow == nullptr) return;
  ShowWindow(MainWindow, SW_SHOW);
  UpdateWindow(MainWindow);
}

void HideMainWindow() {
  if (MainWindow != nullptr) ShowWindow(MainWindow, SW_HIDE);
}

int RunMainWindow(const std::string& className) {
  AutoUpdateTimerCount =
      TimerCountAfterSleepSwitch(SwitchInt("/SleepX=", -1), AutoUpdateTimerCount);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  TFont font(CreateFontA(13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma"));
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = MainIcon();
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);
  TWindowClass windowClass(className.c_str(), instance);

  const std::string title = OwnPackageInfo().GetText("s0", kDefaultTitle);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  TWindow window(CreateWindowExA(0, className.c_str(), title.c_str(),
                                 WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, x, y, kWidth, kHeight,
                                 nullptr, nullptr, instance, font.get()));
  MainWindow = window.get();
  int exitCode = 0;
  if (MainWindow != nullptr) {
    ShowWindow(MainWindow, SW_HIDE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    exitCode = static_cast<int>(msg.wParam);
  }
  if (MainWindow != nullptr) KillTimer(MainWindow, kTimerId);
  DownloadAbortRequested = true;
  UnloadWinInetApi();
  NotifyListener(kLoopEnded, 0);
  // A window still standing after the loop (quit posted by a step, not by
  // destroying the window) goes with the class; a closed one is gone already,
  // and only let go.
  if (window && IsWindow(window.get())) window.reset();
  window.release();
  MainWindow = StatusLabel = ProgressBar = nullptr;
  return exitCode;
}
