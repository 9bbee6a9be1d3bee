// The process's one ZeroMQ context. It is never destroyed: terminating it at exit would wait
// for sockets that static destructors of other libraries may still hold.
#pragma once

#include <zmq.hpp>

namespace CamSdk {
namespace transport {

zmq::context_t& zmqContext();

}  // namespace transport
}  // namespace CamSdk
