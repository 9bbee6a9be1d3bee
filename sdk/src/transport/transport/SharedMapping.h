// The service's shared region as a client reads it: mapped read-only, kept as long as any map
// that lies in it is held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace CamSdk {
namespace transport {

class SharedMapping {
 public:
  // The largest region a client maps.
  static constexpr std::uint64_t kMaxSize = 1ull << 30;

  // Maps the region `name` of `size` bytes; nullptr, with `why`, when it cannot be opened, is
  // smaller than said, or this platform maps none.
  static std::shared_ptr<const SharedMapping> open(const std::string& name, std::uint64_t size,
                                                   std::string* why);
  ~SharedMapping();
  SharedMapping(const SharedMapping&) = delete;
  SharedMapping& operator=(const SharedMapping&) = delete;

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  // From now on this mapping keeps `length` bytes from `offset` as they are, whatever the
  // service writes there: for buffers still read after their session has ended, which the
  // service may then reuse. The pages are copied into this process; other parts of those pages
  // are frozen too, so a mapping that kept anything is not used for new samples.
  void keepPrivately(std::size_t offset, std::size_t length) const;

 private:
  SharedMapping(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace transport
}  // namespace CamSdk
