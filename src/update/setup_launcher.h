// The launcher's one-shot start step in setup mode.
#pragma once

#include <windows.h>

// Runs on the first tick of the main window's timer: stops the timer,
// downloads the real package first for a web setup, extracts and runs the
// package, deletes the setup folder and posts the quit message.
void RunSetupLauncher(HWND window);
