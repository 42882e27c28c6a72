// The two checks that zlib's inflate calls, in the launcher's small
// versions (app/stub_zlib.cpp puts them in zlib's place).
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (the gzip polynomial) one bit at a time: no table, a few dozen
// bytes of code. The launcher only inflates zlib streams, whose check is
// Adler-32, so this runs only if a gzip stream ever reaches inflate.
inline uint32_t BitwiseCrc32(uint32_t crc, const uint8_t* data, size_t size) {
  crc = ~crc;
  while (size-- > 0) {
    crc ^= *data++;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Adler-32 over every inflated byte, four bytes a step: zlib's own runs
// sixteen a step and is five times the code, for a check that takes a few
// per cent of inflating.
inline uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size) {
  constexpr uint32_t kBase = 65521;
  // The longest run after which neither sum can have passed 32 bits.
  constexpr size_t kLongestRun = 5552;
  uint32_t a = adler & 0xFFFF;
  uint32_t b = adler >> 16;
  while (size > 0) {
    size_t run = size < kLongestRun ? size : kLongestRun;
    size -= run;
    for (; run >= 4; run -= 4, data += 4) {
      a += data[0];
      b += a;
      a += data[1];
      b += a;
      a += data[2];
      b += a;
      a += data[3];
      b += a;
    }
    for (; run > 0; --run) {
      a += *data++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}
