#include "canvas/opacity.h"

#include <set>

namespace scribeline {

double lowerOpacity(double opacity) {
  opacity -= kOpacityStep;
  return opacity < kMinOpacity ? kMinOpacity : opacity;
}

double raiseOpacity(double opacity) {
  opacity += kOpacityStep;
  return opacity > kMaxOpacity ? kMaxOpacity : opacity;
}

std::vector<double> reachableOpacities(double start) {
  std::set<double> seen = {start};
  std::vector<double> pending = {start};
  while (!pending.empty()) {
    const double opacity = pending.back();
    pending.pop_back();
    for (double next : {lowerOpacity(opacity), raiseOpacity(opacity)})
      if (seen.insert(next).second) pending.push_back(next);
  }
  return std::vector<double>(seen.begin(), seen.end());
}

}  // namespace scribeline
