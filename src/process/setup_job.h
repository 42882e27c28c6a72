// A setup program started in a job object of its own. Every process it
// starts, directly or further down, joins the job, so the launcher can wait
// for the installer as a whole before it removes the setup folder (see
// process/setup_wait_rules.h for which of them count).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "process/setup_wait_rules.h"
#include "util/handle.h"
#include "util/winapi.h"

class TSetupJob {
 public:
  // Starts `application` with the whole `commandLine` (program name first),
  // shown or hidden. Fails with the system's error when it refuses (not a
  // program, missing, blocked). Where the launcher cannot make
  // the job or put the program into it (a launcher that runs inside a job
  // of its own before Windows 8), the program alone is waited for.
  TWinResult Start(const std::string& application, const std::string& commandLine, bool show);

  // Returns, pumping the thread's messages, once the started program has
  // ended and no process of its job keeps the setup waiting, judged with
  // the temp folder and `setupFolder`. No time limit: an installer may ask
  // its user questions for as long as it likes.
  void WaitForSetupProcesses(const std::string& setupFolder);

  // The started program's exit code once it has ended.
  uint32_t ExitCode() const;

  // The job could not be used: only the started program is waited for.
  bool WaitsForProgramAlone() const { return !job_; }

 private:
  bool AnyProcessKeepsWaiting(const TFolderForms& temp, const TFolderForms& setup) const;

  THandle job_;
  THandle process_;
};
