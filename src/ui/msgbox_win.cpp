#include "ui/msgbox.h"

#include <richedit.h>

#include <array>
#include <cstring>
#include <type_traits>

#include "util/handle.h"
#include "util/winapi.h"

namespace {

const char kBoxClass[] = "OMsgBox";
const char kRichEditClass[] = "RICHEDIT";  // the rich edit 1.0 control of RICHED32.DLL
const UINT_PTR kTimeoutTimer = 1;
const int kFirstButtonId = 100;
const COLORREF kBandColor = RGB(0, 78, 152);

// Everything one open box needs. A box started from inside another box's
// message loop sets the outer state aside and puts it back when it closes.
struct TBoxState {
  HFONT font = nullptr;
  HINSTANCE module = nullptr;
  HWND box = nullptr;
  HWND textControl = nullptr;
  HWND savedActive = nullptr;
  int iconId = 0;
  int requestedWidth = 0;
  int requestedHeight = 0;
  int result = 0;
  std::array<HWND, 3> slots{};
  HWND framed = nullptr;  // the button with the default-button frame
  int32_t timeout = 0;
  bool done = false;
};

TBoxState gBox;

TSize WindowSize(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

TSize ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right, rect.bottom};
}

void FillWithColor(HDC dc, const RECT& rect, COLORREF color) {
  TGdiObject brush(CreateSolidBrush(color));
  FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

void DrawHorizontalLine(HDC dc, int y, int right, COLORREF color) {
  TGdiObject pen(CreatePen(PS_SOLID, 1, color));
  TSelection selected(dc, pen.get());
  MoveToEx(dc, 0, y, nullptr);
  LineTo(dc, right, y);
}

void PaintBox(HWND window) {
  TPaint paint(window);
  const HDC dc = paint.dc();
  const TSize client = ClientSize(window);
  const int right = client.width;
  const int bottom = client.height;

  FillWithColor(dc, RECT{0, 0, right, bottom}, GetSysColor(COLOR_WINDOW));
  DrawHorizontalLine(dc, bottom - 37, right, GetSysColor(COLOR_3DDKSHADOW));
  DrawHorizontalLine(dc, bottom - 36, right, RGB(255, 255, 255));
  FillWithColor(dc, RECT{0, bottom - 35, right, bottom}, GetSysColor(COLOR_BTNFACE));
  FillWithColor(dc, RECT{0, 0, kBandWidth, bottom - 37}, kBandColor);

  const HICON icon = gBox.iconId != 0 ? LoadIconA(nullptr, MAKEINTRESOURCEA(gBox.iconId))
                                      : LoadIconA(gBox.module, "MainIcon");
  if (icon != nullptr) DrawIcon(dc, 11, 20, icon);
}

int SlotOf(HWND window) {
  if (window == nullptr) return -1;
  for (int i = 0; i < 3; ++i) {
    if (gBox.slots[i] == window) return i;
  }
  return -1;
}

int AnswerOf(HWND button) {
  if (button == nullptr) return 0;
  return static_cast<int>(GetWindowLongPtrA(button, GWLP_USERDATA));
}

// Gives the slot the keyboard focus and the default-button frame.
void FocusSlot(int slot) {
  const HWND button = slot >= 0 ? gBox.slots[slot] : nullptr;
  if (button != nullptr) {
    gBox.framed = button;
    SetFocus(button);
  }
  for (HWND each : gBox.slots) {
    if (each != nullptr) SendMessageA(each, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  }
  if (button != nullptr) SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Answers with `button` (of a slot; null: none) and closes `box`.
void Choose(HWND box, HWND button) {
  gBox.result = AnswerOf(button);
  PostMessageA(box, WM_CLOSE, 0, 0);
}

// Mnemonics, arrow keys and Enter. True when the message was answered here
// and must be neither translated nor dispatched.
bool FilterKey(const MSG& msg) {
  if (msg.message == WM_CHAR) {
    const std::array<std::string, 3> captions{WindowText(gBox.slots[0]), WindowText(gBox.slots[1]),
                                              WindowText(gBox.slots[2])};
    const int slot = MnemonicSlot(captions, static_cast<char>(msg.wParam));
    if (slot < 0) return false;
    Choose(gBox.box, gBox.slots[slot]);
    return true;
  }
  if (msg.message != WM_KEYDOWN) return false;
  const int focused = SlotOf(GetFocus());
  switch (msg.wParam) {
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
      const int step = (msg.wParam == VK_LEFT || msg.wParam == VK_UP) ? -1 : 1;
      const std::array<bool, 3> present{gBox.slots[0] != nullptr, gBox.slots[1] != nullptr,
                                        gBox.slots[2] != nullptr};
      const int next = MoveSlot(focused, step, present);
      if (next >= 0) FocusSlot(next);
      return true;
    }
    case VK_RETURN: {
      // With the focus on the text or on the frame (after the box was
      // deactivated and activated again), Enter still means the framed
      // button, as in a dialog; otherwise the box could not be answered
      // from the keyboard at all.
      const HWND chosen = focused >= 0 ? gBox.slots[focused] : gBox.framed;
      if (chosen == nullptr) return false;
      Choose(gBox.box, chosen);
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (gBox.timeout > 0)
        SetTimer(window, kTimeoutTimer, static_cast<UINT>(gBox.timeout), nullptr);
      break;
    case WM_PAINT:
      PaintBox(window);
      return 0;
    case WM_ACTIVATE:
      // Coming back to the box puts the focus on the framed button again;
      // left to DefWindowProcA it would rest on the frame.
      if (window == gBox.box && LOWORD(wParam) != WA_INACTIVE && gBox.framed != nullptr) {
        SetFocus(gBox.framed);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header != nullptr && header->code == EN_REQUESTRESIZE) {
        const RECT& asked = reinterpret_cast<const REQRESIZE*>(lParam)->rc;
        gBox.requestedWidth = asked.right - asked.left;
        gBox.requestedHeight = asked.bottom - asked.top;
      }
      break;
    }
    case WM_COMMAND: {
      // A command without a control handle (menu, accelerator) is no answer,
      // even though empty slots hold a null handle too.
      const HWND button = reinterpret_cast<HWND>(lParam);
      if (SlotOf(button) < 0) break;
      Choose(window, button);
      return 0;
    }
    case WM_TIMER:
      Choose(window, gBox.slots[0]);
      return 0;
    case WM_CLOSE:
      if (gBox.savedActive != nullptr) {
        EnableWindow(gBox.savedActive, TRUE);
        SetActiveWindow(gBox.savedActive);
        SetFocus(gBox.savedActive);
      }
      if (gBox.timeout > 0) KillTimer(window, kTimeoutTimer);
      break;
    case WM_DESTROY:
      gBox.done = true;
      return 1;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void FillTextControl(const TMarkupText& markup) {
  const HWND control = gBox.textControl;
  SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(markup.text.c_str()));
  for (const TBoldRun& run : markup.bold) {
    CHARRANGE range{static_cast<LONG>(run.start), static_cast<LONG>(run.end)};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = CFE_BOLD;
    SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  CHARRANGE start{0, 0};
  SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

TSize MeasureInControl(const std::string& text) {
  TWindowDC dc(gBox.textControl);
  TSelection font(dc.get(), gBox.font);
  return MeasureText(text, [&dc](const std::string& line) {
    SIZE extent{0, 0};
    GetTextExtentPoint32A(dc.get(), line.data(), static_cast<int>(line.size()), &extent);
    return TSize{extent.cx, extent.cy};
  });
}

void SizeTextControl(const TMarkupText& markup) {
  const TSize measured = MeasureInControl(markup.text);
  FitTextWidth(measured, !markup.bold.empty(), [&measured](int width) {
    SetWindowPos(gBox.textControl, nullptr, 0, 0, width, measured.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A resize alone does not always make the control report the height it
    // now needs; asking for it keeps the recorded request current.
    SendMessageA(gBox.textControl, EM_REQUESTRESIZE, 0, 0);
    return TSize{gBox.requestedWidth, gBox.requestedHeight};
  });
}

void PlaceBox() {
  const TSize text = WindowSize(gBox.textControl);
  const TSystemFrame frame{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME),
                           GetSystemMetrics(SM_CYCAPTION)};
  const TSize box = BoxSizeFor(text, frame);
  const TPoint corner =
      CentredOn({GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, box);
  SetWindowPos(gBox.box, nullptr, corner.x, corner.y, box.width, box.height, SWP_NOZORDER);
  ShowWindow(gBox.box, SW_SHOW);
  const TPoint at = TextControlPosition(ClientSize(gBox.box), text);
  SetWindowPos(gBox.textControl, nullptr, at.x, at.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CreateButtons(uint32_t style, const std::string& buttonTexts) {
  const TButtonSlots slots = ButtonSlotsFor(style, buttonTexts);
  const TSize client = ClientSize(gBox.box);
  const std::array<int, 3> lefts =
      ButtonLefts(client.width, {slots[0].present, slots[1].present, slots[2].present});
  for (int i = 2; i >= 0; --i) {
    if (!slots[i].present) continue;
    const HWND button = CreateWindowExA(
        0, "Button", slots[i].caption.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, lefts[i],
        ButtonTop(client.height), kButtonWidth, kButtonHeight, gBox.box,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)), gBox.module, nullptr);
    if (button == nullptr) continue;
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(gBox.font), FALSE);
    SetWindowLongPtrA(button, GWLP_USERDATA, slots[i].answer);
    gBox.slots[i] = button;
  }
  FocusSlot(DefaultSlotFor(style));
}

// Takes messages until the box is destroyed. A quit message is kept back
// and posted again afterwards, so the caller's own loop still ends.
void RunModalLoop(TWindow& box) {
  bool quitTaken = false;
  WPARAM quitCode = 0;
  gBox.done = false;
  while (!gBox.done) {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      quitTaken = true;
      quitCode = msg.wParam;
      continue;
    }
    if (FilterKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // Destroyed by its own WM_CLOSE: nothing left for the owner to destroy.
  if (gBox.done) box.release();
  if (quitTaken) PostQuitMessage(static_cast<int>(quitCode));
}

// Starts from the fresh, all-zero state that ShowMsgBox sets up: no answer yet.
int RunBox(HWND owner, const std::string& text, const std::string& caption,
           const std::string& buttonTexts, uint32_t style, int32_t timeoutMs) {
  gBox.savedActive = GetActiveWindow();
  if (gBox.savedActive != nullptr) EnableWindow(gBox.savedActive, FALSE);
  gBox.timeout = timeoutMs;

  TFont font(CreateFontA(13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "Tahoma"));
  gBox.font = font.get();
  gBox.module = GetModuleHandleA(nullptr);
  TModule richEdit(LoadSystemLibrary("RICHED32.DLL"));

  WNDCLASSA boxClass{};
  boxClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  boxClass.lpfnWndProc = BoxProc;
  boxClass.hInstance = gBox.module;
  boxClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  boxClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  boxClass.lpszClassName = kBoxClass;
  RegisterClassA(&boxClass);
  // Unregistered once the box window is gone (it cannot be while the window
  // still exists, as it does during its own WM_DESTROY).
  TWindowClass registered(kBoxClass, gBox.module);

  TWindow box(CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kBoxClass, caption.c_str(),
                              WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner,
                              nullptr, gBox.module, nullptr));
  gBox.box = box.get();
  if (!box) {
    // Without a window nothing could ever end the modal loop.
    if (gBox.savedActive != nullptr) EnableWindow(gBox.savedActive, TRUE);
    return 0;
  }

  const DWORD textStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN |
                          ((style & kStyleRight) != 0 ? ES_RIGHT : 0);
  const DWORD textExStyle = (style & kStyleRtlReading) != 0 ? WS_EX_RTLREADING : 0;
  gBox.textControl = CreateWindowExA(textExStyle, kRichEditClass, "", textStyle, 86, 30, 100, 13,
                                     gBox.box, nullptr, gBox.module, nullptr);
  SendMessageA(gBox.textControl, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(gBox.textControl, WM_SETFONT, reinterpret_cast<WPARAM>(gBox.font), FALSE);
  SendMessageA(gBox.textControl, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
  const TMarkupText markup = ParseMarkup(text);
  FillTextControl(markup);
  SizeTextControl(markup);
  PlaceBox();

  gBox.iconId = IconIdFor(style);
  CreateButtons(style, buttonTexts);
  RunModalLoop(box);
  return gBox.result;
}

}  // namespace

int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttonTexts, uint8_t charset, uint32_t style, int32_t timeoutMs) {
  const bool withHeading = owner == kOwnerWithHeading;
  const std::string headed = withHeading ? HeadedText(caption, text) : std::string();
  const std::string* shown = withHeading ? &headed : &text;
  if (owner == kOwnerWithHeading || owner == kOwnerActiveWindow) owner = GetActiveWindow();

  const TBoxState outer = gBox;
  // A fresh state: all zero (the state holds only plain values).
  static_assert(std::is_trivially_copyable_v<TBoxState>);
  std::memset(static_cast<void*>(&gBox), 0, sizeof gBox);
  const int result =
      RunBox(owner, *shown, caption, buttonTexts, StyleForCharset(style, charset), timeoutMs);
  gBox = outer;

  Wait(100);
  return result;
}

void ShowErrorBox(HWND owner, const std::string& text, const std::string& caption,
                  const std::string& buttonTexts, uint8_t charset) {
  ShowMsgBox(owner, text, caption, buttonTexts, charset, MB_OK | MB_ICONHAND, 0);
}

void ShowWarningBox(HWND owner, const std::string& text, const std::string& caption,
                    const std::string& buttonTexts, uint8_t charset, int32_t timeoutMs) {
  ShowMsgBox(owner, text, caption, buttonTexts, charset, MB_OK | MB_ICONEXCLAMATION, timeoutMs);
}

bool AskYesNo(HWND owner, const std::string& text, const std::string& caption,
              const std::string& buttonTexts, uint8_t charset) {
  return ShowMsgBox(owner, text, caption, buttonTexts, charset, MB_YESNO | MB_ICONQUESTION, 0) ==
         IDYES;
}

bool AskOkCancel(HWND owner, const std::string& text, const std::string& caption,
                 const std::string& buttonTexts, uint8_t charset) {
  return ShowMsgBox(owner, text, caption, buttonTexts, charset, MB_OKCANCEL | MB_ICONQUESTION, 0) ==
         IDOK;
}
