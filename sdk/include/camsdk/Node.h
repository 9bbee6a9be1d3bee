// Node handles: the untyped Node and the three kinds the SDK streams from.
//
// Handles have value semantics: a copy shares the node, destroying a copy releases only that
// handle. A default-built handle is unset. Node handles belong to the context they were
// listed from; two handles are equal when they name the same node of the same context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "camsdk/Events.h"
#include "camsdk/FrameFormat.h"
#include "camsdk/Pointer.h"

namespace CamSdk {

namespace detail {
class NodeClient;
struct HandleAccess;
}  // namespace detail

enum class NodeKind : std::int32_t { Depth, Color, Audio, Other };

// "depth", "color", "audio" or "other": the word that node names start with.
const char* nodeKindName(NodeKind kind) noexcept;

class Node {
 public:
  Node() = default;

  bool isSet() const noexcept { return client_ != nullptr; }
  // Back to unset; the node itself is untouched. Not noexcept: like every SDK operation it may
  // report a failure of the service.
  void unset();

  template <class N>
  bool is() const {
    return isSet() && kindChecked() == N::nodeKind;
  }
  // The typed handle; raises InvalidOperationException when the node is of another kind.
  template <class N>
  N as() const {
    checkKind(N::nodeKind);
    return N(client_);
  }

  NodeKind kind() const;
  // A name unique within its device, such as "color0".
  std::string name() const;

  bool operator==(const Node& other) const noexcept { return client_ == other.client_; }
  bool operator!=(const Node& other) const noexcept { return !(*this == other); }

 protected:
  explicit Node(std::shared_ptr<detail::NodeClient> client) : client_(std::move(client)) {}
  detail::NodeClient& client() const;  // raises InvalidOperationException when unset

 private:
  friend struct detail::HandleAccess;
  NodeKind kindChecked() const;
  void checkKind(NodeKind wanted) const;

  std::shared_ptr<detail::NodeClient> client_;
};

struct Vertex {
  std::int16_t x, y, z;
};
struct FPVertex {
  float x, y, z;
};
struct UV {
  float u, v;
};

class DepthNode : public Node {
 public:
  static constexpr NodeKind nodeKind = NodeKind::Depth;

  enum class CameraMode : std::int32_t { Close = 0, Long = 1 };

  struct Configuration {
    FrameFormat frameFormat;
    std::int32_t framerate;
    CameraMode mode;
    bool saturation;
  };

  struct NewSampleReceivedData {
    Pointer<short> confidenceMap;
    Pointer<short> phaseMap;
    Pointer<short> depthMap;  // millimetres; 0 where the pixel has no data
    Pointer<float> depthMapFloatingPoint;
    Pointer<Vertex> vertices;
    Pointer<FPVertex> verticesFloatingPoint;
    Pointer<UV> uvMap;
    FrameFormat frameFormat;
    std::int64_t timeOfCapture;  // microseconds on the service clock
    std::int64_t sampleIndex;    // since the stream started
    std::int32_t droppedSampleCount;
  };

  class NewSampleReceivedEvent : public Event<DepthNode, NewSampleReceivedData> {};

  DepthNode() = default;

  NewSampleReceivedEvent& newSampleReceivedEvent();
  Configuration getConfiguration() const;
  void setConfiguration(Configuration configuration);
  void setEnableDepthMap(bool enable);
  void setEnableVertices(bool enable);

 private:
  friend class Node;
  friend struct detail::HandleAccess;
  explicit DepthNode(std::shared_ptr<detail::NodeClient> client) : Node(std::move(client)) {}
};

class ColorNode : public Node {
 public:
  static constexpr NodeKind nodeKind = NodeKind::Color;

  enum class PowerLineFrequency : std::int32_t { Disabled = 0, Hz50 = 1, Hz60 = 2 };
  enum class Compression : std::int32_t { Yuy2 = 0, Mjpeg = 1 };

  struct Configuration {
    FrameFormat frameFormat;
    std::int32_t framerate;
    PowerLineFrequency powerLineFrequency;
    Compression compression;
  };

  struct NewSampleReceivedData {
    Pointer<std::uint8_t> colorMap;  // packed 4:2:2: Y0 U Y1 V for each pixel pair
    Pointer<std::uint8_t> compressedData;
    FrameFormat frameFormat;
    std::int64_t timeOfCapture;
    std::int64_t sampleIndex;
    std::int32_t droppedSampleCount;
  };

  class NewSampleReceivedEvent : public Event<ColorNode, NewSampleReceivedData> {};

  ColorNode() = default;

  NewSampleReceivedEvent& newSampleReceivedEvent();
  Configuration getConfiguration() const;
  void setConfiguration(Configuration configuration);
  void setEnableColorMap(bool enable);

 private:
  friend class Node;
  friend struct detail::HandleAccess;
  explicit ColorNode(std::shared_ptr<detail::NodeClient> client) : Node(std::move(client)) {}
};

class AudioNode : public Node {
 public:
  static constexpr NodeKind nodeKind = NodeKind::Audio;

  enum class AudioFormat : std::int32_t { Pcm16 = 0 };

  struct Configuration {
    AudioFormat audioFormat;
    std::int32_t channels;
    std::int32_t sampleRate;
  };

  struct NewSampleReceivedData {
    Pointer<std::uint8_t> audioData;  // interleaved signed 16-bit little-endian samples
    std::int32_t sampleRate;
    std::int32_t channels;
    std::int64_t timeOfCapture;
    std::int64_t sampleIndex;  // first audio sample of the block, since the stream started
    std::int32_t droppedSampleCount;
  };

  class NewSampleReceivedEvent : public Event<AudioNode, NewSampleReceivedData> {};

  AudioNode() = default;

  NewSampleReceivedEvent& newSampleReceivedEvent();
  Configuration getConfiguration() const;
  void setConfiguration(Configuration configuration);
  void setInputMixerLevel(float level);

 private:
  friend class Node;
  friend struct detail::HandleAccess;
  explicit AudioNode(std::shared_ptr<detail::NodeClient> client) : Node(std::move(client)) {}
};

// The records cross the SDK boundary by value with exactly these layouts.
static_assert(sizeof(DepthNode::Configuration) == 16, "depth configuration layout");
static_assert(offsetof(DepthNode::Configuration, frameFormat) == 0, "depth configuration layout");
static_assert(offsetof(DepthNode::Configuration, framerate) == 4, "depth configuration layout");
static_assert(offsetof(DepthNode::Configuration, mode) == 8, "depth configuration layout");
static_assert(offsetof(DepthNode::Configuration, saturation) == 12, "depth configuration layout");
static_assert(sizeof(ColorNode::Configuration) == 16, "colour configuration layout");
static_assert(offsetof(ColorNode::Configuration, frameFormat) == 0, "colour configuration layout");
static_assert(offsetof(ColorNode::Configuration, framerate) == 4, "colour configuration layout");
static_assert(offsetof(ColorNode::Configuration, powerLineFrequency) == 8,
              "colour configuration layout");
static_assert(offsetof(ColorNode::Configuration, compression) == 12, "colour configuration layout");
static_assert(sizeof(AudioNode::Configuration) == 12, "audio configuration layout");
static_assert(offsetof(AudioNode::Configuration, sampleRate) == 8, "audio configuration layout");

}  // namespace CamSdk
