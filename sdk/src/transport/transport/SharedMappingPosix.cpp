#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/SharedMapping.h"

namespace CamSdk {
namespace transport {

std::shared_ptr<const SharedMapping> SharedMapping::open(const std::string& name,
                                                         std::uint64_t size, std::string* why) {
  // A POSIX name is one slash and a file name; anything else is not the service's region.
  if (name.size() < 2 || name[0] != '/' || name.find('/', 1) != std::string::npos || size == 0 ||
      size > kMaxSize) {
    *why = "shared memory \"" + name + "\" of " + std::to_string(size) + " bytes: not a region";
    return nullptr;
  }
  const int descriptor = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (descriptor < 0) {
    *why = "shared memory " + name + ": cannot open it: " + std::strerror(errno);
    return nullptr;
  }
  // Reading past the object's end would raise SIGBUS, so it must be as large as announced.
  struct stat status {};
  void* data = MAP_FAILED;
  if (fstat(descriptor, &status) != 0) {
    *why = "shared memory " + name + ": " + std::strerror(errno);
  } else if (static_cast<std::uint64_t>(status.st_size) < size) {
    *why = "shared memory " + name + ": " + std::to_string(status.st_size) +
           " bytes, announced as " + std::to_string(size);
  } else {
    // Private, yet it shows the service's writes until this process writes to a page itself:
    // that is how keepPrivately() takes a page out of the service's hands.
    data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (data == MAP_FAILED)
      *why = "shared memory " + name + ": cannot map it: " + std::strerror(errno);
  }
  close(descriptor);
  if (data == MAP_FAILED) return nullptr;
  return std::shared_ptr<const SharedMapping>(
      new SharedMapping(static_cast<const std::uint8_t*>(data), size));
}

SharedMapping::~SharedMapping() { munmap(const_cast<std::uint8_t*>(data_), size_); }

void SharedMapping::keepPrivately(std::size_t offset, std::size_t length) const {
  if (length == 0 || offset >= size_) return;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t first = offset / page * page;
  const std::size_t end = std::min(size_, offset + length);
  auto* start = const_cast<std::uint8_t*>(data_) + first;
  if (mprotect(start, end - first, PROT_READ | PROT_WRITE) != 0) return;
  // Writing a byte back as it is makes the page this process's own copy.
  for (std::size_t at = first; at < end; at += page) {
    volatile std::uint8_t* byte = const_cast<std::uint8_t*>(data_) + at;
    *byte = *byte;
  }
  mprotect(start, end - first, PROT_READ);
}

}  // namespace transport
}  // namespace CamSdk
