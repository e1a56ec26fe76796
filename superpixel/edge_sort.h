#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "superpixel/edge_graph.h"

namespace scribeline {

// Sorts edges by ascending weight in place. The sort is stable: edges of
// equal weight keep their order in the edge list, i.e. by first pixel and then
// right, lower, lower-right, upper-right. Weights compare as floats with -0
// equal to +0; NaN weights go last.
void sortEdgesByWeight(Edge* edges, std::size_t count);

// Unsigned key whose order is that float order of weights: +0 and -0 share a
// key, NaNs take the largest.
inline std::uint32_t edgeSortKey(float w) {
  if (w == 0.0f) {
    return 0x80000000u;
  }
  if (w != w) {
    return 0xFFFFFFFFu;
  }
  std::uint32_t bits;
  std::memcpy(&bits, &w, sizeof bits);
  return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

}  // namespace scribeline
