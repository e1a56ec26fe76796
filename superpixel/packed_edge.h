#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "superpixel/edge_graph.h"
#include "superpixel/large_array.h"

namespace scribeline {

// The four directions in which a pixel lists its edges, in edge-list order.
enum class EdgeDirection : unsigned {
  right = 0,
  lower = 1,
  lowerRight = 2,
  upperRight = 3
};

// An edge of the 8-neighbour graph of an image in one 64-bit word:
//   bits 63 .. 33  the weight's float bits without the sign bit
//   bits 32 .. 2   the first pixel a (y * width + x)
//   bits  1 .. 0   the direction of the second pixel seen from a
// For weights that are +0 or above (distances are) the unsigned order of the
// words is the order by weight, then by first pixel, then by direction: the
// order of sortEdgesByWeight applied to the edge list. A NaN weight is kept
// as the largest NaN, after every number, as sortEdgesByWeight puts it.
using PackedEdge = std::uint64_t;

constexpr int packedWeightShift = 33;

// REQUIRES: w >= +0 or NaN; 0 <= a <= INT_MAX.
inline PackedEdge packEdge(float w, int a, EdgeDirection direction) {
  std::uint32_t bits;
  std::memcpy(&bits, &w, sizeof bits);
  if (w != w) {
    bits = 0x7FFFFFFFu;
  }
  return static_cast<PackedEdge>(bits) << packedWeightShift |
         static_cast<PackedEdge>(a) << 2 | static_cast<unsigned>(direction);
}

inline float packedWeight(PackedEdge edge) {
  const std::uint32_t bits =
      static_cast<std::uint32_t>(edge >> packedWeightShift);
  float w;
  std::memcpy(&w, &bits, sizeof w);
  return w;
}

inline int packedFirst(PackedEdge edge) {
  return static_cast<int>((edge >> 2) & 0x7FFFFFFFu);
}

// Turns the packed edges of an image of the given width back into ends.
class PackedEdgeEnds {
 public:
  //            . a - width + 1   upperRight
  //           /
  //    a ---- . a + 1            right
  //    | `.
  //    .   . a + width + 1       lowerRight
  // a + width                    lower
  explicit PackedEdgeEnds(int width)
      : offsets_{1, width, width + 1, 1 - width} {}

  int second(PackedEdge edge) const {
    return packedFirst(edge) + offsets_[edge & 3u];
  }
  Edge edge(PackedEdge edge) const {
    return Edge{packedWeight(edge), packedFirst(edge), second(edge)};
  }

 private:
  int offsets_[4];
};

// The packed edge array of an image, with room for four edges per pixel,
// filled from the front.
struct PackedEdgeList {
  LargeArray<PackedEdge> edges;
  std::size_t count = 0;
  int width = 0;  // of the image, for PackedEdgeEnds
};

}  // namespace scribeline
