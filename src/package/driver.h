// One complete self-extraction run: room check and temp-drive question,
// extraction, start of the package's main program with the run token, the
// wait for it and its dialog, and success read from the run's atom.
#pragma once

#include <windows.h>

#include <string>

class TGFileInfo;

// Extracts `packagePath` into `targetFolder` (or a fallback folder on
// another fixed drive when room is short), starts its main program with
// `extraArguments`, waits for it and returns true when the program removed
// the run's atom. `show` shows the questions and the progress window.
bool RunPackage(const std::string& targetFolder, const std::string& packagePath,
                const std::string& autoUpdateProgName, const std::string& extraArguments,
                bool show);

// The temporary folder + "SETUP_" + the low 16 bits of the launcher file's
// DOS date/time (+ "_2", ... when that name is taken); made and marked as
// in use on first use, after stale setup folders of earlier runs have been
// swept. Whoever ran it removes it with RemoveSetupFolder.
std::string GetSetupFolder();
// Deletes the folder GetSetupFolder made (nothing when it made none).
void RemoveSetupFolder();

bool FindAltTempRoot();
std::string GetAltSetupFolder();
void RemoveAltSetupFolder();
bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& package);
bool ForcePromptSet();
void SetStatusText(HWND window, const std::string& text, int charset);

#include "package/driver_rules.h"
