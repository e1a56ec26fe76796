#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "scissors/iscissor.h"
#include "tests/scissors/test_images.h"

namespace scribeline {
namespace {

using testing_images::randomImage;

bool eightConnected(const std::vector<cv::Point>& points) {
  for (std::size_t i = 1; i < points.size(); ++i) {
    const cv::Point step = points[i] - points[i - 1];
    if (std::max(std::abs(step.x), std::abs(step.y)) != 1) return false;
  }
  return true;
}

// Drives the engine the way the tool's presses and Backspace do.
class ContourSession : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kSeed = 61;

  ContourSession() : image_(randomImage(24, 18, kSeed)), scissor_(image_) {}

  void firstPress(cv::Point at, int label) {
    lengths_.clear();
    lengths_.push_back(0);
    scissor_.startContour(at, label);
    scissor_.seedSearch(at.x, at.y);
  }

  void press(cv::Point at) {
    lengths_.push_back(scissor_.appendSegment(at));
    scissor_.seedSearch(at.x, at.y);
  }

  // The tool's Backspace: a length the engine takes back leaves the stack.
  void undo() {
    if (!lengths_.empty() && scissor_.undoLastSegment(lengths_.back()))
      lengths_.pop_back();
  }

  const std::vector<cv::Point>& points() const {
    return scissor_.contours().back().points;
  }

  cv::Mat image_;
  IScissor scissor_;
  std::deque<int> lengths_;
};

TEST_F(ContourSession, SegmentsFollowTheLiveWireFromTheSeedSide) {
  SCOPED_TRACE(::testing::Message() << "seed " << kSeed);
  firstPress({3, 4}, 3);
  const std::vector<cv::Point> wire = scissor_.pathToSeed({20, 12});
  press({20, 12});

  std::vector<cv::Point> expected{{3, 4}};
  expected.insert(expected.end(), wire.rbegin(), wire.rend());
  EXPECT_EQ(points(), expected);
  EXPECT_EQ(points().back(), cv::Point(20, 12));
  EXPECT_TRUE(eightConnected(points()));
  EXPECT_EQ(lengths_, (std::deque<int>{0, static_cast<int>(wire.size())}));
  EXPECT_EQ(scissor_.seed(), cv::Point(20, 12));
  EXPECT_EQ(scissor_.settledCount(), 0u);  // a press only seeds
  EXPECT_EQ(scissor_.contours().back().label, 3);
  EXPECT_FALSE(scissor_.contours().back().closed);
}

TEST_F(ContourSession, BackspaceTakesSegmentsBackNewestFirstButNeverTheStart) {
  SCOPED_TRACE(::testing::Message() << "seed " << kSeed);
  firstPress({2, 2}, 1);
  undo();  // only the start point: nothing happens
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(2, 2)});
  EXPECT_EQ(lengths_, std::deque<int>{0});

  press({12, 9});
  const std::vector<cv::Point> afterFirst = points();
  press({21, 3});
  ASSERT_GT(points().size(), afterFirst.size());

  undo();
  EXPECT_EQ(points(), afterFirst);
  EXPECT_EQ(lengths_.size(), 2u);
  // The search restarted from the new end, so the live-wire continues there.
  EXPECT_EQ(scissor_.seed(), cv::Point(12, 9));
  EXPECT_EQ(scissor_.settledCount(), 0u);
  IScissor whole(image_);
  whole.searchFromSeed(12, 9);
  EXPECT_EQ(scissor_.pathToSeed({0, 17}), whole.pathToSeed({0, 17}));

  undo();
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(2, 2)});
  EXPECT_EQ(scissor_.seed(), cv::Point(2, 2));
  undo();
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(2, 2)});
  EXPECT_EQ(lengths_, std::deque<int>{0});
}

TEST_F(ContourSession, PressOnTheSeedAddsNothingAndBlocksBackspace) {
  SCOPED_TRACE(::testing::Message() << "seed " << kSeed);
  firstPress({5, 5}, 2);
  press({15, 11});
  const std::vector<cv::Point> before = points();
  press({15, 11});
  EXPECT_EQ(points(), before);
  EXPECT_EQ(lengths_.back(), 0);

  undo();
  EXPECT_EQ(points(), before);
  EXPECT_EQ(lengths_.size(), 3u);
}

TEST_F(ContourSession, FinishAndRemoveActOnTheNewestContour) {
  firstPress({1, 1}, 4);
  press({9, 9});
  scissor_.finishContour(true);
  firstPress({20, 2}, 5);
  press({22, 15});
  scissor_.finishContour(false);
  ASSERT_EQ(scissor_.contours().size(), 2u);
  EXPECT_TRUE(scissor_.contours()[0].closed);
  EXPECT_FALSE(scissor_.contours()[1].closed);

  firstPress({7, 14}, 6);
  scissor_.removeLastContour();
  ASSERT_EQ(scissor_.contours().size(), 2u);
  EXPECT_EQ(scissor_.contours().back().label, 5);

  scissor_.removeLastContour();
  ASSERT_EQ(scissor_.contours().size(), 1u);
  EXPECT_EQ(scissor_.contours().back().label, 4);
  scissor_.removeLastContour();
  EXPECT_TRUE(scissor_.contours().empty());
}

TEST_F(ContourSession, OperationsOnAnEmptyListDoNothing) {
  scissor_.searchFromSeed(4, 4);
  EXPECT_EQ(scissor_.appendSegment({10, 10}), 0);
  scissor_.finishContour(true);
  EXPECT_FALSE(scissor_.undoLastSegment(5));
  scissor_.removeLastContour();
  EXPECT_TRUE(scissor_.contours().empty());
}

TEST_F(ContourSession, AppendNeedsASearchFromTheContourEnd) {
  scissor_.startContour({3, 3}, 1);
  EXPECT_EQ(scissor_.appendSegment({10, 10}), 0);  // no search has run
  scissor_.searchFromSeed(8, 8);                   // a search from elsewhere
  EXPECT_EQ(scissor_.appendSegment({10, 10}), 0);
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(3, 3)});
}

TEST_F(ContourSession, UndoOfNoPointsDoesNothing) {
  firstPress({6, 6}, 1);
  press({12, 12});
  const std::vector<cv::Point> before = points();
  EXPECT_FALSE(scissor_.undoLastSegment(0));
  EXPECT_FALSE(scissor_.undoLastSegment(-3));
  EXPECT_EQ(points(), before);
  EXPECT_EQ(scissor_.seed(), cv::Point(12, 12));
}

}  // namespace
}  // namespace scribeline
