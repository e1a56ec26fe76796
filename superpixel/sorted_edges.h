#pragma once

#include "superpixel/edge_graph.h"
#include "superpixel/float_image.h"

namespace scribeline {

// The edge list of buildEdges(r, g, b) already sorted by
// sortEdgesByWeight: the same edges in the same order, built without a full
// sort of the list. The planes are taken over and freed once the edges are
// placed, before the sorting inside the weight buckets.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX.
EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b);

}  // namespace scribeline
