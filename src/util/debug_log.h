// The debug log: text sent piece by piece to an external viewer program
// that owns a top-level window of class ".ODebug.". There is no log file;
// without a viewer the text is dropped. Writing never fails and never
// blocks for long, so any module may log at any time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Size of the device's buffer: a line longer than this arrives in pieces.
inline constexpr size_t kDebugPieceSize = 128;

// Writes one line: the process id in decimal, `text` (which by convention
// begins with a blank), CR LF.
void DebugLine(const std::string& text);
void DebugLine(const char* text);
// DebugLine of the parts joined: one text built instead of a chain of them.
void DebugLineParts(std::initializer_list<std::string_view> parts);
// DebugLineParts of two parts, the commonest line: `head` followed by `tail`.
void DebugLinePair(const char* head, std::string_view tail);
// DebugLinePair of `head` and `value` in decimal.
void DebugLineNumber(const char* head, int64_t value);
// Writes characters as they are, for the few lines that carry no process id.
void DebugWrite(const std::string& raw);
// Delivers whatever the buffer holds, without waiting for a line end.
void DebugFlush();

// While one lives, every piece still goes to the viewer in order and whole,
// but the writer does not wait for the viewer to take each one: a loop that
// logs a line per file then does not pay a round trip to another process
// per line. Each piece's atom lives until the viewer has answered for it;
// the last batch to end waits until the viewer has taken every piece.
class TDebugBatch {
 public:
  TDebugBatch();
  ~TDebugBatch();
  TDebugBatch(const TDebugBatch&) = delete;
  TDebugBatch& operator=(const TDebugBatch&) = delete;
};
