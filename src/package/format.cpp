#include "package/format.h"

#include <algorithm>

#include "util/text.h"

namespace {

// Stored token bytes are written as two hexadecimal digits each, every digit
// shifted up by this much: "0".."9" become "b".."k" and "A".."F" become
// "s".."x", so the stored form is all lowercase letters.
constexpr int kTokenShift = 50;

// The smallest decoded token frame UnscrambleToken accepts.
constexpr size_t kMinTokenFrame = 5;

// A frame holds at least this many bytes (48 stored letters): short tokens
// get more padding, longer ones at least kMinPadding bytes of it.
constexpr size_t kMinFrame = 24;
constexpr size_t kMinPadding = 4;

// The text UnscrambleToken gives for a field that holds no token: a random
// decimal number below 99999, so two invalid tokens practically never
// compare equal.
std::string InvalidTokenText() { return RandomDecimal(0, 99998); }

// splitmix64: a small, well-mixed generator for the scrambled token's
// padding, seeded from the token so the stored form is reproducible.
uint64_t NextMixed(uint64_t& state) {
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The digit of `c` in "0123456789ABCDEF", a-f read as A-F; -1 for any
// other character.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint64_t HashOf(const std::string& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

}  // namespace

bool IsImageFile(const std::string& head) {
  return head.size() >= kPeSignatureOffset + 2 && head[0] == 'M' && head[1] == 'Z' &&
         head[kPeSignatureOffset] == 'P' && head[kPeSignatureOffset + 1] == 'E';
}

std::string UnscrambleToken(const std::string& stored) {
  // Each pair of stored letters, shifted back, is read as ParseHex reads
  // text: blanks (codes 0..32) at either end dropped, a-f as A-F, any other
  // character a digit of -1; the low byte is kept.
  std::string d;
  for (size_t i = 0; i < stored.size(); i += 2) {
    unsigned value = 0;
    for (size_t k = i; k < i + 2 && k < stored.size(); ++k) {
      const char c = static_cast<char>(static_cast<unsigned char>(stored[k]) - kTokenShift);
      if (static_cast<unsigned char>(c) > 32) {
        value = value * 16 + static_cast<unsigned>(HexDigit(c));
      }
    }
    d.push_back(static_cast<char>(value & 0xFF));
  }
  const size_t n = d.size();
  if (n < kMinTokenFrame) return InvalidTokenText();

  // The byte before the last holds the 8-bit sum of all the others.
  unsigned char sum = 0;
  for (size_t i = 0; i < n; ++i) {
    if (i != n - 2) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(d[i]));
  }
  if (sum != static_cast<unsigned char>(d[n - 2])) return InvalidTokenText();

  const char key = static_cast<char>(d[0] ^ d[n - 1]);
  for (size_t i = 1; i + 1 < n; ++i) d[i] = static_cast<char>(d[i] ^ key);

  const int64_t lead = static_cast<unsigned char>(d[1]);
  const int64_t tail = static_cast<unsigned char>(d[2]);
  const int64_t count = static_cast<int64_t>(n) - lead - tail - 4;
  if (count <= 0) return std::string();
  // 1-based position lead + 4 is index lead + 3.
  return d.substr(static_cast<size_t>(lead + 3), static_cast<size_t>(count));
}

std::string ScrambleToken(const std::string& token) {
  uint64_t state = HashOf(token);
  const size_t frame = std::max(kMinFrame, token.size() + 4 + kMinPadding);
  const size_t padding = frame - token.size() - 4;
  // The tail padding counts the check byte, so it is at least 1; both
  // counts stay below 21 and fit their bytes.
  const size_t lead = static_cast<size_t>(NextMixed(state) % padding);
  const size_t tail = padding - lead;
  const char first = static_cast<char>(NextMixed(state));
  const char last = static_cast<char>(NextMixed(state));
  const char key = static_cast<char>(first ^ last);

  // Frame: first byte, lead, tail, lead padding, token, tail - 1 padding,
  // check byte, last byte. Everything between the first byte and the check
  // byte is stored xor-ed with the key.
  std::string d;
  d.push_back(first);
  d.push_back(static_cast<char>(lead ^ key));
  d.push_back(static_cast<char>(tail ^ key));
  for (size_t i = 0; i < lead; ++i) d.push_back(static_cast<char>(NextMixed(state)));
  for (char c : token) d.push_back(static_cast<char>(c ^ key));
  for (size_t i = 0; i + 1 < tail; ++i) d.push_back(static_cast<char>(NextMixed(state)));
  unsigned char sum = static_cast<unsigned char>(last);
  for (char c : d) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
  d.push_back(static_cast<char>(sum));
  d.push_back(last);

  static const char kDigits[] = "0123456789ABCDEF";
  std::string stored;
  stored.reserve(d.size() * 2);
  for (unsigned char c : d) {
    stored.push_back(static_cast<char>(kDigits[c >> 4] + kTokenShift));
    stored.push_back(static_cast<char>(kDigits[c & 0x0F] + kTokenShift));
  }
  return stored;
}

CrcPlan PlanCrc(int64_t physicalSize, int32_t packageEnd, int32_t trailerLength) {
  CrcPlan plan;
  // GetCrc keeps the low 32 bits of the file size; PackageEnd replaces it.
  int64_t covered = physicalSize & 0xFFFFFFFFll;
  if (packageEnd > 0) covered = packageEnd;
  int64_t remaining = covered - trailerLength;
  if (packageEnd > 0) {
    remaining -= kCrcSkippedHeader;
    plan.StartOffset = kCrcSkippedHeader;
  }

  const int64_t bytesRead = std::max<int64_t>(0, physicalSize - plan.StartOffset);
  const int64_t wordsRead = bytesRead / 4;
  const int64_t fullPieces = bytesRead / kCrcPieceSize;

  // Word j (from 1) counts while remaining - 4j > 4.
  const int64_t wordsInRange = remaining >= 5 ? (remaining - 5) / 4 : 0;
  plan.WordsToSum = std::min(wordsRead, wordsInRange);

  // The bonus follows every piece after which the remaining count is still
  // above 4: the full pieces first, then the short (possibly empty) last one.
  const int64_t piecesInRange = remaining >= 5 ? (remaining - 5) / kCrcPieceSize : 0;
  plan.BonusCount = std::min(fullPieces, piecesInRange);
  if (remaining - 4 * wordsRead > 4) plan.BonusCount += 1;
  return plan;
}

uint32_t SumWords(const uint8_t* data, size_t count) {
  uint32_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* w = data + 4 * i;
    sum += static_cast<uint32_t>(w[0]) | static_cast<uint32_t>(w[1]) << 8 |
           static_cast<uint32_t>(w[2]) << 16 | static_cast<uint32_t>(w[3]) << 24;
  }
  return sum;
}

uint32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second) {
  // The DOS form holds the years 1980 to 2107; earlier stamps become the
  // first moment it can hold, later ones the last.
  if (year < 1980) return (1u << 5 | 1u) << 16;
  if (year > 2107) return ((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);
  const uint32_t date = static_cast<uint32_t>(year - 1980) << 9 |
                        static_cast<uint32_t>(month) << 5 | static_cast<uint32_t>(day);
  const uint32_t time = static_cast<uint32_t>(hour) << 11 | static_cast<uint32_t>(minute) << 5 |
                        static_cast<uint32_t>(second / 2);
  return date << 16 | time;
}
