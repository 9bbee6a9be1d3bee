// Windows keeps the copy path: a client maps nothing and every map travels in its message.
#include "transport/SharedMapping.h"

namespace CamSdk {
namespace transport {

std::shared_ptr<const SharedMapping> SharedMapping::open(const std::string&, std::uint64_t,
                                                         std::string* why) {
  *why = "shared memory for samples is not read on Windows";
  return nullptr;
}

SharedMapping::~SharedMapping() = default;

void SharedMapping::keepPrivately(std::size_t, std::size_t) const {}

}  // namespace transport
}  // namespace CamSdk
