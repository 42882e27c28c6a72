#include "files/file_ops.h"

#include <gtest/gtest.h>

#include "helper_programs.h"
#include "scratch.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// A scratch folder of its own per test, removed afterwards.
class FileOpsTest : public testing::Test {
 protected:
  std::string Path(const std::string& relative) const { return scratch_.Path(relative); }
  void Put(const std::string& relative, const std::string& content) {
    ForceDirectories(ExtractFileDir(Path(relative)));
    ASSERT_TRUE(WriteWholeFile(Path(relative), content, 0, false)) << relative;
  }
  bool Exists(const std::string& relative) const { return ::Exists(Path(relative)); }

  const TScratch scratch_{"orvane file ops"};
  const std::string& root_ = scratch_.Root();
};

TEST_F(FileOpsTest, ForceDirectoriesMakesEveryParent) {
  EXPECT_TRUE(ForceDirectories(Path("a\\b\\c\\")));
  EXPECT_TRUE(DirExists(Path("a\\b\\c")));
  EXPECT_TRUE(ForceDirectories(Path("a\\b")));  // already there
  Put("file.txt", "x");
  EXPECT_FALSE(ForceDirectories(Path("file.txt")));  // a file is in the way
  EXPECT_FALSE(ForceDirectories(""));
  EXPECT_FALSE(DirExists(Path("file.txt")));
}

TEST_F(FileOpsTest, ReadFilePartEdges) {
  Put("digits.txt", "0123456789");
  const struct {
    int64_t offset, maxLength;
    const char* expected;
  } cases[] = {
      {0, 0, "0123456789"}, {3, 4, "3456"}, {8, 5, "89"}, {9, 0, "9"}, {0, 100, "0123456789"},
      {10, 0, ""},          {11, 2, ""},    {-1, 0, ""},  {-1, 3, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFilePart(Path("digits.txt"), c.offset, c.maxLength), c.expected)
        << c.offset << "," << c.maxLength;
  }
  EXPECT_EQ(ReadFilePart(Path("missing.txt"), 0, 0), "");
  EXPECT_EQ(ReadFilePart(root_, 0, 0), "");  // a folder is no file
  Put("empty.txt", "");
  EXPECT_EQ(ReadFilePart(Path("empty.txt"), 0, 0), "");
}

TEST_F(FileOpsTest, ReadFilePartWhileAnotherHolderWrites) {
  Put("shared.txt", "shared");
  TFileHandle writer(CreateFileA(Path("shared.txt").c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(ReadFilePart(Path("shared.txt"), 0, 0), "shared");
}

TEST_F(FileOpsTest, WriteWholeFileSizesAndModes) {
  EXPECT_TRUE(WriteWholeFile(Path("empty.bin"), "", 0, false));
  EXPECT_TRUE(Exists("empty.bin"));
  EXPECT_EQ(FileSizeOf(Path("empty.bin")), 0);

  // Just over the one-call limit: written in slices of 104857 bytes.
  std::string large(1048577, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  ASSERT_TRUE(WriteWholeFile(Path("large.bin"), large, 0, false));
  EXPECT_EQ(FileSizeOf(Path("large.bin")), 1048577);
  EXPECT_TRUE(ReadFilePart(Path("large.bin"), 0, 0) == large);

  ASSERT_TRUE(WriteWholeFile(Path("text.txt"), "a long first content", 0, false));
  ASSERT_TRUE(WriteWholeFile(Path("text.txt"), "short", 0, false));
  EXPECT_EQ(ReadFilePart(Path("text.txt"), 0, 0), "short");  // truncated, not overlaid
  ASSERT_TRUE(WriteWholeFile(Path("text.txt"), "+more", 0, true));
  EXPECT_EQ(ReadFilePart(Path("text.txt"), 0, 0), "short+more");
  ASSERT_TRUE(WriteWholeFile(Path("new.txt"), "created", 0, true));
  EXPECT_EQ(ReadFilePart(Path("new.txt"), 0, 0), "created");

  EXPECT_FALSE(WriteWholeFile(Path("no such folder\\x.txt"), "x", 0, false));
}

TEST_F(FileOpsTest, AppendToFileExtendsOrCreates) {
  EXPECT_TRUE(AppendToFile(Path("log.txt"), "one", 0));
  EXPECT_TRUE(AppendToFile(Path("log.txt"), ",two", 0));
  EXPECT_TRUE(AppendToFile(Path("log.txt"), "", 0));
  EXPECT_EQ(ReadFilePart(Path("log.txt"), 0, 0), "one,two");
  EXPECT_FALSE(AppendToFile(Path("no such folder\\log.txt"), "x", 0));
}

int32_t DosStamp(int year, int month, int day, int hour, int minute, int second) {
  const uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

int32_t StampOf(const std::string& path) {
  TFileHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME written;
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!file || !GetFileTime(file.get(), nullptr, nullptr, &written) ||
      !FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    return 0;
  }
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

TEST_F(FileOpsTest, DateStampSetsLocalLastWriteTime) {
  const int32_t stamp = DosStamp(2001, 2, 3, 4, 5, 6);
  const int32_t later = DosStamp(2035, 12, 31, 23, 59, 58);  // high bit of the date set
  ASSERT_TRUE(WriteWholeFile(Path("stamped.txt"), "x", stamp, false));
  EXPECT_EQ(StampOf(Path("stamped.txt")), stamp);
  ASSERT_TRUE(WriteWholeFile(Path("stamped.txt"), "y", later, true));
  EXPECT_EQ(StampOf(Path("stamped.txt")), later);
  ASSERT_TRUE(AppendToFile(Path("appended.txt"), "z", stamp));
  EXPECT_EQ(StampOf(Path("appended.txt")), stamp);
  ASSERT_TRUE(SetFileDateStamp(Path("appended.txt"), later));
  EXPECT_EQ(StampOf(Path("appended.txt")), later);
  EXPECT_FALSE(SetFileDateStamp(Path("missing.txt"), stamp));

  ASSERT_TRUE(WriteWholeFile(Path("fresh.txt"), "x", 0, false));  // 0 leaves the time alone
  const uint32_t freshYear = (static_cast<uint32_t>(StampOf(Path("fresh.txt"))) >> 25) + 1980;
  EXPECT_GE(freshYear, 2020u);
}

TEST_F(FileOpsTest, FileSizeOfMatchesFirstEntry) {
  Put("five.txt", "12345");
  EXPECT_EQ(FileSizeOf(Path("five.txt")), 5);
  EXPECT_EQ(FileSizeOf(Path("f*.txt")), 5);
  EXPECT_EQ(FileSizeOf(Path("missing.txt")), 0);
}

TEST_F(FileOpsTest, DriveFreeSpaceOfKnownAndUnknownDrives) {
  EXPECT_GT(DriveFreeSpace("c:\\windows"), 0.0);
  EXPECT_GT(DriveFreeSpace(""), 0.0);
  char unused = 0;
  for (char letter = 'Y'; letter >= 'D' && unused == 0; --letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) unused = letter;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(DriveFreeSpace(std::string(1, unused) + ":\\x"), -1.0);
}

TEST_F(FileOpsTest, FindFileInTreeOwnFolderFirst) {
  Put("a\\b\\target.txt", "deep");
  Put("target.txt", "top");
  EXPECT_EQ(FindFileInTree(root_, "target.txt"), Path("target.txt"));
  EXPECT_EQ(FindFileInTree(root_ + "\\", "target.txt"), Path("target.txt"));
  DeleteFileA(Path("target.txt").c_str());
  EXPECT_EQ(FindFileInTree(root_, "target.txt"), Path("a\\b\\target.txt"));
  EXPECT_EQ(FindFileInTree(root_, "absent.txt"), "");
  EXPECT_EQ(FindFileInTree(root_, "b"), "");  // folders are not files
}

TEST_F(FileOpsTest, FindFolderInTree) {
  ForceDirectories(Path("x\\y\\Wanted"));
  EXPECT_EQ(FindFolderInTree(root_, "wanted"), Path("x\\y\\Wanted"));
  EXPECT_EQ(FindFolderInTree(Path("x\\y\\Wanted"), "Wanted"), Path("x\\y\\Wanted"));
  EXPECT_EQ(FindFolderInTree(root_, "nothing"), "");
}

TEST_F(FileOpsTest, DriveSearchesOfNoMatchingType) {
  EXPECT_EQ(FindFileOnDrives("win.ini", -1), "");
  EXPECT_EQ(FindFolderOnDrives("windows", -3), "");
  EXPECT_EQ(FindFileOnDrives("win.ini", DRIVE_RAMDISK), "");
}

TEST_F(FileOpsTest, DeleteByMaskFilesOnly) {
  Put("a.txt", "a");
  Put("b.txt", "b");
  Put("c.log", "c");
  Put("keep.txt\\inner.txt", "folder named like a match");
  Put("ro.txt", "read-only");
  SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_TRUE(DeleteByMask(Path("*.txt"), false));
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_FALSE(Exists("b.txt"));
  EXPECT_TRUE(Exists("c.log"));
  EXPECT_TRUE(Exists("keep.txt\\inner.txt"));
  EXPECT_TRUE(Exists("ro.txt"));  // matched, but left without the reset

  EXPECT_TRUE(DeleteByMask(Path("*.txt"), true));
  EXPECT_FALSE(Exists("ro.txt"));
  EXPECT_FALSE(DeleteByMask(Path("*.none"), true));
}

void BuildTree(const std::string& root) {
  ForceDirectories(root + "\\sub\\deeper");
  WriteWholeFile(root + "\\top.txt", "t", 0, false);
  WriteWholeFile(root + "\\sub\\mid.txt", "m", 0, false);
  WriteWholeFile(root + "\\sub\\deeper\\ro.txt", "r", 0, false);
  SetFileAttributesA((root + "\\sub\\deeper\\ro.txt").c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FileOpsTest, DeleteTreeWithAndWithoutReset) {
  EXPECT_FALSE(DeleteTree(Path("missing"), true));
  EXPECT_FALSE(DeleteTree("", true));

  BuildTree(Path("tree"));
  EXPECT_FALSE(DeleteTree(Path("tree"), false));
  EXPECT_TRUE(Exists("tree\\sub\\deeper\\ro.txt"));  // read-only stays
  EXPECT_FALSE(Exists("tree\\top.txt"));
  EXPECT_FALSE(Exists("tree\\sub\\mid.txt"));

  EXPECT_TRUE(DeleteTree(Path("tree\\"), true));
  EXPECT_FALSE(Exists("tree"));
}

TEST_F(FileOpsTest, DeleteTreeLeavesLinkedFolderContents) {
  using TCreateLink = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  const auto createLink = reinterpret_cast<TCreateLink>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA"));
  Put("outside\\precious.txt", "keep me");
  ForceDirectories(Path("tree"));
  if (createLink == nullptr ||
      !createLink(Path("tree\\link").c_str(), Path("outside").c_str(), 1)) {
    GTEST_SKIP() << "folder links are not available here";
  }
  if (!Exists("tree\\link\\precious.txt")) GTEST_SKIP() << "folder links do not resolve here";
  EXPECT_TRUE(DeleteTree(Path("tree"), true));
  EXPECT_TRUE(Exists("outside\\precious.txt"));
  EXPECT_EQ(FindFileInTree(Path("tree"), "precious.txt"), "");
}

// Runs the self-deleting helper from `folder` and waits for its batch to
// finish: the helper's file, then the batch itself, must disappear.
void RunSelfDeleter(const std::string& folder, const std::string& options) {
  const std::string exe = folder + "\\X_Update.exe";
  const std::string batch = TempDir(true) + "_DEL_ME_.BAT";
  ASSERT_TRUE(CopyFileA(HelperPath("self_deleter.exe").c_str(), exe.c_str(), FALSE));
  THandle process = StartProgram("\"" + exe + "\" 1500 " + options);
  ASSERT_TRUE(process);
  // While the helper runs, its batch exists and its file is still there.
  ASSERT_TRUE(WaitUntil(
      [&] { return GetFileAttributesA(batch.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
  EXPECT_NE(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(WaitForEnd(process, 20000));
  EXPECT_TRUE(
      WaitUntil([&] { return GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES; }, 20000))
      << exe;
  EXPECT_TRUE(WaitUntil(
      [&] { return GetFileAttributesA(batch.c_str()) == INVALID_FILE_ATTRIBUTES; }, 20000));
}

TEST_F(FileOpsTest, SelfDeleteBatchRemovesFileInUse) {
  ForceDirectories(Path("app dir"));
  Put("app dir\\settings.ini", "stays");
  RunSelfDeleter(Path("app dir"), "");
  EXPECT_TRUE(Exists("app dir\\settings.ini"));
  EXPECT_TRUE(DirExists(Path("app dir")));
}

TEST_F(FileOpsTest, SelfDeleteBatchShortNamesRemovesFolder) {
  ForceDirectories(Path("application folder"));
  RunSelfDeleter(Path("application folder"), "remove short");
  EXPECT_TRUE(WaitUntil([&] { return !DirExists(Path("application folder")); }, 10000));
}

}  // namespace
