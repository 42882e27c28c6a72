// The small HTTP client: connection test, size query, resumable download
// into a file or into memory, the progress text, and the test-mode switch
// that sends the agent to a local folder instead of the server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "startup/progress.h"
#include "update/download_progress.h"

// True while the registry's "TestMode" is "1": the agent takes its files
// from TestModeURL (a folder) and never goes to the Internet.
extern bool TestMode;
extern std::string TestModeURL;

bool IsInternetConnected();

// Length of the resource in bytes, -1 when it cannot be learned.
int32_t QueryRemoteFileSize(const std::string& url);

// Downloads `url` into `targetPath` (resuming a partial file of the same
// length and date) or, with an empty targetPath, into `content` (may be
// null, then the body is dropped). `error` is empty on success, else
// "Unable to initialize "WinINet.dll"", "Unable to open URL: " + url,
// url + "<P><P>File Not Found !" or "Download Aborted". A transfer that
// ends short leaves error empty and targetPath absent; its partial file
// stays for the next attempt. `window` (may be null) is shown once the
// size is known; `progress` (may be null) drives a progress bar.
void InternetDownload(HWND window, const std::string& url, const std::string& targetPath,
                      std::string& error, TProgressCallback progress, std::string* content);

// Re-reads the test-mode values when forced or after 30 s; returns TestMode.
bool RefreshTestMode(bool force);
