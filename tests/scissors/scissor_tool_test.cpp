#include "scissors/scissor_tool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "app/commands.h"
#include "app/program.h"
#include "app/tools.h"
#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "palette/palette.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// 60 x 40 light grey with a dark square over columns 20 to 39, rows 12 to 27.
cv::Mat darkSquarePhoto() {
  cv::Mat photo(40, 60, CV_8UC3, cv::Scalar::all(200));
  photo(cv::Rect(20, 12, 20, 16)).setTo(cv::Scalar::all(40));
  return photo;
}

cv::Vec3b colourOfLabel(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(colour[0], colour[1], colour[2]);
}

const cv::Vec3b kPreview(0, 0, 255);

// A workspace after start-up with the real tools, driven key by key and
// event by event. The tool's clock reads `now`.
struct Harness {
  Harness() : workspace(windows, console) {
    workspace.image = darkSquarePhoto();
    workspace.mask = cv::Mat::zeros(workspace.image.size(), CV_8UC3);
    installTools(workspace);
    for (auto& tool : workspace.tools) prepareAtOnce(*tool, workspace);
    workspace.toolsBuilt = true;
    windows.createWindow(kMainWindow, WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
    static_cast<ScissorTool&>(*workspace.tools[kToolScissors]).setClock([this] {
      return AnchorClock::time_point(now);
    });
  }

  const ScissorTool& tool() const {
    return static_cast<const ScissorTool&>(*workspace.tools[kToolScissors]);
  }
  const IScissor& scissor() const { return *tool().scissor(); }
  void press(int x, int y) {
    windows.sendMouse(kMainWindow, kLeftButtonDown, x, y, kMouseFlagLeftButton);
    windows.sendMouse(kMainWindow, kLeftButtonUp, x, y, 0);
  }
  void move(int x, int y) {
    windows.sendMouse(kMainWindow, kMouseMove, x, y, 0);
  }
  void key(int code) { runCommand(workspace, code); }
  const std::vector<cv::Point>& points() const {
    return scissor().contours().back().points;
  }
  int shows() const { return windows.showCount(kMainWindow); }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
  std::chrono::milliseconds now{0};
};

class ScissorToolTest : public ::testing::Test, public Harness {};

TEST_F(ScissorToolTest, LiveWirePreviewPaintsThePathButNotTheSeed) {
  workspace.currentLabel = 5;
  press(10, 10);
  move(45, 33);
  const std::vector<cv::Point> wire = scissor().pathToSeed({45, 33});
  ASSERT_FALSE(wire.empty());
  const cv::Mat shown = windows.lastShown(kMainWindow);
  cv::Mat expected = workspace.image.clone();
  expected.at<cv::Vec3b>(10, 10) = colourOfLabel(5);  // the contour so far
  for (const cv::Point& point : wire) expected.at<cv::Vec3b>(point) = kPreview;
  EXPECT_EQ(cv::norm(shown, expected, cv::NORM_INF), 0.0);

  // On the seed itself nothing is previewed.
  move(10, 10);
  expected = workspace.image.clone();
  expected.at<cv::Vec3b>(10, 10) = colourOfLabel(5);
  EXPECT_EQ(cv::norm(windows.lastShown(kMainWindow), expected, cv::NORM_INF),
            0.0);
}

// Each event's picture shows what the event did: a press the segment it
// commits, a move its live-wire. A redraw by a key follows no pointer and
// shows no live-wire.
TEST_F(ScissorToolTest, EachEventsPictureShowsWhatItDid) {
  workspace.currentLabel = 5;
  press(20, 12);
  move(39, 27);
  const std::vector<cv::Point> wire = scissor().pathToSeed({39, 27});
  ASSERT_GT(wire.size(), 10u);
  const int redraws = shows();
  for (const cv::Point& point : wire)
    ASSERT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(point), kPreview);

  key('>');  // a redraw of the main view
  EXPECT_EQ(shows(), redraws + 1);
  cv::Mat previewed;
  cv::inRange(windows.lastShown(kMainWindow), kPreview, kPreview, previewed);
  EXPECT_EQ(cv::countNonZero(previewed), 0);

  windows.sendMouse(kMainWindow, kLeftButtonDown, 39, 27, kMouseFlagLeftButton);
  EXPECT_EQ(shows(), redraws + 2);
  for (const cv::Point& point : wire)
    ASSERT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(point),
              colourOfLabel(5));
}

TEST_F(ScissorToolTest, PressesCommitTheLiveWireAndRecordSegmentLengths) {
  press(20, 12);
  const std::vector<cv::Point> wire = scissor().pathToSeed({39, 12});
  press(39, 12);
  press(39, 12);  // on the seed: nothing added
  EXPECT_EQ(tool().segmentLengths(),
            (std::deque<int>{0, static_cast<int>(wire.size()), 0}));
  std::vector<cv::Point> expected{{20, 12}};
  expected.insert(expected.end(), wire.rbegin(), wire.rend());
  EXPECT_EQ(points(), expected);
  EXPECT_TRUE(tool().contourUnderWay());
  // Along the square's top edge the wire stays within one pixel of it.
  for (const cv::Point& point : points()) EXPECT_NEAR(point.y, 11.5, 1.0);
}

TEST_F(ScissorToolTest, BackspaceUndoesSegmentsThenContoursAndAlwaysRedraws) {
  press(20, 12);
  press(39, 12);
  const std::vector<cv::Point> afterFirst = points();
  press(39, 27);
  int redraws = shows();

  key(8);
  EXPECT_EQ(points(), afterFirst);
  EXPECT_EQ(scissor().seed(), cv::Point(39, 12));
  EXPECT_EQ(shows(), ++redraws);
  key(8);
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(20, 12)});
  key(8);  // the start point stays, the contour stays under way
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(20, 12)});
  EXPECT_TRUE(tool().contourUnderWay());
  EXPECT_EQ(shows(), redraws += 2);

  key(13);
  ASSERT_EQ(scissor().contours().size(), 1u);
  key(8);  // nothing under way: the newest contour goes
  EXPECT_TRUE(scissor().contours().empty());
  key(8);
  EXPECT_EQ(shows(), redraws + 3);
}

TEST_F(ScissorToolTest, EnterFinishesOpenCtrlEnterClosedAndNothingElseRedraws) {
  key(13);  // nothing under way: no redraw
  key(10);
  EXPECT_EQ(shows(), 0);

  press(20, 12);
  press(39, 27);
  key(13);
  EXPECT_FALSE(tool().contourUnderWay());
  EXPECT_FALSE(scissor().contours().back().closed);
  press(5, 5);
  press(15, 30);
  key(10);
  EXPECT_TRUE(scissor().contours().back().closed);
  ASSERT_EQ(scissor().contours().size(), 2u);

  // The closed contour is drawn with its closing line, the open one without.
  const cv::Mat shown = windows.lastShown(kMainWindow);
  cv::Mat closing = cv::Mat::zeros(shown.size(), CV_8UC1);
  cv::line(closing, {15, 30}, {5, 5}, cv::Scalar(255), 1, cv::LINE_8);
  for (int y = 0; y < shown.rows; ++y) {
    for (int x = 0; x < shown.cols; ++x) {
      if (closing.at<uchar>(y, x) != 0) {
        EXPECT_EQ(shown.at<cv::Vec3b>(y, x), colourOfLabel(0));
      }
    }
  }
  // The open contour has no line from (39, 27) back to (20, 12).
  cv::Mat unclosed = cv::Mat::zeros(shown.size(), CV_8UC1);
  cv::line(unclosed, {39, 27}, {20, 12}, cv::Scalar(255), 1, cv::LINE_8);
  for (const cv::Point& point : scissor().contours()[0].points)
    unclosed.at<uchar>(point) = 0;
  for (const cv::Point& point : scissor().contours()[1].points)
    unclosed.at<uchar>(point) = 0;
  int unclosedPixels = 0;
  for (int y = 0; y < shown.rows; ++y) {
    for (int x = 0; x < shown.cols; ++x) {
      if (unclosed.at<uchar>(y, x) == 0 || closing.at<uchar>(y, x) != 0)
        continue;
      ++unclosedPixels;
      EXPECT_EQ(shown.at<cv::Vec3b>(y, x), workspace.image.at<cv::Vec3b>(y, x));
    }
  }
  EXPECT_GT(unclosedPixels, 10);
}

TEST_F(ScissorToolTest, SwitchingToAnotherToolDiscardsTheOpenContour) {
  press(20, 12);
  press(39, 12);
  key(13);
  press(5, 5);
  press(10, 30);
  key('0');  // staying with iScissor keeps it
  EXPECT_TRUE(tool().contourUnderWay());
  ASSERT_EQ(scissor().contours().size(), 2u);
  key('2');
  EXPECT_FALSE(tool().contourUnderWay());
  ASSERT_EQ(scissor().contours().size(), 1u);
  EXPECT_EQ(scissor().contours()[0].points.front(), cv::Point(20, 12));
}

TEST_F(ScissorToolTest, ContourKeepsTheLabelItWasStartedWith) {
  workspace.currentLabel = 3;
  press(20, 12);
  workspace.currentLabel = 7;
  press(39, 27);
  key(10);
  EXPECT_EQ(scissor().contours().back().label, 3);
}

TEST_F(ScissorToolTest, PressAfterAFinishedContourStartsANewOne) {
  press(20, 12);
  press(39, 12);
  key(10);
  const std::vector<cv::Point> finished = points();
  press(30, 30);
  ASSERT_EQ(scissor().contours().size(), 2u);
  EXPECT_EQ(scissor().contours()[0].points, finished);
  EXPECT_EQ(points(), std::vector<cv::Point>{cv::Point(30, 30)});
  EXPECT_EQ(tool().segmentLengths(), std::deque<int>{0});
  key(13);  // finishes the new contour, not the old one
  EXPECT_TRUE(scissor().contours()[0].closed);
}

// Each update redraws the main view once, so the new mask shows at once.
TEST_F(ScissorToolTest, MaskUpdatesWorkFromEveryToolAndRedrawOnce) {
  workspace.currentLabel = 1;
  press(20, 12);
  press(39, 12);
  press(39, 27);
  press(20, 27);
  key(10);
  key('2');
  const int redraws = shows();
  key('n');
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(12, 20), colourOfLabel(1));
  key('N');
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(0, 0), colourOfLabel(0));
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(20, 30), colourOfLabel(1));
  EXPECT_EQ(shows(), redraws + 2);
}

// The pointer's way around the square's outline, from just after the corner
// (20, 12) to just before it.
std::vector<cv::Point> alongTheSquare() {
  std::vector<cv::Point> way;
  for (int x = 21; x <= 39; ++x) way.emplace_back(x, 12);
  for (int y = 13; y <= 27; ++y) way.emplace_back(39, y);
  for (int x = 38; x >= 20; --x) way.emplace_back(x, 27);
  for (int y = 26; y >= 13; --y) way.emplace_back(20, y);
  return way;
}

// What a run along the square with auto anchoring on did, move by move.
struct AnchoredRun {
  std::vector<cv::Point> fixed;  // the automatic fixed points, oldest first
  // The contour's points just before each automatic fix.
  std::vector<std::vector<cv::Point>> pointsBefore;
  cv::Point lastFixingPointer;  // where the pointer was at the last fix
  cv::Mat shownAtLastFix;       // the picture of that move
};

// Presses at (20, 12) and moves along the square, one move every 20 ms.
AnchoredRun runAlongTheSquare(Harness& h) {
  AnchoredRun run;
  h.press(20, 12);
  for (const cv::Point& pointer : alongTheSquare()) {
    h.now += std::chrono::milliseconds(20);
    const std::vector<cv::Point> before = h.points();
    const std::size_t segments = h.tool().segmentLengths().size();
    h.move(pointer.x, pointer.y);
    if (h.tool().segmentLengths().size() == segments) continue;
    run.fixed.push_back(h.points().back());
    run.pointsBefore.push_back(before);
    run.lastFixingPointer = pointer;
    run.shownAtLastFix = h.windows.lastShown(kMainWindow).clone();
  }
  return run;
}

TEST_F(ScissorToolTest, AutoAnchoringIsOffUntilAAndSaysWhich) {
  EXPECT_TRUE(runAlongTheSquare(*this).fixed.empty());
  EXPECT_EQ(tool().segmentLengths(), std::deque<int>{0});
  key(13);

  key('a');
  EXPECT_EQ(console.str(), "auto anchoring ON\n");
  EXPECT_GE(runAlongTheSquare(*this).fixed.size(), 2u);
  key(13);

  key('a');
  EXPECT_EQ(console.str(), "auto anchoring ON\nauto anchoring OFF\n");
  EXPECT_TRUE(runAlongTheSquare(*this).fixed.empty());
}

// Each automatic fix is a press at its point: the same contour, the same
// segment lengths, the same seed, and the same picture for the pointer.
TEST_F(ScissorToolTest, AutomaticFixesAreWhatPressesAtTheirPointsMake) {
  key('a');
  workspace.currentLabel = 4;
  const AnchoredRun run = runAlongTheSquare(*this);
  ASSERT_GE(run.fixed.size(), 2u);
  for (const cv::Point& point : run.fixed) {
    // On the square's outline, within a pixel.
    const bool nearTop = std::abs(point.y - 12) <= 1 && point.x >= 19;
    const bool nearRight = std::abs(point.x - 39) <= 1;
    const bool nearBottom = std::abs(point.y - 27) <= 1;
    const bool nearLeft = std::abs(point.x - 20) <= 1;
    EXPECT_TRUE(nearTop || nearRight || nearBottom || nearLeft) << point;
  }

  Harness clicked;
  clicked.workspace.currentLabel = 4;
  clicked.press(20, 12);
  for (const cv::Point& point : run.fixed) clicked.press(point.x, point.y);
  EXPECT_EQ(clicked.points(), points());
  EXPECT_EQ(clicked.tool().segmentLengths(), tool().segmentLengths());
  EXPECT_EQ(clicked.scissor().seed(), scissor().seed());
  clicked.move(run.lastFixingPointer.x, run.lastFixingPointer.y);
  EXPECT_EQ(cv::norm(clicked.windows.lastShown(kMainWindow), run.shownAtLastFix,
                     cv::NORM_INF),
            0.0);
}

TEST_F(ScissorToolTest, BackspaceTakesBackAutomaticSegmentsOneByOne) {
  key('a');
  const AnchoredRun run = runAlongTheSquare(*this);
  ASSERT_GE(run.fixed.size(), 2u);
  const std::size_t last = run.fixed.size() - 1;
  const std::deque<int> lengths = tool().segmentLengths();

  key(8);
  EXPECT_EQ(points(), run.pointsBefore[last]);
  EXPECT_EQ(scissor().seed(), run.fixed[last - 1]);
  EXPECT_EQ(tool().segmentLengths(),
            std::deque<int>(lengths.begin(), lengths.end() - 1));
  // The moves before Backspace no longer count: the next one fixes nothing.
  now += std::chrono::milliseconds(20);
  move(run.lastFixingPointer.x, run.lastFixingPointer.y);
  EXPECT_EQ(points(), run.pointsBefore[last]);

  key(8);
  EXPECT_EQ(points(), run.pointsBefore[last - 1]);
  EXPECT_TRUE(tool().contourUnderWay());
}

// A rewrite that replaces the pen's paint says how many pixels; rewrites
// over the scissors' own last output, and paint the rewrite keeps, say
// nothing.
TEST_F(ScissorToolTest, RewriteSaysHowManyPixelsPaintedOtherwiseItReplaced) {
  startMaskHistory(workspace);
  const std::string line =
      " pixels painted otherwise were replaced; Ctrl+Z takes them back\n";
  workspace.currentLabel = 1;
  press(20, 12);
  press(39, 12);
  press(39, 27);
  press(20, 27);
  key(10);
  key('2');
  workspace.currentLabel = 3;
  press(5, 5);  // outside the contour: "N" makes it label 0
  workspace.currentLabel = 1;
  press(30, 20);  // inside, in the label "N" writes there
  const cv::Mat painted = workspace.mask.clone();
  cv::Mat penPixels;
  cv::inRange(painted, labelColor(3), labelColor(3), penPixels);
  console.str("");
  key('N');
  EXPECT_EQ(console.str(), std::to_string(cv::countNonZero(penPixels)) + line);
  console.str("");
  key('n');
  key('N');
  EXPECT_EQ(console.str(), "");
  for (int i = 0; i < 3; ++i) key(kKeyUndo);
  EXPECT_EQ(cv::norm(workspace.mask, painted, cv::NORM_INF), 0);
}

// A whole run of the program over the scripted window system.
TEST(ScissorSession, OutlineTheSquareFillItAndSave) {
  const TempFolder temp("scribeline-scissors");
  const std::string& folder = temp.path();
  const std::string imagePath = folder + "/square.png";
  ASSERT_TRUE(cv::imwrite(imagePath, darkSquarePhoto()));
  ProgramSettings settings;
  settings.labelListPath = folder + "/label_list.txt";
  std::ofstream(settings.labelListPath) << "1\nsquare\n";

  auto windows = std::make_shared<ScriptedWindowSystem>();
  windows->pushMouse(kToolboxWindow, kLeftButtonDown, 90, 105,
                     kMouseFlagLeftButton);  // label 5
  for (const cv::Point corner : {cv::Point(20, 12), cv::Point(39, 12),
                                 cv::Point(39, 27), cv::Point(20, 27)}) {
    windows->pushMouse(kMainWindow, kMouseMove, corner.x, corner.y);
    windows->pushMouse(kMainWindow, kLeftButtonDown, corner.x, corner.y,
                       kMouseFlagLeftButton);
    windows->pushMouse(kMainWindow, kLeftButtonUp, corner.x, corner.y);
  }
  windows->pushKey(10);
  windows->pushKeys("NM");
  windows->pushKey(27);
  windows->pushAnswer(true);  // "Save?"

  std::ostringstream console;
  const char* argv[] = {"scribeline", imagePath.c_str()};
  EXPECT_EQ(
      runProgram(
          2, argv, console, [&](std::string*) { return windows; }, settings),
      1);

  const cv::Mat mask = cv::imread(imagePath + "_Mask.png", cv::IMREAD_COLOR);
  ASSERT_EQ(mask.size(), cv::Size(60, 40));
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
      const bool wellInside = x >= 22 && x <= 37 && y >= 14 && y <= 25;
      const bool wellOutside = x < 18 || x > 41 || y < 10 || y > 29;
      if (wellInside) {
        EXPECT_EQ(pixel, colourOfLabel(5)) << "(" << x << ", " << y << ")";
      }
      if (wellOutside) {
        EXPECT_EQ(pixel, colourOfLabel(0)) << "(" << x << ", " << y << ")";
      }
      EXPECT_TRUE(pixel == colourOfLabel(5) || pixel == colourOfLabel(0));
    }
  }
}

}  // namespace
}  // namespace scribeline
