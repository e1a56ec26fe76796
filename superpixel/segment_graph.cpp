#include "superpixel/segment_graph.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "superpixel/edge_sort.h"
#include "superpixel/large_array.h"

namespace scribeline {

namespace {

// Edges are visited in weight order, so their ends are scattered over the
// forest: the elements of the ends are fetched endLookahead edges ahead, and
// the elements of their parents (usually the roots, with size and threshold)
// parentLookahead edges ahead. IMPORTANT: the prefetches sit in the loop
// body itself; GCC drops a helper function whose only effect is prefetching
// as if it did nothing.
constexpr std::size_t endLookahead = 32;
constexpr std::size_t parentLookahead = 16;

// Edges gathered at a time by the minimum-size pass.
constexpr std::size_t candidateBatch = 4096;

}  // namespace

DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges, float k) {
    sortEdgesByWeight(edges, numEdges);
    return segmentSortedGraph(numVertices, numEdges, edges, k);
}

DisjointSet segmentSortedGraph(int numVertices, std::size_t numEdges, const Edge* edges, float k) {
    RegionMerger merger(numVertices, k);
    merger.mergeUpTo(edges, numEdges);
    return merger.takeComponents();
}

// Each root's threshold is kept as its rootValue, starting at k / 1.
RegionMerger::RegionMerger(int numVertices, float k) : components_(numVertices, k / 1.0f), k_(k) {}

void RegionMerger::mergeUpTo(const Edge* edges, std::size_t end) {
    DisjointSet& components = components_;
    const float k = k_;
    for (std::size_t i = next_; i < end; ++i) {
        if (i + endLookahead < end) {
            components.prefetch(edges[i + endLookahead].a);
            components.prefetch(edges[i + endLookahead].b);
        }
        if (i + parentLookahead < end) {
            components.prefetch(components.parent(edges[i + parentLookahead].a));
            components.prefetch(components.parent(edges[i + parentLookahead].b));
        }
        const Edge& edge = edges[i];
        const int a = components.find(edge.a);
        const int b = components.find(edge.b);
        if (a != b && edge.w <= components.rootValue(a) && edge.w <= components.rootValue(b)) {
            components.join(a, b);
            const int root = components.find(a);
            components.setRootValue(root, edge.w + k / static_cast<float>(components.size(root)));
        }
    }
    next_ = std::max(next_, end);
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
    // The edges that may join are gathered a batch at a time, in order, so
    // that their forest elements can be fetched ahead like in the merge.
    std::vector<const Edge*> batch;
    batch.reserve(candidateBatch);
    for (std::size_t start = 0; start < numEdges;) {
        batch.clear();
        for (; start < numEdges && batch.size() < candidateBatch; ++start) {
            if (isSmall(edges[start].a) || isSmall(edges[start].b)) {
                batch.push_back(edges + start);
            }
        }
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (i + endLookahead < batch.size()) {
                components.prefetch(batch[i + endLookahead]->a);
                components.prefetch(batch[i + endLookahead]->b);
            }
            const int a = components.find(batch[i]->a);
            const int b = components.find(batch[i]->b);
            if (a != b && (components.size(a) < minSize || components.size(b) < minSize)) {
                components.join(a, b);
            }
        }
    }
}

void numberComponents(DisjointSet& components, int numElements, int* map) {
    // After flattening every parent is a root. Roots get their numbers in
    // increasing index order first; then every other element copies its
    // root's number, which is final by then. The map itself holds the
    // numbers, so no further array is needed.
    components.flatten();
    int next = 0;
    for (int i = 0; i < numElements; ++i) {
        if (components.parent(i) == i) {
            map[i] = next++;
        }
    }
    for (int i = 0; i < numElements; ++i) {
        const int root = components.parent(i);
        if (root != i) {
            map[i] = map[root];
        }
    }
}

}  // namespace scribeline
