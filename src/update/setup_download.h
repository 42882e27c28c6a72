// The web setup: the real package is fetched (or taken from beside the
// launcher), checked for the publisher's token, extracted and run.
#pragma once

#include <string>

#include "package/driver_rules.h"
#include "update/launcher_host.h"

// Steps of the start step for a web setup package: prepares the agent copy
// when `agentName` is set, prefers a copy of the setup file beside the
// launcher unless the package says always download, then downloads and
// runs the package. The run's result (nothing started when the download
// failed or was refused).
TRunResult RunWebSetup(const TLauncherHost& host, const std::string& agentName);

// Fetches `fileName` from `base` (a copy lying there is used as it is) and
// runs it in `host` when it carries the launcher's web token and, when the launcher
// itself carries an intact signature, an intact signature by the same key;
// otherwise "Bad Secret Token!" (or the 404 text for a page) is shown and a
// downloaded file deleted.
TRunResult DownloadSetupFile(const TLauncherHost& host, const std::string& tempFolder,
                             const std::string& base, const std::string& fileName);
