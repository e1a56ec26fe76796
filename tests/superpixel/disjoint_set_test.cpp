#include "superpixel/disjoint_set.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace scribeline {

namespace {

using RankStorage = DisjointSet::RankStorage;

// Ranks packed beside the root's size and ranks in an array of their own
// (what forests of 2^26 elements and more use) must behave alike.
class DisjointSetTest : public testing::TestWithParam<RankStorage> {};

TEST_P(DisjointSetTest, EqualRanksMakeTheSecondArgumentTheRoot) {
  DisjointSet set(4, 2.5f, GetParam());
  EXPECT_EQ(set.numSets(), 4);
  EXPECT_EQ(set.count(), 4);
  set.setRootValue(1, 7.0f);
  EXPECT_EQ(set.join(0, 1), 1);
  EXPECT_EQ(set.find(0), 1);
  EXPECT_EQ(set.rank(1), 1);
  EXPECT_EQ(set.size(1), 2);
  EXPECT_EQ(set.rootValue(1), 7.0f);
  EXPECT_EQ(set.rootValue(2), 2.5f);
  // Rank 1 against rank 0: the higher rank stays the root, whatever the order.
  EXPECT_EQ(set.join(1, 2), 1);
  EXPECT_EQ(set.find(2), 1);
  EXPECT_EQ(set.rank(1), 1);
  EXPECT_EQ(set.join(3, 1), 1);
  EXPECT_EQ(set.find(3), 1);
  EXPECT_EQ(set.size(1), 4);
  EXPECT_EQ(set.numSets(), 1);
}

TEST_P(DisjointSetTest, FindRepointsOnlyTheQueriedElement) {
  // Builds the chain 0 -> 1 -> 3 -> 7 by joining equal-rank pairs.
  DisjointSet set(8, 0.0f, GetParam());
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
  // root walks the same chain and re-points nothing.
  EXPECT_EQ(set.root(0), 7);
  EXPECT_EQ(set.root(7), 7);
  EXPECT_EQ(set.parent(0), 1);
  EXPECT_EQ(set.find(0), 7);
  EXPECT_EQ(set.parent(0), 7);
  EXPECT_EQ(set.parent(1), 3);
  EXPECT_EQ(set.size(7), 8);
  EXPECT_EQ(set.numSets(), 1);
}

// Pairing roots of equal rank level by level up to rank 12 and size 4096:
// the packed word must keep rank and size apart.
TEST_P(DisjointSetTest, PairwiseJoinsGrowRankAndSize) {
  const int count = 4096;
  DisjointSet set(count, 0.0f, GetParam());
  std::vector<int> roots(count);
  std::iota(roots.begin(), roots.end(), 0);
  for (int level = 1; roots.size() > 1; ++level) {
    std::vector<int> next;
    for (std::size_t i = 0; i < roots.size(); i += 2) {
      set.join(roots[i], roots[i + 1]);
      next.push_back(roots[i + 1]);
      ASSERT_EQ(set.rank(roots[i + 1]), level);
      ASSERT_EQ(set.size(roots[i + 1]), 1 << level);
    }
    roots = next;
  }
  EXPECT_EQ(set.numSets(), 1);
  EXPECT_EQ(set.find(0), count - 1);
}

INSTANTIATE_TEST_SUITE_P(Storages, DisjointSetTest,
                         testing::Values(RankStorage::automatic,
                                         RankStorage::separate),
                         [](const testing::TestParamInfo<RankStorage>& info) {
                           return info.param == RankStorage::automatic
                                      ? "packed"
                                      : "separate";
                         });

}  // namespace
}  // namespace scribeline
