#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// Regions left by services of this user that ended without removing them (killed outright):
// their memory would stay taken until the machine restarts. A region whose service still runs
// is left alone.
void removeOrphans() {
  DIR* folder = opendir("/dev/shm");
  if (folder == nullptr) return;
  const std::string prefix = "camsdk-service-";
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    struct stat status {};
    if (pid <= 0 || fstatat(dirfd(folder), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        status.st_uid != geteuid()) {
      continue;
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) shm_unlink(("/" + name).c_str());
  }
  closedir(folder);
}

}  // namespace

std::unique_ptr<SharedRegion> SharedRegion::create(std::size_t size, std::string* why) {
  removeOrphans();
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
