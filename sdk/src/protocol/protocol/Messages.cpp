#include "protocol/Messages.h"

#include "common/Overloaded.h"

namespace CamSdk {
namespace protocol {

namespace {

void writeHeader(WireWriter& out, MessageType type, std::uint32_t correlation) {
  out.u32(kMagic);
  out.u16(kVersion);
  out.u8(static_cast<std::uint8_t>(type));
  out.u8(0);
  out.u32(correlation);
}

NodeKind readKind(WireReader& in) {
  const std::uint8_t kind = in.u8();
  if (kind > static_cast<std::uint8_t>(NodeKind::Other)) {
    throw ProtocolError("unknown node kind " + std::to_string(kind));
  }
  return static_cast<NodeKind>(kind);
}

void writeNode(WireWriter& out, const detail::NodeInfo& node) {
  out.i32(node.id);
  out.u8(static_cast<std::uint8_t>(node.kind));
  out.string(node.name);
}

detail::NodeInfo readNode(WireReader& in) {
  detail::NodeInfo node;
  node.id = in.i32();
  node.kind = readKind(in);
  node.name = in.string();
  return node;
}

void writeDevice(WireWriter& out, const detail::DeviceInfo& device) {
  out.i32(device.id);
  out.string(device.name);
  out.u32(static_cast<std::uint32_t>(device.nodes.size()));
  for (const auto& node : device.nodes) writeNode(out, node);
}

detail::DeviceInfo readDevice(WireReader& in) {
  detail::DeviceInfo device;
  device.id = in.i32();
  device.name = in.string();
  const std::size_t nodes = in.count();
  for (std::size_t i = 0; i < nodes; ++i) device.nodes.push_back(readNode(in));
  return device;
}

std::vector<std::uint8_t> readRecord(WireReader& in, const std::uint8_t* data) {
  std::size_t length = 0;
  const std::size_t at = in.blob(&length);
  return std::vector<std::uint8_t>(data + at, data + at + length);
}

// Requests that name only a node.
bool isNodeRequest(MessageType type) {
  return type == MessageType::IsPlugged || type == MessageType::RequestControl ||
         type == MessageType::ReleaseControl || type == MessageType::GetConfiguration;
}

}  // namespace

const char* messageTypeName(MessageType type) noexcept {
  switch (type) {
    case MessageType::Hello:
      return "Hello";
    case MessageType::Enter:
      return "Enter";
    case MessageType::ListDevices:
      return "ListDevices";
    case MessageType::IsPlugged:
      return "IsPlugged";
    case MessageType::RequestControl:
      return "RequestControl";
    case MessageType::ReleaseControl:
      return "ReleaseControl";
    case MessageType::GetConfiguration:
      return "GetConfiguration";
    case MessageType::SetConfiguration:
      return "SetConfiguration";
    case MessageType::SetMixerLevel:
      return "SetMixerLevel";
    case MessageType::Subscribe:
      return "Subscribe";
    case MessageType::Bye:
      return "Bye";
    case MessageType::Heartbeat:
      return "Heartbeat";
    case MessageType::Mapped:
      return "Mapped";
    case MessageType::GiveBack:
      return "GiveBack";
    case MessageType::Welcome:
      return "Welcome";
    case MessageType::Done:
      return "Done";
    case MessageType::Failed:
      return "Failed";
    case MessageType::DeviceList:
      return "DeviceList";
    case MessageType::Flag:
      return "Flag";
    case MessageType::Configuration:
      return "Configuration";
    case MessageType::Topology:
      return "Topology";
    case MessageType::Sample:
      return "Sample";
    case MessageType::Goodbye:
      return "Goodbye";
    case MessageType::Alive:
      return "Alive";
  }
  return "unknown";
}

void encodeRequest(std::vector<std::uint8_t>& bytes, MessageType type, std::uint32_t correlation,
                   const Request& request) {
  bytes.clear();
  WireWriter out(bytes);
  writeHeader(out, type, correlation);
  std::visit(Overloaded{
                 [&](const Hello& m) { out.string(m.clientName); },
                 [&](const Enter& m) {
                   out.u8(m.operation);
                   out.string(m.subject);
                 },
                 [&](const ListDevices&) {},
                 [&](const NodeRequest& m) { out.i32(m.node); },
                 [&](const SetConfiguration& m) {
                   out.i32(m.node);
                   out.u8(static_cast<std::uint8_t>(m.kind));
                   out.blob(m.record.data(), m.record.size());
                 },
                 [&](const SetMixerLevel& m) {
                   out.i32(m.node);
                   out.f32(m.level);
                 },
                 [&](const Subscribe& m) {
                   out.i32(m.node);
                   out.u8(m.maps);
                 },
                 [&](const Bye&) {},
                 [&](const Heartbeat&) {},
                 [&](const Mapped& m) { out.u32(m.region); },
                 [&](const GiveBack& m) {
                   if (m.buffers.size() > kMaxCount) throw ProtocolError("too many buffers");
                   out.u32(static_cast<std::uint32_t>(m.buffers.size()));
                   for (const BufferId& buffer : m.buffers) {
                     out.u32(buffer.slot);
                     out.u32(buffer.generation);
                   }
                 },
             },
             request);
}

void encodeReply(std::vector<std::uint8_t>& bytes, std::uint32_t correlation,
                 const ServerMessage& message) {
  bytes.clear();
  WireWriter out(bytes);
  std::visit(Overloaded{
                 [&](const Welcome& m) {
                   writeHeader(out, MessageType::Welcome, correlation);
                   out.i32(m.session);
                   out.u32(m.offer.region);
                   out.string(m.offer.name);
                   out.u64(m.offer.size);
                 },
                 [&](const Done&) { writeHeader(out, MessageType::Done, correlation); },
                 [&](const Failed& m) {
                   writeHeader(out, MessageType::Failed, correlation);
                   out.u8(static_cast<std::uint8_t>(m.kind));
                   out.string(m.message);
                 },
                 [&](const DeviceList& m) {
                   writeHeader(out, MessageType::DeviceList, correlation);
                   out.u32(static_cast<std::uint32_t>(m.devices.size()));
                   for (const auto& device : m.devices) writeDevice(out, device);
                 },
                 [&](const Flag& m) {
                   writeHeader(out, MessageType::Flag, correlation);
                   out.u8(m.value ? 1 : 0);
                 },
                 [&](const ConfigurationRecord& m) {
                   writeHeader(out, MessageType::Configuration, correlation);
                   out.blob(m.record.data(), m.record.size());
                 },
                 [&](const TopologyPush& m) {
                   writeHeader(out, MessageType::Topology, correlation);
                   out.u8(static_cast<std::uint8_t>(m.change.type));
                   writeDevice(out, m.change.device);
                   writeNode(out, m.change.node);
                 },
                 [&](const SamplePush& m) { encodeSample(bytes, m); },
                 [&](const Goodbye& m) {
                   writeHeader(out, MessageType::Goodbye, correlation);
                   out.string(m.reason);
                 },
                 [&](const Alive&) { writeHeader(out, MessageType::Alive, correlation); },
             },
             message);
}

void encodeSample(std::vector<std::uint8_t>& bytes, const SamplePush& sample) {
  bytes.clear();
  WireWriter out(bytes);
  writeHeader(out, MessageType::Sample, 0);
  out.i32(sample.node);
  out.u8(static_cast<std::uint8_t>(sample.kind));
  out.i64(sample.index);
  out.i64(sample.position);
  out.i64(sample.timeOfCapture);
  out.i32(sample.frameFormat);
  out.i32(sample.sampleRate);
  out.i32(sample.channels);
  out.i32(sample.droppedSampleCount);
  out.u8(static_cast<std::uint8_t>(sample.maps.size()));
  for (const MapView& map : sample.maps) {
    if (map.length > kMaxBlob) throw ProtocolError("map too large");
    out.u8(map.map);
    out.u32(static_cast<std::uint32_t>(map.length));
    out.u8(map.shared ? 1 : 0);
    if (!map.shared) continue;
    out.u32(map.place.region);
    out.u32(map.place.slot);
    out.u32(map.place.generation);
    out.u64(map.place.offset);
  }
}

Header readHeader(const std::uint8_t* data, std::size_t size) {
  WireReader in(data, size);
  if (in.u32() != kMagic) throw ProtocolError("not a camera-service message (bad magic)");
  Header header;
  header.version = in.u16();
  header.type = static_cast<MessageType>(in.u8());
  if (in.u8() != 0) throw ProtocolError("reserved header byte is not zero");
  header.correlation = in.u32();
  return header;
}

namespace {

WireReader bodyReader(const std::uint8_t* data, std::size_t size, Header* header) {
  *header = readHeader(data, size);
  if (header->version != kVersion && header->type != MessageType::Failed) {
    throw ProtocolError("protocol version " + std::to_string(header->version) +
                        ", this side speaks " + std::to_string(kVersion));
  }
  WireReader in(data, size);
  in.skip(kHeaderSize);
  return in;
}

}  // namespace

DecodedRequest decodeRequest(const std::uint8_t* data, std::size_t size) {
  DecodedRequest decoded;
  WireReader in = bodyReader(data, size, &decoded.header);
  const MessageType type = decoded.header.type;
  if (decoded.header.version != kVersion) {
    throw ProtocolError("a request of protocol version " + std::to_string(decoded.header.version));
  }
  if (type == MessageType::Hello) {
    decoded.request = Hello{in.string()};
  } else if (type == MessageType::Enter) {
    Enter m;
    m.operation = in.u8();
    m.subject = in.string();
    decoded.request = std::move(m);
  } else if (type == MessageType::ListDevices) {
    decoded.request = ListDevices{};
  } else if (isNodeRequest(type)) {
    decoded.request = NodeRequest{in.i32()};
  } else if (type == MessageType::SetConfiguration) {
    SetConfiguration m;
    m.node = in.i32();
    m.kind = readKind(in);
    m.record = readRecord(in, data);
    decoded.request = std::move(m);
  } else if (type == MessageType::SetMixerLevel) {
    SetMixerLevel m;
    m.node = in.i32();
    m.level = in.f32();
    decoded.request = m;
  } else if (type == MessageType::Subscribe) {
    Subscribe m;
    m.node = in.i32();
    m.maps = in.u8();
    decoded.request = m;
  } else if (type == MessageType::Bye) {
    decoded.request = Bye{};
  } else if (type == MessageType::Heartbeat) {
    decoded.request = Heartbeat{};
  } else if (type == MessageType::Mapped) {
    decoded.request = Mapped{in.u32()};
  } else if (type == MessageType::GiveBack) {
    GiveBack m;
    const std::size_t buffers = in.count();
    m.buffers.resize(buffers);
    for (BufferId& buffer : m.buffers) {
      buffer.slot = in.u32();
      buffer.generation = in.u32();
    }
    decoded.request = std::move(m);
  } else {
    throw ProtocolError("unknown request type " +
                        std::to_string(static_cast<int>(decoded.header.type)));
  }
  in.finish();
  return decoded;
}

DecodedServerMessage decodeServerMessage(const Frame* frames, std::size_t count) {
  if (count == 0) throw ProtocolError("a message with no frames");
  const std::uint8_t* data = frames[0].data;
  const std::size_t size = frames[0].size;
  DecodedServerMessage decoded;
  WireReader in = bodyReader(data, size, &decoded.header);
  std::size_t framesUsed = 1;
  switch (decoded.header.type) {
    case MessageType::Welcome: {
      Welcome m;
      m.session = in.i32();
      m.offer.region = in.u32();
      m.offer.name = in.string();
      m.offer.size = in.u64();
      decoded.message = std::move(m);
      break;
    }
    case MessageType::Done:
      decoded.message = Done{};
      break;
    case MessageType::Failed: {
      Failed m;
      const std::uint8_t kind = in.u8();
      if (kind > static_cast<std::uint8_t>(ExceptionKind::Timeout)) {
        throw ProtocolError("unknown exception kind " + std::to_string(kind));
      }
      m.kind = static_cast<ExceptionKind>(kind);
      m.message = in.string();
      decoded.message = std::move(m);
      break;
    }
    case MessageType::DeviceList: {
      DeviceList m;
      const std::size_t devices = in.count();
      for (std::size_t i = 0; i < devices; ++i) m.devices.push_back(readDevice(in));
      decoded.message = std::move(m);
      break;
    }
    case MessageType::Flag: {
      const std::uint8_t value = in.u8();
      if (value > 1) throw ProtocolError("flag is neither 0 nor 1");
      decoded.message = Flag{value == 1};
      break;
    }
    case MessageType::Configuration:
      decoded.message = ConfigurationRecord{readRecord(in, data)};
      break;
    case MessageType::Topology: {
      TopologyPush m;
      const std::uint8_t type = in.u8();
      if (type > static_cast<std::uint8_t>(detail::TopologyChange::Type::NodeAdded)) {
        throw ProtocolError("unknown topology change " + std::to_string(type));
      }
      m.change.type = static_cast<detail::TopologyChange::Type>(type);
      m.change.device = readDevice(in);
      m.change.node = readNode(in);
      decoded.message = std::move(m);
      break;
    }
    case MessageType::Sample: {
      SamplePush m;
      m.node = in.i32();
      m.kind = readKind(in);
      m.index = in.i64();
      m.position = in.i64();
      m.timeOfCapture = in.i64();
      m.frameFormat = in.i32();
      m.sampleRate = in.i32();
      m.channels = in.i32();
      m.droppedSampleCount = in.i32();
      const std::uint8_t maps = in.u8();
      if (maps > detail::kMapCount) {
        throw ProtocolError("a sample carries at most " + std::to_string(detail::kMapCount) +
                            " maps");
      }
      std::uint8_t seen = 0;
      for (std::uint8_t i = 0; i < maps; ++i) {
        MapView view;
        view.map = in.u8();
        const bool oneBit = view.map != 0 && (view.map & (view.map - 1)) == 0;
        if (!oneBit || (view.map & ~detail::kEveryMap) != 0) {
          throw ProtocolError("unknown map " + std::to_string(view.map));
        }
        if (seen & view.map) throw ProtocolError("a map that comes twice in one sample");
        seen |= view.map;
        view.length = in.u32();
        if (view.length > kMaxBlob) throw ProtocolError("map too large");
        const std::uint8_t place = in.u8();
        if (place > 1) throw ProtocolError("unknown map place " + std::to_string(place));
        view.shared = place == 1;
        if (view.shared) {
          // Where in the region is for the reader to check against the region it mapped.
          view.place.region = in.u32();
          view.place.slot = in.u32();
          view.place.generation = in.u32();
          view.place.offset = in.u64();
          m.maps.push_back(view);
          continue;
        }
        if (framesUsed >= count) throw ProtocolError("a sample's map frame is missing");
        if (frames[framesUsed].size != view.length) {
          throw ProtocolError("a map frame of " + std::to_string(frames[framesUsed].size) +
                              " bytes, announced as " + std::to_string(view.length));
        }
        ++framesUsed;
        m.maps.push_back(view);
      }
      decoded.message = std::move(m);
      break;
    }
    case MessageType::Goodbye:
      decoded.message = Goodbye{in.string()};
      break;
    case MessageType::Alive:
      decoded.message = Alive{};
      break;
    default:
      throw ProtocolError("unknown message type " +
                          std::to_string(static_cast<int>(decoded.header.type)));
  }
  in.finish();
  if (framesUsed != count) throw ProtocolError("a message with frames it does not announce");
  return decoded;
}

OwnedFrame ownedCopy(const std::vector<std::uint8_t>& bytes) {
  auto copy = std::make_shared<const std::vector<std::uint8_t>>(bytes);
  return OwnedFrame{copy, copy->data(), copy->size()};
}

DecodedServerMessage decodeServerMessage(const FrameList& frames) {
  std::vector<Frame> views;
  views.reserve(frames.size());
  for (const OwnedFrame& frame : frames) views.push_back(Frame{frame.data, frame.size});
  return decodeServerMessage(views.data(), views.size());
}

}  // namespace protocol
}  // namespace CamSdk
