#include "transport/ZmqContext.h"

namespace CamSdk {
namespace transport {

zmq::context_t& zmqContext() {
  static zmq::context_t* context = new zmq::context_t(1);
  return *context;
}

}  // namespace transport
}  // namespace CamSdk
