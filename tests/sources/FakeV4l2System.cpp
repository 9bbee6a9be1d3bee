#include "FakeV4l2System.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace CamSdk {
namespace v4l2test {

namespace {

constexpr std::uint32_t kOffsetStep = 0x10000;  // a buffer's mmap cookie: index times this

void copyText(std::uint8_t* to, std::size_t size, const std::string& text) {
  std::memset(to, 0, size);
  std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

bool captureType(std::uint32_t type) { return type == V4L2_BUF_TYPE_VIDEO_CAPTURE; }

}  // namespace

void FakeV4l2System::plug(DeviceFile file) {
  auto device = std::make_shared<Device>();
  device->file = std::move(file);
  if (!device->file.formats.empty() && !device->file.formats[0].sizes.empty()) {
    const Size& first = device->file.formats[0].sizes[0];
    selectSize(*device, device->file.formats[0].pixelFormat, first.width, first.height);
  }
  events_.push_back({v4l2::DeviceEvent::Action::Added, device->file.path});
  devices_[device->file.path] = std::move(device);
}

void FakeV4l2System::unplug(const std::string& path) {
  auto found = devices_.find(path);
  if (found == devices_.end()) return;
  found->second->present = false;
  found->second->streaming = false;
  devices_.erase(found);
  events_.push_back({v4l2::DeviceEvent::Action::Removed, path});
}

void FakeV4l2System::holdElsewhere(const std::string& path, bool held) {
  devices_.at(path)->heldElsewhere = held;
}

void FakeV4l2System::failNext(unsigned long request, int error) { failures_[request] = error; }

bool FakeV4l2System::streaming(const std::string& path) const {
  auto found = devices_.find(path);
  return found != devices_.end() && found->second->streaming;
}

bool FakeV4l2System::capture(const std::string& path, const Frame& frame) {
  Device& device = *devices_.at(path);
  if (!device.streaming) return false;
  const std::uint32_t sequence = device.sequence++;
  if (device.queued.empty()) return false;
  const std::uint32_t index = device.queued.front();
  device.queued.pop_front();
  Buffer& buffer = device.buffers[index];
  const std::size_t bytes = std::min(frame.bytes.size(), buffer.memory.size());
  std::memcpy(buffer.memory.data(), frame.bytes.data(), bytes);
  buffer.queued = false;
  buffer.done = v4l2_buffer{};
  buffer.done.index = index;
  buffer.done.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.done.memory = V4L2_MEMORY_MMAP;
  buffer.done.bytesused = static_cast<std::uint32_t>(bytes);
  buffer.done.length = static_cast<std::uint32_t>(buffer.memory.size());
  buffer.done.flags = frame.flags | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
  buffer.done.field = V4L2_FIELD_NONE;
  buffer.done.sequence = sequence;
  buffer.done.timestamp.tv_sec = frame.timestampMicroseconds / 1'000'000;
  buffer.done.timestamp.tv_usec = frame.timestampMicroseconds % 1'000'000;
  device.done.push_back(index);
  return true;
}

int FakeV4l2System::open(const std::string& path) {
  auto found = devices_.find(path);
  if (found == devices_.end()) return -ENOENT;
  const int fd = nextFd_++;
  files_[fd] = found->second;
  return fd;
}

int FakeV4l2System::close(int fd) {
  auto found = files_.find(fd);
  if (found == files_.end()) return -EBADF;
  Device& device = *found->second;
  // Closing the owner stops its stream and frees its buffers; mapped memory stays valid.
  if (device.owner == fd) {
    device.streaming = false;
    device.owner = -1;
    device.queued.clear();
    device.done.clear();
    for (Buffer& buffer : device.buffers) buffer.queued = false;
  }
  files_.erase(found);
  return 0;
}

void FakeV4l2System::selectSize(Device& device, std::uint32_t pixelFormat, std::uint32_t width,
                                std::uint32_t height) {
  const Format* format = &device.file.formats[0];
  for (const Format& each : device.file.formats) {
    if (each.pixelFormat == pixelFormat) format = &each;
  }
  // The driver takes the nearest size it has instead of refusing.
  const Size* size = &format->sizes[0];
  for (const Size& each : format->sizes) {
    const auto distance = [width, height](const Size& s) {
      return std::labs(long(s.width) - long(width)) + std::labs(long(s.height) - long(height));
    };
    if (distance(each) < distance(*size)) size = &each;
  }
  device.format = v4l2_pix_format{};
  device.format.pixelformat = format->pixelFormat;
  device.format.width = size->width;
  device.format.height = size->height;
  device.format.field = V4L2_FIELD_NONE;
  device.format.bytesperline = size->width * 2;
  device.format.sizeimage = size->width * size->height * 2;
  device.interval = size->intervals.front();
}

int FakeV4l2System::ioctl(int fd, unsigned long request, void* argument) {
  auto found = files_.find(fd);
  if (found == files_.end()) return -EBADF;
  auto failure = failures_.find(request);
  if (failure != failures_.end()) {
    const int error = failure->second;
    failures_.erase(failure);
    return -error;
  }
  if (!found->second->present) return -ENODEV;
  return control(fd, *found->second, request, argument);
}

int FakeV4l2System::setFormat(int fd, Device& device, v4l2_format& format, bool apply) {
  if (!captureType(format.type)) return -EINVAL;
  const bool queueBusy = device.owner != -1 && (device.owner != fd || !device.buffers.empty());
  if (apply && (device.heldElsewhere || queueBusy || device.streaming)) return -EBUSY;
  Device trial = device;
  selectSize(trial, format.fmt.pix.pixelformat, format.fmt.pix.width, format.fmt.pix.height);
  format.fmt.pix = trial.format;
  if (apply) {
    device.format = trial.format;
    device.interval = trial.interval;
  }
  return 0;
}

int FakeV4l2System::requestBuffers(int fd, Device& device, v4l2_requestbuffers& request) {
  if (!captureType(request.type) || request.memory != V4L2_MEMORY_MMAP) return -EINVAL;
  if (device.heldElsewhere || (device.owner != -1 && device.owner != fd) || device.streaming) {
    return -EBUSY;
  }
  for (const Buffer& buffer : device.buffers) {
    if (buffer.maps > 0) return -EBUSY;  // buffers still mapped cannot be freed
  }
  device.buffers.clear();
  device.queued.clear();
  device.done.clear();
  device.owner = -1;
  if (request.count == 0) return 0;
  request.count = std::clamp<std::uint32_t>(request.count, 2, 8);
  device.buffers.resize(request.count);
  for (Buffer& buffer : device.buffers) buffer.memory.assign(device.format.sizeimage, 0xEE);
  device.owner = fd;
  return 0;
}

int FakeV4l2System::control(int fd, Device& device, unsigned long request, void* argument) {
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto& capability = *static_cast<v4l2_capability*>(argument);
      capability = v4l2_capability{};
      copyText(capability.driver, sizeof capability.driver, "fake");
      copyText(capability.card, sizeof capability.card, device.file.card);
      copyText(capability.bus_info, sizeof capability.bus_info, device.file.busInfo);
      capability.device_caps = device.file.caps;
      capability.capabilities = device.file.caps | V4L2_CAP_DEVICE_CAPS;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto& description = *static_cast<v4l2_fmtdesc*>(argument);
      if (!captureType(description.type) || (device.file.caps & V4L2_CAP_VIDEO_CAPTURE) == 0 ||
          description.index >= device.file.formats.size()) {
        return -EINVAL;
      }
      description.pixelformat = device.file.formats[description.index].pixelFormat;
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto& size = *static_cast<v4l2_frmsizeenum*>(argument);
      for (const Format& format : device.file.formats) {
        if (format.pixelFormat != size.pixel_format) continue;
        if (size.index >= format.sizes.size()) return -EINVAL;
        size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size.discrete.width = format.sizes[size.index].width;
        size.discrete.height = format.sizes[size.index].height;
        return 0;
      }
      return -EINVAL;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto& interval = *static_cast<v4l2_frmivalenum*>(argument);
      for (const Format& format : device.file.formats) {
        if (format.pixelFormat != interval.pixel_format) continue;
        for (const Size& size : format.sizes) {
          if (size.width != interval.width || size.height != interval.height) continue;
          if (interval.index >= size.intervals.size()) return -EINVAL;
          interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
          interval.discrete = size.intervals[interval.index];
          return 0;
        }
      }
      return -EINVAL;
    }
    case VIDIOC_G_FMT: {
      auto& format = *static_cast<v4l2_format*>(argument);
      if (!captureType(format.type)) return -EINVAL;
      format.fmt.pix = device.format;
      return 0;
    }
    case VIDIOC_S_FMT:
      return setFormat(fd, device, *static_cast<v4l2_format*>(argument), true);
    case VIDIOC_TRY_FMT:
      return setFormat(fd, device, *static_cast<v4l2_format*>(argument), false);
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto& parameters = *static_cast<v4l2_streamparm*>(argument);
      if (!captureType(parameters.type)) return -EINVAL;
      if (request == VIDIOC_S_PARM) {
        if (device.heldElsewhere || device.streaming) return -EBUSY;
        // The nearest interval the current size offers.
        const v4l2_fract asked = parameters.parm.capture.timeperframe;
        const double wanted =
            asked.numerator == 0 ? 0.0 : double(asked.denominator) / asked.numerator;
        for (const Format& format : device.file.formats) {
          if (format.pixelFormat != device.format.pixelformat) continue;
          for (const Size& size : format.sizes) {
            if (size.width != device.format.width || size.height != device.format.height) continue;
            for (const v4l2_fract& offered : size.intervals) {
              const double rate = double(offered.denominator) / offered.numerator;
              const double best = double(device.interval.denominator) / device.interval.numerator;
              if (std::abs(rate - wanted) < std::abs(best - wanted)) device.interval = offered;
            }
          }
        }
      }
      parameters.parm.capture = v4l2_captureparm{};
      parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
      parameters.parm.capture.timeperframe = device.interval;
      return 0;
    }
    case VIDIOC_REQBUFS:
      return requestBuffers(fd, device, *static_cast<v4l2_requestbuffers*>(argument));
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
      auto& buffer = *static_cast<v4l2_buffer*>(argument);
      if (!captureType(buffer.type) || buffer.memory != V4L2_MEMORY_MMAP) return -EINVAL;
      if (device.owner != fd) return device.owner == -1 ? -EINVAL : -EBUSY;
      if (request == VIDIOC_DQBUF) {
        if (!device.streaming) return -EINVAL;
        if (device.done.empty()) return -EAGAIN;  // non-blocking file: nothing ready yet
        buffer = device.buffers[device.done.front()].done;
        device.done.pop_front();
        return 0;
      }
      if (buffer.index >= device.buffers.size()) return -EINVAL;
      Buffer& slot = device.buffers[buffer.index];
      if (request == VIDIOC_QUERYBUF) {
        buffer.length = static_cast<std::uint32_t>(slot.memory.size());
        buffer.m.offset = buffer.index * kOffsetStep;
        return 0;
      }
      const bool isDone =
          std::find(device.done.begin(), device.done.end(), buffer.index) != device.done.end();
      if (slot.queued || isDone) return -EINVAL;  // the driver has it already
      slot.queued = true;
      device.queued.push_back(buffer.index);
      return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
      if (!captureType(static_cast<std::uint32_t>(*static_cast<int*>(argument)))) return -EINVAL;
      if (device.owner != fd) return device.owner == -1 ? -EINVAL : -EBUSY;
      if (request == VIDIOC_STREAMON) {
        device.streaming = true;
        return 0;
      }
      // Stopping takes back every buffer, queued or filled.
      device.streaming = false;
      device.queued.clear();
      device.done.clear();
      for (Buffer& buffer : device.buffers) buffer.queued = false;
      return 0;
    }
    default:
      return -ENOTTY;
  }
}

void* FakeV4l2System::map(int fd, std::size_t length, std::int64_t offset, int* error) {
  auto found = files_.find(fd);
  if (found == files_.end()) {
    *error = EBADF;
    return nullptr;
  }
  Device& device = *found->second;
  if (!device.present) {
    *error = ENODEV;
    return nullptr;
  }
  const auto index = static_cast<std::uint32_t>(offset / kOffsetStep);
  if (device.owner != fd || offset % kOffsetStep != 0 || index >= device.buffers.size() ||
      length != device.buffers[index].memory.size()) {
    *error = EINVAL;
    return nullptr;
  }
  Buffer& buffer = device.buffers[index];
  ++buffer.maps;
  mappings_[buffer.memory.data()] = Mapping{found->second, index};
  return buffer.memory.data();
}

int FakeV4l2System::unmap(void* address, std::size_t length) {
  auto found = mappings_.find(address);
  if (found == mappings_.end()) return -EINVAL;
  Buffer& buffer = found->second.device->buffers[found->second.index];
  if (length != buffer.memory.size()) return -EINVAL;
  --buffer.maps;
  mappings_.erase(found);
  return 0;
}

int FakeV4l2System::poll(pollfd* descriptors, std::size_t count, int) {
  int ready = 0;
  for (std::size_t i = 0; i < count; ++i) {
    pollfd& each = descriptors[i];
    each.revents = 0;
    if (each.fd == kWatchDescriptor) {
      if (!events_.empty()) each.revents = POLLIN;
    } else if (auto found = files_.find(each.fd); found == files_.end()) {
      each.revents = POLLNVAL;
    } else if (!found->second->present || !found->second->streaming) {
      each.revents = POLLERR;
    } else if (!found->second->done.empty()) {
      each.revents = static_cast<short>(each.events & POLLIN);
    }
    if (each.revents != 0) ++ready;
  }
  return ready;
}

std::vector<std::string> FakeV4l2System::videoDevices() {
  std::vector<std::string> paths;
  for (const auto& entry : devices_) paths.push_back(entry.first);
  return paths;
}

std::vector<v4l2::DeviceEvent> FakeV4l2System::readDeviceEvents() {
  std::vector<v4l2::DeviceEvent> events;
  events.swap(events_);
  return events;
}

using DeviceFile = FakeV4l2System::DeviceFile;

DeviceFile webcamFile(const std::string& path, const std::string& bus) {
  return DeviceFile{
      path,
      "Desk Webcam",
      bus,
      V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING,
      {{V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}}}}},
       {V4L2_PIX_FMT_YUYV,
        {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 15}}}, {1280, 960, {{1, 5}}}}}}};
}

DeviceFile metadataFile(const std::string& path, const std::string& bus) {
  return DeviceFile{path, "Desk Webcam", bus, V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, {}};
}

DeviceFile depthFile(const std::string& path, const std::string& bus) {
  return DeviceFile{
      path,
      "Depth Module",
      bus,
      V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING,
      {{V4L2_PIX_FMT_Z16, {{320, 240, {{1, 60}, {1, 30}}}, {640, 480, {{1, 60}, {1, 30}}}}}}};
}

DeviceFile mjpegOnlyFile(const std::string& path, const std::string& bus) {
  return DeviceFile{path,
                    "Old Camera",
                    bus,
                    V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING,
                    {{V4L2_PIX_FMT_MJPEG, {{640, 480, {{1, 30}}}}}}};
}

}  // namespace v4l2test
}  // namespace CamSdk
