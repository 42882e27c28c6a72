// The agent's two INI files beside its own executable: the installation
// settings file (".original": the installed copy, the schedule, the message
// texts) and the info file (".info": the update on offer, present only
// while a check runs). Both names come from the UpdateInfoName of the
// launcher's own package and are resolved anew on every call; every read
// opens the file again, so a value written by one step is seen by the next.
//
// A missing file or key gives the key's default. Integers that do not
// convert give their default; int32 keys keep the low 32 bits. Flags are
// true only for the exact text "1". Setters report whether the write
// succeeded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "update/update_settings_core.h"

// Folder of the running executable with one trailing backslash, plus
// OriginalFileName / InfoFileName of the own package.
std::string OriginalSetupPath();
std::string InfoFilePath();

// ---- "OriginalSetup" (installation settings file) -------------------------

// Seconds between automatic checks; 0 = check once, -1 = never.
int64_t GetProbeSecondsInterval();
bool SetProbeSecondsInterval(int64_t seconds);
// Time of the last check, in seconds since 1899-12-30.
int64_t GetProbeSecondsLast();
bool SetProbeSecondsLast(int64_t seconds);
// Seconds after which an update already offered is offered again; <= 0 never.
int64_t GetReAskSecondsInterval();
bool SetReAskSecondsInterval(int64_t seconds);
// Time the update procedure last started.
int64_t GetReAskSecondsLast();
bool SetReAskSecondsLast(int64_t seconds);
// Version of the installed application; 0 or less turns updating off.
int32_t GetVersionOriginal();
bool SetVersionOriginal(int32_t version);
// "Stamp" of the last info file whose update procedure was started.
int32_t GetOriginalStamp();
bool SetOriginalStamp(int32_t stamp);
// Application name shown in the check question.
std::string GetOriginalProgramName();

// ---- "Directories", "UnInstall" (installation settings file) --------------

std::string GetTargetDir();
std::string GetSharedDir();
std::string GetAuxiliaryDir();
// Full paths of the start-up and check-for-update shortcuts.
std::string GetStartUpLink();
std::string GetCheckforNewUpdateLink();

// ---- "MsgBox" (installation settings file) --------------------------------

std::string GetBtnText();           // default kDefaultBtnText
std::string GetErrorCaption();      // "Error"
std::string GetConfirmCaption();    // "Confirm"
std::string GetAttentionCaption();  // "Attention"
int32_t GetMsgBoxCharSet();         // 0

// ---- "AutoUpdate" (installation settings file): message texts -------------

// The text of `id`, or `def` when the file has none.
std::string GetAutoUpdateText(const std::string& id, const std::string& def);
// The same with the built-in default (DefaultAutoUpdateText, with "s22"
// naming GetOriginalProgramName()).
std::string GetAutoUpdateText(const std::string& id);

// ---- "NewSetup" (info file, read only) ------------------------------------

std::string GetDownloadURL_UPDATE();
std::string GetNameOfUpdateFile();
int32_t GetSizeOfUpdateFile();
int32_t GetVersionNew();
int32_t GetNewStamp();
// Comma-separated "VersionOriginal" values without blanks; empty = any.
std::string GetValidVersions();
std::string GetNewProgramName();
std::string GetRunningProcess();
std::string GetShutDownMethod();
// The five flags below give their PreferenceOverrides byte precedence.
bool GetRequestConfirmationBeforeDownload();
bool GetRequestConfirmationBeforeInstall();
bool GetBackgroundUpdate();
bool GetInformFinish();
bool GetRestartProcess();
bool GetRemoveStartUpShortcut();
bool GetRemoveCheckForNewUpdateShortcut();

// Answers the agent command message: `code` selects the command, `value`
// is its 32-bit argument. Returns the command's reply (values read are
// given as their low 32 bits), 0 for setters and unknown codes.
LRESULT HandleAgentCommand(WPARAM code, LPARAM value);
