#include "transport/Endpoints.h"

#include <zmq.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "transport/OwnerOnlyFile.h"

namespace CamSdk {
namespace transport {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool isZ85Key(const std::string& text) {
  std::uint8_t decoded[32];
  return text.size() == 40 && zmq_z85_decode(decoded, text.c_str()) != nullptr;
}

std::string readKeyLine(std::ifstream& in, const std::string& path, const char* which) {
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error(path + ": no " + which + " key line");
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (!isZ85Key(line)) {
    throw std::runtime_error(path + ": the " + std::string(which) +
                             " key is not a 40-character Z85 key");
  }
  return line;
}

}  // namespace

std::string endpointForHost(const std::string& host) {
  if (host == "localhost") {
    const std::string chosen = environment("CAMSDK_ENDPOINT");
    return chosen.empty() ? defaultLocalEndpoint() : chosen;
  }
  if (host.find(':') != std::string::npos) return "tcp://" + host;
  return "tcp://" + host + ":" + std::to_string(kDefaultPort);
}

KeyPair readKeyPair(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open the key file");
  KeyPair keys;
  keys.publicKey = readKeyLine(in, path, "public");
  keys.secretKey = readKeyLine(in, path, "secret");
  return keys;
}

std::string readPublicKey(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open the public key file");
  return readKeyLine(in, path, "public");
}

void writeNewKeyPair(const std::string& path) {
  char publicKey[41];
  char secretKey[41];
  if (zmq_curve_keypair(publicKey, secretKey) != 0) {
    throw std::runtime_error("this ZeroMQ library cannot make CURVE keys");
  }
  writeOwnerOnlyFile(path, std::string(publicKey) + '\n' + secretKey + '\n');
  std::ofstream pub(path + ".pub", std::ios::trunc);
  if (!pub) throw std::runtime_error(path + ".pub: cannot write the public key file");
  pub << publicKey << '\n';
  if (!pub.flush()) throw std::runtime_error(path + ".pub: write failed");
}

std::optional<ClientKeys> clientKeysFromEnvironment() {
  const std::string own = environment("CAMSDK_CLIENT_KEY");
  const std::string service = environment("CAMSDK_SERVICE_KEY");
  if (own.empty() && service.empty()) return std::nullopt;
  if (own.empty() || service.empty()) {
    throw std::runtime_error(
        "CAMSDK_CLIENT_KEY and CAMSDK_SERVICE_KEY must be set together to use keys");
  }
  return ClientKeys{readKeyPair(own), readPublicKey(service)};
}

}  // namespace transport
}  // namespace CamSdk
