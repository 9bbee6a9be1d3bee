#include <cstdio>

#include "viewer/OutputLines.h"

void sendEachLineAsPrinted() { std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }
