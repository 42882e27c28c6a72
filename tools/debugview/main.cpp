// orvane-debug: receives the launcher's debug log and stores it.
//
// Usage:
//   orvane-debug.exe [--stamp] [--ready FILE] [OUTPUT]
//
//   OUTPUT        file to which every piece of text is appended as it
//                 arrives (created when missing); without it the pieces go
//                 to standard output. Each piece is written at once, so the
//                 file can be read while the launcher is still running.
//   --stamp       put the arrival time before each piece, as "[12345] "
//                 (the system tick count in milliseconds), for timing runs;
//                 a piece sent as a notification may wait up to 4 ms.
//   --ready FILE  create FILE once the viewer's window exists: a test driver
//                 waits for it before starting the launcher, so that no
//                 line is missed.
//
// The viewer owns a hidden top-level window of class ".ODebug.". A launcher
// sends it the registered message ".O_DebugMsg." with wParam 1 and a global
// atom in lParam whose name is the text (pieces of at most 128 characters;
// a line arrives whole or split, its last piece ending in CR LF). The
// pieces are stored unchanged, one after the other, so the file holds the
// launcher's lines exactly. The viewer ends when its window is closed
// (WM_CLOSE), for example:
//   PostMessageA(FindWindowA(".ODebug.", nullptr), WM_CLOSE, 0, 0)
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/handle.h"

namespace {

struct TViewer {
  HANDLE output = INVALID_HANDLE_VALUE;
  bool stamp = false;
  UINT message = 0;
  // A piece arrived as a notification since the queue was last emptied:
  // the launcher is in a logging loop and does not wait for us.
  bool notified = false;
};

// While pieces arrive as notifications, the viewer lets them gather this
// long before it takes them all in one go: each wake-up and each look at an
// empty queue is a round trip to the window system that the launcher's
// loop would otherwise pay for too. A launcher that waits for its piece
// (a sent message) is served at once.
constexpr DWORD kGatherMs = 4;

TViewer gViewer;

void Store(const std::string& text) {
  DWORD written = 0;
  WriteFile(gViewer.output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == gViewer.message && gViewer.message != 0) {
    // The sender deletes the atom as soon as this returns: read it now.
    char name[256] = {};
    const UINT length = GlobalGetAtomNameA(static_cast<ATOM>(lParam), name, sizeof name);
    // The text is read: the sender may go on while it is stored.
    if ((InSendMessageEx(nullptr) & ISMEX_NOTIFY) != 0) gViewer.notified = true;
    ReplyMessage(0);
    std::string piece;
    if (gViewer.stamp) piece = "[" + std::to_string(GetTickCount()) + "] ";
    piece.append(name, length);
    Store(piece);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool WriteReadyFile(const std::string& path) {
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), "ready\r\n", 7, &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string outputPath;
  std::string readyPath;
  for (int i = 1; i < __argc; ++i) {
    if (strcmp(__argv[i], "--stamp") == 0) {
      gViewer.stamp = true;
    } else if (strcmp(__argv[i], "--ready") == 0 && i + 1 < __argc) {
      readyPath = __argv[++i];
    } else {
      outputPath = __argv[i];
    }
  }

  TFileHandle outputFile;
  if (outputPath.empty()) {
    gViewer.output = GetStdHandle(STD_OUTPUT_HANDLE);
  } else {
    outputFile.reset(CreateFileA(outputPath.c_str(), FILE_APPEND_DATA,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!outputFile) return 1;
    gViewer.output = outputFile.get();
  }

  gViewer.message = RegisterWindowMessageA(".O_DebugMsg.");
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ViewerProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = ".ODebug.";
  if (RegisterClassA(&windowClass) == 0) return 1;
  TWindowClass classOwner(".ODebug.", instance);
  // A top-level window (not message-only): the launcher finds it with
  // FindWindowA, which does not see message-only windows.
  TWindow window(CreateWindowExA(0, ".ODebug.", "Orvane debug viewer", WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance,
                                 nullptr));
  if (!window) return 1;
  if (!readyPath.empty() && !WriteReadyFile(readyPath)) return 1;

  MSG msg;
  for (;;) {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (gViewer.notified) Sleep(kGatherMs);
    gViewer.notified = false;
    // Takes every piece sent meanwhile, then the posted messages.
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (quit) break;
  }
  // WM_DESTROY has run; the handle is gone already.
  window.release();
  return 0;
}
