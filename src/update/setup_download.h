// The web setup: the real package is fetched (or taken from beside the
// launcher), checked for the publisher's token, extracted and run.
#pragma once

#include <string>

// Steps of the start step for a web setup package: prepares the agent copy
// when `agentName` is set, prefers a copy of the setup file beside the
// launcher unless the package says always download, then downloads and
// runs the package.
void RunWebSetup(const std::string& agentName);

void DownloadSetupFile(const std::string& tempFolder, const std::string& base,
                       const std::string& fileName);
