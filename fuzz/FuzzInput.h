// Reads the fields of a fuzz input one after another. Bytes past the end read as zero, so every
// input, however short, decodes to some record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  template <class Value>
  Value take() {
    unsigned char bytes[sizeof(Value)] = {};
    for (std::size_t i = 0; i < sizeof(Value) && next_ < size_; ++i) bytes[i] = data_[next_++];
    Value value;
    std::memcpy(&value, bytes, sizeof(Value));
    return value;
  }

  // The bytes not read yet; they fill the buffers.
  std::vector<std::uint8_t> rest() const {
    return std::vector<std::uint8_t>(data_ + next_, data_ + size_);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};
