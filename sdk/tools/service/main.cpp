// camsdk-service: the camera service of this machine, in its own process, shared by every
// SDK client that opens Context::create("localhost") (or this host's name, from elsewhere).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "EndpointLock.h"
#include "SampleHeap.h"
#include "ServiceOptions.h"
#include "ServiceStop.h"
#include "camsdk/Exceptions.h"
#include "server/BindAddress.h"
#include "server/ServiceServer.h"
#include "service/Service.h"
#include "sources/RecordingCamera.h"
#include "testing/ScenarioAccess.h"
#include "testing/ServiceFactory.h"
#include "transport/Endpoints.h"
#ifdef CAMSDK_HAVE_V4L2
#include "sources/v4l2/CaptureDevices.h"
#include "sources/v4l2/LinuxDeviceSystem.h"
#endif

namespace {

using namespace CamSdk;

std::atomic<bool> stopRequested{false};

std::set<std::string> readClientKeys(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot open the client key list");
  std::set<std::string> keys;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::uint8_t decoded[32];
    if (line.size() != 40 || zmq_z85_decode(decoded, line.c_str()) == nullptr) {
      throw std::runtime_error(path + ":" + std::to_string(number) +
                               ": not a 40-character Z85 public key");
    }
    keys.insert(line);
  }
  return keys;
}

int serve(const service_program::ServiceOptions& options) {
  keepSampleBlocksInHeap();
  const int level = options.logLevel;
  server::ServerOptions serverOptions;
  serverOptions.endpoint =
      options.endpoint.empty() ? transport::endpointForHost("localhost") : options.endpoint;
  serverOptions.sharedMemory = options.sharedMemory;
  serverOptions.log = [level](int lineLevel, const std::string& line) {
    if (lineLevel <= level) std::cerr << "camsdk-service: " << line << std::endl;
  };
  if (!options.keyFile.empty()) {
    const transport::KeyPair keys = transport::readKeyPair(options.keyFile);
    serverOptions.publicKey = keys.publicKey;
    serverOptions.secretKey = keys.secretKey;
    serverOptions.clientKeys = readClientKeys(options.clientsFile);
  }

  std::shared_ptr<detail::Service> service =
      detail::makeService("localhost", testing::Topology::Empty, false);
  if (!options.play.empty()) {
    // A recording is the one camera offered, so that a viewer, which opens the first device,
    // shows it.
    const std::string name = std::filesystem::path(options.play).stem().string();
    detail::addRecordingDevice(
        *service, name.empty() ? "recording" : name, options.play, options.loop,
        [&serverOptions](const std::string& line) { serverOptions.log(1, line); });
    serverOptions.log(1, "playing " + options.play + (options.loop ? " in a loop" : ""));
  } else {
#ifdef CAMSDK_HAVE_V4L2
    // Real cameras are listed first, so a viewer that opens the first device shows one.
    if (options.captureDevices) {
      auto cameras = std::make_shared<v4l2::CaptureDevices>(
          std::make_shared<v4l2::LinuxDeviceSystem>(), *service, serverOptions.log);
      cameras->findCameras();
      service->addLiveSource(cameras);
    }
#endif
    detail::addSimulatedCamera(*service);
  }
  std::string scenario = options.scenario;
  if (scenario.empty() && std::getenv("CAMSDK_SCENARIO")) scenario = std::getenv("CAMSDK_SCENARIO");
  if (!scenario.empty()) {
    testing::Scenario control = detail::ScenarioAccess::make(service);
    testing::applyScenarioFile(control, scenario);
  }

  // Locked by the form the socket binds, so that two spellings of one endpoint (a host name
  // and its address) are one lock.
  service_program::EndpointLock lock(server::parseBindAddress(serverOptions.endpoint).endpoint);
  server::ServiceServer server(*service, serverOptions);
  serverOptions.log(1, "serving " + serverOptions.endpoint +
                           (serverOptions.secretKey.empty() ? "" : " with keys") +
                           (server.sharesMaps() ? ", maps in shared memory" : ""));

  service_program::stopWhenAsked(stopRequested);
  server.run(stopRequested);

  server.sayGoodbye("the service is stopping");
  // The goodbye leaves through ZeroMQ's own thread; give it a moment before the process ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  serverOptions.log(1, "stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto options =
        service_program::parseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << service_program::serviceUsage();
      return 0;
    }
    if (!options.keygen.empty()) {
      transport::writeNewKeyPair(options.keygen);
      std::cout << "camsdk-service: wrote " << options.keygen << " and " << options.keygen
                << ".pub\n";
      return 0;
    }
    return serve(options);
  } catch (const CamSdk::Exception& error) {
    std::cerr << "camsdk-service: " << error.what() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "camsdk-service: " << error.what() << "\n";
  }
  return 1;
}
