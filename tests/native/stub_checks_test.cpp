// The launcher's own Adler-32 stands in for zlib's: it must give zlib's
// values, also when a check is carried across several calls and
// across Adler-32's reduction runs.
#include "../../app/stub_checks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

TEST(StubChecks, MatchZlibInOneCallAndInPieces) {
  std::vector<uint8_t> data(70000);
  uint32_t state = 12345;
  for (auto& byte : data) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
  std::vector<uint8_t> ones(20000, 0xFF);  // the largest sums per byte
  const uint8_t check[] = "123456789";
  EXPECT_EQ(Adler32(1, check, 9), 0x091E01DEu);
  for (const std::vector<uint8_t>* input : {&data, &ones}) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{3}, size_t{64}, size_t{5553}, input->size()}) {
      const uint8_t* bytes = input->data();
      const uInt length = static_cast<uInt>(size);
      const size_t cut = size / 3;
      EXPECT_EQ(Adler32(1, bytes, size), adler32(1, bytes, length)) << size;
      EXPECT_EQ(Adler32(Adler32(1, bytes, cut), bytes + cut, size - cut), adler32(1, bytes, length))
          << size;
      EXPECT_EQ(Adler32(0xFFF0FFF0u, bytes, size), adler32(0xFFF0FFF0u, bytes, length)) << size;
    }
  }
}
