// The publisher's side of updates: the info file that goes on the update
// server beside an update package, and the installation settings file that
// is installed beside the application and its auto-update agent. Both are
// INI files that the agent reads with the platform's profile functions.
#pragma once

#include <string>
#include <vector>

// `orvane-pack info` with its arguments (after the command name): writes the
// ".info" file of an update package. Prints problems to stderr; returns the
// process exit code (0 written, 1 bad input, 2 wrong usage).
int InfoCommand(const std::vector<std::string>& args);

// `orvane-pack settings` with its arguments: writes the ".original" file.
// Same exit codes.
int SettingsCommand(const std::vector<std::string>& args);

// Usage text of both commands.
const char* PublishUsageText();
