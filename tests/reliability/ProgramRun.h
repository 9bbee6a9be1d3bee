// Runs the viewer the way its entry function does (the lifecycle inside the program's failure
// guard, on this machine's camera service), with standard output and standard error captured.
// Tests link the display stand-in, so no window opens.
#pragma once

#include <string>

namespace reliability {

struct ProgramRun {
  int status = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

ProgramRun runProgramAsMainDoes();

// Drops every handle the viewer's global record holds, as process exit would.
void releaseViewerState();

}  // namespace reliability
