// A Video4Linux2 driver in miniature, for the capture-device source's tests: device files with
// the capabilities, formats, sizes and frame intervals a test gives them, answering each call as
// the Video4Linux2 documentation says, errors included (EINVAL past the end of an enumeration or
// for a wrong buffer type, EBUSY while another file handle or program owns the queue, EAGAIN
// from a non-blocking dequeue, ENODEV once unplugged, ENOTTY for an unknown request).
#pragma once

#include <linux/videodev2.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sources/v4l2/DeviceSystem.h"

namespace CamSdk {
namespace v4l2test {

class FakeV4l2System final : public v4l2::DeviceSystem {
 public:
  struct Size {
    std::uint32_t width;
    std::uint32_t height;
    std::vector<v4l2_fract> intervals;  // seconds per frame
  };
  struct Format {
    std::uint32_t pixelFormat;
    std::vector<Size> sizes;
  };
  struct DeviceFile {
    std::string path;
    std::string card;
    std::string busInfo;
    std::uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::vector<Format> formats;
  };
  // A frame the driver captures: its bytes (fewer than the format makes a short frame).
  struct Frame {
    std::vector<std::uint8_t> bytes;
    std::int64_t timestampMicroseconds = 0;
    std::uint32_t flags = 0;  // V4L2_BUF_FLAG_ERROR for a damaged frame
  };

  static constexpr int kWatchDescriptor = 999;

  // Present from now on; a plug event is queued.
  void plug(DeviceFile file);
  // Gone: its open files answer ENODEV and poll reports an error; an unplug event is queued.
  void unplug(const std::string& path);
  // Another program streams the file: setting its format or taking its buffers is EBUSY.
  void holdElsewhere(const std::string& path, bool held);
  // The next call of `request` on any file fails with `error`.
  void failNext(unsigned long request, int error);
  void setMonotonicMicroseconds(std::int64_t now) { monotonic_ = now; }
  // The driver fills the oldest queued buffer of the streaming file. False when none was
  // queued: the frame is lost, though its sequence number is used.
  bool capture(const std::string& path, const Frame& frame);

  int openDescriptors() const { return static_cast<int>(files_.size()); }
  int mappedBuffers() const { return static_cast<int>(mappings_.size()); }
  bool streaming(const std::string& path) const;

  int open(const std::string& path) override;
  int close(int fd) override;
  int ioctl(int fd, unsigned long request, void* argument) override;
  void* map(int fd, std::size_t length, std::int64_t offset, int* error) override;
  int unmap(void* address, std::size_t length) override;
  int poll(pollfd* descriptors, std::size_t count, int timeoutMilliseconds) override;
  std::int64_t monotonicMicroseconds() override { return monotonic_; }
  std::vector<std::string> videoDevices() override;
  int watchDescriptor() override { return kWatchDescriptor; }
  std::vector<v4l2::DeviceEvent> readDeviceEvents() override;

 private:
  struct Buffer {
    std::vector<std::uint8_t> memory;
    bool queued = false;
    int maps = 0;
    v4l2_buffer done{};
  };
  struct Device {
    DeviceFile file;
    bool present = true;
    bool heldElsewhere = false;
    v4l2_pix_format format{};
    v4l2_fract interval{};
    int owner = -1;  // the file handle whose buffers these are
    bool streaming = false;
    std::vector<Buffer> buffers;
    std::deque<std::uint32_t> queued;  // in the order queued
    std::deque<std::uint32_t> done;
    std::uint32_t sequence = 0;
  };
  struct Mapping {
    std::shared_ptr<Device> device;
    std::uint32_t index;
  };

  int control(int fd, Device& device, unsigned long request, void* argument);
  int setFormat(int fd, Device& device, v4l2_format& format, bool apply);
  int requestBuffers(int fd, Device& device, v4l2_requestbuffers& request);
  static void selectSize(Device& device, std::uint32_t pixelFormat, std::uint32_t width,
                         std::uint32_t height);

  std::map<std::string, std::shared_ptr<Device>> devices_;  // present ones, by path
  std::map<int, std::shared_ptr<Device>> files_;            // open file handles
  std::map<void*, Mapping> mappings_;
  std::map<unsigned long, int> failures_;
  std::vector<v4l2::DeviceEvent> events_;
  int nextFd_ = 100;
  std::int64_t monotonic_ = 10'000'000;
};

// Files as common cameras have them: a webcam's YUYV capture file (640x480 at 30 or 15 frames a
// second, 320x240 at 15, and MJPG it cannot use), its metadata file, a depth camera's Z16 file
// (320x240 and 640x480 at 60 or 30), and a camera that streams MJPG only.
FakeV4l2System::DeviceFile webcamFile(const std::string& path, const std::string& bus);
FakeV4l2System::DeviceFile metadataFile(const std::string& path, const std::string& bus);
FakeV4l2System::DeviceFile depthFile(const std::string& path, const std::string& bus);
FakeV4l2System::DeviceFile mjpegOnlyFile(const std::string& path, const std::string& bus);

}  // namespace v4l2test
}  // namespace CamSdk
