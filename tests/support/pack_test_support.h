// Shared by the native packager tests: running the orvane-pack program, with
// the packages made by hand and the scratch folders they work in.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "bytes.h"
#include "scratch.h"

struct TRun {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr
};

// Runs a shell command line and collects its output.
inline TRun Shell(const std::string& command) {
  TRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Output.append(buffer, n);
  const int status = pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

#ifdef ORVANE_PACK
// Runs orvane-pack with `arguments` (shell words) and collects its output.
inline TRun Pack(const std::string& arguments) {
  return Shell(std::string(ORVANE_PACK) + " " + arguments);
}
#endif
