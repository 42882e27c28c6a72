#include <windows.h>

#include <cstring>
#include <string>

#include "startup/debug_log.h"

namespace {

// A viewer that stops answering must not stall the launcher for good.
constexpr UINT kViewerTimeoutMs = 2000;

class TDebugLock {
 public:
  TDebugLock() { InitializeCriticalSection(&section_); }
  ~TDebugLock() { DeleteCriticalSection(&section_); }
  TDebugLock(const TDebugLock&) = delete;
  TDebugLock& operator=(const TDebugLock&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Created at the first delivery and never destroyed: static objects that
// log from their destructors at process end still find it.
TDebugLock& DebugLock() {
  static TDebugLock* lock = new TDebugLock;
  return *lock;
}

class TLockScope {
 public:
  TLockScope() { DebugLock().Enter(); }
  ~TLockScope() { DebugLock().Leave(); }
  TLockScope(const TLockScope&) = delete;
  TLockScope& operator=(const TLockScope&) = delete;
};

// Registered once; the number is the same in every process that registers
// the name, the viewer included.
UINT DebugMessage() {
  static const UINT message = RegisterWindowMessageA(".O_DebugMsg.");
  return message;
}

// A plain array, so the buffer outlives every static destructor.
char gBuffer[kDebugPieceSize];
size_t gBuffered = 0;

// Hands one atom-sized text to the viewer. The viewer reads the atom's name
// while the message is being sent; the atom is deleted right after.
void SendToViewer(HWND viewer, const char* text) {
  const ATOM atom = GlobalAddAtomA(text);
  if (atom == 0) return;
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(viewer, DebugMessage(), 1, static_cast<LPARAM>(atom),
                      SMTO_NORMAL | SMTO_ABORTIFHUNG, kViewerTimeoutMs, &answer);
  GlobalDeleteAtom(atom);
}

// A name "#" + decimal digits makes an integer atom instead of a text atom,
// and the viewer would read back "#" + a different number or nothing. The
// lone "#" goes first as its own atom, the digits follow as another.
bool NamesIntegerAtom(const std::string& text) {
  if (text.size() < 2 || text[0] != '#') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

void DeliverPiece(const char* data, size_t length) {
  if (length == 0) return;
  // An atom name ends at its first zero byte; zero bytes are left out so
  // that the text behind them, with its line end, still arrives.
  std::string text;
  text.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    if (data[i] != '\0') text += data[i];
  }
  if (text.empty()) return;
  const HWND viewer = FindWindowA(".ODebug.", nullptr);
  if (viewer == nullptr) return;
  if (NamesIntegerAtom(text)) {
    SendToViewer(viewer, "#");
    text.erase(0, 1);
  }
  SendToViewer(viewer, text.c_str());
}

void DeliverBuffer() {
  DeliverPiece(gBuffer, gBuffered);
  gBuffered = 0;
}

}  // namespace

void DebugWrite(const std::string& raw) {
  // The whole write runs under the lock so that lines written by two
  // threads cannot interleave inside the buffer.
  TLockScope scope;
  for (char c : raw) {
    gBuffer[gBuffered++] = c;
    if (gBuffered == kDebugPieceSize || c == '\n') DeliverBuffer();
  }
}

void DebugLine(const std::string& text) {
  DebugWrite(std::to_string(GetCurrentProcessId()) + text + "\r\n");
}

void DebugFlush() {
  TLockScope scope;
  DeliverBuffer();
}
