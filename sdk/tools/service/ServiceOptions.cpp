#include "ServiceOptions.h"

#include <stdexcept>

namespace CamSdk {
namespace service_program {

const char* serviceUsage() {
  return "usage: camsdk-service [--endpoint ENDPOINT] [--scenario FILE] [--play FILE.mkv "
         "[--loop]]\n"
         "                      [--log-level error|info|debug] [--key KEYFILE --clients FILE]\n"
         "                      [--no-v4l2]  (only the simulated camera, no real ones)\n"
         "                      [--no-shared-memory]  (every map travels in its message)\n"
         "       camsdk-service --keygen PATH\n";
}

ServiceOptions parseServiceOptions(const std::vector<std::string>& arguments) {
  ServiceOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw std::runtime_error(option + " needs a value");
      return arguments[++i];
    };
    if (option == "--endpoint") {
      if (!options.endpoint.empty()) throw std::runtime_error("--endpoint may be given once");
      options.endpoint = value();
    } else if (option == "--scenario") {
      options.scenario = value();
    } else if (option == "--log-level") {
      const std::string& level = value();
      if (level == "error") {
        options.logLevel = 0;
      } else if (level == "info") {
        options.logLevel = 1;
      } else if (level == "debug") {
        options.logLevel = 2;
      } else {
        throw std::runtime_error("--log-level must be error, info or debug, not \"" + level + "\"");
      }
    } else if (option == "--key") {
      options.keyFile = value();
    } else if (option == "--clients") {
      options.clientsFile = value();
    } else if (option == "--play") {
      options.play = value();
    } else if (option == "--loop") {
      options.loop = true;
    } else if (option == "--keygen") {
      options.keygen = value();
    } else if (option == "--no-v4l2") {
      options.captureDevices = false;
    } else if (option == "--no-shared-memory") {
      options.sharedMemory = false;
    } else if (option == "--help" || option == "-h") {
      options.help = true;
    } else {
      throw std::runtime_error("unknown option \"" + option + "\"");
    }
  }
  if (options.loop && options.play.empty()) throw std::runtime_error("--loop goes with --play");
  if (options.keyFile.empty() != options.clientsFile.empty()) {
    throw std::runtime_error("--key and --clients go together");
  }
  return options;
}

}  // namespace service_program
}  // namespace CamSdk
