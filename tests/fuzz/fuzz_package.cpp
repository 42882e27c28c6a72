// A whole disk file of a package: the trailer, the checksum, the three text
// lists, the walk of the block stream with its entry headers and streaming
// inflate, the agent copy, and TGFileInfo reading the same bytes from a file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "package/extract_rules.h"
#include "package/format.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "package/walker.h"

namespace {

// The same bytes handed out a few at a time, as a slow or odd file might.
class TDribbleSource : public TByteSource {
 public:
  explicit TDribbleSource(const std::string& bytes) : memory_(bytes) {}
  int64_t Size() override { return memory_.Size(); }
  size_t ReadAt(int64_t offset, void* data, size_t count) override {
    return memory_.ReadAt(offset, data, std::min<size_t>(count, 7));
  }

 private:
  TMemorySource memory_;
};

struct TSeen {
  std::string header;
  std::string content;
  bool failed = false;
  bool ended = false;  // OnEntryEnd came: the walk went past this entry
};

class TRecorder : public TPackageVisitor, public TEntrySink {
 public:
  TRecorder(const PackageTrailer& trailer, int64_t streamEnd, int disk = 1, int firstEntry = 1)
      : trailer_(trailer), streamEnd_(streamEnd), disk_(disk), firstEntry_(firstEntry) {}

  void OnListPiece(int index, const uint8_t* data, size_t size) override {
    FUZZ_CHECK(index >= 0 && index < trailer_.HeaderBlockCount);
    FUZZ_CHECK(entries.empty());
    if (index < 3) lists[index].append(reinterpret_cast<const char*>(data), size);
  }
  TEntrySink& OnEntryStart(const TEntryPlace& place) override {
    FUZZ_CHECK(place.EntryNumber == firstEntry_ + static_cast<int>(entries.size()));
    FUZZ_CHECK(place.DiskNumber == disk_);
    FUZZ_CHECK(place.BlockOffset >= trailer_.DataOffset);
    FUZZ_CHECK(place.StoredSize >= 0);
    FUZZ_CHECK(place.BlockOffset + 4 + place.StoredSize <= streamEnd_);
    entries.emplace_back();
    headers_ = 0;
    return *this;
  }
  void OnHeader(const std::string& header) override {
    FUZZ_CHECK(++headers_ == 1);
    FUZZ_CHECK(!header.empty() && header.size() <= kMaxEntryHeader);
    FUZZ_CHECK(header.find('\0') == std::string::npos);
    entries.back().header = header;
    // What the launcher makes of the header: a name without "/" that is
    // either refused or stays inside the target folder.
    const TEntryHeader parsed = ParseEntryHeader(header);
    FUZZ_CHECK(parsed.Name.find('/') == std::string::npos);
    if (IsSafeEntryName(parsed.Name)) {
      FUZZ_CHECK(parsed.Name.find(':') == std::string::npos);
      FUZZ_CHECK(parsed.Name.empty() || parsed.Name[0] != '\\');
    }
  }
  void OnContent(const uint8_t* data, size_t size) override {
    FUZZ_CHECK(size > 0 && headers_ == 1);
    entries.back().content.append(reinterpret_cast<const char*>(data), size);
  }
  bool OnEntryEnd(const TEntryPlace&, const TEntryInflater& inflater) override {
    FUZZ_CHECK(inflater.State() != TEntryInflater::TState::Running);
    FUZZ_CHECK(inflater.ContentSize() == static_cast<int64_t>(entries.back().content.size()));
    entries.back().failed = inflater.State() == TEntryInflater::TState::Failed;
    entries.back().ended = true;
    if (entries.back().failed) FUZZ_CHECK(!inflater.ErrorText().empty());
    return true;
  }

  std::string lists[3];
  std::vector<TSeen> entries;

 private:
  const PackageTrailer& trailer_;
  int64_t streamEnd_;
  int disk_;
  int firstEntry_;
  int headers_ = 0;
};

// A file holding the input, for TGFileInfo, which reads by name.
std::string InputFile(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("fuzz-package", 0);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(ftruncate(fd, 0) == 0);
  FUZZ_CHECK(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TMemorySource source(bytes);
  TDribbleSource dribble(bytes);

  PackageTrailer trailer{};
  FUZZ_CHECK(ReadTrailer(source, trailer));
  FUZZ_CHECK(trailer.TrailerLength <= kTrailerSize);
  FUZZ_CHECK(trailer.HeaderBlockCount != 0);
  const int64_t streamEnd = BlockStreamEnd(source);
  FUZZ_CHECK(streamEnd >= 0 && streamEnd <= static_cast<int64_t>(size));

  // The checksum does not depend on how the file is read.
  const CrcPlan plan =
      PlanCrc(static_cast<int64_t>(size), ReadPackageEnd(source), trailer.TrailerLength);
  FUZZ_CHECK(plan.WordsToSum >= 0 && plan.BonusCount >= 0);
  FUZZ_CHECK(plan.StartOffset + 4 * plan.WordsToSum <= static_cast<int64_t>(size) ||
             plan.WordsToSum == 0);
  const TChecksum sum = PackageChecksum(source, trailer.TrailerLength);
  const TChecksum dribbled = PackageChecksum(dribble, trailer.TrailerLength);
  FUZZ_CHECK(sum.Complete == dribbled.Complete && sum.Value == dribbled.Value);

  // The launcher's walk, and the packager's over a dribbling source with a
  // tiny inflate buffer: the same lists, headers and contents.
  TRecorder seen(trailer, streamEnd);
  TPackageWalker walker;
  const TDiskWalk walk = walker.WalkDisk(source, trailer, "setup.exe", 1, seen);
  if (walk == TDiskWalk::Damaged) {
    FUZZ_CHECK(walker.Damage().Message.find("setup.exe") == 0);
    FUZZ_CHECK(!walker.Damage().Reason.empty());
  }
  FUZZ_CHECK(walk != TDiskWalk::ReadFailed && walk != TDiskWalk::Stopped);
  FUZZ_CHECK(walker.EntryCount() == static_cast<int>(seen.entries.size()));
  FUZZ_CHECK(walker.HeaderEnd() <= streamEnd);
  // The launcher's walk never goes past an entry that failed.
  for (const TSeen& entry : seen.entries) FUZZ_CHECK(!entry.failed);

  TWalkOptions options;
  options.StopAtBadEntry = false;
  options.InflateOutputSize = 61;
  TRecorder again(trailer, streamEnd);
  TPackageWalker tolerant(options);
  const TDiskWalk walkAgain = tolerant.WalkDisk(dribble, trailer, "setup.exe", 1, again);
  FUZZ_CHECK(walkAgain == walk || (walk == TDiskWalk::Damaged && walkAgain != TDiskWalk::NoMagic));
  FUZZ_CHECK(again.entries.size() >= seen.entries.size());
  for (size_t i = 0; i < seen.entries.size(); ++i) {
    if (!seen.entries[i].ended) continue;
    FUZZ_CHECK(!again.entries[i].failed);
    FUZZ_CHECK(again.entries[i].header == seen.entries[i].header);
    FUZZ_CHECK(again.entries[i].content == seen.entries[i].content);
  }
  for (int i = 0; i < 3; ++i) FUZZ_CHECK(again.lists[i] == seen.lists[i]);
  FUZZ_CHECK(tolerant.HeaderEnd() == walker.HeaderEnd());

  // The same bytes once more as the next disk of a spanned package: the
  // entry numbers go on, and lists read whole on disk 1 are not read again,
  // so every block of this disk is an entry.
  if (walkAgain == TDiskWalk::Done) {
    const int before = tolerant.EntryCount();
    const int64_t headerEnd = tolerant.HeaderEnd();
    TRecorder next(trailer, streamEnd, 2, before + 1);
    FUZZ_CHECK(tolerant.WalkDisk(source, trailer, "setup.exe.002", 2, next) == TDiskWalk::Done);
    FUZZ_CHECK(tolerant.EntryCount() == before + static_cast<int>(next.entries.size()));
    if (headerEnd > 0) {
      for (int i = 0; i < 3; ++i) FUZZ_CHECK(next.lists[i].empty());
      FUZZ_CHECK(next.entries.size() == again.entries.size() + trailer.HeaderBlockCount);
    }
  }

  // TGFileInfo reads the same trailer and, where the walk read them whole,
  // the same lists.
  ResetChosenLangSection();
  const TGFileInfo info(InputFile(data, size));
  const PackageTrailer& read = info.Trailer();
  FUZZ_CHECK(read.TrailerLength == trailer.TrailerLength);
  FUZZ_CHECK(read.PackageMagic == trailer.PackageMagic);
  if (trailer.PackageMagic != kPackageMagic) {
    FUZZ_CHECK(!info.IsWebSetup() && !info.HasNextDisk() && !info.ThisIs_AutoUpdateProg());
    FUZZ_CHECK(info.LangTexts().empty() && info.InfoList().empty() && info.WebList().empty());
  } else {
    const size_t listBytes =
        info.LangTexts().size() + info.InfoList().size() + info.WebList().size();
    FUZZ_CHECK(listBytes <= size);
  }
  if (walker.HeaderEnd() > 0) {
    FUZZ_CHECK(info.LangTexts() == seen.lists[0]);
    // A count of 1 makes the walk read the InfoList as an entry (which
    // then fails to inflate); TGFileInfo always reads at least two lists.
    if (trailer.HeaderBlockCount >= 2) FUZZ_CHECK(info.InfoList() == seen.lists[1]);
    if (trailer.HeaderBlockCount >= 3) FUZZ_CHECK(info.WebList() == seen.lists[2]);
    if (trailer.HeaderBlockCount == 2 || trailer.HeaderBlockCount == 3) {
      FUZZ_CHECK(read.DataOffset == walker.HeaderEnd());
    }
  }
  // Every query answers from what was read.
  info.UpdateLocation();
  info.AutoUpdateProgName();
  FUZZ_CHECK(info.InfoFileName().find('\\') == std::string::npos);
  FUZZ_CHECK(info.OriginalFileName().find('/') == std::string::npos);
  info.HiddenExtract();
  info.WebFolder();
  info.WebSetupName();
  info.WebSetupSize();
  info.WebAlwaysDownload();
  const std::string stored = info.UpdateToken(false);
  info.UpdateToken(true);
  info.WebToken(true);
  info.GetText(kIdTitle, kDefaultTitle);
  info.GetText(kIdButtons, kDefaultButtons);
  info.GetCharset();
  const double space = SpaceRequiredFor(read, static_cast<int64_t>(bytes.size()) << 4);
  FUZZ_CHECK(space >= 0);
  // A token read back from its scrambled form is the token.
  FUZZ_CHECK(UnscrambleToken(ScrambleToken(stored)) == stored);
  ResetChosenLangSection();

  // The agent copy: the image and lists behind a fresh trailer, which reads
  // back as a package with the same lists and no entries.
  const std::string copy = AgentCopyOf(source, walker.HeaderEnd(), trailer);
  if (!copy.empty()) {
    FUZZ_CHECK(static_cast<int64_t>(copy.size()) == walker.HeaderEnd() + kTrailerSize);
    TMemorySource copySource(copy);
    FUZZ_CHECK(ReadPackageEnd(copySource) == 0);
    PackageTrailer copyTrailer{};
    FUZZ_CHECK(ReadTrailer(copySource, copyTrailer));
    FUZZ_CHECK(copyTrailer.ThisIs_AutoUpdateProg == 1);
    FUZZ_CHECK(copyTrailer.TrailerLength == kTrailerSize);
    FUZZ_CHECK(copyTrailer.DataOffset == trailer.DataOffset);
    TRecorder copySeen(copyTrailer, BlockStreamEnd(copySource));
    TPackageWalker copyWalker;
    FUZZ_CHECK(copyWalker.WalkDisk(copySource, copyTrailer, "copy.exe", 1, copySeen) ==
               TDiskWalk::Done);
    FUZZ_CHECK(copySeen.entries.empty());
    // The lists come through unless they overlap the cleared PackageEnd
    // field (a launcher image always keeps its lists behind the headers).
    if (trailer.DataOffset >= kPackageEndOffset + 4) {
      for (int i = 0; i < 3; ++i) FUZZ_CHECK(copySeen.lists[i] == seen.lists[i]);
    }
  }
  return 0;
}
