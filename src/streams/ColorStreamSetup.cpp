#include <cstdint>

#include "camera/CameraSdk.h"
#include "streams/ConfigurationBytes.h"
#include "streams/ConfigureUnderControl.h"
#include "streams/StreamSetup.h"

void setupColorStream(CamSdk::Context& context, CamSdk::ColorNode& node,
                      CamSdk::ColorNode::NewSampleReceivedEvent::Function onSample) {
  node.newSampleReceivedEvent().connectFunction(onSample);

  CamSdk::ColorNode::Configuration configuration = node.getConfiguration();
  writeConfigurationBytes(configuration, 0, std::int32_t{7});   // frame format: 640 x 480
  writeConfigurationBytes(configuration, 4, std::int32_t{25});  // frames per second
  writeConfigurationBytes(configuration, 8, std::int32_t{1});   // power line frequency: 50 Hz
  writeConfigurationBytes(configuration, 12, std::int32_t{0});  // compression: packed 4:2:2

  node.setEnableColorMap(true);

  configureUnderControl(context, node, configuration);
}
