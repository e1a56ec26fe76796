#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/reference_segmentation.h"

namespace scribeline {
namespace {

FloatImage constantPlane(int width, int height, float value) {
  FloatImage plane(width, height, FloatImage::Fill::zeros);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      plane.at(y, x) = value;
    }
  }
  return plane;
}

EdgeList uniformEdges(int width, int height) {
  const FloatImage r = constantPlane(width, height, 7.0f);
  const FloatImage g = constantPlane(width, height, 8.0f);
  const FloatImage b = constantPlane(width, height, 9.0f);
  return buildEdges(r, g, b);
}

TEST(BuildEdges, ThreeByTwoInExactOrder) {
  const EdgeList list = uniformEdges(3, 2);
  const std::vector<std::pair<int, int>> expected{
      {0, 1}, {0, 3}, {0, 4}, {1, 2}, {1, 4}, {1, 5},
      {2, 5}, {3, 4}, {3, 1}, {4, 5}, {4, 2}};
  ASSERT_EQ(list.count, expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(list.edges[i].a, expected[i].first) << "edge " << i;
    EXPECT_EQ(list.edges[i].b, expected[i].second) << "edge " << i;
    EXPECT_EQ(list.edges[i].w, 0.0f) << "uniform image, edge " << i;
  }
}

struct SizeCase {
  int width;
  int height;
  std::size_t edges;
};

std::ostream& operator<<(std::ostream& out, const SizeCase& row) {
  return out << row.width << " x " << row.height;
}

class EdgeCountTest : public testing::TestWithParam<SizeCase> {};

// Every 8-connected unordered pair occurs exactly once, with a on the left
// (or above), and nothing else occurs.
TEST_P(EdgeCountTest, ListsEveryNeighbourPairOnce) {
  const SizeCase& row = GetParam();
  const EdgeList list = uniformEdges(row.width, row.height);
  ASSERT_EQ(list.count, row.edges);
  EXPECT_EQ(edgeCount(row.width, row.height), row.edges);
  std::set<std::pair<int, int>> seen;
  for (std::size_t i = 0; i < list.count; ++i) {
    const Edge& edge = list.edges[i];
    const int ax = edge.a % row.width, ay = edge.a / row.width;
    const int bx = edge.b % row.width, by = edge.b / row.width;
    EXPECT_TRUE(bx == ax + 1 || (bx == ax && by == ay + 1))
        << edge.a << "-" << edge.b;
    EXPECT_LE(std::abs(by - ay), 1);
    EXPECT_TRUE(seen.insert({edge.a, edge.b}).second)
        << "duplicate " << edge.a << "-" << edge.b;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EdgeCountTest,
    testing::Values(SizeCase{1, 1, 0}, SizeCase{1, 6, 5}, SizeCase{6, 1, 5},
                    SizeCase{3, 2, 11}, SizeCase{2, 2, 6},
                    SizeCase{7, 4, 6 * 4 + 7 * 3 + 2 * 6 * 3}));

TEST(BuildEdges, WeightIsTheColourDistance) {
  FloatImage r = constantPlane(2, 1, 0.0f);
  FloatImage g = constantPlane(2, 1, 0.0f);
  FloatImage b = constantPlane(2, 1, 0.0f);
  r.at(0, 1) = 3.0f;
  g.at(0, 1) = 4.0f;
  b.at(0, 0) = 12.0f;
  const EdgeList list = buildEdges(r, g, b);
  ASSERT_EQ(list.count, 1u);
  EXPECT_EQ(list.edges[0].w, 13.0f);
}

}  // namespace
}  // namespace scribeline
