#include "util/debug_log.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "util/text.h"

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

// Open batches (TDebugBatch): while there is one, pieces are sent without
// waiting for the viewer.
int gBatchDepth = 0;

// Atoms of pieces sent without waiting that the viewer may not have taken
// yet, oldest first. A window takes sent messages in the order they were
// sent, so an answer to one piece means that every earlier piece has been
// taken too. Most pieces go as notifications, which the viewer takes
// without answering; every kAnswerEvery-th asks for an answer, which comes
// back as a callback and releases the atoms up to it. A full list, or the
// end of the last batch, waits for the viewer instead.
constexpr uint32_t kMaxUnanswered = 256;
constexpr uint32_t kAnswerEvery = 32;
ATOM gUnanswered[kMaxUnanswered];
uint32_t gFirstUnanswered = 0;  // sequence number of the oldest
uint32_t gNextPiece = 0;        // sequence number the next piece gets

// Releases the atoms of the pieces before sequence number `end`.
void ReleasePiecesBefore(uint32_t end) {
  while (gFirstUnanswered != gNextPiece && static_cast<int32_t>(end - gFirstUnanswered) > 0) {
    GlobalDeleteAtom(gUnanswered[gFirstUnanswered % kMaxUnanswered]);
    ++gFirstUnanswered;
  }
}

// Every piece sent so far has been taken (or its viewer is gone).
void ReleaseAllPieces() { ReleasePiecesBefore(gNextPiece); }

// The viewer has answered piece `sequence`, so it has taken every piece up
// to that one.
void CALLBACK PieceAnswered(HWND, UINT, ULONG_PTR sequence, LRESULT) {
  ReleasePiecesBefore(static_cast<uint32_t>(sequence) + 1);
}

// Hands one atom-sized text to the viewer, which reads the atom's name
// while it takes the message; the atom is deleted once the viewer has
// taken it. False when the viewer window is gone.
bool SendToViewer(HWND viewer, const char* text) {
  const ATOM atom = GlobalAddAtomA(text);
  if (atom == 0) return true;
  if (gBatchDepth > 0 && gNextPiece - gFirstUnanswered < kMaxUnanswered) {
    const uint32_t sequence = gNextPiece;
    gUnanswered[sequence % kMaxUnanswered] = atom;
    const LPARAM lParam = static_cast<LPARAM>(atom);
    const BOOL sent =
        sequence % kAnswerEvery == kAnswerEvery - 1
            ? SendMessageCallbackA(viewer, DebugMessage(), 1, lParam, PieceAnswered, sequence)
            : SendNotifyMessageA(viewer, DebugMessage(), 1, lParam);
    if (sent) {
      ++gNextPiece;
      return true;
    }
    GlobalDeleteAtom(atom);
    return false;
  }
  DWORD_PTR answer = 0;
  const LRESULT sent =
      SendMessageTimeoutA(viewer, DebugMessage(), 1, static_cast<LPARAM>(atom),
                          SMTO_NORMAL | SMTO_ABORTIFHUNG, kViewerTimeoutMs, &answer);
  const bool gone = sent == 0 && GetLastError() == ERROR_INVALID_WINDOW_HANDLE;
  GlobalDeleteAtom(atom);
  ReleaseAllPieces();
  return !gone;
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

// The viewer window. Finding it is a round trip to the window system; in a
// batch the window found is kept for kViewerKeptMs (a tick of the Windows
// clock): a viewer started meanwhile misses the lines of those few
// milliseconds, as it misses any line written before it started.
constexpr DWORD kViewerKeptMs = 15;
HWND gViewer = nullptr;
DWORD gViewerTick = 0;
bool gViewerKnown = false;

HWND FindViewer(bool again) {
  const DWORD now = GetTickCount();
  if (gBatchDepth == 0 || again || !gViewerKnown || now - gViewerTick >= kViewerKeptMs) {
    gViewer = FindWindowA(".ODebug.", nullptr);
    gViewerTick = now;
    gViewerKnown = true;
  }
  return gViewer;
}

bool SendText(HWND viewer, const std::string& text) {
  const char* rest = text.c_str();
  if (NamesIntegerAtom(text)) {
    if (!SendToViewer(viewer, "#")) return false;
    ++rest;
  }
  return SendToViewer(viewer, rest);
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
  const HWND viewer = FindViewer(false);
  if (viewer == nullptr || SendText(viewer, text)) return;
  // The window kept from earlier in the tick has gone: look once more.
  const HWND another = FindViewer(true);
  if (another != nullptr && another != viewer) SendText(another, text);
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

void DebugLine(const std::string& text) { DebugLineParts({text}); }

void DebugLine(const char* text) { DebugLineParts({text}); }

void DebugLineParts(std::initializer_list<std::string_view> parts) {
  std::string line = Decimal(GetCurrentProcessId());
  for (std::string_view part : parts) line.append(part.data(), part.size());
  line += "\r\n";
  DebugWrite(line);
}

void DebugLinePair(const char* head, std::string_view tail) { DebugLineParts({head, tail}); }

void DebugLineNumber(const char* head, int64_t value) { DebugLinePair(head, Decimal(value)); }

TDebugBatch::TDebugBatch() {
  TLockScope scope;
  ++gBatchDepth;
}

TDebugBatch::~TDebugBatch() {
  TLockScope scope;
  if (--gBatchDepth > 0) return;
  gViewerKnown = false;
  if (gFirstUnanswered == gNextPiece) return;
  // The viewer answers this empty message only after every piece before it.
  const HWND viewer = FindWindowA(".ODebug.", nullptr);
  DWORD_PTR answer = 0;
  if (viewer != nullptr) {
    SendMessageTimeoutA(viewer, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kViewerTimeoutMs,
                        &answer);
  }
  ReleaseAllPieces();
}

void DebugFlush() {
  TLockScope scope;
  DeliverBuffer();
}
