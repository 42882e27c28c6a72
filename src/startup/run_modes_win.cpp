#include "startup/run_modes.h"

#include "files/file_ops.h"
#include "startup/main_window.h"
#include "startup/transient_copy.h"
#include "update/http_client.h"

int RunNormalMode(const std::string& className) { return RunMainWindow(className); }

void RunAutoUpdateProgMode() { CreateAndRun_X_Exe(); }

void RunTransientCopyMode(const std::string& className) {
  RefreshTestMode(true);
  RunMainWindow(className);
  WriteSelfDeleteBatch(false, false);
}
