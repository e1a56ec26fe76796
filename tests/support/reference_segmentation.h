// Straightforward versions of the over-segmentation's steps over a plain edge
// list: the list itself, the region merging and the minimum-size pass. The
// library works on packed, bucket-sorted lists instead; these are the
// reference it is checked against.
#pragma once

#include <cstddef>

#include "superpixel/disjoint_set.h"
#include "superpixel/edge_graph.h"
#include "superpixel/float_image.h"

namespace scribeline {

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

// Graph-based region merging over numVertices vertices. Sorts the edges in
// place (see sortEdgesByWeight for the order of equal weights), then visits
// them in that order and joins the components of an edge's ends when its
// weight is at most the threshold of both; a component's threshold is the
// weight of the edge that last grew it plus k / its size (k / 1 for a single
// vertex), in float arithmetic.
// REQUIRES: every edge end lies in 0 .. numVertices-1.
DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges,
                         float k);

// Visits the edges once, in their order, and joins the components of an
// edge's ends (join(find(a), find(b))) whenever they differ and either holds
// fewer than minSize elements. No weight is looked at.
void mergeSmallComponents(DisjointSet& components, const Edge* edges,
                          std::size_t numEdges, int minSize);

}  // namespace scribeline
