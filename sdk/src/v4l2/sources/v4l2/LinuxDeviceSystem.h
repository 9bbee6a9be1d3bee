// The device calls made for real: the device files through open(2), ioctl(2), mmap(2) and
// poll(2), and the list of video devices through libudev (its enumeration and its monitor).
#pragma once

#include <memory>

#include "sources/v4l2/DeviceSystem.h"

struct udev;
struct udev_monitor;

namespace CamSdk {
namespace v4l2 {

class LinuxDeviceSystem final : public DeviceSystem {
 public:
  // Without udev (as in some containers) the list is /dev/video* and there is no monitor.
  LinuxDeviceSystem();
  ~LinuxDeviceSystem() override;
  LinuxDeviceSystem(const LinuxDeviceSystem&) = delete;
  LinuxDeviceSystem& operator=(const LinuxDeviceSystem&) = delete;

  int open(const std::string& path) override;
  int close(int fd) override;
  int ioctl(int fd, unsigned long request, void* argument) override;
  void* map(int fd, std::size_t length, std::int64_t offset, int* error) override;
  int unmap(void* address, std::size_t length) override;
  int poll(pollfd* descriptors, std::size_t count, int timeoutMilliseconds) override;
  std::int64_t monotonicMicroseconds() override;

  std::vector<std::string> videoDevices() override;
  int watchDescriptor() override;
  std::vector<DeviceEvent> readDeviceEvents() override;

 private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace v4l2
}  // namespace CamSdk
