// The one package walker shared by the launcher and the packager: spanned
// packages, damaged and truncated block streams, the checksum read in odd
// pieces, and the agent copy.
#include "package/walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "pack_test_support.h"
#include "package/format.h"

namespace {

// An entry's block as the packager writes it: header "|name|0|".
std::string Entry(const std::string& name, const std::string& content) {
  return EntryBlock("|" + name + "|0|", content);
}

std::string Disk(const std::vector<std::string>& blocks, bool first, bool another) {
  THandMadeDisk disk;
  disk.Blocks = blocks;
  disk.First = first;
  disk.Another = another;
  return HandMade(disk);
}

// Serves at most `piece` bytes per read and notes every read that asks
// for bytes outside the file.
class TCheckedSource : public TByteSource {
 public:
  explicit TCheckedSource(const std::string& bytes, size_t piece = SIZE_MAX)
      : bytes_(bytes), memory_(bytes), piece_(piece) {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t offset, void* data, size_t count) override {
    if (offset < 0 || offset + static_cast<int64_t>(count) > Size()) ++outside;
    if (failFrom >= 0 && offset + static_cast<int64_t>(count) > failFrom) return 0;
    return memory_.ReadAt(offset, data, std::min(count, piece_));
  }
  int outside = 0;
  int64_t failFrom = -1;  // reads reaching this offset fail

 private:
  const std::string& bytes_;
  TMemorySource memory_;
  size_t piece_;
};

struct TSeenEntry {
  int Disk = 0;
  int Number = 0;
  int64_t Offset = 0;
  std::string Name;
  std::string Content;
  std::string Error;
};

class TRecorder : public TPackageVisitor, public TEntrySink {
 public:
  void OnListPiece(int index, const uint8_t* data, size_t size) override {
    lists[index].append(reinterpret_cast<const char*>(data), size);
  }
  TEntrySink& OnEntryStart(const TEntryPlace& place) override {
    entries.push_back(
        TSeenEntry{place.DiskNumber, place.EntryNumber, place.BlockOffset, "", "", ""});
    return *this;
  }
  void OnHeader(const std::string& header) override {
    entries.back().Name = ParseEntryHeader(header).Name;
  }
  void OnContent(const uint8_t* data, size_t size) override {
    entries.back().Content.append(reinterpret_cast<const char*>(data), size);
  }
  bool OnEntryEnd(const TEntryPlace&, const TEntryInflater& inflater) override {
    if (inflater.State() == TEntryInflater::TState::Failed)
      entries.back().Error = inflater.ErrorText();
    return true;
  }
  std::map<int, std::string> lists;
  std::vector<TSeenEntry> entries;
};

PackageTrailer TrailerOf(const std::string& file) {
  TMemorySource source(file);
  PackageTrailer t{};
  EXPECT_TRUE(ReadTrailer(source, t));
  return t;
}

TEST(PackageWalker, WalksASpannedPackageDiskByDisk) {
  std::map<std::string, std::string> disks;
  disks["setup.exe"] = Disk({Entry("a.txt", "alpha"), Entry("b/c.txt", "beta")}, true, true);
  disks["setup.exe.002"] = Disk({Entry("a.txt", "+more")}, false, true);
  disks["setup.exe.003"] = Disk({Entry("d.txt", std::string(200000, 'd'))}, false, false);

  TPackageWalker walker;
  TRecorder seen;
  int disk = 1;
  for (std::string path = "setup.exe";; path = DiskFileName("setup.exe", ++disk)) {
    ASSERT_EQ(disks.count(path), 1u) << path;
    const PackageTrailer trailer = TrailerOf(disks[path]);
    TCheckedSource source(disks[path]);
    EXPECT_EQ(PackageChecksum(source, trailer.TrailerLength).Value, trailer.ExpectedCrc) << path;
    EXPECT_EQ(walker.WalkDisk(source, trailer, path, disk, seen), TDiskWalk::Done) << path;
    EXPECT_EQ(source.outside, 0) << path;
    if (!HasNextDisk(trailer)) break;
  }
  EXPECT_EQ(disk, 3);
  EXPECT_EQ(seen.lists[0], "\x02|lang|");
  EXPECT_EQ(seen.lists[1], "|info|");
  // The text lists of disk 1 end where its first entry starts.
  EXPECT_EQ(walker.HeaderEnd(), 1536 + 4 + 7 + 4 + 6);
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "a.txt"}, {1, "b\\c.txt"}, {2, "a.txt"}, {3, "d.txt"}};
  ASSERT_EQ(seen.entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(seen.entries[i].Disk, expected[i].first) << i;
    EXPECT_EQ(seen.entries[i].Number, static_cast<int>(i) + 1) << i;
    EXPECT_EQ(seen.entries[i].Name, expected[i].second) << i;
  }
  EXPECT_EQ(seen.entries[2].Content, "+more");
  EXPECT_EQ(seen.entries[3].Content, std::string(200000, 'd'));
  EXPECT_EQ(seen.entries[2].Offset, 4);  // behind the disk mark
  EXPECT_EQ(walker.EntryCount(), 4);
  EXPECT_TRUE(walker.Damage().Message.empty());
}

// Offsets in a disk 1 built from {good entry, second block}: the stub is
// 1536 bytes, the lists 11 and 10 bytes with their length fields.
constexpr int64_t kFirstEntry = 1536 + 11 + 10;

TEST(PackageWalker, ReportsDamageWhereItIs) {
  const std::string good = Entry("a.txt", "alpha");
  const int64_t secondBlock = kFirstEntry + 4 + static_cast<int64_t>(good.size());
  struct TCase {
    const char* what;
    int64_t patchAt;  // int32 written here (-1: none)
    int32_t patch;
    bool patchTrailerDataOffset;
    std::string secondBlock;
    int entries;  // started, the damaged one too
    int entryNumber;
    int64_t offset;
    std::string reason;
  };
  const TCase cases[] = {
      {"negative block length", secondBlock, -5, false, Entry("b", "x"), 1, 2, secondBlock,
       "Block length -5 out of range"},
      {"block past the package end", secondBlock, 1 << 20, false, Entry("b", "x"), 1, 2,
       secondBlock, "Block length 1048576 out of range"},
      {"text list past the end", 1536, 1 << 30, false, Entry("b", "x"), 0, 0, 1536,
       "Block length 1073741824 out of range"},
      {"entry that does not inflate", -1, 0, false, "not zlib at all", 2, 2, secondBlock,
       "zlib: data error (incorrect header check)"},
      {"truncated zlib stream", -1, 0, false, Entry("b", "xyz").substr(0, 6), 2, 2, secondBlock,
       "zlib: buffer error"},
      {"DataOffset past the end", -1, 1 << 20, true, Entry("b", "x"), 0, 0, 1 << 20,
       "Bad data offset"},
      {"negative DataOffset", -1, -1, true, Entry("b", "x"), 0, 0, -1, "Bad data offset"},
  };
  for (const TCase& c : cases) {
    std::string file = Disk({good, c.secondBlock}, true, false);
    PackageTrailer trailer = TrailerOf(file);
    if (c.patchAt >= 0) PutInt32(file, static_cast<size_t>(c.patchAt), c.patch);
    if (c.patchTrailerDataOffset) trailer.DataOffset = c.patch;
    TCheckedSource source(file);
    TPackageWalker walker;
    TRecorder seen;
    EXPECT_EQ(walker.WalkDisk(source, trailer, "setup.exe", 1, seen), TDiskWalk::Damaged) << c.what;
    EXPECT_EQ(source.outside, 0) << c.what;
    EXPECT_EQ(seen.entries.size(), static_cast<size_t>(c.entries)) << c.what;
    const TDamagedEntry& damage = walker.Damage();
    EXPECT_EQ(damage.DiskNumber, 1) << c.what;
    EXPECT_EQ(damage.EntryNumber, c.entryNumber) << c.what;
    EXPECT_EQ(damage.Offset, c.offset) << c.what;
    EXPECT_EQ(damage.Reason, c.reason) << c.what;
    EXPECT_EQ(damage.Message, DamagedEntryText("setup.exe", c.entryNumber, c.offset, c.reason))
        << c.what;
  }
}

TEST(PackageWalker, WithoutStoppingABadEntryIsHandedOnAndTheWalkGoesOn) {
  const std::string file =
      Disk({Entry("a.txt", "alpha"), "not zlib at all", Entry("c.txt", "gamma")}, true, false);
  TCheckedSource source(file);
  TWalkOptions options;
  options.StopAtBadEntry = false;
  TPackageWalker walker(options);
  TRecorder seen;
  EXPECT_EQ(walker.WalkDisk(source, TrailerOf(file), "setup.exe", 1, seen), TDiskWalk::Done);
  ASSERT_EQ(seen.entries.size(), 3u);
  EXPECT_EQ(seen.entries[1].Error, "data error (incorrect header check)");
  EXPECT_EQ(seen.entries[2].Content, "gamma");
  EXPECT_TRUE(walker.Damage().Message.empty());
}

TEST(PackageWalker, TruncatedFilesAreNeverReadPastTheirEnd) {
  // Random content does not shrink: the blocks are as long as their content.
  const std::string good = Entry("a.txt", RandomBytes(3000, 5));
  const std::string whole = Disk({good, Entry("b.txt", RandomBytes(500, 6))}, true, false);
  const int64_t secondBlock = kFirstEntry + 4 + static_cast<int64_t>(good.size());
  struct TCase {
    const char* what;
    int64_t cut;
    TDiskWalk walk;
    int entries;
    int64_t damageOffset;
  };
  const TCase cases[] = {
      {"inside the image", 1000, TDiskWalk::Damaged, 0, 1536},
      // Fewer bytes than a trailer's are left: no further block starts.
      {"just behind the text lists", kFirstEntry + 60, TDiskWalk::Done, 0, 0},
      {"inside the first entry", kFirstEntry + 100, TDiskWalk::Damaged, 0, kFirstEntry},
      {"inside a length field", secondBlock + 2, TDiskWalk::Done, 1, 0},
      {"inside the second entry", secondBlock + 100, TDiskWalk::Damaged, 1, secondBlock},
      {"inside the trailer", static_cast<int64_t>(whole.size()) - 10, TDiskWalk::Done, 2, 0},
  };
  const PackageTrailer trailer = TrailerOf(whole);
  for (const TCase& c : cases) {
    const std::string cut = whole.substr(0, static_cast<size_t>(c.cut));
    // A cut file's trailer is gone: it reads as no package at all.
    EXPECT_NE(TrailerOf(cut).PackageMagic, kPackageMagic) << c.what;
    // Walked with the trailer it had, every block is checked against the
    // file's real end before a byte of it is read.
    TCheckedSource source(cut);
    TPackageWalker walker;
    TRecorder seen;
    const TDiskWalk walk = walker.WalkDisk(source, trailer, "setup.exe", 1, seen);
    EXPECT_EQ(walk, c.walk) << c.what;
    EXPECT_EQ(source.outside, 0) << c.what;
    EXPECT_EQ(seen.entries.size(), static_cast<size_t>(c.entries)) << c.what;
    if (c.walk == TDiskWalk::Damaged) EXPECT_EQ(walker.Damage().Offset, c.damageOffset) << c.what;
  }
}

TEST(PackageChecksum, SameSumWhateverPiecesTheReadsReturn) {
  const std::string file = Disk({Entry("a.txt", RandomBytes(50000, 3))}, true, false);
  const uint32_t whole = CrcOfImage(file);
  for (size_t piece : {size_t{1}, size_t{3}, size_t{1001}, size_t{4096}, size_t{70000}}) {
    TCheckedSource source(file, piece);
    const TChecksum crc = PackageChecksum(source, kTrailerSize);
    EXPECT_TRUE(crc.Complete) << piece;
    EXPECT_EQ(crc.Value, whole) << piece;
    EXPECT_EQ(source.outside, 0) << piece;
  }
  TCheckedSource failing(file);
  failing.failFrom = 30000;
  const TChecksum partial = PackageChecksum(failing, kTrailerSize);
  EXPECT_FALSE(partial.Complete);
  EXPECT_NE(partial.Value, whole);
}

TEST(AgentCopy, KeepsImageAndListsAndMarksTheTrailer) {
  const std::string file = Disk({Entry("a.txt", "alpha")}, true, false);
  TPackageWalker walker;
  TRecorder seen;
  TMemorySource source(file);
  PackageTrailer trailer = TrailerOf(file);
  ASSERT_EQ(walker.WalkDisk(source, trailer, "setup.exe", 1, seen), TDiskWalk::Done);

  // The copy of a delta package's launcher is no delta: it has no entries.
  trailer.PackageFlags |= kFlagDeltaPackage;
  const std::string copy = AgentCopyOf(source, walker.HeaderEnd(), trailer);
  ASSERT_EQ(copy.size(), static_cast<size_t>(kFirstEntry + kTrailerSize));
  TMemorySource copySource(copy);
  EXPECT_EQ(ReadPackageEnd(copySource), 0);
  const PackageTrailer marked = TrailerOf(copy);
  EXPECT_EQ(marked.ThisIs_AutoUpdateProg, 1);
  EXPECT_EQ(marked.PackageMagic, kPackageMagic);
  EXPECT_EQ(marked.DataOffset, trailer.DataOffset);
  EXPECT_EQ(marked.PackageFlags, trailer.PackageFlags & ~kFlagDeltaPackage);
  // Image and lists are kept byte for byte apart from PackageEnd.
  EXPECT_EQ(copy.substr(0, kPackageEndOffset), file.substr(0, kPackageEndOffset));
  EXPECT_EQ(copy.substr(256, kFirstEntry - 256), file.substr(256, kFirstEntry - 256));
  // A walk that never reached the end of the image header makes no copy.
  EXPECT_EQ(AgentCopyOf(source, kPackageEndOffset + 3, trailer), "");

  struct TCase {
    std::string image;
    bool marked;
  };
  const TCase marks[] = {{"12345", false}, {"123456", true}, {file, true}};
  for (const TCase& c : marks) {
    std::string image = c.image;
    EXPECT_EQ(MarkAsAgentCopy(image), c.marked) << c.image.size();
    std::string expected = c.image;
    if (c.marked) expected[expected.size() - 5] = 1;
    EXPECT_EQ(image, expected) << c.image.size();
  }
  std::string whole = file;
  MarkAsAgentCopy(whole);
  EXPECT_EQ(TrailerOf(whole).ThisIs_AutoUpdateProg, 1);
}

}  // namespace
