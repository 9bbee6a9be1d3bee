#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "server/SharedRegion.h"

namespace CamSdk {
namespace server {

namespace {

// Unique on this machine and not guessable in advance, so that no other program can have made
// an object of this name first (O_EXCL refuses it anyway).
std::string newName() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
  return "/camsdk-service-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
         suffix;
}

}  // namespace

std::unique_ptr<SharedRegion> SharedRegion::create(std::size_t size, std::string* why) {
  const std::string name = newName();
  const int descriptor = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    *why = "shared memory " + name + ": cannot create it: " + std::strerror(errno);
    return nullptr;
  }
  void* data = MAP_FAILED;
  if (ftruncate(descriptor, static_cast<off_t>(size)) == 0) {
    data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  }
  if (data == MAP_FAILED) {
    *why = "shared memory " + name + ": cannot map " + std::to_string(size) +
           " bytes: " + std::strerror(errno);
    close(descriptor);
    shm_unlink(name.c_str());
    return nullptr;
  }
  return std::unique_ptr<SharedRegion>(
      new SharedRegion(name, static_cast<std::uint8_t*>(data), size, descriptor));
}

SharedRegion::~SharedRegion() {
  munmap(data_, size_);
  close(descriptor_);
  shm_unlink(name_.c_str());
}

bool SharedRegion::reserve(std::size_t offset, std::size_t length) {
  return posix_fallocate(descriptor_, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}

}  // namespace server
}  // namespace CamSdk
