#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "EndpointLock.h"

namespace CamSdk {
namespace service_program {

EndpointLock::EndpointLock(const std::string& endpoint) {
  const std::string prefix = "ipc://";
  if (endpoint.rfind(prefix, 0) != 0) return;
  const std::string path = endpoint.substr(prefix.size()) + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    throw std::runtime_error(endpoint + " is already served by another camera service");
  }
}

EndpointLock::~EndpointLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace service_program
}  // namespace CamSdk
