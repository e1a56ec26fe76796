#include "superpixel/sorted_edges.h"

#include <algorithm>
#include <utility>

#include "superpixel/edge_visit.h"
#include "superpixel/large_array.h"
#include "superpixel/parallel.h"

namespace scribeline {

namespace {

// The edges are first placed by the top bits of their word, in list order
// within a bucket, which is a stable counting sort on those bits; each
// bucket is then sorted stably on the remaining weight bits. Twelve bits cut
// the weights into sixteenths of a binade.
constexpr int bucketBits = 12;
constexpr std::size_t numBuckets = std::size_t{1} << bucketBits;
constexpr int bucketShift = 64 - bucketBits;
// Weight bits below the bucket's.
constexpr int lowWeightBits = bucketShift - packedWeightShift;

inline std::size_t bucketOf(PackedEdge edge) {
  return static_cast<std::size_t>(edge >> bucketShift);
}

}  // namespace

std::size_t bucketCount() { return numBuckets; }

namespace {

using Histogram = std::vector<std::size_t>;

struct ColourPlaneRefs {
  const FloatImage& r;
  const FloatImage& g;
  const FloatImage& b;
};

Histogram bucketSizes(const ColourPlaneRefs& planes, int firstRow, int endRow) {
  Histogram sizes(numBuckets, 0);
  forEachEdgeInRows(planes.r, planes.g, planes.b, firstRow, endRow,
                    [&sizes](int, int, float w, EdgeDirection) {
                      ++sizes[bucketOf(packEdge(w, 0, EdgeDirection::right))];
                    });
  return sizes;
}

// Places the edges of rows firstRow .. endRow-1 whose bucket lies in
// firstBucket .. endBucket-1; next[bucket] is where the part's next edge of
// that bucket goes.
void placeRows(const ColourPlaneRefs& planes, int firstRow, int endRow,
               std::size_t firstBucket, std::size_t endBucket,
               const Histogram& next, PackedEdge* edges) {
  // Edges of other buckets are written to a sink that does not advance,
  // so that the loop has no branch on the bucket.
  PackedEdge sink = 0;
  std::vector<PackedEdge*> cursor(numBuckets, &sink);
  std::vector<std::size_t> advance(numBuckets, 0);
  for (std::size_t bucket = firstBucket; bucket < endBucket; ++bucket) {
    cursor[bucket] = edges + next[bucket];
    advance[bucket] = 1;
  }
  forEachEdgeInRows(
      planes.r, planes.g, planes.b, firstRow, endRow,
      [&cursor, &advance](int first, int, float w, EdgeDirection direction) {
        const PackedEdge edge = packEdge(w, first, direction);
        const std::size_t bucket = bucketOf(edge);
        *cursor[bucket] = edge;
        cursor[bucket] += advance[bucket];
      });
}

constexpr int maxDigitBits = 10;
constexpr std::size_t maxDigits = std::size_t{1} << maxDigitBits;
constexpr int weightPasses = (lowWeightBits + maxDigitBits - 1) / maxDigitBits;

// Stable least-significant-digit radix sort of a run on the weight bits
// below the bucket's; leaves the result in run.
// REQUIRES: scratch has room for count edges.
void radixSortLowWeights(PackedEdge* run, std::size_t count,
                         PackedEdge* scratch) {
  constexpr int digitBits = (lowWeightBits + weightPasses - 1) / weightPasses;
  constexpr PackedEdge digitMask = (PackedEdge{1} << digitBits) - 1;
  std::size_t histogram[weightPasses][maxDigits] = {};
  for (std::size_t i = 0; i < count; ++i) {
    for (int d = 0; d < weightPasses; ++d) {
      ++histogram[d]
                 [(run[i] >> (packedWeightShift + d * digitBits)) & digitMask];
    }
  }
  PackedEdge* from = run;
  PackedEdge* to = scratch;
  for (int d = 0; d < weightPasses; ++d) {
    const int shift = packedWeightShift + d * digitBits;
    std::size_t* offsets = histogram[d];
    if (offsets[(from[0] >> shift) & digitMask] == count) {
      continue;  // every edge shares this digit
    }
    std::size_t next = 0;
    for (std::size_t digit = 0; digit <= digitMask; ++digit) {
      const std::size_t digitCount = offsets[digit];
      offsets[digit] = next;
      next += digitCount;
    }
    for (std::size_t i = 0; i < count; ++i) {
      to[offsets[(from[i] >> shift) & digitMask]++] = from[i];
    }
    std::swap(from, to);
  }
  if (from != run) {
    std::copy(from, from + count, run);
  }
}

// For runs too short to pay for a histogram.
void insertionSort(PackedEdge* run, std::size_t count) {
  for (std::size_t i = 1; i < count; ++i) {
    const PackedEdge moving = run[i];
    std::size_t j = i;
    for (; j > 0 && run[j - 1] > moving; --j) {
      run[j] = run[j - 1];
    }
    run[j] = moving;
  }
}

constexpr std::size_t insertionSortLimit = 48;

}  // namespace

BucketPlacer::BucketPlacer(FloatImage r, FloatImage g, FloatImage b,
                           int numThreads)
    : r_(std::move(r)), g_(std::move(g)), b_(std::move(b)) {
  const int height = r_.height();
  const int numParts = std::max(1, std::min(numThreads, height));
  // Part p visits the rows rowStart[p] .. rowStart[p+1]-1; the parts
  // together visit the list in order, so giving part p the places right
  // after those of parts 0 .. p-1 in every bucket keeps list order within
  // each bucket, whatever the timing.
  rowStart_.resize(static_cast<std::size_t>(numParts) + 1);
  for (int part = 0; part <= numParts; ++part) {
    rowStart_[part] =
        static_cast<int>(static_cast<long long>(height) * part / numParts);
  }
  const ColourPlaneRefs planes{r_, g_, b_};
  std::vector<Histogram> partSizes(static_cast<std::size_t>(numParts));
  runParts(numParts, [&](int part) {
    partSizes[part] = bucketSizes(planes, rowStart_[part], rowStart_[part + 1]);
  });

  edges_.bucketStart.assign(numBuckets + 1, 0);
  partNext_.assign(static_cast<std::size_t>(numParts), Histogram(numBuckets));
  std::size_t next = 0;
  for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
    edges_.bucketStart[bucket] = next;
    for (int part = 0; part < numParts; ++part) {
      partNext_[part][bucket] = next;
      next += partSizes[part][bucket];
    }
  }
  edges_.bucketStart[numBuckets] = next;
  edges_.list.edges =
      allocateLarge<PackedEdge>(4 * static_cast<std::size_t>(r_.width()) *
                                static_cast<std::size_t>(height));
  edges_.list.count = next;
  edges_.list.width = r_.width();
}

std::size_t BucketPlacer::bucketHolding(double share) const {
  const double wanted = share * static_cast<double>(edges_.list.count);
  std::size_t bucket = 0;
  while (bucket < numBuckets &&
         static_cast<double>(edges_.bucketStart[bucket]) < wanted) {
    ++bucket;
  }
  return bucket;
}

void BucketPlacer::place(std::size_t firstBucket, std::size_t endBucket,
                         int numThreads) {
  const ColourPlaneRefs planes{r_, g_, b_};
  PackedEdge* edges = edges_.list.edges.get();
  const int numParts = static_cast<int>(partNext_.size());
  if (numThreads < 2 || numParts < 2) {
    // One visit of all rows in order: each bucket filled from its start.
    placeRows(planes, 0, r_.height(), firstBucket, endBucket,
              edges_.bucketStart, edges);
    return;
  }
  runParts(numParts, [&](int part) {
    placeRows(planes, rowStart_[part], rowStart_[part + 1], firstBucket,
              endBucket, partNext_[part], edges);
  });
}

void BucketPlacer::releasePlanes() {
  r_ = FloatImage();
  g_ = FloatImage();
  b_ = FloatImage();
}

BucketedEdges placeEdgesInBuckets(FloatImage r, FloatImage g, FloatImage b,
                                  int numThreads) {
  BucketPlacer placer(std::move(r), std::move(g), std::move(b), numThreads);
  placer.place(0, bucketCount(), numThreads);
  placer.releasePlanes();
  return std::move(placer.edges());
}

void sortBuckets(BucketedEdges& bucketed, std::size_t firstBucket,
                 std::size_t endBucket,
                 const std::function<void(std::size_t end)>& sortedUpTo) {
  PackedEdge* edges = bucketed.list.edges.get();
  const std::vector<std::size_t>& bucketStart = bucketed.bucketStart;
  const auto sizeOf = [&bucketStart](std::size_t bucket) {
    return bucketStart[bucket + 1] - bucketStart[bucket];
  };
  // Buckets larger than an eighth of the list (an unusual weight spread)
  // are sorted in place without scratch: no two words are equal, so any
  // sort gives the one increasing order.
  const std::size_t scratchLimit =
      std::max<std::size_t>(bucketed.list.count / 8, 1);
  std::size_t largestSmallBucket = 0;
  for (std::size_t bucket = firstBucket; bucket < endBucket; ++bucket) {
    const std::size_t size = sizeOf(bucket);
    if (size <= scratchLimit) {
      largestSmallBucket = std::max(largestSmallBucket, size);
    }
  }
  const LargeArray<PackedEdge> scratch =
      allocateLarge<PackedEdge>(largestSmallBucket);
  // Reports come at least every reportStep edges, and not for every tiny
  // bucket.
  const std::size_t reportStep = std::size_t{1} << 16;
  std::size_t reported = bucketStart[firstBucket];
  for (std::size_t bucket = firstBucket; bucket < endBucket; ++bucket) {
    const std::size_t size = sizeOf(bucket);
    PackedEdge* run = edges + bucketStart[bucket];
    if (size <= insertionSortLimit) {
      insertionSort(run, size);
    } else if (size <= scratchLimit) {
      radixSortLowWeights(run, size, scratch.get());
    } else {
      std::sort(run, run + size);
    }
    if (bucketStart[bucket + 1] - reported >= reportStep) {
      reported = bucketStart[bucket + 1];
      sortedUpTo(reported);
    }
  }
  sortedUpTo(bucketStart[endBucket]);
}

void sortBuckets(BucketedEdges& bucketed,
                 const std::function<void(std::size_t end)>& sortedUpTo) {
  sortBuckets(bucketed, 0, numBuckets, sortedUpTo);
}

EdgeList buildSortedEdges(FloatImage r, FloatImage g, FloatImage b) {
  const std::size_t capacity = 4 * static_cast<std::size_t>(r.width()) *
                               static_cast<std::size_t>(r.height());
  BucketedEdges bucketed =
      placeEdgesInBuckets(std::move(r), std::move(g), std::move(b), 1);
  sortBuckets(bucketed, [](std::size_t) {});
  const PackedEdgeEnds ends(bucketed.list.width);
  EdgeList list;
  list.count = bucketed.list.count;
  list.edges = allocateLarge<Edge>(capacity);
  for (std::size_t i = 0; i < list.count; ++i) {
    list.edges[i] = ends.edge(bucketed.list.edges[i]);
  }
  return list;
}

}  // namespace scribeline
