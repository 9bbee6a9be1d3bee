// The guarded block that the depth and colour setup routines share: control of the node is
// requested, then its configuration written, and every kind of SDK failure is reported in one
// line, in the order listed. The audio routine has its own block with fewer clauses.
#pragma once

#include "camera/CameraSdk.h"
#include "streams/SetupFailureReport.h"

template <class N>
void configureUnderControl(CamSdk::Context& context, N& node,
                           const typename N::Configuration& configuration) {
  auto requestAndConfigure = [&context, &node, &configuration] {
    context.requestControl(CamSdk::Node(node), 0);
    node.setConfiguration(configuration);
  };
  runWithClauses<CamSdk::ArgumentException, CamSdk::UnauthorizedAccessException,
                 CamSdk::IOException, CamSdk::InvalidOperationException,
                 CamSdk::ConfigurationException, CamSdk::StreamingException,
                 CamSdk::TimeoutException>(requestAndConfigure);
}
