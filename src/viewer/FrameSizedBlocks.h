// A one-time setting of the C heap, made at start-up, so that the colour display's per-frame
// work buffer and image (each 921,600 bytes) are taken from and given back to the heap itself.
#pragma once

// Where the C library would map every block this large afresh and unmap it when freed (glibc's
// default above 128 KiB, adapting upward only after the first free), each frame would fault in
// its pages again. This raises that size above the frame size and keeps freed memory of that
// order in the heap. Does nothing on a C library without such settings. Call once, before the
// first frame.
void keepFrameSizedBlocksInHeap();
