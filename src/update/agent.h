// The auto-update agent: its one-second tick, the schedule, the check for
// an update and the update procedure.
#pragma once

#include <cstdint>

// Called for every tick of the main window's timer while the launcher is
// the agent. Guarded against re-entry from the waits inside a check.
void AutoUpdateTimerTick();

// 0 no, 1 yes, 2 yes and turn automatic checking off afterwards.
int ShouldCheckNow();
void AskToCheckForUpdate(int& decision);
void CheckForUpdate();
bool DoPerform();
bool IsReAskDue();
bool IsVersionValid();
void RelaunchAgent();
