// The few file-system services the packager needs beyond plain reading:
// what a source file is, which files a folder holds, and how a finished
// package takes the place of an older one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Size and last-write time (packed DOS date/time in local time) of a regular
// file; false when `path` is missing or not a regular file.
bool SourceFileStat(const std::string& path, int64_t& size, uint32_t& dosDateTime);

// Every regular file below `folder`, as names relative to it with "\"
// between the parts, sorted byte-wise so that a package built twice from
// the same folder is the same. False when the folder cannot be read.
bool ListFolderFiles(const std::string& folder, std::vector<std::string>& names);

// Moves `from` to `to`, replacing a file already at `to`.
bool ReplaceFileWith(const std::string& from, const std::string& to);

// Creates `folder` and its missing parents; true when it exists afterwards.
bool CreateFolderTree(const std::string& folder);

// The platform's form of a package-relative name ("a\b.txt"): on Windows
// unchanged, elsewhere with "/" between the parts.
std::string NativeRelativePath(const std::string& packageName);

// True when both standard output and standard error are terminals: only
// then does the packager draw its progress line.
bool OutputIsTerminal();

// Where the launcher installed with this packager may be, in the order
// looked at: beside the packager itself (the Windows zip, a build tree's
// bin folder) and, on Linux, ../share/orvane/ from there (the tools'
// package puts the packager in /usr/bin and the launcher in
// /usr/share/orvane). Empty when the packager's own path is unknown.
std::vector<std::string> InstalledLauncherPaths();
