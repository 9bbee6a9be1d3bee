// The system's socket address functions (inet_pton, inet_ntop, getaddrinfo). Platform header:
// the build puts the folder of its platform on the server layer's include path.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace CamSdk {
namespace server {

// Windows resolves names only after WSAStartup. ZeroMQ starts it with its context, but an
// endpoint may be parsed before any context exists; started once, never stopped.
inline const bool kSocketsStarted = [] {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();

}  // namespace server
}  // namespace CamSdk
