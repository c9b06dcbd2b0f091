// Finds how far a decoded signal lags behind its source, by cross-correlation.
#pragma once

#include <span>

namespace tembrel::bench {

// The lag L in [-maxLag, maxLag] at which test[n + L] matches reference[n] best (the
// peak of their cross-correlation). 0 when either signal is empty or silent.
long findLag(std::span<const float> reference, std::span<const float> test, long maxLag);

}  // namespace tembrel::bench
