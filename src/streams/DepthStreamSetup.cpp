#include <cstdint>

#include "camera/CameraSdk.h"
#include "streams/ConfigurationBytes.h"
#include "streams/ConfigureUnderControl.h"
#include "streams/StreamSetup.h"

void setupDepthStream(CamSdk::Context& context, CamSdk::DepthNode& node,
                      CamSdk::DepthNode::NewSampleReceivedEvent::Function onSample) {
  node.newSampleReceivedEvent().connectFunction(onSample);

  CamSdk::DepthNode::Configuration configuration = node.getConfiguration();
  writeConfigurationBytes(configuration, 0, std::int32_t{4});   // frame format: 320 x 240
  writeConfigurationBytes(configuration, 4, std::int32_t{25});  // frames per second
  writeConfigurationBytes(configuration, 8, std::int32_t{0});   // camera mode: close range
  writeConfigurationBytes(configuration, 12, std::uint8_t{1});  // saturation on

  node.setEnableVertices(true);
  node.setEnableDepthMap(true);

  configureUnderControl(context, node, configuration);
}
