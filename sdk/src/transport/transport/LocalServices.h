// Camera services that live in this process, by host name. Whoever makes one (a test, through
// testing::Scenario) offers a way to connect to it here, and Context::create then reaches it
// through that connection instead of over ZeroMQ.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "transport/Connection.h"

namespace CamSdk {
namespace transport {

// Connects to the service offered for a host; null once that service has gone.
using LocalConnector = std::function<std::unique_ptr<Connection>()>;

// Offers `connector` for `host`, replacing any other offer.
void offerLocalService(const std::string& host, LocalConnector connector);
// A connection to the service this process offers for `host`; null when it offers none, or
// the one it offered has gone.
std::unique_ptr<Connection> connectLocally(const std::string& host);

}  // namespace transport
}  // namespace CamSdk
