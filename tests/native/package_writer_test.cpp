#include "pack/package_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "pack/pack_reader.h"
#include "pack_test_support.h"
#include "package/extract_rules.h"
#include "package/format.h"
#include "package/package_info.h"
#include "util/text.h"

namespace {

// Trailer fields are packed and may sit unaligned: compare copies.
template <typename T>
T Field(T value) {
  return value;
}

// Compressible text of `n` bytes.
std::string TextBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < n) text += "line " + std::to_string(rng() % 1000) + " of the setup log\n";
  text.resize(n);
  return text;
}

// A launcher image as the packager needs it: "MZ", "PE" at 256, some body.
PackageTrailer TrailerAtEnd(const std::string& file, size_t end) {
  PackageTrailer trailer;
  std::memcpy(&trailer, file.data() + end - kTrailerSize, kTrailerSize);
  return trailer;
}

int32_t PackageEndOf(const std::string& file) {
  int32_t value;
  std::memcpy(&value, file.data() + kPackageEndOffset, 4);
  return value;
}

struct TReadBack {
  TPackageReport Report;
  std::vector<TPackEntry> Entries;
  std::map<std::string, std::string> Files;  // entries of one name appended
};

TReadBack ReadBack(const std::string& path) {
  TReadBack back;
  const std::string error = WalkPackage(path, back.Report, [&](const TPackEntry& entry) {
    back.Entries.push_back(entry);
    back.Files[entry.Name] += entry.Content;
    return std::string();
  });
  EXPECT_EQ(error, "");
  return back;
}

class PackageWriterTest : public TScratchFolderTest {
 protected:
  // No file other than `expected` lies in the scratch folder.
  void ExpectOnlyFiles(const std::vector<std::string>& expected) {
    std::vector<std::string> names;
    FILE* list = popen(("ls -A '" + scratch_.Root() + "'").c_str(), "r");
    char line[512];
    while (list && fgets(line, sizeof line, list)) names.push_back(Trim(line));
    if (list) pclose(list);
    EXPECT_EQ(names, expected);
  }

  TPackageDescription Basic() const {
    TPackageDescription d;
    d.StubImage = FakeStub(2048, 42);
    d.Files.push_back(
        {"readme.txt", "", "Read me first.\r\n", PackDosDateTime(2024, 6, 11, 13, 45, 30)});
    d.Files.push_back(
        {"Setup.exe", "", "MZ fake setup program", PackDosDateTime(2023, 1, 2, 3, 4, 6)});
    d.Files.push_back({"data\\table.bin", "", RandomBytes(5000, 1), 0});
    d.Files.push_back({"empty.txt", "", "", PackDosDateTime(2020, 2, 29, 0, 0, 0)});
    d.MainProgram = "setup.exe* /S /D=\"C:\\x\"";
    return d;
  }
};

TEST_F(PackageWriterTest, RoundTripThroughTheReaders) {
  TPackageDescription d = Basic();
  d.LangSections.push_back({"English", {{"s1", "Unpacking..."}, {"s7", "Bad checksum<P>retry"}}});
  d.UpdateLocation = "http://updates.example.com/app/";
  d.UpdateInfoName = "app.info";
  d.AutoUpdateProgName = "AppUpdate.exe";
  d.UpdateToken = "publisher-4711";
  d.HiddenExtract = true;
  d.MakeAutoUpdateProg = true;
  d.AlwaysShowTempNotice = true;
  const std::string out = Path("setup.exe");
  TPackResult result;
  ASSERT_EQ(WritePackage(d, out, &result), "");
  EXPECT_EQ(result.DiskPaths, std::vector<std::string>{out});
  EXPECT_EQ(result.FilesCount, 4);
  EXPECT_EQ(result.EntryCount, 4);

  const std::string file = ReadAll(out);
  EXPECT_EQ(PackageEndOf(file), static_cast<int32_t>(file.size()));
  const std::string stub = FakeStub(2048, 42);
  EXPECT_EQ(file.substr(0, kPackageEndOffset), stub.substr(0, kPackageEndOffset));
  EXPECT_EQ(file.substr(256, stub.size() - 256), stub.substr(256));

  const PackageTrailer t = TrailerAtEnd(file, file.size());
  EXPECT_EQ(t.FormatByte, 1);
  EXPECT_EQ(t.HeaderBlockCount, 2);
  EXPECT_EQ(Field(t.DataOffset), static_cast<int32_t>(stub.size()));
  EXPECT_EQ(Field(t.FilesCount), 4);
  EXPECT_EQ(Field(t.PackageMagic), kPackageMagic);
  EXPECT_EQ(Field(t.ExpectedCrc), CrcOfImage(file));
  EXPECT_EQ(t.PackageFlags, kFlagAlwaysShowTempNotice);
  EXPECT_EQ(t.MakeAutoUpdateProg, 1);
  EXPECT_EQ(t.IsWebSetup, 0);
  EXPECT_EQ(t.ThisIs_AutoUpdateProg, 0);
  EXPECT_EQ(Field(t.TrailerLength), 74);
  // Exact total, then every file rounded up to 512 ... 65536-byte clusters.
  const uint32_t sizes[] = {16, 21, 5000, 0};
  for (int i = 0; i < 9; ++i) {
    const uint32_t cluster = i == 0 ? 1 : 256u << i;
    uint32_t total = 0;
    for (uint32_t s : sizes) total += (s + cluster - 1) / cluster * cluster;
    EXPECT_EQ(Field(t.SpaceTable[i]), total) << "entry " << i;
  }

  TGFileInfo info(out);
  EXPECT_EQ(info.UpdateLocation(), "http://updates.example.com/app/");
  EXPECT_EQ(info.InfoFileName(), "app.info");
  EXPECT_EQ(info.AutoUpdateProgName(), "AppUpdate.exe");
  EXPECT_EQ(info.UpdateToken(true), "publisher-4711");
  EXPECT_EQ(info.UpdateToken(false).size(), 48u);
  EXPECT_TRUE(info.HiddenExtract());
  EXPECT_TRUE(info.MakeAutoUpdateProg());
  EXPECT_TRUE(info.AlwaysShowTempNotice());
  EXPECT_FALSE(info.HasNextDisk());
  EXPECT_EQ(info.WebList(), "");
  EXPECT_EQ(info.InfoList().front(), '|');

  const TReadBack back = ReadBack(out);
  ASSERT_EQ(back.Report.Disks.size(), 1u);
  EXPECT_TRUE(back.Report.Disks[0].CrcMatches);
  ASSERT_EQ(back.Entries.size(), 4u);
  // The main program comes first, marked and with its arguments.
  EXPECT_EQ(back.Entries[0].Header, "|Setup.exe* /S /D=\"C:\\x\"|" +
                                        std::to_string(PackDosDateTime(2023, 1, 2, 3, 4, 6)) + "|");
  EXPECT_EQ(back.Entries[0].Name, "Setup.exe");
  EXPECT_EQ(back.Entries[0].MainProgram, "Setup.exe* /S /D=\"C:\\x\"");
  const char* order[] = {"Setup.exe", "readme.txt", "data\\table.bin", "empty.txt"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(back.Entries[i].Name, order[i]);
    EXPECT_EQ(back.Entries[i].Error, "");
    if (i > 0) {
      EXPECT_EQ(back.Entries[i].MainProgram, "");
    }
  }
  for (const TPackFile& f : d.Files) EXPECT_EQ(back.Files.at(f.Name), f.Content) << f.Name;
  EXPECT_EQ(back.Entries[1].DosDateTime, PackDosDateTime(2024, 6, 11, 13, 45, 30));
  EXPECT_EQ(back.Entries[2].DosDateTime, 0u);

  // Entries are zlib streams whose header names the slowest levels (zlib 7-9,
  // libdeflate 8-12).
  const size_t firstEntry = static_cast<size_t>(info.Trailer().DataOffset);
  EXPECT_EQ(static_cast<unsigned char>(file[firstEntry + 4]), 0x78);
  EXPECT_EQ(static_cast<unsigned char>(file[firstEntry + 5]), 0xDA);
  ExpectOnlyFiles({"setup.exe"});
}

TEST_F(PackageWriterTest, ExitCodeModeIsASixthInfoFieldThatOlderPackagesLack) {
  TPackageDescription d = Basic();
  d.UpdateToken = "t";
  ASSERT_EQ(WritePackage(d, Path("handshake.exe"), nullptr), "");
  d.SuccessByExitCode = true;
  ASSERT_EQ(WritePackage(d, Path("exitcode.exe"), nullptr), "");
  const TGFileInfo handShake(Path("handshake.exe"));
  const TGFileInfo exitCode(Path("exitcode.exe"));
  EXPECT_EQ(FieldCount(handShake.InfoList()), 5);
  EXPECT_FALSE(handShake.SuccessByExitCode());
  EXPECT_EQ(FieldCount(exitCode.InfoList()), 6);
  EXPECT_TRUE(exitCode.SuccessByExitCode());
  // The first five fields, and with them what older launchers read, stay as they were.
  EXPECT_EQ(exitCode.InfoList(),
            handShake.InfoList() + "exit-code" + handShake.InfoList().substr(0, 1));
  EXPECT_EQ(exitCode.UpdateToken(true), "t");
}

TEST_F(PackageWriterTest, SourceFilesTakeTheirSizeAndTime) {
  const std::string source = Path("big.dat");
  const std::string bytes = TextBytes(300000, 3);
  WriteAll(source, bytes);
  std::system(("touch -d '2021-07-04 10:20:30' '" + source + "'").c_str());
  TPackageDescription d;
  d.StubImage = FakeStub(2048, 42);
  d.Files.push_back({"bin\\big.dat", source, "", 0});
  d.PieceSize = 65536;  // five entries of one name
  ASSERT_EQ(WritePackage(d, Path("p.exe")), "");
  const TReadBack back = ReadBack(Path("p.exe"));
  ASSERT_EQ(back.Entries.size(), 5u);
  for (const TPackEntry& e : back.Entries) {
    EXPECT_EQ(e.Name, "bin\\big.dat");
    EXPECT_EQ(e.DosDateTime, PackDosDateTime(2021, 7, 4, 10, 20, 30));
  }
  EXPECT_EQ(back.Files.at("bin\\big.dat"), bytes);
  TGFileInfo info(Path("p.exe"));
  EXPECT_EQ(Field(info.Trailer().FilesCount), 1);
  EXPECT_EQ(Field(info.Trailer().SpaceTable[0]), 300000u);
}

TEST_F(PackageWriterTest, AppendedBytesKeepTrailerAndChecksum) {
  ASSERT_EQ(WritePackage(Basic(), Path("setup.exe")), "");
  const std::string file = ReadAll(Path("setup.exe"));
  const std::string grown = file + RandomBytes(10000, 8);
  WriteAll(Path("grown.exe"), grown);
  EXPECT_EQ(CrcOfImage(grown), TrailerAtEnd(file, file.size()).ExpectedCrc);
  const TReadBack back = ReadBack(Path("grown.exe"));
  EXPECT_TRUE(back.Report.Disks[0].CrcMatches);
  EXPECT_EQ(back.Entries.size(), 4u);
  TGFileInfo info(Path("grown.exe"));
  EXPECT_EQ(Field(info.Trailer().FilesCount), 4);
}

TEST_F(PackageWriterTest, StreamedChecksumForEveryBodyAlignment) {
  // The checksum leaves out the last 5 to 8 bytes before the trailer,
  // depending on the body length modulo 4: try every remainder, with the
  // body ending in the middle of a 4096-byte piece and near its end.
  for (size_t stubSize : {size_t{1024}, size_t{1027}, size_t{4096 - 37}}) {
    for (size_t length = 0; length < 12; ++length) {
      TPackageDescription d;
      d.StubImage = FakeStub(stubSize, 42);
      d.Files.push_back({"a.bin", "", RandomBytes(length * 97, static_cast<uint32_t>(length)), 0});
      ASSERT_EQ(WritePackage(d, Path("p.exe")), "");
      const std::string file = ReadAll(Path("p.exe"));
      ASSERT_EQ(Field(TrailerAtEnd(file, file.size()).ExpectedCrc), CrcOfImage(file))
          << "stub " << stubSize << " length " << length;
    }
  }
}

TEST_F(PackageWriterTest, ChecksumCatchesDamage) {
  ASSERT_EQ(WritePackage(Basic(), Path("setup.exe")), "");
  std::string file = ReadAll(Path("setup.exe"));
  file[file.size() - 200] ^= 1;
  WriteAll(Path("bad.exe"), file);
  TPackageReport report;
  WalkPackage(Path("bad.exe"), report, [](const TPackEntry&) { return std::string(); });
  ASSERT_EQ(report.Disks.size(), 1u);
  EXPECT_FALSE(report.Disks[0].CrcMatches);
}

TEST_F(PackageWriterTest, SpannedPackageSplitsOverDisks) {
  TPackageDescription d = Basic();
  const std::string big = RandomBytes(150000, 77);  // does not compress
  d.Files.push_back({"assets\\big.cab", "", big, 0});
  for (int i = 0; i < 30; ++i)
    d.Files.push_back({"res\\r" + std::to_string(i) + ".txt", "", TextBytes(3000 + i * 500, i), 0});
  d.DiskSize = 40000;
  const std::string out = Path("setup.exe");
  TPackResult result;
  ASSERT_EQ(WritePackage(d, out, &result), "");
  ASSERT_GE(result.DiskPaths.size(), 5u);

  for (size_t i = 0; i < result.DiskPaths.size(); ++i) {
    const std::string path = result.DiskPaths[i];
    EXPECT_EQ(path, DiskFileName(out, static_cast<int>(i) + 1));
    const std::string disk = ReadAll(path);
    EXPECT_LE(disk.size(), 40000u) << path;
    const PackageTrailer t = TrailerAtEnd(disk, disk.size());
    const bool last = i + 1 == result.DiskPaths.size();
    EXPECT_EQ((t.PackageFlags & kFlagHasNextDisk) != 0, !last) << path;
    EXPECT_EQ(Field(t.ExpectedCrc), CrcOfImage(disk)) << path;
    EXPECT_EQ(Field(t.PackageMagic), kPackageMagic);
    EXPECT_EQ(Field(t.FilesCount), 35);
    if (i == 0) {
      EXPECT_TRUE(IsImageFile(disk));
      EXPECT_EQ(PackageEndOf(disk), static_cast<int32_t>(disk.size()));
    } else {
      EXPECT_FALSE(IsImageFile(disk));
      EXPECT_EQ(disk.substr(0, 7), "ORVDISK");
      EXPECT_EQ(disk[7], static_cast<char>(i + 1));
      EXPECT_EQ(Field(t.DataOffset), kDiskMarkSize);
    }
  }
  EXPECT_EQ(DiskFileName(out, 2), out + ".002");
  const TReadBack back = ReadBack(out);
  EXPECT_EQ(back.Report.Disks.size(), result.DiskPaths.size());
  for (const TDiskCheck& disk : back.Report.Disks) EXPECT_TRUE(disk.CrcMatches) << disk.Path;
  EXPECT_EQ(back.Report.MissingDisk, "");
  for (const TPackFile& f : d.Files) EXPECT_EQ(back.Files.at(f.Name), f.Content) << f.Name;
  EXPECT_GT(back.Entries.back().Disk, 1);
  TGFileInfo info(out);
  EXPECT_TRUE(info.HasNextDisk());
}

// At the default compressor and level.
TEST_F(PackageWriterTest, ThreadCountDoesNotChangeTheBytes) {
  TPackageDescription d = Basic();
  for (int i = 0; i < 40; ++i) {
    d.Files.push_back({"f" + std::to_string(i) + ".bin", "",
                       i % 3 ? TextBytes(20000 + i * 777, i) : RandomBytes(9000, i), 0});
  }
  d.PieceSize = 16384;
  for (int64_t diskSize : {int64_t{0}, int64_t{60000}}) {
    d.DiskSize = diskSize;
    d.Threads = 1;
    // Progress counts a file once, with its last piece, and ends at the totals.
    std::vector<TPackProgress> steps;
    d.Progress = [&](const TPackProgress& p) { steps.push_back(p); };
    TPackResult one;
    ASSERT_EQ(WritePackage(d, Path("one.exe"), &one), "");
    ASSERT_EQ(static_cast<int64_t>(steps.size()), one.EntryCount);
    for (size_t i = 1; i < steps.size(); ++i) {
      EXPECT_GE(steps[i].BytesDone, steps[i - 1].BytesDone);
      EXPECT_LE(steps[i].FilesDone - steps[i - 1].FilesDone, 1);
    }
    EXPECT_EQ(steps.back().FilesDone, 44);
    EXPECT_EQ(steps.back().FilesTotal, 44);
    EXPECT_EQ(steps.back().BytesDone, one.InputBytes);
    EXPECT_EQ(steps.back().BytesTotal, one.InputBytes);
    d.Progress = nullptr;
    d.Threads = 7;
    TPackResult seven;
    ASSERT_EQ(WritePackage(d, Path("seven.exe"), &seven), "");
    ASSERT_EQ(one.DiskPaths.size(), seven.DiskPaths.size());
    for (size_t i = 0; i < one.DiskPaths.size(); ++i) {
      EXPECT_TRUE(ReadAll(one.DiskPaths[i]) == ReadAll(seven.DiskPaths[i])) << "disk " << i + 1;
    }
  }
}

TEST_F(PackageWriterTest, WebListAndTokens) {
  TPackageDescription d = Basic();
  d.HasWebList = true;
  d.IsWebSetup = true;
  d.AskBeforeDownload = true;
  d.WebFolder = "http://example.com/dl/";
  d.WebSetupName = "FullSetup.exe";
  d.WebAlwaysDownload = true;
  d.WebToken = "web|token";
  d.WebSetupSize = "123456789";
  d.UpdateToken = "same";
  ASSERT_EQ(WritePackage(d, Path("web.exe")), "");
  d.WebToken = "web|token";
  d.UpdateToken = "other";
  ASSERT_EQ(WritePackage(d, Path("web2.exe")), "");

  TGFileInfo info(Path("web.exe"));
  TGFileInfo other(Path("web2.exe"));
  EXPECT_EQ(info.Trailer().HeaderBlockCount, 3);
  EXPECT_TRUE(info.IsWebSetup());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_EQ(info.WebFolder(), "http://example.com/dl/");
  EXPECT_EQ(info.WebSetupName(), "FullSetup.exe");
  EXPECT_TRUE(info.WebAlwaysDownload());
  EXPECT_EQ(info.WebToken(true), "web|token");
  EXPECT_EQ(info.WebSetupSize(), "123456789");
  EXPECT_TRUE(info.SameWebToken(other));
  EXPECT_FALSE(info.SameUpdateToken(other));
  EXPECT_EQ(ReadBack(Path("web.exe")).Entries.size(), 4u);
}

TEST_F(PackageWriterTest, WebSetupLauncherWithoutFiles) {
  TPackageDescription d;
  d.StubImage = FakeStub(2048, 42);
  d.IsWebSetup = true;
  d.HasWebList = true;
  d.WebSetupName = "Full.exe";
  ASSERT_EQ(WritePackage(d, Path("web.exe")), "");
  const std::string file = ReadAll(Path("web.exe"));
  EXPECT_EQ(Field(TrailerAtEnd(file, file.size()).FilesCount), 0);
  EXPECT_EQ(ReadBack(Path("web.exe")).Entries.size(), 0u);
  EXPECT_EQ(TGFileInfo(Path("web.exe")).WebSetupName(), "Full.exe");
}

TEST(BuildLangTexts, SectionsAndDelimiters) {
  struct Case {
    const char* what;
    std::vector<TLangSection> sections;
  };
  const Case cases[] = {
      {"no sections", {}},
      {"English only", {{"English", {{"s1", "Extracting..."}, {"s10", "Downloading"}}}}},
      {"no English", {{"French", {{"s1", "Extraction..."}}}, {"German", {{"s1", "Entpacken..."}}}}},
      {"pipe in a text", {{"English", {{"s1", "a|b"}, {"BtnText", "|&OK|&Cancel|"}}}}},
      {"empty text", {{"Hebrew", {{"s1", ""}, {"Charset", "177"}}}}},
  };
  for (const Case& c : cases) {
    std::string block;
    ASSERT_EQ(BuildLangTexts(c.sections, block), "") << c.what;
    ASSERT_EQ(block.front(), '\x02');
    ASSERT_EQ(block.back(), '\x02');
    ASSERT_EQ(FieldCount(block), static_cast<int>(c.sections.size())) << c.what;
    for (size_t i = 0; i < c.sections.size(); ++i) {
      const std::string section = GetField(block, static_cast<int>(i), "");
      EXPECT_EQ(GetField(section, 0, ""), c.sections[i].Language) << c.what;
      EXPECT_NE(section.front(), '\x02');
      for (const auto& text : c.sections[i].Texts) {
        EXPECT_EQ(GetKeyValue(section, text.first, "(missing)"), text.second)
            << c.what << " " << text.first;
        EXPECT_EQ(text.second.find(section.front()), std::string::npos)
            << "delimiter inside a text";
      }
    }
  }
}

TEST(BuildLangTexts, RefusesWhatCannotBeStored) {
  std::string block;
  EXPECT_NE(BuildLangTexts({{"English", {{"s1", "a\x02z"}}}}, block), "");
  EXPECT_NE(BuildLangTexts({{"", {{"s1", "x"}}}}, block), "");
  EXPECT_NE(BuildLangTexts({{"English", {{"", "x"}}}}, block), "");
  EXPECT_NE(BuildLangTexts({{"English", {{"a=b", "x"}}}}, block), "");
}

TEST(BuildFieldList, PrefersPipe) {
  std::string list;
  ASSERT_TRUE(BuildFieldList({"a", "", "c"}, list));
  EXPECT_EQ(list, "|a||c|");
  ASSERT_TRUE(BuildFieldList({"x|y", "z"}, list));
  EXPECT_EQ(FieldCount(list), 2);
  EXPECT_EQ(GetField(list, 0, ""), "x|y");
}

// The packager packs only names the launcher extracts, and says why not.
TEST_F(PackageWriterTest, EntryNamesFollowTheLaunchersRule) {
  const struct {
    const char* name;
    const char* refusal;  // part of the error, or nullptr when the name packs
  } cases[] = {
      {"a.txt", nullptr},
      {"dir\\sub\\a.txt", nullptr},
      {"dir/a.txt", nullptr},
      {"..a\\b..", nullptr},
      {"...txt", nullptr},
      // On Windows a part of dots alone names the folder itself or one above.
      {"...", "WOULD REFUSE"},
      {"a\\...\\b", "WOULD REFUSE"},
      {".. ", "WOULD REFUSE"},
      {"..\\a.txt", "WOULD REFUSE"},
      {"a\\..\\b", "WOULD REFUSE"},
      {"a/../b", "WOULD REFUSE"},
      {"\\a.txt", "WOULD REFUSE"},
      {"/a.txt", "WOULD REFUSE"},
      {"\\\\server\\share\\a", "WOULD REFUSE"},
      {"C:\\a.txt", "WOULD REFUSE"},
      {"C:a.txt", "WOULD REFUSE"},
      {"a.txt:s", "WOULD REFUSE"},
      {"", "NOT A USABLE"},
      {"a\\", "NOT A USABLE"},
      {"a\\\\b", "NOT A USABLE"},
      {"a|b", "NOT A USABLE"},
  };
  for (const auto& c : cases) {
    TPackageDescription d = Basic();
    d.Files.push_back({c.name, "", "x", 0});
    const std::string error = WritePackage(d, Path("names.exe"));
    if (c.refusal == nullptr) {
      EXPECT_EQ(error, "") << c.name;
      EXPECT_TRUE(IsSafeEntryName(c.name)) << c.name;
    } else {
      EXPECT_NE(UpperCase(error).find(c.refusal), std::string::npos) << c.name << ": " << error;
    }
  }
}

TEST_F(PackageWriterTest, RefusalsLeaveNoOutput) {
  WriteAll(Path("out.exe"), "older package");
  WriteAll(Path("notpe.bin"), std::string(4000, 'x'));
  // A sparse file of 3 GB: two of them are more than the SpaceTable holds.
  const std::string huge = Path("huge.bin");
  WriteAll(huge, "");
  ASSERT_EQ(truncate(huge.c_str(), off_t{3} << 30), 0);
  struct Case {
    const char* what;
    std::function<void(TPackageDescription&)> change;
  };
  const std::string missing = Path("missing.dat");
  const std::string notPe = Path("notpe.bin");
  const Case cases[] = {
      {"stub without PE", [](TPackageDescription& d) { d.StubImage = std::string(4000, 'M'); }},
      {"stub too short", [](TPackageDescription& d) { d.StubImage = "MZ"; }},
      {"stub file missing",
       [&](TPackageDescription& d) {
         d.StubImage.clear();
         d.StubPath = missing;
       }},
      {"stub file not PE",
       [&](TPackageDescription& d) {
         d.StubImage.clear();
         d.StubPath = notPe;
       }},
      {"input file missing",
       [&](TPackageDescription& d) {
         d.Files.push_back({"x.dat", missing, "", 0});
       }},
      {"main program absent", [](TPackageDescription& d) { d.MainProgram = "Install.exe"; }},
      {"absolute name",
       [](TPackageDescription& d) {
         d.Files.push_back({"C:\\x.dat", "", "x", 0});
       }},
      {"escaping name",
       [](TPackageDescription& d) {
         d.Files.push_back({"..\\x.dat", "", "x", 0});
       }},
      {"pipe in a name",
       [](TPackageDescription& d) {
         d.Files.push_back({"a|b", "", "x", 0});
       }},
      {"name twice",
       [](TPackageDescription& d) {
         d.Files.push_back({"README.TXT", "", "x", 0});
       }},
      {"pipe in arguments", [](TPackageDescription& d) { d.MainProgram = "Setup.exe* a|b"; }},
      {"web setup without web list", [](TPackageDescription& d) { d.IsWebSetup = true; }},
      {"disk too small for the image", [](TPackageDescription& d) { d.DiskSize = 1000; }},
      {"disk size beyond 2 GB", [](TPackageDescription& d) { d.DiskSize = int64_t{1} << 31; }},
      {"files beyond 4 GB",
       [&](TPackageDescription& d) {
         d.Files.push_back({"huge1.bin", huge, "", 1});
         d.Files.push_back({"huge2.bin", huge, "", 1});
       }},
  };
  for (const Case& c : cases) {
    TPackageDescription d = Basic();
    c.change(d);
    const std::string error = WritePackage(d, Path("out.exe"));
    EXPECT_NE(error, "") << c.what;
    EXPECT_EQ(ReadAll(Path("out.exe")), "older package") << c.what;
    ExpectOnlyFiles({"huge.bin", "notpe.bin", "out.exe"});
  }
}

TEST_F(PackageWriterTest, MissingOutputFolderIsAnError) {
  EXPECT_NE(WritePackage(Basic(), Path("no/such/dir/setup.exe")), "");
}

TEST_F(PackageWriterTest, StaleDisksOfAnEarlierBuildGo) {
  TPackageDescription d = Basic();
  d.Files.push_back({"big.bin", "", RandomBytes(100000, 5), 0});
  d.DiskSize = 30000;
  TPackResult spanned;
  ASSERT_EQ(WritePackage(d, Path("setup.exe"), &spanned), "");
  ASSERT_GE(spanned.DiskPaths.size(), 4u);
  d.DiskSize = 0;
  TPackResult single;
  ASSERT_EQ(WritePackage(d, Path("setup.exe"), &single), "");
  ExpectOnlyFiles({"setup.exe"});
  EXPECT_EQ(ReadBack(Path("setup.exe")).Files.at("big.bin"), d.Files.back().Content);
}

}  // namespace
