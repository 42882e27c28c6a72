#include "package/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bytes.h"

namespace {

// GetCrc as the launcher runs it, step by step over an in-memory file: read
// 4096-byte pieces to the physical end, count the remaining bytes down per
// word, add 1234 after each piece while more than 4 remain.
uint32_t GetCrcLoop(const std::string& file, int32_t trailerLength) {
  int64_t size = static_cast<int64_t>(file.size());
  int32_t packageEnd = 0;
  if (IsImageFile(file)) std::memcpy(&packageEnd, file.data() + kPackageEndOffset, 4);
  int64_t s = size;
  if (packageEnd > 0) s = packageEnd;
  int64_t r = s - trailerLength;
  int64_t pos = 0;
  if (packageEnd > 0) {
    r -= 512;
    pos = 512;
  }
  uint32_t sum = 0;
  for (;;) {
    int64_t got = 0;
    if (pos < size) got = std::min<int64_t>(4096, size - pos);
    for (int64_t i = 0; i < got / 4; ++i) {
      r -= 4;
      uint32_t word;
      std::memcpy(&word, file.data() + pos + 4 * i, 4);
      if (r > 4) sum += word;
    }
    if (r > 4) sum += 1234;
    pos += got;
    if (got < 4096) break;
  }
  return sum;
}

}  // namespace

TEST(IsImageFile, NeedsMzAtStartAndPeAt256) {
  std::string good(300, 'x');
  good[0] = 'M';
  good[1] = 'Z';
  good[256] = 'P';
  good[257] = 'E';
  struct Case {
    const char* what;
    std::string head;
    bool expected;
  };
  std::string noPe = good;
  noPe[257] = 'X';
  std::string lowerMz = good;
  lowerMz[0] = 'm';
  const Case cases[] = {
      {"both signatures", good, true},
      {"exactly 258 bytes", good.substr(0, 258), true},
      {"cut before the E", good.substr(0, 257), false},
      {"no PE", noPe, false},
      {"lower-case mz", lowerMz, false},
      {"empty", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsImageFile(c.head), c.expected) << c.what;
}

TEST(ScrambleToken, RoundTripsAnyBytesAsLowercaseLetters) {
  std::vector<std::string> tokens = {"",
                                     "A",
                                     "publisher-4711",
                                     std::string("\0\x01\xff", 3),
                                     std::string(300, '\xAB'),
                                     RandomBytes(77, 5)};
  for (int len = 0; len < 40; ++len) tokens.push_back(RandomBytes(len, 100 + len));
  for (const std::string& token : tokens) {
    const std::string stored = ScrambleToken(token);
    EXPECT_GE(stored.size(), 48u);
    EXPECT_EQ(stored.size() % 2, 0u);
    for (char c : stored) ASSERT_TRUE(c >= 'a' && c <= 'z') << stored;
    EXPECT_EQ(UnscrambleToken(stored), token) << "length " << token.size();
    EXPECT_EQ(ScrambleToken(token), stored) << "not deterministic";
  }
  // Tokens of up to 16 bytes take the usual 48 letters, longer ones more.
  EXPECT_EQ(ScrambleToken("").size(), 48u);
  EXPECT_EQ(ScrambleToken(std::string(16, 'x')).size(), 48u);
  EXPECT_EQ(ScrambleToken(std::string(17, 'x')).size(), 50u);
}

TEST(ScrambleToken, DifferentTokensGiveDifferentStoredForms) {
  EXPECT_NE(ScrambleToken("alpha"), ScrambleToken("alphb"));
  EXPECT_NE(UnscrambleToken(ScrambleToken("alpha")), UnscrambleToken(ScrambleToken("alphb")));
}

TEST(UnscrambleToken, DecodesHandMadeFrame) {
  // Frame bytes (1-based): 1 = 0x10, 2..N-1 xor-ed with K = 0x10 ^ 0x33,
  // p = 1 (one padding byte), s = 1, token "Hi", check byte, last 0x33.
  const unsigned char k = 0x10 ^ 0x33;
  std::vector<unsigned char> d = {0x10,
                                  static_cast<unsigned char>(1 ^ k),
                                  static_cast<unsigned char>(1 ^ k),
                                  0x99,
                                  static_cast<unsigned char>('H' ^ k),
                                  static_cast<unsigned char>('i' ^ k),
                                  0,
                                  0x33};
  unsigned char sum = 0;
  for (size_t i = 0; i < d.size(); ++i)
    if (i != d.size() - 2) sum = static_cast<unsigned char>(sum + d[i]);
  d[d.size() - 2] = sum;
  std::string stored;
  const char* digits = "0123456789ABCDEF";
  for (unsigned char c : d) {
    stored.push_back(static_cast<char>(digits[c >> 4] + 50));
    stored.push_back(static_cast<char>(digits[c & 15] + 50));
  }
  EXPECT_EQ(UnscrambleToken(stored), "Hi");
}

TEST(UnscrambleToken, InvalidFieldsGiveRandomDecimalsThatDiffer) {
  std::string badCheck = ScrambleToken("token");
  badCheck[badCheck.size() - 3] = badCheck[badCheck.size() - 3] == 'b' ? 'c' : 'b';
  // Empty, four bytes, five bytes with a wrong check byte, a damaged
  // scrambled token.
  const std::string invalid[] = {"", "bbbbbbbb", "bbbbbbbbc", badCheck};
  for (const std::string& field : invalid) {
    const std::string a = UnscrambleToken(field);
    const std::string b = UnscrambleToken(field);
    ASSERT_FALSE(a.empty()) << field;
    for (char c : a) EXPECT_TRUE(c >= '0' && c <= '9') << a;
    EXPECT_LT(std::stoi(a), 99999);
    EXPECT_NE(a, b) << "two invalid tokens compared equal: " << field;
  }
  // Many in a row, as token comparisons make them within one clock tick:
  // they must not repeat one value.
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) seen.insert(UnscrambleToken(""));
  EXPECT_GT(seen.size(), 190u);
}

TEST(UnscrambleToken, FrameWithPaddingLongerThanItselfGivesEmptyToken) {
  // p + s + 4 >= N: the token is empty, not an error.
  std::string stored = ScrambleToken("");
  EXPECT_EQ(UnscrambleToken(stored), "");
}

TEST(PlanCrc, MatchesTheLoopForEverySmallSize) {
  for (int32_t trailer : {74, 0, 10}) {
    for (size_t n = 0; n <= 9000; ++n) {
      const std::string plain = RandomBytes(n, static_cast<uint32_t>(n));
      ASSERT_EQ(CrcOfImage(plain, trailer), GetCrcLoop(plain, trailer))
          << "plain size " << n << " trailer " << trailer;
    }
  }
  for (size_t n = 258; n <= 9000; n += 1) {
    const std::string image = FakeStub(n, static_cast<uint32_t>(n), static_cast<int32_t>(n));
    ASSERT_EQ(CrcOfImage(image), GetCrcLoop(image, 74)) << "image size " << n;
  }
}

TEST(PlanCrc, MatchesTheLoopWithAppendedBytesAndOddPackageEnds) {
  struct Case {
    size_t size;
    int32_t packageEnd;
  };
  const Case cases[] = {
      {4096, 4096},
      {4096 + 512, 4096 + 512},
      {8192 + 512 + 74, 8192 + 512 + 74},
      {20000, 12000},
      {20000, 19999},
      {20000, 4096 + 512 + 74 + 5},
      {9000, 600},
      {9000, 586},
      {9000, 590},
      {5000, 100000},
      {5000, -5},
      {100000, 50001},
      {12288 + 512, 12288 + 512 - 3},
      {700, 1},
  };
  for (const Case& c : cases) {
    const std::string image = FakeStub(c.size, static_cast<uint32_t>(c.size), c.packageEnd);
    EXPECT_EQ(CrcOfImage(image), GetCrcLoop(image, 74))
        << "size " << c.size << " PackageEnd " << c.packageEnd;
  }
}

TEST(PlanCrc, AppendedBytesBehindPackageEndChangeNothing) {
  for (size_t n : {600u, 4096u, 4700u, 9000u, 16384u}) {
    const std::string image = FakeStub(n, 7, static_cast<int32_t>(n));
    const uint32_t before = CrcOfImage(image);
    for (size_t extra : {1u, 3u, 4u, 4095u, 4096u, 10000u}) {
      EXPECT_EQ(CrcOfImage(image + RandomBytes(extra, 9)), before) << n << "+" << extra;
    }
  }
}

TEST(PlanCrc, HeaderBytesCountOnlyWithoutPackageEnd) {
  std::string withEnd = FakeStub(5000, 3, 5000);
  const uint32_t sumWithEnd = CrcOfImage(withEnd);
  withEnd[100] ^= 0x55;
  EXPECT_EQ(CrcOfImage(withEnd), sumWithEnd);

  std::string withoutEnd = FakeStub(5000, 3, 0);
  const uint32_t sumWithoutEnd = CrcOfImage(withoutEnd);
  withoutEnd[100] ^= 0x55;
  EXPECT_NE(CrcOfImage(withoutEnd), sumWithoutEnd);
}

TEST(PlanCrc, ClosedFormFigures) {
  struct Case {
    int64_t size;
    int32_t packageEnd;
    int64_t start, words, bonus;
  };
  const Case cases[] = {
      // Exactly 4096 bytes, no PackageEnd: R = 4022; words 1..1004 count;
      // the full read ends with R = -74, the empty read too: no bonus.
      {4096, 0, 0, 1004, 0},
      // Too short for a trailer: nothing at all.
      {50, 0, 0, 0, 0},
      // 8192 + 74 + 8: the first piece leaves R = 4104 > 4 (bonus), the
      // second ends at R = 8, then the short read of 74 + 8 bytes.
      {8192 + 82, 0, 0, 2048, 2},
      // PackageEnd set: the first 512 bytes are skipped; the one full piece
      // leaves R = 0, so no bonus.
      {4096 + 512 + 74, 4096 + 512 + 74, 512, 1022, 0},
  };
  for (const Case& c : cases) {
    const CrcPlan plan = PlanCrc(c.size, c.packageEnd, 74);
    EXPECT_EQ(plan.StartOffset, c.start) << c.size;
    EXPECT_EQ(plan.WordsToSum, c.words) << c.size;
    EXPECT_EQ(plan.BonusCount, c.bonus) << c.size;
  }
}

TEST(SumWords, LittleEndianAndWrapping) {
  const uint8_t bytes[] = {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00};
  EXPECT_EQ(SumWords(bytes, 0), 0u);
  EXPECT_EQ(SumWords(bytes, 1), 1u);
  EXPECT_EQ(SumWords(bytes, 2), 0u);
  EXPECT_EQ(SumWords(bytes, 3), 256u);
}

TEST(PackDosDateTime, PacksAndClampsTheRange) {
  struct Case {
    int y, mo, d, h, mi, s;
    uint32_t expected;
  };
  const Case cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x00210000},
      {2024, 6, 11, 13, 45, 31, (44u << 9 | 6u << 5 | 11u) << 16 | (13u << 11 | 45u << 5 | 15u)},
      {2107, 12, 31, 23, 59, 58, 0xFF9FBF7D},
      {1970, 5, 5, 5, 5, 5, 0x00210000},
      {2200, 1, 1, 0, 0, 0, 0xFF9FBF7D},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PackDosDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s), c.expected) << c.y;
}
