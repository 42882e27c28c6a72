// Finding a running program by its executable, waiting for it to end,
// picking its main window, and asking it to close or ending it.
//
// A target is a full path or a bare file name. Names and paths compare with
// SameTextTrimmed (trimmed, letter case ignored). By path only, a bare file
// name never matches. Every wait pumps the thread's message queue, so the
// caller's windows go on handling messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Id of a running process whose executable is `target` (by full path, by
// short 8.3 path, or, unless `byPathOnly`, by file name), or 0. On the NT
// family the most recently listed match wins; with the tool-help snapshot
// the last match of the walk. A process that cannot be opened never matches.
DWORD FindProcess(const std::string& target, bool byPathOnly);

// FindProcess by path or name; the target is first unquoted (loose).
bool IsProgramRunning(const std::string& target);

// Returns once no process of `target` (unquoted, loose) is running: after
// about one second when none runs at the call. No time limit otherwise.
void WaitForProgramExit(const std::string& target);

// Returns once no top-level window of this class and title exists; either
// may be nullptr (any class, any title). Checks every 100 ms.
void WaitWhileWindow(const char* windowClass, const char* windowTitle);

// The main window of the target's process: among its top-level windows the
// first one with the highest score (4 per window it owns, directly or
// through others, 2 for a title, 1 when visible). nullptr when the process
// is not found or all its windows score 0.
HWND FindMainWindow(const std::string& target, bool byPathOnly);

// Posts (does not send) the message to FindMainWindow's window; false when
// there is none.
bool PostToMainWindow(const std::string& target, bool byPathOnly, UINT message, WPARAM wParam,
                      LPARAM lParam);
// PostToMainWindow with WM_CLOSE, wParam 15, lParam 255.
bool CloseProgram(const std::string& target, bool byPathOnly);
// PostToMainWindow with WM_QUIT, wParam 15, lParam 255.
bool QuitProgram(const std::string& target, bool byPathOnly);
// Ends the target's process with exit code 0; true when it was found and
// terminated.
bool TerminateProgram(const std::string& target, bool byPathOnly);

// Tests run the tool-help search on the NT family too; false returns to the
// platform's own way.
void ForceToolHelpForTests(bool force);
