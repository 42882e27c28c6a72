// A callable passed or stored as a seam between the rules and the system
// (or a test's fixed answers). Unlike std::function it never allocates and
// needs no copy or destroy code per callable: it holds only small callables
// that copy as plain bytes (function pointers, and lambdas that capture
// pointers, references or other such lambdas), which is every use here. A
// callable that does not fit fails to compile.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

template <typename Signature>
class TCallback;

template <typename Result, typename... Args>
class TCallback<Result(Args...)> {
 public:
  TCallback() = default;
  TCallback(std::nullptr_t) {}  // NOLINT: an empty callback, as with std::function

  template <typename Callable,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, TCallback> &&
                                        !std::is_same_v<std::decay_t<Callable>, std::nullptr_t>>>
  TCallback(Callable callable) {  // NOLINT: converts like std::function
    static_assert(
        std::is_trivially_copyable_v<Callable> && std::is_trivially_destructible_v<Callable>,
        "a callback holds only callables that copy as plain bytes");
    static_assert(sizeof(Callable) <= sizeof(storage_) && alignof(Callable) <= alignof(void*),
                  "a callback holds callables of up to three pointers");
    ::new (static_cast<void*>(storage_)) Callable(callable);
    invoke_ = [](const void* storage, Args... args) -> Result {
      return (*static_cast<const Callable*>(storage))(std::forward<Args>(args)...);
    };
  }

  // Every callback that the rules call must be set; calling an empty one is
  // a programming error.
  Result operator()(Args... args) const { return invoke_(storage_, std::forward<Args>(args)...); }
  explicit operator bool() const { return invoke_ != nullptr; }

 private:
  // Only the callable's own bytes are ever set or read; the rest (all of it
  // in an empty callback) is copied along as it is, never cleared first:
  // clearing costs every construction three stores.
  alignas(void*) unsigned char storage_[3 * sizeof(void*)];
  Result (*invoke_)(const void*, Args...) = nullptr;
};
