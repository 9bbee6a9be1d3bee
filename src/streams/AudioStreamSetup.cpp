#include <cstdint>

#include "camera/CameraSdk.h"
#include "streams/ConfigurationBytes.h"
#include "streams/SetupFailureReport.h"
#include "streams/StreamSetup.h"

void setupAudioStream(CamSdk::Context& context, CamSdk::AudioNode& node,
                      CamSdk::AudioNode::NewSampleReceivedEvent::Function onSample) {
  node.newSampleReceivedEvent().connectFunction(onSample);

  CamSdk::AudioNode::Configuration configuration = node.getConfiguration();
  writeConfigurationBytes(configuration, 8, std::int32_t{44100});  // sample rate, hertz

  // No clauses for IOException or InvalidOperationException here: those leave the routine.
  auto requestConfigureAndLevel = [&] {
    context.requestControl(CamSdk::Node(node), 0);
    node.setConfiguration(configuration);
    node.setInputMixerLevel(0.5f);
  };
  runWithClauses<CamSdk::ArgumentException, CamSdk::UnauthorizedAccessException,
                 CamSdk::ConfigurationException, CamSdk::StreamingException,
                 CamSdk::TimeoutException>(requestConfigureAndLevel);
}
