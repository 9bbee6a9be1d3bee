// The program as a process: when no camera service answers, it must end with one line on
// standard error and a failure status, not with an abort and a "terminate called" message.
// Only a separate process shows what the user would see, so this test starts one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ProgramProcessTest, UnknownHostEndsWithOneLineAndFailureStatus) {
  const std::string out = std::string(OUTPUT_DIR) + "/unknown-host.stdout";
  const std::string err = std::string(OUTPUT_DIR) + "/unknown-host.stderr";
  const std::string command =
      std::string("'") + UNKNOWN_HOST_VIEWER + "' </dev/null >'" + out + "' 2>'" + err + "'";

  const int result = std::system(command.c_str());

  ASSERT_NE(result, -1);
  ASSERT_TRUE(WIFEXITED(result)) << "the program did not exit normally";
  EXPECT_EQ(WEXITSTATUS(result), 1);
  EXPECT_EQ(readFile(out), "");
  const std::string line = readFile(err);
  EXPECT_EQ(line.rfind("depth-viewer: IOException: ", 0), 0u) << line;
  EXPECT_NE(line.find("no-such-camera-host"), std::string::npos) << line;
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "not exactly one line: " << line;
}

}  // namespace
