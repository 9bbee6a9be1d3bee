// The key that the depth display's poll took last, kept for the colour display.
//
// Both displays poll the one keyboard of the display library, and a poll uses up the key it
// takes. On a camera that streams depth and colour, the depth frame comes just before each
// colour frame and its poll takes most presses, so a q pressed in the colour window was lost
// more often than not. The depth display still does nothing with keys; it leaves the key here,
// and the colour display's poll that follows treats it as its own. Each depth poll replaces
// the key, so a q from a moment with no colour frame after it is not acted on much later.
#pragma once

namespace keyHandOver {

void keepKeyFromDepthPoll(int key);
// The key kept by the last depth poll, or -1; taking it clears it.
int takeKeyFromDepthPoll();

}  // namespace keyHandOver
