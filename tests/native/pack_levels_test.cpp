// Every level of both compressors writes entries that the launcher's own
// inflate reads back byte for byte. This test is built against the zlib
// sources and the Adler-32 that Stub.exe is built from (third_party/zlib,
// app/stub_zlib.cpp), their names prefixed "z_" beside the system zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "pack/pack_reader.h"
#include "pack/package_writer.h"
#include "pack_test_support.h"

namespace {

#ifndef Z_PREFIX_SET
#error "built against the system's zlib, not the launcher's"
#endif

// The bytes the launcher's inflate makes of one zlib stream, through an
// output buffer smaller than most entries; "" with `ok` false when it
// refuses the stream or the stream does not end where the block does.
std::string LauncherInflate(const std::string& stream, bool& ok) {
  z_stream z{};
  ok = inflateInit(&z) == Z_OK;
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  int status = Z_OK;
  while (ok && status == Z_OK) {
    unsigned char buffer[3000];
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
  }
  ok = ok && status == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return ok ? out : std::string();
}

class PackLevelsTest : public TScratchFolderTest {
 protected:
  // Text, structured binary, empty, incompressible, and a file of several
  // pieces.
  TPackageDescription Mixed() const {
    std::mt19937 random(7);
    std::string text;
    while (text.size() < 30000) text += "entry " + std::to_string(random() % 500) + " unpacked\r\n";
    std::string binary;
    for (uint32_t i = 0; i < 6000; ++i)
      binary += Int32Bytes(static_cast<int32_t>(i * 0x01010101u % 977));
    TPackageDescription d;
    d.StubImage = FakeStub(1024, 3);
    d.Files.push_back({"readme.txt", "", text, 0});
    d.Files.push_back({"table.bin", "", binary, 0});
    d.Files.push_back({"empty.txt", "", "", 0});
    d.Files.push_back({"random.bin", "", RandomBytes(random, 20000), 0});
    d.Files.push_back({"big.log", "", text + binary + text, 0});
    d.PieceSize = 32768;
    d.Threads = 2;
    return d;
  }
};

TEST_F(PackLevelsTest, EveryLevelInflatesWithTheLaunchersZlib) {
  struct Case {
    TCompressor compressor;
    int largest;
  };
  const Case cases[] = {{TCompressor::kZlib, kLargestZlibLevel},
                        {TCompressor::kLibdeflate, kLargestLibdeflateLevel}};
  TPackageDescription d = Mixed();
  std::map<std::string, std::string> packages;  // "compressor level" -> bytes
  for (const Case& c : cases) {
    for (int level = 1; level <= c.largest; ++level) {
      const std::string label =
          (c.compressor == TCompressor::kZlib ? "zlib " : "libdeflate ") + std::to_string(level);
      d.Compressor = c.compressor;
      d.Level = level;
      const std::string path = Path("setup.exe");
      TPackResult result;
      ASSERT_EQ(WritePackage(d, path, &result), "") << label;
      EXPECT_EQ(result.EntryCount, 7) << label;
      const std::string package = ReadAll(path);
      std::map<std::string, std::string> files;
      TPackageReport report;
      ASSERT_EQ(
          WalkPackage(path, report,
                      [&](const TPackEntry& entry) {
                        const std::string stream =
                            package.substr(static_cast<size_t>(entry.BlockOffset) + 4,
                                           static_cast<size_t>(entry.StoredSize));
                        bool ok = false;
                        const std::string bytes = LauncherInflate(stream, ok);
                        EXPECT_TRUE(ok) << label << " " << entry.Name;
                        EXPECT_EQ(bytes.substr(0, entry.Header.size() + 1), entry.Header + '\0')
                            << label;
                        files[entry.Name] += bytes.substr(entry.Header.size() + 1);
                        return std::string();
                      }),
          "")
          << label;
      for (const TPackFile& file : d.Files) {
        EXPECT_TRUE(files[file.Name] == file.Content) << label << " " << file.Name;
      }
      packages[label] = package;
    }
  }
  // The compressor and the level are the ones asked for: the fastest level
  // packs larger than the smallest, and 0 is the default level.
  EXPECT_FALSE(packages["zlib 9"] == packages["libdeflate 9"]);
  EXPECT_GT(packages["zlib 1"].size(), packages["zlib 9"].size());
  EXPECT_GT(packages["libdeflate 1"].size(), packages["libdeflate 12"].size());
  d.Compressor = TCompressor::kLibdeflate;
  d.Level = 0;
  ASSERT_EQ(WritePackage(d, Path("default.exe")), "");
  EXPECT_TRUE(ReadAll(Path("default.exe")) ==
              packages["libdeflate " + std::to_string(kDefaultLibdeflateLevel)]);
  d.Compressor = TCompressor::kZlib;
  ASSERT_EQ(WritePackage(d, Path("default.exe")), "");
  EXPECT_TRUE(ReadAll(Path("default.exe")) == packages["zlib 9"]);
}

TEST_F(PackLevelsTest, LevelsACompressorLacksAreRefused) {
  TPackageDescription d = Mixed();
  for (const auto& wrong :
       {std::make_pair(TCompressor::kZlib, 10), std::make_pair(TCompressor::kLibdeflate, 13),
        std::make_pair(TCompressor::kLibdeflate, -1)}) {
    d.Compressor = wrong.first;
    d.Level = wrong.second;
    EXPECT_NE(WritePackage(d, Path("o.exe")), "") << wrong.second;
    EXPECT_FALSE(Exists(Path("o.exe"))) << wrong.second;
  }
}

}  // namespace
