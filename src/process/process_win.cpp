// Process search through the process-status library (NT family) or the
// tool-help snapshot (other platforms), both looked up at first use so the
// launcher starts on systems that lack one of them.
#include <windows.h>
// The snapshot types need the base types of windows.h first.
#include <tlhelp32.h>

#include <cstring>
#include <memory>
#include <vector>

#include "process/analizer.h"
#include "process/process.h"
#include "util/handle.h"
#include "util/lasting.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// Stand-ins that can equal no real path or file name: the first for a target
// without a short form, the second for the candidate's name by path only.
const char kNoShortPath[] = "*XX*";
const char kNoFileName[] = "*X*";

constexpr DWORD kIdBufferStep = 1024;
constexpr DWORD kModuleNameLength = 256;

using EnumProcessesProc = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesProc = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleNameProc = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using CreateSnapshotProc = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkProc = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

struct TProcessStatusApi {
  TModule library;
  EnumProcessesProc EnumProcesses = nullptr;
  EnumProcessModulesProc EnumProcessModules = nullptr;
  GetModuleNameProc GetModuleBaseNameA = nullptr;
  GetModuleNameProc GetModuleFileNameExA = nullptr;

  TProcessStatusApi() : library(LoadSystemLibrary("PSAPI.dll")) {
    if (!library) return;
    EnumProcesses = ProcAs<EnumProcessesProc>(GetProcAddress(library.get(), "EnumProcesses"));
    EnumProcessModules =
        ProcAs<EnumProcessModulesProc>(GetProcAddress(library.get(), "EnumProcessModules"));
    GetModuleBaseNameA =
        ProcAs<GetModuleNameProc>(GetProcAddress(library.get(), "GetModuleBaseNameA"));
    GetModuleFileNameExA =
        ProcAs<GetModuleNameProc>(GetProcAddress(library.get(), "GetModuleFileNameExA"));
  }
  bool Complete() const {
    return EnumProcesses && EnumProcessModules && GetModuleBaseNameA && GetModuleFileNameExA;
  }
};

// Looked up once and kept for the life of the process.
const TProcessStatusApi& ProcessStatusApi() {
  static const TLasting<TProcessStatusApi> api;
  return *api;
}

struct TToolHelpApi {
  CreateSnapshotProc CreateToolhelp32Snapshot = nullptr;
  ProcessWalkProc Process32First = nullptr;
  ProcessWalkProc Process32Next = nullptr;

  TToolHelpApi() {
    CreateToolhelp32Snapshot =
        ProcAs<CreateSnapshotProc>(GetDllProc("kernel32.dll", "CreateToolhelp32Snapshot"));
    Process32First = ProcAs<ProcessWalkProc>(GetDllProc("kernel32.dll", "Process32First"));
    Process32Next = ProcAs<ProcessWalkProc>(GetDllProc("kernel32.dll", "Process32Next"));
  }
  bool Complete() const { return CreateToolhelp32Snapshot && Process32First && Process32Next; }
};

const TToolHelpApi& ToolHelpApi() {
  static const TLasting<TToolHelpApi> api;
  return *api;
}

bool forceToolHelp = false;

bool UseProcessStatus() { return !forceToolHelp && IsWindowsNT(); }

// The 8.3 form of `path`, empty when the file does not exist.
std::string ShortPathOf(const std::string& path) {
  if (path.empty()) return {};
  char buffer[MAX_PATH + 1];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return {};
  return std::string(buffer, length);
}

// What both searches compare each process's names with, made once per
// search: the target as given and in its short form.
struct TTargetNames {
  const std::string& target;
  const bool byPathOnly;
  std::string shortPath;
  const std::string noFileName{kNoFileName};

  TTargetNames(const std::string& path, bool pathOnly)
      : target(path), byPathOnly(pathOnly), shortPath(ShortPathOf(path)) {
    if (shortPath.empty()) shortPath = kNoShortPath;
  }

  // By path only, the candidate's file name is replaced by the stand-in.
  bool Match(const std::string& fullName, const std::string& baseName) const {
    return SameTextTrimmed(target, fullName) ||
           SameTextTrimmed(target, byPathOnly ? noFileName : baseName) ||
           SameTextTrimmed(shortPath, ShortPathOf(fullName));
  }
};

// The ids of all processes, in the order the system lists them.
std::vector<DWORD> ListProcessIds() {
  const TProcessStatusApi& api = ProcessStatusApi();
  if (!api.Complete()) return {};
  std::vector<DWORD> ids;
  DWORD bufferBytes = 0;
  DWORD returnedBytes = 0;
  do {
    bufferBytes += kIdBufferStep;
    ids = std::vector<DWORD>(bufferBytes / sizeof(DWORD));
    if (!api.EnumProcesses(ids.data(), bufferBytes, &returnedBytes)) returnedBytes = 0;
  } while (returnedBytes == bufferBytes);
  ids.erase(ids.begin() + returnedBytes / sizeof(DWORD), ids.end());
  return ids;
}

bool NamesOfProcess(DWORD id, std::string& fullName, std::string& baseName) {
  const TProcessStatusApi& api = ProcessStatusApi();
  THandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  if (!process) return false;
  HMODULE firstModule = nullptr;
  DWORD needed = 0;
  if (!api.EnumProcessModules(process.get(), &firstModule, sizeof(firstModule), &needed)) {
    return false;
  }
  char buffer[kModuleNameLength + 1];
  DWORD length = api.GetModuleFileNameExA(process.get(), firstModule, buffer, kModuleNameLength);
  fullName.assign(buffer, length);
  length = api.GetModuleBaseNameA(process.get(), firstModule, buffer, kModuleNameLength);
  baseName.assign(buffer, length);
  return !fullName.empty() || !baseName.empty();
}

DWORD FindByProcessStatus(const std::string& target, bool byPathOnly) {
  const TTargetNames names(target, byPathOnly);
  const std::vector<DWORD> ids = ListProcessIds();
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    std::string fullName;
    std::string baseName;
    // A process that cannot be opened has no names and so never matches,
    // not even a target made of blanks.
    if (NamesOfProcess(*it, fullName, baseName) && names.Match(fullName, baseName)) return *it;
  }
  return 0;
}

DWORD FindByToolHelp(const std::string& target, bool byPathOnly) {
  const TToolHelpApi& api = ToolHelpApi();
  if (!api.Complete()) return 0;
  const TTargetNames names(target, byPathOnly);
  // A failed snapshot is INVALID_HANDLE_VALUE, as with files.
  TFileHandle snapshot(api.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  DWORD found = 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = api.Process32First(snapshot.get(), &entry); more;
       more = api.Process32Next(snapshot.get(), &entry)) {
    // Up to the first zero byte: memchr comes from msvcrt.dll, strnlen would link a copy in.
    const void* zero = std::memchr(entry.szExeFile, 0, MAX_PATH);
    const std::string exePath(entry.szExeFile,
                              zero ? static_cast<const char*>(zero) - entry.szExeFile : MAX_PATH);
    if (!exePath.empty() && names.Match(exePath, ExtractFileName(exePath))) {
      found = entry.th32ProcessID;
    }
  }
  return found;
}

bool IsProcessListed(DWORD id) {
  for (DWORD listed : ListProcessIds()) {
    if (listed == id) return true;
  }
  return false;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* analizer = reinterpret_cast<TAnalizer*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != analizer->TargetProcessId()) return TRUE;
  // Full arrays end the enumeration: later windows would be left out anyway.
  return analizer->Add(window) ? TRUE : FALSE;
}

HWND AsWindow(TWindowId id) { return static_cast<HWND>(const_cast<void*>(id)); }

}  // namespace

void ForceToolHelpForTests(bool force) { forceToolHelp = force; }

DWORD FindProcess(const std::string& target, bool byPathOnly) {
  if (target.empty()) return 0;
  return UseProcessStatus() ? FindByProcessStatus(target, byPathOnly)
                            : FindByToolHelp(target, byPathOnly);
}

bool IsProgramRunning(const std::string& target) {
  return FindProcess(Unquote(target, true), false) != 0;
}

void WaitForProgramExit(const std::string& target) {
  const std::string program = Unquote(target, true);
  if (UseProcessStatus()) {
    Wait(1000);
    const DWORD id = FindProcess(program, false);
    if (id == 0) return;
    do {
      Wait(1000);
    } while (IsProcessListed(id));
    return;
  }
  Wait(1000);
  do {
    Wait(1000);
  } while (IsProgramRunning(program));
}

void WaitWhileWindow(const char* windowClass, const char* windowTitle) {
  while (FindWindowA(windowClass, windowTitle) != nullptr) {
    PumpMessage();
    Sleep(100);
  }
}

HWND FindMainWindow(const std::string& target, bool byPathOnly) {
  const DWORD id = FindProcess(target, byPathOnly);
  if (id == 0) return nullptr;
  auto analizer = std::make_unique<TAnalizer>(id);
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(analizer.get()));
  TAnalizer::TWindowFacts facts;
  facts.OwnerOf = [](TWindowId w) -> TWindowId { return GetWindow(AsWindow(w), GW_OWNER); };
  facts.HasTitle = [](TWindowId w) { return !WindowText(AsWindow(w)).empty(); };
  facts.IsVisible = [](TWindowId w) { return IsWindowVisible(AsWindow(w)) != FALSE; };
  analizer->ScoreWindows(facts);
  return AsWindow(analizer->MainWindow());
}

bool PostToMainWindow(const std::string& target, bool byPathOnly, UINT message, WPARAM wParam,
                      LPARAM lParam) {
  HWND window = FindMainWindow(target, byPathOnly);
  if (window == nullptr) return false;
  PostMessageA(window, message, wParam, lParam);
  return true;
}

bool CloseProgram(const std::string& target, bool byPathOnly) {
  return PostToMainWindow(target, byPathOnly, WM_CLOSE, 15, 255);
}

bool QuitProgram(const std::string& target, bool byPathOnly) {
  return PostToMainWindow(target, byPathOnly, WM_QUIT, 15, 255);
}

bool TerminateProgram(const std::string& target, bool byPathOnly) {
  const DWORD id = FindProcess(target, byPathOnly);
  if (id == 0) return false;
  THandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
  if (!process) return false;
  return TerminateProcess(process.get(), 0) != FALSE;
}
