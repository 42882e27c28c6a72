// The run-time side of the agent's settings: preference overrides that the
// application (or the previous agent) sets over the info file's flags, the
// override list that carries them between agent processes, and the texts
// the agent falls back to when its settings file has none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/markup.h"

// Indices into PreferenceOverrides.
enum TPreference : int {
  kAskBeforeCheck = 0,
  kConfirmBeforeDownload = 1,  // "RequestConfirmationBeforeDownload"
  kConfirmBeforeInstall = 2,   // "RequestConfirmationBeforeInstall"
  kBackgroundUpdate = 3,       // "BackgroundUpdate"
  kInformFinish = 4,           // "InformFinish"
  kRestartProcess = 5,         // "RestartProcess"
};
constexpr int kPreferenceCount = 6;
// An override byte of this value leaves the decision to the info file.
constexpr uint8_t kFollowInfoFile = 255;

// Six bytes, 255 each at start; any other value overrides its flag, 1
// meaning true and everything else false.
extern uint8_t PreferenceOverrides[kPreferenceCount];
// Automatic checks allowed; cleared once a check-once schedule has checked.
extern bool AutoCheckEnabled;
// What the agent is doing, as agent command 7 reports it.
enum class TAgentPhase : int32_t {
  Idle = 0,
  Checking = 1,     // fetching the info file and deciding
  Downloading = 2,  // fetching the update package
  Installing = 3,   // running the update package
};
extern TAgentPhase AgentPhase;

// The codes of the agent command message, as the application sends them.
enum class TAgentCommand : uintptr_t {
  GetVersionOriginal = 4,
  GetVersionNew = 5,
  GetAgentPhase = 7,
  GetProbeSecondsInterval = 8,
  GetReAskSecondsInterval = 9,
  GetProbeSecondsLast = 10,
  GetReAskSecondsLast = 11,
  SetProbeSecondsInterval = 12,
  SetReAskSecondsInterval = 13,
  SetProbeSecondsLast = 14,
  SetReAskSecondsLast = 15,
  // 20 + i sets preference override byte i (0..5).
  SetFirstPreference = 20,
  SetLastPreference = 25,
  SetStopCountdown = 30,
  CheckNow = 31,  // argument 2: a check the user asked for
};

// Sets one override byte; an index outside 0..5 changes nothing.
void SetPreferenceOverride(int index, uint8_t value);
// "|b0|b1|b2|b3|b4|b5|" with the bytes in decimal.
std::string FormatOverrideList();
// Reads field i (0..5) of `list` (its first character is the separator)
// into override byte i. A field that is missing, empty or not a decimal
// number leaves its byte unchanged; a number keeps its low 8 bits.
void ParseOverrideList(const std::string& list);

// An overridable flag: the info file's `fileValue` when the override byte
// is 255, else whether the byte is 1.
bool OverriddenFlag(int index, bool fileValue);
// Ask before checking has no key in the info file: true only when override
// byte 0 holds 1.
bool AskBeforeCheck();

// INI flags are true only for the exact text "1".
bool IsIniFlag(const std::string& text);

// Built-in text of an "AutoUpdate" message id ("s2", "s22", ...); "s22"
// names `programName`. Empty for ids without a default.
std::string DefaultAutoUpdateText(const char* id, const std::string& programName);

// Default of "BtnText": the captions of the message box's seven buttons.
inline constexpr const char* kDefaultBtnText = kDefaultButtonTexts;
