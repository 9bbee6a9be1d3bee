// A service on an address other than this machine's local endpoint serves only the clients
// whose keys it lists; the others learn nothing about its cameras.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

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
    options.log = [this](int, const std::string& line) {
      std::lock_guard<std::mutex> lock(logMutex_);
      log_.push_back(line);
    };
    server_ = std::make_unique<server::ServiceServer>(*service_, options);
    const std::string endpoint = server_->boundEndpoint();
    thread_ = std::thread([this] { server_->run(stop_); });
    return endpoint.substr(std::string("tcp://").size());
  }
  void useKey(const char* name) {
    setenv("CAMSDK_CLIENT_KEY", (dir_ + name + ".key").c_str(), 1);
    setenv("CAMSDK_SERVICE_KEY", (dir_ + "service.key.pub").c_str(), 1);
  }

  std::ptrdiff_t logged(const std::string& part) {
    std::lock_guard<std::mutex> lock(logMutex_);
    return std::count_if(log_.begin(), log_.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }

  std::string dir_;
  std::mutex logMutex_;
  std::vector<std::string> log_;
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

// A stranger knocking again and again costs the log a few lines a second, not one a knock.
TEST_F(KeyedService, RefusedKeysAreLoggedAFewLinesASecond) {
  const std::string host = serve();
  useKey("stranger");
  constexpr int kKnocks = 15;
  const auto start = std::chrono::steady_clock::now();
  for (int knock = 0; knock < kKnocks; ++knock) {
    EXPECT_THROW(Context::create(host), IOException);
  }
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the last second is summed up
  EXPECT_LE(logged("is refused"), 5 * (seconds + 2)) << "after " << seconds << " s";
  if (seconds == 0) {
    EXPECT_GE(logged("more lines like these"), 1);
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
