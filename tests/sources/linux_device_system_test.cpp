// The real device calls, on files every Linux machine has: errors come back as minus the errno
// value, and a file that is no video device is told apart by its driver's answer.
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>

#include "sources/v4l2/CaptureProfile.h"
#include "sources/v4l2/LinuxDeviceSystem.h"

namespace CamSdk {
namespace {

TEST(LinuxDeviceSystem, AnswersWithErrnoValuesAndProbesANonVideoFileAsSuch) {
  v4l2::LinuxDeviceSystem system;
  EXPECT_EQ(system.open("/dev/no-such-video-device"), -ENOENT);
  const int fd = system.open("/dev/null");
  ASSERT_GE(fd, 0);
  v4l2_capability capability{};
  EXPECT_EQ(system.ioctl(fd, VIDIOC_QUERYCAP, &capability), -ENOTTY);
  pollfd ready{fd, POLLIN, 0};
  EXPECT_EQ(system.poll(&ready, 1, 0), 1);
  EXPECT_EQ(system.close(fd), 0);
  EXPECT_EQ(system.close(fd), -EBADF);

  const v4l2::ProbedFile probed = v4l2::probeFile(system, "/dev/null");
  EXPECT_FALSE(probed.capture);
  EXPECT_EQ(probed.problem.rfind("not a Video4Linux2 device: ENOTTY", 0), 0u) << probed.problem;
  EXPECT_GT(system.monotonicMicroseconds(), 0);
}

}  // namespace
}  // namespace CamSdk
