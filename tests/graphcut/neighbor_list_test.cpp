#include "tests/graphcut/reference/neighbor_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace scribeline {
namespace {

std::vector<int> visitOrder(const NeighborList& list) {
  std::vector<int> order;
  list.forEach(
      [&](const NeighborRecord& record) { order.push_back(record.neighbor); });
  return order;
}

TEST(NeighborList, NewestChunkFirstThenInsertionOrder) {
  struct Row {
    int inserted;
    std::vector<int> expected;
  };
  const Row rows[] = {
      {0, {}},
      {1, {1}},
      {4, {1, 2, 3, 4}},
      {6, {5, 6, 1, 2, 3, 4}},
      {8, {5, 6, 7, 8, 1, 2, 3, 4}},
      {9, {9, 5, 6, 7, 8, 1, 2, 3, 4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("inserted " + std::to_string(row.inserted));
    NeighborList list;
    for (int i = 1; i <= row.inserted; ++i)
      list.add(new NeighborRecord{i, 1.0f});
    EXPECT_EQ(visitOrder(list), row.expected);
  }
}

}  // namespace
}  // namespace scribeline
