#include "protocol/Wire.h"

#include <cstring>

namespace CamSdk {
namespace protocol {

void WireWriter::fixed(std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void WireWriter::f32(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  u32(bits);
}

void WireWriter::string(const std::string& value) {
  // Longer names are cut rather than refused: they only ever label things.
  const std::size_t length = value.size() < kMaxString ? value.size() : kMaxString;
  u32(static_cast<std::uint32_t>(length));
  out_.insert(out_.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length));
}

void WireWriter::blob(const void* data, std::size_t size) {
  if (size > kMaxBlob) throw ProtocolError("blob of " + std::to_string(size) + " bytes");
  u32(static_cast<std::uint32_t>(size));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (size > 0) out_.insert(out_.end(), bytes, bytes + size);
}

void WireWriter::pad(std::size_t alignment) {
  while (out_.size() % alignment != 0) out_.push_back(0);
}

void WireReader::need(std::size_t bytes) const {
  if (bytes > size_ - at_) {
    throw ProtocolError("message ends after " + std::to_string(size_) + " bytes, " +
                        std::to_string(bytes) + " more needed at offset " + std::to_string(at_));
  }
}

std::uint64_t WireReader::fixed(int bytes) {
  need(static_cast<std::size_t>(bytes));
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= std::uint64_t{data_[at_ + i]} << (8 * i);
  at_ += static_cast<std::size_t>(bytes);
  return value;
}

float WireReader::f32() {
  const std::uint32_t bits = u32();
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string WireReader::string() {
  const std::uint32_t length = u32();
  if (length > kMaxString) throw ProtocolError("string of " + std::to_string(length) + " bytes");
  need(length);
  std::string value(reinterpret_cast<const char*>(data_ + at_), length);
  at_ += length;
  return value;
}

std::size_t WireReader::blob(std::size_t* length) {
  const std::uint32_t size = u32();
  if (size > kMaxBlob) throw ProtocolError("blob of " + std::to_string(size) + " bytes");
  need(size);
  const std::size_t start = at_;
  at_ += size;
  *length = size;
  return start;
}

std::size_t WireReader::count() {
  const std::uint32_t value = u32();
  if (value > kMaxCount) throw ProtocolError("count of " + std::to_string(value));
  return value;
}

void WireReader::pad(std::size_t alignment) {
  const std::size_t skip = (alignment - at_ % alignment) % alignment;
  need(skip);
  at_ += skip;
}

void WireReader::finish() const {
  if (at_ != size_) {
    throw ProtocolError(std::to_string(size_ - at_) + " bytes left over after the message");
  }
}

}  // namespace protocol
}  // namespace CamSdk
