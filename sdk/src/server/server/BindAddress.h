// The one endpoint a camera service listens on, parsed rather than matched by prefix, so that
// no spelling ZeroMQ would read another way (a list, a source address, an interface name, a
// name that resolves elsewhere) slips past the rule that only this machine is served without
// keys. The grammar (README, "Endpoints"):
//
//   ipc://PATH          PATH absolute, at most 107 bytes (the limit of a local socket's name)
//   inproc://NAME       this process only
//   tcp://HOST:PORT     HOST an IPv4 address, [an IPv6 address], a name this machine resolves,
//                       or * (every interface); PORT 1 to 65535, or * (any free port)
//
// Nothing else: no spaces, no ';' or ',' anywhere, no other transport. A name is resolved
// once, here: every address it resolves to is checked, and the service binds to the first of
// them as a number, so that ZeroMQ never takes the name for an interface.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace CamSdk {
namespace server {

struct BindAddress {
  std::string endpoint;   // what the socket binds: every host a number
  bool local = false;     // stays on this machine: ipc, inproc, 127.0.0.1 or ::1
  bool ipv6 = false;      // the socket needs ZMQ_IPV6
};

// The numeric addresses (IPv4 dotted, IPv6 without brackets) a host name resolves to; empty
// when it resolves to none.
using Resolver = std::function<std::vector<std::string>(const std::string& name)>;
std::vector<std::string> resolveWithSystem(const std::string& name);

// Raises std::invalid_argument with one line naming the endpoint and what is wrong with it.
BindAddress parseBindAddress(const std::string& text,
                             const Resolver& resolve = resolveWithSystem);

}  // namespace server
}  // namespace CamSdk
