// The command line of camsdk-record.
#pragma once

#include <string>
#include <vector>

#include "recording/ColourCodec.h"

namespace CamSdk {
namespace record_program {

struct RecordOptions {
  std::string output;
  double seconds = 0;  // 0: until interrupted or the camera goes away
  std::string host = "localhost";
  recording::ColourCodec colour = recording::kDefaultColourCodec;
  bool help = false;
};

// Raises std::runtime_error with one line naming the problem.
RecordOptions parseRecordOptions(const std::vector<std::string>& arguments);
const char* recordUsage();

}  // namespace record_program
}  // namespace CamSdk
