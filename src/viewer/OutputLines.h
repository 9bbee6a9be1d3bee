// Each line the viewer prints leaves when it is printed, also into a pipe or a log file, and is
// not lost when a signal or a console event ends the process.
//
// Platform code: OutputLinesStandard.cpp (line buffering), OutputLinesWindows.cpp (no
// buffering: the Windows C library buffers "line-buffered" streams fully).
#pragma once

// Call once, before anything is printed.
void sendEachLineAsPrinted();
