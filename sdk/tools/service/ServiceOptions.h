// The command line of camsdk-service.
#pragma once

#include <string>
#include <vector>

namespace CamSdk {
namespace service_program {

struct ServiceOptions {
  std::string endpoint;  // empty: this machine's default local endpoint
  std::string scenario;  // empty: CAMSDK_SCENARIO, if set
  int logLevel = 1;      // 0 errors, 1 info, 2 debug
  std::string keyFile;
  std::string clientsFile;
  std::string keygen;          // make a key pair at this path, then exit
  bool captureDevices = true;  // offer this machine's Video4Linux2 cameras too
  bool sharedMemory = true;    // offer local clients their maps in shared memory
  std::string play;            // a recording to offer as the camera, instead of the simulated one
  bool loop = false;           // play it again and again
  bool help = false;
};

// Raises std::runtime_error with one line naming the problem.
ServiceOptions parseServiceOptions(const std::vector<std::string>& arguments);
const char* serviceUsage();

}  // namespace service_program
}  // namespace CamSdk
