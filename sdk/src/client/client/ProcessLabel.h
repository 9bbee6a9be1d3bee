// The name other clients see when this one holds a node: the program and its process, such as
// "depth-viewer (process 1234)".
//
// Platform code: ProcessLabelPosix.cpp (/proc/self/comm), ProcessLabelWindows.cpp (the
// program file's name without ".exe").
#pragma once

#include <string>

namespace CamSdk {
namespace detail {

std::string processLabel();

}  // namespace detail
}  // namespace CamSdk
