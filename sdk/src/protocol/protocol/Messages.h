// The messages of the camera-service protocol and their encoding (sdk/PROTOCOL.md). No I/O and
// no threads here: the transports move the bytes, the client and the service act on them.
//
// A message is one or more frames (ZeroMQ sends them as the parts of one multi-part message).
// The first frame starts with the same 12-byte header for every message: magic "CSDK",
// version, type, a zero byte and a correlation number (a request's number, echoed by its
// reply; 0 for what the service pushes on its own), then the message's fields. Only a sample
// has more frames: one per map that travels in the message, so that map bytes are not copied
// into it. A map in the service's shared memory travels as the place that holds it instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "camsdk/Exceptions.h"
#include "common/NodeKinds.h"
#include "common/Topology.h"
#include "protocol/Wire.h"

namespace CamSdk {
namespace protocol {

constexpr std::uint32_t kMagic = 0x4B445343;  // "CSDK" read as little-endian bytes
constexpr std::uint16_t kVersion = 3;         // 2: Heartbeat and Alive; 3: maps in shared memory
constexpr std::size_t kHeaderSize = 12;
// The largest request a service reads. Real ones stay far below it (the longest is a Hello
// with a 4 KiB name), so that no client can make the service hold much.
constexpr std::size_t kMaxRequestSize = 64u << 10;
// The largest frame a client reads: a map of kMaxBlob bytes is the largest thing a service sends.
constexpr std::size_t kMaxServiceFrame = kMaxBlob;

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
  Heartbeat = 12,  // no reply of its own: the service answers with Alive
  Mapped = 13,     // no reply: the client reads maps from the region Welcome offered
  GiveBack = 14,   // no reply: buffers of that region the client no longer reads
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
  Alive = 131,  // the answer to a Heartbeat
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
  std::uint8_t operation = 0;  // detail::SdkOperation
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
// Which maps of a node this client wants pushed (detail::MapFlag bits); none stops the node's
// samples to it.
struct Subscribe {
  detail::NodeId node = -1;
  std::uint8_t maps = 0;
};
struct Bye {};
struct Heartbeat {};
struct Mapped {
  std::uint32_t region = 0;  // the region Welcome offered
};
// One buffer of the shared region: its slot, and which use of that slot.
struct BufferId {
  std::uint32_t slot = 0;
  std::uint32_t generation = 0;
};
// At most kMaxCount buffers in one message.
struct GiveBack {
  std::vector<BufferId> buffers;
};

// Replies.
// Shared memory the service offers this client to read maps from: a POSIX shared-memory
// object of `size` bytes. Region 0 offers none.
struct RegionOffer {
  std::uint32_t region = 0;
  std::string name;
  std::uint64_t size = 0;
};
struct Welcome {
  std::int32_t session = 0;
  RegionOffer offer;
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
// A shared map's buffer starts with its generation, a u32 this many bytes before the map, so
// that a reader can tell whether the buffer still holds what it was sent.
constexpr std::size_t kGenerationBefore = 64;
// Where a map lies in the shared region: `length` bytes from `offset`, in the region's slot
// `slot` in its use `generation`.
struct SharedPlace {
  std::uint32_t region = 0;
  std::uint32_t slot = 0;
  std::uint32_t generation = 0;
  std::uint64_t offset = 0;
};
// One map of a sample: in a frame of its own (the maps that travel in the message come as
// frames 1, 2, ... in the order listed), or in shared memory.
struct MapView {
  std::uint8_t map = 0;  // a detail::MapFlag
  std::size_t length = 0;
  bool shared = false;
  SharedPlace place;  // when shared
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
  std::int32_t droppedSampleCount = 0;  // samples of this node this client did not get
  std::vector<MapView> maps;
};
struct Goodbye {
  std::string reason;
};
struct Alive {};

using Request = std::variant<Hello, Enter, ListDevices, NodeRequest, SetConfiguration,
                             SetMixerLevel, Subscribe, Bye, Heartbeat, Mapped, GiveBack>;
using ServerMessage = std::variant<Welcome, Done, Failed, DeviceList, Flag, ConfigurationRecord,
                                   TopologyPush, SamplePush, Goodbye, Alive>;

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
// A sample's first frame; its maps follow as frames of their own, in `sample.maps` order.
void encodeSample(std::vector<std::uint8_t>& out, const SamplePush& sample);

struct Frame {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// A frame with what keeps its bytes alive, as messages travel between the layers: a transport
// in this process passes these on without copying a byte.
struct OwnedFrame {
  std::shared_ptr<const void> owner;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};
using FrameList = std::vector<OwnedFrame>;

// A frame that owns a copy of `bytes`.
OwnedFrame ownedCopy(const std::vector<std::uint8_t>& bytes);
DecodedServerMessage decodeServerMessage(const FrameList& frames);

// Decoders raise ProtocolError for anything malformed: a wrong magic, an unknown type, a
// field cut short, a length that lies, bytes left over, frames missing or too many, a map
// that is unknown or comes twice. A message of another version decodes only as far as its
// header (see readHeader), the caller decides what to answer; the one exception is Failed,
// whose layout every version keeps, so that a service can tell a client of another version
// why it is refused.
Header readHeader(const std::uint8_t* data, std::size_t size);
DecodedRequest decodeRequest(const std::uint8_t* data, std::size_t size);
DecodedServerMessage decodeServerMessage(const Frame* frames, std::size_t count);

const char* messageTypeName(MessageType type) noexcept;

}  // namespace protocol
}  // namespace CamSdk
