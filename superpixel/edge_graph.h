#pragma once

#include <cstddef>
#include <memory>

#include "superpixel/float_image.h"
#include "superpixel/large_array.h"

namespace scribeline {

// One edge of the 8-neighbour pixel graph. Pixels are numbered y * width + x;
// a is the pixel on the left (or above, for a vertical pair).
struct Edge {
  float w;  // colour distance between the two smoothed pixels
  int a;
  int b;
};

// The edge array with room for four edges per pixel, filled from the front.
struct EdgeList {
  LargeArray<Edge> edges;
  std::size_t count = 0;
};

// Number of edges buildEdges produces for a width x height image:
// (W-1)H + W(H-1) + 2(W-1)(H-1), or 0 for an empty image.
std::size_t edgeCount(int width, int height);

// Lists every 8-connected pair of pixels once. Pixels are visited in raster
// order and each appends, when the neighbour exists, its edge to the right,
// below, below-right and above-right, in that order. The weight is the
// Euclidean distance of the (r, g, b) values, computed in double and stored
// as float.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX.
EdgeList buildEdges(const FloatImage& r, const FloatImage& g,
                    const FloatImage& b);

}  // namespace scribeline
