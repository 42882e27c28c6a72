#include "package/package_info.h"

#include <cstring>

#include "package/walker.h"
#include "util/file_io.h"
#include "util/text.h"

namespace {

// InfoList fields.
constexpr int kUpdateLocationField = 0;
constexpr int kUpdateInfoNameField = 1;
constexpr int kAutoUpdateProgNameField = 2;
constexpr int kUpdateTokenField = 3;
constexpr int kHiddenExtractField = 4;
// WebList fields.
constexpr int kWebFolderField = 0;
constexpr int kWebSetupNameField = 1;
constexpr int kWebAlwaysDownloadField = 2;
constexpr int kWebTokenField = 3;
constexpr int kWebSetupSizeField = 4;

// A field of a delimited list, "" when missing or empty.
std::string FieldOf(const std::string& list, int index) {
  return GetField(list, index, std::string());
}

bool ReadInt32At(TReadFile& file, int64_t offset, int32_t& value) {
  uint8_t bytes[4];
  if (!file.Seek(offset) || file.Read(bytes, 4) != 4) return false;
  value = static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                               uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
  return true;
}

// One block at `offset`: an int32 length, then that many bytes. A damaged
// length must neither allocate more than the file holds nor read past its
// end: a negative length reads as empty, a length beyond the end of the
// file gives what is there. `next` receives the offset behind the block,
// never past the end of the file. False when not even the length is there.
bool ReadBlock(TReadFile& file, int64_t offset, int64_t fileSize, std::string& text,
               int64_t& next) {
  int32_t length = 0;
  if (!ReadInt32At(file, offset, length)) return false;
  const int64_t start = offset + 4;
  const int64_t available = fileSize - start;
  int64_t wanted = length < 0 ? 0 : length;
  if (wanted > available) wanted = available;
  text.assign(static_cast<size_t>(wanted), '\0');
  if (wanted > 0) text.resize(file.Read(&text[0], text.size()));
  next = start + (length < 0 ? 0 : int64_t{length});
  if (next > fileSize) next = fileSize;
  return true;
}

}  // namespace

bool ReadTrailer(TReadFile& file, PackageTrailer& record) {
  TReadFileSource source(file);
  return ReadTrailer(source, record);
}

bool ReadTrailer(const std::string& fileName, PackageTrailer& record) {
  TReadFile file;
  return file.Open(fileName) && ReadTrailer(file, record);
}

double SpaceRequiredFor(const PackageTrailer& record, int64_t clusterSize) {
  int entry = 0;
  for (int i = 1; i <= 8; ++i) {
    if (clusterSize >= (int64_t{256} << i)) entry = i;
  }
  return static_cast<double>(record.SpaceTable[entry]);
}

TGFileInfo::TGFileInfo(const std::string& fileName) {
  if (!FileExists(fileName)) return;
  TReadFile file;
  if (!file.Open(fileName) || !ReadTrailer(file, trailer_)) return;
  if (trailer_.PackageMagic == kPackageMagic) {
    ReadLists(file);
    return;
  }
  // Bytes read from the wrong place (a damaged or cut download) must not
  // steer the launcher into web setup, agent or spanned-disk ways; with all
  // flags off the damage reaches the checksum and is reported there.
  trailer_.PackageFlags = 0;
  trailer_.IsWebSetup = 0;
  trailer_.AskBeforeDownload = 0;
  trailer_.MakeAutoUpdateProg = 0;
  trailer_.ThisIs_AutoUpdateProg = 0;
}

void TGFileInfo::ReadLists(TReadFile& file) {
  const int64_t size = file.Size();
  std::string* lists[] = {&langTexts_, &infoList_, &webList_};
  const int blocks = trailer_.HeaderBlockCount > 2 ? 3 : 2;
  int64_t offset = trailer_.DataOffset;
  for (int i = 0; i < blocks; ++i) {
    if (!ReadBlock(file, offset, size, *lists[i], offset)) return;
    trailer_.DataOffset = static_cast<int32_t>(offset);
  }
}

double TGFileInfo::GetSpaceRequired(const std::string& path) const {
  return SpaceRequiredFor(trailer_, ClusterSizeOf(path));
}

bool TGFileInfo::HasNextDisk() const { return (trailer_.PackageFlags & kFlagHasNextDisk) != 0; }

bool TGFileInfo::AlwaysShowTempNotice() const {
  return (trailer_.PackageFlags & kFlagAlwaysShowTempNotice) != 0;
}

std::string TGFileInfo::UpdateLocation() const { return FieldOf(infoList_, kUpdateLocationField); }

std::string TGFileInfo::AutoUpdateProgName() const {
  return FieldOf(infoList_, kAutoUpdateProgNameField);
}

std::string TGFileInfo::InfoFileName() const {
  return ExtractFileName(ChangeFileExt(FieldOf(infoList_, kUpdateInfoNameField), ".info"));
}

std::string TGFileInfo::OriginalFileName() const {
  return ExtractFileName(ChangeFileExt(FieldOf(infoList_, kUpdateInfoNameField), ".original"));
}

std::string TGFileInfo::UpdateToken(bool unscramble) const {
  const std::string stored = FieldOf(infoList_, kUpdateTokenField);
  return unscramble ? UnscrambleToken(stored) : stored;
}

bool TGFileInfo::HiddenExtract() const { return FieldOf(infoList_, kHiddenExtractField) == "1"; }

bool TGFileInfo::SuccessByExitCode() const {
  return FieldOf(infoList_, kSuccessByField) == kSuccessByExitCode;
}

std::string TGFileInfo::WebFolder() const { return FieldOf(webList_, kWebFolderField); }

std::string TGFileInfo::WebSetupName() const { return FieldOf(webList_, kWebSetupNameField); }

std::string TGFileInfo::WebSetupSize() const { return FieldOf(webList_, kWebSetupSizeField); }

bool TGFileInfo::WebAlwaysDownload() const {
  return FieldOf(webList_, kWebAlwaysDownloadField) == "1";
}

std::string TGFileInfo::WebToken(bool unscramble) const {
  const std::string stored = FieldOf(webList_, kWebTokenField);
  return unscramble ? UnscrambleToken(stored) : stored;
}

bool TGFileInfo::SameUpdateToken(const TGFileInfo& other) const {
  return UpdateToken(true) == other.UpdateToken(true);
}

bool TGFileInfo::SameWebToken(const TGFileInfo& other) const {
  return WebToken(true) == other.WebToken(true);
}
