// Pure rules of the extraction driver, unit-tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Bytes as MB: 3 decimals below 1, 2 from 1 to 10, 1 above 10.
std::string FormatMB(double bytes);

// "_" + the calling thread's id.
std::string RunTokenFor(unsigned long threadId);

// How the started program tells the launcher that it succeeded.
enum class TSuccessBy {
  HandShake,  // it removes the run's atom (a setup program written for the launcher)
  ExitCode,   // exit code 0, 3010 or 1641 (an ordinary installer: MSI, NSIS, Inno Setup)
};

// What the start of a package's main program is made of.
struct TStartInput {
  std::string TargetFolder;
  // The package's main entry: "Setup.exe* /S" (name, "*", the publisher's
  // arguments) or a bare name.
  std::string MainProgram;
  // The caller's arguments (the launcher's own command tail).
  std::string Arguments;
  // Switches for a setup program written for the launcher only (the
  // agent's "/OriginalInfoFile="); an ordinary installer never sees them.
  std::string HandShakeArguments;
  std::string RunToken;
  // The system folder (without a trailing backslash), where msiexec.exe
  // is taken from.
  std::string SystemFolder;
  bool PackageSaysExitCode = false;
  bool AutoUpdateProg = false;
};

struct TStartCommand {
  std::string ProgramPath;  // the extracted main program
  std::string Application;  // the file the system starts (the program, or msiexec)
  std::string CommandLine;  // its whole command line, program name first
  TSuccessBy SuccessBy = TSuccessBy::HandShake;
};

// Hand-shake: the program path unquoted, the caller's arguments, the
// publisher's, the run token switch and, in the agent, " /AutoUpdateProg".
// Exit code: the quoted path with the caller's and the publisher's
// arguments only. A main entry ending in ".msi" always goes by exit code
// and runs as msiexec /i "path".
TStartCommand BuildStartCommand(const TStartInput& in);

// Exit codes by which an ordinary installer reports success: 0, and 3010
// and 1641, which ask for a restart of the machine (never made here).
bool IsSuccessExitCode(uint32_t code);
bool AsksForRestart(uint32_t code);

enum class TRunStatus {
  Succeeded,    // the atom was removed, or a success exit code
  SetupFailed,  // the program ran and did not report success
  StartFailed,  // the program could not be started (Error says why)
  Declined,     // the user said No to the temp-drive question
  NotStarted,   // a damaged package, a failed write, no main program
  // A delta package's files could not be rebuilt from the installed ones
  // (the debug log says why); nothing was started.
  RebuildFailed,
};

// The outcome of one self-extraction run.
struct TRunResult {
  TRunStatus Status = TRunStatus::NotStarted;
  TSuccessBy SuccessBy = TSuccessBy::HandShake;
  uint32_t ExitCode = 0;  // the setup program's, once it has ended
  uint32_t Error = 0;     // the Win32 error of a start that failed
  bool Succeeded() const { return Status == TRunStatus::Succeeded; }
};

// The launcher's own exit code after a run: 0 for a hand-shake package,
// whose callers never read it; for an ordinary installer its exit code, or
// the installer codes 1602 (the user cancelled) and 1603 (failed) when it
// never ran, so that a deployment script sees the failure.
uint32_t LauncherExitCode(const TRunResult& result);

// The temp-drive question, or empty when none is to be asked. `texts`
// looks a package text up by id and default.
template <typename TextLookup>
std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool alwaysShow, TextLookup texts);

std::string TempNoticeDrive(const std::string& folder);
// The question's <DRIVE>, <SPACE_REQ> and <SPACE_AVAIL> filled in.
std::string FillTempSpaceMarks(const std::string& message, const std::string& folder, double needed,
                               double freeBytes);

// Setup folder names: "SETUP_" + the launcher's time of day, and, when a
// folder of that name is there already (another run's, or not ours at
// all), the same + "_" + `attempt` (attempt 2, 3, ...).
std::string SetupFolderName(unsigned timeOfDay, int attempt);
// True for a name SetupFolderName can give (letter case ignored): the only
// folders the start sweep ever looks into.
bool IsSetupFolderName(std::string_view name);

#include "package/driver_rules.inl"
