#include "startup/run_modes.h"

#include "files/file_ops.h"
#include "startup/main_window.h"
#include "startup/transient_copy.h"
#include "update/http_client.h"

void RunNormalMode() { RunMainWindow(); }

void RunAutoUpdateProgMode() { CreateAndRun_X_Exe(); }

void RunTransientCopyMode() {
  RefreshTestMode(true);
  RunMainWindow();
  WriteSelfDeleteBatch(false, false);
}
