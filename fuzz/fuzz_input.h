// Splits a fuzzer's bytes into small parameters and the text that follows them.
#ifndef QUORVEL_FUZZ_INPUT_H
#define QUORVEL_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // The next 4 bytes as a signed number (zeros past the end).
  int32_t nextInt() {
    uint32_t v = 0;
    const size_t n = size_ - pos_ < 4 ? size_ - pos_ : 4;
    memcpy(&v, data_ + pos_, n);
    pos_ += n;
    return static_cast<int32_t>(v);
  }
  // nextInt() folded into [low, high].
  int32_t nextIn(int32_t low, int32_t high) {
    const uint32_t span = static_cast<uint32_t>(high) - static_cast<uint32_t>(low) + 1u;
    return static_cast<int32_t>(static_cast<uint32_t>(low) + static_cast<uint32_t>(nextInt()) % span);
  }
  std::string rest() const { return std::string(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

#endif
