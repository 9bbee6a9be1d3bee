// Text from a client (its name, a subject, a message) made safe to print: a newline could
// forge a line of a log, an escape sequence could take over the terminal showing it. Printable
// ASCII and well-formed UTF-8 letters stay as they are; every other byte (control characters,
// DEL, the C1 controls, broken UTF-8) and the backslash become \xNN.
#pragma once

#include <string>

namespace CamSdk {
namespace detail {

std::string printable(const std::string& text);

}  // namespace detail
}  // namespace CamSdk
