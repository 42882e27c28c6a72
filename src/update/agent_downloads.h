// The agent's downloads: the info file (into memory, then beside the agent)
// and the update package (beside the agent), from a URL or a folder.
#pragma once

#include <string>

constexpr int kFetchInfoFile = 1;
constexpr int kFetchUpdatePackage = 2;

// Fetches `fileName` (only its file-name part is used) from `base`; true
// when the file now lies beside the agent and passed its checks (an info
// file that is no error page; an update package with the agent's token).
bool FetchUpdateFile(const std::string& base, const std::string& fileName, int mode);

// The update package on offer has exactly the size the info file names.
bool IsUpdateFileAvailable(const std::string& base, const std::string& fileName);

// The agent's folder with one trailing backslash.
std::string AgentFolder();
