#include "update/download_progress.h"

#include <gtest/gtest.h>

namespace {

uint32_t fakeTick = 0;
// Each read of the clock moves it by `fakeStep` milliseconds.
uint32_t fakeStep = 0;

uint32_t FakeTick() {
  const uint32_t now = fakeTick;
  fakeTick += fakeStep;
  return now;
}

class DownloadProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    fakeTick = 5000;
    fakeStep = 0;
    SetDownloadTickSource(FakeTick);
  }
  void TearDown() override { SetDownloadTickSource(nullptr); }
  std::string FormatDownloadProgress(bool reset, int32_t total, int32_t done, int32_t lastChunk) {
    return rate.Progress(reset, total, done, lastChunk);
  }
  TDownloadRate rate{};
};

}  // namespace

TEST_F(DownloadProgressTest, ResetWithoutTimePassingHasNoRate) {
  EXPECT_EQ(FormatDownloadProgress(true, 1048576, 0, 0), "0/1048576 Bytes   ");
}

TEST_F(DownloadProgressTest, ResetWhileTheClockMovesShowsZeroRate) {
  fakeStep = 3;
  EXPECT_EQ(FormatDownloadProgress(true, 1048576, 4096, 0), "4096/1048576 Bytes   0.00 KB/Sec");
}

TEST_F(DownloadProgressTest, RateOfTheFiveReadsInTheWindow) {
  // Five reads of 10240 bytes, 500 ms apart: the window spans the last four
  // intervals (2000 ms) and holds all 51200 bytes.
  FormatDownloadProgress(true, 1048576, 0, 0);
  std::string text;
  for (int read = 1; read <= 5; ++read) {
    fakeTick += 500;
    text = FormatDownloadProgress(false, 1048576, read * 10240, 10240);
  }
  EXPECT_EQ(text, "51200/1048576 Bytes   25.00 KB/Sec");
}

TEST_F(DownloadProgressTest, OldReadsLeaveTheWindow) {
  FormatDownloadProgress(true, 10000000, 0, 0);
  // A burst of large reads, then five small ones: only the small ones count.
  for (int read = 0; read < 5; ++read) {
    fakeTick += 100;
    FormatDownloadProgress(false, 10000000, 0, 1000000);
  }
  std::string text;
  for (int read = 0; read < 5; ++read) {
    fakeTick += 1000;
    text = FormatDownloadProgress(false, 10000000, 0, 1024);
  }
  // 5120 bytes over the window's 4000 ms.
  EXPECT_EQ(text, "0/10000000 Bytes   1.25 KB/Sec");
}

TEST_F(DownloadProgressTest, ResetForgetsThePreviousDownload) {
  FormatDownloadProgress(true, 1000, 0, 0);
  for (int read = 0; read < 3; ++read) {
    fakeTick += 10;
    FormatDownloadProgress(false, 1000, 0, 100);
  }
  fakeTick += 1000;
  EXPECT_EQ(FormatDownloadProgress(true, 2048, 0, 0), "0/2048 Bytes   ");
  fakeTick += 1000;
  // Only this read is in the window: 1024 bytes over 1000 ms.
  EXPECT_EQ(FormatDownloadProgress(false, 2048, 1024, 1024), "1024/2048 Bytes   1.00 KB/Sec");
}

TEST_F(DownloadProgressTest, TickWrapKeepsTheRatePositive) {
  fakeTick = 0xFFFFFF00u;
  FormatDownloadProgress(true, 100000, 0, 0);
  fakeTick += 1000;  // passes zero
  EXPECT_EQ(FormatDownloadProgress(false, 100000, 2048, 2048), "2048/100000 Bytes   2.00 KB/Sec");
}

TEST(DownloadTick, SystemClockIsUsedWithoutASource) {
  SetDownloadTickSource(nullptr);
  const uint32_t before = SystemTickCount();
  const uint32_t now = DownloadTickNow();
  EXPECT_LE(now - before, 1000u);
}
