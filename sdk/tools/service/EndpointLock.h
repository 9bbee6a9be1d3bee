// Keeps a second service off a local socket that one already serves: ZeroMQ would otherwise
// take the socket file over silently. Linux (EndpointLockLinux.cpp): an advisory lock on a file
// next to the socket, held for the life of the process and freed by the kernel however it
// ends. Windows (EndpointLockWindows.cpp): a named mutex per endpoint, any endpoint.
#pragma once

#include <string>

namespace CamSdk {
namespace service_program {

class EndpointLock {
 public:
  // Linux locks ipc endpoints; others need no lock there (their bind fails by itself).
  // Raises std::runtime_error when another process holds the endpoint.
  explicit EndpointLock(const std::string& endpoint);
  ~EndpointLock();
  EndpointLock(const EndpointLock&) = delete;
  EndpointLock& operator=(const EndpointLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace service_program
}  // namespace CamSdk
