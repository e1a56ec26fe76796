#include "superpixel/disjoint_set.h"

#include <gtest/gtest.h>

namespace scribeline {

namespace {

TEST(DisjointSet, EqualRanksMakeTheSecondArgumentTheRoot) {
    DisjointSet set(4, 2.5f);
    EXPECT_EQ(set.numSets(), 4);
    EXPECT_EQ(set.count(), 4);
    set.setRootValue(1, 7.0f);
    set.join(0, 1);
    EXPECT_EQ(set.find(0), 1);
    EXPECT_EQ(set.rank(1), 1);
    EXPECT_EQ(set.size(1), 2);
    EXPECT_EQ(set.rootValue(1), 7.0f);
    EXPECT_EQ(set.rootValue(2), 2.5f);
    // Rank 1 against rank 0: the higher rank stays the root, whatever the order.
    set.join(1, 2);
    EXPECT_EQ(set.find(2), 1);
    EXPECT_EQ(set.rank(1), 1);
    set.join(3, 1);
    EXPECT_EQ(set.find(3), 1);
    EXPECT_EQ(set.size(1), 4);
    EXPECT_EQ(set.numSets(), 1);
}

TEST(DisjointSet, FindRepointsOnlyTheQueriedElement) {
    // Builds the chain 0 -> 1 -> 3 -> 7 by joining equal-rank pairs.
    DisjointSet set(8);
    set.join(0, 1);
    set.join(2, 3);
    set.join(4, 5);
    set.join(6, 7);
    set.join(1, 3);
    set.join(5, 7);
    set.join(3, 7);
    ASSERT_EQ(set.parent(0), 1);
    ASSERT_EQ(set.parent(1), 3);
    ASSERT_EQ(set.parent(3), 7);
    EXPECT_EQ(set.rank(7), 3);
    EXPECT_EQ(set.find(0), 7);
    EXPECT_EQ(set.parent(0), 7);
    EXPECT_EQ(set.parent(1), 3);
    EXPECT_EQ(set.size(7), 8);
    EXPECT_EQ(set.numSets(), 1);
}

}  // namespace
}  // namespace scribeline
