// The word each node kind's names start with, shared by the service (which names nodes), the
// client and the recordings.
#include "camsdk/Node.h"

namespace CamSdk {

const char* nodeKindName(NodeKind kind) noexcept {
  switch (kind) {
    case NodeKind::Depth:
      return "depth";
    case NodeKind::Color:
      return "color";
    case NodeKind::Audio:
      return "audio";
    case NodeKind::Other:
      break;
  }
  return "other";
}

}  // namespace CamSdk
