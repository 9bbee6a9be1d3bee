#include "viewer/DisplayCheck.h"

// No way to ask here: the window library finds out for itself.
std::string whyNoDisplay() { return {}; }
