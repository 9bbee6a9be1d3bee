// What each node kind accepts, its defaults and its pace: the rules of the SDK, which every
// source's node follows before its own word on a configuration. Each check returns an empty
// string for a configuration the node accepts, otherwise the reason.
#pragma once

#include <cstdint>
#include <string>

#include "camsdk/Node.h"
#include "common/NodeConfiguration.h"

namespace CamSdk {
namespace detail {

constexpr std::int32_t kDepthMaxFramerate = 60;
constexpr std::int32_t kColorMaxFramerate = 30;
// Audio comes in blocks of 20 ms whatever the sample rate.
constexpr std::int32_t kAudioBlocksPerSecond = 50;

// Empty for a record its node accepts, otherwise the reason. A node of no streamed kind has
// no record.
std::string checkConfiguration(const NodeConfiguration& configuration);
NodeConfiguration defaultConfiguration(NodeKind kind);
template <class N>
typename N::Configuration defaultConfiguration() {
  return defaultConfiguration(N::nodeKind).template as<N>();
}
// Samples a second of a node streaming at this configuration.
std::int32_t samplesPerSecond(const NodeConfiguration& configuration);
// What makes a record unsafe to read as its kind's struct (a truth value that is neither 0
// nor 1, whose load is undefined), or empty.
std::string unreadableField(const NodeConfiguration& configuration);

}  // namespace detail
}  // namespace CamSdk
