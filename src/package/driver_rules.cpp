#include "package/driver_rules.h"
#include "util/text.h"

std::string FormatMB(double bytes) {
  double mb = bytes < 0 ? 0 : bytes / 1048576.0;
  return FixedDecimal(mb, mb > 10 ? 1 : (mb >= 1 ? 2 : 3));
}

std::string RunTokenFor(unsigned long threadId) { return "_" + Decimal(threadId); }

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
    arguments.append(" ").append(Trim(mainProgram.substr(star + 1)));
    arguments = Trim(arguments);
  }
  std::string command = MainProgramPath(targetFolder, mainProgram);
  if (!arguments.empty()) command.append(" ").append(arguments);
  command.append(" /TH_ID=").append(runToken);
  if (autoUpdateProg) command.append(" /AutoUpdateProg");
  return command;
}

std::string TempNoticeDrive(const std::string& folder) {
  if (folder.empty()) return std::string();
  return UpperCase(folder.substr(0, 1)) + ":";
}

std::string FillTempSpaceMarks(const std::string& message, const std::string& folder,
                               double needed, double freeBytes) {
  static const char* const kMarks[] = {"<DRIVE>", "<SPACE_REQ>", "<SPACE_AVAIL>"};
  const std::string values[] = {TempNoticeDrive(folder), FormatMB(needed), FormatMB(freeBytes)};
  std::string filled = message;
  for (int i = 0; i < 3; ++i) filled = ReplaceAll(filled, kMarks[i], values[i]);
  return filled;
}

std::string SetupFolderName(unsigned timeOfDay, int attempt) {
  std::string name = "SETUP_" + Decimal(timeOfDay);
  if (attempt > 1) name.append("_").append(Decimal(attempt));
  return name;
}

namespace {

// Length of the run of decimal digits at `pos` of `text`.
size_t DigitsAt(std::string_view text, size_t pos) {
  size_t end = pos;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return end - pos;
}

}  // namespace

bool IsSetupFolderName(std::string_view name) {
  static const char kPrefix[] = "SETUP_";
  const size_t prefix = sizeof kPrefix - 1;
  if (name.size() <= prefix) return false;
  for (size_t i = 0; i < prefix; ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kPrefix[i]) return false;
  }
  const size_t time = DigitsAt(name, prefix);
  if (time == 0 || time > 5) return false;
  size_t pos = prefix + time;
  if (pos == name.size()) return true;
  if (name[pos] != '_') return false;
  const size_t attempt = DigitsAt(name, pos + 1);
  return attempt > 0 && attempt <= 3 && pos + 1 + attempt == name.size();
}
