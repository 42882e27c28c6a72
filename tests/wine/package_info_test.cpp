// The package reader on the real file system: Windows paths, a package that
// another handle holds open for writing, and the drive's cluster size.
#include "package/package_info.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "bytes.h"
#include "paths/language_table.h"
#include "scratch.h"
#include "util/file_io.h"
#include "util/handle.h"

namespace {

// A launcher image ("MZ", "PE" at 256) with two lists, one entry, a trailer
// and PackageEnd set, then bytes appended behind it.
std::string SamplePackage() {
  std::string file = MarkAsImage(std::string(1024, '\0'));
  PackageTrailer t{};
  t.FormatByte = 1;
  t.HeaderBlockCount = 2;
  t.DataOffset = static_cast<int32_t>(file.size());
  t.FilesCount = 1;
  t.PackageMagic = kPackageMagic;
  t.TrailerLength = kTrailerSize;
  for (int i = 0; i < 9; ++i) t.SpaceTable[i] = 4096u * (9 - i);
  t.MakeAutoUpdateProg = 1;
  file += Block("\x02") + Block("|http://h/u/|MyApp.exe|Update.exe|tok|1|") + Block("entry");
  file += TrailerBytes(t);
  PutInt32(file, kPackageEndOffset, static_cast<int32_t>(file.size()));
  return file + "appended later";
}

class PackageInfoWineTest : public TScratchFolderTest {
 protected:
  void SetUp() override {
    // The writer keeps the file open for the whole test, as a download or
    // the packager might while the launcher looks at it.
    writer_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer_.valid());
    const std::string bytes = SamplePackage();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr));
    ASSERT_EQ(written, bytes.size());
  }
  void TearDown() override { writer_.reset(); }

  const std::string path_ = Path("package.exe");
  TFileHandle writer_;
};

TEST_F(PackageInfoWineTest, ReadsAPackageHeldOpenForWriting) {
  TGFileInfo info(path_);
  EXPECT_EQ(+info.Trailer().PackageMagic, kPackageMagic);
  EXPECT_EQ(info.InfoList(), "|http://h/u/|MyApp.exe|Update.exe|tok|1|");
  EXPECT_EQ(info.UpdateLocation(), "http://h/u/");
  EXPECT_EQ(info.InfoFileName(), "MyApp.info");
  EXPECT_EQ(info.AutoUpdateProgName(), "Update.exe");
  EXPECT_TRUE(info.MakeAutoUpdateProg());
  EXPECT_TRUE(info.HiddenExtract());
  // Behind the two lists: 1024 + (4 + 1) + (4 + 40).
  EXPECT_EQ(+info.Trailer().DataOffset, 1073);

  PackageTrailer record{};
  ASSERT_TRUE(ReadTrailer(path_, record));
  EXPECT_EQ(+record.FilesCount, 1);
  EXPECT_EQ(+record.TrailerLength, kTrailerSize);
}

TEST_F(PackageInfoWineTest, ReadFileSharesWithTheWriter) {
  TReadFile file;
  ASSERT_TRUE(file.Open(path_));
  EXPECT_EQ(file.Size(), static_cast<int64_t>(SamplePackage().size()));
  // What the writer adds meanwhile is visible to the reader.
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writer_.get(), "++", 2, &written, nullptr));
  EXPECT_EQ(file.Size(), static_cast<int64_t>(SamplePackage().size()) + 2);
  ASSERT_TRUE(file.Seek(file.Size() - 4));
  char tail[4] = {};
  EXPECT_EQ(file.Read(tail, 4), 4u);
  EXPECT_EQ(std::string(tail, 4), "er++");
}

TEST_F(PackageInfoWineTest, FilesFoldersAndDrives) {
  EXPECT_TRUE(FileExists(path_));
  EXPECT_FALSE(FileExists(Path("")));
  EXPECT_FALSE(FileExists(Path("no such file.exe")));
  TReadFile folder;
  EXPECT_FALSE(folder.Open(Path("")));

  const int64_t cluster = ClusterSizeOf(path_);
  EXPECT_GT(cluster, 0);
  EXPECT_EQ(cluster, ClusterSizeOf(path_.substr(0, 3)));
  EXPECT_EQ(ClusterSizeOf("?:\\"), 0);
  TGFileInfo info(path_);
  EXPECT_EQ(info.GetSpaceRequired(path_), SpaceRequiredFor(info.Trailer(), cluster));
  EXPECT_EQ(info.GetSpaceRequired("?:\\x"), 4096.0 * 9);  // unknown drive: exact total
}

TEST(LanguageTableWineTest, SystemLanguageFollowsTheUserLocale) {
  const std::string expected = LanguageName(static_cast<int32_t>(GetUserDefaultLCID() & 0x3FF));
  EXPECT_EQ(SystemLanguageName(), expected);
}

}  // namespace
