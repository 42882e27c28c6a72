#include "package/extract_rules.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "bytes.h"

namespace {

// Records what the inflater delivers, and how often.
struct TRecorder : TEntrySink {
  int headers = 0;
  std::string header;
  std::string content;
  int contentCalls = 0;
  void OnHeader(const std::string& h) override {
    ++headers;
    header = h;
  }
  void OnContent(const uint8_t* data, size_t size) override {
    ++contentCalls;
    content.append(reinterpret_cast<const char*>(data), size);
  }
};

// Feeds `block` in pieces whose sizes come from `random` (1 .. maxPiece).
TEntryInflater::TState FeedInPieces(TEntryInflater& inflater, const std::string& block,
                                    TRecorder& sink, std::mt19937& random, size_t maxPiece) {
  size_t at = 0;
  while (at < block.size()) {
    size_t piece = 1 + random() % maxPiece;
    if (piece > block.size() - at) piece = block.size() - at;
    inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()) + at, piece, sink);
    at += piece;
  }
  return inflater.Finish();
}

TEST(EntryName, SafetyTable) {
  struct Case {
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {"setup.exe", true},
      {"data\\a.bin", true},
      {"data/a.bin", true},
      {"a\\b\\c\\d.txt", true},
      {".\\a.txt", true},
      {"a..b.txt", true},
      {"..a", true},
      {"...txt", true},
      {"", true},
      {"..\\evil.exe", false},
      {"../evil.exe", false},
      {"data\\..\\..\\evil.exe", false},
      {"data\\..", false},
      {"..", false},
      {"...\\x", false},
      {".. \\x", false},
      {"a\\. .\\x", false},
      {"\\windows\\evil.dll", false},
      {"/etc/evil", false},
      {"\\\\server\\share\\x", false},
      {"C:\\evil.exe", false},
      {"C:evil.exe", false},
      {"c:/evil.exe", false},
      {"a.txt:stream", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafeEntryName(c.name)) << c.name;
}

TEST(EntryHeader, ParseTable) {
  struct Case {
    const char* header;
    const char* name;
    uint32_t stamp;
    bool marksMain;
    const char* mainProgram;
    bool isPatch = false;
  };
  const Case cases[] = {
      {"|readme.txt|1234567|", "readme.txt", 1234567, false, ""},
      {"|app.exe*|42|", "app.exe", 42, true, "app.exe*"},
      {"|Setup.exe* /S /v|7|", "Setup.exe", 7, true, "Setup.exe* /S /v"},
      // A "*" outside field 0 names the whole header.
      {"|tool.exe|9|*|", "tool.exe", 9, true, "|tool.exe|9|*|"},
      {"|data/sub/a.bin|0|", "data\\sub\\a.bin", 0, false, ""},
      {"|late.txt|4294967295|", "late.txt", 0xFFFFFFFFu, false, ""},
      {"|neg.txt|-1|", "neg.txt", 0xFFFFFFFFu, false, ""},
      {"|nodate.txt|abc|", "nodate.txt", 0, false, ""},
      {"|only.txt|", "only.txt", 0, false, ""},
      {"not a list", "", 0, false, ""},
      {"|lib.dll|5|patch|", "lib.dll", 5, false, "", true},
      {"|app.exe* /S|5|patch|", "app.exe", 5, true, "app.exe* /S", true},
      {"|lib.dll|5|patched|", "lib.dll", 5, false, "", false},
  };
  for (const Case& c : cases) {
    const TEntryHeader entry = ParseEntryHeader(c.header);
    EXPECT_EQ(c.name, entry.Name) << c.header;
    EXPECT_EQ(c.stamp, entry.DateStamp) << c.header;
    EXPECT_EQ(c.marksMain, entry.MarksMain) << c.header;
    EXPECT_EQ(c.mainProgram, entry.MainProgram) << c.header;
    EXPECT_EQ(c.isPatch, entry.IsPatch) << c.header;
  }
}

TEST(BlockStream, BoundsAndDiskNames) {
  EXPECT_TRUE(MoreBlocksAt(0, 75));
  EXPECT_FALSE(MoreBlocksAt(1, 75));
  EXPECT_FALSE(MoreBlocksAt(100, 50));

  struct Case {
    int64_t position;
    int32_t length;
    int64_t end;
    bool fits;
  };
  const Case cases[] = {
      {100, 0, 104, true},    {100, 10, 114, true},          {100, 11, 114, false},
      {100, -1, 1000, false}, {100, INT32_MIN, 1000, false}, {100, INT32_MAX, 1000, false},
      {-4, 0, 1000, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.fits, BlockFits(c.position, c.length, c.end)) << c.position << " " << c.length;
  }

  EXPECT_EQ("D:\\setup.exe", DiskFileName("D:\\setup.exe", 1));
  EXPECT_EQ("D:\\setup.exe.002", DiskFileName("D:\\setup.exe", 2));
  EXPECT_EQ("D:\\setup.exe.012", DiskFileName("D:\\setup.exe", 12));
  EXPECT_EQ("D:\\setup.exe.1000", DiskFileName("D:\\setup.exe", 1000));
}

TEST(BoxTexts, FailedWriteAndDamage) {
  EXPECT_EQ(
      "C:\\T\\a.bin<P><P>Unable to save Extracted File!<P><P>Access denied.<P>"
      "Data Size: <T>300 Bytes<P>File Size: <T>0 Bytes<P>Bytes Free: <T>1234 Bytes",
      FailedWriteText("C:\\T\\a.bin", "Access denied.", 300, 0, 1234.9));
  EXPECT_EQ("..\\x.exe<P><P>Unable to save Extracted File!", UnsafeNameText("..\\x.exe"));
  EXPECT_EQ("C:\\s.exe<P><P>Damaged entry 3 at offset 4096!<P><P>zlib: data error",
            DamagedEntryText("C:\\s.exe", 3, 4096, "zlib: data error"));
  EXPECT_EQ("C:\\s.exe<P><P>Damaged package data at offset -5!<P><P>Bad data offset",
            DamagedEntryText("C:\\s.exe", 0, -5, "Bad data offset"));
}

// Random entries of many sizes through output buffers down to one byte and
// input pieces of random sizes: every byte must come out once, in order.
TEST(EntryInflater, RoundTripsThroughTinyBuffers) {
  std::mt19937 random(20240611);
  const size_t outputSizes[] = {1, 2, 3, 7, 64, 255, 4096, 65536};
  const size_t contentSizes[] = {0, 1, 2, 100, 4095, 4096, 4097, 65535, 65536, 65537, 300000};
  for (size_t outputSize : outputSizes) {
    for (size_t contentSize : contentSizes) {
      if (outputSize < 64 && contentSize > 70000) continue;  // keeps the run short
      const std::string header =
          "|file" + std::to_string(contentSize) + ".bin|" + std::to_string(random() % 100000) + "|";
      // Alternate between incompressible and highly compressible content.
      const std::string content = RandomBytes(random, contentSize, contentSize % 2 ? 256 : 3);
      const std::string block = EntryBlock(header, content);
      TEntryInflater inflater(outputSize);
      TRecorder sink;
      const size_t maxPiece = 1 + random() % 70000;
      ASSERT_EQ(TEntryInflater::TState::Finished,
                FeedInPieces(inflater, block, sink, random, maxPiece))
          << inflater.ErrorText();
      EXPECT_EQ(1, sink.headers);
      EXPECT_EQ(header, sink.header);
      ASSERT_EQ(content.size(), sink.content.size()) << outputSize << " " << contentSize;
      EXPECT_TRUE(content == sink.content) << outputSize << " " << contentSize;
      EXPECT_EQ(static_cast<int64_t>(content.size()), inflater.ContentSize());
      EXPECT_TRUE(inflater.HasHeader());
    }
  }
}

// The header's end (and the 0x00) may fall anywhere inside or across
// output buffers; content with further zeros must stay whole.
TEST(EntryInflater, HeaderSplitAcrossBuffers) {
  const std::string header = "|data\\a.bin|123456|";
  const std::string content = std::string("\0\0x\0y", 5) + std::string(50, 'z');
  const std::string block = EntryBlock(header, content);
  for (size_t outputSize = 1; outputSize <= header.size() + 3; ++outputSize) {
    for (size_t piece = 1; piece <= 5; ++piece) {
      TEntryInflater inflater(outputSize);
      TRecorder sink;
      for (size_t at = 0; at < block.size(); at += piece) {
        const size_t n = std::min(piece, block.size() - at);
        inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()) + at, n, sink);
      }
      ASSERT_EQ(TEntryInflater::TState::Finished, inflater.Finish());
      EXPECT_EQ(1, sink.headers);
      EXPECT_EQ(header, sink.header) << outputSize;
      EXPECT_EQ(content, sink.content) << outputSize;
    }
  }
}

TEST(EntryInflater, EntriesWithoutUsableHeaderAreSkipped) {
  struct Case {
    const char* what;
    std::string inflated;
  };
  const Case cases[] = {
      {"no zero byte", std::string(100000, 'a')},
      {"starts with zero", std::string(1, '\0') + "content"},
      {"empty", ""},
      {"header too long", std::string(kMaxEntryHeader + 1, 'h') + std::string(1, '\0') + "x"},
  };
  for (const Case& c : cases) {
    TEntryInflater inflater(1000);
    TRecorder sink;
    const std::string block = Deflated(c.inflated);
    inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()), block.size(), sink);
    EXPECT_EQ(TEntryInflater::TState::Finished, inflater.Finish()) << c.what;
    EXPECT_EQ(0, sink.headers) << c.what;
    EXPECT_EQ(0, sink.contentCalls) << c.what;
    EXPECT_FALSE(inflater.HasHeader()) << c.what;
  }

  // The longest accepted header still works.
  TEntryInflater inflater(1000);
  TRecorder sink;
  const std::string longest = std::string(kMaxEntryHeader, 'h');
  const std::string block = EntryBlock(longest, "x");
  inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()), block.size(), sink);
  EXPECT_EQ(TEntryInflater::TState::Finished, inflater.Finish());
  EXPECT_EQ(longest, sink.header);
  EXPECT_EQ("x", sink.content);
}

TEST(EntryInflater, TrailingBytesAfterStreamEndAreIgnored) {
  const std::string block = EntryBlock("|a|1|", "abc") + "garbage after the stream";
  TEntryInflater inflater(16);
  TRecorder sink;
  EXPECT_EQ(TEntryInflater::TState::Finished,
            inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()), block.size(), sink));
  EXPECT_EQ(TEntryInflater::TState::Finished, inflater.Finish());
  EXPECT_EQ("abc", sink.content);
}

std::string WithDictionary() {
  z_stream z{};
  EXPECT_EQ(Z_OK, deflateInit(&z, 9));
  const char dictionary[] = "some dictionary";
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary), sizeof dictionary);
  std::string input = "|a|1|";
  input += '\0';
  input += "some dictionary text";
  std::string out(1000, '\0');
  z.next_in = reinterpret_cast<Bytef*>(&input[0]);
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Damaged entries end in a failure with zlib's text, never in a hang.
TEST(EntryInflater, DamagedStreamsFailWithZlibText) {
  std::mt19937 random(7);
  const std::string good = EntryBlock("|a.bin|1|", RandomBytes(random, 200000));
  std::string flipped = good;
  flipped[2] = static_cast<char>(flipped[2] ^ 0xFF);  // deflate block type 3
  std::string badAdler = good;
  badAdler[badAdler.size() - 1] = static_cast<char>(badAdler.back() ^ 1);

  struct Case {
    const char* what;
    std::string block;
    const char* error;
  };
  const Case cases[] = {
      {"not zlib", "this is not a zlib stream", "data error (incorrect header check)"},
      {"bad block type", flipped, "data error (invalid block type)"},
      {"bad checksum", badAdler, "data error (incorrect data check)"},
      {"truncated", good.substr(0, good.size() / 2), "buffer error"},
      {"empty block", "", "buffer error"},
      {"preset dictionary", WithDictionary(), "need dictionary"},
  };
  for (const Case& c : cases) {
    TEntryInflater inflater(4096);
    TRecorder sink;
    EXPECT_EQ(TEntryInflater::TState::Failed, FeedInPieces(inflater, c.block, sink, random, 65536))
        << c.what;
    EXPECT_EQ(c.error, inflater.ErrorText()) << c.what;
    // Once failed, more input changes nothing.
    const std::string more = Deflated("more");
    EXPECT_EQ(TEntryInflater::TState::Failed,
              inflater.Feed(reinterpret_cast<const uint8_t*>(more.data()), more.size(), sink));
  }
}

}  // namespace
