// A global object that is built like any other but never torn down: the
// process gives its memory back when it ends. A global std::string costs
// the launcher a destructor registration and a destructor thunk for the
// run's end, where freeing a few texts changes nothing; held here, it costs
// only its construction.
#pragma once

#include <new>

template <typename T>
class TLasting {
 public:
  TLasting() { new (storage_) T(); }

  TLasting(const TLasting&) = delete;
  TLasting& operator=(const TLasting&) = delete;

  T& operator*() { return *Get(); }
  T* operator->() { return Get(); }

 private:
  T* Get() { return std::launder(reinterpret_cast<T*>(storage_)); }

  alignas(T) unsigned char storage_[sizeof(T)];
};
