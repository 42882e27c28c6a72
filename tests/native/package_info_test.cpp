#include "package/package_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pack_test_support.h"
#include "package/messages.h"
#include "util/file_io.h"

namespace {

PackageTrailer BaseTrailer() {
  PackageTrailer t{};
  t.FormatByte = 1;
  t.HeaderBlockCount = 2;
  t.FilesCount = 1;
  t.PackageMagic = kPackageMagic;
  t.TrailerLength = kTrailerSize;
  for (int i = 0; i < 9; ++i) t.SpaceTable[i] = 1000u * (i + 1);
  return t;
}

const char kInfoList[] = "|http:/|C:\\Build\\MyApp.exe|Update.exe|TOKEN|1|";
const char kWebList[] = "|http://example.com/setup/|Setup.exe|1|WTOKEN|1048576|";

struct TPackageParts {
  std::string langTexts = "\x02";
  std::string infoList = kInfoList;
  std::string webList;  // written only when the trailer asks for 3 blocks
  std::string entries = Block("entry-1");
  PackageTrailer trailer = BaseTrailer();
  bool setPackageEnd = false;
  std::string appended;
};

// Image, blocks, trailer, then whatever is appended later; DataOffset and
// PackageEnd are filled in as the packager would.
std::string BuildPackage(TPackageParts parts) {
  // A launcher image as the reader sees it, padded to 1024 zero bytes.
  std::string file = MarkAsImage(std::string(1024, '\0'));
  parts.trailer.DataOffset = static_cast<int32_t>(file.size());
  file += Block(parts.langTexts) + Block(parts.infoList);
  if (parts.trailer.HeaderBlockCount > 2) file += Block(parts.webList);
  file += parts.entries;
  file += TrailerBytes(parts.trailer);
  if (parts.setPackageEnd) PutInt32(file, kPackageEndOffset, static_cast<int32_t>(file.size()));
  return file + parts.appended;
}

class PackageInfoTest : public TScratchFolderTest {
 protected:
  void SetUp() override { ResetChosenLangSection(); }
  void TearDown() override { ResetChosenLangSection(); }

  std::string Write(const std::string& name, const std::string& bytes) {
    WriteAll(Path(name), bytes);
    return Path(name);
  }

  const std::string folder_ = Path("");
};

TEST_F(PackageInfoTest, ReadsListsAndStopsAtTheFirstEntry) {
  TPackageParts parts;
  const std::string path = Write("setup.exe", BuildPackage(parts));
  TGFileInfo info(path);
  EXPECT_EQ(+info.Trailer().PackageMagic, kPackageMagic);
  EXPECT_EQ(info.LangTexts(), "\x02");
  EXPECT_EQ(info.InfoList(), kInfoList);
  EXPECT_EQ(info.WebList(), "");
  // DataOffset now points at the first entry: behind the two lists.
  EXPECT_EQ(+info.Trailer().DataOffset, 1024 + 4 + 1 + 4 + static_cast<int>(strlen(kInfoList)));
  EXPECT_EQ(+info.Trailer().TrailerLength, kTrailerSize);
  EXPECT_EQ(+info.Trailer().FilesCount, 1);

  EXPECT_EQ(info.UpdateLocation(), "http:/");
  EXPECT_EQ(info.AutoUpdateProgName(), "Update.exe");
  EXPECT_EQ(info.InfoFileName(), "MyApp.info");
  EXPECT_EQ(info.OriginalFileName(), "MyApp.original");
  EXPECT_EQ(info.UpdateToken(false), "TOKEN");
  EXPECT_TRUE(info.HiddenExtract());
}

TEST_F(PackageInfoTest, PackageEndFindsTheTrailerBeforeAppendedBytes) {
  TPackageParts plain;
  plain.setPackageEnd = true;
  TPackageParts appended = plain;
  appended.appended = std::string(300, '\x7F') + Int32Bytes(12);
  TGFileInfo a(Write("a.exe", BuildPackage(plain)));
  TGFileInfo b(Write("b.exe", BuildPackage(appended)));
  EXPECT_EQ(0, std::memcmp(&a.Trailer(), &b.Trailer(), sizeof(PackageTrailer)));
  EXPECT_EQ(a.InfoList(), b.InfoList());
  EXPECT_EQ(b.InfoList(), kInfoList);

  // Without PackageEnd the appended bytes are taken for the trailer.
  appended.setPackageEnd = false;
  TGFileInfo c(Write("c.exe", BuildPackage(appended)));
  EXPECT_NE(+c.Trailer().PackageMagic, kPackageMagic);
  EXPECT_EQ(c.InfoList(), "");
}

TEST_F(PackageInfoTest, PackageEndIsIgnoredOutsideALauncherImage) {
  TPackageParts parts;
  parts.setPackageEnd = true;
  std::string bytes = BuildPackage(parts);
  bytes[kPeSignatureOffset] = 'X';        // no "PE" at 256
  bytes += "0123456789";                  // would hide the trailer if PackageEnd were used
  PutInt32(bytes, kPackageEndOffset, 5);  // and a PackageEnd that makes no sense
  TGFileInfo info(Write("noimage.exe", bytes.substr(0, bytes.size() - 10)));
  EXPECT_EQ(info.InfoList(), kInfoList);
}

TEST_F(PackageInfoTest, HeaderBlockCountDecidesTheWebList) {
  struct TCase {
    uint8_t stored;
    uint8_t read;
    bool hasWebList;
  };
  const TCase cases[] = {{0, 2, false}, {2, 2, false}, {3, 3, true}};
  for (const TCase& c : cases) {
    TPackageParts parts;
    parts.trailer.HeaderBlockCount = c.stored;
    parts.webList = kWebList;
    TGFileInfo info(Write("web" + std::to_string(c.stored) + ".exe", BuildPackage(parts)));
    EXPECT_EQ(+info.Trailer().HeaderBlockCount, c.read);
    EXPECT_EQ(info.InfoList(), kInfoList);
    if (c.hasWebList) {
      EXPECT_EQ(info.WebFolder(), "http://example.com/setup/");
      EXPECT_EQ(info.WebSetupName(), "Setup.exe");
      EXPECT_TRUE(info.WebAlwaysDownload());
      EXPECT_EQ(info.WebToken(false), "WTOKEN");
      EXPECT_EQ(info.WebSetupSize(), "1048576");
    } else {
      EXPECT_EQ(info.WebList(), "") << int{c.stored};
      EXPECT_EQ(info.WebFolder(), "");
      EXPECT_EQ(info.WebSetupName(), "");
      EXPECT_FALSE(info.WebAlwaysDownload());
      EXPECT_EQ(info.WebToken(false), "");
      EXPECT_EQ(info.WebSetupSize(), "");
    }
  }
}

TEST_F(PackageInfoTest, FlagsComeFromTheirBytes) {
  struct TCase {
    uint8_t packageFlags;
    uint8_t web, ask, make, isAgent;
    uint32_t magic;
  };
  const uint32_t ok = kPackageMagic;
  const TCase cases[] = {{0, 0, 0, 0, 0, ok},
                         {1, 1, 0, 0, 0, ok},
                         {2, 0, 1, 0, 0, ok},
                         {3, 0, 0, 1, 0, ok},
                         {0xFC, 0, 0, 0, 7, ok},
                         // A trailer read from the wrong place: whatever its bytes, no flag is on.
                         {0xFF, 1, 1, 1, 1, 0x12345678},
                         {3, 0xDB, 0xDB, 0xDB, 0xDB, 0}};
  int n = 0;
  for (const TCase& c : cases) {
    TPackageParts parts;
    parts.trailer.PackageMagic = c.magic;
    parts.trailer.PackageFlags = c.packageFlags;
    parts.trailer.IsWebSetup = c.web;
    parts.trailer.AskBeforeDownload = c.ask;
    parts.trailer.MakeAutoUpdateProg = c.make;
    parts.trailer.ThisIs_AutoUpdateProg = c.isAgent;
    TGFileInfo info(Write("flags" + std::to_string(n++) + ".exe", BuildPackage(parts)));
    const bool valid = c.magic == kPackageMagic;
    EXPECT_EQ(info.AlwaysShowTempNotice(), valid && (c.packageFlags & 1) != 0);
    EXPECT_EQ(info.HasNextDisk(), valid && (c.packageFlags & 2) != 0);
    EXPECT_EQ(info.IsWebSetup(), valid && c.web != 0);
    EXPECT_EQ(info.AskBeforeDownload(), valid && c.ask != 0);
    EXPECT_EQ(info.MakeAutoUpdateProg(), valid && c.make != 0);
    EXPECT_EQ(info.ThisIs_AutoUpdateProg(), valid && c.isAgent != 0);
  }
}

TEST_F(PackageInfoTest, AgentFlagSitsFiveBytesBeforeTheEnd) {
  std::string bytes = BuildPackage(TPackageParts());
  bytes[bytes.size() - 5] = 1;
  EXPECT_TRUE(TGFileInfo(Write("agent.exe", bytes)).ThisIs_AutoUpdateProg());
}

TEST_F(PackageInfoTest, MissingAndForeignFiles) {
  TGFileInfo missing(folder_ + "absent.exe");
  const PackageTrailer zero{};
  EXPECT_EQ(0, std::memcmp(&missing.Trailer(), &zero, sizeof(zero)));
  EXPECT_EQ(missing.InfoList(), "");
  EXPECT_EQ(missing.GetSpaceRequired(folder_), 0.0);

  // A folder is not a package either.
  TGFileInfo folder(folder_);
  EXPECT_EQ(folder.InfoList(), "");

  // Without the magic the trailer bytes stay as read (flags off), the lists empty.
  TPackageParts parts;
  parts.trailer.PackageMagic = 0x12345678;
  parts.trailer.FilesCount = 9;
  TGFileInfo foreign(Write("foreign.exe", BuildPackage(parts)));
  EXPECT_EQ(foreign.Trailer().FilesCount, 9);
  EXPECT_EQ(+foreign.Trailer().PackageMagic, 0x12345678u);
  EXPECT_EQ(foreign.LangTexts(), "");
  EXPECT_EQ(foreign.InfoList(), "");
}

TEST_F(PackageInfoTest, TrailerLengthIsCutAndNeverReadsOutsideTheFile) {
  struct TCase {
    int32_t lastWord;
    int32_t trailerLength;
    bool readsRealTrailer;
  };
  const TCase cases[] = {
      {kTrailerSize, kTrailerSize, true},
      {100, kTrailerSize, false},  // longer trailers are read as 74 bytes
      {10, 10, false},             // 6 bytes read
      {0x7FFFFFFF, kTrailerSize, false},
      {-50, -50, false},
      {INT32_MIN, INT32_MIN, false},
      {4, 4, false},
  };
  int n = 0;
  for (const TCase& c : cases) {
    std::string bytes = BuildPackage(TPackageParts());
    PutInt32(bytes, bytes.size() - 4, c.lastWord);
    const std::string path = Write("len" + std::to_string(n++) + ".exe", bytes);
    PackageTrailer record{};
    ASSERT_TRUE(ReadTrailer(path, record));
    EXPECT_EQ(+record.TrailerLength, c.trailerLength) << c.lastWord;
    EXPECT_EQ(record.PackageMagic == kPackageMagic, c.readsRealTrailer) << c.lastWord;
    EXPECT_NE(+record.HeaderBlockCount, 0) << c.lastWord;
  }
  // A 10-byte trailer fills the first 6 bytes of the record only.
  std::string bytes = BuildPackage(TPackageParts());
  PutInt32(bytes, bytes.size() - 4, 10);
  const std::string shortTail =
      bytes.substr(0, bytes.size() - 10) + std::string("\x01\x03\0\0\x11\x22", 6) + Int32Bytes(10);
  PackageTrailer record{};
  ASSERT_TRUE(ReadTrailer(Write("short.exe", shortTail), record));
  EXPECT_EQ(+record.HeaderBlockCount, 3);
  EXPECT_EQ(+record.DataOffset & 0xFFFF, 0x2211);
  EXPECT_EQ(+record.PackageMagic, 0u);

  PackageTrailer tiny{};
  EXPECT_TRUE(ReadTrailer(Write("tiny.exe", "MZ"), tiny));
  EXPECT_EQ(+tiny.PackageMagic, 0u);
  EXPECT_FALSE(ReadTrailer(folder_ + "absent.exe", tiny));
}

TEST_F(PackageInfoTest, PackageEndBeyondTheFileReadsNothing) {
  std::string bytes = BuildPackage(TPackageParts());
  PutInt32(bytes, kPackageEndOffset, 0x7FFFFF00);
  PackageTrailer record{};
  ASSERT_TRUE(ReadTrailer(Write("far.exe", bytes), record));
  EXPECT_EQ(+record.PackageMagic, 0u);
}

TEST_F(PackageInfoTest, DamagedBlockLengthsStayInsideTheFile) {
  struct TCase {
    const char* name;
    int32_t infoLength;
  };
  const TCase cases[] = {{"negative", -1000}, {"huge", 0x7FFFFFF0}, {"min", INT32_MIN}};
  for (const TCase& c : cases) {
    std::string bytes = BuildPackage(TPackageParts());
    const size_t infoAt = 1024 + 4 + 1;  // behind the image and the 1-byte LangTexts
    PutInt32(bytes, infoAt, c.infoLength);
    const std::string path = Write(std::string(c.name) + ".exe", bytes);
    TGFileInfo info(path);
    EXPECT_EQ(info.LangTexts(), "\x02") << c.name;
    EXPECT_LE(info.InfoList().size(), bytes.size() - infoAt - 4) << c.name;
    if (c.infoLength < 0) {
      EXPECT_EQ(info.InfoList(), "") << c.name;
    }
    EXPECT_GE(+info.Trailer().DataOffset, 0) << c.name;
    EXPECT_LE(+info.Trailer().DataOffset, static_cast<int64_t>(bytes.size())) << c.name;
  }
  // A DataOffset outside the file reads no lists.
  TPackageParts parts;
  std::string bytes = BuildPackage(parts);
  PackageTrailer t = parts.trailer;
  t.DataOffset = -20;
  bytes.replace(bytes.size() - kTrailerSize, kTrailerSize, TrailerBytes(t));
  TGFileInfo info(Write("offset.exe", bytes));
  EXPECT_EQ(info.LangTexts(), "");
  EXPECT_EQ(info.InfoList(), "");
}

TEST_F(PackageInfoTest, SpaceTableEntryByClusterSize) {
  const PackageTrailer t = BaseTrailer();  // entry i holds 1000 * (i + 1)
  struct TCase {
    int64_t clusterSize;
    int entry;
  };
  const TCase cases[] = {{0, 0},     {256, 0},     {511, 0},  {512, 1},  {1024, 2},
                         {2048, 3},  {4095, 3},    {4096, 4}, {8192, 5}, {32768, 7},
                         {65536, 8}, {1 << 20, 8}, {-4096, 0}};
  for (const TCase& c : cases) {
    EXPECT_EQ(SpaceRequiredFor(t, c.clusterSize), 1000.0 * (c.entry + 1)) << c.clusterSize;
  }
  TGFileInfo info(Write("space.exe", BuildPackage(TPackageParts())));
  EXPECT_EQ(info.GetSpaceRequired(folder_),
            SpaceRequiredFor(info.Trailer(), ClusterSizeOf(folder_)));
}

TEST_F(PackageInfoTest, InfoFileNames) {
  struct TCase {
    const char* field;
    const char* info;
    const char* original;
  };
  const TCase cases[] = {
      {".info", ".info", ".original"},
      {"MyApp.exe", "MyApp.info", "MyApp.original"},
      {"C:\\dir.x\\MyApp", "MyApp.info", "MyApp.original"},
      {"D:MyApp.exe", "MyApp.info", "MyApp.original"},
      {"http://host/path/App.v2.exe", "App.v2.info", "App.v2.original"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    TPackageParts parts;
    parts.infoList = std::string("|x|") + c.field + "|||0|";
    TGFileInfo info(Write("names" + std::to_string(n++) + ".exe", BuildPackage(parts)));
    EXPECT_EQ(info.InfoFileName(), c.info) << c.field;
    EXPECT_EQ(info.OriginalFileName(), c.original) << c.field;
    EXPECT_FALSE(info.HiddenExtract());
  }
}

TEST_F(PackageInfoTest, TokensCompareUnscrambled) {
  const std::string good = ScrambleToken("Publisher-42");
  const std::string other = ScrambleToken("Publisher-43");
  std::string badCheck = good;
  badCheck[badCheck.size() - 3] = badCheck[badCheck.size() - 3] == 'a' ? 'b' : 'a';
  auto make = [&](const std::string& name, const std::string& token) {
    TPackageParts parts;
    parts.infoList = "|u|n.exe|p.exe|" + token + "|0|";
    parts.trailer.HeaderBlockCount = 3;
    parts.webList = "|f|s.exe|0|" + token + "|1|";
    return Write(name, BuildPackage(parts));
  };
  TGFileInfo a(make("a.exe", good));
  TGFileInfo b(make("b.exe", good));
  TGFileInfo c(make("c.exe", other));
  TGFileInfo shortToken(make("short.exe", "abcd"));
  TGFileInfo shortToken2(make("short2.exe", "abcd"));
  TGFileInfo damaged(make("damaged.exe", badCheck));
  TGFileInfo damaged2(make("damaged2.exe", badCheck));

  EXPECT_EQ(a.UpdateToken(false), good);
  EXPECT_EQ(a.UpdateToken(true), "Publisher-42");
  EXPECT_EQ(a.WebToken(true), "Publisher-42");
  EXPECT_TRUE(a.SameUpdateToken(b));
  EXPECT_TRUE(a.SameWebToken(b));
  EXPECT_FALSE(a.SameUpdateToken(c));
  EXPECT_FALSE(a.SameWebToken(c));
  EXPECT_FALSE(a.SameUpdateToken(damaged));
  // Invalid tokens never equal each other, not even the same stored text.
  EXPECT_FALSE(shortToken.SameUpdateToken(shortToken2));
  EXPECT_FALSE(damaged.SameUpdateToken(damaged2));
  EXPECT_FALSE(damaged.SameWebToken(damaged2));
}

TEST_F(PackageInfoTest, TextsFromTheChosenSection) {
  TPackageParts none;
  TGFileInfo noSections(Write("none.exe", BuildPackage(none)));
  EXPECT_EQ(noSections.GetText(kIdTitle, kDefaultTitle), kDefaultTitle);
  EXPECT_EQ(noSections.GetCharset(), 0);

  ResetChosenLangSection();
  TPackageParts hebrew;
  hebrew.langTexts = "\x02|English|s0=Hello|Charset=177|\x02|French|s0=Bonjour|\x02";
  TGFileInfo info(Write("texts.exe", BuildPackage(hebrew)));
  EXPECT_EQ(info.GetText(kIdTitle, kDefaultTitle), "Hello");
  EXPECT_EQ(info.GetText(kIdExtracting, kDefaultExtracting), kDefaultExtracting);
  EXPECT_EQ(info.GetCharset(), 177);

  ResetChosenLangSection();
  TPackageParts bad;
  bad.langTexts = "\x02|English|Charset=abc|\x02";
  EXPECT_EQ(TGFileInfo(Write("bad.exe", BuildPackage(bad))).GetCharset(), 0);
}

TEST_F(PackageInfoTest, ReadFileBasics) {
  const std::string path = Write("plain.bin", "0123456789");
  TReadFile file;
  EXPECT_EQ(file.Size(), -1);
  EXPECT_EQ(file.Read(nullptr, 0), 0u);
  ASSERT_TRUE(file.Open(path));
  EXPECT_EQ(file.Size(), 10);
  char buffer[8] = {};
  EXPECT_TRUE(file.Seek(7));
  EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_FALSE(file.Seek(-1));
  EXPECT_TRUE(file.Seek(50));
  EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0u);
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FileExists(folder_));
  EXPECT_FALSE(FileExists(folder_ + "absent"));
  EXPECT_FALSE(file.Open(folder_));
  EXPECT_GT(ClusterSizeOf(folder_), 0);
  EXPECT_EQ(ClusterSizeOf(""), ClusterSizeOf("."));
}

}  // namespace
