// Pure rules of the extraction driver, unit-tested natively.
#pragma once

#include <string>
#include <string_view>

// Bytes as MB: 3 decimals below 1, 2 from 1 to 10, 1 above 10.
std::string FormatMB(double bytes);

// "_" + the calling thread's id.
std::string RunTokenFor(unsigned long threadId);

// The command that starts the main program: folder + name (unquoted), the
// caller's arguments, the program's own arguments after its "*", the run
// token switch and, in the agent, " /AutoUpdateProg".
std::string BuildStartCommand(const std::string& targetFolder, const std::string& mainProgram,
                              const std::string& extraArguments, const std::string& runToken,
                              bool autoUpdateProg);

// The program path that the command above starts.
std::string MainProgramPath(const std::string& targetFolder, const std::string& mainProgram);

// The temp-drive question, or empty when none is to be asked. `texts`
// looks a package text up by id and default.
template <typename TextLookup>
std::string TempSpaceQuestion(const std::string& folder, double needed, double freeBytes,
                              bool alwaysShow, TextLookup texts);

std::string TempNoticeDrive(const std::string& folder);
// The question's <DRIVE>, <SPACE_REQ> and <SPACE_AVAIL> filled in.
std::string FillTempSpaceMarks(const std::string& message, const std::string& folder,
                               double needed, double freeBytes);

// Setup folder names: "SETUP_" + the launcher's time of day, and, when a
// folder of that name is there already (another run's, or not ours at
// all), the same + "_" + `attempt` (attempt 2, 3, ...).
std::string SetupFolderName(unsigned timeOfDay, int attempt);
// True for a name SetupFolderName can give (letter case ignored): the only
// folders the start sweep ever looks into.
bool IsSetupFolderName(std::string_view name);

#include "package/driver_rules.inl"
