#include "package/driver_rules.h"
#include "util/text.h"

std::string FormatMB(double bytes) {
  double mb = bytes < 0 ? 0 : bytes / 1048576.0;
  return FixedDecimal(mb, mb > 10 ? 1 : (mb >= 1 ? 2 : 3));
}

std::string RunTokenFor(unsigned long threadId) { return "_" + std::to_string(threadId); }

std::string MainProgramPath(const std::string& targetFolder, const std::string& mainProgram) {
  const size_t star = mainProgram.find('*');
  const std::string name = star == std::string::npos ? mainProgram : Trim(mainProgram.substr(0, star));
  return SetTrailingBackslash(targetFolder, true) + name;
}

std::string BuildStartCommand(const std::string& targetFolder, const std::string& mainProgram,
                              const std::string& extraArguments, const std::string& runToken,
                              bool autoUpdateProg) {
  std::string arguments = extraArguments;
  const size_t star = mainProgram.find('*');
  if (star != std::string::npos) {
    arguments = Trim(arguments + " " + Trim(mainProgram.substr(star + 1)));
  }
  std::string command = MainProgramPath(targetFolder, mainProgram);
  if (!arguments.empty()) command += " " + arguments;
  command += " /TH_ID=" + runToken;
  if (autoUpdateProg) command += " /AutoUpdateProg";
  return command;
}

std::string TempNoticeDrive(const std::string& folder) {
  if (folder.empty()) return "";
  return UpperCase(folder.substr(0, 1)) + ":";
}
