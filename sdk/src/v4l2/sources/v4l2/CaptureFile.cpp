#include "sources/v4l2/CaptureFile.h"

#include "sources/v4l2/DeviceSystem.h"

namespace CamSdk {
namespace v4l2 {

CaptureFile::CaptureFile(DeviceSystem& system, std::string path)
    : system_(system), path_(std::move(path)) {}

CaptureFile::~CaptureFile() { close(); }

int CaptureFile::call(unsigned long request, const char* name, void* argument) {
  const int result = system_.ioctl(fd_, request, argument);
  if (result < 0) failure_ = std::string(name) + " on " + path_ + ": " + errorName(-result);
  return result;
}

int CaptureFile::open() {
  if (fd_ >= 0) return 0;
  const int fd = system_.open(path_);
  if (fd < 0) {
    failure_ = "opening " + path_ + ": " + errorName(-fd);
    return fd;
  }
  fd_ = fd;
  return 0;
}

void CaptureFile::close() {
  if (fd_ < 0) return;
  stop();
  system_.close(fd_);
  fd_ = -1;
}

int CaptureFile::setFormat(std::uint32_t pixelFormat, std::int32_t width, std::int32_t height,
                           const Interval* interval, std::string* mismatch) {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  format.fmt.pix.pixelformat = pixelFormat;
  format.fmt.pix.width = static_cast<std::uint32_t>(width);
  format.fmt.pix.height = static_cast<std::uint32_t>(height);
  format.fmt.pix.field = V4L2_FIELD_NONE;
  if (const int result = call(VIDIOC_S_FMT, "VIDIOC_S_FMT", &format); result < 0) return result;
  const v4l2_pix_format& set = format.fmt.pix;
  // A driver adjusts what it cannot do instead of refusing it: compare what it took.
  if (set.pixelformat != pixelFormat || set.width != static_cast<std::uint32_t>(width) ||
      set.height != static_cast<std::uint32_t>(height)) {
    *mismatch = path_ + " gives " + std::to_string(set.width) + "x" + std::to_string(set.height) +
                " " + fourccName(set.pixelformat) + " when asked for " + std::to_string(width) +
                "x" + std::to_string(height) + " " + fourccName(pixelFormat);
    return 0;
  }
  format_ = set;
  // A driver may leave the line length to the reader: packed lines, then.
  if (format_.bytesperline == 0) format_.bytesperline = set.width * 2;
  if (interval == nullptr) return 0;
  v4l2_streamparm parameters{};
  parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  parameters.parm.capture.timeperframe = v4l2_fract{interval->numerator, interval->denominator};
  if (const int result = call(VIDIOC_S_PARM, "VIDIOC_S_PARM", &parameters); result < 0) {
    return result;
  }
  const v4l2_fract& got = parameters.parm.capture.timeperframe;
  // Compared as fractions: 1/30 and 2/60 are the same interval.
  if (std::uint64_t(got.numerator) * interval->denominator !=
      std::uint64_t(got.denominator) * interval->numerator) {
    *mismatch = path_ + " gives a frame every " + std::to_string(got.numerator) + "/" +
                std::to_string(got.denominator) + " s when asked for " +
                std::to_string(interval->numerator) + "/" + std::to_string(interval->denominator);
  }
  return 0;
}

int CaptureFile::start() {
  if (streaming_) return 0;
  v4l2_requestbuffers request{};
  request.count = kBuffers;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (const int result = call(VIDIOC_REQBUFS, "VIDIOC_REQBUFS", &request); result < 0) {
    return result;
  }
  buffersAllocated_ = true;
  // The driver may give fewer than asked (or more); none at all is out of memory.
  if (request.count == 0) {
    failure_ = "VIDIOC_REQBUFS on " + path_ + ": no buffers";
    stop();
    return -ENOMEM;
  }
  for (std::uint32_t index = 0; index < request.count; ++index) {
    v4l2_buffer buffer{};
    buffer.index = index;
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    int result = call(VIDIOC_QUERYBUF, "VIDIOC_QUERYBUF", &buffer);
    if (result == 0) {
      int error = 0;
      void* address = system_.map(fd_, buffer.length, buffer.m.offset, &error);
      if (address == nullptr) {
        failure_ = "mmap of a buffer of " + path_ + ": " + errorName(error);
        result = -error;
      } else {
        maps_.push_back(Mapping{static_cast<std::uint8_t*>(address), buffer.length});
        result = requeue(index);
      }
    }
    if (result < 0) {
      stop();
      return result;
    }
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (const int result = call(VIDIOC_STREAMON, "VIDIOC_STREAMON", &type); result < 0) {
    stop();
    return result;
  }
  streaming_ = true;
  return 0;
}

void CaptureFile::unmapAll() {
  for (const Mapping& mapping : maps_) system_.unmap(mapping.address, mapping.length);
  maps_.clear();
}

void CaptureFile::stop() {
  if (fd_ < 0) return;
  if (streaming_) {
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    system_.ioctl(fd_, VIDIOC_STREAMOFF, &type);
    streaming_ = false;
  }
  unmapAll();
  if (buffersAllocated_) {
    // Freeing the buffers gives the queue back, so another program may stream the camera.
    v4l2_requestbuffers none{};
    none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    none.memory = V4L2_MEMORY_MMAP;
    system_.ioctl(fd_, VIDIOC_REQBUFS, &none);
    buffersAllocated_ = false;
  }
}

int CaptureFile::dequeue(v4l2_buffer* buffer) {
  *buffer = v4l2_buffer{};
  buffer->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer->memory = V4L2_MEMORY_MMAP;
  const int result = system_.ioctl(fd_, VIDIOC_DQBUF, buffer);
  if (result < 0 && result != -EAGAIN) {
    failure_ = "VIDIOC_DQBUF on " + path_ + ": " + errorName(-result);
  }
  if (result == 0 && buffer->index >= maps_.size()) {
    failure_ = "VIDIOC_DQBUF on " + path_ + ": buffer " + std::to_string(buffer->index) +
               " was never queued";
    return -EIO;
  }
  return result;
}

int CaptureFile::requeue(std::uint32_t index) {
  v4l2_buffer buffer{};
  buffer.index = index;
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  return call(VIDIOC_QBUF, "VIDIOC_QBUF", &buffer);
}

}  // namespace v4l2
}  // namespace CamSdk
