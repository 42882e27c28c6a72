// Whole-file and folder-tree operations shared by the launcher: a stretch
// of a file, writing or appending a whole content, sizes and free space,
// searches through a tree or all drives of a kind, deletion by mask and of
// a whole tree, and the batch with which a process removes its own file.
// Paths are Windows paths in the ANSI code page; contents are byte strings.
// Every operation reports failure only through its result.
#pragma once

#include <cstdint>
#include <string>

// Size in bytes of the first entry matching `path` (files and folders; the
// name may hold wildcards), 0 when none matches.
int64_t FileSizeOf(const std::string& path);

// Up to `maxLength` bytes (0 = to the end) from `offset` on. Empty when the
// file is missing, the offset lies outside 0 .. size - 1, or fewer bytes
// arrive than asked for.
std::string ReadFilePart(const std::string& path, int64_t offset, int64_t maxLength);

// Writes `content` to a new (or truncated) file, or with `append` at the end
// of an existing one (created when missing). `dateStamp` is a packed DOS
// date (high 16 bits) and time (low 16 bits) of local time set as the
// file's last-write time once every byte is written; 0 leaves the time.
// True when every byte was written.
bool WriteWholeFile(const std::string& path, const std::string& content, int32_t dateStamp,
                    bool append);
// WriteWholeFile in append mode, in one write call.
bool AppendToFile(const std::string& path, const std::string& content, int32_t dateStamp);

// Sets the last-write time of an existing file from a packed DOS local
// date and time. False when the stamp is not a valid date or the file
// cannot be changed.
bool SetFileDateStamp(const std::string& path, int32_t dateStamp);
// The same for a file already open for writing (a Windows file handle):
// spares a second open of a file that was just written.
bool SetOpenFileDateStamp(void* file, int32_t dateStamp);

// Free bytes on the drive of the path's first letter; an empty path asks
// about the current drive; -1 when the query fails.
double DriveFreeSpace(const std::string& path);

// Depth first, first match wins: `folder` itself before its subfolders.
// The full path of the match, or "". Linked folders (junctions, symbolic
// links) are not entered, so a link pointing up the tree cannot trap the
// search.
std::string FindFileInTree(const std::string& folder, const std::string& name);
std::string FindFolderInTree(const std::string& folder, const std::string& name);
// FindFileInTree / FindFolderInTree on the roots C:\ .. Z:\ whose drive type
// (2 removable, 3 fixed, 4 remote, 5 CD-ROM, 6 RAM disk) is `driveType`.
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindFolderOnDrives(const std::string& name, int driveType);

// Deletes every file (not folder) matching `mask` (folder + wildcard name),
// first making it writable when `resetAttributes`. Single failures are
// ignored. True when at least one entry matched.
bool DeleteByMask(const std::string& mask, bool resetAttributes);
// Deletes a folder with everything below it. True exactly when the folder
// existed before and is gone after. A linked folder inside the tree is
// removed as a link; the folder it points to is left alone.
bool DeleteTree(const std::string& folder, bool resetAttributes);

// True when `path` names an existing folder.
bool DirExists(const std::string& path);
// Creates `path` and every missing parent. True when the folder exists
// afterwards.
bool ForceDirectories(const std::string& path);

// Writes TempDir + "_DEL_ME_.BAT", which deletes this program's file as
// soon as its process has let go of it (then, with `removeFolder`, the
// emptied folder, then itself), and starts it hidden. With `shortNames` the
// paths stand in their 8.3 forms without quotes. Reports nothing.
void WriteSelfDeleteBatch(bool removeFolder, bool shortNames);
