// The handle owner: the cases where hand-written owners break.
#include "util/handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != 0;
}

}  // namespace

TEST(Handle, ClosesOnDestruction) {
  HANDLE raw = NewEvent();
  {
    THandle owner(raw);
    EXPECT_TRUE(owner.valid());
  }
  EXPECT_FALSE(IsOpen(raw));
}

TEST(Handle, MoveTransfersOwnershipOnce) {
  HANDLE raw = NewEvent();
  THandle a(raw);
  THandle b(std::move(a));
  EXPECT_FALSE(a.valid());
  EXPECT_EQ(b.get(), raw);
  THandle c;
  c = std::move(b);
  EXPECT_EQ(c.get(), raw);
  EXPECT_TRUE(IsOpen(raw));
}

TEST(Handle, SelfMoveKeepsTheHandle) {
  HANDLE raw = NewEvent();
  THandle a(raw);
  THandle& alias = a;
  a = std::move(alias);
  EXPECT_EQ(a.get(), raw);
  EXPECT_TRUE(IsOpen(raw));
}

TEST(Handle, DoubleResetIsHarmless) {
  HANDLE raw = NewEvent();
  THandle a(raw);
  a.reset();
  a.reset();
  EXPECT_FALSE(a.valid());
  EXPECT_FALSE(IsOpen(raw));
}

TEST(Handle, ResetKeepsTheCallersLastError) {
  THandle a(NewEvent());
  SetLastError(ERROR_FILE_NOT_FOUND);
  a.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Handle, FileHandleTreatsInvalidHandleValueAsEmpty) {
  TFileHandle missing(
      CreateFileA("Z:\\no\\such\\file.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(missing.valid());
  TFileHandle empty;
  EXPECT_EQ(empty.get(), INVALID_HANDLE_VALUE);
}

TEST(Handle, ReleaseGivesUpOwnership) {
  HANDLE raw = NewEvent();
  {
    THandle a(raw);
    EXPECT_EQ(a.release(), raw);
  }
  EXPECT_TRUE(IsOpen(raw));
  CloseHandle(raw);
}

TEST(Handle, GlobalAtomIsDeleted) {
  ATOM atom = GlobalAddAtomA("OrvaneHandleTestAtom");
  ASSERT_NE(atom, 0);
  { TGlobalAtom owner(atom); }
  EXPECT_EQ(GlobalFindAtomA("OrvaneHandleTestAtom"), 0);
}

namespace {

HFONT NewFont() { return CreateFontA(13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma"); }

}  // namespace

TEST(Handle, FontIsDeleted) {
  const HFONT raw = NewFont();
  {
    TFont font(raw);
    EXPECT_EQ(font.get(), raw);
  }
  EXPECT_EQ(GetObjectType(raw), 0u);
}

TEST(Handle, SelectionPutsBackWhatItReplacedOnce) {
  TWindowDC screen(nullptr);
  ASSERT_NE(screen.get(), nullptr);
  const HDC dc = screen.get();
  const HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
  TFont first(NewFont());
  TFont second(NewFont());
  {
    TSelection selected(dc, first.get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), first.get());
    { TSelection moved(std::move(selected)); }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), before);
    SelectObject(dc, second.get());
  }
  // The moved-from selection puts nothing back.
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), second.get());
  SelectObject(dc, before);
}

TEST(Handle, PaintValidatesTheWindowItPaints) {
  TWindow window(CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(window);
  InvalidateRect(window.get(), nullptr, FALSE);
  ASSERT_TRUE(GetUpdateRect(window.get(), nullptr, FALSE));
  {
    TPaint paint(window.get());
    EXPECT_NE(paint.dc(), nullptr);
  }
  EXPECT_FALSE(GetUpdateRect(window.get(), nullptr, FALSE));
}
