#include "package/patch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bytes.h"
#include "patch_bytes.h"

namespace {

struct TRebuildCase {
  const char* name;
  std::string old;
  std::string patch;
  std::string expected;
};

std::vector<TRebuildCase> RebuildCases() {
  const std::string old = RandomBytes(200000, 7);  // wider than one read of the old file
  std::string edited = old;
  std::mt19937 random(9);
  for (int i = 0; i < 300; ++i)
    edited[random() % edited.size()] ^= static_cast<char>(1 + random() % 255);
  // Moved blocks: the second half first, read backwards over the buffer.
  const std::string half = old.substr(100000);
  const std::string swapped = half + "new" + old.substr(0, 100000);
  return {
      {"empty", "", PatchHead(0, 0), ""},
      {"empty-from-old", old, PatchHead(old.size(), 0), ""},
      {"identical", old,
       PatchHead(old.size(), old.size()) + PatchRecord(old.size(), CopyPairs(old, old), "", 0),
       old},
      {"appended", "abc", PatchHead(3, 6) + PatchRecord(3, CopyPairs("abc", "abc"), "xyz", 0),
       "abcxyz"},
      {"truncated", old,
       PatchHead(old.size(), 500) +
           PatchRecord(500, CopyPairs(old.substr(0, 500), old.substr(0, 500)), "", 0),
       old.substr(0, 500)},
      {"random-edits", old,
       PatchHead(old.size(), old.size()) + PatchRecord(old.size(), CopyPairs(old, edited), "", 0),
       edited},
      {"one-byte", "A", PatchHead(1, 1) + PatchRecord(1, CopyPairs("A", "B"), "", 0), "B"},
      {"last-byte-differs", "abcd",
       PatchHead(4, 4) + PatchRecord(4, CopyPairs("abcd", "abcD"), "", 0), "abcD"},
      {"whole-from-extra", "old", PatchHead(3, 4) + PatchRecord(0, "", "new!", 0), "new!"},
      {"moved-blocks", old,
       PatchHead(old.size(), swapped.size()) + PatchRecord(0, "", "", 100000) +
           PatchRecord(100000, CopyPairs(half, half), "new", -200000) +
           PatchRecord(100000, CopyPairs(half, half), "", 0),
       swapped},
      {"empty-records-between", "ab",
       PatchHead(2, 2) + PatchRecord(0, "", "", 1) + PatchRecord(1, CopyPairs("b", "b"), "", -2) +
           PatchRecord(1, CopyPairs("a", "a"), "", 0),
       "ba"},
  };
}

TEST(PatchDecoder, RebuildsTheNewFileInAnyPieces) {
  for (const TRebuildCase& c : RebuildCases()) {
    for (size_t piece : {size_t(1), size_t(7), size_t(1) << 20}) {
      TMemoryPatchTarget target;
      target.old = c.old;
      std::string error;
      EXPECT_EQ(ApplyPatch(target, c.patch, piece, &error), TPatchState::Done)
          << c.name << " piece " << piece << ": " << error;
      EXPECT_TRUE(target.written == c.expected) << c.name << " piece " << piece;
    }
  }
}

TEST(PatchDecoder, ReadsTheOldFileInBoundedPieces) {
  // An unchanged file of 1 MB: a single number after the header, and the old
  // file read in 16 pieces, never whole.
  const std::string old(1 << 20, 'q');
  TMemoryPatchTarget target;
  target.old = old;
  const std::string patch =
      PatchHead(old.size(), old.size()) + PatchRecord(old.size(), CopyPairs(old, old), "", 0);
  EXPECT_LT(patch.size(), kPatchHeaderSize + 12);
  EXPECT_EQ(ApplyPatch(target, patch), TPatchState::Done);
  EXPECT_EQ(target.reads, 16);
  EXPECT_TRUE(target.written == old);
}

TEST(PatchDecoder, ReadsSizesBeyondFourGigabytes) {
  const uint64_t fiveGb = 5ull << 30;
  TMemoryPatchTarget target;
  target.old = "small";
  TPatchDecoder decoder(target);
  const std::string head = PatchHead(fiveGb, fiveGb + 1);
  decoder.Feed(reinterpret_cast<const uint8_t*>(head.data()), head.size());
  EXPECT_EQ(decoder.Header().OldSize, fiveGb);
  EXPECT_EQ(decoder.Header().NewSize, fiveGb + 1);
  EXPECT_EQ(decoder.Finish(), TPatchState::Failed);
  EXPECT_STREQ(decoder.Error(), "patch ends early");
}

struct TDamageCase {
  const char* name;
  std::string patch;
  const char* error;
};

TEST(PatchDecoder, RefusesDamagedPatches) {
  const std::string old = "0123456789";
  const std::string head = PatchHead(10, 10);
  std::string overlong;
  for (int i = 0; i < 10; ++i) overlong += '\xFF';
  const TDamageCase cases[] = {
      {"no bytes", "", "patch ends early"},
      {"short header", head.substr(0, 40), "patch ends early"},
      {"other magic", "OVP2" + head.substr(4), "not a patch"},
      {"no records", head, "patch ends early"},
      {"record cut", head + PatchRecord(10, CopyPairs(old, old), "", 0).substr(0, 2),
       "patch ends early"},
      {"copy past the old file", PatchHead(10, 20) + PatchRecord(11, "\x0b", "", 0),
       "copy beyond a file"},
      {"copy past the new file", PatchHead(10, 5) + PatchRecord(6, "\x06", "", 0),
       "copy beyond a file"},
      {"copy of 4 GB and more", PatchHead(10, 10) + PatchRecord((1ull << 32) + 1, "", "", 0),
       "copy beyond a file"},
      {"extra past the new file", head + PatchRecord(5, "\x05", "123456", 0),
       "extra beyond the new file"},
      {"seek before the old file",
       PatchHead(10, 4) + PatchRecord(2, "\x02", "", -3) + PatchRecord(2, "\x02", "", 0),
       "seek beyond the old file"},
      {"seek past the old file",
       PatchHead(10, 4) + PatchRecord(0, "", "ab", 11) + PatchRecord(2, "\x02", "", 0),
       "seek beyond the old file"},
      {"gap past the copy", head + PatchRecord(10, "\x0b", "", 0), "gap beyond the copy"},
      {"number too long", head + overlong + "\x01", "number too long"},
      {"data behind the end", head + PatchRecord(10, CopyPairs(old, old), "", 0) + "x",
       "data behind the end"},
  };
  for (const TDamageCase& c : cases) {
    TMemoryPatchTarget target;
    target.old = old;
    std::string error;
    EXPECT_EQ(ApplyPatch(target, c.patch, 1 << 20, &error), TPatchState::Failed) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST(PatchDecoder, StopsWhereTheTargetFails) {
  const std::string old = "0123456789";
  const std::string patch = PatchHead(10, 10) + PatchRecord(10, CopyPairs(old, old), "", 0);
  const struct {
    bool refuse, failRead, failWrite;
    const char* error;
  } cases[] = {
      {true, false, false, "old file differs"},
      {false, true, false, "old file unreadable"},
      {false, false, true, "new file unwritable"},
  };
  for (const auto& c : cases) {
    TMemoryPatchTarget target;
    target.old = old;
    target.refuse = c.refuse;
    target.failRead = c.failRead;
    target.failWrite = c.failWrite;
    std::string error;
    EXPECT_EQ(ApplyPatch(target, patch, 1 << 20, &error), TPatchState::Failed) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
