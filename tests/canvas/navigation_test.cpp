// The wheel, the middle button and the arrow keys, through the main and
// "Mask" windows.
#include "canvas/navigation.h"

#include <gtest/gtest.h>

#include "canvas/view.h"
#include "tests/canvas/views_fixture.h"

namespace scribeline {
namespace {

// The "Mask" window follows the main view's zoom and pan pixel for pixel,
// and navigating in it moves the main view too.
TEST_F(SamplePhoto, MaskWindowFollowsTheMainView) {
  showMask();
  registerMainMouse(workspace, kMaskWindow);
  windows.sendMouse(kMainWindow, kMouseWheel, 100, 80,
                    wheelFlags(3 * kWheelNotch));
  windows.sendMouse(kMainWindow, kMiddleButtonDown, 300, 200,
                    kMouseFlagMiddleButton);
  windows.sendMouse(kMainWindow, kMouseMove, 250, 170, kMouseFlagMiddleButton);
  windows.sendMouse(kMainWindow, kMiddleButtonUp, 240, 160, 0);
  const Viewport& main = workspace.views.main;
  const Viewport& mask = workspace.views.mask;
  EXPECT_GT(main.scale(), 2.0);
  EXPECT_EQ(mask.scale(), main.scale());
  EXPECT_EQ(mask.offset(), main.offset());
  expectMaskShownThrough(mask);

  windows.sendMouse(kMaskWindow, kMouseWheel, 10, 10, wheelFlags(-kWheelNotch));
  EXPECT_EQ(main.scale(), mask.scale());
  EXPECT_EQ(main.offset(), mask.offset());
  expectMaskShownThrough(mask);
  EXPECT_EQ(windows.lastShown(kMainWindow).size(), main.windowSize());
}

// Arrow keys pan by an eighth of the window.
TEST_F(SamplePhoto, PanStepsAnEighthOfTheWindow) {
  windows.sendMouse(kMainWindow, kMouseWheel, 300, 200,
                    wheelFlags(2 * kWheelNotch));
  const cv::Point before = workspace.views.main.toPhoto({300, 200});
  const cv::Size photo = workspace.image.size();
  panStep(workspace.views, windows, photo, {1, 0});
  EXPECT_EQ(workspace.views.main.toPhoto({300 - 75, 200}), before);
  panStep(workspace.views, windows, photo, {0, -1});
  EXPECT_EQ(workspace.views.main.toPhoto({300 - 75, 200 + 50}), before);
}

}  // namespace
}  // namespace scribeline
