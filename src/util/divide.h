// 64-bit quotients and remainders through one routine. On 32-bit x86 the
// compiler calls a runtime routine for every 64-bit "/" and "%", a different
// one of about 300 bytes for each of signed and unsigned quotient and
// remainder; the launcher divides through these functions, so its image
// holds only the one routine that gives quotient and remainder together.
#pragma once

#include <cstdint>

#if defined(__GNUC__) && defined(__i386__)
// libgcc's unsigned 64-bit division with remainder.
extern "C" unsigned long long __udivmoddi4(unsigned long long dividend, unsigned long long divisor,
                                           unsigned long long* remainder);
#endif

struct TDivision {
  uint64_t Quotient;
  uint64_t Remainder;
};

inline TDivision DivideUnsigned(uint64_t dividend, uint64_t divisor) {
#if defined(__GNUC__) && defined(__i386__)
  unsigned long long remainder = 0;
  const unsigned long long quotient = __udivmoddi4(dividend, divisor, &remainder);
  return {quotient, remainder};
#else
  return {dividend / divisor, dividend % divisor};
#endif
}

// The quotient truncated toward zero, as "/" gives it.
inline int64_t DivideSigned(int64_t dividend, int64_t divisor) {
  const uint64_t magnitude = dividend < 0 ? 0 - static_cast<uint64_t>(dividend) : dividend;
  const uint64_t by = divisor < 0 ? 0 - static_cast<uint64_t>(divisor) : divisor;
  const uint64_t quotient = DivideUnsigned(magnitude, by).Quotient;
  return static_cast<int64_t>((dividend < 0) != (divisor < 0) ? 0 - quotient : quotient);
}
