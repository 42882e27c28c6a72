// One entry's block through the streaming inflater, fed in pieces of a size
// the input chooses, against zlib's own one-call inflate of the same bytes:
// the header before the first 0x00, then the content.
#include <zlib.h>

#include <string>

#include "fuzz_support.h"
#include "package/extract_rules.h"

namespace {

class TCollector : public TEntrySink {
 public:
  void OnHeader(const std::string& text) override {
    FUZZ_CHECK(++headers == 1);
    FUZZ_CHECK(content.empty());
    header = text;
  }
  void OnContent(const uint8_t* data, size_t size) override {
    FUZZ_CHECK(headers == 1 && size > 0);
    content.append(reinterpret_cast<const char*>(data), size);
  }
  int headers = 0;
  std::string header;
  std::string content;
};

// zlib's whole output, or false when the stream does not end cleanly.
// Output is capped: a block of a few kilobytes can inflate to megabytes.
constexpr size_t kOutputCap = 16 << 20;

bool ReferenceInflate(const std::string& block, std::string& output) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
  z.avail_in = static_cast<uInt>(block.size());
  int code = Z_OK;
  std::string buffer(1 << 16, '\0');
  while (code == Z_OK && output.size() < kOutputCap) {
    z.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
    z.avail_out = static_cast<uInt>(buffer.size());
    code = inflate(&z, Z_NO_FLUSH);
    output.append(buffer, 0, buffer.size() - z.avail_out);
  }
  inflateEnd(&z);
  return code == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const size_t piece = 1 + in.Byte() % 64 * 97;
  const size_t outputSize = 1 + in.Byte() * 257;
  const std::string block = in.Rest();

  TCollector sink;
  TEntryInflater inflater(outputSize);
  for (size_t at = 0; at < block.size(); at += piece) {
    const size_t n = std::min(piece, block.size() - at);
    const TEntryInflater::TState state =
        inflater.Feed(reinterpret_cast<const uint8_t*>(block.data()) + at, n, sink);
    if (state == TEntryInflater::TState::Failed) break;
  }
  const TEntryInflater::TState state = inflater.Finish();
  FUZZ_CHECK(state != TEntryInflater::TState::Running);
  FUZZ_CHECK(inflater.ContentSize() == static_cast<int64_t>(sink.content.size()));
  FUZZ_CHECK((state == TEntryInflater::TState::Failed) == !inflater.ErrorText().empty());

  std::string expected;
  const bool ends = ReferenceInflate(block, expected);
  if (expected.size() >= kOutputCap) return 0;
  FUZZ_CHECK(ends == (state == TEntryInflater::TState::Finished));
  if (!ends) return 0;
  // The header is what precedes the first 0x00, unless that is empty or
  // longer than the engine accepts: then the entry is skipped whole.
  const size_t zero = expected.find('\0');
  if (zero == std::string::npos || zero == 0 || zero > kMaxEntryHeader) {
    FUZZ_CHECK(sink.headers == 0 && sink.content.empty());
    FUZZ_CHECK(!inflater.HasHeader() || zero == 0);
    return 0;
  }
  FUZZ_CHECK(inflater.HasHeader());
  FUZZ_CHECK(sink.header == expected.substr(0, zero));
  FUZZ_CHECK(sink.content == expected.substr(zero + 1));
  // A second Finish changes nothing.
  FUZZ_CHECK(inflater.Finish() == state);
  return 0;
}
