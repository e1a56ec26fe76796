#include "superpixel/segment_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/reference_segmentation.h"

namespace scribeline {
namespace {

// The map of one thread; two threads must give the same.
std::vector<int> numbered(DisjointSet& set, int count) {
  std::vector<int> map(static_cast<std::size_t>(count), -1);
  numberComponents(set, count, map.data());
  std::vector<int> twoThreads(static_cast<std::size_t>(count), -1);
  numberComponents(set, count, twoThreads.data(), 2);
  EXPECT_EQ(twoThreads, map);
  return map;
}

TEST(NumberComponents, FollowsTheRootThatJoinLeftOnTop) {
  // Equal ranks: the second argument of join becomes the root, and roots
  // are numbered in increasing index order.
  DisjointSet secondIsZero(3);
  secondIsZero.join(2, 0);
  EXPECT_EQ(numbered(secondIsZero, 3), (std::vector<int>{0, 1, 0}));
  DisjointSet secondIsTwo(3);
  secondIsTwo.join(0, 2);
  EXPECT_EQ(numbered(secondIsTwo, 3), (std::vector<int>{1, 0, 1}));
}

TEST(SegmentGraph, MergesWhileTheEdgeIsWithinBothThresholds) {
  // A path 0 - 1 - 2 - 3 - 4, listed out of weight order, k 2. Weight 1
  // joins {0,1} (threshold 1 + 2/2 = 2); 1.5 joins 2 (threshold 1.5 + 2/3);
  // 2.5 exceeds that threshold; 2.6 exceeds the singletons' threshold 2/1.
  std::vector<Edge> edges{
      {2.5f, 2, 3}, {1.0f, 0, 1}, {2.6f, 3, 4}, {1.5f, 1, 2}};
  DisjointSet set = segmentGraph(5, edges.size(), edges.data(), 2.0f);
  EXPECT_EQ(set.numSets(), 3);
  EXPECT_EQ(edges[0].w, 1.0f);
  EXPECT_EQ(edges[3].w, 2.6f);
  EXPECT_EQ(set.find(0), set.find(2));
  EXPECT_NE(set.find(2), set.find(3));
  EXPECT_NE(set.find(3), set.find(4));
}

TEST(MergeSmallComponents, JoinsAtTheFirstEdgeInOrderUntilBigEnough) {
  // Components {0,1,2,3} (size 4), {4} and {5,6}; minimum size 3.
  DisjointSet set(7);
  set.join(0, 1);
  set.join(2, 3);
  set.join(1, 3);
  set.join(5, 6);
  // Edge 4-5 joins {4} into {5,6}; edges 3-4 and 6-0 then link two
  // components of at least 3 pixels and leave them apart. A minimum of 4
  // joins them at edge 3-4.
  const std::vector<Edge> edges{
      {0.1f, 0, 1}, {0.2f, 4, 5}, {0.3f, 3, 4}, {0.4f, 6, 0}};
  mergeSmallComponents(set, edges.data(), edges.size(), 3);
  EXPECT_EQ(set.numSets(), 2);
  EXPECT_EQ(set.find(4), set.find(6));
  EXPECT_NE(set.find(4), set.find(0));
  mergeSmallComponents(set, edges.data(), edges.size(), 4);
  EXPECT_EQ(set.numSets(), 1);
}

// The components of a random forest: random joins leave sets of many sizes.
DisjointSet randomComponents(int count, std::mt19937& random) {
  DisjointSet set(count);
  std::uniform_int_distribution<int> element(0, count - 1);
  for (int i = 0; i < count * 3 / 4; ++i) {
    const int a = set.find(element(random));
    const int b = set.find(element(random));
    if (a != b) {
      set.join(a, b);
    }
  }
  return set;
}

// Roots, sizes, ranks and the set count after the pass.
std::string forestState(DisjointSet& set) {
  std::string state = std::to_string(set.numSets()) + ":";
  for (int i = 0; i < set.count(); ++i) {
    const int root = set.find(i);
    state += std::to_string(root) +
             (root == i ? "/" + std::to_string(set.size(i)) + "/" +
                              std::to_string(set.rank(i))
                        : "") +
             " ";
  }
  return state;
}

struct SmallPassCase {
  int minSize;
  std::size_t chunkEdges;
};

std::ostream& operator<<(std::ostream& out, const SmallPassCase& row) {
  return out << "minimum size " << row.minSize << ", chunks of "
             << row.chunkEdges;
}

class MergeSmallComponentsThreadsTest
    : public testing::TestWithParam<SmallPassCase> {};

// Two threads, with chunks from single edges up to more than the list, give
// the forest of the one-thread pass, and that is the forest of the
// straightforward pass over the same edges unpacked.
TEST_P(MergeSmallComponentsThreadsTest, TwoThreadsGiveTheOneThreadForest) {
  const SmallPassCase& row = GetParam();
  const unsigned seed = 777 + static_cast<unsigned>(row.chunkEdges);
  const int width = 60, height = 50, count = width * height;
  std::mt19937 random(seed);
  // Random edges of the 8-neighbour graph, in random order: the first end
  // away from the border, so that every direction has its second end.
  std::uniform_int_distribution<int> column(0, width - 2);
  std::uniform_int_distribution<int> line(1, height - 2);
  std::uniform_int_distribution<unsigned> direction(0, 3);
  PackedEdgeList list;
  list.width = width;
  list.count = 5000;
  list.edges = allocateLarge<PackedEdge>(list.count);
  for (std::size_t i = 0; i < list.count; ++i) {
    list.edges[i] = packEdge(0.0f, line(random) * width + column(random),
                             static_cast<EdgeDirection>(direction(random)));
  }
  std::vector<Edge> edges;
  const PackedEdgeEnds ends(width);
  for (std::size_t i = 0; i < list.count; ++i) {
    edges.push_back(ends.edge(list.edges[i]));
  }
  std::mt19937 forestRandom(seed);
  DisjointSet oneThread = randomComponents(count, forestRandom);
  forestRandom.seed(seed);
  DisjointSet twoThreads = randomComponents(count, forestRandom);
  forestRandom.seed(seed);
  DisjointSet reference = randomComponents(count, forestRandom);
  mergeSmallComponents(oneThread, list, row.minSize, 1);
  mergeSmallComponents(twoThreads, list, row.minSize, 2, row.chunkEdges);
  mergeSmallComponents(reference, edges.data(), edges.size(), row.minSize);
  EXPECT_LT(oneThread.numSets(), count / 4) << "seed " << seed;
  EXPECT_EQ(forestState(twoThreads), forestState(oneThread)) << "seed " << seed;
  EXPECT_EQ(forestState(oneThread), forestState(reference)) << "seed " << seed;
}

INSTANTIATE_TEST_SUITE_P(Chunks, MergeSmallComponentsThreadsTest,
                         testing::Values(SmallPassCase{5, 1},
                                         SmallPassCase{5, 3},
                                         SmallPassCase{20, 64},
                                         SmallPassCase{20, 999},
                                         SmallPassCase{50, 100000}));

// The merge keeps the edges it left between components; the minimum-size
// pass over those alone ends in the forest of the pass over the whole list,
// for thresholds that join little, some or nearly everything.
TEST(RegionMerger, UnjoinedEdgesAloneGiveTheMinimumSizePassForest) {
  const int width = 40, height = 30, count = width * height;
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> weight(0.0f, 60.0f);
  PackedEdgeList list;
  list.width = width;
  list.edges = allocateLarge<PackedEdge>(4 * count);
  for (int y = 1; y + 1 < height; ++y) {
    for (int x = 0; x + 1 < width; ++x) {
      for (unsigned d = 0; d < 4; ++d)
        list.edges[list.count++] = packEdge(weight(random), y * width + x,
                                            static_cast<EdgeDirection>(d));
    }
  }
  std::sort(list.edges.get(), list.edges.get() + list.count);
  for (const float k : {1.0f, 40.0f, 400.0f}) {
    for (const int minSize : {1, 6, 40}) {
      SCOPED_TRACE(testing::Message()
                   << "k " << k << ", minimum size " << minSize);
      RegionMerger whole(count, k);
      PackedEdgeList unjoined;
      unjoined.width = width;
      unjoined.edges = allocateLarge<PackedEdge>(list.count);
      RegionMerger keeping(count, k, &unjoined);
      for (const std::size_t end : {list.count / 3, list.count}) {
        whole.mergeUpTo(list, end);
        keeping.mergeUpTo(list, end);
      }
      DisjointSet reference = whole.takeComponents();
      DisjointSet components = keeping.takeComponents();
      EXPECT_LT(unjoined.count, list.count);
      for (std::size_t i = 1; i < unjoined.count; ++i)
        ASSERT_LT(unjoined.edges[i - 1], unjoined.edges[i]);
      mergeSmallComponents(reference, list, minSize, 1);
      mergeSmallComponents(components, unjoined, minSize, 2, 64);
      EXPECT_EQ(forestState(components), forestState(reference));
    }
  }
}

}  // namespace
}  // namespace scribeline
