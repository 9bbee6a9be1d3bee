#include <unistd.h>

#include <cstdlib>
#include <string>

#include "transport/Endpoints.h"

namespace CamSdk {
namespace transport {

std::string defaultLocalEndpoint() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    return "ipc://" + std::string(runtime) + "/camsdk-service.sock";
  }
  return "ipc:///tmp/camsdk-service-" + std::to_string(getuid()) + ".sock";
}

}  // namespace transport
}  // namespace CamSdk
