#include "process/setup_job.h"

#include <winternl.h>

#include <cstddef>

#include "util/text.h"
#include "util/winapi.h"

namespace {

// Processes of one installer that are looked at in one pass; more than
// this still running counts as busy.
constexpr DWORD kListedProcesses = 256;
// The longest command line the system takes, in characters.
constexpr size_t kCommandLineLength = 32768;

using TQueryProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using TModuleFileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

// One pass reads one process at a time, on the launcher's one thread.
WCHAR commandLineText[kCommandLineLength];
// A command line's length is counted in a 16-bit field of bytes: any fits.
static_assert(sizeof commandLineText > 0xFFFF, "the buffer holds every command line");
char commandLineAnsi[kCommandLineLength];

// The file of the process's main module: known for a process of the
// launcher's own word size, as the installers and their helpers are.
std::string ImageOf(HANDLE process) {
  char buffer[MAX_PATH * 2];
  const auto name = ProcAs<TModuleFileName>(GetDllProc("PSAPI.dll", "GetModuleFileNameExA"));
  const DWORD length = name != nullptr ? name(process, nullptr, buffer, sizeof buffer) : 0;
  return std::string(buffer, length);
}

// The process's command line in characters of the ANSI code page, or ""
// when it cannot be read. It is read from the process's own parameter
// block, whose layout is the launcher's own in a process of its word size,
// as installers and the system programs they start from the system folder
// are for the launcher's 32-bit build. In a process of the other size the
// reads fail or bring text of the wrong place, checked for its length,
// that names no folder of the run.
std::string CommandLineOf(HANDLE process) {
  const auto query = ProcAs<TQueryProcess>(GetDllProc("ntdll.dll", "NtQueryInformationProcess"));
  PROCESS_BASIC_INFORMATION basic;
  PEB peb;
  RTL_USER_PROCESS_PARAMETERS parameters;
  if (query == nullptr ||
      query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
      !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr) ||
      !ReadProcessMemory(process, parameters.CommandLine.Buffer, commandLineText,
                         parameters.CommandLine.Length, nullptr)) {
    return {};
  }
  const int size =
      WideCharToMultiByte(CP_ACP, 0, commandLineText, parameters.CommandLine.Length / sizeof(WCHAR),
                          commandLineAnsi, sizeof commandLineAnsi, nullptr, nullptr);
  return std::string(commandLineAnsi, size > 0 ? static_cast<size_t>(size) : 0);
}

// `folder` as given, long and short.
TFolderForms FormsOf(const std::string& folder) {
  TFolderForms forms = {folder};
  char buffer[MAX_PATH * 2];
  DWORD length = GetLongPathNameA(folder.c_str(), buffer, sizeof buffer);
  if (length < sizeof buffer) forms[1].assign(buffer, length);
  length = GetShortPathNameA(folder.c_str(), buffer, sizeof buffer);
  if (length < sizeof buffer) forms[2].assign(buffer, length);
  return forms;
}

}  // namespace

TWinResult TSetupJob::Start(const std::string& application, const std::string& commandLine,
                            bool show) {
  job_.reset(CreateJobObjectA(nullptr, nullptr));
  // A program that asks to leave the job may: the installed application
  // started at the end of a setup must not be tied to the launcher's job.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show ? SW_SHOW : SW_HIDE);
  PROCESS_INFORMATION started;
  std::string line = commandLine;
  // Started suspended, so that it is in the job before it can start anything.
  if (!CreateProcessA(application.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &started)) {
    return WinResultOf(false);
  }
  process_.reset(started.hProcess);
  const THandle thread(started.hThread);
  if (!AssignProcessToJobObject(job_.get(), process_.get())) job_.reset();
  ResumeThread(thread.get());
  return WinResultOf(true);
}

bool TSetupJob::AnyProcessKeepsWaiting(const TFolderForms& temp, const TFolderForms& setup) const {
  if (!job_) return false;
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[kListedProcesses];
  } listed;
  if (!QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, &listed, sizeof listed,
                                 nullptr)) {
    return GetLastError() == ERROR_MORE_DATA;
  }
  // The ids run on from the declared one-element array into `more`: read
  // from the record's start, not through the array, whose declared size the
  // compiler would otherwise take at its word.
  const auto* ids =
      reinterpret_cast<const ULONG_PTR*>(reinterpret_cast<const unsigned char*>(&listed) +
                                         offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList));
  for (DWORD i = 0; i < listed.list.NumberOfProcessIdsInList && i <= kListedProcesses; ++i) {
    const DWORD id = static_cast<DWORD>(ids[i]);
    const THandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    // A process the launcher may not even look at is none of the installer's work.
    if (process &&
        KeepsSetupWaiting(ImageOf(process.get()), CommandLineOf(process.get()), temp, setup)) {
      return true;
    }
  }
  return false;
}

void TSetupJob::WaitForSetupProcesses(const std::string& setupFolder) {
  const TFolderForms temp = FormsOf(TempDir(false));
  const TFolderForms setup = FormsOf(setupFolder);
  // (The message wait with no messages asked for tells whether the program
  // has ended without blocking.)
  HANDLE program = process_.get();
  while (MsgWaitForMultipleObjects(1, &program, FALSE, 0, 0) == WAIT_TIMEOUT ||
         AnyProcessKeepsWaiting(temp, setup)) {
    Wait(250);
  }
}

uint32_t TSetupJob::ExitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}
