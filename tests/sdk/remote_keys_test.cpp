// A service on an address other than this machine's local endpoint serves only the clients
// whose keys it lists; the others learn nothing about its cameras.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "camsdk/CamSdk.h"
#include "server/ServiceServer.h"
#include "service/Service.h"
#include "testing/ServiceFactory.h"
#include "transport/Endpoints.h"

namespace CamSdk {
namespace {

class KeyedService : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "camsdk_keys_" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(dir_);
    for (const char* name : {"service", "client", "stranger"}) {
      transport::writeNewKeyPair(dir_ + name + ".key");
    }
    service_ = detail::makeService("keyed", testing::Topology::OneCamera, false);
  }
  void TearDown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    server_.reset();
    unsetenv("CAMSDK_CLIENT_KEY");
    unsetenv("CAMSDK_SERVICE_KEY");
  }

  // Serves on 127.0.0.2, a loopback address that stands here for another machine's.
  std::string serve() {
    server::ServerOptions options;
    options.endpoint = "tcp://127.0.0.2:*";
    const transport::KeyPair keys = transport::readKeyPair(dir_ + "service.key");
    options.publicKey = keys.publicKey;
    options.secretKey = keys.secretKey;
    options.clientKeys = {transport::readPublicKey(dir_ + "client.key.pub")};
    server_ = std::make_unique<server::ServiceServer>(*service_, options);
    const std::string endpoint = server_->boundEndpoint();
    thread_ = std::thread([this] { server_->run(stop_); });
    return endpoint.substr(std::string("tcp://").size());
  }
  void useKey(const char* name) {
    setenv("CAMSDK_CLIENT_KEY", (dir_ + name + ".key").c_str(), 1);
    setenv("CAMSDK_SERVICE_KEY", (dir_ + "service.key.pub").c_str(), 1);
  }

  std::string dir_;
  std::shared_ptr<detail::Service> service_;
  std::unique_ptr<server::ServiceServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(KeyedService, AListedKeyIsServedAndAnyOtherRefused) {
  const std::string host = serve();
  useKey("client");
  {
    Context context = Context::create(host);
    List<Device> devices = context._p_getDevices();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0]._p_getNodes().size(), 3);
  }
  useKey("stranger");
  try {
    Context::create(host);
    FAIL() << "a client with an unlisted key was served";
  } catch (const IOException& error) {
    EXPECT_NE(std::string(error.what()).find("refused"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(host), std::string::npos) << error.what();
  }
}

TEST_F(KeyedService, WithoutKeysOnlyThisMachineIsServed) {
  server::ServerOptions options;
  options.endpoint = "tcp://127.0.0.2:*";
  try {
    server::ServiceServer server(*service_, options);
    FAIL() << "served another address without keys";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("needs keys"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace CamSdk
