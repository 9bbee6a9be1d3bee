#include "transport/LocalServices.h"

#include <map>

namespace CamSdk {
namespace transport {

namespace {

// Function-local, so it exists before the first use whatever the order of static
// initialisation.
std::map<std::string, LocalConnector>& offers() {
  static std::map<std::string, LocalConnector> connectors;
  return connectors;
}

}  // namespace

void offerLocalService(const std::string& host, LocalConnector connector) {
  offers()[host] = std::move(connector);
}

std::unique_ptr<Connection> connectLocally(const std::string& host) {
  auto found = offers().find(host);
  if (found == offers().end()) return nullptr;
  std::unique_ptr<Connection> connection = found->second();
  if (!connection) offers().erase(found);
  return connection;
}

}  // namespace transport
}  // namespace CamSdk
