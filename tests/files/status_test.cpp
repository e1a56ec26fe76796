#include "files/status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scribeline {
namespace {

Result<int> halfOf(int number) {
  if (number % 2 != 0)
    return Status::failure(std::to_string(number) + " is odd");
  return number / 2;
}

TEST(StatusTest, OkHasNoReasonAndAFailureKeepsItsOwn) {
  EXPECT_TRUE(Status().ok());
  EXPECT_EQ(Status().reason(), "");
  const Status refused = Status::failure("the file is empty");
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.reason(), "the file is empty");
}

TEST(ResultTest, HoldsTheValueOrTheReasonThereIsNone) {
  struct Case {
    int number;
    bool ok;
    int valueOrZero;
    std::string reason;
  };
  for (const Case& c : std::vector<Case>{
           {8, true, 4, ""}, {0, true, 0, ""}, {7, false, 0, "7 is odd"}}) {
    const Result<int> half = halfOf(c.number);
    EXPECT_EQ(half.ok(), c.ok) << c.number;
    EXPECT_EQ(half.status().ok(), c.ok) << c.number;
    EXPECT_EQ(half.reason(), c.reason) << c.number;
    EXPECT_EQ(half.valueOr(0), c.valueOrZero) << c.number;
    if (c.ok) {
      EXPECT_EQ(half.value(), c.valueOrZero) << c.number;
    }
  }
  Result<std::vector<int>> moved = std::vector<int>{1, 2, 3};
  const std::vector<int> taken = std::move(moved).value();
  EXPECT_EQ(taken, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace scribeline
