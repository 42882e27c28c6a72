#include "update/update_settings_rules.h"

#include <cstring>

#include "package/messages.h"
#include "util/text.h"

uint8_t PreferenceOverrides[kPreferenceCount] = {255, 255, 255, 255, 255, 255};
bool AutoCheckEnabled = true;
TAgentPhase AgentPhase = TAgentPhase::Idle;

void SetPreferenceOverride(int index, uint8_t value) {
  if (index < 0 || index >= kPreferenceCount) return;
  PreferenceOverrides[index] = value;
}

std::string FormatOverrideList() {
  std::string list = "|";
  for (uint8_t value : PreferenceOverrides) {
    list += Decimal(value);
    list += '|';
  }
  return list;
}

void ParseOverrideList(const std::string& list) {
  for (int i = 0; i < kPreferenceCount; ++i) {
    int64_t value = 0;
    if (!TryParseInt64(GetField(list, i, ""), value)) continue;
    PreferenceOverrides[i] = static_cast<uint8_t>(value & 0xFF);
  }
}

[[gnu::noinline]] bool OverriddenFlag(int index, bool fileValue) {
  if (index < 0 || index >= kPreferenceCount) return fileValue;
  const uint8_t value = PreferenceOverrides[index];
  return value == kFollowInfoFile ? fileValue : value == 1;
}

bool AskBeforeCheck() { return PreferenceOverrides[kAskBeforeCheck] == 1; }

bool IsIniFlag(const std::string& text) { return text == "1"; }

std::string DefaultAutoUpdateText(const char* id, const std::string& programName) {
  struct TDefault {
    const char* id;
    const char* text;
  };
  static const TDefault kDefaults[] = {
      {"s2", kDefaultNoConnection},
      {"s3", "File Download Aborted!"},
      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},
      {"s23", "Please make sure your Internet connection is properly set.<P>"},
      {"s24", "<P>Do you want to check and install the new Update?"},
      {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."},
  };
  if (std::strcmp(id, "s22") == 0) {
    return Concat({"<b>NEW UPDATE</b><P><P>Orvane will check if a new update is available for: <b>",
                   programName, "</b><P>"});
  }
  for (const TDefault& entry : kDefaults) {
    if (std::strcmp(id, entry.id) == 0) return entry.text;
  }
  return "";
}
