// One move-only owner for every kind of Windows handle the launcher holds.
// Each handle type is one line below naming its close function and its
// invalid value. reset() keeps the caller's last error, so cleanup on an
// error path never hides the error being reported.
#pragma once

#include <windows.h>

#include <utility>

template <typename T, T Invalid, typename Closer>
class TUniqueHandle {
 public:
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
  bool valid() const { return value_ != Invalid; }
  explicit operator bool() const { return valid(); }

  // Closes the held value (if any) and takes `value`; GetLastError survives.
  void reset(T value = Invalid) {
    if (value_ == value) return;
    T old = value_;
    value_ = value;
    if (old != Invalid) {
      DWORD saved = GetLastError();
      Closer()(old);
      SetLastError(saved);
    }
  }

  T release() {
    T old = value_;
    value_ = Invalid;
    return old;
  }

  // For APIs that fill a handle through a pointer.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Invalid;
};

struct TCloseHandle { void operator()(HANDLE h) const { CloseHandle(h); } };
struct TFindClose { void operator()(HANDLE h) const { FindClose(h); } };
struct TRegCloseKey { void operator()(HKEY h) const { RegCloseKey(h); } };
struct TFreeLibrary { void operator()(HMODULE h) const { FreeLibrary(h); } };
struct TDeleteObject { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct TDestroyWindow { void operator()(HWND h) const { DestroyWindow(h); } };
struct TGlobalDeleteAtom { void operator()(ATOM a) const { GlobalDeleteAtom(a); } };

using THandle = TUniqueHandle<HANDLE, nullptr, TCloseHandle>;
using TFileHandle = TUniqueHandle<HANDLE, INVALID_HANDLE_VALUE, TCloseHandle>;
using TFindHandle = TUniqueHandle<HANDLE, INVALID_HANDLE_VALUE, TFindClose>;
using TRegKey = TUniqueHandle<HKEY, nullptr, TRegCloseKey>;
using TModule = TUniqueHandle<HMODULE, nullptr, TFreeLibrary>;
using TGdiObject = TUniqueHandle<HGDIOBJ, nullptr, TDeleteObject>;
using TWindow = TUniqueHandle<HWND, nullptr, TDestroyWindow>;
using TGlobalAtom = TUniqueHandle<ATOM, ATOM(0), TGlobalDeleteAtom>;

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
