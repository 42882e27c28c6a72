// The run-time side of the agent's settings: preference overrides that the
// application (or the previous agent) sets over the info file's flags, the
// override list that carries them between agent processes, and the texts
// the agent falls back to when its settings file has none.
#pragma once

#include <cstdint>
#include <string>

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
// 0 idle, 1 checking, 2 downloading the update, 3 installing.
extern int32_t AgentPhase;

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
std::string DefaultAutoUpdateText(const std::string& id, const std::string& programName);

// Default of "BtnText": the captions of the message box's seven buttons.
inline constexpr const char* kDefaultBtnText = kDefaultButtonTexts;
