// The camera SDK's public interface.
#pragma once

#include "camsdk/Context.h"
#include "camsdk/Device.h"
#include "camsdk/Events.h"
#include "camsdk/Exceptions.h"
#include "camsdk/FrameFormat.h"
#include "camsdk/List.h"
#include "camsdk/Node.h"
#include "camsdk/Pointer.h"
