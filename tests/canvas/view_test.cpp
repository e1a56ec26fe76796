#include "canvas/view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <opencv2/core.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "canvas/opacity.h"
#include "canvas/pen.h"
#include "canvas/window_placement.h"
#include "palette/palette.h"
#include "tests/canvas/random_image.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// The blend as matrix arithmetic on doubles, one rounded operation per step
// of (1 - a) * P + a * M, stored back to 8 bits by the library's conversion.
// (cv::addWeighted is no oracle: it may fuse the multiply and the add.)
cv::Mat matrixBlend(const cv::Mat& photo, const cv::Mat& mask, double a) {
  cv::Mat p, m, weightedPhoto, weightedMask, sum, out;
  photo.convertTo(p, CV_64F);
  mask.convertTo(m, CV_64F);
  cv::multiply(p, cv::Scalar::all(1.0 - a), weightedPhoto);
  cv::multiply(m, cv::Scalar::all(a), weightedMask);
  cv::add(weightedPhoto, weightedMask, sum);
  sum.convertTo(out, CV_8U);
  return out;
}

int differingBytes(const cv::Mat& a, const cv::Mat& b) {
  return cv::countNonZero(a.reshape(1) != b.reshape(1));
}

// 256 x 256 pixels in which each channel meets every (photo, mask) byte
// pair once, at differing offsets within the SIMD blocks.
void everyBytePair(cv::Mat& photo, cv::Mat& mask) {
  photo.create(256, 256, CV_8UC3);
  mask.create(256, 256, CV_8UC3);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      photo.at<cv::Vec3b>(y, x) = cv::Vec3b(y, x, 255 - y);
      mask.at<cv::Vec3b>(y, x) = cv::Vec3b(x, y, 255 - x);
    }
}

// Opacities the keys can reach from 0.4, including the drifted ones, and
// 0.5 where exact ties between two bytes occur.
class BlendTest : public testing::TestWithParam<double> {};

TEST_P(BlendTest, MatchesMatrixArithmeticOnEveryBytePair) {
  cv::Mat photo, mask;
  everyBytePair(photo, mask);
  ViewScratch scratch;
  cv::Mat out;
  blendMask(photo, mask, GetParam(), scratch, out);
  EXPECT_EQ(differingBytes(out, matrixBlend(photo, mask, GetParam())), 0);
}

TEST_P(BlendTest, MatchesMatrixArithmeticOnRandomPhoto) {
  const unsigned seed = 20261210;
  SCOPED_TRACE("seed " + std::to_string(seed));
  // Row lengths of 291 and 183 bytes: wide blocks, narrow blocks and a tail.
  for (cv::Size size : {cv::Size(97, 61), cv::Size(61, 40)}) {
    cv::Mat photo = randomImage(size, seed);
    cv::Mat mask = randomImage(size, seed + 1);
    ViewScratch scratch;
    cv::Mat out;
    blendMask(photo, mask, GetParam(), scratch, out);
    EXPECT_EQ(differingBytes(out, matrixBlend(photo, mask, GetParam())), 0)
        << "width " << size.width;
  }
}

INSTANTIATE_TEST_SUITE_P(Opacities, BlendTest,
                         testing::Values(0.05, 0.05000000000000007, 0.4, 0.45,
                                         0.5, 0.55, 0.95, 1.0));

// The blend of one byte as defined, for comparison byte by byte.
cv::Mat formulaBlend(const cv::Mat& photo, const cv::Mat& mask, double a) {
  cv::Mat out(photo.size(), photo.type());
  for (int y = 0; y < photo.rows; ++y)
    for (int x = 0; x < photo.cols * photo.channels(); ++x)
      out.ptr<uchar>(y)[x] = cv::saturate_cast<uchar>(
          (1.0 - a) * photo.ptr<uchar>(y)[x] + a * mask.ptr<uchar>(y)[x]);
  return out;
}

std::string opacityName(const testing::TestParamInfo<double>& info) {
  char name[40];
  std::snprintf(name, sizeof name, "%.17g", info.param);
  std::string text = name;
  for (char& c : text)
    if (c == '.') c = '_';
  return text;
}

class ReachableOpacityTest : public testing::TestWithParam<double> {};

TEST_P(ReachableOpacityTest, EveryBytePairAndRandomRowsMatchTheFormula) {
  const double a = GetParam();
  cv::Mat photo, mask;
  everyBytePair(photo, mask);
  ViewScratch scratch;
  cv::Mat out;
  blendMask(photo, mask, a, scratch, out);
  EXPECT_EQ(differingBytes(out, formulaBlend(photo, mask, a)), 0);
  // The vector code is checked against the table when the table is built
  // and dropped (fixedPointUse 0, table only) if it ever disagrees: that
  // must not happen at an opacity the keys reach.
  EXPECT_NE(scratch.fixedPointUse, 0);

  // Odd widths: rows of 3 to 201 bytes end in partial blocks. The scratch
  // is reused, as it is between redraws.
  const unsigned seed = 20261211;
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (int width : {1, 5, 11, 21, 67}) {
    const cv::Size size(width, 7);
    cv::Mat randomPhoto = randomImage(size, seed + width);
    cv::Mat randomMask = randomImage(size, seed + 1000 + width);
    blendMask(randomPhoto, randomMask, a, scratch, out);
    EXPECT_EQ(differingBytes(out, formulaBlend(randomPhoto, randomMask, a)), 0)
        << "width " << width;
    // A mask painted with label colours, as the program's masks are, with
    // one pixel in some rows off the palette.
    cv::Mat labelMask(size, CV_8UC3);
    cv::RNG rng(seed + 2000 + width);
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x)
        labelMask(cv::Rect(x, y, 1, 1))
            .setTo(labelColor(rng.uniform(0, numLabels)));
    for (int y = 0; y < size.height; y += 3)
      labelMask.at<cv::Vec3b>(y, width / 2) = cv::Vec3b(7, 200, 99);
    blendMask(randomPhoto, labelMask, a, scratch, out);
    EXPECT_EQ(differingBytes(out, formulaBlend(randomPhoto, labelMask, a)), 0)
        << "label colours, width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(KeySteps, ReachableOpacityTest,
                         testing::ValuesIn(reachableOpacities()), opacityName);

TEST(BlendTest, TableFollowsAnOpacityChange) {
  cv::Mat photo = randomImage({8, 8}, 7), mask = randomImage({8, 8}, 8);
  ViewScratch scratch;
  cv::Mat out;
  blendMask(photo, mask, 0.4, scratch, out);
  blendMask(photo, mask, 0.9, scratch, out);
  EXPECT_EQ(differingBytes(out, matrixBlend(photo, mask, 0.9)), 0);
}

// A tool that records its overlay calls and marks the picture.
class MarkingTool : public Tool {
 public:
  void drawOverlay(Workspace& workspace) override {
    ++overlays;
    workspace.viewImage.at<cv::Vec3b>(0, 0) = cv::Vec3b(1, 2, 3);
  }
  int overlays = 0;
};

struct ViewFixture : testing::Test {
  ViewFixture() : workspace(windows, console) {
    workspace.image = randomImage({20, 10}, 3);
    workspace.mask = randomImage({20, 10}, 4);
    for (auto& tool : workspace.tools) tool = std::make_unique<MarkingTool>();
  }
  MarkingTool& tool(int number) {
    return static_cast<MarkingTool&>(*workspace.tools[number]);
  }
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
};

TEST_F(ViewFixture, OverlayOffShowsThePhotographWhateverTheMask) {
  workspace.currentTool = kToolPen;
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  recomposeAndShow(workspace);
  EXPECT_EQ(differingBytes(windows.lastShown(kMainWindow), workspace.image), 0);
  EXPECT_TRUE(workspace.viewImage.empty());
}

TEST_F(ViewFixture, OverlayEdgeOpacities) {
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  workspace.currentTool = kToolPen;
  workspace.maskOverlay = true;
  workspace.maskOpacity = 1.0;
  recomposeAndShow(workspace);
  EXPECT_EQ(differingBytes(windows.lastShown(kMainWindow), workspace.mask), 0);

  workspace.maskOpacity = 0.4;
  workspace.mask.setTo(cv::Scalar::all(0));
  recomposeAndShow(workspace);
  cv::Mat expected;
  workspace.image.convertTo(expected, CV_8U, 0.6);
  EXPECT_EQ(differingBytes(windows.lastShown(kMainWindow), expected), 0);
}

TEST_F(ViewFixture, OnlyTheCurrentToolDrawsItsOverlayOverTheBlend) {
  workspace.currentTool = kToolSnapper;
  workspace.maskOverlay = true;
  recomposeAndShow(workspace);
  EXPECT_EQ(tool(kToolScissors).overlays, 0);
  EXPECT_EQ(tool(kToolSnapper).overlays, 1);
  EXPECT_EQ(tool(kToolPen).overlays, 0);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(0, 0),
            cv::Vec3b(1, 2, 3));
}

TEST_F(ViewFixture, ShowWithoutPictureShowsNothing) {
  showView(workspace);
  EXPECT_EQ(windows.showCount(kMainWindow), 0);
}

TEST_F(ViewFixture, ShownPictureIsNotChangedByLaterRedraws) {
  workspace.currentTool = kToolPen;
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  recomposeAndShow(workspace);
  const cv::Mat first = windows.lastShown(kMainWindow);
  workspace.maskOverlay = true;
  workspace.maskOpacity = 1.0;
  recomposeAndShow(workspace);
  EXPECT_EQ(differingBytes(first, workspace.image), 0);
}

// The photo reduced ahead, while the first windows open, gives the first
// view exactly; when the main window then gets another picture size (the
// screen's free area changed meanwhile), the view is reduced on the spot and
// the reduction made ahead is left unused.
TEST(ReducedAheadTest, FirstViewIsTheOneReducedOnTheSpot) {
  const cv::Mat photo = randomImage({3000, 2000}, 3);
  const auto firstView = [&](bool ahead, bool screenChanges) {
    ScriptedWindowSystem windows;
    std::ostringstream console;
    Workspace workspace(windows, console);
    workspace.image = photo;
    workspace.mask = cv::Mat::zeros(photo.size(), CV_8UC3);
    workspace.toolsBuilt = true;
    if (ahead) reduceMainViewAhead(workspace);
    if (screenChanges) windows.setFreeArea({0, 0, 1500, 900});
    openMainWindow(workspace.views, windows, photo.size(),
                   WindowMode::FreeScale);
    recomposeAndShow(workspace);
    EXPECT_LT(workspace.views.main.scale(), 1.0);
    EXPECT_EQ(workspace.views.reducedAhead.valid(), ahead && screenChanges);
    return windows.lastShown(kMainWindow);
  };
  for (const bool screenChanges : {false, true}) {
    SCOPED_TRACE(screenChanges);
    const cv::Mat reducedAhead = firstView(true, screenChanges);
    const cv::Mat reducedThen = firstView(false, screenChanges);
    ASSERT_EQ(reducedAhead.size(), reducedThen.size());
    EXPECT_EQ(cv::norm(reducedAhead, reducedThen, cv::NORM_INF), 0);
  }
}

// The reduced view keeps a sampled copy of the mask: what the pen paints
// shows in the picture of the same event, and what a writer reports through
// markMaskChanged shows at the next redraw.
TEST(ReducedMaskTest, ShowsEveryChange) {
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = cv::Mat(2500, 4000, CV_8UC3, cv::Scalar(90, 90, 90));
  workspace.mask = cv::Mat::zeros(workspace.image.size(), CV_8UC3);
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 5;
  workspace.penRadius = 10;
  workspace.maskOverlay = true;
  workspace.maskOpacity = kMaxOpacity;
  workspace.toolsBuilt = true;
  openMainWindow(workspace.views, windows, workspace.image.size(),
                 WindowMode::FreeScale);
  registerMainMouse(workspace, kMainWindow);
  recomposeAndShow(workspace);
  ASSERT_LT(workspace.views.main.scale(), 1.0);
  const cv::Vec3b black(0, 0, 0), label5(128, 0, 128), label7(128, 128, 128);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), black);
  windows.sendMouse(kMainWindow, kLeftButtonDown, 500, 300,
                    kMouseFlagLeftButton);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), label5);
  windows.sendMouse(kMainWindow, kLeftButtonUp, 500, 300, 0);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), label5);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 520), black);
  workspace.mask(cv::Rect(2000, 1000, 500, 500)).setTo(cv::Scalar(label7));
  markMaskChanged(workspace.views, cv::Rect(2000, 1000, 500, 500));
  recomposeAndShow(workspace);
  const cv::Point inside = workspace.views.main.toWindowCentre({2250, 1250});
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(inside), label7);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), label5);
}

// Recorded steps, undo and redo reach the reduced view's copy of the mask
// through the area each changed, and only that area is sampled again.
TEST(ReducedMaskTest, StepsUndoAndRedoShowTheirChange) {
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = cv::Mat(2500, 4000, CV_8UC3, cv::Scalar(90, 90, 90));
  workspace.mask = cv::Mat::zeros(workspace.image.size(), CV_8UC3);
  workspace.maskOverlay = true;
  workspace.maskOpacity = kMaxOpacity;
  openMainWindow(workspace.views, windows, workspace.image.size(),
                 WindowMode::FreeScale);
  startMaskHistory(workspace);
  recomposeAndShow(workspace);
  ASSERT_LT(workspace.views.main.scale(), 1.0);
  const cv::Vec3b black(0, 0, 0), label7(128, 128, 128);
  const cv::Rect area(2000, 1000, 500, 300);
  const cv::Point inside = workspace.views.main.toWindowCentre({2250, 1150});
  auto shownAt = [&](cv::Point at) {
    return windows.lastShown(kMainWindow).at<cv::Vec3b>(at);
  };

  workspace.mask(area).setTo(cv::Scalar(label7));
  ASSERT_TRUE(recordMaskStep(workspace));
  EXPECT_FALSE(workspace.views.maskChanged.empty());
  EXPECT_EQ(workspace.views.maskChanged & area, area);
  EXPECT_LT(workspace.views.maskChanged.area(), 4 * area.area());
  recomposeAndShow(workspace);
  EXPECT_EQ(shownAt(inside), label7);
  EXPECT_TRUE(workspace.views.maskChanged.empty());

  ASSERT_TRUE(undoMaskStep(workspace));
  EXPECT_EQ(shownAt(inside), black);
  ASSERT_TRUE(redoMaskStep(workspace));
  EXPECT_EQ(shownAt(inside), label7);
  // A mask left unchanged is not sampled again.
  EXPECT_FALSE(recordMaskStep(workspace));
  EXPECT_TRUE(workspace.views.maskChanged.empty());
}

}  // namespace
}  // namespace scribeline
