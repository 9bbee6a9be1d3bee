// What the simulated nodes can do, and the check of a configuration against it. Each check
// returns an empty string for a configuration the node accepts, otherwise the reason.
#pragma once

#include <cstdint>
#include <string>

#include "camsdk/Node.h"

namespace CamSdk {
namespace detail {

constexpr std::int32_t kDepthMaxFramerate = 60;
constexpr std::int32_t kColorMaxFramerate = 30;
// Audio comes in blocks of 20 ms whatever the sample rate.
constexpr std::int32_t kAudioBlocksPerSecond = 50;

std::string checkConfiguration(const DepthNode::Configuration& configuration);
std::string checkConfiguration(const ColorNode::Configuration& configuration);
std::string checkConfiguration(const AudioNode::Configuration& configuration);

DepthNode::Configuration defaultDepthConfiguration();
ColorNode::Configuration defaultColorConfiguration();
AudioNode::Configuration defaultAudioConfiguration();

}  // namespace detail
}  // namespace CamSdk
