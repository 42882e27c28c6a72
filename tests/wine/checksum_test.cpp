// GetCrc reads real files in large pieces; its value must be the one the
// packager computes in memory (CrcOfImage), whatever the file's length,
// layout and appended bytes.
#include "package/checksum.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "bytes.h"
#include "package/format.h"
#include "scratch.h"

namespace {

uint32_t CrcOfWritten(const std::string& name, const std::string& data, int32_t trailerLength) {
  const TScratch scratch;
  EXPECT_TRUE(WriteAll(scratch.Path(name), data));
  return GetCrc(scratch.Path(name), trailerLength);
}

TEST(GetCrc, EqualsTheInMemorySumForManyLayouts) {
  struct Case {
    const char* what;
    std::string data;
    int32_t trailerLength;
  };
  const size_t mib = 1 << 20;
  const Case cases[] = {
      {"empty", "", kTrailerSize},
      {"shorter than a trailer", RandomBytes(50, 1), kTrailerSize},
      {"75 bytes", RandomBytes(75, 2), kTrailerSize},
      {"83 bytes", RandomBytes(83, 3), kTrailerSize},
      {"one piece less a byte", RandomBytes(4095, 4), kTrailerSize},
      {"one piece", RandomBytes(4096, 5), kTrailerSize},
      {"one piece and a byte", RandomBytes(4097, 6), kTrailerSize},
      {"around the read size", RandomBytes(mib + 3 * 4096 + 5, 7), kTrailerSize},
      {"several read sizes", RandomBytes(3 * mib + 1, 8), kTrailerSize},
      {"short trailer length", RandomBytes(10000, 9), 10},
      {"image without PackageEnd", FakeStub(200000, 10, 0), kTrailerSize},
      {"image with PackageEnd", FakeStub(2 * mib + 77, 11, 2 * mib + 77), kTrailerSize},
      {"image with bytes appended", FakeStub(2 * mib + 5000, 12, 2 * mib), kTrailerSize},
      {"PackageEnd beyond the file", FakeStub(100000, 13, 500000), kTrailerSize},
      {"negative PackageEnd", FakeStub(100000, 14, -7), kTrailerSize},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CrcOfImage(c.data, c.trailerLength), CrcOfWritten("layout", c.data, c.trailerLength))
        << c.what;
  }
}

TEST(GetCrc, AppendedBytesAndImageHeadersDoNotCount) {
  const std::string package = FakeStub(300000, 20, 300000);
  const uint32_t crc = CrcOfWritten("plain", package, kTrailerSize);
  EXPECT_EQ(crc, CrcOfWritten("appended", package + RandomBytes(12345, 21), kTrailerSize));

  std::string headerChanged = package;
  headerChanged[100] = static_cast<char>(headerChanged[100] ^ 0x55);
  EXPECT_EQ(crc, CrcOfWritten("header", headerChanged, kTrailerSize));

  std::string bodyChanged = package;
  bodyChanged[100000] = static_cast<char>(bodyChanged[100000] ^ 0x55);
  EXPECT_NE(crc, CrcOfWritten("body", bodyChanged, kTrailerSize));
}

// Values worked out by hand from the piece rule, for words that all hold 1.
TEST(GetCrc, HandComputedValues) {
  std::string ones4096(4096, '\0');
  for (size_t i = 0; i < ones4096.size(); i += 4) ones4096[i] = 1;
  // 4022 bytes remain: words 1..1004 count; after the first piece only 2
  // covered bytes are left, so no 1234 is added, and the empty second read
  // ends the loop.
  EXPECT_EQ(1004u, CrcOfWritten("4096", ones4096, kTrailerSize));
  // 100 bytes: 26 remain, words 1..5 count, no bonus.
  EXPECT_EQ(5u, CrcOfWritten("100", ones4096.substr(0, 100), kTrailerSize));
  // 8274 bytes: 8200 remain, words 1..2048 count; both full pieces leave
  // more than 4 covered bytes (4104, then 8): two bonuses; the short third
  // read leaves none.
  std::string twoPieces(8192 + 82, '\0');
  for (size_t i = 0; i < twoPieces.size(); i += 4) twoPieces[i] = 1;
  EXPECT_EQ(2048u + 2 * 1234u, CrcOfWritten("8274", twoPieces, kTrailerSize));
}

TEST(GetCrc, MissingFileGivesZero) {
  EXPECT_EQ(0u, GetCrc(TScratch().Path("does_not_exist.bin"), kTrailerSize));
  EXPECT_EQ(0u, GetCrc("", kTrailerSize));
}

}  // namespace
