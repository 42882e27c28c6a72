// Pure rules of the process entry, kept apart from the Windows calls so that they
// are unit-tested on every platform.
#include "startup/entry.h"
#include "util/text.h"

std::string MainWindowClassFor(bool autoUpdateFlag, const std::string& programPath) {
  if (autoUpdateFlag) return Concat({".AutoUpdate.", BaseName(programPath)});
  return programPath;
}

std::string OriginDirOf(const std::string& programPath) {
  std::string folder = ExtractFileDir(programPath);
  if (folder.size() > 2) folder = StripTrailingBackslash(folder);
  return folder;
}
