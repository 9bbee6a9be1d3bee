#include "RecordOptions.h"

#include <cmath>
#include <stdexcept>

namespace CamSdk {
namespace record_program {

const char* recordUsage() {
  return "usage: camsdk-record OUTPUT.mkv [--seconds N] [--host HOST] [--colour CODEC]\n"
         "Records the first camera's depth, colour and audio to a Matroska file until N seconds\n"
         "have passed, the camera goes away, or the program is interrupted. Colour is stored\n"
         "losslessly as CODEC: utvideo (the default), ffv1 (smaller, several times the CPU) or\n"
         "raw (the bytes as they came).\n";
}

RecordOptions parseRecordOptions(const std::vector<std::string>& arguments) {
  RecordOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw std::runtime_error(option + " needs a value");
      return arguments[++i];
    };
    if (option == "--seconds") {
      const std::string& text = value();
      std::size_t used = 0;
      double seconds = 0;
      try {
        seconds = std::stod(text, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != text.size() || !std::isfinite(seconds) || seconds <= 0) {
        throw std::runtime_error("--seconds needs a positive number, not \"" + text + "\"");
      }
      options.seconds = seconds;
    } else if (option == "--host") {
      options.host = value();
    } else if (option == "--colour") {
      const std::string& name = value();
      if (!recording::colourCodecNamed(name, &options.colour)) {
        throw std::runtime_error("--colour takes utvideo, ffv1 or raw, not \"" + name + "\"");
      }
    } else if (option == "--help" || option == "-h") {
      options.help = true;
    } else if (!option.empty() && option[0] == '-') {
      throw std::runtime_error("unknown option \"" + option + "\"");
    } else if (options.output.empty()) {
      options.output = option;
    } else {
      throw std::runtime_error("one output file only (\"" + options.output + "\", then \"" +
                               option + "\")");
    }
  }
  if (options.output.empty() && !options.help) throw std::runtime_error("no output file given");
  return options;
}

}  // namespace record_program
}  // namespace CamSdk
