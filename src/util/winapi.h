// The launcher's thin layer over the Windows API: its own command line,
// system folders, registry values addressed by one path text, settings
// files, facts about the system and its user, and waits that keep the
// message queue alive. None of these reports an error: a failure gives the
// documented default. Every call is an explicit ANSI ("...A") function.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// ---- Command line ---------------------------------------------------------

// The program's own full file name in a form the ANSI functions open: as
// it is, or through the short (8.3) names of its folders where the ANSI
// code page cannot spell them.
std::string ProgramPath();
// False when not even the short names spell the program's path (a volume
// without them): ProgramPath then reads "?" for those characters, and the
// launcher cannot open its own file.
bool ProgramPathIsSpellable();
// The arguments part of the process command line (CommandTailOf with the
// own path as GetModuleFileNameA spells it, as the command line does): the
// own path and the quotes and blanks around the rest removed.
std::string CommandTail();
// True when `sw` occurs in CommandTail, letter case ignored.
bool HasSwitch(std::string_view sw);
// The value of switch `sw` (passed with its "=", e.g. "/WAIT="): "" when
// absent or followed by a blank, "TRUE" when it ends the command line.
std::string SwitchValue(std::string_view sw);
std::string SwitchValue(const char* sw);
// SwitchValue as a decimal 64-bit integer, else `def`.
int64_t SwitchInt(std::string_view sw, int64_t def);
int64_t SwitchInt(const char* sw, int64_t def);

// ---- Folders ----------------------------------------------------------------
// `withSlash`: true gives exactly one trailing backslash, false none
// (a drive root then reads "C:").

std::string ProgramDir(bool withSlash);
std::string WindowsDir(bool withSlash);
std::string SystemDir(bool withSlash);
std::string TempDir(bool withSlash);

// ---- Registry and settings files ------------------------------------------

// A registry path split into its root key and sub-key.
struct TRegPath {
  HKEY root = HKEY_CURRENT_USER;
  std::string subKey;
};

// "HKEY_LOCAL_MACHINE\SOFTWARE\X" -> (HKEY_LOCAL_MACHINE, "SOFTWARE\X").
// Surrounding blanks are trimmed first. An unknown root name means
// HKEY_CURRENT_USER; a path that does not begin with "HKEY_" or has no
// backslash is a sub-key of HKEY_CURRENT_USER as a whole.
TRegPath SplitRegPath(const std::string& path);

// Creates the key when missing and sets value `name` of type `type` to the
// text plus its terminating zero. True when the value was set.
bool RegWriteValue(std::string_view path, std::string_view name, const std::string& data,
                   DWORD type = REG_SZ);
// The value `name` ("" = the key's default value) as text: a 4-byte
// REG_DWORD as unsigned decimal, any other type up to its first zero byte.
// `def` when the key or value is missing or larger than 2048 bytes.
std::string RegReadValue(std::string_view path, std::string_view name, std::string_view def);
std::string RegReadValue(const char* path, const char* name, const char* def);

// WritePrivateProfileStringA; true on success.
bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);
bool IniWriteInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value);
// The value (at most 10240 characters), or `def` when the key is absent.
std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def);
// The same for names and default given as C strings, without a string made
// for each of them.
std::string IniRead(const std::string& file, const char* section, const char* key, const char* def);
// IniRead as a decimal 64-bit integer, `def` when it is not one.
int64_t IniReadInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t def);

// ---- System facts ---------------------------------------------------------

// The platform is of the NT family.
bool IsWindowsNT();
// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion", with
// "Windows NT" in place of "Windows" on the NT family.
std::string CurrentVersionKey();
// The login name, trimmed; "" on failure.
std::string LoginUserName();
// "RegisteredOwner" under CurrentVersionKey, else LoginUserName; trimmed.
std::string RegisteredOwner();
// "RegisteredOrganization" under CurrentVersionKey, else ""; trimmed.
std::string RegisteredOrganization();
// The window's text, at most 1000 characters; "" for a null window.
std::string WindowText(HWND window);
// The system's message for the Win32 error `code`, without its line end.
std::string SystemErrorText(DWORD code);
// The same for GetLastError.
inline std::string LastErrorText() { return SystemErrorText(GetLastError()); }

// How a system call that a user or a log must hear about ended: success,
// or the Win32 error that says why not, taken at once so that no later
// call overwrites it.
struct TWinResult {
  bool Ok = false;
  DWORD Error = 0;
};
// `ok`, with GetLastError when it is false.
inline TWinResult WinResultOf(bool ok) { return {ok, ok ? 0 : GetLastError()}; }

// Loads a system library (a bare file name such as "WinINet.dll") from the
// system folder only, never from the program's folder or the search path,
// so that a planted copy beside a downloaded setup is never run. Null when
// the name carries a folder or the load fails. The caller owns the module.
HMODULE LoadSystemLibrary(const char* name);
// The address of `function` in system library `library` (see
// LoadSystemLibrary), or null. The library stays loaded for the life of
// the process, so the address stays valid.
FARPROC GetDllProc(const char* library, const char* function);
// A looked-up address as the function type it has.
template <typename Proc>
Proc ProcAs(FARPROC address) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(address));
}

// The current local date and time in whole seconds since 1899-12-30 00:00.
int64_t NowSeconds();

// ---- Waits that keep the windows alive ------------------------------------

// Dispatches at most one waiting message of the thread, then yields the
// processor. A quit message taken here is posted again, so that it still
// ends the main loop after the wait.
void PumpMessage();
// PumpMessage and Sleep(step) in turns until more than `milliseconds`
// have passed (at least one turn).
void WaitPumping(int32_t milliseconds, int32_t step);
// WaitPumping with a step of milliseconds / 10, kept within 1..25.
void Wait(int32_t milliseconds);
