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

std::string checkConfiguration(const DepthNode::Configuration& configuration);
std::string checkConfiguration(const ColorNode::Configuration& configuration);
std::string checkConfiguration(const AudioNode::Configuration& configuration);

template <class N>
typename N::Configuration defaultConfiguration();
template <>
DepthNode::Configuration defaultConfiguration<DepthNode>();
template <>
ColorNode::Configuration defaultConfiguration<ColorNode>();
template <>
AudioNode::Configuration defaultConfiguration<AudioNode>();

// The same rules for a record of any kind. A node of no streamed kind has no record.
std::string checkConfiguration(const NodeConfiguration& configuration);
NodeConfiguration defaultConfiguration(NodeKind kind);
// Samples a second of a node streaming at this configuration.
std::int32_t samplesPerSecond(const NodeConfiguration& configuration);
// What makes a record unsafe to read as its kind's struct (a truth value that is neither 0
// nor 1, whose load is undefined), or empty.
std::string unreadableField(const NodeConfiguration& configuration);

}  // namespace detail
}  // namespace CamSdk
