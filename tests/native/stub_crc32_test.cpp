// The launcher's table-free CRC-32 stands in for zlib's: it must give zlib's
// values, also when a check is carried across several calls.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "../../app/stub_crc32.h"

TEST(StubCrc32, MatchesZlibInOneCallAndInPieces) {
  std::vector<uint8_t> data(70000);
  uint32_t state = 12345;
  for (auto& byte : data) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
  const uint8_t check[] = "123456789";
  EXPECT_EQ(BitwiseCrc32(0, check, 9), 0xCBF43926u);
  for (size_t size : {size_t{0}, size_t{1}, size_t{3}, size_t{64}, size_t{4097}, data.size()}) {
    const uint32_t whole = crc32(0, data.data(), static_cast<uInt>(size));
    EXPECT_EQ(BitwiseCrc32(0, data.data(), size), whole) << size;
    const size_t half = size / 3;
    EXPECT_EQ(BitwiseCrc32(BitwiseCrc32(0, data.data(), half), data.data() + half, size - half),
              whole)
        << size;
    EXPECT_EQ(BitwiseCrc32(0xDEADBEEFu, data.data(), size),
              crc32(0xDEADBEEFu, data.data(), static_cast<uInt>(size)))
        << size;
  }
}
