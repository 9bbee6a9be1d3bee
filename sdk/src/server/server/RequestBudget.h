// How fast a peer may send: a token bucket that refills at a steady rate and holds twice that
// rate, so a burst of a second's worth is allowed and a steady flood is not.
#pragma once

#include <algorithm>

#include "service/Clock.h"

namespace CamSdk {
namespace server {

class RequestBudget {
 public:
  RequestBudget(int perSecond, detail::Nanoseconds now)
      : perSecond_(perSecond), tokens_(2.0 * perSecond), lastRefill_(now) {}

  // False when the peer is over its budget; nothing is spent then.
  bool spend(detail::Nanoseconds now) {
    tokens_ = tokensAt(now);
    lastRefill_ = now;
    if (tokens_ < 1.0) return false;
    tokens_ -= 1.0;
    return true;
  }

  // True when the bucket has filled up again by `now`: a budget made afresh then is the same.
  bool refilled(detail::Nanoseconds now) const { return tokensAt(now) >= 2.0 * perSecond_; }

 private:
  double tokensAt(detail::Nanoseconds now) const {
    const double refill = static_cast<double>((now - lastRefill_).count()) * 1e-9 * perSecond_;
    return std::min(2.0 * perSecond_, tokens_ + refill);
  }

  int perSecond_;
  double tokens_;
  detail::Nanoseconds lastRefill_;
};

}  // namespace server
}  // namespace CamSdk
