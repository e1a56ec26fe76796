#pragma once

#include <cstddef>
#include <utility>

#include "superpixel/disjoint_set.h"
#include "superpixel/edge_graph.h"
#include "superpixel/packed_edge.h"

namespace scribeline {

// Graph-based region merging over numVertices vertices, fed a prefix of the
// edge list sorted by weight at a time, so that it can start before the whole
// list is sorted. The edges are visited in order, and the components of an
// edge's ends are joined when its weight is at most the threshold of both; a
// component's threshold is the weight of the edge that last grew it plus
// k / its size (k / 1 for a single vertex), in float arithmetic. Feeding the
// list in any number of prefixes gives the same forest.
//
// With a list for them, the merger also keeps, in order, the edges whose ends
// lay in different components that it did not join: the only edges that can
// still join anything afterwards (mergeSmallComponents over them joins what
// it would join over the whole list).
class RegionMerger {
 public:
  RegionMerger(int numVertices, float k);
  // REQUIRES: unjoined->edges has room for every edge to be visited;
  // unjoined outlives the merger.
  RegionMerger(int numVertices, float k, PackedEdgeList* unjoined);

  // Visits the edges of the packed list from where the previous call stopped
  // (0 at first) up to end-1, in increasing word order (which is
  // sortEdgesByWeight order). Reads nothing at or beyond edge end.
  // REQUIRES: the same list on every call, end at least the previous end,
  // the words 0 .. end-1 sorted and no longer written.
  void mergeUpTo(const PackedEdgeList& list, std::size_t end);

  // The forest after the edges visited so far; the merger is spent.
  DisjointSet takeComponents() { return std::move(components_); }

 private:
  DisjointSet components_;
  float k_;
  std::size_t next_ = 0;
  PackedEdgeList* unjoined_ = nullptr;
};

// Walks the edges of the packed list once, in their order, and joins the
// components of an edge's ends (join(find(a), find(b))) whenever they differ
// and either holds fewer than minSize elements. No weight is looked at. With
// numThreads 2 both threads scan the list for edges that may join,
// chunkEdges edges at a time, and the calling thread joins them in order;
// the outcome is the same.
constexpr std::size_t defaultChunkEdges = std::size_t{1} << 20;
void mergeSmallComponents(DisjointSet& components, const PackedEdgeList& list,
                          int minSize, int numThreads = 1,
                          std::size_t chunkEdges = defaultChunkEdges);

// Writes map[i] = number of the component of element i. Components are
// numbered 0, 1, ... in increasing order of their root's index. Reads the
// forest only; with numThreads 2 the two threads share the elements.
// REQUIRES: map has room for numElements ints, the number of elements the
// set was built with.
void numberComponents(const DisjointSet& components, int numElements, int* map,
                      int numThreads = 1);

}  // namespace scribeline
