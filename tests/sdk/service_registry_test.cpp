// Which service a context reaches decides what the program sees: these tests pin the
// localhost default (one camera, or what the CAMSDK_SCENARIO file makes of it), the reuse of
// the service in place, and that a malformed file fails Context::create instead of being
// ignored. Setting the environment is POSIX, which is fine in a test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "SdkTestSupport.h"

namespace CamSdk {
namespace {

using testing::Scenario;

class ScenarioEnvironment : public ::testing::Test {
 protected:
  // One file per test: CTest may run the tests of this binary side by side.
  std::string path = ::testing::TempDir() + "sdk_registry_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";

  void write(const std::string& text) { std::ofstream(path) << text; }
  void TearDown() override {
    unsetenv("CAMSDK_SCENARIO");
    std::remove(path.c_str());
  }
};

TEST_F(ScenarioEnvironment, TheLocalServiceIsMadeOnceAndSharedWhileInUse) {
  Scenario current = Scenario::current();
  Context context = Context::create("localhost");
  EXPECT_EQ(context._p_getDevices().size(), 1);
  current.addDevice("camera1", {NodeKind::Depth});
  // The context and the scenario stand for the same service.
  EXPECT_EQ(context._p_getDevices().size(), 2);
  EXPECT_EQ(Context::create("localhost")._p_getDevices().size(), 2);
  EXPECT_THROW(Scenario::current("elsewhere"), IOException);
}

TEST_F(ScenarioEnvironment, TheFileNamedInTheEnvironmentShapesANewLocalService) {
  write("device camera1 color\n");
  setenv("CAMSDK_SCENARIO", path.c_str(), 1);
  Scenario current = Scenario::current();
  Context context = Context::create("localhost");
  List<Device> devices = context._p_getDevices();
  ASSERT_EQ(devices.size(), 2);
  EXPECT_EQ(devices[1].name(), "camera1");
  // Fresh services ignore the environment.
  current = Scenario::fresh();
  EXPECT_EQ(Context::create("localhost")._p_getDevices().size(), 1);
}

TEST_F(ScenarioEnvironment, AMalformedFileFailsEveryCreation) {
  write("explode camera0\n");
  setenv("CAMSDK_SCENARIO", path.c_str(), 1);
  EXPECT_THROW(Scenario::current(), ArgumentException);
  EXPECT_THROW(Scenario::current(), ArgumentException);
  unsetenv("CAMSDK_SCENARIO");
  Scenario current = Scenario::current();
  EXPECT_EQ(Context::create("localhost")._p_getDevices().size(), 1);
}

}  // namespace
}  // namespace CamSdk
