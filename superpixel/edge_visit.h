#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "superpixel/float_image.h"
#include "superpixel/packed_edge.h"

namespace scribeline {

// One row of pixels of the three planes.
struct PlaneRows {
  const float* r;
  const float* g;
  const float* b;
};

// w[x] = distance of pixel x of row here to pixel x + shift of row there, for
// x in 0 .. count-1. The sum runs over r, g, b in that order from 0, in
// double, as for a single edge; the loop has no branches so that it
// vectorises.
inline void rowDistances(const PlaneRows& here, const PlaneRows& there,
                         int shift, int count, float* w) {
  for (int x = 0; x < count; ++x) {
    const double dr = static_cast<double>(here.r[x]) - there.r[x + shift];
    const double dg = static_cast<double>(here.g[x]) - there.g[x + shift];
    const double db = static_cast<double>(here.b[x]) - there.b[x + shift];
    w[x] = static_cast<float>(std::sqrt(((0.0 + dr * dr) + dg * dg) + db * db));
  }
}

// Calls visit(a, b, w, direction) for every edge of the 8-neighbour graph of
// the planes, in edge-list order: pixels in raster order, and for each pixel
// p its edge to the right, below, below-right and above-right when that
// neighbour exists:
//            . (x+1, y-1)   4: upper-right
//           /
//    p ---- . (x+1, y)      1: right
//    | `.
//    .   . (x+1, y+1)       2: lower, 3: lower-right
// (x, y+1)
// w is the Euclidean distance of the two (r, g, b) values, computed in double
// and rounded to float once.
// Only the pixels of rows firstRow .. endRow-1 are visited (as first end);
// visiting consecutive row ranges one after another gives the whole list.
// REQUIRES: the three planes have the same size,
// 0 <= firstRow <= endRow <= height.
template <typename Visit>
void forEachEdgeInRows(const FloatImage& r, const FloatImage& g,
                       const FloatImage& b, int firstRow, int endRow,
                       Visit&& visit) {
  const int width = r.width();
  const int height = r.height();
  // The weights of one row, a block per direction.
  std::vector<float> weights(4 * static_cast<std::size_t>(width));
  float* const toRight = weights.data();
  float* const toLower = toRight + width;
  float* const toLowerRight = toLower + width;
  float* const toUpperRight = toLowerRight + width;
  for (int y = firstRow; y < endRow; ++y) {
    const bool hasBelow = y < height - 1;
    const bool hasAbove = y > 0;
    const PlaneRows here{r.row(y), g.row(y), b.row(y)};
    rowDistances(here, here, 1, width - 1, toRight);
    if (hasBelow) {
      const PlaneRows below{r.row(y + 1), g.row(y + 1), b.row(y + 1)};
      rowDistances(here, below, 0, width, toLower);
      rowDistances(here, below, 1, width - 1, toLowerRight);
    }
    if (hasAbove) {
      const PlaneRows above{r.row(y - 1), g.row(y - 1), b.row(y - 1)};
      rowDistances(here, above, 1, width - 1, toUpperRight);
    }
    const int rowStart = y * width;
    for (int x = 0; x < width; ++x) {
      const int p = rowStart + x;
      const bool hasRight = x < width - 1;
      if (hasRight) {
        visit(p, p + 1, toRight[x], EdgeDirection::right);
      }
      if (hasBelow) {
        visit(p, p + width, toLower[x], EdgeDirection::lower);
        if (hasRight) {
          visit(p, p + width + 1, toLowerRight[x], EdgeDirection::lowerRight);
        }
      }
      if (hasRight && hasAbove) {
        visit(p, p - width + 1, toUpperRight[x], EdgeDirection::upperRight);
      }
    }
  }
}

// Every edge, in edge-list order.
template <typename Visit>
void forEachEdge(const FloatImage& r, const FloatImage& g, const FloatImage& b,
                 Visit&& visit) {
  forEachEdgeInRows(r, g, b, 0, r.height(), visit);
}

}  // namespace scribeline
