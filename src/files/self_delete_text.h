// The text of the batch with which a transient copy removes its own
// executable once its process has ended.
#pragma once

#include <string>

// Name of the batch in the temporary folder.
inline constexpr const char* kSelfDeleteBatchName = "_DEL_ME_.BAT";

// The batch, each line ending in CR LF:
//   :START
//   DEL "exe"
//   IF errorlevel 1 GOTO START
//   IF EXIST "exe" GOTO START
//   RD "folder"            (only with `removeFolder`)
//   DEL "batch"
// The DEL loop retries until the executable's process has let go of it
// and the file is gone.
// With `shortNames` the callers pass 8.3 forms, which need no quotes, and
// the paths stand unquoted.
std::string SelfDeleteBatchText(const std::string& exePath, const std::string& folder,
                                const std::string& batchPath, bool removeFolder, bool shortNames);

// The folder of the executable as the batch removes it: without a trailing
// backslash, except that a drive root keeps its two characters ("C:").
std::string SelfDeleteFolderOf(const std::string& exePath);
