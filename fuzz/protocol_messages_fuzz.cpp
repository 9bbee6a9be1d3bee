// Arbitrary bytes as camera-service messages: through the request decoder (what a service reads
// from a client), the decoder of what a service sends (a head frame and map frames, as a client
// reads them), and the service host itself, which must drop a client that sends them and go on
// serving the others. A message that decodes must encode back to the same bytes.
//
// Input layout:
//   byte 0       what reads the rest (value mod 3): 0 the request decoder, 1 the decoder of
//                service messages, 2 a service host
//   request decoder: the rest is one request.
//   service messages (a sample's maps in shared memory have no frame): byte 1 is the number of
//                frames after the head (value mod 6), then a
//                little-endian 16-bit size for each (their bytes are zero); the rest is the
//                head frame.
//   service host: the rest is a run of requests from one client, each a little-endian 16-bit
//                length and that many bytes (cut short at the end of the input). A length with
//                its top bit set is an event instead, with no bytes: bit 14 set, the client
//                has been silent too long; otherwise its next requests come on connection
//                (length & 0x1fff), and bit 13 set delivers the close notice of the one before.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "FuzzCheck.h"
#include "protocol/Messages.h"
#include "server/ServiceHost.h"
#include "service/Service.h"
#include "testing/ServiceFactory.h"

namespace {

using namespace CamSdk;
using protocol::MessageType;

bool sameBytes(const std::vector<std::uint8_t>& encoded, const std::uint8_t* data,
               std::size_t size) {
  return encoded.size() == size && std::equal(encoded.begin(), encoded.end(), data);
}

void decodeRequest(const std::uint8_t* data, std::size_t size) {
  protocol::DecodedRequest decoded;
  try {
    decoded = protocol::decodeRequest(data, size);
  } catch (const protocol::ProtocolError&) {
    return;
  }
  FUZZ_CHECK(decoded.header.version == protocol::kVersion);
  std::vector<std::uint8_t> encoded;
  protocol::encodeRequest(encoded, decoded.header.type, decoded.header.correlation,
                          decoded.request);
  FUZZ_CHECK(sameBytes(encoded, data, size));
}

void decodeServerMessage(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  auto byte = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
  const std::size_t extra = byte() % 6u;
  std::vector<std::vector<std::uint8_t>> maps;
  for (std::size_t i = 0; i < extra; ++i) {
    const std::size_t low = byte();
    maps.emplace_back(low | std::size_t{byte()} << 8);
  }
  const std::uint8_t* head = data + at;
  const std::size_t headSize = size - at;
  std::vector<protocol::Frame> frames{{head, headSize}};
  for (const auto& map : maps) frames.push_back({map.data(), map.size()});

  protocol::DecodedServerMessage decoded;
  try {
    decoded = protocol::decodeServerMessage(frames.data(), frames.size());
  } catch (const protocol::ProtocolError&) {
    return;
  }
  std::vector<std::uint8_t> encoded;
  if (const auto* sample = std::get_if<protocol::SamplePush>(&decoded.message)) {
    FUZZ_CHECK(decoded.header.version == protocol::kVersion);
    // Maps in shared memory come without a frame; the others come in order, one frame each.
    std::size_t frame = 0;
    for (const protocol::MapView& map : sample->maps) {
      if (map.shared) continue;
      FUZZ_CHECK(frame < maps.size());
      FUZZ_CHECK(map.length == maps[frame++].size());
    }
    FUZZ_CHECK(frame == maps.size());
    // A sample is always pushed with correlation 0; the decoder does not insist on it.
    protocol::encodeSample(encoded, *sample);
    for (std::size_t i = 8; i < 12; ++i) encoded[i] = head[i];
  } else {
    FUZZ_CHECK(maps.empty());
    protocol::encodeReply(encoded, decoded.header.correlation, decoded.message);
    if (decoded.header.version != protocol::kVersion) {
      // Only a refusal is read from a service of another version.
      FUZZ_CHECK(std::holds_alternative<protocol::Failed>(decoded.message));
      encoded[4] = head[4];
      encoded[5] = head[5];
    }
  }
  FUZZ_CHECK(sameBytes(encoded, head, headSize));
}

// A service host on a virtual clock with the default camera, offering its maps in shared
// memory where the platform has it, and what it last sent each peer.
struct Host final : server::PeerLink {
  Host() {
    std::string why;
    if (auto slots = server::SharedSlots::create(1, &why)) host.shareMaps(std::move(slots));
  }
  std::shared_ptr<detail::Service> service =
      detail::makeService("fuzz", testing::Topology::OneCamera, true);
  server::ServiceHost host{*service, *this};
  std::string lastTo;
  protocol::FrameList last;

  bool send(const std::string& peer, const protocol::FrameList& message, bool) override {
    lastTo = peer;
    last = message;
    return true;
  }
};

void serveRequests(const std::uint8_t* data, std::size_t size) {
  static Host* host = new Host;  // kept for every input: building a service is slow
  static long inputs = 0;
  const std::string peer = "client " + std::to_string(inputs++);
  server::ConnectionId connection = 0;
  for (std::size_t at = 0; at < size;) {
    std::size_t length = data[at++];
    if (at < size) length |= std::size_t{data[at++]} << 8;
    if (length & 0x8000) {
      if (length & 0x4000) {
        host->host.peerSilent(peer, "it was silent");
        FUZZ_CHECK(!host->host.hasSession(peer));
        continue;
      }
      const server::ConnectionId before = connection;
      connection = static_cast<server::ConnectionId>(length & 0x1fff);
      if (length & 0x2000) host->host.connectionClosed(before);
      continue;
    }
    if (length > size - at) length = size - at;
    host->host.receive(peer, connection, data + at, length);
    at += length;
  }
  host->host.runDue();
  host->host.peerGone(peer, "its input ended");
  // Whatever it gave back or not, a client that has gone holds no shared buffer.
  if (const server::SharedSlots* slots = host->host.sharedSlots()) {
    FUZZ_CHECK(slots->slotsInUse() == 0);
  }

  // Whatever that client did, the next one is served.
  std::vector<std::uint8_t> hello;
  protocol::encodeRequest(hello, MessageType::Hello, 7, protocol::Hello{"witness"});
  host->host.receive("witness", -1, hello.data(), hello.size());
  FUZZ_CHECK(host->lastTo == "witness");
  const auto reply = protocol::decodeServerMessage(host->last);
  FUZZ_CHECK(reply.header.correlation == 7);
  FUZZ_CHECK(std::holds_alternative<protocol::Welcome>(reply.message));
  host->host.peerGone("witness", "done");
  FUZZ_CHECK(host->host.sessionCount() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0:
      decodeRequest(data + 1, size - 1);
      break;
    case 1:
      decodeServerMessage(data + 1, size - 1);
      break;
    default:
      serveRequests(data + 1, size - 1);
      break;
  }
  return 0;
}
