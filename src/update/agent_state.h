// The agent's schedule state, shared by the main window (which sets it from
// messages and switches), the agent commands and the timer tick.
#pragma once

#include <cstdint>

// Ticks left before the agent quits; -1 means never.
extern int32_t StopCountdown;
// Whether the check at hand is one the user asked for.
enum class TCheckRequest : int32_t {
  Automatic = 0,
  UserCheckRuns = 1,     // the check the user asked for runs now
  UserCheckPending = 2,  // asked for by agent command 31; runs at the next tick
};
extern TCheckRequest CheckRequestMode;
// A check was requested by agent command 31 and is due at the next tick.
extern bool CheckNowRequested;
// Ticks since start; the agent decides only once it is 1 or more.
extern int32_t AutoUpdateTimerCount;
