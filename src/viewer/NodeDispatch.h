// Which nodes the viewer holds: the first node of each kind offered while none of that kind is
// held is stored, set up and registered with the context.
#pragma once

#include "camera/CameraSdk.h"

void claimNode(CamSdk::Node node);
