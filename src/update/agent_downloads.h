// The agent's downloads: the info file (into memory, then beside the agent)
// and the update package (beside the agent), from a URL or a folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "update/launcher_host.h"

class TAgentSettings;
struct TUpdateOffer;

// The fetches below read the agent's settings from `own` and show their
// progress in `host`'s window.

// Fetches the info file `fileName` (only its file-name part is used) from
// `base`; true when it now lies beside the agent and is no error page.
bool FetchInfoFile(const TLauncherHost& host, const TAgentSettings& own, const std::string& base,
                   const std::string& fileName);

// Fetches the update package `fileName` from `base` (the delta package of
// `delta` when that is given: its size must also be the announced one, and
// its failures are only logged); true when it now lies
// beside the agent and carries the agent's token, and, where the info file
// announces one, the announced SHA-256, and, where the installation
// settings file pins publisher keys, an intact signature by one of them
// over a recorded package version that is the one offered. A
// package that fails any of these is deleted and reported as one with
// another token (the debug log names the check); a failed download is
// reported when the user is asked before downloads.
bool FetchUpdatePackage(const TLauncherHost& host, const TAgentSettings& own,
                        const std::string& base, const std::string& fileName,
                        const TUpdateOffer* delta);

// Size of the update package `fileName` where `base` offers it; -1 when it
// cannot be found there.
int64_t OfferedUpdateFileSize(const std::string& base, const std::string& fileName);

// The agent's folder with one trailing backslash, followed by `name`.
std::string AgentFolder(std::string_view name = {});

enum class TAgentBox { Question, Warning, Error };
// Shows `text` in a box of `kind` with the captions, button texts and
// character set of `settings`' installation settings file; true only when
// a question is answered Yes.
bool ShowAgentBox(const TAgentSettings& settings, HWND owner, TAgentBox kind,
                  const std::string& text);
