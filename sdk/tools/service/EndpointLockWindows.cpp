// Windows: a named mutex per endpoint, held for the life of the process and freed by the
// system however it ends. TCP endpoints are locked too: a socket bound with SO_REUSEADDR by
// another program could otherwise share the port.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "EndpointLock.h"

namespace CamSdk {
namespace service_program {

EndpointLock::EndpointLock(const std::string& endpoint) {
  std::string name = "camsdk-service " + endpoint;
  for (char& c : name) {
    if (c == '\\') c = '/';  // a backslash would name a namespace
  }
  name = "Local\\" + name;  // this session's namespace: no rights needed
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) {
    throw std::runtime_error("cannot create the lock of " + endpoint + ": Windows error " +
                             std::to_string(GetLastError()));
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    throw std::runtime_error(endpoint + " is already served by another camera service");
  }
  // Kernel handles keep their value in 32 bits, so the descriptor field holds one.
  fd_ = HandleToLong(mutex);
}

EndpointLock::~EndpointLock() {
  if (fd_ != -1) CloseHandle(LongToHandle(fd_));
}

}  // namespace service_program
}  // namespace CamSdk
