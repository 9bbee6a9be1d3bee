// Every call the capture-device source makes into the system: opening device files, their
// ioctls, mapping their buffers, waiting on them, and the list of video devices with its plug and
// unplug events. The service uses LinuxDeviceSystem; the source's tests use a fake that answers
// as the Video4Linux2 documentation says, since the machines that build this have no camera.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CamSdk {
namespace v4l2 {

struct DeviceEvent {
  enum class Action { Added, Removed };
  Action action;
  std::string path;  // the device file, such as /dev/video0
};

class DeviceSystem {
 public:
  virtual ~DeviceSystem() = default;

  // Each call returns what the system call returns on success, or minus the errno value.
  // A device file opened read-write and non-blocking, so a dequeue never waits.
  virtual int open(const std::string& path) = 0;
  virtual int close(int fd) = 0;
  virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
  // A buffer of the driver's mapped shared; nullptr with `*error` set (an errno value) on failure.
  virtual void* map(int fd, std::size_t length, std::int64_t offset, int* error) = 0;
  virtual int unmap(void* address, std::size_t length) = 0;
  virtual int poll(pollfd* descriptors, std::size_t count, int timeoutMilliseconds) = 0;
  // The clock drivers stamp buffers with (CLOCK_MONOTONIC), in microseconds.
  virtual std::int64_t monotonicMicroseconds() = 0;

  // The video device files present now.
  virtual std::vector<std::string> videoDevices() = 0;
  // A descriptor that turns readable when a video device is plugged or unplugged; -1 if none.
  virtual int watchDescriptor() = 0;
  // The plug and unplug events that came since the last call; never waits.
  virtual std::vector<DeviceEvent> readDeviceEvents() = 0;
};

}  // namespace v4l2
}  // namespace CamSdk
