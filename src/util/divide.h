// 64-bit quotients and remainders through one routine. On 32-bit x86 the
// compiler calls a runtime routine for every 64-bit "/" and "%", a different
// one of about 300 bytes for each of signed and unsigned quotient and
// remainder, and libgcc's one that gives both is about 460 bytes; the
// launcher divides through these functions, so its image holds only the
// short loop below. Its few divisions (digits of a number, a random draw,
// a rate) are far too rare for the loop's 64 rounds to matter.
#pragma once

#include <cstdint>

#if defined(__GNUC__) && defined(__i386__)
// Four-byte aligned, as a 64-bit number on its own on the stack is: a
// result aligned to eight would make every caller realign its frame.
typedef uint64_t TDivisionPart __attribute__((aligned(4)));
#else
typedef uint64_t TDivisionPart;
#endif

struct TDivision {
  TDivisionPart Quotient;
  TDivisionPart Remainder;
};

#if defined(__GNUC__) && defined(__i386__)
// Long division one bit at a time: the dividend shifts out of `quotient`
// into `remainder` while the quotient's bits shift in. The divisor is never
// zero here.
[[gnu::noinline]] inline TDivision DivideUnsigned(uint64_t dividend, uint64_t divisor) {
  uint64_t quotient = dividend;
  uint64_t remainder = 0;
  for (int round = 0; round < 64; ++round) {
    const bool carry = (remainder >> 63) != 0;
    remainder = (remainder << 1) | (quotient >> 63);
    quotient <<= 1;
    if (carry || remainder >= divisor) {
      remainder -= divisor;
      quotient |= 1;
    }
  }
  return {quotient, remainder};
}
#else
inline TDivision DivideUnsigned(uint64_t dividend, uint64_t divisor) {
  return {dividend / divisor, dividend % divisor};
}
#endif

// The quotient truncated toward zero, as "/" gives it.
inline int64_t DivideSigned(int64_t dividend, int64_t divisor) {
  const uint64_t magnitude = dividend < 0 ? 0 - static_cast<uint64_t>(dividend) : dividend;
  const uint64_t by = divisor < 0 ? 0 - static_cast<uint64_t>(divisor) : divisor;
  const uint64_t quotient = DivideUnsigned(magnitude, by).Quotient;
  return static_cast<int64_t>((dividend < 0) != (divisor < 0) ? 0 - quotient : quotient);
}
