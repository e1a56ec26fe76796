#pragma once

#include <vector>

namespace scribeline {

// The mask opacity moves in steps of 0.05 in double arithmetic, so repeated
// steps carry the usual rounding drift; only the two bounds are exact.
constexpr double kOpacityStep = 0.05;
constexpr double kMinOpacity = 0.05;
constexpr double kMaxOpacity = 1.0;
constexpr double kStartOpacity = 0.4;

// One step down ("<"), clamped to kMinOpacity.
double lowerOpacity(double opacity);
// One step up (">"), clamped to kMaxOpacity.
double raiseOpacity(double opacity);

// Every opacity the two keys can reach from `start`, ascending. Drift makes
// several near-equal values of one nominal step.
std::vector<double> reachableOpacities(double start = kStartOpacity);

}  // namespace scribeline
