#include "sources/v4l2/LinuxDeviceSystem.h"

#include <fcntl.h>
#include <libudev.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

namespace CamSdk {
namespace v4l2 {

namespace {

constexpr const char* kSubsystem = "video4linux";

int result(int returned) { return returned < 0 ? -errno : returned; }

}  // namespace

LinuxDeviceSystem::LinuxDeviceSystem() {
  udev_ = udev_new();
  if (udev_ == nullptr) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ == nullptr) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, kSubsystem, nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
}

LinuxDeviceSystem::~LinuxDeviceSystem() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

int LinuxDeviceSystem::open(const std::string& path) {
  return result(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
}

int LinuxDeviceSystem::close(int fd) { return result(::close(fd)); }

int LinuxDeviceSystem::ioctl(int fd, unsigned long request, void* argument) {
  int returned = 0;
  do {
    returned = ::ioctl(fd, request, argument);
  } while (returned < 0 && errno == EINTR);
  return result(returned);
}

void* LinuxDeviceSystem::map(int fd, std::size_t length, std::int64_t offset, int* error) {
  void* address =
      ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(offset));
  if (address == MAP_FAILED) {
    *error = errno;
    return nullptr;
  }
  return address;
}

int LinuxDeviceSystem::unmap(void* address, std::size_t length) {
  return result(::munmap(address, length));
}

int LinuxDeviceSystem::poll(pollfd* descriptors, std::size_t count, int timeoutMilliseconds) {
  return result(::poll(descriptors, static_cast<nfds_t>(count), timeoutMilliseconds));
}

std::int64_t LinuxDeviceSystem::monotonicMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

namespace {

// Without udev, the device files by their usual names.
std::vector<std::string> videoFilesInDev() {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("video", 0) == 0) paths.push_back(entry.path().string());
  }
  return paths;
}

}  // namespace

std::vector<std::string> LinuxDeviceSystem::videoDevices() {
  std::vector<std::string> paths;
  if (udev_ == nullptr) return videoFilesInDev();
  udev_enumerate* enumerate = udev_enumerate_new(udev_);
  if (enumerate == nullptr) return videoFilesInDev();
  udev_enumerate_add_match_subsystem(enumerate, kSubsystem);
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
    if (device == nullptr) continue;
    if (const char* node = udev_device_get_devnode(device)) paths.emplace_back(node);
    udev_device_unref(device);
  }
  udev_enumerate_unref(enumerate);
  return paths;
}

int LinuxDeviceSystem::watchDescriptor() {
  return monitor_ == nullptr ? -1 : udev_monitor_get_fd(monitor_);
}

std::vector<DeviceEvent> LinuxDeviceSystem::readDeviceEvents() {
  std::vector<DeviceEvent> events;
  if (monitor_ == nullptr) return events;
  // The monitor's socket is non-blocking: receiving stops when nothing more waits.
  while (udev_device* device = udev_monitor_receive_device(monitor_)) {
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    if (action != nullptr && node != nullptr) {
      const std::string what(action);
      if (what == "add") events.push_back(DeviceEvent{DeviceEvent::Action::Added, node});
      if (what == "remove") events.push_back(DeviceEvent{DeviceEvent::Action::Removed, node});
    }
    udev_device_unref(device);
  }
  return events;
}

}  // namespace v4l2
}  // namespace CamSdk
