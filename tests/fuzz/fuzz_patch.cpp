// A patch from the input applied to an old file from the input, in pieces
// of a size the input chooses: the decoder reads only inside the old file,
// writes no more than the header's new size (exactly that when it
// completes), and comes to the same end whatever the pieces.
#include <string>

#include "fuzz_support.h"
#include "package/patch.h"

namespace {

// New sizes above this are refused at the header, as a changed old file
// would be: the fuzzer's inputs stay small.
constexpr uint64_t kNewSizeCap = 1 << 20;

class TCheckedTarget : public TPatchTarget {
 public:
  explicit TCheckedTarget(const std::string& old) : old_(old) {}

  bool Begin(const TPatchHeader& header) override {
    FUZZ_CHECK(++begins == 1);
    newSize = header.NewSize;
    return header.OldSize == old_.size() && header.NewSize <= kNewSizeCap;
  }
  bool ReadOld(uint64_t offset, uint8_t* data, size_t count) override {
    FUZZ_CHECK(begins == 1 && count > 0 && count <= kPatchBufferSize);
    FUZZ_CHECK(offset <= old_.size() && count <= old_.size() - offset);
    std::memcpy(data, old_.data() + offset, count);
    return true;
  }
  bool Write(const uint8_t* data, size_t size) override {
    FUZZ_CHECK(size > 0 && size <= kPatchBufferSize);
    written.append(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(written.size() <= newSize);
    return true;
  }

  int begins = 0;
  uint64_t newSize = 0;
  std::string written;

 private:
  const std::string& old_;
};

struct TOutcome {
  TPatchState state;
  std::string error;
  std::string written;
};

TOutcome Apply(const std::string& old, const std::string& patch, size_t piece) {
  TCheckedTarget target(old);
  TPatchDecoder decoder(target);
  for (size_t at = 0; at < patch.size(); at += piece) {
    const size_t size = patch.size() - at < piece ? patch.size() - at : piece;
    decoder.Feed(reinterpret_cast<const uint8_t*>(patch.data()) + at, size);
  }
  const TPatchState state = decoder.Finish();
  if (state == TPatchState::Done) FUZZ_CHECK(target.written.size() == target.newSize);
  return {state, decoder.Error(), target.written};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const size_t piece = 1 + in.Byte() % 97;
  const size_t oldSize = in.Byte() | size_t{in.Byte()} << 8;
  std::string old;
  for (size_t i = 0; i < oldSize && in.Left(); ++i) old += static_cast<char>(in.Byte());
  const std::string patch = in.Rest();
  const TOutcome whole = Apply(old, patch, patch.size() + 1);
  const TOutcome pieces = Apply(old, patch, piece);
  FUZZ_CHECK(whole.state == pieces.state && whole.error == pieces.error);
  // A failure may come after different amounts were handed on; a success
  // gives the same file.
  if (whole.state == TPatchState::Done) FUZZ_CHECK(whole.written == pieces.written);
  return 0;
}
