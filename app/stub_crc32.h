// CRC-32 (the gzip polynomial) one bit at a time: no table, a few dozen
// bytes of code. The launcher only inflates zlib streams, whose check is
// Adler-32, so this runs only if a gzip stream ever reaches inflate.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t BitwiseCrc32(uint32_t crc, const uint8_t* data, size_t size) {
  crc = ~crc;
  while (size-- > 0) {
    crc ^= *data++;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
