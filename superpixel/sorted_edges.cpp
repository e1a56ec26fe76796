#include "superpixel/sorted_edges.h"

#include <algorithm>
#include <utility>

#include "superpixel/edge_sort.h"
#include "superpixel/edge_visit.h"
#include "superpixel/large_array.h"
#include "superpixel/parallel.h"

namespace scribeline {

namespace {

// The edges are first placed by the top bits of their sort key, in list
// order within a bucket, which is a stable counting sort on those bits; each
// bucket is then sorted stably on the remaining bits. Twelve bits cut the
// non-negative weights into eighths of a binade.
constexpr int lowBits = 20;
constexpr std::size_t numBuckets = std::size_t{1} << (32 - lowBits);

inline std::size_t bucketOf(float w) { return edgeSortKey(w) >> lowBits; }

using Histogram = std::vector<std::size_t>;

struct ColourPlaneRefs {
    const FloatImage& r;
    const FloatImage& g;
    const FloatImage& b;
};

Histogram bucketSizes(const ColourPlaneRefs& planes, int firstRow, int endRow) {
    Histogram sizes(numBuckets, 0);
    forEachEdgeInRows(planes.r, planes.g, planes.b, firstRow, endRow,
                      [&sizes](int, int, float w) { ++sizes[bucketOf(w)]; });
    return sizes;
}

// next[bucket] is where the part's next edge of that bucket goes.
void placeRows(const ColourPlaneRefs& planes, int firstRow, int endRow, Histogram next, Edge* edges) {
    forEachEdgeInRows(planes.r, planes.g, planes.b, firstRow, endRow, [edges, &next](int first, int second, float w) {
        edges[next[bucketOf(w)]++] = Edge{w, first, second};
    });
}

}  // namespace

BucketedEdges placeEdgesInBuckets(FloatImage r, FloatImage g, FloatImage b, int numThreads) {
    const int height = r.height();
    const int numParts = std::max(1, std::min(numThreads, height));
    // Part p visits the rows rowStart[p] .. rowStart[p+1]-1; the parts
    // together visit the list in order, so giving part p the places right
    // after those of parts 0 .. p-1 in every bucket keeps list order within
    // each bucket, whatever the timing.
    std::vector<int> rowStart(static_cast<std::size_t>(numParts) + 1);
    for (int part = 0; part <= numParts; ++part) {
        rowStart[part] = static_cast<int>(static_cast<long long>(height) * part / numParts);
    }
    const ColourPlaneRefs planes{r, g, b};
    std::vector<Histogram> partSizes(static_cast<std::size_t>(numParts));
    runParts(numParts, [&](int part) { partSizes[part] = bucketSizes(planes, rowStart[part], rowStart[part + 1]); });

    BucketedEdges result;
    result.bucketStart.assign(numBuckets + 1, 0);
    std::vector<Histogram> partNext(static_cast<std::size_t>(numParts), Histogram(numBuckets));
    std::size_t next = 0;
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        result.bucketStart[bucket] = next;
        for (int part = 0; part < numParts; ++part) {
            partNext[part][bucket] = next;
            next += partSizes[part][bucket];
        }
    }
    result.bucketStart[numBuckets] = next;
    partSizes.clear();

    result.list.edges =
        allocateLarge<Edge>(4 * static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(height));
    result.list.count = next;
    Edge* edges = result.list.edges.get();
    runParts(numParts, [&](int part) {
        placeRows(planes, rowStart[part], rowStart[part + 1], std::move(partNext[part]), edges);
    });
    r = FloatImage();
    g = FloatImage();
    b = FloatImage();
    return result;
}

void sortBuckets(BucketedEdges& bucketed, const std::function<void(std::size_t end)>& sortedUpTo) {
    Edge* edges = bucketed.list.edges.get();
    const std::vector<std::size_t>& bucketStart = bucketed.bucketStart;
    const auto sizeOf = [&bucketStart](std::size_t bucket) { return bucketStart[bucket + 1] - bucketStart[bucket]; };
    // Buckets larger than an eighth of the list (an unusual weight spread)
    // go through the general sort first, with scratch of their own that is
    // freed before the small buckets' scratch is taken.
    const std::size_t scratchLimit = std::max<std::size_t>(bucketed.list.count / 8, 1);
    std::size_t largestSmallBucket = 0;
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        const std::size_t size = sizeOf(bucket);
        if (size > scratchLimit) {
            sortEdgesByWeight(edges + bucketStart[bucket], size);
        } else {
            largestSmallBucket = std::max(largestSmallBucket, size);
        }
    }
    const LargeArray<Edge> scratch = allocateLarge<Edge>(largestSmallBucket);
    // Reports come at least every reportStep edges, and not for every tiny
    // bucket.
    const std::size_t reportStep = std::size_t{1} << 16;
    std::size_t reported = 0;
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
        const std::size_t size = sizeOf(bucket);
        if (size > 1 && size <= scratchLimit) {
            sortRunByLowBits(edges + bucketStart[bucket], size, lowBits, scratch.get());
        }
        if (bucketStart[bucket + 1] - reported >= reportStep) {
            reported = bucketStart[bucket + 1];
            sortedUpTo(reported);
        }
    }
    sortedUpTo(bucketed.list.count);
}

EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b) {
    BucketedEdges bucketed = placeEdgesInBuckets(std::move(r), std::move(g), std::move(b), 1);
    sortBuckets(bucketed, [](std::size_t) {});
    return std::move(bucketed.list);
}

}  // namespace scribeline
