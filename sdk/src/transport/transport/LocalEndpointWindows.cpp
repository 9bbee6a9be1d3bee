#include <string>

#include "transport/Endpoints.h"

namespace CamSdk {
namespace transport {

std::string defaultLocalEndpoint() { return "tcp://127.0.0.1:" + std::to_string(kLocalPort); }

}  // namespace transport
}  // namespace CamSdk
