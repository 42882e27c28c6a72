// Test helper standing in for a package's setup program.
//
// Records what the launcher handed it and answers the run's hand-shake:
//   - appends "cmdline=<command line>" and "cwd=<working folder>" and
//     "exe=<own path>" lines to the file named by ORVANE_FAKE_SETUP_LOG;
//   - copies every file of its own folder tree to ORVANE_FAKE_SETUP_COPY
//     (when set), so a test can compare the extracted files with the input;
//   - removes the run's global atom ("AutoUpdateAtomTokenByOrvane" + token
//     from /TH_ID=) unless started with /fail;
//   - /dialog=MS starts a second copy of itself that shows a window of class
//     ".SDialog_Class_Name." + token for MS milliseconds, outliving this
//     process, as a setup's dialog would;
//   - /sleep=MS waits before ending.
#include <windows.h>

#include <string>

#include "files/file_ops.h"
#include "util/debug_log.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

std::string Env(const char* name) {
  char buffer[2048];
  const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

void CopyTree(const std::string& from, const std::string& to) {
  ForceDirectories(to);
  WIN32_FIND_DATAA data;
  TFindHandle find(FindFirstFileA((from + "\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(from + "\\" + name, to + "\\" + name);
    } else {
      CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    }
  } while (FindNextFileA(find.get(), &data));
}

int ShowDialog(const std::string& token, int64_t milliseconds) {
  const std::string className = ".SDialog_Class_Name." + token;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);
  HWND window = CreateWindowA(className.c_str(), "Fake setup dialog", WS_OVERLAPPEDWINDOW, 10, 10,
                              200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  WaitPumping(static_cast<int32_t>(milliseconds), 10);
  DestroyWindow(window);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string token = SwitchValue("/TH_ID=");
  if (HasSwitch("/dialogonly")) return ShowDialog(token, SwitchInt("/dialog=", 1000));

  const std::string log = Env("ORVANE_FAKE_SETUP_LOG");
  if (!log.empty()) {
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    AppendToFile(log,
                 "cmdline=" + std::string(GetCommandLineA()) + "\r\ncwd=" + cwd +
                     "\r\nexe=" + ProgramPath() + "\r\n",
                 0);
  }
  const std::string copy = Env("ORVANE_FAKE_SETUP_COPY");
  if (!copy.empty()) CopyTree(ProgramDir(false), copy);

  const int64_t dialog = SwitchInt("/dialog=", -1);
  if (dialog >= 0) {
    const std::string command = "\"" + ProgramPath() +
                                "\" /dialogonly /dialog=" + std::to_string(dialog) +
                                " /TH_ID=" + token;
    // CreateProcess, not WinExec: WinExec waits until the new process is
    // idle for input, and the dialog must outlive this process.
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::string mutableCommand = command;
    if (CreateProcessA(nullptr, &mutableCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
      THandle process(info.hProcess);
      THandle thread(info.hThread);
      Sleep(500);
    }
  }
  if (!HasSwitch("/fail")) {
    const ATOM atom = GlobalFindAtomA(("AutoUpdateAtomTokenByOrvane" + token).c_str());
    if (atom != 0) GlobalDeleteAtom(atom);
  }
  const int64_t sleep = SwitchInt("/sleep=", 0);
  if (sleep > 0) Sleep(static_cast<DWORD>(sleep));
  DebugLine(" FakeSetup: done");
  DebugFlush();
  return 0;
}
