// A global object that is built like any other but never torn down: the
// process gives its memory back when it ends. A global std::string costs
// the launcher a destructor registration and a destructor thunk for the
// run's end, where freeing a few texts changes nothing; held here, it costs
// only its construction.
#pragma once

#include <new>
#include <utility>

template <typename T>
class TLasting {
 public:
  template <typename... TArgs>
  explicit TLasting(TArgs&&... args) {
    new (storage_) T(std::forward<TArgs>(args)...);
  }

  TLasting(const TLasting&) = delete;
  TLasting& operator=(const TLasting&) = delete;

  T& operator*() { return *Get(); }
  T* operator->() { return Get(); }
  const T& operator*() const { return *Get(); }
  const T* operator->() const { return Get(); }

 private:
  T* Get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  const T* Get() const { return std::launder(reinterpret_cast<const T*>(storage_)); }

  alignas(T) unsigned char storage_[sizeof(T)];
};
