// One move-only owner for every kind of Windows handle the launcher holds.
// Each handle type is one line below naming its close function and its
// invalid value; the few owners that need more than the handle to let it go
// (a device context, a selection, a painting) follow. reset() keeps the
// caller's last error, so cleanup on an error path never hides the error
// being reported.
#pragma once

#include <windows.h>

#include <cstring>
#include <type_traits>
#include <utility>

namespace handle_detail {

// The body of every pointer-sized owner's reset, once for all of them:
// `slot` holds the owner's value (copied in and out as bytes, whatever
// pointer type it is), `close` lets the old value go.
[[gnu::noinline]] inline void ResetSlot(void* slot, void* value, void* invalid,
                                        void (*close)(void*)) {
  void* old;
  std::memcpy(&old, slot, sizeof old);
  if (old == value) return;
  std::memcpy(slot, &value, sizeof value);
  if (old != invalid) {
    DWORD saved = GetLastError();
    close(old);
    SetLastError(saved);
  }
}

}  // namespace handle_detail

// `Traits` names the handle type, its invalid value and its close function:
//   struct X { using Type = HANDLE; static Type Invalid(); static void Close(Type); };
template <typename Traits>
class TUniqueHandle {
 public:
  using T = typename Traits::Type;

  TUniqueHandle() = default;
  explicit TUniqueHandle(T value) : value_(value) {}
  ~TUniqueHandle() { reset(); }

  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& other) noexcept : value_(other.release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // Closes the held value (if any) and takes `value`; GetLastError survives.
  void reset(T value = Traits::Invalid()) {
    if constexpr (std::is_pointer_v<T>) {
      handle_detail::ResetSlot(&value_, value, Traits::Invalid(), CloseValue);
    } else if (value_ != value) {
      T old = value_;
      value_ = value;
      if (old != Traits::Invalid()) {
        DWORD saved = GetLastError();
        Traits::Close(old);
        SetLastError(saved);
      }
    }
  }

  T release() {
    T old = value_;
    value_ = Traits::Invalid();
    return old;
  }

  // For APIs that fill a handle through a pointer.
  T* put() {
    reset();
    return &value_;
  }

 private:
  static void CloseValue(void* value) { Traits::Close(static_cast<T>(value)); }

  T value_ = Traits::Invalid();
};

#define ORVANE_HANDLE_TRAITS(name, type, invalid, close) \
  struct name {                                          \
    using Type = type;                                   \
    static Type Invalid() { return invalid; }            \
    static void Close(Type value) { close(value); }      \
  }

ORVANE_HANDLE_TRAITS(THandleTraits, HANDLE, nullptr, CloseHandle);
ORVANE_HANDLE_TRAITS(TFileHandleTraits, HANDLE, INVALID_HANDLE_VALUE, CloseHandle);
ORVANE_HANDLE_TRAITS(TFindHandleTraits, HANDLE, INVALID_HANDLE_VALUE, FindClose);
ORVANE_HANDLE_TRAITS(TRegKeyTraits, HKEY, nullptr, RegCloseKey);
ORVANE_HANDLE_TRAITS(TModuleTraits, HMODULE, nullptr, FreeLibrary);
ORVANE_HANDLE_TRAITS(TGdiObjectTraits, HGDIOBJ, nullptr, DeleteObject);
ORVANE_HANDLE_TRAITS(TWindowTraits, HWND, nullptr, DestroyWindow);
ORVANE_HANDLE_TRAITS(TGlobalAtomTraits, ATOM, 0, GlobalDeleteAtom);
#undef ORVANE_HANDLE_TRAITS

using THandle = TUniqueHandle<THandleTraits>;
using TFileHandle = TUniqueHandle<TFileHandleTraits>;
using TFindHandle = TUniqueHandle<TFindHandleTraits>;
using TRegKey = TUniqueHandle<TRegKeyTraits>;
using TModule = TUniqueHandle<TModuleTraits>;
using TGdiObject = TUniqueHandle<TGdiObjectTraits>;
using TWindow = TUniqueHandle<TWindowTraits>;
using TGlobalAtom = TUniqueHandle<TGlobalAtomTraits>;

// A font: the GDI object owner itself, with the handle read as an HFONT.
// One more traits line would give the launcher a second copy of the same
// owner code.
class TFont : public TGdiObject {
 public:
  TFont() = default;
  explicit TFont(HFONT font) : TGdiObject(font) {}
  HFONT get() const { return static_cast<HFONT>(TGdiObject::get()); }
};

// The owners below need a second value to undo what they hold, so they are
// small classes rather than traits lines. They belong to drawing, not to
// error paths, and make exactly the calls they stand for: no last-error
// bookkeeping.

// A window's device context from GetDC, released to that window when the
// owner goes. A null window gives the screen's context.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~TWindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  TWindowDC(TWindowDC&& other) noexcept : window_(other.window_), dc_(other.dc_) {
    other.dc_ = nullptr;
  }
  TWindowDC& operator=(TWindowDC&&) = delete;

  // Null when GetDC failed.
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A GDI object selected into a device context; the object it replaced goes
// back when the owner goes. A null context selects nothing.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object)
      : dc_(dc), old_(dc != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~TSelection() {
    if (old_ != nullptr) SelectObject(dc_, old_);
  }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
  TSelection(TSelection&& other) noexcept : dc_(other.dc_), old_(other.old_) {
    other.old_ = nullptr;
  }
  TSelection& operator=(TSelection&&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window procedure's painting: BeginPaint when made, EndPaint when it
// goes, even when BeginPaint gave no context.
// It neither copies nor moves: the pair belongs to one WM_PAINT.
class TPaint {
 public:
  explicit TPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~TPaint() { EndPaint(window_, &paint_); }
  TPaint(const TPaint&) = delete;
  TPaint& operator=(const TPaint&) = delete;

  // The context to draw into; null when BeginPaint failed.
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_;
  HDC dc_;
};

// A registered window class, unregistered when the owner goes.
class TWindowClass {
 public:
  TWindowClass() = default;
  TWindowClass(const char* name, HINSTANCE instance) : name_(name), instance_(instance) {}
  ~TWindowClass() { reset(); }
  TWindowClass(const TWindowClass&) = delete;
  TWindowClass& operator=(const TWindowClass&) = delete;
  void reset() {
    if (name_ == nullptr) return;
    DWORD saved = GetLastError();
    UnregisterClassA(name_, instance_);
    SetLastError(saved);
    name_ = nullptr;
  }

 private:
  const char* name_ = nullptr;
  HINSTANCE instance_ = nullptr;
};
