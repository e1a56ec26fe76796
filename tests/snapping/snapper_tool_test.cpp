// The lSnapper tool inside a whole workspace over the scripted window
// system: strokes from the main window's mouse, the toolbox pick, Backspace,
// and what the "Mask" and main windows show.
#include "snapping/snapper_tool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "app/commands.h"
#include "app/session.h"
#include "app/tools.h"
#include "canvas/mask_steps.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

constexpr int kWidth = 80, kHeight = 60;
const int kLeftButton = kMouseFlagLeftButton;

cv::Vec3b colourOf(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(colour[0], colour[1], colour[2]);
}

// Left half red, right half blue.
cv::Mat twoColourPhoto() {
  cv::Mat image(kHeight, kWidth, CV_8UC3, cv::Scalar(0, 0, 200));
  image(cv::Rect(kWidth / 2, 0, kWidth / 2, kHeight)) = cv::Scalar(200, 0, 0);
  return image;
}

// The lSnapper tool counting the pictures of the main view it draws on:
// each composeView draws the current tool's overlay once.
class CountingSnapperTool : public SnapperTool {
 public:
  void drawOverlay(Workspace& workspace) override {
    ++composes;
    SnapperTool::drawOverlay(workspace);
  }
  int composes = 0;
};

class SnapperToolTest : public testing::Test {
 protected:
  void SetUp() override {
    workspace.image = twoColourPhoto();
    workspace.labelListPath = "no_such_label_list.txt";
    installTools(workspace);
    workspace.tools[kToolSnapper] = std::make_unique<CountingSnapperTool>();
    startUp(workspace, "no_such_photo.png");
    ASSERT_EQ(runCommand(workspace, '1'), CommandResult::Continue);
    tool = dynamic_cast<SnapperTool*>(workspace.tools[kToolSnapper].get());
    ASSERT_NE(tool, nullptr);
  }

  const LSnapper& snapper() const { return *tool->snapper(); }
  void pick(int label) {
    ASSERT_TRUE(
        windows.sendMouse(kToolboxWindow, kLeftButtonDown, 60, label * 20 + 5));
    ASSERT_EQ(workspace.currentLabel, label);
  }
  void mouse(int event, int x, int y, int flags) {
    windows.sendMouse(kMainWindow, event, x, y, flags);
  }
  void drag(std::vector<cv::Point> path) {
    mouse(kLeftButtonDown, path.front().x, path.front().y, kLeftButton);
    for (size_t k = 1; k < path.size(); ++k)
      mouse(kMouseMove, path[k].x, path[k].y, kLeftButton);
    mouse(kLeftButtonUp, path.back().x, path.back().y, 0);
  }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace{windows, console};
  SnapperTool* tool = nullptr;
};

TEST_F(SnapperToolTest, StartUpBuildsTheModelBetweenTheProgressTexts) {
  EXPECT_NE(console.str().find("Over-segmenting.... DONE\n\n"),
            std::string::npos);
  EXPECT_GE(snapper().n, 2);
  EXPECT_EQ(snapper().superpixelMap.size(), workspace.image.total());
  EXPECT_EQ(snapper().currentStrokes, &snapper().labelStrokes[0]);
  EXPECT_FALSE(windows.isOpen(kMaskWindow));
}

// Each stroke crosses its half up to near the colour edge, so that it also
// touches the narrow superpixels the smoothing leaves along that edge.
TEST_F(SnapperToolTest, OneStrokePerLabelPaintsTheTwoHalves) {
  pick(1);
  drag({{5, 10}, {20, 30}, {37, 30}});
  ASSERT_TRUE(windows.isOpen(kMaskWindow));  // opened by the first solve
  EXPECT_EQ(windows.modeOf(kMaskWindow), WindowMode::Scale100);
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);
  pick(2);
  drag({{75, 50}, {60, 30}, {42, 30}});
  EXPECT_EQ(windows.showCount(kMaskWindow), 2);

  ASSERT_EQ(snapper().labelStrokes[1].size(), 1u);
  ASSERT_EQ(snapper().labelStrokes[2].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[1][0],
            (Stroke{{5, 10}, {20, 30}, {37, 30}, {37, 30}}));
  const cv::Mat shown = windows.lastShown(kMaskWindow);
  ASSERT_EQ(shown.size(), workspace.image.size());
  EXPECT_EQ(cv::norm(shown, workspace.mask, cv::NORM_INF), 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      ASSERT_EQ(shown.at<cv::Vec3b>(y, x), colourOf(x < kWidth / 2 ? 1 : 2))
          << "x " << x << " y " << y;
    }
  }
  // The main view shows both strokes in their colours.
  const cv::Mat view = windows.lastShown(kMainWindow);
  EXPECT_EQ(view.at<cv::Vec3b>(30, 25), colourOf(1));
  EXPECT_EQ(view.at<cv::Vec3b>(30, 50), colourOf(2));
}

// One event, one redraw: the main view is composed and shown once for every
// event of a stroke, the solving release included, and each picture already
// shows the stroke so far.
TEST_F(SnapperToolTest, EveryEventOfAStrokeRedrawsOnce) {
  const CountingSnapperTool& counter =
      static_cast<const CountingSnapperTool&>(*tool);
  const std::vector<cv::Point> path = {{5, 10}, {15, 10}, {25, 10}, {30, 40}};
  const int shows = windows.showCount(kMainWindow);
  const int composes = counter.composes;
  mouse(kLeftButtonDown, path[0].x, path[0].y, kLeftButton);
  for (size_t k = 1; k < path.size(); ++k) {
    mouse(kMouseMove, path[k].x, path[k].y, kLeftButton);
    EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(path[k]),
              colourOf(0))
        << k;
  }
  mouse(kLeftButtonUp, path.back().x, path.back().y, 0);
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);  // the solve
  EXPECT_EQ(windows.showCount(kMainWindow) - shows, 5);
  EXPECT_EQ(counter.composes - composes, 5);
}

TEST_F(SnapperToolTest, BackspaceRemovesOnlyThePickedLabelsNewestStroke) {
  pick(1);
  drag({{5, 10}, {20, 10}});
  drag({{5, 40}, {20, 40}});
  pick(2);
  drag({{60, 30}, {70, 30}});
  const int maskShows = windows.showCount(kMaskWindow);
  const int mainShows = windows.showCount(kMainWindow);

  runCommand(workspace, 8);
  EXPECT_TRUE(snapper().labelStrokes[2].empty());
  EXPECT_EQ(snapper().labelStrokes[1].size(), 2u);
  EXPECT_EQ(windows.showCount(kMaskWindow), maskShows + 1);  // solved again
  for (int s = 0; s < snapper().n; ++s)
    EXPECT_NE(snapper().superpixels[s].seed, 2);

  runCommand(workspace, 8);  // nothing of label 2 left: only a redraw
  EXPECT_EQ(windows.showCount(kMaskWindow), maskShows + 1);
  EXPECT_EQ(windows.showCount(kMainWindow), mainShows + 2);
  EXPECT_EQ(snapper().labelStrokes[1].size(), 2u);

  pick(1);
  runCommand(workspace, 8);
  ASSERT_EQ(snapper().labelStrokes[1].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[1][0].front(), cv::Point(5, 10));
}

TEST_F(SnapperToolTest, BackspaceDuringAStrokeOnlyRedraws) {
  mouse(kLeftButtonDown, 10, 10, kLeftButton);
  mouse(kMouseMove, 12, 10, kLeftButton);
  runCommand(workspace, 8);
  ASSERT_EQ(snapper().labelStrokes[0].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[0][0].size(), 2u);
  EXPECT_FALSE(windows.isOpen(kMaskWindow));
  EXPECT_TRUE(tool->strokeUnderWay());
}

TEST_F(SnapperToolTest, ToolboxPickRoutesNewStrokesAndColours) {
  pick(4);
  EXPECT_EQ(snapper().currentStrokes, &snapper().labelStrokes[4]);
  drag({{10, 20}, {30, 20}});
  ASSERT_EQ(snapper().labelStrokes[4].size(), 1u);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(20, 20), colourOf(4));
}

TEST_F(SnapperToolTest, PickDuringAStrokeKeepsTheStrokeInItsLabel) {
  pick(1);
  mouse(kLeftButtonDown, 10, 10, kLeftButton);
  pick(4);  // the list of label 4 holds no stroke yet
  mouse(kMouseMove, 15, 10, kLeftButton);
  mouse(kLeftButtonUp, 20, 10, 0);
  ASSERT_EQ(snapper().labelStrokes[1].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[1][0],
            (Stroke{{10, 10}, {15, 10}, {20, 10}}));
  EXPECT_TRUE(snapper().labelStrokes[4].empty());
  EXPECT_FALSE(tool->strokeUnderWay());
  drag({{50, 10}, {60, 10}});
  EXPECT_EQ(snapper().labelStrokes[4].size(), 1u);
}

TEST_F(SnapperToolTest, ReleaseOutsideEndsAtTheNextEventWithoutTheButton) {
  mouse(kLeftButtonDown, 10, 10, kLeftButton);
  mouse(kMouseMove, 30, 10, kLeftButton);
  mouse(kLeftButtonUp, kWidth + 5, 10, 0);  // outside: never reaches the tool
  EXPECT_TRUE(tool->strokeUnderWay());
  mouse(kMouseMove, 35, 12, kLeftButton);  // still held as far as we know
  EXPECT_FALSE(windows.isOpen(kMaskWindow));
  mouse(kMouseMove, 40, 20, 0);  // the button is up
  EXPECT_FALSE(tool->strokeUnderWay());
  ASSERT_EQ(snapper().labelStrokes[0].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[0][0],
            (Stroke{{10, 10}, {30, 10}, {35, 12}, {40, 20}}));
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);
  mouse(kMouseMove, 45, 20, 0);  // idle moves add nothing
  EXPECT_EQ(snapper().labelStrokes[0][0].size(), 4u);
}

TEST_F(SnapperToolTest, ClickWithoutMovementSolvesButSeedsNothing) {
  mouse(kLeftButtonDown, 25, 25, kLeftButton);
  mouse(kLeftButtonUp, 25, 25, 0);
  ASSERT_EQ(snapper().labelStrokes[0].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[0][0], (Stroke{{25, 25}, {25, 25}}));
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);
  for (const Superpixel& superpixel : snapper().superpixels)
    EXPECT_EQ(superpixel.seed, -1);
}

TEST_F(SnapperToolTest, SwitchingToolsEndsTheStrokeUnderWay) {
  pick(3);
  mouse(kLeftButtonDown, 10, 10, kLeftButton);
  mouse(kMouseMove, 20, 20, kLeftButton);
  runCommand(workspace, '2');
  EXPECT_FALSE(tool->strokeUnderWay());
  EXPECT_EQ(workspace.currentTool, kToolPen);
  ASSERT_EQ(snapper().labelStrokes[3].size(), 1u);
  EXPECT_EQ(snapper().labelStrokes[3][0], (Stroke{{10, 10}, {20, 20}}));
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);
}

TEST_F(SnapperToolTest, SolveOverwritesPenWork) {
  workspace.mask(cv::Rect(0, 0, 10, 10)) = cv::Scalar(255, 255, 255);
  drag({{50, 30}, {60, 30}});
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(5, 5), colourOf(0));
}

// Paint the last solve did not write (here as if loaded with the mask) is
// counted when a solve replaces it; the solve's own earlier output is not.
TEST_F(SnapperToolTest, SolveSaysHowManyPixelsFromElsewhereItReplaced) {
  const std::string line =
      " pixels painted otherwise were replaced; Ctrl+Z takes them back\n";
  workspace.mask(cv::Rect(0, 0, 10, 10)) = labelColor(7);
  workspace.mask(cv::Rect(70, 50, 4, 4)) = labelColor(0);  // as a solve would
  recordMaskStep(workspace);
  const cv::Mat loaded = workspace.mask.clone();
  console.str("");
  drag({{50, 30}, {60, 30}});  // label 0 everywhere
  EXPECT_EQ(console.str(), "100" + line);

  console.str("");
  pick(1);
  drag({{5, 10}, {20, 30}, {37, 30}});  // the left half becomes label 1
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(30, 5), colourOf(1));
  EXPECT_EQ(console.str().find(line), std::string::npos);

  workspace.mask(cv::Rect(60, 40, 5, 3)) = cv::Scalar::all(255);
  workspace.mask(cv::Rect(10, 40, 2, 2)) = labelColor(0);
  recordMaskStep(workspace);
  console.str("");
  pick(0);
  drag({{70, 10}, {75, 20}});
  EXPECT_EQ(console.str(), "19" + line);

  // Ctrl+Z takes the replaced paint back, step by step.
  for (int i = 0; i < 4; ++i) runCommand(workspace, kKeyUndo);
  EXPECT_EQ(cv::norm(workspace.mask, loaded, cv::NORM_INF), 0);
}

// Strokes of two labels in the red half, one superpixel: each label holds
// around its stroke in the mask shown, and undo and redo take the split back
// and bring it again together with the stroke.
TEST_F(SnapperToolTest, StrokesOfTwoLabelsInOneSuperpixelBothShow) {
  pick(1);
  drag({{4, 30}, {10, 30}});
  const cv::Mat before = workspace.mask.clone();
  ASSERT_TRUE(snapper().splits.empty());
  pick(2);
  drag({{26, 30}, {32, 30}});
  ASSERT_EQ(snapper().splits.size(), 1u);
  const cv::Mat after = workspace.mask.clone();
  EXPECT_EQ(cv::norm(windows.lastShown(kMaskWindow), after, cv::NORM_INF), 0);
  for (int y = 24; y <= 36; ++y) {
    EXPECT_EQ(after.at<cv::Vec3b>(y, 7), colourOf(1)) << y;
    EXPECT_EQ(after.at<cv::Vec3b>(y, 29), colourOf(2)) << y;
  }
  EXPECT_EQ(after.at<cv::Vec3b>(30, 60), before.at<cv::Vec3b>(30, 60));

  // The split is the solve's own output: the next solve does not count it
  // as paint from elsewhere.
  console.str("");
  pick(3);
  drag({{60, 10}, {66, 10}});
  EXPECT_EQ(console.str().find("painted otherwise"), std::string::npos)
      << console.str();
  ASSERT_TRUE(undoMaskStep(workspace));
  EXPECT_EQ(cv::norm(workspace.mask, after, cv::NORM_INF), 0);
  pick(2);

  ASSERT_TRUE(undoMaskStep(workspace));
  EXPECT_TRUE(snapper().splits.empty());
  EXPECT_TRUE(snapper().labelStrokes[2].empty());
  EXPECT_EQ(cv::norm(workspace.mask, before, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(windows.lastShown(kMaskWindow), before, cv::NORM_INF), 0);
  ASSERT_TRUE(redoMaskStep(workspace));
  EXPECT_EQ(snapper().splits.size(), 1u);
  EXPECT_EQ(cv::norm(workspace.mask, after, cv::NORM_INF), 0);

  // Backspace: the label-2 stroke goes, and with it the split, whose part
  // of label 2 was the solve's own output, not paint from elsewhere.
  console.str("");
  runCommand(workspace, 8);
  EXPECT_TRUE(snapper().splits.empty());
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(30, 29), colourOf(1));
  EXPECT_EQ(console.str().find("painted otherwise"), std::string::npos)
      << console.str();
}

// Taking back either stroke of a split superpixel ends the split: the part
// of the other label was the solve's own output, not paint from elsewhere.
TEST_F(SnapperToolTest, EndingASplitReplacesNoPaint) {
  for (const int takenBack : {1, 2}) {
    SCOPED_TRACE(takenBack);
    pick(1);
    drag({{4, 30}, {10, 30}});
    pick(2);
    drag({{26, 30}, {32, 30}});
    ASSERT_EQ(snapper().splits.size(), 1u);
    console.str("");
    pick(takenBack);
    runCommand(workspace, 8);  // Backspace
    EXPECT_TRUE(snapper().splits.empty());
    EXPECT_EQ(workspace.mask.at<cv::Vec3b>(30, 7), colourOf(3 - takenBack));
    EXPECT_EQ(console.str().find("painted otherwise"), std::string::npos)
        << console.str();
    pick(3 - takenBack);
    runCommand(workspace, 8);
  }
}

// Paint from elsewhere inside a superpixel that the solve splits is judged by
// the colour of the split part it lies in, not by the superpixel's label.
TEST_F(SnapperToolTest, ReplacedPaintInASplitSuperpixelFollowsTheSplit) {
  pick(1);
  drag({{4, 30}, {10, 30}});
  workspace.mask(cv::Rect(5, 20, 4, 2)) = labelColor(3);   // left: replaced
  workspace.mask(cv::Rect(5, 38, 2, 2)) = labelColor(2);   // left: replaced
  workspace.mask(cv::Rect(27, 36, 3, 2)) = labelColor(2);  // right: kept
  recordMaskStep(workspace);
  console.str("");
  pick(2);
  drag({{26, 30}, {32, 30}});
  ASSERT_EQ(snapper().splits.size(), 1u);
  ASSERT_EQ(workspace.mask.at<cv::Vec3b>(20, 5), colourOf(1));
  ASSERT_EQ(workspace.mask.at<cv::Vec3b>(36, 27), colourOf(2));
  EXPECT_EQ(console.str(),
            "12 pixels painted otherwise were replaced; Ctrl+Z takes them "
            "back\n");
}

// The optimiser's memory in the tests below: every request fails while
// memoryExhausted is set.
bool memoryExhausted = false;
void* exhaustibleAllocation(std::size_t bytes) {
  return memoryExhausted ? nullptr : std::malloc(bytes);
}

class SnapperToolMemoryTest : public SnapperToolTest {
 protected:
  // Rebuilds the tool's engine over exhaustibleAllocation, then solves a
  // label-1 stroke over the left half.
  void SetUp() override {
    SnapperToolTest::SetUp();
    LSnapper& engine = const_cast<LSnapper&>(snapper());
    engine.optimizerAllocation = exhaustibleAllocation;
    buildSnapperModel(engine);
    pick(1);
    drag({{5, 10}, {20, 30}, {37, 30}});
  }
  void TearDown() override { memoryExhausted = false; }
};

// A stroke whose solve runs out of memory is taken back: strokes, labels and
// mask stay as the solve before left them, the "Mask" window is not shown
// again, one console line says so, and the next stroke solves as usual.
TEST_F(SnapperToolMemoryTest, StrokeThatRunsOutOfMemoryIsTakenBack) {
  const LabelStrokes strokes = snapper().labelStrokes;
  const std::vector<int> labels = snapper().superpixelLabels;
  const cv::Mat mask = workspace.mask.clone();
  const int maskShows = windows.showCount(kMaskWindow);
  const int mainShows = windows.showCount(kMainWindow);
  const std::string consoleBefore = console.str();

  pick(2);
  memoryExhausted = true;
  drag({{75, 50}, {60, 30}, {42, 30}});
  memoryExhausted = false;
  EXPECT_EQ(snapper().labelStrokes, strokes);
  EXPECT_EQ(snapper().superpixelLabels, labels);
  EXPECT_EQ(cv::norm(workspace.mask, mask, cv::NORM_INF), 0);
  EXPECT_EQ(windows.showCount(kMaskWindow), maskShows);
  EXPECT_GT(windows.showCount(kMainWindow), mainShows);
  EXPECT_NE(windows.lastShown(kMainWindow).at<cv::Vec3b>(30, 50), colourOf(2));
  EXPECT_EQ(console.str(),
            consoleBefore + "Could not solve the stroke: not enough memory\n");
  EXPECT_FALSE(tool->strokeUnderWay());

  drag({{75, 50}, {60, 30}, {42, 30}});
  ASSERT_EQ(snapper().labelStrokes[2].size(), 1u);
  EXPECT_EQ(workspace.mask.at<cv::Vec3b>(30, 70), colourOf(2));
  EXPECT_EQ(windows.showCount(kMaskWindow), maskShows + 1);
}

// Backspace whose solve runs out of memory puts the stroke back.
TEST_F(SnapperToolMemoryTest, BackspaceThatRunsOutOfMemoryKeepsTheStroke) {
  pick(2);
  drag({{75, 50}, {60, 30}, {42, 30}});
  const LabelStrokes strokes = snapper().labelStrokes;
  const cv::Mat mask = workspace.mask.clone();
  const std::string consoleBefore = console.str();

  memoryExhausted = true;
  runCommand(workspace, 8);
  memoryExhausted = false;
  EXPECT_EQ(snapper().labelStrokes, strokes);
  EXPECT_EQ(cv::norm(workspace.mask, mask, cv::NORM_INF), 0);
  EXPECT_EQ(console.str(),
            consoleBefore + "Could not solve the stroke: not enough memory\n");
}

}  // namespace
}  // namespace scribeline
