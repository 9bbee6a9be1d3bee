#include "server/ConnectionNumbers.h"

namespace CamSdk {
namespace server {

ConnectionId ConnectionNumbers::accepted(int fd) {
  auto found = byDescriptor_.find(fd);
  if (found == byDescriptor_.end()) {
    byDescriptor_.emplace(fd, Entry{next_++, true});
    return kNoConnection;
  }
  if (!found->second.announced) {
    // A message of this connection was read before its notice: the same connection.
    found->second.announced = true;
    return kNoConnection;
  }
  const ConnectionId superseded = found->second.id;
  found->second = Entry{next_++, true};
  return superseded;
}

ConnectionId ConnectionNumbers::closed(int fd) {
  auto found = byDescriptor_.find(fd);
  if (found == byDescriptor_.end()) return kNoConnection;
  const ConnectionId id = found->second.id;
  byDescriptor_.erase(found);
  return id;
}

ConnectionId ConnectionNumbers::of(int fd) {
  if (fd < 0) return kNoConnection;
  auto found = byDescriptor_.find(fd);
  if (found == byDescriptor_.end()) found = byDescriptor_.emplace(fd, Entry{next_++, false}).first;
  return found->second.id;
}

}  // namespace server
}  // namespace CamSdk
