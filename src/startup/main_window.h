// The launcher's one window: hidden, centred, 440 x 110, with the icon, a
// status line and a progress bar. Its message loop is the process's main
// loop and its one-second timer is the heartbeat of the setup run and of
// the agent; its window procedure is also the agent's remote control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "util/progress.h"

// Number of the agent command message: WM_USER + 101.
constexpr UINT kAgentCommandMessage = WM_USER + 101;
constexpr UINT kListenerRegistrationMessage = WM_USER + 100;
constexpr UINT kStopCountdownMessage = WM_USER + 99;

extern HWND MainWindow;
extern HWND StatusLabel;
extern HWND ProgressBar;
extern HWND ListenerWindow;
extern UINT ListenerMessage;

// Registers the class `className` (the single-instance key of this role),
// creates the window hidden and runs the message loop until the quit
// message; then stops the timer, raises the download abort flag, releases
// the Internet library and notifies the listener (43, 0). Returns the exit
// code the first quit message carried (0 when no window could be made).
int RunMainWindow(const std::string& className);

// Posts (code, value) to the registered listener, if there is one.
void NotifyListener(WPARAM code, LPARAM value);

// The progress callback over the main window's progress bar.
void MainWindowProgress(int kind, int rangeMin, int rangeMax, int position, int step,
                        const std::string& text);
// The status line's text, right-aligned and read right to left for the
// Hebrew (177) and Arabic (178) character sets.
void SetMainWindowStatus(const std::string& text, int charset);
void ShowMainWindow();
void HideMainWindow();

// "/SleepX=" value -> AutoUpdateTimerCount: -value when value >= 0, else
// the counter stays as it is.
int32_t TimerCountAfterSleepSwitch(int64_t sleepValue, int32_t current);
