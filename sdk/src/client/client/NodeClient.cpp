#include "client/NodeClient.h"

#include <utility>

#include "client/HandleAccess.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace detail {

NodeClient::NodeClient(std::shared_ptr<ServicePort> service, ClientId owner, NodeInfo info,
                       std::uint8_t mapsSentUnasked)
    : service_(std::move(service)),
      owner_(owner),
      info_(std::move(info)),
      unasked_(mapsSentUnasked) {}

template <class N>
void TypedNodeClient<N>::deliver(const SampleRecord& sample) {
  EventAccess::deliver(event_, HandleAccess::typed<N>(shared_from_this()),
                       std::get<typename N::NewSampleReceivedData>(sample));
}

std::shared_ptr<NodeClient> makeNodeClient(std::shared_ptr<ServicePort> service, ClientId owner,
                                           const NodeInfo& info) {
  std::shared_ptr<NodeClient> made;
  withKind(info.kind, [&](auto tag) {
    made = std::make_shared<TypedNodeClient<typename decltype(tag)::Node>>(service, owner, info);
  });
  return made ? made : std::make_shared<OtherNodeClient>(std::move(service), owner, info);
}

}  // namespace detail
}  // namespace CamSdk
