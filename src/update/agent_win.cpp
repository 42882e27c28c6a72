// The auto-update agent: tick, schedule, check and update procedure.
#include "update/agent.h"

#include <windows.h>

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/package_info.h"
#include "paths/macros.h"
#include "process/process.h"
#include "ui/msgbox.h"
#include "update/agent_downloads.h"
#include "update/agent_rules.h"
#include "update/agent_state.h"
#include "update/http_client.h"
#include "update/setup_launcher.h"
#include "update/update_settings.h"
#include "update/update_settings_rules.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

bool tickGuard = false;

constexpr WPARAM kInfoDownloadEvent = 40;
constexpr WPARAM kUpdateDownloadEvent = 41;
constexpr WPARAM kInstallEvent = 42;
// The value sent with each event to the listener.
constexpr LPARAM kEventBegins = 1;
constexpr LPARAM kEventEnds = 2;

// The application named by "RunningProcess", seen around its shutdown.
enum class TProgramState {
  NotRunning,
  Running,
  ClosedForUpdate,  // ran before the shutdown and is gone now: restart it
};

bool UserCheckRuns() { return CheckRequestMode == TCheckRequest::UserCheckRuns; }

std::string WithProgramName(const std::string& text, const std::string& name) {
  return ReplaceAll(text, "PROG_NAME", name);
}

// The text of `id` with "PROG_NAME" replaced by `name`.
std::string NamedText(const TAgentSettings& own, const char* id, const std::string& name) {
  return WithProgramName(own.AutoUpdateText(id), name);
}

bool Ask(const TAgentSettings& own, HWND owner, const std::string& question) {
  return ShowAgentBox(own, owner, TAgentBox::Question, question);
}

void Warn(const TAgentSettings& own, HWND owner, const std::string& text) {
  ShowAgentBox(own, owner, TAgentBox::Warning, text);
}

// `n` is a single digit.
void Step(int n) {
  char line[] = " ==== DoPerform-0 ====";
  line[16] = static_cast<char>('0' + n);
  DebugLine(line);
}

void ShutDown(const std::string& method, const std::string& path) {
  static const struct {
    const char* method;
    bool (*shutDown)(const std::string& target, bool byPathOnly);
  } kMethods[] = {
      {"Using WM_CLOSE", CloseProgram},
      {"Using WM_QUIT", QuitProgram},
      {"Using Terminate Process", TerminateProgram},
  };
  if (method == "Don't Shut Down") return;
  for (const auto& entry : kMethods) {
    if (method == entry.method) entry.shutDown(path, true);
  }
  WaitForProgramExit(path);
}

std::string LocalFireStamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return FireStamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// Starts the application again as the user starts it, shown normally; the
// quotes keep a path with blanks from starting a program on its way.
void StartProgram(const std::string& path) {
  WinExec(Concat({"\"", path, "\""}).c_str(), SW_SHOWNORMAL);
}

// Fetches the package to install: the delta when `delta` holds, else, or
// when the delta cannot be had, the full package (and `delta` turns false).
// The path of the package beside the agent, or empty.
std::string FetchPackage(const TLauncherHost& host, const TAgentSettings& own,
                         const TUpdateOffer& offer, bool& delta) {
  AgentPhase = TAgentPhase::Downloading;
  host.Notify(kUpdateDownloadEvent, kEventBegins);
  const std::string* name = &offer.deltaFileName;
  if (!delta || !FetchUpdatePackage(host, own, offer.downloadUrl, *name, &offer)) {
    delta = false;
    name = &offer.updateFileName;
    if (!FetchUpdatePackage(host, own, offer.downloadUrl, *name, nullptr)) name = nullptr;
  }
  host.Notify(kUpdateDownloadEvent, kEventEnds);
  return name ? AgentFolder(ExtractFileName(*name)) : std::string();
}

// Every read of the settings below opens the file again.
TUpdateOutcome PerformSteps(const TLauncherHost& host, const TAgentSettings& own,
                            const TUpdateOffer& offer, bool delta) {
  Step(1);
  if (offer.downloadUrl.empty() || ExtractFileName(offer.updateFileName).empty()) {
    return TUpdateOutcome::Failed;
  }
  const std::string& programName = offer.programName;

  // The preference overrides may change while the procedure waits, so each
  // flag is taken at the moment it is needed.
  Step(2);
  std::string question = own.AutoUpdateText("s11");
  question += own.AutoUpdateText(
      OverriddenFlag(kConfirmBeforeInstall, offer.confirmBeforeInstall) ? "s13" : "s12");
  if (OverriddenFlag(kConfirmBeforeDownload, offer.confirmBeforeDownload) && !UserCheckRuns() &&
      !Ask(own, kOwnerWithHeading, WithProgramName(question, programName))) {
    return TUpdateOutcome::Declined;
  }

  Step(3);
  std::string updatePath = FetchPackage(host, own, offer, delta);
  if (updatePath.empty()) return TUpdateOutcome::Failed;
  if (OverriddenFlag(kConfirmBeforeInstall, offer.confirmBeforeInstall) && !UserCheckRuns() &&
      !Ask(own, kOwnerWithHeading, NamedText(own, "s14", programName))) {
    return TUpdateOutcome::Declined;
  }

  Step(4);
  const TMacroFolders folders{own.TargetDir(), own.SharedDir(), own.AuxiliaryDir()};
  const std::string path = ExpandMacros(folders, offer.runningProcess, "\\", true, true);
  TProgramState state = IsProgramRunning(path) ? TProgramState::Running : TProgramState::NotRunning;
  const std::string& method = offer.shutDownMethod;
  if (method == "Issue a Message Box") {
    const std::string text = NamedText(own, "s15", ExtractFileName(path));
    while (IsProgramRunning(path)) Warn(own, kOwnerWithHeading, text);
  }

  Step(5);
  ShutDown(method, path);

  Step(6);
  if (state == TProgramState::Running && !IsProgramRunning(path)) {
    state = TProgramState::ClosedForUpdate;
  }
  const bool restart = OverriddenFlag(kRestartProcess, offer.restartProcess) &&
                       state == TProgramState::ClosedForUpdate;
  const std::string arguments = Concat({"/OriginalInfoFile=\"", own.InfoPath(), "\""});
  AgentPhase = TAgentPhase::Installing;
  host.Notify(kInstallEvent, kEventBegins);

  Step(7);
  // An ordinary installer as the update succeeds by its exit code, which
  // the driver logs; a setup program of the hand-shake by the atom. Only the
  // latter is told where the info file lies.
  const bool show = !OverriddenFlag(kBackgroundUpdate, offer.backgroundUpdate);
  // A delta rebuilds the installed files; where it cannot (a file changed
  // or missing, a damaged patch), the full package is fetched and run.
  TRunStatus status;
  for (;;) {
    status = RunHostedPackage(host, {GetSetupFolder(),
                                     updatePath,
                                     host.Own.AutoUpdateProgName(),
                                     {},
                                     arguments,
                                     show,
                                     false,
                                     nullptr,
                                     delta ? own.TargetDir() : std::string()})
                 .Status;
    if (status != TRunStatus::RebuildFailed || !delta) break;
    RemoveSetupFolder();
    DeleteFileA(updatePath.c_str());
    delta = false;
    updatePath = FetchPackage(host, own, offer, delta);
    AgentPhase = TAgentPhase::Installing;
    if (updatePath.empty()) break;
  }
  const bool result = status == TRunStatus::Succeeded;
  RemoveSetupFolder();

  // The update package has run and may have replaced the settings files:
  // what follows reads them again.
  Step(8);
  host.Notify(kInstallEvent, kEventEnds);
  if (result) own.SetVersionOriginal(own.VersionNew());
  DeleteFileA(updatePath.c_str());
  // What the agent closed comes back whether the installation succeeded or
  // not; only a finishing question, where one is put, may keep it closed.
  if (result && (own.InformFinish() || UserCheckRuns())) {
    std::string done = NamedText(own, "s16", programName);
    if (!restart) {
      Warn(own, kOwnerActiveWindow, done);
    } else {
      done += own.AutoUpdateText("s17");
      if (Ask(own, kOwnerActiveWindow, done)) StartProgram(path);
    }
  } else if (restart) {
    StartProgram(path);
  }
  return result ? TUpdateOutcome::Installed : TUpdateOutcome::Failed;
}

// The offer just fetched and the decision on it; the update file's size is
// asked for only when every other test has passed.
struct TOfferVerdict {
  TOfferInput input;
  TOfferDecision decision = TOfferDecision::UpdatingOff;
};

TOfferVerdict DecideOnFetchedOffer(const TAgentSettings& settings) {
  // Built in place: the offer's texts are never copied.
  TOfferVerdict verdict{
      {settings.Offer(), settings.InstalledState(), NowSeconds(), UserCheckRuns(), std::nullopt}};
  TOfferInput& in = verdict.input;
  verdict.decision = DecideOnOffer(in);
  // The size of the package to be fetched: the delta's where it applies.
  // A delta of another size leaves the full package.
  for (in.delta = DeltaApplies(in.offer, in.installed);
       verdict.decision == TOfferDecision::SizeNeeded;) {
    in.availableSize = OfferedUpdateFileSize(
        in.offer.downloadUrl, in.delta ? in.offer.deltaFileName : in.offer.updateFileName);
    verdict.decision = DecideOnOffer(in);
    if (verdict.decision == TOfferDecision::SizeMismatch && in.delta) {
      DebugLineParts({" Delta not applied: ", "SizeOfDeltaFile differs"});
      in.delta = false;
      in.availableSize.reset();
      verdict.decision = TOfferDecision::SizeNeeded;
    }
  }
  if (verdict.decision == TOfferDecision::OutsideRollout) DebugLine(" Rollout: not here yet");
  return verdict;
}

}  // namespace

TCheckDecision ShouldCheckNow(const TAgentSettings& own) {
  TScheduleInput in;
  in.autoCheckEnabled = AutoCheckEnabled;
  in.checkNowRequested = CheckNowRequested;
  in.testMode = TestMode;
  in.probeSecondsInterval = own.ProbeSecondsInterval();
  in.probeSecondsLast = own.ProbeSecondsLast();
  in.now = NowSeconds();
  CheckNowRequested = false;
  return ScheduleDecision(in);
}

bool UserAgreesToCheck(const TLauncherHost& host, const TAgentSettings& own) {
  const std::string location = host.Own.UpdateLocation();
  const std::string& server = RefreshTestMode(true) ? *TestModeURL : location;
  std::string question = NamedText(own, "s22", own.OriginalProgramName());
  if (server.size() > 2 && server[1] != ':') question += own.AutoUpdateText("s23");
  question += own.AutoUpdateText("s24");
  return Ask(own, kOwnerActiveWindow, question);
}

TUpdateOutcome DoPerform(const TLauncherHost& host, const TAgentSettings& own,
                         const TUpdateOffer& offer, bool delta) {
  const TUpdateOutcome outcome = PerformSteps(host, own, offer, delta);
  Step(9);
  return outcome;
}

void RelaunchAgent(const TLauncherHost& host) {
  if (StopCountdown > 0) return;
  const std::string command = Concat({AgentFolder(), host.Own.AutoUpdateProgName(),
                                      " /_ZZ=99 /WAIT=3 /TRANSIENT=", FormatOverrideList()});
  WinExec(command.c_str(), SW_HIDE);
  PostQuitMessage(0);
}

void CheckForUpdate(const TLauncherHost& host, const TAgentSettings& own) {
  DebugLinePair(" Fire  ", LocalFireStamp());
  RefreshTestMode(true);
  bool performed = false;
  AgentPhase = TAgentPhase::Checking;
  host.Notify(kInfoDownloadEvent, kEventBegins);
  const std::string& infoPath = own.InfoPath();
  // The info file takes only the file-name part of the path it is given.
  const bool ok = FetchInfoFile(host, own, host.Own.UpdateLocation(), infoPath);
  host.Notify(kInfoDownloadEvent, kEventEnds);
  if (ok) SetFileAttributesA(infoPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
  own.SetProbeSecondsLast(NowSeconds());
  if (ok) {
    const TOfferVerdict verdict = DecideOnFetchedOffer(own);
    const TUpdateOffer& offer = verdict.input.offer;
    if (verdict.decision == TOfferDecision::Perform) {
      DebugLine(" ==== Perform Update-1 ====");
      performed = true;
      // Recorded before anything is asked: a "no" waits for the re-ask
      // interval. The attempt counts as failed until it ends otherwise.
      own.SetReAskSecondsLast(NowSeconds());
      const int32_t attempts = FailedAttemptsAtStart(verdict.input.installed, offer.stamp);
      own.SetFailedAttempts(attempts);
      own.SetOriginalStamp(offer.stamp);
      const TUpdateOutcome outcome = DoPerform(host, own, offer, verdict.input.delta);
      const bool failed = outcome == TUpdateOutcome::Failed;
      if (failed) DebugLine(" Update failed");
      own.SetFailedAttempts(failed ? attempts : 0);
      if (outcome == TUpdateOutcome::Installed) RelaunchAgent(host);
      DebugLine(" ==== Perform Update-2 ====");
    }
  }
  if (UserCheckRuns()) {
    Wait(1000);
    host.View.Hide();
    if (!performed) {
      const bool connected = IsInternetConnected();
      DebugLineParts({TestMode ? " TRUE " : " FALSE ", connected ? "TRUE" : "FALSE"});
      // Reachable: there was no update; else the connection is at fault.
      const bool reachable = TestMode || connected;
      ShowAgentBox(own, reachable ? kOwnerActiveWindow : kOwnerWithHeading,
                   reachable ? TAgentBox::Warning : TAgentBox::Error,
                   own.AutoUpdateText(reachable ? "s21" : "s2"));
    }
  }
  SetFileAttributesA(infoPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(infoPath.c_str());
}

void AutoUpdateTimerTick(const TLauncherHost& host) {
  if (tickGuard) return;
  tickGuard = true;
  AgentPhase = TAgentPhase::Idle;
  if (CheckRequestMode == TCheckRequest::UserCheckPending) {
    CheckRequestMode = TCheckRequest::UserCheckRuns;
  }
  if (UserCheckRuns()) AutoUpdateTimerCount = 0;
  if (StopCountdown == 0) PostQuitMessage(0);
  if (StopCountdown >= 0) --StopCountdown;
  ++AutoUpdateTimerCount;
  DebugLineNumber(" AutoUpdateTimerCount=", AutoUpdateTimerCount);
  if (AutoUpdateTimerCount >= 1) {
    RefreshTestMode(false);
    const TAgentSettings own = OwnAgentSettings(host.Own);
    TCheckDecision decision = ShouldCheckNow(own);
    if (decision == TCheckDecision::YesThenStopAutoChecks) AutoCheckEnabled = false;
    if (decision != TCheckDecision::No && (UserCheckRuns() || AskBeforeCheck()) &&
        !UserAgreesToCheck(host, own)) {
      decision = TCheckDecision::No;
    }
    if (decision != TCheckDecision::No) CheckForUpdate(host, own);
    if (UserCheckRuns()) CheckRequestMode = TCheckRequest::Automatic;
  }
  AgentPhase = TAgentPhase::Idle;
  tickGuard = false;
}
