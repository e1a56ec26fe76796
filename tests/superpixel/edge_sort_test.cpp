#include "superpixel/edge_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace scribeline {
namespace {

// Random weights drawn from a few values (many ties), stamped with their list
// position; the result must equal a stable sort by weight.
void checkAgainstStableSort(std::size_t count, int distinctWeights,
                            unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(0, distinctWeights - 1);
  std::vector<Edge> edges(count);
  for (std::size_t i = 0; i < count; ++i) {
    const int value = pick(random);
    // Spread over several binades, with exact zeros among them.
    edges[i] = Edge{
        value == 0 ? 0.0f : std::ldexp(1.0f + value * 0.001f, value % 20 - 10),
        static_cast<int>(i), static_cast<int>(i) + 1};
  }
  std::vector<Edge> expected = edges;
  std::stable_sort(expected.begin(), expected.end(),
                   [](const Edge& l, const Edge& r) { return l.w < r.w; });
  sortEdgesByWeight(edges.data(), edges.size());
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_EQ(edges[i].w, expected[i].w)
        << "seed " << seed << " count " << count << " at " << i;
    ASSERT_EQ(edges[i].a, expected[i].a)
        << "seed " << seed << " count " << count << " at " << i;
    ASSERT_EQ(edges[i].b, expected[i].b)
        << "seed " << seed << " count " << count << " at " << i;
  }
}

TEST(SortEdgesByWeight, IsAStableSortByWeight) {
  const unsigned seed = 4242;
  for (const std::size_t count :
       {0ul, 1ul, 2ul, 100ul, 5000ul, 300000ul, 1100000ul}) {
    for (const int distinct : {1, 7, 100000}) {
      checkAgainstStableSort(count, distinct,
                             seed + static_cast<unsigned>(count) + distinct);
    }
  }
}

TEST(SortEdgesByWeight, NegativeZeroTiesWithZero) {
  std::vector<Edge> edges{
      {1.0f, 0, 0}, {0.0f, 1, 1}, {-0.0f, 2, 2}, {0.0f, 3, 3}, {-1.0f, 4, 4}};
  sortEdgesByWeight(edges.data(), edges.size());
  const std::vector<int> order{4, 1, 2, 3, 0};
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(edges[i].a, order[i]) << "position " << i;
  }
}

}  // namespace
}  // namespace scribeline
