// A node's configuration record travels as its bytes, padding included, so that what a client
// wrote comes back to it unchanged.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/Wire.h"

namespace CamSdk {
namespace protocol {

template <class Configuration>
std::vector<std::uint8_t> configurationBytes(const Configuration& configuration) {
  std::vector<std::uint8_t> bytes(sizeof configuration);
  std::memcpy(bytes.data(), &configuration, sizeof configuration);
  return bytes;
}

// Raises ProtocolError when the bytes are not one record of this kind.
template <class Configuration>
Configuration configurationFrom(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != sizeof(Configuration)) {
    throw ProtocolError("configuration record of " + std::to_string(bytes.size()) +
                        " bytes, expected " + std::to_string(sizeof(Configuration)));
  }
  Configuration configuration;
  std::memcpy(static_cast<void*>(&configuration), bytes.data(), sizeof configuration);
  return configuration;
}

}  // namespace protocol
}  // namespace CamSdk
