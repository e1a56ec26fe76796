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

// An edge array with room for four edges per pixel, filled from the front.
struct EdgeList {
  LargeArray<Edge> edges;
  std::size_t count = 0;
};

}  // namespace scribeline
