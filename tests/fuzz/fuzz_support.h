// Shared by the fuzz targets: a reader that carves typed values out of the
// fuzzer's bytes, and a check that stops the run with the broken property.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

// Takes values from the front of the input; past its end every value is 0
// or empty, so any input is a valid case.
class TFuzzInput {
 public:
  TFuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Left() const { return size_ - pos_; }

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{Byte()} << (8 * i);
    return value;
  }

  int32_t I32() { return static_cast<int32_t>(U32()); }

  int64_t I64() {
    const uint64_t low = U32();
    return static_cast<int64_t>(low | uint64_t{U32()} << 32);
  }

  // Bytes up to the next 0x00 (which is consumed), or the rest.
  std::string Text() {
    const void* zero = pos_ < size_ ? std::memchr(data_ + pos_, 0, size_ - pos_) : nullptr;
    const size_t end =
        zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data_) : size_;
    std::string text(reinterpret_cast<const char*>(data_) + pos_, end - pos_);
    pos_ = zero != nullptr ? end + 1 : size_;
    return text;
  }

  std::string Rest() {
    std::string text(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
    pos_ = size_;
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
