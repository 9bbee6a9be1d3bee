#include <cstdio>

#include "viewer/OutputLines.h"

// The viewer prints a few short lines in all; each goes out in one write as printf makes it.
void sendEachLineAsPrinted() { std::setvbuf(stdout, nullptr, _IONBF, 0); }
