#include "present/KeyHandOver.h"

namespace keyHandOver {
namespace {

// Only the event loop's thread runs the frame handlers, one at a time.
int keptKey = -1;

}  // namespace

void keepKeyFromDepthPoll(int key) { keptKey = key; }

int takeKeyFromDepthPoll() {
  const int key = keptKey;
  keptKey = -1;
  return key;
}

}  // namespace keyHandOver
