#include "camera/ListConversion.h"

#include "camsdk/Context.h"
#include "camsdk/Device.h"

namespace CamSdk {

// The SDK's temporary list dies at the end of the return statement, before the accessor
// returns; the vector holds handle copies of its own.
std::vector<Node> Device::listNodes() const { return _p_getNodes().toStdVector(); }

std::vector<Device> Context::listDevices() const { return _p_getDevices().toStdVector(); }

}  // namespace CamSdk
