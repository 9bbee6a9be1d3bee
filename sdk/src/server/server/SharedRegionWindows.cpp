// Windows keeps the copy path: every map travels in the sample message.
#include "server/SharedRegion.h"

namespace CamSdk {
namespace server {

std::unique_ptr<SharedRegion> SharedRegion::create(std::size_t, std::string* why) {
  *why = "shared memory for samples is not offered on Windows";
  return nullptr;
}

SharedRegion::~SharedRegion() = default;

bool SharedRegion::reserve(std::size_t, std::size_t) { return false; }

}  // namespace server
}  // namespace CamSdk
