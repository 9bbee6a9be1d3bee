// The viewer's life from opening the camera context to giving the streams back.
#pragma once

#include <string>

// The camera service of this machine.
inline const char* const kLocalCameraServiceHost = "localhost";

// Opens a context on the camera service of `host`, wires and claims the first device, runs the
// event loop until a handler asks it to quit (q, the colour window closed, a stop signal),
// stops the nodes and unregisters the held streams.
// Returns 0 whenever the loop returns; SDK failures outside the setup routines pass out.
int runViewer(const std::string& host);
