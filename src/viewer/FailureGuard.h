// The program's last line of defence against an exception that nothing else catches.
#pragma once

#include <functional>

// Returns what `body` returns. An exception that escapes `body` ends up as one line on standard
// error naming its kind and message, and the result 1, instead of an abort.
int runReportingFailure(const std::function<int()>& body);
