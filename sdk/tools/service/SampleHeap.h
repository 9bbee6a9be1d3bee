// A one-time setting of the C heap, made at start-up, for the blocks that carry samples out:
// ZeroMQ copies each map of a sample into a block of its own (a 640 x 480 colour map is
// 614,400 bytes), made in the service's thread and freed in ZeroMQ's once sent.
#pragma once

// Where the C library would map every block this large afresh and unmap it when freed (glibc's
// default above 128 KiB, adapting upward only after the first free, and giving freed memory
// back soon after), each sample would fault in its pages again: a third of the service's
// time at 25 colour and depth samples a second. This raises that size above the largest map
// (a full-HD colour map, 4 MB) and keeps freed memory of that order in the heap. Does nothing
// on a C library without such settings. Call once, before serving.
void keepSampleBlocksInHeap();
