// Opening the windows and keeping the views the size of their pictures.
#include "canvas/window_placement.h"

#include <gtest/gtest.h>

#include "canvas/view.h"
#include "tests/canvas/views_fixture.h"

namespace scribeline {
namespace {

// On a roomy screen the "Mask" window opens beside the main window, at its
// size, and shows the whole mask one to one.
TEST_F(SamplePhoto, MaskWindowOpensBesideTheMainWindow) {
  showMask();
  EXPECT_TRUE(
      (windows.pictureArea(kMaskWindow) & windows.pictureArea(kMainWindow))
          .empty());
  EXPECT_EQ(windows.modeOf(kMaskWindow), WindowMode::Scale100);
  EXPECT_EQ(
      cv::norm(windows.lastShown(kMaskWindow), workspace.mask, cv::NORM_INF),
      0);
}

// A user-resized free-scale window gets pictures of its new size, fitted
// again while the whole photo is shown.
TEST_F(SamplePhoto, ResizedWindowIsFittedAgain) {
  windows.resizeByUser(kMainWindow, {300, 300});
  recomposeAndShow(workspace);
  EXPECT_EQ(windows.lastShown(kMainWindow).size(), cv::Size(300, 300));
  EXPECT_EQ(workspace.views.main.scaledSize(), cv::Size(300, 200));
}

}  // namespace
}  // namespace scribeline
