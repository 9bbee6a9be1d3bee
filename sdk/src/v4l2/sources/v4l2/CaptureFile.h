// One device file opened for capture: its format and frame interval, its memory-mapped buffers
// and its stream. Calls return 0 or minus an errno value; failure() names the call that failed
// and why, for the log and for the client.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sources/v4l2/CaptureProfile.h"

namespace CamSdk {
namespace v4l2 {

class CaptureFile {
 public:
  // Buffers asked of the driver: enough that a frame being copied does not stall the camera.
  static constexpr std::uint32_t kBuffers = 4;

  CaptureFile(DeviceSystem& system, std::string path);
  ~CaptureFile();  // stops the stream, unmaps the buffers and closes the file
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  int open();  // nothing to do when open already
  void close();
  bool isOpen() const { return fd_ >= 0; }
  bool streaming() const { return streaming_; }
  int descriptor() const { return fd_; }

  // VIDIOC_S_FMT, then VIDIOC_S_PARM when `interval` is given. A driver that adjusts the size,
  // the format or the interval instead of taking them gives a reason in `mismatch`.
  int setFormat(std::uint32_t pixelFormat, std::int32_t width, std::int32_t height,
                const Interval* interval, std::string* mismatch);
  // VIDIOC_REQBUFS, VIDIOC_QUERYBUF and mmap for each buffer, VIDIOC_QBUF each, VIDIOC_STREAMON.
  int start();
  // VIDIOC_STREAMOFF, munmap, VIDIOC_REQBUFS of none. Errors are ignored: the camera may be gone.
  void stop();

  // VIDIOC_DQBUF: 0 with `buffer` filled, -EAGAIN when no frame is ready, or another error.
  int dequeue(v4l2_buffer* buffer);
  int requeue(std::uint32_t index);
  const std::uint8_t* data(std::uint32_t index) const { return maps_[index].address; }
  std::size_t length(std::uint32_t index) const { return maps_[index].length; }
  const v4l2_pix_format& format() const { return format_; }

  const std::string& failure() const { return failure_; }
  const std::string& path() const { return path_; }

 private:
  struct Mapping {
    std::uint8_t* address = nullptr;
    std::size_t length = 0;
  };
  int call(unsigned long request, const char* name, void* argument);
  void unmapAll();

  DeviceSystem& system_;
  std::string path_;
  int fd_ = -1;
  bool streaming_ = false;
  bool buffersAllocated_ = false;
  v4l2_pix_format format_{};
  std::vector<Mapping> maps_;
  std::string failure_;
};

}  // namespace v4l2
}  // namespace CamSdk
