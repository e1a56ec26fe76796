#include "superpixel/edge_sort.h"

#include <algorithm>

#include "superpixel/large_array.h"

namespace scribeline {

namespace {

constexpr int maxDigitBits = 11;
constexpr std::size_t maxBuckets = std::size_t{1} << maxDigitBits;
constexpr int maxPasses = 4;

// Least-significant-digit radix sort of one run on the key bits below
// 1 << lowBits, in passes of digitBits bits; stable; leaves the result in run.
// REQUIRES: scratch has room for count edges; digitBits <= maxDigitBits,
// lowBits <= maxPasses * digitBits.
void radixSortRun(Edge* run, std::size_t count, int lowBits, int digitBits,
                  Edge* scratch) {
  const int passes = (lowBits + digitBits - 1) / digitBits;
  const std::uint32_t digitMask = (std::uint32_t{1} << digitBits) - 1;
  const std::size_t numBuckets = std::size_t{1} << digitBits;
  std::size_t histogram[maxPasses][maxBuckets] = {};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t key = edgeSortKey(run[i].w);
    for (int d = 0; d < passes; ++d) {
      ++histogram[d][(key >> (d * digitBits)) & digitMask];
    }
  }
  Edge* from = run;
  Edge* to = scratch;
  for (int d = 0; d < passes; ++d) {
    const int shift = d * digitBits;
    std::size_t* offsets = histogram[d];
    if (offsets[(edgeSortKey(from[0].w) >> shift) & digitMask] == count) {
      continue;  // every key shares this digit
    }
    std::size_t next = 0;
    for (std::size_t bucket = 0; bucket < numBuckets; ++bucket) {
      const std::size_t bucketCount = offsets[bucket];
      offsets[bucket] = next;
      next += bucketCount;
    }
    for (std::size_t i = 0; i < count; ++i) {
      to[offsets[(edgeSortKey(from[i].w) >> shift) & digitMask]++] = from[i];
    }
    std::swap(from, to);
  }
  if (from != run) {
    std::copy(from, from + count, run);
  }
}

// Merges the sorted runs [edges, edges + leftCount) and [edges + leftCount,
// edges + leftCount + rightCount), stably, by moving the right run into
// scratch and filling the range from its end.
// REQUIRES: scratch has room for rightCount edges.
void mergeWithRightRun(Edge* edges, std::size_t leftCount,
                       std::size_t rightCount, Edge* scratch) {
  Edge* rightRun = edges + leftCount;
  if (leftCount == 0 || rightCount == 0 ||
      edgeSortKey(rightRun[-1].w) <= edgeSortKey(rightRun[0].w)) {
    return;
  }
  std::copy(rightRun, rightRun + rightCount, scratch);
  std::size_t left = leftCount;
  std::size_t right = rightCount;
  std::size_t out = leftCount + rightCount;
  // Invariant: out == left + right; the right run is exhausted first or the
  // remaining left elements are already in place.
  while (right > 0 && left > 0) {
    const bool takeLeft =
        edgeSortKey(edges[left - 1].w) > edgeSortKey(scratch[right - 1].w);
    edges[--out] = takeLeft ? edges[--left] : scratch[--right];
  }
  std::copy(scratch, scratch + right, edges);
}

// Runs are sorted one by one in a scratch block of a quarter of the array
// (at least minRunLength edges), so that the sort needs a quarter of the
// array's memory besides it rather than a full copy.
constexpr std::size_t minRunLength = std::size_t{1} << 20;

}  // namespace

void sortEdgesByWeight(Edge* edges, std::size_t count) {
  if (count < 2) {
    return;
  }
  const std::size_t runLength =
      std::min(count, std::max((count + 3) / 4, minRunLength));
  const LargeArray<Edge> scratch = allocateLarge<Edge>(runLength);
  for (std::size_t start = 0; start < count; start += runLength) {
    const std::size_t length = std::min(runLength, count - start);
    radixSortRun(edges + start, length, 32, 8, scratch.get());
    mergeWithRightRun(edges, start, length, scratch.get());
  }
}

}  // namespace scribeline
