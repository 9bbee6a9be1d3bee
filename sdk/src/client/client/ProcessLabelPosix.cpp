#include <unistd.h>

#include <fstream>

#include "client/ProcessLabel.h"

namespace CamSdk {
namespace detail {

std::string processLabel() {
  std::string name;
  std::ifstream comm("/proc/self/comm");
  if (!std::getline(comm, name) || name.empty()) name = "a client";
  return name + " (process " + std::to_string(getpid()) + ")";
}

}  // namespace detail
}  // namespace CamSdk
