#include "update/download_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

TEST(DownloadChunkSize, TenthOfTheResourceWithinOneAnd10240) {
  struct Case {
    int32_t total, chunk;
  } cases[] = {
      {1, 1},          {3, 1},          {9, 1},           {10, 1},
      {19, 1},         {20, 2},         {1000, 100},      {102399, 10239},
      {102400, 10240}, {102409, 10240}, {5242880, 10240}, {INT32_MAX, 10240},
  };
  for (const Case& c : cases) EXPECT_EQ(DownloadChunkSize(c.total), c.chunk) << c.total;
}

TEST(ProgressRange, RoundsToNearestAndAddsOne) {
  struct Case {
    int32_t total, chunk, rangeMax;
  } cases[] = {
      {3, 1, 4},  // tiny resource: one step per byte
      {100, 10, 11},
      {1048576, 10240, 103},  // 102.4 -> 102
      {1049600, 10240, 104},  // 102.5 -> 103 (halves go up)
      {1054720, 10240, 104},  // exactly 103
      {5242880, 10240, 513},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressRangeMax(c.total, c.chunk), c.rangeMax) << c.total << "/" << c.chunk;
  }
}

TEST(ProgressRange, StartPositionOfAResumedDownload) {
  EXPECT_EQ(ProgressPosition(0, 10240), 0);
  EXPECT_EQ(ProgressPosition(5119, 10240), 0);
  EXPECT_EQ(ProgressPosition(5120, 10240), 1);
  EXPECT_EQ(ProgressPosition(2097152, 10240), 205);  // 204.8
  EXPECT_EQ(ProgressPosition(INT32_MAX, 10240), 209715);
}

TEST(PartialFileName, DecimalOfTheWrapping32BitSum) {
  EXPECT_EQ(PartialFileName("C:\\T\\a.exe", 1000, 0), "C:\\T\\a.exe.1000");
  EXPECT_EQ(PartialFileName("C:\\T\\a.exe", 1000, 1500), "C:\\T\\a.exe.2500");
  // A 2024 stamp plus a large length passes 2^31 and reads negative.
  const int32_t stamp = DosStampOfDate(2024, 3, 5, 10, 20, 30);
  ASSERT_EQ(stamp, 0x5865528F);
  EXPECT_EQ(PartialFileName("x", 1000000000, stamp),
            "x." + std::to_string(static_cast<int32_t>(0x5865528Fu + 1000000000u)));
  EXPECT_EQ(PartialFileName("x", INT32_MAX, 1), "x.-2147483648");
  // Another length or another date never shares the name.
  EXPECT_NE(PartialFileName("x", 5242880, stamp), PartialFileName("x", 5242881, stamp));
  EXPECT_NE(PartialFileName("x", 5242880, stamp),
            PartialFileName("x", 5242880, DosStampOfDate(2024, 3, 5, 10, 20, 32)));
}

TEST(DosStampOfDate, PacksValidDatesAndRejectsTheRest) {
  struct Case {
    int y, mo, d, h, mi, s;
    int32_t packed;
  } cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x00210000},
      {1980, 1, 1, 0, 0, 1, 0x00210000},  // seconds are halved
      {2107, 12, 31, 23, 59, 58, static_cast<int32_t>(0xFF9FBF7Du)},
      {2024, 2, 29, 12, 0, 0, static_cast<int32_t>(0x585D6000u)},
      {0, 0, 0, 0, 0, 0, 0},  // an unset record: no Last-Modified header
      {1979, 12, 31, 23, 59, 59, 0},
      {2108, 1, 1, 0, 0, 0, 0},
      {2023, 2, 29, 0, 0, 0, 0},
      {1900, 2, 29, 0, 0, 0, 0},
      {2024, 4, 31, 0, 0, 0, 0},
      {2024, 13, 1, 0, 0, 0, 0},
      {2024, 1, 1, 24, 0, 0, 0},
      {2024, 1, 1, 0, 60, 0, 0},
      {2024, 1, 1, 0, 0, 60, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DosStampOfDate(c.y, c.mo, c.d, c.h, c.mi, c.s), c.packed)
        << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s;
  }
}

TEST(RangeRequest, HeaderAsksForTheRest) {
  EXPECT_EQ(RangeRequestHeader(2097152), "Range: bytes=2097152-\r\n");
}

TEST(RangeRequest, AcceptsOnlyTheExactRest) {
  struct Case {
    const char* value;
    int64_t from, total;
    bool resumes;
  } cases[] = {
      {"bytes 2097152-5242879/5242880", 2097152, 5242880, true},
      {"BYTES 2097152-5242879/5242880", 2097152, 5242880, true},
      {"bytes 2097152-5242879/*", 2097152, 5242880, true},
      {" bytes 10-19/20 ", 10, 20, true},
      {"bytes 0-5242879/5242880", 2097152, 5242880, false},        // whole file again
      {"bytes 2097153-5242879/5242880", 2097152, 5242880, false},  // skips a byte
      {"bytes 2097152-3000000/5242880", 2097152, 5242880, false},  // only a piece
      {"bytes 2097152-5242880/5242881", 2097152, 5242880, false},  // other length
      {"bytes */5242880", 2097152, 5242880, false},                // unsatisfiable
      {"", 2097152, 5242880, false},
      {"items 10-19/20", 10, 20, false},
      {"bytes 10-19/20x", 10, 20, false},
      {"bytes 10-19", 10, 20, false},
      {"bytes 99999999999999999999-19/20", 10, 20, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContentRangeResumes(c.value, c.from, c.total), c.resumes) << c.value;
  }
}

TEST(TestModeReadDue, ForcedOrAfterMoreThan30Seconds) {
  struct Case {
    bool force;
    uint32_t now, previous;
    bool due;
  } cases[] = {
      {true, 1000, 1000, true},          {false, 1000, 1000, false},
      {false, 30000, 0, false},          {false, 30001, 0, true},
      {false, 130000, 100000, false},    {false, 130001, 100000, true},
      {false, 10, 0xFFFFFFF0u, false},    // across the wrap: 26 ms
      {false, 40000, 0xFFFFFFF0u, true},  // across the wrap: 40016 ms
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TestModeReadDue(c.force, c.now, c.previous), c.due)
        << c.force << " " << c.now << " " << c.previous;
  }
}

TEST(RedirectTarget, ResolvesLocationsAndRefusesOtherSchemesAndDowngrades) {
  const std::string page = "http://host:8080/dir/file.exe?x=1";
  struct Case {
    std::string current, location, target;
  } cases[] = {
      {page, "http://mirror/a.exe", "http://mirror/a.exe"},
      {page, " HTTPS://mirror/a.exe\t", "HTTPS://mirror/a.exe"},  // upgrade, blanks trimmed
      {page, "//mirror/a.exe", "http://mirror/a.exe"},
      {page, "/other/a.exe", "http://host:8080/other/a.exe"},
      {page, "a.exe", "http://host:8080/dir/a.exe"},
      {page, "sub/a.exe?y=2", "http://host:8080/dir/sub/a.exe?y=2"},
      {"http://host", "a.exe", "http://host/a.exe"},
      {"http://host?q", "/a.exe", "http://host/a.exe"},
      {"https://host/d/f", "/g", "https://host/g"},
      {"https://host/d/f", "//mirror/g", "https://mirror/g"},
      // Never followed: nothing to follow, a local file or another protocol,
      // a step down from a checked certificate to plain text, a source that
      // is no web address.
      {page, "", ""},
      {page, "  ", ""},
      {page, "file:///C:/Windows/win.ini", ""},
      {page, "FILE:C:\\boot.ini", ""},
      {page, "ftp://host/a.exe", ""},
      {"https://host/d/f", "http://host/d/f", ""},
      {"C:\\folder\\f", "http://host/a", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RedirectTarget(c.current, c.location), c.target) << c.current << " -> " << c.location;
  }
}

TEST(RedirectTarget, OnlyTheFiveRedirectionCodesAreFollowed) {
  for (int32_t status : {301, 302, 303, 307, 308}) EXPECT_TRUE(IsRedirectStatus(status)) << status;
  for (int32_t status : {-1, 200, 206, 300, 304, 305, 306, 309, 404}) {
    EXPECT_FALSE(IsRedirectStatus(status)) << status;
  }
}

TEST(SlowSenderGuard, EachWindowOfAMinuteMustAverageOneKilobytePerSecond) {
  struct Piece {
    uint32_t at, bytes;  // milliseconds after the start, bytes that arrived then
  };
  struct Case {
    const char* name;
    uint32_t start;
    std::vector<Piece> pieces;
    bool lastKept;  // every piece before the last is kept
  };
  const Case cases[] = {
      {"exactly the least over a minute", 0, {{30000, 30720}, {60000, 30720}}, true},
      {"one byte short", 0, {{30000, 30720}, {60000, 30719}}, false},
      {"the window is open until a minute passed", 0, {{59999, 1}}, true},
      {"a byte every 29 s is cut off at the third", 0, {{29000, 1}, {58000, 1}, {87000, 1}}, false},
      {"a longer window counts by its length", 0, {{90000, 92160}}, true},
      {"a longer window one byte short", 0, {{90000, 92159}}, false},
      {"a fast minute does not carry over", 0, {{60000, 500000}, {120000, 1000}}, false},
      {"each window starts afresh", 0, {{60000, 61440}, {120000, 61440}}, true},
      {"the tick count wraps", 0xFFFFF000u, {{30000, 1}, {60000, 61439}}, true},
      {"the largest download in one window", 0, {{60000, 0x7FFFFFFFu}}, true},
      {"wrapped and slow", 0xFFFFF000u, {{30000, 1}, {60000, 100}}, false},
  };
  for (const Case& c : cases) {
    TSlowSenderGuard guard(c.start);
    for (size_t i = 0; i < c.pieces.size(); ++i) {
      const bool kept = guard.Keeps(c.start + c.pieces[i].at, c.pieces[i].bytes);
      EXPECT_EQ(kept, i + 1 < c.pieces.size() || c.lastKept) << c.name << ", piece " << i;
    }
  }
}
