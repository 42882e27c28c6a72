// The check that zlib's inflate calls, in the launcher's small version
// (app/stub_zlib.cpp puts it in zlib's place).
#pragma once

#include <cstddef>
#include <cstdint>

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
