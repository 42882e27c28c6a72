// Plays the user in front of the launcher's message box: waits for a
// top-level "OMsgBox" window, writes down what it shows, and answers it.
//
//   msgbox_answerer.exe [--wait-ms N] [--settle-ms N] [--out FILE] [--count N]
//                       (--key C | --enter | --click N | --close | --none)
//
// --wait-ms    how long to wait for each box (default 10000)
// --settle-ms  pause between finding a box and reading it (default 300)
// --out FILE   appends per box: "caption=...", "text=...", "rtl=0|1",
//              "buttons=|a|b|"
//              (buttons left to right), one line each; CR, LF, TAB and "\" in
//              the values are written as \r, \n, \t and a doubled backslash
// --count N    answers N boxes one after the other (default 1)
// --key C      types character C; --enter presses Enter; --click N clicks
//              button N (1 = leftmost); --close closes through the system
//              menu; --none leaves the box alone
//
// Exit code 0 when every box was found and answered, 1 when one did not
// appear (or, after an answer, did not go away) in time, 2 for bad options.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class TAnswer { kKey, kEnter, kClick, kClose, kNone };

struct TOptions {
  DWORD waitMs = 10000;
  DWORD settleMs = 300;
  std::string outFile;
  int count = 1;
  TAnswer answer = TAnswer::kNone;
  char key = 0;
  int click = 0;
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
  bool answered = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--wait-ms" && hasValue) {
      options.waitMs = static_cast<DWORD>(std::atol(argv[++i]));
    } else if (arg == "--settle-ms" && hasValue) {
      options.settleMs = static_cast<DWORD>(std::atol(argv[++i]));
    } else if (arg == "--out" && hasValue) {
      options.outFile = argv[++i];
    } else if (arg == "--count" && hasValue) {
      options.count = std::atoi(argv[++i]);
    } else if (arg == "--key" && hasValue && argv[i + 1][0] != '\0') {
      options.answer = TAnswer::kKey;
      options.key = argv[++i][0];
      answered = true;
    } else if (arg == "--click" && hasValue) {
      options.answer = TAnswer::kClick;
      options.click = std::atoi(argv[++i]);
      answered = true;
    } else if (arg == "--enter") {
      options.answer = TAnswer::kEnter;
      answered = true;
    } else if (arg == "--close") {
      options.answer = TAnswer::kClose;
      answered = true;
    } else if (arg == "--none") {
      options.answer = TAnswer::kNone;
      answered = true;
    } else {
      return false;
    }
  }
  return answered && options.count > 0;
}

BOOL CALLBACK FindButton(HWND child, LPARAM lParam) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof(className));
  if (lstrcmpiA(className, "Button") != 0) return TRUE;
  *reinterpret_cast<bool*>(lParam) = true;
  return FALSE;
}

// The box is shown while it is still being built (its text measured, its
// buttons made); a box with buttons has them all a moment later, and a
// message it answers means its thread is back in its message loop.
HWND WaitForBox(DWORD waitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const HWND box = FindWindowA("OMsgBox", nullptr);
    bool hasButton = false;
    if (box != nullptr && IsWindowVisible(box))
      EnumChildWindows(box, FindButton, reinterpret_cast<LPARAM>(&hasButton));
    if (hasButton) {
      DWORD_PTR ignored = 0;
      if (SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, waitMs, &ignored) != 0) return box;
    }
    if (GetTickCount() - start > waitMs) return nullptr;
    Sleep(50);
  }
}

bool WaitGone(HWND box, DWORD waitMs) {
  const DWORD start = GetTickCount();
  while (IsWindow(box)) {
    if (GetTickCount() - start > waitMs) return false;
    Sleep(50);
  }
  return true;
}

std::string TextOf(HWND window) {
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT copied =
      SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM lParam) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof(className));
  if (lstrcmpiA(className, "Button") == 0)
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
  return TRUE;
}

// The box's buttons, left to right.
std::vector<HWND> ButtonsOf(HWND box) {
  std::vector<HWND> buttons;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
    RECT ra{}, rb{};
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  return buttons;
}

void Record(const std::string& file, HWND box, const std::vector<HWND>& buttons) {
  if (file.empty()) return;
  std::string entry = "caption=" + Escaped(TextOf(box)) + "\n";
  const HWND text = FindWindowExA(box, nullptr, "RICHEDIT", nullptr);
  entry += "text=" + Escaped(TextOf(text)) + "\n";
  // Right-to-left reading order and right alignment of the text control.
  const bool rtl = (GetWindowLongPtrA(text, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0 &&
                   (GetWindowLongPtrA(text, GWL_STYLE) & ES_RIGHT) != 0;
  entry += std::string("rtl=") + (rtl ? "1" : "0") + "\n";
  entry += "buttons=|";
  for (HWND button : buttons) entry += Escaped(TextOf(button)) + "|";
  entry += "\n";
  FILE* out = std::fopen(file.c_str(), "ab");
  if (out == nullptr) return;
  std::fwrite(entry.data(), 1, entry.size(), out);
  std::fclose(out);
}

bool Answer(const TOptions& options, HWND box, const std::vector<HWND>& buttons) {
  switch (options.answer) {
    case TAnswer::kKey:
      return PostMessageA(box, WM_CHAR, static_cast<unsigned char>(options.key), 1) != FALSE;
    case TAnswer::kEnter:
      return PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1) != FALSE;
    case TAnswer::kClick: {
      if (options.click < 1 || options.click > static_cast<int>(buttons.size())) return false;
      const HWND button = buttons[options.click - 1];
      const WPARAM command = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
      return PostMessageA(box, WM_COMMAND, command, reinterpret_cast<LPARAM>(button)) != FALSE;
    }
    case TAnswer::kClose:
      return PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
    case TAnswer::kNone:
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) return 2;
  for (int i = 0; i < options.count; ++i) {
    const HWND box = WaitForBox(options.waitMs);
    if (box == nullptr) return 1;
    Sleep(options.settleMs);
    const std::vector<HWND> buttons = ButtonsOf(box);
    Record(options.outFile, box, buttons);
    if (!Answer(options, box, buttons)) return 1;
    if (options.answer != TAnswer::kNone && !WaitGone(box, options.waitMs)) return 1;
  }
  return 0;
}
