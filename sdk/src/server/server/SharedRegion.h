// Memory the service shares with the clients on this machine that can map it: a named object
// that only the service's user may open, writable here and mapped read-only by clients. Pages
// are reserved before they are first written, so that a machine short of shared memory refuses
// a reservation instead of ending the service on a write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace CamSdk {
namespace server {

class SharedRegion {
 public:
  // A new region of `size` bytes (none reserved yet); nullptr, with `why` saying what failed,
  // where this platform or machine offers no such memory.
  static std::unique_ptr<SharedRegion> create(std::size_t size, std::string* why);
  ~SharedRegion();
  SharedRegion(const SharedRegion&) = delete;
  SharedRegion& operator=(const SharedRegion&) = delete;

  // The name a client opens it by.
  const std::string& name() const { return name_; }
  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  // Backs `length` bytes from `offset` with memory; false when the machine has none left.
  bool reserve(std::size_t offset, std::size_t length);

 private:
  SharedRegion(std::string name, std::uint8_t* data, std::size_t size, int descriptor)
      : name_(std::move(name)), data_(data), size_(size), descriptor_(descriptor) {}

  std::string name_;
  std::uint8_t* data_;
  std::size_t size_;
  int descriptor_;
};

}  // namespace server
}  // namespace CamSdk
