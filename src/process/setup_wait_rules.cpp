#include "process/setup_wait_rules.h"

#include "util/text.h"

bool IsWithinFolder(const std::string& path, const std::string& folder) {
  const std::string base = StripTrailingBackslash(folder);
  if (base.empty() || PosText(base, path) != 1) return false;
  return path.size() == base.size() || path[base.size()] == '\\';
}

bool KeepsSetupWaiting(const std::string& image, const std::string& commandLine,
                       const TFolderForms& temp, const TFolderForms& setup) {
  for (size_t i = 0; i < setup.size(); ++i) {
    if (IsWithinFolder(image, temp[i]) || IsWithinFolder(image, setup[i])) return true;
    if (!setup[i].empty() && PosText(SetTrailingBackslash(setup[i], true), commandLine) > 0) {
      return true;
    }
  }
  return false;
}
