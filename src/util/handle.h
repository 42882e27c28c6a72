// One move-only owner for every kind of Windows handle the launcher holds.
// Each handle type is one line below naming its close function and its
// invalid value. reset() keeps the caller's last error, so cleanup on an
// error path never hides the error being reported.
#pragma once

#include <windows.h>

#include <utility>

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
    if (value_ == value) return;
    T old = value_;
    value_ = value;
    if (old != Traits::Invalid()) {
      DWORD saved = GetLastError();
      Traits::Close(old);
      SetLastError(saved);
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
