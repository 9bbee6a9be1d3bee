// Little-endian field encoding for the service protocol. The reader checks every length
// against what is left before it reads, so bytes from a peer can never make it read outside
// the message; a message that lies about its lengths raises ProtocolError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace CamSdk {
namespace protocol {

class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Limits on what a peer may ask us to hold.
constexpr std::size_t kMaxString = 4096;
constexpr std::size_t kMaxBlob = 64u << 20;
constexpr std::size_t kMaxCount = 1024;

class WireWriter {
 public:
  explicit WireWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void u8(std::uint8_t value) { out_.push_back(value); }
  void u16(std::uint16_t value) { fixed(value, 2); }
  void u32(std::uint32_t value) { fixed(value, 4); }
  void u64(std::uint64_t value) { fixed(value, 8); }
  void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
  void i64(std::int64_t value) { u64(static_cast<std::uint64_t>(value)); }
  void f32(float value);
  void string(const std::string& value);
  void blob(const void* data, std::size_t size);
  // Zero bytes up to the next multiple of `alignment` from the message start.
  void pad(std::size_t alignment);
  std::size_t size() const { return out_.size(); }

 private:
  void fixed(std::uint64_t value, int bytes);
  std::vector<std::uint8_t>& out_;
};

class WireReader {
 public:
  WireReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t u8() { return static_cast<std::uint8_t>(fixed(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(fixed(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(fixed(4)); }
  std::uint64_t u64() { return fixed(8); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  float f32();
  std::string string();
  // A length-prefixed run of bytes, returned as its offset in the message; nothing is copied.
  std::size_t blob(std::size_t* length);
  std::size_t count();  // an element count, at most kMaxCount
  void pad(std::size_t alignment);
  void skip(std::size_t bytes) {
    need(bytes);
    at_ += bytes;
  }
  std::size_t offset() const { return at_; }
  // Raises ProtocolError unless every byte was read.
  void finish() const;

 private:
  std::uint64_t fixed(int bytes);
  void need(std::size_t bytes) const;

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace protocol
}  // namespace CamSdk
