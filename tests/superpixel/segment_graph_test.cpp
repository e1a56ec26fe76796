#include "superpixel/segment_graph.h"

#include <gtest/gtest.h>

#include <vector>

namespace scribeline {
namespace {

std::vector<int> numbered(DisjointSet& set, int count) {
    std::vector<int> map(static_cast<std::size_t>(count), -1);
    numberComponents(set, count, map.data());
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
    std::vector<Edge> edges{{2.5f, 2, 3}, {1.0f, 0, 1}, {2.6f, 3, 4}, {1.5f, 1, 2}};
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
    const std::vector<Edge> edges{{0.1f, 0, 1}, {0.2f, 4, 5}, {0.3f, 3, 4}, {0.4f, 6, 0}};
    mergeSmallComponents(set, edges.data(), edges.size(), 3);
    EXPECT_EQ(set.numSets(), 2);
    EXPECT_EQ(set.find(4), set.find(6));
    EXPECT_NE(set.find(4), set.find(0));
    mergeSmallComponents(set, edges.data(), edges.size(), 4);
    EXPECT_EQ(set.numSets(), 1);
}

}  // namespace
}  // namespace scribeline
