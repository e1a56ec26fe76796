#include "scissors/auto_anchor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scissors/iscissor.h"

namespace scribeline {
namespace {

using std::chrono::milliseconds;

AnchorClock::time_point at(int ms) {
  return AnchorClock::time_point(milliseconds(ms));
}

// One preview for the detector: `shared` points along the x axis, then
// `tail` points of its own, so that any two previews part after their
// common stretch of the axis.
struct Preview {
  int ms;
  int shared;
  int tail;
};

std::vector<cv::Point> wireOf(const Preview& preview, int id) {
  std::vector<cv::Point> wire;
  for (int i = 1; i <= preview.shared; ++i) wire.emplace_back(i, 0);
  for (int j = 0; j < preview.tail; ++j) wire.emplace_back(1000 + id, j);
  return wire;
}

struct DetectorCase {
  std::string name;
  std::vector<Preview> previews;
  // What observe() returns for each preview, in order.
  std::vector<std::size_t> settled;
};

void PrintTo(const DetectorCase& c, std::ostream* os) { *os << c.name; }

class StablePrefixRule : public ::testing::TestWithParam<DetectorCase> {};

// The default rule: 6 previews over 300 ms, 3 points given up, 12 at least.
TEST_P(StablePrefixRule, SettlesOnlyWhatARunLongInMovesAndTimeShares) {
  const DetectorCase& c = GetParam();
  StablePrefix stable;
  std::vector<std::size_t> settled;
  for (std::size_t i = 0; i < c.previews.size(); ++i) {
    settled.push_back(stable.observe(wireOf(c.previews[i], static_cast<int>(i)),
                                     at(c.previews[i].ms)));
  }
  EXPECT_EQ(settled, c.settled);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StablePrefixRule,
    ::testing::Values(
        DetectorCase{"SixOver300msSharing20",
                     {{0, 20, 5},
                      {60, 20, 5},
                      {120, 20, 5},
                      {180, 20, 5},
                      {240, 20, 5},
                      {300, 20, 5}},
                     {0, 0, 0, 0, 0, 17}},
        // The pointer moving along an edge: each wire extends the last.
        DetectorCase{"GrowingWireSettlesTheOldestOfTheRun",
                     {{0, 20, 0},
                      {60, 22, 0},
                      {120, 24, 0},
                      {180, 26, 0},
                      {240, 28, 0},
                      {300, 30, 0}},
                     {0, 0, 0, 0, 0, 17}},
        DetectorCase{"APauseGivesTooFewMoves",
                     {{0, 40, 2},
                      {250, 40, 2},
                      {500, 40, 2},
                      {750, 40, 2},
                      {1000, 40, 2}},
                     {0, 0, 0, 0, 0}},
        DetectorCase{"AQuickRunWaitsFor300ms",
                     {{0, 20, 1},
                      {25, 20, 1},
                      {50, 20, 1},
                      {75, 20, 1},
                      {100, 20, 1},
                      {125, 20, 1},
                      {150, 20, 1},
                      {175, 20, 1},
                      {200, 20, 1},
                      {225, 20, 1},
                      {250, 20, 1},
                      {275, 20, 1},
                      {299, 20, 1},
                      {300, 20, 1}},
                     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 17}},
        DetectorCase{"FifteenSharedIsTheLeastThatSettles",
                     {{0, 15, 4},
                      {60, 15, 4},
                      {120, 15, 4},
                      {180, 15, 4},
                      {240, 15, 4},
                      {300, 15, 4},
                      {360, 14, 4}},
                     {0, 0, 0, 0, 0, 12, 0}},
        // A wire that left the axis at once holds the run back until the
        // run no longer needs it.
        DetectorCase{"AnOddWireCountsUntilTheRunLeavesIt",
                     {{0, 0, 30},
                      {60, 25, 3},
                      {120, 25, 3},
                      {180, 25, 3},
                      {240, 25, 3},
                      {300, 25, 3},
                      {360, 25, 3}},
                     {0, 0, 0, 0, 0, 0, 22}},
        DetectorCase{"SlowMovesWaitForTheSixth",
                     {{0, 20, 2},
                      {100, 20, 2},
                      {200, 20, 2},
                      {300, 20, 2},
                      {400, 20, 2},
                      {500, 20, 2}},
                     {0, 0, 0, 0, 0, 17}}),
    [](const ::testing::TestParamInfo<DetectorCase>& info) {
      return info.param.name;
    });

// The pointer on the seed gives an empty wire: it settles nothing and holds
// back the runs it belongs to. Without the reset the last preview would end
// a run of six over 500 ms sharing 30 points.
TEST(StablePrefix, AnEmptyWireSettlesNothingAndResetForgets) {
  StablePrefix stable;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(stable.observe({}, at(100 * i)), 0u);
  const Preview longWire{0, 30, 0};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(stable.observe(wireOf(longWire, 0), at(1000 + 100 * i)), 0u);
  stable.reset();
  EXPECT_EQ(stable.observe(wireOf(longWire, 0), at(1500)), 0u);
}

// 80 x 32: dark above row 16, light from row 16 on; one straight edge.
cv::Mat edgePhoto() {
  cv::Mat photo(32, 80, CV_8UC3, cv::Scalar::all(220));
  photo(cv::Rect(0, 0, 80, 16)).setTo(cv::Scalar(30, 40, 50));
  return photo;
}

// Across a step edge the cheapest wire zigzags, one pixel on each side of
// the edge in turn (the diagonal links across it cost least). Row of the
// wire from (3, 16) at column x.
int zigzagRow(int x) { return x % 2 == 1 ? 16 : 15; }

TEST(AutoAnchoring, FollowingAnEdgeFixesPointsOnItBehindThePointer) {
  const cv::Mat photo = edgePhoto();
  IScissor scissor(photo);
  std::vector<PointerMove> moves;
  for (int x = 6; x < 80; ++x)
    moves.push_back({{x, zigzagRow(x)}, at(20 * (x - 6))});

  const std::vector<cv::Point> anchors =
      runAutoAnchoring(scissor, {3, 16}, moves);

  // The pointer stays on the wire, so each wire extends the one before. A
  // move every 20 ms: a run needs 16 moves to span 300 ms and shares the wire
  // to the pointer of its oldest move. The first run sharing 15 points from
  // (3, 16) ends at the move to x = 33 and fixes 12 of them; each later run
  // starts after the last fix, so shares 19 and fixes 16, until the moves
  // run out.
  EXPECT_EQ(anchors, (std::vector<cv::Point>{{15, zigzagRow(15)},
                                             {31, zigzagRow(31)},
                                             {47, zigzagRow(47)}}));
  const Contour& contour = scissor.contours().back();
  ASSERT_EQ(contour.points.size(), 45u);
  for (std::size_t i = 0; i < contour.points.size(); ++i) {
    const int x = 3 + static_cast<int>(i);
    EXPECT_EQ(contour.points[i], cv::Point(x, zigzagRow(x)));
  }
  EXPECT_EQ(scissor.seed(), cv::Point(47, zigzagRow(47)));
}

struct SweepCase {
  std::string name;
  int moveMs;  // time between moves
  int moves;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

class SweepAcrossTheSeed : public ::testing::TestWithParam<SweepCase> {};

// The pointer swept to and fro along the edge and across it, through the
// seed, faster than a run of 300 ms: the wires to the two sides share
// nothing, and every run that long holds both. Runs on one side share long
// stretches, so the same sweep fixes points when the rule asks for moves
// only.
TEST_P(SweepAcrossTheSeed, FixesNothing) {
  const SweepCase& c = GetParam();
  const cv::Mat photo = edgePhoto();
  std::vector<PointerMove> moves;
  for (int i = 0; i < c.moves; ++i) {
    const int phase = i % 24;  // 12 moves right, 12 back
    const int x = 4 + 6 * (phase < 12 ? phase : 24 - phase);
    moves.push_back({{x, 14 + i % 4}, at(c.moveMs * i)});
  }
  IScissor scissor(photo);
  EXPECT_TRUE(runAutoAnchoring(scissor, {40, 16}, moves).empty());
  EXPECT_EQ(scissor.contours().back().points,
            std::vector<cv::Point>{cv::Point(40, 16)});

  AnchorRule movesOnly;
  movesOnly.hold = milliseconds(0);
  IScissor counting(photo);
  EXPECT_FALSE(runAutoAnchoring(counting, {40, 16}, moves, movesOnly).empty());
}

INSTANTIATE_TEST_SUITE_P(Sweeps, SweepAcrossTheSeed,
                         ::testing::Values(SweepCase{"Every5ms", 5, 400},
                                           SweepCase{"Every12ms", 12, 200}),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           return info.param.name;
                         });

// The pointer rests off the edge, in the flat dark part, moved now and then
// by a pixel: five moves over a second fix nothing; a sixth fixes.
TEST(AutoAnchoring, APauseOffTheEdgeFixesOnlyOnceItHasEnoughMoves) {
  const cv::Mat photo = edgePhoto();
  for (const int pauseMoves : {5, 6}) {
    SCOPED_TRACE(pauseMoves);
    IScissor scissor(photo);
    std::vector<PointerMove> moves;
    for (int i = 0; i < pauseMoves; ++i)
      moves.push_back({{50 + i % 2, 4}, at(250 * i)});
    const std::vector<cv::Point> anchors =
        runAutoAnchoring(scissor, {3, 15}, moves);
    EXPECT_EQ(anchors.size(), pauseMoves == 6 ? 1u : 0u);
  }
}

TEST(AutoAnchoring, MovesOutsideTheImageAndAStartOutsideDoNothing) {
  const cv::Mat photo = edgePhoto();
  IScissor scissor(photo);
  EXPECT_TRUE(runAutoAnchoring(scissor, {-1, 3}, {{{5, 5}, at(0)}}).empty());
  EXPECT_TRUE(scissor.contours().empty());
  std::vector<PointerMove> outside;
  for (int i = 0; i < 20; ++i) outside.push_back({{90, 15}, at(100 * i)});
  EXPECT_TRUE(runAutoAnchoring(scissor, {3, 15}, outside).empty());
}

}  // namespace
}  // namespace scribeline
