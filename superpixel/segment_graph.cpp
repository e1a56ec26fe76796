#include "superpixel/segment_graph.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "superpixel/edge_sort.h"
#include "superpixel/large_array.h"

namespace scribeline {

namespace {

// Edges are visited in weight order, so their ends are scattered over the
// forest: fetch the ends a few edges ahead, and the parents of the ends (and
// their thresholds) a few edges later.
constexpr std::size_t endLookahead = 32;
constexpr std::size_t parentLookahead = 8;

inline void prefetchEnds(const DisjointSet& components, const Edge* edges, std::size_t numEdges, std::size_t i,
                         const float* threshold) {
    if (i + endLookahead < numEdges) {
        components.prefetch(edges[i + endLookahead].a);
        components.prefetch(edges[i + endLookahead].b);
    }
    if (threshold != nullptr && i + parentLookahead < numEdges) {
        const int parentA = components.parent(edges[i + parentLookahead].a);
        const int parentB = components.parent(edges[i + parentLookahead].b);
        components.prefetch(parentA);
        components.prefetch(parentB);
        components.prefetchRoot(parentA);
        components.prefetchRoot(parentB);
        __builtin_prefetch(threshold + parentA);
        __builtin_prefetch(threshold + parentB);
    }
}

}  // namespace

DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges, float k) {
    sortEdgesByWeight(edges, numEdges);
    return segmentSortedGraph(numVertices, numEdges, edges, k);
}

DisjointSet segmentSortedGraph(int numVertices, std::size_t numEdges, const Edge* edges, float k) {
    DisjointSet components(numVertices);
    const LargeArray<float> threshold = allocateLarge<float>(static_cast<std::size_t>(numVertices));
    std::fill(threshold.get(), threshold.get() + numVertices, k / 1.0f);
    for (std::size_t i = 0; i < numEdges; ++i) {
        prefetchEnds(components, edges, numEdges, i, threshold.get());
        const Edge& edge = edges[i];
        const int a = components.find(edge.a);
        const int b = components.find(edge.b);
        if (a != b && edge.w <= threshold[a] && edge.w <= threshold[b]) {
            components.join(a, b);
            const int root = components.find(a);
            threshold[root] = edge.w + k / static_cast<float>(components.size(root));
        }
    }
    return components;
}

void mergeSmallComponents(DisjointSet& components, const Edge* edges, std::size_t numEdges, int minSize) {
    // A component only grows, so an edge between two components that already
    // hold minSize elements can never join anything: such edges are skipped
    // without a find. Skipping leaves sets, roots, ranks and sizes exactly as
    // visiting every edge would.
    components.flatten();
    const int count = components.count();
    std::vector<std::uint64_t> startsSmall((static_cast<std::size_t>(count) + 63) / 64, 0);
    for (int i = 0; i < count; ++i) {
        if (components.size(components.parent(i)) < minSize) {
            startsSmall[static_cast<std::size_t>(i) >> 6] |= std::uint64_t{1} << (i & 63);
        }
    }
    const auto isSmall = [&](int x) { return (startsSmall[static_cast<std::size_t>(x) >> 6] >> (x & 63)) & 1u; };
    for (std::size_t i = 0; i < numEdges; ++i) {
        if (!isSmall(edges[i].a) && !isSmall(edges[i].b)) {
            continue;
        }
        const int a = components.find(edges[i].a);
        const int b = components.find(edges[i].b);
        if (a != b && (components.size(a) < minSize || components.size(b) < minSize)) {
            components.join(a, b);
        }
    }
}

void numberComponents(DisjointSet& components, int numElements, int* map) {
    // Marks every root with 1, then replaces the marks by 1, 2, ... in
    // increasing index order; 0 stays for non-roots.
    std::vector<int> number(static_cast<std::size_t>(numElements), 0);
    for (int i = 0; i < numElements; ++i) {
        number[components.find(i)] = 1;
    }
    int next = 1;
    for (int i = 0; i < numElements; ++i) {
        if (number[i] == 1) {
            number[i] = next++;
        }
    }
    for (int i = 0; i < numElements; ++i) {
        map[i] = number[components.find(i)] - 1;
    }
}

}  // namespace scribeline
