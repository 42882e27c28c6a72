// The extraction engine: walks the block stream of a package, disk file by
// disk file, inflates every entry into the target folder, asks for further
// disks, names the main program and leaves the auto-update program copy.
#pragma once

#include <cstdint>
#include <string>

#include "package/walker.h"
#include "util/progress.h"

// One extraction: which package, where to, and how to ask for further disks.
struct TExtractRequest {
  std::string PackagePath;   // disk 1
  std::string TargetFolder;  // created with its parents
  // Its file-name part names the auto-update program copy written beside the
  // files when the package file ends in ".exe"; empty makes none.
  std::string AutoUpdateProgName;
  TProgressCallback Progress = nullptr;
  // Further disks are asked for with AskOkCancel: the text with
  // "<DISK_NUM>" replaced by the disk number, caption, buttons, charset.
  std::string DiskPromptText;
  std::string DiskPromptCaption;
  std::string ButtonTexts;
  uint8_t Charset = 0;
  bool ForcePrompt = false;  // ask even when the disk file is already there
  // Where a delta package's patches find the installed files they rebuild
  // (the installation's folder); empty when there are none to give.
  std::string InstalledFolder{};
};

// The outcome of one extraction.
struct TExtractResult {
  // True once a disk file's checksum matched, false when the last checked
  // one failed; nothing of a failing disk is read.
  bool ChecksumOk = false;
  // The marked entry's name with its "*" and arguments (or its whole
  // header); empty when none is marked, a disk prompt was cancelled or the
  // package is damaged.
  std::string MainProgram;
  // Where and why the walk of the package stopped (see package/walker.h).
  TDamagedEntry Damage;
  // The file of a delta package that could not be rebuilt, and why ("name:
  // reason"); the extraction stopped there. Empty when every patch applied.
  std::string RebuildFault;
};

// Extracts the package disk file by disk file into the target folder.
// `Progress` gets (0,0,0,0,1) at the start, (0,0,FilesCount,0,1) when disk 1
// passed its checks, (1,0,0,0,1) per new file and after every change of disk.
//
// Entries are streamed: memory use does not grow with an entry's size.
// An entry's file is created (or appended to, when it exists) as its
// content arrives and gets its date when complete. An entry whose name
// would leave the target folder is not written and counts as a failed
// write. The first failed write of the process shows one error box; later
// ones are silent. Extraction goes on after failed writes.
//
// A patch entry rebuilds its file from the installed file of the same name
// in InstalledFolder, which must match the patch's size and SHA-256, and
// the rebuilt file must match the patch's new SHA-256; else the extraction
// stops with RebuildFault set and no main program. Without an installed
// folder it is damage too, whose text tells why (kRebuildFaultText).
//
// On a damaged package the extraction stops at the faulty block, the
// result's Damage says where and why, and the caller shows its Message and
// starts nothing. Files written before stay.
TExtractResult ExtractPackage(const TExtractRequest& request);

// Failed file writes (and refused entry names) of this process so far; the
// error box shows only for the first.
int FailedWriteCount();
