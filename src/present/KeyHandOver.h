// The key that the depth display's poll took last, kept for the colour display.
//
// Both displays poll the one keyboard of the display library, and a poll uses up the key it
// takes. On a camera that streams depth and colour, the depth frame comes just before each
// colour frame and its poll takes most presses, so a q pressed in the colour window was lost
// more often than not. The depth display still does nothing with keys; it leaves the key here,
// and the colour display's poll that follows treats it as its own. Each depth poll replaces
// the key, and a kept key goes stale after kKeptKeyLifetime: when depth frames stop coming (no
// map, a size the display refuses, the node unplugged) and colour frames go on, or colour
// frames stop for a while, a q from long before must not end the viewer at some later frame.
#pragma once

#include <chrono>

namespace keyHandOver {

using Clock = std::chrono::steady_clock;
using TimeSource = Clock::time_point (*)();

// At 25 frames a second the colour poll follows the depth poll within a few milliseconds.
// Two colour frame periods let one late or skipped colour frame go by; a press older than that
// belongs to a moment when no colour frame came, and is dropped rather than acted on later.
constexpr std::chrono::milliseconds kKeptKeyLifetime{80};

void keepKeyFromDepthPoll(int key);
// The key kept by the last depth poll, or -1 when there is none or it was kept longer than
// kKeptKeyLifetime ago; taking it clears it.
int takeKeyFromDepthPoll();

// Where the time of the polls comes from: the steady clock unless a test installs its own
// (nullptr: back to the steady clock).
void setTimeSource(TimeSource source);

}  // namespace keyHandOver
