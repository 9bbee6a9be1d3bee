#include "transport/SharedMapReader.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace CamSdk {
namespace transport {

// The places in one mapping that Pointers still read (any thread adds or removes one).
class SharedMapReader::HeldBuffers {
 public:
  explicit HeldBuffers(std::shared_ptr<const SharedMapping> mapping)
      : mapping_(std::move(mapping)) {}
  const std::shared_ptr<const SharedMapping>& mapping() const { return mapping_; }
  void add(const void* lease, std::size_t offset, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    places_[lease] = {offset, length};
  }
  void remove(const void* lease) {
    std::lock_guard<std::mutex> lock(mutex_);
    places_.erase(lease);
  }
  // Copies every place still read into this process; true when there was any.
  bool keep() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [lease, place] : places_) mapping_->keepPrivately(place.first, place.second);
    return !places_.empty();
  }

 private:
  std::shared_ptr<const SharedMapping> mapping_;
  std::mutex mutex_;
  std::map<const void*, std::pair<std::size_t, std::size_t>> places_;
};

namespace {

// Holds one buffer of the region while a frame (and every Pointer made from it) points there.
class Lease {
 public:
  Lease(std::shared_ptr<SharedMapReader::HeldBuffers> held, std::shared_ptr<GiveBackQueue> queue,
        protocol::BufferId buffer, std::uint64_t session, std::size_t offset, std::size_t length)
      : held_(std::move(held)), queue_(std::move(queue)), buffer_(buffer), session_(session) {
    held_->add(this, offset, length);
  }
  ~Lease() {
    held_->remove(this);
    queue_->released(buffer_, session_);
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

 private:
  std::shared_ptr<SharedMapReader::HeldBuffers> held_;  // and with it the mapping
  std::shared_ptr<GiveBackQueue> queue_;
  protocol::BufferId buffer_;
  std::uint64_t session_;
};

protocol::MessageType typeOf(const protocol::FrameList& message) {
  if (message.empty() || message[0].size < protocol::kHeaderSize) return protocol::MessageType{};
  return static_cast<protocol::MessageType>(message[0].data[6]);
}

}  // namespace

bool sharedMemoryWanted(const std::string& endpoint) {
  const char* off = std::getenv("CAMSDK_NO_SHARED_MEMORY");
  if (off != nullptr && *off != '\0' && std::strcmp(off, "0") != 0) return false;
  return endpoint.rfind("ipc://", 0) == 0;
}

void SharedMapReader::sessionEnds() {
  keepHeldBuffers();
  queue_->newSession();
}

void SharedMapReader::keepHeldBuffers() {
  // A mapping with pages of its own would show them in place of what the service writes
  // later: the next session maps the region afresh.
  if (held_ && held_->keep()) {
    mapping_.reset();
    held_.reset();
  }
}

bool SharedMapReader::read(protocol::FrameList* message, std::vector<std::uint8_t>* mappedRequest) {
  const protocol::MessageType type = typeOf(*message);
  if (type != protocol::MessageType::Welcome && type != protocol::MessageType::Sample) {
    return true;
  }
  protocol::DecodedServerMessage decoded;
  try {
    decoded = protocol::decodeServerMessage(*message);
  } catch (const protocol::ProtocolError&) {
    return true;  // the client decodes it again, and treats its service as gone
  }
  if (const auto* welcome = std::get_if<protocol::Welcome>(&decoded.message)) {
    accept(*welcome, mappedRequest);
    return true;
  }
  return resolve(message, std::get<protocol::SamplePush>(std::move(decoded.message)));
}

void SharedMapReader::accept(const protocol::Welcome& welcome,
                             std::vector<std::uint8_t>* mappedRequest) {
  mapping_.reset();
  held_.reset();
  region_ = 0;
  if (!enabled_ || welcome.offer.region == 0) return;
  std::string why;
  mapping_ = SharedMapping::open(welcome.offer.name, welcome.offer.size, &why);
  if (!mapping_) return;  // the service sends this client every map in its message
  region_ = welcome.offer.region;
  held_ = std::make_shared<HeldBuffers>(mapping_);
  protocol::encodeRequest(*mappedRequest, protocol::MessageType::Mapped, 0,
                          protocol::Mapped{region_});
}

bool SharedMapReader::resolve(protocol::FrameList* message, protocol::SamplePush sample) {
  bool shared = false;
  for (const protocol::MapView& map : sample.maps) shared = shared || map.shared;
  if (!shared) return true;
  const std::uint64_t session = queue_->session();
  protocol::FrameList frames(1);
  std::size_t next = 1;
  bool current = true;
  for (protocol::MapView& map : sample.maps) {
    if (!map.shared) {
      frames.push_back((*message)[next++]);
      continue;
    }
    const protocol::SharedPlace place = map.place;
    if (!mapping_ || place.region != region_) {
      throw protocol::ProtocolError("a map in shared memory this client has not mapped");
    }
    if (place.offset % 4 != 0 || place.offset < protocol::kGenerationBefore ||
        place.offset > mapping_->size() || map.length > mapping_->size() - place.offset) {
      throw protocol::ProtocolError("a map outside the shared region");
    }
    // Every buffer named is given back, whatever becomes of the sample.
    auto lease =
        std::make_shared<Lease>(held_, queue_, protocol::BufferId{place.slot, place.generation},
                                session, place.offset, map.length);
    const std::uint8_t* bytes = mapping_->data() + place.offset;
    const auto* generation =
        reinterpret_cast<const std::uint32_t*>(bytes - protocol::kGenerationBefore);
    current = current && __atomic_load_n(generation, __ATOMIC_ACQUIRE) == place.generation;
    frames.push_back(protocol::OwnedFrame{lease, bytes, map.length});
    map.shared = false;
    map.place = {};
  }
  if (!current) return false;
  std::vector<std::uint8_t> head;
  protocol::encodeSample(head, sample);
  frames[0] = protocol::ownedCopy(head);
  *message = std::move(frames);
  return true;
}

}  // namespace transport
}  // namespace CamSdk
