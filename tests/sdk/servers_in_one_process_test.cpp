// Two services served over ZeroMQ from one process at the same time, as tests and benchmarks
// serve them: each watches its own socket and answers its own clients.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zmq.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "camsdk/CamSdk.h"
#include "server/ServiceServer.h"
#include "service/Service.h"
#include "testing/ServiceFactory.h"

namespace CamSdk {
namespace {

// A local socket of its own where ZeroMQ has them; else a free port on loopback (Windows).
std::string privateEndpoint(const std::string& name) {
  if (zmq_has("ipc") == 0) return "tcp://127.0.0.1:*";
  return "ipc://" + ::testing::TempDir() + "servers-" + name + "-" + std::to_string(getpid()) +
         ".sock";
}

struct Served {
  Served(testing::Topology topology, const std::string& name)
      : service(detail::makeService(name, topology, false)),
        server(*service, server::ServerOptions{privateEndpoint(name), "", "", {}, {}}),
        endpoint(server.boundEndpoint()),
        thread([this] { server.run(stop); }) {}
  ~Served() {
    stop = true;
    thread.join();
  }

  std::shared_ptr<detail::Service> service;
  server::ServiceServer server;
  std::string endpoint;
  std::atomic<bool> stop{false};
  std::thread thread;
};

int devicesAt(const std::string& endpoint) {
  setenv("CAMSDK_ENDPOINT", endpoint.c_str(), 1);
  const int count = Context::create("localhost")._p_getDevices().size();
  unsetenv("CAMSDK_ENDPOINT");
  return count;
}

TEST(ServersInOneProcess, EachAnswersItsOwnClients) {
  Served camera(testing::Topology::OneCamera, "camera");
  Served empty(testing::Topology::Empty, "empty");
  EXPECT_EQ(devicesAt(camera.endpoint), 1);
  EXPECT_EQ(devicesAt(empty.endpoint), 0);
}

}  // namespace
}  // namespace CamSdk
