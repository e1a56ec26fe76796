#include "superpixel/sorted_edges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "superpixel/edge_sort.h"
#include "tests/support/reference_segmentation.h"

namespace scribeline {
namespace {

using PixelValue = std::function<float(int plane, int x, int y)>;

FloatImage planeOf(int width, int height, int plane, const PixelValue& value) {
  FloatImage result(width, height, FloatImage::Fill::zeros);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      result.at(y, x) = value(plane, x, y);
    }
  }
  return result;
}

void expectSameList(const EdgeList& actual, const EdgeList& expected,
                    const std::string& what) {
  ASSERT_EQ(actual.count, expected.count) << what;
  for (std::size_t i = 0; i < actual.count; ++i) {
    ASSERT_EQ(actual.edges[i].w, expected.edges[i].w) << what << " at " << i;
    ASSERT_EQ(actual.edges[i].a, expected.edges[i].a) << what << " at " << i;
    ASSERT_EQ(actual.edges[i].b, expected.edges[i].b) << what << " at " << i;
  }
}

EdgeList unpacked(const PackedEdgeList& packed) {
  const PackedEdgeEnds ends(packed.width);
  EdgeList list;
  list.count = packed.count;
  list.edges = allocateLarge<Edge>(packed.count);
  for (std::size_t i = 0; i < packed.count; ++i) {
    list.edges[i] = ends.edge(packed.edges[i]);
  }
  return list;
}

// buildSortedEdges, the buckets placed by two threads and then sorted, and
// the buckets placed and sorted in two rounds must give exactly the list
// buildEdges gives after a stable sort by weight.
// The sorted prefixes must be reported growing, ending at the full list.
void checkSameAsSortedList(int width, int height, const PixelValue& value,
                           const std::string& what) {
  FloatImage r = planeOf(width, height, 0, value);
  FloatImage g = planeOf(width, height, 1, value);
  FloatImage b = planeOf(width, height, 2, value);
  EdgeList expected = buildEdges(r, g, b);
  sortEdgesByWeight(expected.edges.get(), expected.count);
  FloatImage r2 =
      planeOf(width, height, 0, [&r](int, int x, int y) { return r.at(y, x); });
  FloatImage g2 =
      planeOf(width, height, 1, [&g](int, int x, int y) { return g.at(y, x); });
  FloatImage b2 =
      planeOf(width, height, 2, [&b](int, int x, int y) { return b.at(y, x); });
  const FloatImage r3 =
      planeOf(width, height, 0, [&r](int, int x, int y) { return r.at(y, x); });
  const FloatImage g3 =
      planeOf(width, height, 1, [&g](int, int x, int y) { return g.at(y, x); });
  const FloatImage b3 =
      planeOf(width, height, 2, [&b](int, int x, int y) { return b.at(y, x); });
  expectSameList(buildSortedEdges(std::move(r), std::move(g), std::move(b)),
                 expected, what + ", one thread");

  BucketedEdges bucketed =
      placeEdgesInBuckets(std::move(r2), std::move(g2), std::move(b2), 2);
  std::vector<std::size_t> reports;
  sortBuckets(bucketed,
              [&reports](std::size_t end) { reports.push_back(end); });
  expectSameList(unpacked(bucketed.list), expected, what + ", two threads");
  ASSERT_FALSE(reports.empty()) << what;
  EXPECT_EQ(reports.back(), expected.count) << what;
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end())) << what;

  // Two rounds, the first on two threads, each sorted after it is placed,
  // cut before the first bucket, inside the list and after the last one.
  for (const double share : {0.0, 0.3, 0.7, 1.0}) {
    const std::string round = what + ", rounds cut at " + std::to_string(share);
    BucketPlacer placer(
        planeOf(width, height, 0,
                [&r3](int, int x, int y) { return r3.at(y, x); }),
        planeOf(width, height, 1,
                [&g3](int, int x, int y) { return g3.at(y, x); }),
        planeOf(width, height, 2,
                [&b3](int, int x, int y) { return b3.at(y, x); }),
        2);
    const std::size_t cut = placer.bucketHolding(share);
    placer.place(0, cut, 2);
    std::vector<std::size_t> roundReports;
    const auto report = [&roundReports](std::size_t end) {
      roundReports.push_back(end);
    };
    sortBuckets(placer.edges(), 0, cut, report);
    placer.place(cut, bucketCount(), 1);
    placer.releasePlanes();
    sortBuckets(placer.edges(), cut, bucketCount(), report);
    expectSameList(unpacked(placer.edges().list), expected, round);
    EXPECT_EQ(roundReports.back(), expected.count) << round;
    EXPECT_TRUE(std::is_sorted(roundReports.begin(), roundReports.end()))
        << round;
  }
}

TEST(BuildSortedEdges, EqualsTheSortedEdgeList) {
  const unsigned seed = 31337;
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> byte(0.0f, 255.0f);
  const auto noise = [&](int, int, int) { return byte(random); };
  checkSameAsSortedList(61, 47, noise, "noise, seed " + std::to_string(seed));
  // Few distinct colours: long runs of equal weights inside a bucket.
  std::uniform_int_distribution<int> level(0, 2);
  checkSameAsSortedList(
      80, 60, [&](int, int, int) { return 100.0f * level(random); },
      "three levels, seed " + std::to_string(seed));
  // All weights distinct but within one bucket: the bucket exceeds the
  // small-bucket scratch and takes the general sort.
  checkSameAsSortedList(
      70, 50,
      [](int plane, int x, int y) {
        return (x + 1.01f * y) * (1.0f + 0.0001f * plane);
      },
      "ramp");
  checkSameAsSortedList(
      33, 17, [](int, int, int) { return 5.0f; }, "flat");
  checkSameAsSortedList(1, 9, noise,
                        "one column, seed " + std::to_string(seed));
  checkSameAsSortedList(1, 1, noise, "one pixel");
}

}  // namespace
}  // namespace scribeline
