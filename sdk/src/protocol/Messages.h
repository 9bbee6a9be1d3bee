// The messages of the camera-service protocol and their encoding (sdk/PROTOCOL.md). No I/O and
// no threads here: the transports move the bytes, the client and the service act on them.
//
// Every message starts with the same 12-byte header: magic "CSDK", version, type, a zero byte
// and a correlation number (a request's number, echoed by its reply; 0 for what the service
// pushes on its own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "camsdk/Exceptions.h"
#include "common/Topology.h"
#include "protocol/Wire.h"

namespace CamSdk {
namespace protocol {

constexpr std::uint32_t kMagic = 0x4B445343;  // "CSDK" read as little-endian bytes
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = 12;

enum class MessageType : std::uint8_t {
  // Requests, client to service; each gets exactly one reply.
  Hello = 1,
  Enter = 2,
  ListDevices = 3,
  IsPlugged = 4,
  RequestControl = 5,
  ReleaseControl = 6,
  GetConfiguration = 7,
  SetConfiguration = 8,
  SetMixerLevel = 9,
  Subscribe = 10,
  Bye = 11,
  // Replies.
  Welcome = 64,
  Done = 65,
  Failed = 66,
  DeviceList = 67,
  Flag = 68,
  Configuration = 69,
  // Pushed by the service.
  Topology = 128,
  Sample = 129,
  Goodbye = 130,
};

struct Header {
  std::uint16_t version = kVersion;
  MessageType type = MessageType::Done;
  std::uint32_t correlation = 0;
};

// Requests.
struct Hello {
  std::string clientName;  // shown to other clients when this one holds a node
};
struct Enter {
  std::uint8_t operation = 0;  // testing::SdkOperation
  std::string subject;
};
struct ListDevices {};
struct NodeRequest {  // IsPlugged, RequestControl, ReleaseControl, GetConfiguration
  detail::NodeId node = -1;
};
struct SetConfiguration {
  detail::NodeId node = -1;
  NodeKind kind = NodeKind::Other;
  std::vector<std::uint8_t> record;  // the kind's Configuration record, byte for byte
};
struct SetMixerLevel {
  detail::NodeId node = -1;
  float level = 0;
};
// Which maps of a node this client wants pushed; none stops the node's samples to it.
enum MapFlag : std::uint8_t { kDepthMap = 1, kVertices = 2, kColorMap = 4, kAudio = 8 };
struct Subscribe {
  detail::NodeId node = -1;
  std::uint8_t maps = 0;
};
struct Bye {};

// Replies.
struct Welcome {
  std::int32_t session = 0;
};
struct Done {};
struct Failed {
  ExceptionKind kind = ExceptionKind::IO;
  std::string message;
};
struct DeviceList {
  std::vector<detail::DeviceInfo> devices;
};
struct Flag {
  bool value = false;
};
struct ConfigurationRecord {
  std::vector<std::uint8_t> record;
};

// Pushed.
struct TopologyPush {
  detail::TopologyChange change;
};
// One sample. The maps are views into the message that carried them: `offset` from the
// message start, 8-byte aligned so a receiver can use them in place.
struct MapView {
  std::uint8_t map = 0;  // a MapFlag
  std::size_t offset = 0;
  std::size_t length = 0;
};
struct SamplePush {
  detail::NodeId node = -1;
  NodeKind kind = NodeKind::Other;
  std::int64_t index = 0;          // the sample's number since its stream started
  std::int64_t position = 0;       // audio: its first audio sample; otherwise the index
  std::int64_t timeOfCapture = 0;  // microseconds on the service clock
  std::int32_t frameFormat = 0;
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::vector<MapView> maps;
};
struct Goodbye {
  std::string reason;
};

using Request = std::variant<Hello, Enter, ListDevices, NodeRequest, SetConfiguration,
                             SetMixerLevel, Subscribe, Bye>;
using ServerMessage = std::variant<Welcome, Done, Failed, DeviceList, Flag, ConfigurationRecord,
                                   TopologyPush, SamplePush, Goodbye>;

struct DecodedRequest {
  Header header;
  Request request;
};
struct DecodedServerMessage {
  Header header;
  ServerMessage message;
};

// Encoders append one whole message to `out` (which they clear first).
void encodeRequest(std::vector<std::uint8_t>& out, MessageType type, std::uint32_t correlation,
                   const Request& request);
void encodeReply(std::vector<std::uint8_t>& out, std::uint32_t correlation,
                 const ServerMessage& message);
// A sample: `maps` are (flag, bytes, length) in the order given.
struct MapBytes {
  std::uint8_t map;
  const void* data;
  std::size_t length;
};
void encodeSample(std::vector<std::uint8_t>& out, const SamplePush& sample,
                  const std::vector<MapBytes>& maps);

// Decoders raise ProtocolError for anything malformed: a wrong magic, an unknown type, a
// field cut short, a length that lies, bytes left over. A message of another version decodes
// only as far as its header (see readHeader): the caller decides what to answer.
Header readHeader(const std::uint8_t* data, std::size_t size);
DecodedRequest decodeRequest(const std::uint8_t* data, std::size_t size);
DecodedServerMessage decodeServerMessage(const std::uint8_t* data, std::size_t size);

const char* messageTypeName(MessageType type) noexcept;

}  // namespace protocol
}  // namespace CamSdk
