// The auto-update agent: its one-second tick, the schedule, the check for
// an update and the update procedure.
#pragma once

#include <cstdint>

#include "update/agent_rules.h"
#include "update/launcher_host.h"

class TAgentSettings;

// Called for every tick of the main window's timer while the launcher is
// the agent. Guarded against re-entry from the waits inside a check.
void AutoUpdateTimerTick(const TLauncherHost& host);

// The four below act on the agent's own settings files, `own`, in the
// launcher `host`.
// The schedule's answer for this tick; clears a pending check-now request.
TCheckDecision ShouldCheckNow(const TAgentSettings& own);
// Asks the user whether to check for an update now; true for yes.
bool UserAgreesToCheck(const TLauncherHost& host, const TAgentSettings& own);
void CheckForUpdate(const TLauncherHost& host, const TAgentSettings& own);
// How the update procedure for an offer ended.
enum class TUpdateOutcome {
  Installed,  // the update package ran and succeeded
  Declined,   // the user said no to the download or to the installation
  Failed,     // anything else: a failed download, a refused package, a failed installer
};
// The update procedure for `offer`, through its delta package when `delta`
// (falling back to the full package). An application it closed comes back
// when the procedure ends, unless the user declines that at the finish.
TUpdateOutcome DoPerform(const TLauncherHost& host, const TAgentSettings& own,
                         const TUpdateOffer& offer, bool delta);
void RelaunchAgent(const TLauncherHost& host);
