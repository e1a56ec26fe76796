#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "superpixel/edge_graph.h"
#include "superpixel/float_image.h"
#include "superpixel/packed_edge.h"

namespace scribeline {

// The packed edge list with every edge placed in the bucket of the top bits
// of its word (the top bits of its weight), buckets in increasing order and
// edges in list order within a bucket; the buckets are not yet sorted
// inside.
struct BucketedEdges {
    PackedEdgeList list;
    // Bucket i holds the edges bucketStart[i] .. bucketStart[i+1]-1.
    std::vector<std::size_t> bucketStart;
};

// Places the edges of buildEdges(r, g, b) in their buckets. With numThreads
// 2 the rows are split in two halves handled at the same time; the result
// does not depend on numThreads. The planes are taken over and freed once
// the edges are placed.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX,
// numThreads is 1 or 2.
BucketedEdges placeEdgesInBuckets(FloatImage r, FloatImage g, FloatImage b, int numThreads);

// Sorts every bucket in place, in increasing bucket order, so that the list
// ends up in increasing word order, which is sortEdgesByWeight order. Whenever a prefix of the list has
// reached its final order, sortedUpTo(end) is called with the length of that
// prefix; the last call has end == edges.list.count, and after a call the
// prefix is never written again.
void sortBuckets(BucketedEdges& edges, const std::function<void(std::size_t end)>& sortedUpTo);

// The edge list of buildEdges(r, g, b) already sorted by sortEdgesByWeight:
// the same edges in the same order, built without a full sort of the list.
// The planes are taken over and freed once the edges are placed, before the
// sorting inside the weight buckets.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX.
EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b);

}  // namespace scribeline
