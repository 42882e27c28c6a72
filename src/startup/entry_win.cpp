// Process entry and run-mode dispatch.
#include "startup/entry.h"

#include <windows.h>
#include <psapi.h>

#include <memory>

#include "package/package_info.h"
#include "startup/run_modes.h"
#include "startup/transient_copy.h"
#include "util/debug_log.h"
#include "util/lasting.h"
#include "util/text.h"
#include "util/winapi.h"

bool AutoUpdateFlag = false;

namespace {

// The run's first and last debug line: `mark`, then the command line in "<".
void DebugRunMark(const char* mark, const std::string& commandLine) {
  DebugLineParts({mark, commandLine, "<"});
}

constexpr std::string_view kDynDataKey = "HKEY_CURRENT_USER\\Software\\Orvane_Dyn_Data";

// Released at the END line; never torn down after it.
TLasting<std::unique_ptr<TGFileInfo>> ownPackage;

bool TopLevelWindowExists(const std::string& className) {
  return FindWindowA(className.c_str(), nullptr) != nullptr;
}

std::string OwnFileName() { return ExtractFileName(ProgramPath()); }

void RecordOrigin() {
  const std::string path = ProgramPath();
  // Views of fixed length: no counting at run time.
  constexpr std::string_view kOriginDir = "OriginDir";
  constexpr std::string_view kOriginExe = "OriginExe";
  RegWriteValue(kDynDataKey, kOriginDir, OriginDirOf(path), REG_SZ);
  RegWriteValue(kDynDataKey, kOriginExe, path, REG_SZ);
}

// The process's peak working set in bytes, for the log: memory use must not
// grow with the size of a package's entries. 0 when it cannot be read.
unsigned long long PeakWorkingSet() {
  using TGetProcessMemoryInfo = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  auto query = ProcAs<TGetProcessMemoryInfo>(GetDllProc("PSAPI.dll", "GetProcessMemoryInfo"));
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (query == nullptr || !query(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
}

// Returns the process's exit code: 0 but for a setup run of an ordinary
// installer, which ends with the installer's code.
int Dispatch() {
  const std::string className = MainWindowClassFor(AutoUpdateFlag, ProgramPath());
  const bool copyWasRunning = IsTransientCopyRunning();
  // Neither the program's name nor its package changes while it runs.
  const bool autoUpdateProg = IsAutoUpdateProg();
  int exitCode = 0;
  if (!TopLevelWindowExists(className)) {
    if (autoUpdateProg) {
      RunAutoUpdateProgMode();
    } else if (IsTransientCopy()) {
      RunTransientCopyMode(className);
    } else {
      RecordOrigin();
      exitCode = RunNormalMode(className);
    }
  }
  if (autoUpdateProg) RunControllerStep(copyWasRunning);
  return exitCode;
}

}  // namespace

const TGFileInfo& OwnPackageInfo() {
  static const TLasting<TGFileInfo> empty("");
  return *ownPackage ? **ownPackage : *empty;
}

bool IsTransientCopyRunning() {
  const std::string name = OwnPackageInfo().AutoUpdateProgName();
  return TopLevelWindowExists(Concat({".AutoUpdate.X_", BaseName(name)}));
}

namespace {

// Flag set and the own file is named `prefix` + AutoUpdateProgName.
bool OwnFileIsAgent(const char* prefix) {
  return AutoUpdateFlag &&
         SameTextTrimmed(OwnFileName(), Concat({prefix, OwnPackageInfo().AutoUpdateProgName()}));
}

}  // namespace

bool IsAutoUpdateProg() { return OwnFileIsAgent(""); }

bool IsTransientCopy() { return OwnFileIsAgent("X_"); }

int RunStub() {
  const std::string commandLine = GetCommandLineA();
  DebugRunMark(" ==== STUB START ====>", commandLine);
  *ownPackage = std::make_unique<TGFileInfo>(ProgramPath());
  AutoUpdateFlag = (*ownPackage)->ThisIs_AutoUpdateProg();
  DebugLineParts({" ThisIs_AutoUpdateProg=", AutoUpdateFlag ? "TRUE" : "FALSE"});
  const int exitCode = Dispatch();
  ownPackage->reset();
  DebugLineParts({" PeakWorkingSetSize=", Decimal(static_cast<int64_t>(PeakWorkingSet()))});
  DebugRunMark(" ==== STUB END ====>", commandLine);
  DebugWrite("\r\n");
  DebugFlush();
  return exitCode;
}
