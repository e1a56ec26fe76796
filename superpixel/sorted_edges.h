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

// Number of buckets of a BucketedEdges list.
std::size_t bucketCount();

// Places the edges of the planes (forEachEdge) in their buckets, in rounds:
// each round places the edges of a range of buckets, so that the first buckets
// can be sorted and merged while later ones are being placed. Rounds over
// ranges that together cover 0 .. bucketCount()-1 once give the list of
// placeEdgesInBuckets.
class BucketPlacer {
 public:
  // Takes the planes over, counts the edges of every bucket with
  // numThreads threads (1 or 2) and allocates the list.
  // REQUIRES: the three planes have the same size, width * height <=
  // INT_MAX.
  BucketPlacer(FloatImage r, FloatImage g, FloatImage b, int numThreads);
  BucketPlacer(const BucketPlacer&) = delete;
  BucketPlacer& operator=(const BucketPlacer&) = delete;

  // The list; the buckets placed so far hold their edges.
  BucketedEdges& edges() { return edges_; }

  // The first bucket whose start is at least share of the list (in 0 .. 1),
  // or bucketCount().
  std::size_t bucketHolding(double share) const;

  // Places the edges whose bucket lies in firstBucket .. endBucket-1, with
  // numThreads threads: 1, or the number the placer was built with.
  // Writes nothing outside those buckets' places; rounds over disjoint
  // ranges may run while other buckets are read.
  // REQUIRES: the planes are not yet released.
  void place(std::size_t firstBucket, std::size_t endBucket, int numThreads);

  // Frees the planes; no round may follow.
  void releasePlanes();

 private:
  FloatImage r_;
  FloatImage g_;
  FloatImage b_;
  BucketedEdges edges_;
  std::vector<int> rowStart_;
  std::vector<std::vector<std::size_t>> partNext_;
};

// Places the edges of the planes (forEachEdge) in their buckets, in one round.
// With numThreads 2 the rows are split in two halves handled at the same
// time; the result does not depend on numThreads. The planes are taken over
// and freed once the edges are placed.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX,
// numThreads is 1 or 2.
BucketedEdges placeEdgesInBuckets(FloatImage r, FloatImage g, FloatImage b,
                                  int numThreads);

// Sorts every bucket in place, in increasing bucket order, so that the list
// ends up in increasing word order, which is sortEdgesByWeight order.
// Whenever a prefix of the list has reached its final order, sortedUpTo(end) is
// called with the length of that prefix; the last call has end ==
// edges.list.count, and after a call the prefix is never written again.
void sortBuckets(BucketedEdges& edges,
                 const std::function<void(std::size_t end)>& sortedUpTo);

// The same for the buckets firstBucket .. endBucket-1 only, which must all be
// placed; the last call of sortedUpTo has the end of bucket endBucket-1.
// REQUIRES: the buckets before firstBucket are sorted.
void sortBuckets(BucketedEdges& edges, std::size_t firstBucket,
                 std::size_t endBucket,
                 const std::function<void(std::size_t end)>& sortedUpTo);

// The edge list of the planes (forEachEdge order) sorted by sortEdgesByWeight:
// the same edges in the same order, built without a full sort of the list.
// The planes are taken over and freed once the edges are placed, before the
// sorting inside the weight buckets.
// REQUIRES: the three planes have the same size, width * height <= INT_MAX.
EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b);

}  // namespace scribeline
