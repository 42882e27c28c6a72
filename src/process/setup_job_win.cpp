#include "process/setup_job.h"

#include <winternl.h>

#include <cstddef>
#include <vector>

#include "process/setup_wait_rules.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// Processes of one installer that are looked at in one pass; more than
// this still running counts as busy.
constexpr size_t kListedProcesses = 256;
constexpr ULONG kProcessCommandLineInformation = 60;
constexpr DWORD kQueryLimited = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later

using TQueryProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using TQueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
using TModuleFileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using TIsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);

template <typename Proc>
Proc Lookup(const char* library, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetDllProc(library, name)));
}

std::string Ansi(const WCHAR* text, size_t length) {
  if (length == 0) return {};
  const int wide = static_cast<int>(length);
  std::string result(WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr), '\0');
  if (result.empty()) return result;
  WideCharToMultiByte(CP_ACP, 0, text, wide, &result[0], static_cast<int>(result.size()), nullptr,
                      nullptr);
  return result;
}

std::string ImageOf(HANDLE process) {
  char buffer[MAX_PATH * 2];
  DWORD length = sizeof buffer;
  if (auto query = Lookup<TQueryImageName>("kernel32.dll", "QueryFullProcessImageNameA")) {
    if (query(process, 0, buffer, &length)) return std::string(buffer, length);
  }
  // Before Vista: the main module's file, for a program of the launcher's
  // own word size.
  if (auto name = Lookup<TModuleFileName>("PSAPI.dll", "GetModuleFileNameExA")) {
    length = name(process, nullptr, buffer, sizeof buffer);
    return std::string(buffer, length);
  }
  return {};
}

bool IsWow64(HANDLE process) {
  BOOL wow64 = FALSE;
  auto query = Lookup<TIsWow64>("kernel32.dll", "IsWow64Process");
  return query != nullptr && query(process, &wow64) && wow64;
}

// The command line from the process's own parameter block, readable only
// in a process of the launcher's word size.
std::string CommandLineFromBlock(HANDLE process, TQueryProcess query) {
  if (IsWow64(process) != IsWow64(GetCurrentProcess())) return {};
  PROCESS_BASIC_INFORMATION basic;
  PEB peb;
  RTL_USER_PROCESS_PARAMETERS parameters;
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
      !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) {
    return {};
  }
  std::vector<WCHAR> text(parameters.CommandLine.Length / sizeof(WCHAR));
  if (text.empty() || !ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(),
                                         text.size() * sizeof(WCHAR), nullptr)) {
    return {};
  }
  return Ansi(text.data(), text.size());
}

// The process's command line, or "" when the system does not tell it.
std::string CommandLineOf(HANDLE process) {
  const auto query = Lookup<TQueryProcess>("ntdll.dll", "NtQueryInformationProcess");
  if (query == nullptr) return {};
  // Windows 8.1 and later hand it out for a process of either word size.
  std::vector<unsigned char> buffer(sizeof(UNICODE_STRING) + 65536);
  if (query(process, kProcessCommandLineInformation, buffer.data(),
            static_cast<ULONG>(buffer.size()), nullptr) == 0) {
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    return Ansi(text->Buffer, text->Length / sizeof(WCHAR));
  }
  return CommandLineFromBlock(process, query);
}

// Every form in which a path may name `folder`: as given, long and short.
void AddForms(std::vector<std::string>& forms, const std::string& folder) {
  forms.push_back(folder);
  char buffer[MAX_PATH * 2];
  DWORD length = GetLongPathNameA(folder.c_str(), buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) forms.emplace_back(buffer, length);
  length = GetShortPathNameA(folder.c_str(), buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) forms.emplace_back(buffer, length);
}

}  // namespace

bool TSetupJob::Start(const std::string& application, const std::string& commandLine, bool show) {
  job_.reset(CreateJobObjectA(nullptr, nullptr));
  if (job_) {
    // A program that asks to leave the job may: the installed application
    // started at the end of a setup must not be tied to the launcher's job.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show ? SW_SHOW : SW_HIDE);
  PROCESS_INFORMATION started = {};
  std::string line = commandLine;
  // Started suspended, so that it is in the job before it can start anything.
  if (!CreateProcessA(application.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &started)) {
    job_.reset();
    return false;
  }
  process_.reset(started.hProcess);
  const THandle thread(started.hThread);
  if (job_ && !AssignProcessToJobObject(job_.get(), process_.get())) job_.reset();
  ResumeThread(thread.get());
  return true;
}

bool TSetupJob::AnyProcessKeepsWaiting(const std::string& setupFolder) const {
  if (!job_) return false;
  std::vector<unsigned char> buffer(offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList) +
                                    kListedProcesses * sizeof(ULONG_PTR));
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  if (!QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, list,
                                 static_cast<DWORD>(buffer.size()), nullptr)) {
    return GetLastError() == ERROR_MORE_DATA;
  }
  std::vector<std::string> tempFolders;
  std::vector<std::string> setupFolders;
  AddForms(setupFolders, setupFolder);
  AddForms(tempFolders, TempDir(false));
  tempFolders.insert(tempFolders.end(), setupFolders.begin(), setupFolders.end());
  // Read from the buffer itself: the declared array holds one id.
  const auto* ids = reinterpret_cast<const ULONG_PTR*>(
      buffer.data() + offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList));
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
    const DWORD id = static_cast<DWORD>(ids[i]);
    THandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process) process.reset(OpenProcess(kQueryLimited, FALSE, id));
    // A process the launcher may not even look at is none of the installer's work.
    if (!process) continue;
    if (KeepsSetupWaiting(ImageOf(process.get()), CommandLineOf(process.get()), tempFolders,
                          setupFolders)) {
      return true;
    }
  }
  return false;
}

void TSetupJob::WaitForSetupProcesses(const std::string& setupFolder) {
  while (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT ||
         AnyProcessKeepsWaiting(setupFolder)) {
    Wait(250);
  }
}

uint32_t TSetupJob::ExitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}
