// The packager's side of delta packages: patches from the delta encoder
// rebuild the new file through the launcher's own decoder, and a delta
// build carries exactly the changed and unchanged files as patches.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <map>

#include "pack/delta_encoder.h"
#include "pack/pack_reader.h"
#include "pack_test_support.h"
#include "patch_bytes.h"
#include "update/authenticity.h"

namespace {

// A program-like file: runs of 32-bit addresses and code-ish bytes.
std::string CodeLike(size_t words, uint32_t seed, uint32_t addressShift = 0) {
  std::mt19937 random(seed);
  std::string out;
  for (size_t i = 0; i < words; ++i) {
    if (i % 3 == 0) {
      out += "\xE8";
      out += Int32Bytes(static_cast<int32_t>(0x401000 + (random() % 4096) * 16 + addressShift));
    } else {
      out += RandomBytes(random, 3, 16);
    }
  }
  return out;
}

std::string WithEdits(std::string bytes, int edits, uint32_t seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < edits && !bytes.empty(); ++i) {
    const size_t at = random() % bytes.size();
    switch (random() % 3) {
      case 0:
        bytes[at] = static_cast<char>(random());
        break;
      case 1:
        bytes.insert(at, RandomBytes(random, 1 + random() % 40));
        break;
      default:
        bytes.erase(at, 1 + random() % 40);
    }
  }
  return bytes;
}

std::string HashAt(const std::string& patch, size_t offset) {
  TSha256 hash = {};
  std::memcpy(hash.data(), patch.data() + offset, hash.size());
  return Sha256Hex(hash);
}

size_t Zlib9Size(const std::string& bytes) { return Deflated(bytes).size(); }

struct TPatchCase {
  const char* Name;
  std::string Old;
  std::string New;
};

std::vector<TPatchCase> PatchCases() {
  const std::string data = RandomBytes(50000, 1);
  const std::string code = CodeLike(20000, 2);
  return {
      {"empty to empty", "", ""},
      {"empty to data", "", RandomBytes(3000, 3)},
      {"data to empty", data, ""},
      {"identical", data, data},
      {"appended", data, data + RandomBytes(777, 4)},
      {"truncated", data, data.substr(0, 31234)},
      {"random edits", data, WithEdits(data, 60, 5)},
      {"one byte, same", "a", "a"},
      {"one byte, other", "a", "b"},
      {"one byte to data", "x", data.substr(0, 100)},
      {"text to one byte", "some old text", "z"},
      {"shifted addresses after an insert", code,
       code.substr(0, 9000) + RandomBytes(300, 6) + CodeLike(20000, 2, 0x140).substr(9000)},
      {"moved blocks", data, data.substr(25000) + data.substr(0, 25000)},
  };
}

TEST(DeltaEncoder, PatchesRebuildTheNewFileThroughTheDecoder) {
  for (const TPatchCase& c : PatchCases()) {
    std::string patch;
    ASSERT_EQ(MakePatch(c.Old, c.New, patch), "") << c.Name;
    for (size_t piece : {size_t{1}, size_t{7}, size_t{65536}}) {
      TMemoryPatchTarget target;
      target.old = c.Old;
      std::string error;
      EXPECT_EQ(ApplyPatch(target, patch, piece, &error), TPatchState::Done)
          << c.Name << ", pieces of " << piece << ": " << error;
      EXPECT_TRUE(target.written == c.New) << c.Name << ", pieces of " << piece;
    }
    TMemoryPatchTarget headerOnly;
    TPatchDecoder decoder(headerOnly);
    decoder.Feed(reinterpret_cast<const uint8_t*>(patch.data()), kPatchHeaderSize);
    EXPECT_EQ(decoder.Header().OldSize, c.Old.size()) << c.Name;
    EXPECT_EQ(decoder.Header().NewSize, c.New.size()) << c.Name;
  }
}

TEST(DeltaEncoder, HeaderNamesBothFilesByTheirSha256) {
  std::string patch;
  ASSERT_EQ(MakePatch("abc", "", patch), "");
  // SHA-256 of "abc" and of nothing.
  EXPECT_EQ(HashAt(patch, 20), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HashAt(patch, 52), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(DeltaEncoder, UnchangedFileIsOneCopyOfOneGap) {
  for (size_t size : {size_t{1}, size_t{300}, size_t{200000}}) {
    const std::string data = RandomBytes(size, 9);
    std::string patch;
    ASSERT_EQ(MakePatch(data, data, patch), "");
    std::string record;
    PutNumber(record, size);           // copy
    record += std::string("\0\0", 2);  // no extra, no seek
    PutNumber(record, size);           // one gap of the whole copy
    EXPECT_EQ(patch.substr(kPatchHeaderSize), record) << size;
  }
}

TEST(DeltaEncoder, SimilarFilesGiveSmallPatches) {
  const std::string data = RandomBytes(200000, 10);
  const std::string code = CodeLike(60000, 11);
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {data, WithEdits(data, 40, 12)},
      // Code after an insert: every address moved by the same amount.
      {code, code.substr(0, 1000) + RandomBytes(64, 13) + CodeLike(60000, 11, 0x40).substr(1000)},
  };
  for (const auto& pair : pairs) {
    std::string patch;
    ASSERT_EQ(MakePatch(pair.first, pair.second, patch), "");
    EXPECT_LT(Zlib9Size(patch) * 20, Zlib9Size(pair.second))
        << "patch " << Zlib9Size(patch) << " of a file of " << Zlib9Size(pair.second);
  }
}

TEST(DeltaEncoder, BothSuffixSortsOrderEverySuffix) {
  for (const std::string& text : {std::string("banana"), std::string(1000, 'a'),
                                  RandomBytes(5000, 14), CodeLike(3000, 15), std::string("z")}) {
    std::vector<int32_t> suffixes(text.size());
    SuffixSort(text, suffixes.data());
    for (size_t i = 1; i < suffixes.size(); ++i) {
      ASSERT_LT(text.compare(suffixes[i - 1], std::string::npos, text, suffixes[i]), 0)
          << "at " << i << " of " << text.size();
    }
    std::vector<int32_t> plain(text.size());
    PlainSuffixSort(text, plain.data());
    EXPECT_EQ(plain, suffixes) << "the Windows packager's sort, " << text.size() << " bytes";
  }
}

class DeltaPack : public TScratchFolderTest {
 protected:
  void SetUp() override {
    WriteAll(Path("Stub.exe"), FakeStub(1536, 21));
    ASSERT_EQ(std::system(("mkdir -p '" + Path("old/bin") + "' '" + Path("new/BIN") + "'").c_str()),
              0);
    files_ = {
        {"Setup.exe", RandomBytes(40000, 22), RandomBytes(40000, 22)},                   // same
        {"BIN\\tool.dll", CodeLike(30000, 23), WithEdits(CodeLike(30000, 23), 20, 24)},  // changed
        {"readme.txt", "", "new in this release\n"},                                     // new
        {"gone.txt", "only the old release has it\n", ""},                               // removed
    };
    WriteAll(Path("old/Setup.exe"), files_[0].Old);
    WriteAll(Path("new/Setup.exe"), files_[0].New);
    // The older release spells the folder and the file in other cases.
    WriteAll(Path("old/bin/TOOL.dll"), files_[1].Old);
    WriteAll(Path("new/BIN/tool.dll"), files_[1].New);
    WriteAll(Path("new/readme.txt"), files_[2].New);
    WriteAll(Path("old/gone.txt"), files_[3].Old);
  }

  TRun Build(const std::string& extra = "") {
    return Pack("build --quiet --stub " + Path("Stub.exe") + " --folder " + Path("new") +
                " --delta-from " + Path("old") + " --main 'Setup.exe* /S' --output " +
                Path("delta.exe") + " " + extra);
  }

  std::map<std::string, TPackEntry> Entries(const std::string& package, TPackageReport& report) {
    std::map<std::string, TPackEntry> entries;
    EXPECT_EQ(WalkPackage(package, report,
                          [&](const TPackEntry& entry) {
                            entries[entry.Name] = entry;
                            return std::string();
                          }),
              "");
    return entries;
  }

  std::vector<TPatchCase> files_;
};

TEST_F(DeltaPack, CarriesChangedAndUnchangedFilesAsPatches) {
  const TRun build = Build();
  ASSERT_EQ(build.ExitCode, 0) << build.Output;
  TPackageReport report;
  const auto entries = Entries(Path("delta.exe"), report);
  ASSERT_EQ(report.Disks.size(), 1u);
  EXPECT_EQ(report.Disks[0].Trailer.PackageFlags & kFlagDeltaPackage, kFlagDeltaPackage);
  ASSERT_EQ(entries.size(), 3u) << "a file only the old release has is not carried";
  EXPECT_EQ(report.Disks[0].Trailer.FilesCount, 3);
  EXPECT_FALSE(entries.at("readme.txt").IsPatch);
  EXPECT_EQ(entries.at("readme.txt").Content, files_[2].New);
  EXPECT_EQ(entries.at("Setup.exe").MainProgram, "Setup.exe* /S");
  for (int i : {0, 1}) {
    const TPackEntry& entry = entries.at(files_[i].Name);
    EXPECT_TRUE(entry.IsPatch) << entry.Header;
    EXPECT_NE(entry.Header.find("|patch|"), std::string::npos) << entry.Header;
    TMemoryPatchTarget target;
    target.old = files_[i].Old;
    std::string error;
    EXPECT_EQ(ApplyPatch(target, entry.Content, 4096, &error), TPatchState::Done) << error;
    EXPECT_TRUE(target.written == files_[i].New) << files_[i].Name;
  }

  const TRun list = Pack("list " + Path("delta.exe"));
  EXPECT_EQ(list.ExitCode, 0) << list.Output;
  EXPECT_NE(list.Output.find("Delta package"), std::string::npos) << list.Output;
  EXPECT_NE(list.Output.find("Setup.exe* /S]  [patch 40000 -> 40000 bytes]"), std::string::npos)
      << list.Output;
  EXPECT_NE(list.Output.find("BIN\\tool.dll  [patch " + std::to_string(files_[1].Old.size()) +
                             " -> " + std::to_string(files_[1].New.size()) + " bytes]"),
            std::string::npos)
      << list.Output;
  const TRun verify = Pack("verify " + Path("delta.exe"));
  EXPECT_EQ(verify.ExitCode, 0) << verify.Output;
  EXPECT_NE(verify.Output.find("delta package with 2 patch(es)"), std::string::npos)
      << verify.Output;
}

TEST_F(DeltaPack, PatchesNeverSplitAndThePackageIgnoresTheThreadCount) {
  ASSERT_EQ(Build("--threads 1 --piece-size 1K").ExitCode, 0);
  const std::string one = ReadAll(Path("delta.exe"));
  ASSERT_EQ(Build("--threads 3 --piece-size 1K").ExitCode, 0);
  EXPECT_TRUE(ReadAll(Path("delta.exe")) == one);
  TPackageReport report;
  Entries(Path("delta.exe"), report);
  EXPECT_EQ(report.EntryCount, 3) << "each patch is one entry, whatever the piece size";
}

TEST_F(DeltaPack, VerifyRunsEveryPatchThroughTheDecoder) {
  std::string good;
  ASSERT_EQ(MakePatch("old bytes", "new bytes!", good), "");
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {good.substr(0, good.size() - 1), "patch ends early"},
      {good + "x", "data behind the end"},
      {"OVP0" + good.substr(4), "not a patch"},
      {PatchHead(4, 4) + PatchRecord(5, "\x05", "", 0), "copy beyond a file"},
      {PatchHead(4, 8) + PatchRecord(4, "\x04", "abcd", 1), "seek beyond the old file"},
  };
  for (const auto& d : damaged) {
    THandMadeDisk disk;
    disk.Blocks = {EntryBlock("|a.bin|0|", "whole"), EntryBlock("|b.bin|0|patch|", d.first)};
    disk.Tweak = [](PackageTrailer& t) { t.PackageFlags = kFlagDeltaPackage; };
    WriteAll(Path("bad.exe"), HandMade(disk));
    const TRun verify = Pack("verify " + Path("bad.exe"));
    EXPECT_EQ(verify.ExitCode, 1) << d.second;
    EXPECT_NE(verify.Output.find("patch of b.bin"), std::string::npos) << verify.Output;
    EXPECT_NE(verify.Output.find(d.second), std::string::npos) << verify.Output;
    EXPECT_NE(Pack("list " + Path("bad.exe")).Output.find("DAMAGED: " + d.second),
              std::string::npos)
        << d.second;
  }
}

TEST_F(DeltaPack, MissingOldFolderIsRefused) {
  const TRun run = Pack("build --quiet --stub " + Path("Stub.exe") + " --folder " + Path("new") +
                        " --delta-from " + Path("nowhere") + " --output " + Path("delta.exe"));
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("nowhere"), std::string::npos) << run.Output;
  EXPECT_FALSE(Exists(Path("delta.exe")));
}

}  // namespace
