#include "startup/transient_copy.h"
#include "util/text.h"

std::string TransientCopyPath(const std::string& programPath) {
  return Concat({ExtractFilePath(programPath), "X_", ExtractFileName(programPath)});
}

std::string TransientCopySwitches(const std::string& transient, const std::string& delay) {
  std::string switches;
  if (!transient.empty()) switches += Concat({" /TRANSIENTx=", transient});
  if (!delay.empty()) switches += Concat({" /SleepX=", delay});
  return switches;
}

void ParseListenerSwitch(const std::string& value, unsigned long long& window,
                         unsigned long& message) {
  const std::string list = Concat({":", value, ":"});
  window = static_cast<unsigned long long>(StrToInt64Def(GetField(list, 0, ""), 0));
  message = static_cast<unsigned long>(StrToInt64Def(GetField(list, 1, ""), 0));
}
