// The client side of service_bench, run in a process of its own (see ClientProcess):
//
//   service_bench --client latency|colour ENDPOINT ORIGIN_NS WARMUP_MS MEASURE_MS CONFIGURE
//
// It opens the service at ENDPOINT as a viewer does, streams for WARMUP_MS + MEASURE_MS and
// prints what it saw in the measured span on standard output:
// - latency: one line "KIND NANOSECONDS" per sample (d, c or a), the time from the sample's
//   capture (ORIGIN_NS + timeOfCapture on the steady clock) to its handler; then "dropped N".
//   With CONFIGURE 1 it takes control and sets depth 320 x 240 and colour 640 x 480, both at
//   25 a second, as the viewer does; audio keeps its default.
// - colour: "received N dropped N" for the first device's colour node.
#pragma once

bool isBenchClient(int argc, char** argv);
int runBenchClient(int argc, char** argv);
