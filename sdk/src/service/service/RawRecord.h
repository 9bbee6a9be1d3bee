// A record kept byte for byte, padding included. A plain struct copy may leave padding bytes
// behind, and a client is entitled to read back exactly the bytes of the record it set.
#pragma once

#include <array>
#include <cstring>
#include <type_traits>

namespace CamSdk {
namespace detail {

template <class Record>
class RawRecord {
  static_assert(std::is_trivially_copyable<Record>::value, "records cross as raw bytes");

 public:
  RawRecord& operator=(const Record& record) {
    std::memcpy(bytes_.data(), &record, sizeof(Record));
    return *this;
  }
  Record get() const {
    Record record;
    std::memcpy(&record, bytes_.data(), sizeof(Record));
    return record;
  }

 private:
  std::array<unsigned char, sizeof(Record)> bytes_{};
};

}  // namespace detail
}  // namespace CamSdk
