// Real boxes on the test's main thread, driven from a second thread the way
// a user would: find the "OMsgBox" window, look at it, type or click.
#include "ui/msgbox.h"

#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "helper_programs.h"
#include "scratch.h"
#include "util/handle.h"

namespace {

const DWORD kPatienceMs = 10000;

BOOL CALLBACK CollectButton(HWND child, LPARAM lParam) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof(className));
  if (lstrcmpiA(className, "Button") == 0)
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
  return TRUE;
}

// A shown box as seen from the driving thread.
struct TBoxView {
  HWND box = nullptr;
  HWND text = nullptr;
  std::vector<HWND> buttons;  // left to right

  RECT ClientRectOf(HWND child) const {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
  SIZE ClientSize() const {
    RECT rect{};
    GetClientRect(box, &rect);
    return {rect.right, rect.bottom};
  }
  std::string Text(HWND window) const {
    char buffer[4096] = {};
    SendMessageA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info);
    return info.hwndFocus;
  }
  bool IsBold(LONG start, LONG end) const {
    CHARRANGE range{start, end};
    SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwMask & CFM_BOLD) != 0 && (format.dwEffects & CFE_BOLD) != 0;
  }
};

// Waits until the box stands finished on the screen: moved to its place,
// all `buttons` made, its thread back in the message loop.
bool WaitForBox(TBoxView& view, size_t buttons, const char* caption = nullptr) {
  const bool ready = WaitUntil([&] {
    view.box = FindWindowA("OMsgBox", caption);
    if (view.box == nullptr || !IsWindowVisible(view.box)) return false;
    RECT rect{};
    GetWindowRect(view.box, &rect);
    if (rect.left == -100) return false;
    view.buttons.clear();
    EnumChildWindows(view.box, CollectButton, reinterpret_cast<LPARAM>(&view.buttons));
    return view.buttons.size() == buttons && view.Focus() != nullptr;
  });
  if (!ready) return false;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(view.box, WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, &ignored);
  view.text = FindWindowExA(view.box, nullptr, "RICHEDIT", nullptr);
  std::sort(view.buttons.begin(), view.buttons.end(), [&view](HWND a, HWND b) {
    return view.ClientRectOf(a).left < view.ClientRectOf(b).left;
  });
  return true;
}

// Shows a box on this thread while `drive` works it from another; the box
// is closed through its system menu if the driver leaves it open or fails.
struct TBoxCall {
  HWND owner = kOwnerActiveWindow;
  std::string text = "Text";
  std::string caption = "Caption";
  std::string buttons = kDefaultButtonTexts;
  uint8_t charset = 0;
  uint32_t style = MB_OK;
  int32_t timeout = 0;
};

size_t ButtonCount(uint32_t style) {
  const TButtonSlots slots = ButtonSlotsFor(style, kDefaultButtonTexts);
  return std::count_if(slots.begin(), slots.end(), [](const TButtonSlot& s) { return s.present; });
}

int ShowDriven(const TBoxCall& call, const std::function<void(TBoxView&)>& drive) {
  std::atomic<bool> found{false};
  std::thread driver([&] {
    TBoxView view;
    if (!WaitForBox(view, ButtonCount(call.style), call.caption.c_str())) {
      PostMessageA(FindWindowA("OMsgBox", nullptr), WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    }
    found = true;
    drive(view);
    if (IsWindow(view.box) && WaitUntil([&] { return !IsWindow(view.box); }, 3000)) return;
    PostMessageA(view.box, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  const int result = ShowMsgBox(call.owner, call.text, call.caption, call.buttons, call.charset,
                                call.style, call.timeout);
  driver.join();
  EXPECT_TRUE(found) << "no box appeared for " << call.text;
  return result;
}

// Shows a box only to look at it; closes it through the system menu after.
void ShowInspected(const TBoxCall& call, const std::function<void(TBoxView&)>& look) {
  const int result = ShowDriven(call, [&](TBoxView& view) {
    look(view);
    PostMessageA(view.box, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_EQ(result, 0);
}

TEST(MsgBoxTest, LetterKeysChooseTheButtonWithThatMnemonic) {
  const struct {
    uint32_t style;
    std::vector<char> keys;  // typed in order
    int expected;
  } cases[] = {
      {MB_YESNO, {'Y'}, IDYES},       {MB_YESNO, {'y'}, IDYES},
      {MB_YESNO, {'x', 'n'}, IDNO},  // a letter of no button is ignored
      {MB_OKCANCEL, {'c'}, IDCANCEL}, {MB_ABORTRETRYIGNORE, {'i'}, IDIGNORE},
  };
  for (const auto& c : cases) {
    TBoxCall call;
    call.style = c.style;
    const int result = ShowDriven(call, [&](TBoxView& view) {
      for (char key : c.keys) PostMessageA(view.box, WM_CHAR, static_cast<unsigned char>(key), 1);
    });
    EXPECT_EQ(result, c.expected) << std::string(c.keys.begin(), c.keys.end());
  }
}

TEST(MsgBoxTest, CaptionsWithoutMnemonicIgnoreLetters) {
  TBoxCall call;
  call.style = MB_YESNO;
  call.buttons = "|&Ja|&Nein|";
  const int result = ShowDriven(call, [](TBoxView& view) {
    EXPECT_EQ(view.Text(view.buttons[0]), "");
    EXPECT_EQ(view.Text(view.buttons[1]), "");
    PostMessageA(view.box, WM_CHAR, 'J', 1);
    PostMessageA(view.box, WM_CHAR, 'N', 1);
    Sleep(300);
    EXPECT_TRUE(IsWindow(view.box));
    PostMessageA(view.box, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_EQ(result, 0);
}

TEST(MsgBoxTest, ArrowKeysMoveTheFocusAndEnterChoosesIt) {
  const struct {
    uint32_t style;
    std::vector<WPARAM> keys;
    int focusedSlot;  // 0-based, after the keys
    int expected;
  } cases[] = {
      {MB_YESNOCANCEL, {}, 0, IDYES},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, {}, 1, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, {}, 2, IDCANCEL},
      {MB_YESNOCANCEL, {VK_LEFT}, 2, IDCANCEL},  // Left from the first wraps to the last
      {MB_YESNOCANCEL, {VK_RIGHT, VK_DOWN}, 2, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, {VK_RIGHT}, 0, IDYES},
      {MB_YESNOCANCEL, {VK_UP, VK_UP}, 1, IDNO},
      {MB_YESNO, {VK_LEFT}, 1, IDNO},  // the empty third slot is skipped
      {MB_OKCANCEL | MB_DEFBUTTON2, {VK_RIGHT}, 0, IDOK},
  };
  for (const auto& c : cases) {
    TBoxCall call;
    call.style = c.style;
    const int result = ShowDriven(call, [&](TBoxView& view) {
      for (WPARAM key : c.keys) {
        const HWND before = view.Focus();
        PostMessageA(view.box, WM_KEYDOWN, key, 1);
        EXPECT_TRUE(WaitUntil([&] { return view.Focus() != before; }, 3000));
      }
      EXPECT_EQ(view.Focus(), view.buttons[c.focusedSlot]);
      // The box focuses the slot first and restyles the buttons right after.
      const HWND chosen = view.buttons[c.focusedSlot];
      EXPECT_TRUE(WaitUntil(
          [&] { return (GetWindowLongPtrA(chosen, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON; }, 3000));
      PostMessageA(view.box, WM_KEYDOWN, VK_RETURN, 1);
    });
    EXPECT_EQ(result, c.expected) << c.style << " keys " << c.keys.size();
  }
}

// A window of the driving thread that takes the activation away from the box.
LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(MsgBoxTest, EnterChoosesTheFramedButtonWhereverTheFocusRests) {
  enum class TMove { kIntoText, kAwayAndBack };
  for (const TMove move : {TMove::kIntoText, TMove::kAwayAndBack}) {
    TBoxCall call;
    call.style = MB_YESNOCANCEL | MB_DEFBUTTON2;
    const int result = ShowDriven(call, [&](TBoxView& view) {
      if (move == TMove::kIntoText) {
        // As a click into the text does: the focus leaves the buttons.
        const DWORD boxThread = GetWindowThreadProcessId(view.box, nullptr);
        AttachThreadInput(GetCurrentThreadId(), boxThread, TRUE);
        SetFocus(view.text);
        AttachThreadInput(GetCurrentThreadId(), boxThread, FALSE);
        EXPECT_TRUE(WaitUntil([&] { return view.Focus() == view.text; }, 3000));
      } else {
        WNDCLASSA plain{};
        plain.lpfnWndProc = PlainProc;
        plain.hInstance = GetModuleHandleA(nullptr);
        plain.lpszClassName = "OrvaneTestOther";
        RegisterClassA(&plain);
        HWND other =
            CreateWindowExA(0, plain.lpszClassName, "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            200, 100, nullptr, nullptr, plain.hInstance, nullptr);
        SetForegroundWindow(other);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 3000));
        SetForegroundWindow(view.box);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == view.box; }, 3000));
        DestroyWindow(other);
        UnregisterClassA(plain.lpszClassName, plain.hInstance);
        EXPECT_TRUE(WaitUntil([&] { return view.Focus() == view.buttons[1]; }, 3000))
            << "the focus rests on " << view.Focus();
      }
      PostMessageA(view.box, WM_KEYDOWN, VK_RETURN, 1);
    });
    EXPECT_EQ(result, IDNO) << (move == TMove::kIntoText ? "into the text" : "away and back");
  }
}

TEST(MsgBoxTest, ClicksAnswerWithTheButtonsResult) {
  for (int slot = 0; slot < 3; ++slot) {
    TBoxCall call;
    call.style = MB_ABORTRETRYIGNORE;
    const int result =
        ShowDriven(call, [&](TBoxView& view) { SendMessageA(view.buttons[slot], BM_CLICK, 0, 0); });
    EXPECT_EQ(result, IDABORT + slot);
  }
}

TEST(MsgBoxTest, ClosingThroughTheCaptionAnswersZero) {
  const UINT messages[] = {WM_CLOSE, WM_SYSCOMMAND};
  for (UINT message : messages) {
    TBoxCall call;
    call.style = MB_YESNO;
    const int result = ShowDriven(call, [&](TBoxView& view) {
      PostMessageA(view.box, message, message == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
    });
    EXPECT_EQ(result, 0) << message;
  }
}

TEST(MsgBoxTest, TimeOutAnswersWithTheFirstButton) {
  const struct {
    uint32_t style;
    int32_t timeout;
    int expected;
  } cases[] = {
      {MB_OK, 1500, IDOK},
      {MB_YESNO, 700, IDYES},
      {6, 700, 0},  // no buttons: nothing to answer with
  };
  for (const auto& c : cases) {
    const DWORD start = GetTickCount();
    const int result = ShowMsgBox(kOwnerActiveWindow, "Closes by itself", "Timed",
                                  kDefaultButtonTexts, 0, c.style, c.timeout);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(result, c.expected) << c.style;
    EXPECT_GE(elapsed, static_cast<DWORD>(c.timeout) - 50) << c.style;
    EXPECT_LT(elapsed, static_cast<DWORD>(c.timeout) + 5000) << c.style;
  }
}

TEST(MsgBoxTest, WithoutTimeOutTheBoxStaysOpen) {
  TBoxCall call;
  const int result = ShowDriven(call, [](TBoxView& view) {
    Sleep(1500);
    EXPECT_TRUE(IsWindowVisible(view.box));
    PostMessageA(view.box, WM_KEYDOWN, VK_RETURN, 1);
  });
  EXPECT_EQ(result, IDOK);
}

TEST(MsgBoxTest, EmptyTextStillGivesAMinimumWidthBox) {
  TBoxCall call;
  call.text = "";
  ShowInspected(call, [](TBoxView& view) {
    RECT rect{};
    GetWindowRect(view.box, &rect);
    EXPECT_GE(rect.right - rect.left, 360);
    EXPECT_EQ(view.Text(view.text), "");
    EXPECT_GT(view.ClientRectOf(view.text).bottom - view.ClientRectOf(view.text).top, 0);
  });
}

// Width of `text` in the box font, measured independently of the box.
int WidthInBoxFont(const std::string& text) {
  TFont font(CreateFontA(13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "Tahoma"));
  TWindowDC screen(nullptr);
  TSelection selected(screen.get(), font.get());
  SIZE size{};
  GetTextExtentPoint32A(screen.get(), text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

TEST(MsgBoxTest, LongLineWrapsAtSixHundredPixels) {
  int lineHeight = 0;
  TBoxCall oneLine;
  oneLine.text = "Short";
  ShowInspected(oneLine, [&](TBoxView& view) {
    const RECT rect = view.ClientRectOf(view.text);
    lineHeight = rect.bottom - rect.top;
  });
  ASSERT_GT(lineHeight, 0);

  std::string longLine;
  while (WidthInBoxFont(longLine) < 1300) longLine += "wrapping words ";
  const int expectedLines = WidthInBoxFont(longLine) / 600 + 1;
  TBoxCall call;
  call.text = longLine;
  ShowInspected(call, [&](TBoxView& view) {
    const RECT rect = view.ClientRectOf(view.text);
    EXPECT_EQ(rect.right - rect.left, 610);
    EXPECT_EQ(rect.bottom - rect.top, expectedLines * lineHeight);
    RECT box{};
    GetWindowRect(view.box, &box);
    EXPECT_GT(box.right - box.left, 610 + 54);
  });
}

TEST(MsgBoxTest, BoldRunIsBoldAndFitsOnItsLines) {
  TBoxCall call;
  call.text = "plain <B>quite a long bold stretch of words</B> plain<P>second line";
  ShowInspected(call, [](TBoxView& view) {
    EXPECT_EQ(view.Text(view.text),
              "plain quite a long bold stretch of words plain\r\nsecond line");
    EXPECT_TRUE(view.IsBold(6, 40));
    EXPECT_FALSE(view.IsBold(0, 5));
    EXPECT_FALSE(view.IsBold(41, 46));
    EXPECT_EQ(SendMessageA(view.text, EM_GETLINECOUNT, 0, 0), 2);
  });
}

TEST(MsgBoxTest, RightToLeftOnlyForHebrewAndArabicCharsets) {
  const struct {
    uint8_t charset;
    uint32_t style;
    bool rtl;
    bool right;
  } cases[] = {
      {177, MB_OK, true, true}, {178, MB_OK, true, true},   {204, MB_OK, false, false},
      {0, MB_OK, false, false}, {0, MB_RIGHT, false, true}, {0, MB_RTLREADING, true, false},
  };
  for (const auto& c : cases) {
    TBoxCall call;
    call.charset = c.charset;
    call.style = c.style;
    ShowInspected(call, [&](TBoxView& view) {
      const LONG_PTR exStyle = GetWindowLongPtrA(view.text, GWL_EXSTYLE);
      const LONG_PTR style = GetWindowLongPtrA(view.text, GWL_STYLE);
      EXPECT_EQ((exStyle & WS_EX_RTLREADING) != 0, c.rtl) << int(c.charset);
      EXPECT_EQ((style & ES_RIGHT) != 0, c.right) << int(c.charset);
    });
  }
}

TEST(MsgBoxTest, WithoutOwnerTheCaptionBecomesABoldHeading) {
  TBoxCall call;
  call.owner = kOwnerWithHeading;
  call.caption = "Error";
  call.text = "Disk full";
  ShowInspected(call, [](TBoxView& view) {
    EXPECT_EQ(view.Text(view.box), "Error");
    EXPECT_EQ(view.Text(view.text), "ERROR\r\n\r\nDisk full\r\n");
    EXPECT_TRUE(view.IsBold(0, 5));
    EXPECT_FALSE(view.IsBold(7, 11));
  });

  call.owner = kOwnerActiveWindow;
  ShowInspected(call, [](TBoxView& view) { EXPECT_EQ(view.Text(view.text), "Disk full"); });
}

TEST(MsgBoxTest, ThreeButtonsTouchAtTheBottomRight) {
  TBoxCall call;
  call.style = MB_YESNOCANCEL | MB_ICONQUESTION;
  ShowInspected(call, [](TBoxView& view) {
    const SIZE client = view.ClientSize();
    const char* captions[] = {"&Yes", "&No", "&Cancel"};
    const int lefts[] = {client.cx - 220, client.cx - 150, client.cx - 80};
    for (int i = 0; i < 3; ++i) {
      const RECT rect = view.ClientRectOf(view.buttons[i]);
      EXPECT_EQ(view.Text(view.buttons[i]), captions[i]);
      EXPECT_EQ(rect.left, lefts[i]);
      EXPECT_EQ(rect.top, client.cy - 29);
      EXPECT_EQ(rect.right - rect.left, 70);
      EXPECT_EQ(rect.bottom - rect.top, 23);
    }
  });
}

TEST(MsgBoxTest, ActiveWindowIsDisabledWhileTheBoxIsUp) {
  TWindow main(CreateWindowExA(0, "STATIC", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                               100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(main.valid());
  SetActiveWindow(main.get());
  ASSERT_EQ(GetActiveWindow(), main.get());
  TBoxCall call;
  ShowInspected(call, [&](TBoxView& view) {
    EXPECT_FALSE(IsWindowEnabled(main.get()));
    EXPECT_EQ(GetWindow(view.box, GW_OWNER), main.get());
  });
  EXPECT_TRUE(IsWindowEnabled(main.get()));
}

TEST(MsgBoxTest, QuitMessageSurvivesTheBox) {
  const DWORD thread = GetCurrentThreadId();
  TBoxCall call;
  const int result = ShowDriven(call, [&](TBoxView& view) {
    PostThreadMessageA(thread, WM_QUIT, 7, 0);
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(view.box));
    PostMessageA(view.box, WM_CHAR, 'o', 1);
  });
  EXPECT_EQ(result, IDOK);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

std::atomic<int> gInnerResult{-1};

void CALLBACK ShowInnerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  gInnerResult =
      ShowMsgBox(kOwnerActiveWindow, "Inner", "Inner", kDefaultButtonTexts, 0, MB_YESNO, 0);
}

TEST(MsgBoxTest, BoxOpenedInsideAnotherKeepsBothWorking) {
  gInnerResult = -1;
  TBoxCall call;
  call.caption = "Outer";
  call.style = MB_YESNO;
  SetTimer(nullptr, 0, 200, ShowInnerBox);
  const int result = ShowDriven(call, [](TBoxView& outer) {
    TBoxView inner;
    ASSERT_TRUE(WaitForBox(inner, 2, "Inner"));
    PostMessageA(inner.box, WM_CHAR, 'n', 1);
    // The outer box answers keys again once the inner call has returned.
    ASSERT_TRUE(WaitUntil([] { return gInnerResult != -1; }));
    EXPECT_TRUE(IsWindowVisible(outer.box));
    PostMessageA(outer.box, WM_CHAR, 'y', 1);
  });
  EXPECT_EQ(gInnerResult, IDNO);
  EXPECT_EQ(result, IDYES);
}

TEST(MsgBoxTest, AnswererProgramReadsAndAnswersTheBox) {
  const TScratch scratch;
  const std::string outFile = scratch.Path("msgbox_answerer_out.txt");
  const std::string command = "\"" + HelperPath("msgbox_answerer.exe") +
                              "\" --wait-ms 10000 --count 2 --key y --out \"" + outFile + "\"";
  THandle process = StartProgram(command);
  ASSERT_TRUE(process) << command;

  EXPECT_TRUE(
      AskYesNo(kOwnerActiveWindow, "Go <B>on</B>?<P>Now", "Question", kDefaultButtonTexts, 0));
  EXPECT_TRUE(AskYesNo(kOwnerActiveWindow, "Sure?", "Again", "|&OK|&Cancel|&Yup|&Nope|", 0));

  ASSERT_TRUE(WaitForEnd(process, kPatienceMs));
  DWORD exitCode = 99;
  GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(ReadAll(outFile),
            "caption=Question\ntext=Go on?\\r\\nNow\nrtl=0\nbuttons=|&Yes|&No|\n"
            "caption=Again\ntext=Sure?\nrtl=0\nbuttons=|&Yup|&Nope|\n");
}

}  // namespace
