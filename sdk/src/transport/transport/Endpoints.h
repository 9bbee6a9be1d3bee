// Where a camera service listens, and the keys that reach one on another machine.
//
// "localhost" is this machine's service: CAMSDK_ENDPOINT when set (any ZeroMQ endpoint, so
// tests can give each service a socket of its own), otherwise defaultLocalEndpoint(). Any other
// host is reached over TCP: "HOST" on kDefaultPort, "HOST:PORT".
#pragma once

#include <optional>
#include <string>

namespace CamSdk {
namespace transport {

constexpr int kDefaultPort = 7531;
// Windows' local service, one below, so that it never stands in the way of a keyed service on
// kDefaultPort.
constexpr int kLocalPort = 7530;

// Platform code. Linux (LocalEndpointPosix.cpp): a local socket,
// ipc://$XDG_RUNTIME_DIR/camsdk-service.sock, or ipc:///tmp/camsdk-service-UID.sock when that
// variable is unset; its folder's permissions decide who connects. Windows
// (LocalEndpointWindows.cpp): tcp://127.0.0.1:kLocalPort, as ZeroMQ's local sockets need
// Microsoft's compiler and Wine has none: every user of the machine can connect, nobody from
// another machine.
std::string defaultLocalEndpoint();
std::string endpointForHost(const std::string& host);

// A CURVE key pair in Z85 text (40 characters each).
struct KeyPair {
  std::string publicKey;
  std::string secretKey;
};

// Key files: a key file holds the public key on its first line and the secret key on its
// second; a public key file holds one public key. Raise std::runtime_error naming the file
// and what is wrong.
KeyPair readKeyPair(const std::string& path);
std::string readPublicKey(const std::string& path);
// Writes PATH (both keys, readable by its owner only) and PATH.pub (the public key).
void writeNewKeyPair(const std::string& path);

// What a client offers a service on another machine: CAMSDK_CLIENT_KEY names its key file,
// CAMSDK_SERVICE_KEY the service's public key file. Empty when neither is set.
struct ClientKeys {
  KeyPair own;
  std::string servicePublicKey;
};
std::optional<ClientKeys> clientKeysFromEnvironment();

}  // namespace transport
}  // namespace CamSdk
