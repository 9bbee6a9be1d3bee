#include "viewer/FrameSizedBlocks.h"

// Nothing to set: the heap of a 64-bit Windows process serves blocks up to just under 1 MiB
// from its own segments (only larger ones are mapped afresh with VirtualAlloc), so the colour
// display's 921,600-byte blocks are reused from the heap already, and it has no setting for
// that size at run time.
void keepFrameSizedBlocksInHeap() {}
