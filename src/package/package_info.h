// What a package file says about itself: its trailer and the plain text
// lists in front of its entries, read once and then answered from memory.
#pragma once

#include <cstdint>
#include <string>

#include "package/format.h"

class TReadFile;

// Locates the trailer of an open file and reads it into `record` over what
// the record held: through PackageEnd when the file is a launcher image with
// PackageEnd set, else from the physical end. A trailer length beyond 74 is
// read as 74 and stored in TrailerLength; a HeaderBlockCount of 0 becomes 2.
// Reads never go past the end of the file. False when the file's size
// cannot be told.
bool ReadTrailer(TReadFile& file, PackageTrailer& record);
// The same for a file opened here (sharing allowed) and closed again;
// false when it cannot be opened.
bool ReadTrailer(const std::string& fileName, PackageTrailer& record);

// Bytes the extracted files take on a drive with `clusterSize`-byte clusters:
// SpaceTable entry i (1..8) for the largest i with clusterSize >= 256 * 2^i,
// the exact total (entry 0) for smaller or unknown (0) cluster sizes.
double SpaceRequiredFor(const PackageTrailer& record, int64_t clusterSize);

// The information of one package file: the launcher as shipped, a further
// disk file of a spanned package, or an auto-update program copy. The
// constructor reads everything; the queries never touch the file again.
// A missing file gives a zero record and empty lists; a file without the
// package magic keeps the trailer bytes it has, but with every flag off, and
// gives empty lists.
class TGFileInfo {
 public:
  explicit TGFileInfo(const std::string& fileName);
  TGFileInfo(const TGFileInfo&) = delete;
  TGFileInfo& operator=(const TGFileInfo&) = delete;

  // The trailer as read; DataOffset stands behind the text lists read, at
  // the first file entry.
  const PackageTrailer& Trailer() const { return trailer_; }
  const std::string& LangTexts() const { return langTexts_; }
  const std::string& InfoList() const { return infoList_; }
  const std::string& WebList() const { return webList_; }

  // Bytes needed for the extracted files on the drive that holds `path`
  // (its first three characters name the drive on Windows).
  double GetSpaceRequired(const std::string& path) const;

  bool HasNextDisk() const;
  bool AlwaysShowTempNotice() const;
  bool IsWebSetup() const { return trailer_.IsWebSetup != 0; }
  bool AskBeforeDownload() const { return trailer_.AskBeforeDownload != 0; }
  bool MakeAutoUpdateProg() const { return trailer_.MakeAutoUpdateProg != 0; }
  bool ThisIs_AutoUpdateProg() const { return trailer_.ThisIs_AutoUpdateProg != 0; }
  int32_t PackageVersion() const { return trailer_.PackageVersion; }

  // InfoList fields; a missing or empty field gives "".
  std::string UpdateLocation() const;
  std::string AutoUpdateProgName() const;
  // The name part of the update file name with ".info" / ".original" as its
  // extension: the agent's information and installation settings files.
  std::string InfoFileName() const;
  std::string OriginalFileName() const;
  // The stored (scrambled) token, or the token compared when `unscramble`.
  std::string UpdateToken(bool unscramble) const;
  bool HiddenExtract() const;
  // The main program reports success by its exit code (0, 3010, 1641)
  // rather than by removing the run's atom.
  bool SuccessByExitCode() const;

  // WebList fields; all empty / false without a WebList.
  std::string WebFolder() const;
  std::string WebSetupName() const;
  // The download size as decimal text; callers convert with a default of 0.
  std::string WebSetupSize() const;
  bool WebAlwaysDownload() const;
  std::string WebToken(bool unscramble) const;

  // The unscrambled tokens of both packages are equal (exact case). An
  // invalid token never equals another one.
  bool SameUpdateToken(const TGFileInfo& other) const;
  bool SameWebToken(const TGFileInfo& other) const;

  // The text of message id `id` in the language section chosen for the
  // process, or `def` (see package/messages.h).
  std::string GetText(const char* id, const char* def) const;
  // The "Charset" text as a number, 0 when it is not one.
  int32_t GetCharset() const;

 private:
  void ReadLists(TReadFile& file);

  PackageTrailer trailer_{};
  std::string langTexts_;
  std::string infoList_;
  std::string webList_;
};
