// The command line of camsdk-record.
#pragma once

#include <string>
#include <vector>

namespace CamSdk {
namespace record_program {

struct RecordOptions {
  std::string output;
  double seconds = 0;  // 0: until interrupted or the camera goes away
  std::string host = "localhost";
  bool help = false;
};

// Raises std::runtime_error with one line naming the problem.
RecordOptions parseRecordOptions(const std::vector<std::string>& arguments);
const char* recordUsage();

}  // namespace record_program
}  // namespace CamSdk
