// The Windows build plays no recordings: they are read through FFmpeg's libraries, which
// Debian ships for Linux only. Asking for one says so, the way an unreadable file would.
#include "recording/RecordingReader.h"
#include "sources/RecordingCamera.h"

namespace CamSdk {
namespace detail {

DeviceId addRecordingDevice(Service&, const std::string&, const std::string& path, bool,
                            std::function<void(const std::string&)>) {
  throw recording::ReadError(path + ": this Windows build plays no recordings (it is built "
                                    "without FFmpeg)");
}

}  // namespace detail
}  // namespace CamSdk
