#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "transport/OwnerOnlyFile.h"

namespace CamSdk {
namespace transport {

namespace {

[[noreturn]] void fail(const std::string& path, const char* what) {
  throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

}  // namespace

void writeOwnerOnlyFile(const std::string& path, const std::string& text) {
  // O_NOFOLLOW: a link planted at the path must not send the secret elsewhere.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) fail(path, "cannot write the file");
  // A file that existed keeps its mode through open(): narrow it before the secret goes in.
  if (::fchmod(fd, 0600) != 0) {
    ::close(fd);
    fail(path, "cannot make the file readable by its owner only");
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      fail(path, "write failed");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) fail(path, "write failed");
}

}  // namespace transport
}  // namespace CamSdk
