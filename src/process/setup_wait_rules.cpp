#include "process/setup_wait_rules.h"

#include "util/text.h"

bool IsWithinFolder(const std::string& path, const std::string& folder) {
  const std::string base = StripTrailingBackslash(folder);
  if (base.empty() || path.size() < base.size()) return false;
  if (UpperCase(path.substr(0, base.size())) != UpperCase(base)) return false;
  return path.size() == base.size() || path[base.size()] == '\\';
}

bool KeepsSetupWaiting(const std::string& image, const std::string& commandLine,
                       const std::vector<std::string>& tempFolders,
                       const std::vector<std::string>& setupFolders) {
  for (const std::string& folder : tempFolders) {
    if (IsWithinFolder(image, folder)) return true;
  }
  for (const std::string& folder : setupFolders) {
    const std::string inside = SetTrailingBackslash(folder, true);
    if (inside.size() > 1 && PosText(inside, commandLine) > 0) return true;
  }
  return false;
}
