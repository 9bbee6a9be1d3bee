// The node kinds the SDK streams, listed once. A kind is its node class in camsdk/Node.h: its
// Configuration record and its NewSampleReceivedData record. Code that is the same for every
// kind is written once over this list; what differs is said once per layer for each kind (the
// rules in ConfigurationRules, the sample's fields on the wire in protocol/SampleFields, the
// rendering in each source, the tracks of a recording). sdk/ARCHITECTURE.md lists the places.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <variant>

#include "camsdk/Node.h"

namespace CamSdk {
namespace detail {

template <class... Nodes>
struct NodeList {};

// Add a kind here, after its class in camsdk/Node.h.
using StreamedNodes = NodeList<DepthNode, ColorNode, AudioNode>;

// Stands for one node class where a function is called for a kind known only at run time.
template <class N>
struct KindTag {
  using Node = N;
};

// The maps a sample may carry, one bit each. The values travel on the wire (subscriptions and
// samples), so they never change.
enum MapFlag : std::uint8_t { kDepthMap = 1, kVertices = 2, kColorMap = 4, kAudio = 8 };
constexpr std::uint8_t kEveryMap = kDepthMap | kVertices | kColorMap | kAudio;
constexpr int kMapCount = (kEveryMap & 1) + (kEveryMap >> 1 & 1) + (kEveryMap >> 2 & 1) +
                          (kEveryMap >> 3 & 1) + (kEveryMap >> 4 & 1) + (kEveryMap >> 5 & 1) +
                          (kEveryMap >> 6 & 1) + (kEveryMap >> 7 & 1);

namespace kinds {

template <class F, class... Nodes>
bool visit(NodeKind kind, F& f, NodeList<Nodes...>) {
  return ((kind == Nodes::nodeKind ? (f(KindTag<Nodes>{}), true) : false) || ...);
}

template <class... Nodes>
std::variant<typename Nodes::NewSampleReceivedData...> samples(NodeList<Nodes...>);

template <class... Nodes>
constexpr std::array<NodeKind, sizeof...(Nodes)> kindsOf(NodeList<Nodes...>) {
  return {Nodes::nodeKind...};
}

template <class Configuration, class... Nodes>
constexpr NodeKind configured(NodeList<Nodes...>) {
  NodeKind found = NodeKind::Other;
  ((std::is_same<Configuration, typename Nodes::Configuration>::value ? (found = Nodes::nodeKind)
                                                                      : found),
   ...);
  return found;
}

}  // namespace kinds

// Calls f(KindTag<N>{}) for the streamed kind `kind`; false, without calling it, for a kind the
// SDK does not stream.
template <class F>
bool withKind(NodeKind kind, F&& f) {
  return kinds::visit(kind, f, StreamedNodes{});
}

// A sample record of any streamed kind, as it reaches a node's handlers.
using SampleRecord = decltype(kinds::samples(StreamedNodes{}));

// The streamed kinds, in the list's order.
constexpr auto kStreamedKinds = kinds::kindsOf(StreamedNodes{});

inline NodeKind kindOf(const SampleRecord& sample) { return kStreamedKinds[sample.index()]; }

// The kind whose configuration record is Configuration.
template <class Configuration>
constexpr NodeKind kindConfiguredBy() {
  return kinds::configured<Configuration>(StreamedNodes{});
}

}  // namespace detail
}  // namespace CamSdk
