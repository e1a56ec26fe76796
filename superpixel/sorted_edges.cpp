#include "superpixel/sorted_edges.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "superpixel/edge_sort.h"
#include "superpixel/edge_visit.h"
#include "superpixel/large_array.h"

namespace scribeline {

namespace {

// The edges are first placed by the top bits of their sort key, in list
// order within a bucket, which is a stable counting sort on those bits; each
// bucket is then sorted stably on the remaining bits. Twelve bits cut the
// non-negative weights into eighths of a binade.
constexpr int lowBits = 20;
constexpr std::size_t numBuckets = std::size_t{1} << (32 - lowBits);

inline std::size_t bucketOf(float w) { return edgeSortKey(w) >> lowBits; }

}  // namespace

EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b) {
    std::vector<std::size_t> bucketStart(numBuckets + 1, 0);
    forEachEdge(r, g, b, [&bucketStart](int, int, float w) { ++bucketStart[bucketOf(w) + 1]; });
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        bucketStart[bucket + 1] += bucketStart[bucket];
    }
    const std::size_t count = bucketStart[numBuckets];

    EdgeList list;
    list.edges = allocateLarge<Edge>(4 * static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()));
    list.count = count;
    Edge* edges = list.edges.get();
    {
        std::vector<std::size_t> next(bucketStart.begin(), bucketStart.end() - 1);
        forEachEdge(r, g, b, [edges, &next](int first, int second, float w) {
            edges[next[bucketOf(w)]++] = Edge{w, first, second};
        });
        r = FloatImage();
        g = FloatImage();
        b = FloatImage();
    }

    // Buckets larger than an eighth of the list (an unusual weight spread)
    // go through the general sort, so the scratch here stays small.
    const std::size_t scratchLimit = std::max<std::size_t>(count / 8, 1);
    std::size_t largestSmallBucket = 0;
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        const std::size_t size = bucketStart[bucket + 1] - bucketStart[bucket];
        if (size > scratchLimit) {
            sortEdgesByWeight(edges + bucketStart[bucket], size);
        } else {
            largestSmallBucket = std::max(largestSmallBucket, size);
        }
    }
    const LargeArray<Edge> scratch = allocateLarge<Edge>(largestSmallBucket);
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        const std::size_t size = bucketStart[bucket + 1] - bucketStart[bucket];
        if (size > 1 && size <= scratchLimit) {
            sortRunByLowBits(edges + bucketStart[bucket], size, lowBits, scratch.get());
        }
    }
    return list;
}

}  // namespace scribeline
