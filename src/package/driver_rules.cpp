#include "package/driver_rules.h"

#include "util/text.h"

std::string FormatMB(double bytes) {
  double mb = bytes < 0 ? 0 : bytes / 1048576.0;
  return FixedDecimal(mb, mb > 10 ? 1 : (mb >= 1 ? 2 : 3));
}

std::string RunTokenFor(unsigned long threadId) { return "_" + Decimal(threadId); }

namespace {

// Appends a blank and `piece`, unless `piece` is empty.
void AddArgument(std::string& command, const std::string& piece) {
  if (!piece.empty()) command.append(" ").append(piece);
}

std::string Quoted(const std::string& text) { return Concat({"\"", text, "\""}); }

}  // namespace

TStartCommand BuildStartCommand(const TStartInput& in) {
  const std::string& main = in.MainProgram;
  const size_t star = main.find('*');
  TStartCommand start;
  start.ProgramPath = SetTrailingBackslash(in.TargetFolder, true) + Trim(main.substr(0, star));
  const std::string& path = start.ProgramPath;
  const bool msi = EndsWithText(".msi", path);
  const bool handShake = !msi && !in.PackageSaysExitCode;
  if (!handShake) start.SuccessBy = TSuccessBy::ExitCode;
  std::string& command = start.CommandLine;
  // A setup program written for the launcher gets its path unquoted, as it
  // always has; everything else gets it quoted, as a path with blanks needs.
  // (The system runs a .cmd or .bat main program through its command
  // interpreter by itself.)
  command = handShake ? path : Quoted(path);
  start.Application = path;
  if (msi) {
    start.Application = in.SystemFolder + "\\msiexec.exe";
    command = Concat({"\"", start.Application, "\" /i ", command});
  }
  AddArgument(command, in.Arguments);
  if (handShake) AddArgument(command, in.HandShakeArguments);
  if (star != std::string::npos) AddArgument(command, Trim(main.substr(star + 1)));
  if (handShake) {
    command += " /TH_ID=";
    command += in.RunToken;
    if (in.AutoUpdateProg) command += " /AutoUpdateProg";
  }
  return start;
}

bool AsksForRestart(uint32_t code) { return code == 3010 || code == 1641; }

bool IsSuccessExitCode(uint32_t code) { return code == 0 || AsksForRestart(code); }

uint32_t LauncherExitCode(const TRunResult& result) {
  if (result.SuccessBy == TSuccessBy::HandShake) return 0;
  switch (result.Status) {
    case TRunStatus::Succeeded:
    case TRunStatus::SetupFailed:
      return result.ExitCode;
    case TRunStatus::Declined:
      return 1602;
    default:
      return 1603;
  }
}

std::string TempNoticeDrive(const std::string& folder) {
  if (folder.empty()) return std::string();
  return UpperCase(folder.substr(0, 1)) + ":";
}

std::string FillTempSpaceMarks(const std::string& message, const std::string& folder, double needed,
                               double freeBytes) {
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
