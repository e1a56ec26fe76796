#include "superpixel/packed_edge.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace scribeline {
namespace {

struct PackedCase {
  float w;
  int a;
  EdgeDirection direction;
};

// Rows in the order sortEdgesByWeight gives a list: by weight, then first
// pixel, then direction; NaN after everything.
const std::vector<PackedCase> increasingEdges{
    {0.0f, 0, EdgeDirection::right},
    {0.0f, 0, EdgeDirection::upperRight},
    {0.0f, 1, EdgeDirection::right},
    {std::numeric_limits<float>::denorm_min(), 0, EdgeDirection::lower},
    {1.0f, 7, EdgeDirection::lowerRight},
    {1.0f, INT_MAX, EdgeDirection::right},
    {std::nextafter(1.0f, 2.0f), 0, EdgeDirection::right},
    {441.673f, 12, EdgeDirection::lower},
    {std::numeric_limits<float>::max(), 3, EdgeDirection::lower},
    {std::numeric_limits<float>::infinity(), INT_MAX,
     EdgeDirection::upperRight},
    {std::numeric_limits<float>::quiet_NaN(), 0, EdgeDirection::right},
};

TEST(PackedEdge, WordOrderIsWeightThenPixelThenDirection) {
  for (std::size_t i = 1; i < increasingEdges.size(); ++i) {
    const PackedCase& before = increasingEdges[i - 1];
    const PackedCase& after = increasingEdges[i];
    EXPECT_LT(packEdge(before.w, before.a, before.direction),
              packEdge(after.w, after.a, after.direction))
        << "rows " << i - 1 << " and " << i;
  }
  const float negativeNaN = -std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(packEdge(negativeNaN, 5, EdgeDirection::lower),
            packEdge(std::numeric_limits<float>::quiet_NaN(), 5,
                     EdgeDirection::lower));
}

TEST(PackedEdge, GivesBackWeightAndEnds) {
  // A 5-pixel-wide image: the second end lies right, below, below-right
  // or above-right of the first.
  const PackedEdgeEnds ends(5);
  const int expectedSecond[4] = {7 + 1, 7 + 5, 7 + 6, 7 - 4};
  for (unsigned d = 0; d < 4; ++d) {
    const Edge edge =
        ends.edge(packEdge(2.5f, 7, static_cast<EdgeDirection>(d)));
    EXPECT_EQ(edge.w, 2.5f) << "direction " << d;
    EXPECT_EQ(edge.a, 7) << "direction " << d;
    EXPECT_EQ(edge.b, expectedSecond[d]) << "direction " << d;
  }
  for (const PackedCase& row : increasingEdges) {
    const PackedEdge edge = packEdge(row.w, row.a, row.direction);
    EXPECT_EQ(packedFirst(edge), row.a) << "weight " << row.w;
    if (std::isnan(row.w)) {
      EXPECT_TRUE(std::isnan(packedWeight(edge)));
    } else {
      EXPECT_EQ(packedWeight(edge), row.w);
    }
  }
}

}  // namespace
}  // namespace scribeline
