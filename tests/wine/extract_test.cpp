// The extraction engine on real packages: built in-process, either by the
// packager's writer or, for damaged and hostile layouts, block by block
// here. Message boxes are answered from a second thread the way a user
// would: find the "OMsgBox" window, read its text, click a button.
#include "package/extract.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "box_answerer.h"
// After windows.h, whose types it uses.
#include <psapi.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bytes.h"
#include "files/file_date.h"
#include "files/file_ops.h"
#include "pack/package_writer.h"
#include "package/format.h"
#include "package/setup_folder.h"
#include "scratch.h"
#include "util/text.h"

namespace {

const char kPrompt[] = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
const char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

// A scratch folder with the extraction's target inside it.
struct TTargetScratch : TScratch {
  const std::string target = Path("target");
};

// The launcher image of the packages; the writer sets PackageEnd.
std::string StubImage() { return FakeStub(1024, 99); }

// ---- Packages built block by block ----------------------------------------------

// An entry's block, framed.
std::string Entry(const std::string& header, const std::string& content) {
  return Block(EntryBlock(header, content));
}

// Image, the two text lists, `blocks` as given (already framed), trailer
// with a matching checksum; `tweak` may change the trailer before the
// checksum is taken.
std::string RawPackage(const std::string& blocks, int32_t filesCount,
                       const std::function<void(PackageTrailer&)>& tweak = nullptr) {
  THandMadeDisk disk;
  disk.Stream = blocks;
  disk.FilesCount = filesCount;
  disk.LangTexts = "\x02";
  disk.InfoList = "|loc|u.info|Updater.exe|token|0|";
  disk.StubSize = 1024;
  disk.StubSeed = 99;
  disk.Tweak = tweak;
  return HandMade(disk);
}

// ---- Progress and message boxes ------------------------------------------------

std::vector<std::pair<int, int>> progressCalls;  // (kind, range maximum)

void RecordProgress(int kind, int rangeMin, int rangeMax, int position, int step,
                    const std::string& text) {
  EXPECT_EQ(0, rangeMin);
  EXPECT_EQ(0, position);
  EXPECT_EQ(1, step);
  EXPECT_TRUE(text.empty());
  progressCalls.emplace_back(kind, rangeMax);
}

int StepCount() {
  int steps = 0;
  for (const auto& call : progressCalls) steps += call.first == 1;
  return steps;
}

struct TRun {
  TDamagedEntry damage;
  bool checksumOk = false;
  std::string mainProgram;
};

TRun Extract(const std::string& package, const std::string& target, bool forcePrompt = false,
             const std::string& autoUpdateProgName = "") {
  progressCalls.clear();
  TExtractRequest request;
  request.PackagePath = package;
  request.TargetFolder = target;
  request.AutoUpdateProgName = autoUpdateProgName;
  request.Progress = RecordProgress;
  request.DiskPromptText = kPrompt;
  request.DiskPromptCaption = "Attention";
  request.ButtonTexts = kButtons;
  request.ForcePrompt = forcePrompt;
  const TExtractResult result = ExtractPackage(request);
  return {result.Damage, result.ChecksumOk, result.MainProgram};
}

// ---- A 300 MB entry in bounded memory ------------------------------------------

using TGetMemoryInfo = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

SIZE_T PeakWorkingSet() {
  // Looked up by name: kernel32 exports it from Windows 7 on, and the
  // launcher's own build targets older systems.
  const auto get = reinterpret_cast<TGetMemoryInfo>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (get == nullptr || !get(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

// `total` bytes repeating a 1000-byte pattern, deflated piece by piece.
std::string DeflatedRepeats(const std::string& header, const std::string& pattern, int64_t total) {
  z_stream z{};
  deflateInit(&z, 1);
  std::string out;
  std::string chunk;
  while (chunk.size() < (1u << 20)) chunk += pattern;
  chunk.resize(1u << 20);
  std::string input = header + std::string(1, '\0');
  std::vector<char> buffer(1 << 16);
  auto pump = [&](const std::string& data, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  };
  pump(input, Z_NO_FLUSH);
  for (int64_t done = 0; done < total; done += int64_t(chunk.size())) {
    // Whole chunks of 1 MiB, so every chunk starts the pattern anew.
    pump(chunk, done + int64_t(chunk.size()) >= total ? Z_FINISH : Z_NO_FLUSH);
  }
  deflateEnd(&z);
  return out;
}

// First on purpose: the peak working set counts from the start of the
// process, so nothing large may have run before.
TEST(ExtractPackage, HugeEntryStreamsInBoundedMemory) {
  TTargetScratch scratch;
  const int64_t total = 300ll << 20;
  const std::string pattern = RandomBytes(1000, 5);
  const std::string package = scratch.Path("big.exe");
  ASSERT_TRUE(
      WriteAll(package, RawPackage(Block(DeflatedRepeats("|big.bin|0|", pattern, total)), 1)));

  const SIZE_T before = PeakWorkingSet();
  const TRun run = Extract(package, scratch.target);
  const SIZE_T peak = PeakWorkingSet();
  ASSERT_TRUE(run.checksumOk);
  ASSERT_TRUE(run.damage.Message.empty()) << run.damage.Message;
  std::printf("peak working set: %.1f MB before, %.1f MB after the 300 MB entry\n",
              before / 1048576.0, peak / 1048576.0);
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, SIZE_T(32) << 20);

  const std::string out = scratch.target + "\\big.bin";
  ASSERT_EQ(total, FileSizeOf(out));
  // Spot checks: the start, a chunk boundary, the end.
  std::string expectedChunk;
  while (expectedChunk.size() < (1u << 20)) expectedChunk += pattern;
  expectedChunk.resize(1u << 20);
  for (int64_t at : {int64_t(0), int64_t(150) << 20, total - (int64_t(1) << 20)}) {
    EXPECT_TRUE(ReadFilePart(out, at, 1 << 20) == expectedChunk) << at;
  }
}

TEST(ExtractPackage, WritesFilesDatesAndMainProgram) {
  TTargetScratch scratch;
  TPackageDescription description;
  description.StubImage = StubImage();
  const uint32_t stamp = PackDosDateTime(2019, 6, 15, 10, 30, 20);
  description.Files = {{"Setup.exe", "", "setup program", stamp},
                       {"readme.txt", "", RandomBytes(70000, 1), stamp},
                       {"empty.dat", "", "", stamp}};
  description.MainProgram = "Setup.exe* /S";
  const std::string package = scratch.Path("setup.exe");
  ASSERT_EQ("", WritePackage(description, package));

  TBoxAnswerer boxes;
  const TRun run = Extract(package, scratch.target + "\\deeper\\still");
  const std::string target = scratch.target + "\\deeper\\still";
  EXPECT_TRUE(run.checksumOk);
  EXPECT_TRUE(run.damage.Message.empty());
  EXPECT_EQ("Setup.exe* /S", run.mainProgram);
  EXPECT_EQ("setup program", ReadAll(target + "\\Setup.exe"));
  EXPECT_EQ(description.Files[1].Content, ReadAll(target + "\\readme.txt"));
  EXPECT_TRUE(Exists(target + "\\empty.dat"));
  EXPECT_EQ(0, FileSizeOf(target + "\\empty.dat"));
  EXPECT_EQ(static_cast<int32_t>(stamp), FileDosDateTime(target + "\\readme.txt"));
  // No auto-update copy without a name.
  EXPECT_FALSE(Exists(target + "\\Updater.exe"));
  const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 3}, {1, 0}, {1, 0}, {1, 0}};
  EXPECT_EQ(expected, progressCalls);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(ExtractPackage, SameNameEntriesAppendAndCountOnce) {
  TTargetScratch scratch;
  const std::string blocks = Entry("|app.exe*|0|", "APP") + Entry("|log.txt|0|", "one,") +
                             Entry("|log.txt|0|", "two,") + Entry("|old.txt|0|", "new");
  const std::string package = scratch.Path("setup.exe");
  ASSERT_TRUE(WriteAll(package, RawPackage(blocks, 3)));
  ForceDirectories(scratch.target);
  ASSERT_TRUE(WriteAll(scratch.target + "\\old.txt", "old,"));

  const TRun run = Extract(package, scratch.target);
  EXPECT_EQ("app.exe*", run.mainProgram);
  EXPECT_EQ("APP", ReadAll(scratch.target + "\\app.exe"));
  EXPECT_EQ("one,two,", ReadAll(scratch.target + "\\log.txt"));
  EXPECT_EQ("old,new", ReadAll(scratch.target + "\\old.txt"));
  // app.exe and log.txt are new; the second log.txt and old.txt are not.
  EXPECT_EQ(2, StepCount());

  // The writer's pieces of one large file come back as one file.
  TPackageDescription description;
  description.StubImage = StubImage();
  description.PieceSize = 4096;
  description.Files = {{"big.bin", "", RandomBytes(50000, 3), 0}};
  const std::string pieces = scratch.Path("pieces.exe");
  TPackResult packed;
  ASSERT_EQ("", WritePackage(description, pieces, &packed));
  ASSERT_GT(packed.EntryCount, 10);
  Extract(pieces, scratch.target + "\\p");
  EXPECT_TRUE(description.Files[0].Content == ReadAll(scratch.target + "\\p\\big.bin"));
  EXPECT_EQ(1, StepCount());
}

TEST(ExtractPackage, SubfoldersAreCreatedInsideTheTarget) {
  TTargetScratch scratch;
  const std::string blocks = Entry("|data\\a.bin|0|", "A") + Entry("|data/sub/b.bin|0|", "B") +
                             Entry("|data\\sub\\deeper\\c.bin|0|", "C");
  const std::string package = scratch.Path("setup.exe");
  ASSERT_TRUE(WriteAll(package, RawPackage(blocks, 3)));
  const TRun run = Extract(package, scratch.target);
  EXPECT_TRUE(run.damage.Message.empty());
  EXPECT_EQ("A", ReadAll(scratch.target + "\\data\\a.bin"));
  EXPECT_EQ("B", ReadAll(scratch.target + "\\data\\sub\\b.bin"));
  EXPECT_EQ("C", ReadAll(scratch.target + "\\data\\sub\\deeper\\c.bin"));
}

// The only case of this program that fails writes: the process shows the
// box for its first failure only.
TEST(ExtractPackage, UnsafeNamesAreRefusedWithOneBox) {
  TTargetScratch scratch;
  ASSERT_EQ(0, FailedWriteCount());
  const std::string blocks =
      Entry("|..\\evil1.txt|0|", "x") + Entry("|ok.txt|0|", "fine") +
      Entry("|" + scratch.Root() + "\\evil2.txt|0|", "x") + Entry("|\\evil3.txt|0|", "x") +
      Entry("|data\\..\\..\\evil4.txt|0|", "x") + Entry("|..\\evil5.exe*|0|", "x");
  const std::string package = scratch.Path("setup.exe");
  ASSERT_TRUE(WriteAll(package, RawPackage(blocks, 6)));

  TRun run;
  std::vector<std::string> texts;
  {
    TBoxAnswerer boxes;
    run = Extract(package, scratch.target);
    texts = boxes.Texts();
  }
  EXPECT_TRUE(run.damage.Message.empty());
  EXPECT_EQ("fine", ReadAll(scratch.target + "\\ok.txt"));
  for (const char* name : {"evil1.txt", "evil2.txt", "evil4.txt", "evil5.exe"}) {
    EXPECT_FALSE(Exists(scratch.Root() + "\\" + name)) << name;
  }
  EXPECT_FALSE(Exists(scratch.target.substr(0, 2) + "\\evil3.txt"));
  // A refused entry never names the main program.
  EXPECT_EQ("", run.mainProgram);
  EXPECT_EQ(5, FailedWriteCount());
  ASSERT_EQ(1u, texts.size());
  EXPECT_NE(std::string::npos, texts[0].find("..\\evil1.txt")) << texts[0];
  EXPECT_NE(std::string::npos, texts[0].find("Unable to save Extracted File!")) << texts[0];

  // Later failures are silent.
  {
    TBoxAnswerer boxes;
    Extract(package, scratch.target);
    EXPECT_TRUE(boxes.Texts().empty());
  }
  EXPECT_EQ(10, FailedWriteCount());
}

TEST(ExtractPackage, DamagedEntryStopsAndIsReported) {
  TTargetScratch scratch;
  std::string damaged = EntryBlock("|b.bin|0|", RandomBytes(100000, 4));
  damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x5A);
  damaged[damaged.size() / 2 + 1] = static_cast<char>(damaged[damaged.size() / 2 + 1] ^ 0xA5);
  const std::string first = Entry("|a.exe*|0|", "main");
  const std::string package = scratch.Path("setup.exe");
  ASSERT_TRUE(
      WriteAll(package, RawPackage(first + Block(damaged) + Entry("|c.bin|0|", "after"), 3)));

  TBoxAnswerer boxes;
  const TRun run = Extract(package, scratch.target);
  EXPECT_TRUE(run.checksumOk);
  EXPECT_EQ("", run.mainProgram);
  EXPECT_EQ(1, run.damage.DiskNumber);
  EXPECT_EQ(2, run.damage.EntryNumber);
  EXPECT_EQ(1024 + 4 + 1 + 4 + 32 + int64_t(first.size()), run.damage.Offset);
  EXPECT_NE(std::string::npos, run.damage.Reason.find("data error")) << run.damage.Reason;
  EXPECT_NE(std::string::npos, run.damage.Message.find("Damaged entry 2")) << run.damage.Message;
  EXPECT_EQ("main", ReadAll(scratch.target + "\\a.exe"));
  EXPECT_FALSE(Exists(scratch.target + "\\c.bin"));
  // The engine reports; the driver shows.
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ("", run.mainProgram);
}

TEST(ExtractPackage, HostileLayoutsEndWithoutCrashOrHang) {
  struct Case {
    const char* what;
    std::string blocks;
    std::function<void(PackageTrailer&)> tweak;
    const char* reason;  // nullptr: no damage expected
  };
  const std::string good = Entry("|a.txt|0|", "a");
  const Case cases[] = {
      {"negative block length", good + Int32Bytes(-5) + std::string(100, 'x'), nullptr,
       "Block length -5 out of range"},
      {"block past the end", good + Int32Bytes(1 << 30) + std::string(100, 'x'), nullptr,
       "Block length 1073741824 out of range"},
      {"truncated stream", good + Block(EntryBlock("|b|0|", RandomBytes(5000, 6)).substr(0, 100)),
       nullptr, "zlib: buffer error"},
      {"not zlib", good + Block("plain text, not a zlib stream"), nullptr,
       "zlib: data error (incorrect header check)"},
      {"negative DataOffset", good, [](PackageTrailer& t) { t.DataOffset = -100; },
       "Bad data offset"},
      {"DataOffset past the end", good, [](PackageTrailer& t) { t.DataOffset = 0x7FFFFFFF; },
       "Bad data offset"},
      {"DataOffset at the trailer", good,
       [&good](PackageTrailer& t) { t.DataOffset = int32_t(1024 + 41 + good.size()); }, nullptr},
      {"huge header block count", good, [](PackageTrailer& t) { t.HeaderBlockCount = 255; },
       nullptr},
  };
  for (const Case& c : cases) {
    TTargetScratch scratch;
    const std::string package = scratch.Path("setup.exe");
    ASSERT_TRUE(WriteAll(package, RawPackage(c.blocks, 2, c.tweak)));
    const DWORD started = GetTickCount();
    const TRun run = Extract(package, scratch.target);
    EXPECT_LT(GetTickCount() - started, 10000u) << c.what;
    EXPECT_TRUE(run.checksumOk) << c.what;
    if (c.reason == nullptr) {
      EXPECT_EQ("", run.damage.Message) << c.what;
    } else {
      EXPECT_EQ(c.reason, run.damage.Reason) << c.what;
    }
  }
}

// ---- Spanned packages ---------------------------------------------------------------

struct TSpanned {
  TTargetScratch scratch;
  TPackageDescription description;
  std::string package = scratch.Path("setup.exe");
  TPackResult packed;
};

void BuildSpanned(TSpanned& spanned) {
  spanned.description.StubImage = StubImage();
  spanned.description.DiskSize = 12000;
  spanned.description.Files = {{"Setup.exe", "", RandomBytes(6000, 7), 0},
                               {"one.bin", "", RandomBytes(9000, 8), 0},
                               {"two.bin", "", RandomBytes(9000, 9), 0}};
  // The writer marks the main program's entry "Setup.exe*".
  spanned.description.MainProgram = "Setup.exe";
  ASSERT_EQ("", WritePackage(spanned.description, spanned.package, &spanned.packed));
  ASSERT_EQ(3u, spanned.packed.DiskPaths.size());
}

void ExpectAllFiles(const TSpanned& spanned) {
  for (const TPackFile& file : spanned.description.Files) {
    EXPECT_TRUE(file.Content == ReadAll(spanned.scratch.target + "\\" + file.Name)) << file.Name;
  }
}

TEST(ExtractPackage, SpannedPackageOverThreeDisks) {
  TSpanned spanned;
  BuildSpanned(spanned);
  TBoxAnswerer boxes;
  const TRun run = Extract(spanned.package, spanned.scratch.target);
  EXPECT_TRUE(run.checksumOk);
  EXPECT_EQ("Setup.exe*", run.mainProgram);
  ExpectAllFiles(spanned);
  EXPECT_TRUE(boxes.Texts().empty());
  ASSERT_GE(progressCalls.size(), 2u);
  EXPECT_EQ(std::make_pair(0, 0), progressCalls[0]);
  EXPECT_EQ(std::make_pair(0, 3), progressCalls[1]);
  // Three new files and two changes of disk.
  EXPECT_EQ(5, StepCount());
}

TEST(ExtractPackage, MissingDiskSuppliedWhileThePromptIsOpen) {
  TSpanned spanned;
  BuildSpanned(spanned);
  const std::string disk3 = spanned.packed.DiskPaths[2];
  const std::string aside = spanned.scratch.Path("aside");
  ASSERT_TRUE(MoveFileA(disk3.c_str(), aside.c_str()));

  TBoxAnswerer boxes([&](const std::string&) {
    MoveFileA(aside.c_str(), disk3.c_str());
    return "&OK";
  });
  const TRun run = Extract(spanned.package, spanned.scratch.target);
  EXPECT_TRUE(run.checksumOk);
  EXPECT_EQ("Setup.exe*", run.mainProgram);
  ExpectAllFiles(spanned);
  const std::vector<std::string> texts = boxes.Texts();
  ASSERT_EQ(1u, texts.size());
  EXPECT_NE(std::string::npos, texts[0].find("DISK #3")) << texts[0];
}

TEST(ExtractPackage, OkWithoutTheDiskAsksAgainAndCancelEmptiesTheMainProgram) {
  TSpanned spanned;
  BuildSpanned(spanned);
  const std::string disk2 = spanned.packed.DiskPaths[1];
  ASSERT_TRUE(DeleteFileA(disk2.c_str()));

  int asked = 0;
  TBoxAnswerer boxes([&](const std::string&) { return ++asked < 3 ? "&OK" : "&Cancel"; });
  const TRun run = Extract(spanned.package, spanned.scratch.target);
  EXPECT_TRUE(run.checksumOk);
  EXPECT_EQ("", run.mainProgram);
  EXPECT_EQ(3u, boxes.Texts().size());
  for (const std::string& text : boxes.Texts()) {
    EXPECT_NE(std::string::npos, text.find("DISK #2")) << text;
  }
  EXPECT_FALSE(Exists(spanned.scratch.target + "\\two.bin"));
}

TEST(ExtractPackage, ForcePromptAsksForEveryFurtherDisk) {
  TSpanned spanned;
  BuildSpanned(spanned);
  TBoxAnswerer boxes;
  const TRun run = Extract(spanned.package, spanned.scratch.target, true);
  EXPECT_EQ("Setup.exe*", run.mainProgram);
  ExpectAllFiles(spanned);
  const std::vector<std::string> texts = boxes.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_NE(std::string::npos, texts[0].find("DISK #2"));
  EXPECT_NE(std::string::npos, texts[1].find("DISK #3"));
}

TEST(ExtractPackage, BadChecksumStopsBeforeReading) {
  TSpanned spanned;
  BuildSpanned(spanned);
  // Damage a byte inside disk 2: disk 1 is extracted, disk 2 is not read.
  std::string disk2 = ReadAll(spanned.packed.DiskPaths[1]);
  disk2[100] = static_cast<char>(disk2[100] ^ 1);
  ASSERT_TRUE(WriteAll(spanned.packed.DiskPaths[1], disk2));
  const TRun run = Extract(spanned.package, spanned.scratch.target);
  EXPECT_FALSE(run.checksumOk);
  EXPECT_EQ("Setup.exe*", run.mainProgram);
  EXPECT_FALSE(Exists(spanned.scratch.target + "\\two.bin"));

  const TRun missing = Extract(spanned.scratch.Path("none.exe"), spanned.scratch.target);
  EXPECT_FALSE(missing.checksumOk);
  EXPECT_EQ("", missing.mainProgram);
  const std::vector<std::pair<int, int>> startOnly = {{0, 0}};
  EXPECT_EQ(startOnly, progressCalls);
}

// ---- Auto-update program copy -----------------------------------------------------

TEST(ExtractPackage, AutoUpdateProgramCopyLayout) {
  TTargetScratch scratch;
  TPackageDescription description;
  description.StubImage = StubImage();
  description.Files = {{"Setup.exe", "", "program", 0}};
  description.MainProgram = "Setup.exe";
  description.UpdateLocation = "http://example.invalid/";
  description.UpdateInfoName = "app.info";
  description.AutoUpdateProgName = "Updater.exe";
  description.MakeAutoUpdateProg = true;
  const std::string package = scratch.Path("setup.exe");
  ASSERT_EQ("", WritePackage(description, package));
  const std::string bytes = ReadAll(package);

  const TRun run = Extract(package, scratch.target, false, "C:\\elsewhere\\Updater.exe");
  EXPECT_TRUE(run.checksumOk);
  const std::string copy = ReadAll(scratch.target + "\\Updater.exe");
  ASSERT_GT(copy.size(), size_t(kTrailerSize + 256));

  // Image and text lists, up to the first entry.
  PackageTrailer trailer{};
  std::memcpy(&trailer, bytes.data() + bytes.size() - kTrailerSize, kTrailerSize);
  int64_t headerEnd = trailer.DataOffset;
  for (int block = 0; block < trailer.HeaderBlockCount; ++block) {
    int32_t length = 0;
    std::memcpy(&length, bytes.data() + headerEnd, 4);
    headerEnd += 4 + length;
  }
  std::string expected = bytes.substr(0, size_t(headerEnd));
  std::memset(&expected[kPackageEndOffset], 0, 4);
  PackageTrailer copied = trailer;
  copied.ThisIs_AutoUpdateProg = 1;
  copied.TrailerLength = kTrailerSize;
  expected += TrailerBytes(copied);
  EXPECT_TRUE(expected == copy);

  int32_t packageEnd = -1;
  std::memcpy(&packageEnd, copy.data() + kPackageEndOffset, 4);
  EXPECT_EQ(0, packageEnd);
  EXPECT_EQ(1, copy[copy.size() - kTrailerSize + 69]);
  int32_t trailerLength = 0;
  std::memcpy(&trailerLength, copy.data() + copy.size() - 4, 4);
  EXPECT_EQ(kTrailerSize, trailerLength);
  EXPECT_EQ(FileDosDateTime(package), FileDosDateTime(scratch.target + "\\Updater.exe"));

  // A package file not ending in ".exe" makes no copy.
  const std::string renamed = scratch.Path("setup.bin");
  ASSERT_TRUE(CopyFileA(package.c_str(), renamed.c_str(), FALSE));
  const TRun other = Extract(renamed, scratch.target + "\\other", false, "Updater.exe");
  EXPECT_TRUE(other.checksumOk);
  EXPECT_EQ("program", ReadAll(scratch.target + "\\other\\Setup.exe"));
  EXPECT_FALSE(Exists(scratch.target + "\\other\\Updater.exe"));
}

}  // namespace

TEST(SetupFolder, EveryRunClaimsAFolderOfItsOwnAgain) {
  // A long-lived agent runs one update after another: each must get a made
  // and marked folder, never the path of the one removed before.
  for (int run = 0; run < 2; ++run) {
    const std::string folder = GetSetupFolder();
    const std::string mark = StripTrailingBackslash(folder) + ".LCK";
    EXPECT_TRUE(DirExists(folder)) << run << " " << folder;
    EXPECT_NE(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES) << run;
    EXPECT_EQ(GetSetupFolder(), folder);
    RemoveSetupFolder();
    EXPECT_FALSE(DirExists(folder)) << run;
    EXPECT_EQ(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES) << run;
  }
}
