// The C++ runtime pieces the launcher uses, cut down to what a program that
// never throws needs. The C++ runtime library's own versions throw, and a
// throw drags in the unwinder, the exception objects with a second string
// implementation and the verbose terminate handler with its demangler;
// together several times the size of the launcher's own code.
//
// A launcher built without exceptions cannot catch anything, so every one of
// these failures would end in std::terminate and abort() anyway. Here they
// end the process the same way (exit code 3, as abort() gives) right away,
// after naming the cause to an attached debugger.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

namespace {

constexpr UINT kFatalExitCode = 3;

[[noreturn]] void Fatal(const char* what) {
  OutputDebugStringA("Stub.exe: fatal runtime error: ");
  OutputDebugStringA(what);
  ExitProcess(kFatalExitCode);
}

void* Allocate(std::size_t size) {
  // malloc(0) may give null; a C++ allocation of zero bytes must not.
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) Fatal("out of memory");
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The helpers that the standard headers call where a checked operation fails
// (a string grown past max_size, an empty std::function called, ...). The
// length, range and argument checks are all logic errors: they are named as
// one, without the library's own text, so that neither those texts nor the
// arguments that pass them stay in the launcher (about 340 bytes).
namespace std {
void __throw_bad_alloc() { Fatal("out of memory"); }
void __throw_bad_array_new_length() { Fatal("bad array length"); }
void __throw_length_error(const char*) { Fatal("logic error"); }
void __throw_logic_error(const char*) { Fatal("logic error"); }
void __throw_out_of_range(const char*) { Fatal("logic error"); }
void __throw_out_of_range_fmt(const char*, ...) { Fatal("logic error"); }
void __throw_invalid_argument(const char*) { Fatal("logic error"); }
void __throw_bad_function_call() { Fatal("empty function called"); }
void __throw_system_error(int) { Fatal("system error"); }
}  // namespace std

extern "C" void __cxa_pure_virtual() { Fatal("pure virtual call"); }

// The string code the library would take from its prebuilt copy (built with
// exceptions, so it pulls in the unwinder) is instantiated here instead,
// without them.
template class std::basic_string<char>;
template std::string std::operator+(const char*, const std::string&);
template std::string std::operator+(char, const std::string&);

// The process starts here instead of in the C runtime's start-up code, whose
// argument parsing, thread-local storage and exception filter the launcher
// does not use. Static constructors run first; the destructors they
// register with atexit run, last registered first, when WinMain returns.
// The system enters with a 4-byte aligned stack.
namespace {

using TExitFunction = void (*)();
TExitFunction* exitFunctions = nullptr;
size_t exitCount = 0;

}  // namespace

extern "C" int atexit(TExitFunction function) {
  void* grown = std::realloc(exitFunctions, (exitCount + 1) * sizeof(TExitFunction));
  if (grown == nullptr) return -1;
  exitFunctions = static_cast<TExitFunction*>(grown);
  exitFunctions[exitCount++] = function;
  return 0;
}

// The linker's lists of static constructors and destructors: a -1, the
// functions, then a zero. The C runtime's own walk of them (__main) comes
// with a second walker and a run-once flag that the launcher does not need.
extern "C" TExitFunction __CTOR_LIST__[];
extern "C" TExitFunction __DTOR_LIST__[];
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

extern "C" __attribute__((force_align_arg_pointer)) void StubStartup() {
  // Constructors run last to first, destructors first to last after the
  // atexit functions, in the order that __main gives them.
  size_t constructors = 0;
  while (__CTOR_LIST__[constructors + 1] != nullptr) ++constructors;
  while (constructors > 0) __CTOR_LIST__[constructors--]();
  const int code = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT);
  while (exitCount > 0) exitFunctions[--exitCount]();
  for (TExitFunction* destructor = __DTOR_LIST__ + 1; *destructor != nullptr; ++destructor) {
    (*destructor)();
  }
  ExitProcess(static_cast<UINT>(code));
}
