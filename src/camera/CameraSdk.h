// The program's view of the camera SDK: the SDK's interface together with the pieces of it that
// the program defines itself. Program files include this rather than the SDK headers, so that
// every use of connectFunction and toStdVector sees its definition.
#pragma once

#include "camera/FunctionHandler.h"
#include "camera/ListConversion.h"
#include "camsdk/CamSdk.h"
