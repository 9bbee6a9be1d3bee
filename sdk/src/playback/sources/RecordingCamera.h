// A recording offered as a camera: one node per track, streaming the recorded samples byte for
// byte at their recorded times, with the recorded configurations as the only ones it gives.
#pragma once

#include <functional>
#include <string>

#include "service/Service.h"

namespace CamSdk {
namespace detail {

// Adds the recording at `path` to `service` as device `name`. It plays from the moment a client
// first streams one of its nodes; at the end of the file the device is unplugged, and with
// `loop` the file plays again and again. `say` hears
// what is worth a line in the log (skipped tracks, damaged samples, the end). Raises
// recording::ReadError naming the file when it cannot be played at all.
DeviceId addRecordingDevice(Service& service, const std::string& name, const std::string& path,
                            bool loop, std::function<void(const std::string&)> say = {});

}  // namespace detail
}  // namespace CamSdk
