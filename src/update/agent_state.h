// The agent's schedule state, shared by the main window (which sets it from
// messages and switches), the agent commands and the timer tick.
#pragma once

#include <cstdint>

// Ticks left before the agent quits; -1 means never.
extern int32_t StopCountdown;
// 0 automatic; 2 a check requested by the user is pending; 1 that check runs.
extern int32_t CheckRequestMode;
// A check was requested by agent command 31 and is due at the next tick.
extern bool CheckNowRequested;
// Ticks since start; the agent decides only once it is 1 or more.
extern int32_t AutoUpdateTimerCount;
