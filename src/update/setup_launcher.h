// The launcher's one-shot start step in setup mode, and the package run
// that every start of a package by the launcher goes through.
#pragma once

#include "package/driver.h"
#include "update/launcher_host.h"

// Runs on the first tick of the main window's timer: stops the timer,
// downloads the real package first for a web setup, extracts and runs the
// package, deletes the setup folder and posts the quit message.
void RunSetupLauncher(const TLauncherHost& host);

// RunPackage in `host`'s window, its setup program told when the launcher
// is an auto-update program; after a successful run the shortcuts that the
// agent's settings then ask to remove are removed. Their paths are read
// before the run: the installer may replace the settings file.
TRunResult RunHostedPackage(const TLauncherHost& host, TRunRequest request);
