#pragma once

#include <cstddef>

#include "superpixel/edge_graph.h"

namespace scribeline {

// Sorts edges by ascending weight in place. The sort is stable: edges of
// equal weight keep their order in the edge list, i.e. by first pixel and then
// right, lower, lower-right, upper-right. Weights compare as floats with -0
// equal to +0; NaN weights go last.
void sortEdgesByWeight(Edge* edges, std::size_t count);

}  // namespace scribeline
