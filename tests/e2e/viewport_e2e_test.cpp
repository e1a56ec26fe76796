// The built program with a photo larger than the screen, under its own X
// server: the wheel zooms around the pointer, the middle button and the
// arrow keys pan, every press lands on the photo pixel under the pointer,
// and the windows do not cover each other.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Size kScreen(1280, 1024);
const cv::Size kPhotoSize(2000, 1500);
// Beside the 180-pixel toolbox and a 4-pixel gap, the photo fitted into
// 1096 x 1024 is reduced to 0.548.
const cv::Size kFittedWindow(1096, 822);
const cv::Vec3b kLabel5(128, 0, 128);

// Every pixel tells where it is: blue and green hold the low bytes of x and
// y, red their high nibbles.
cv::Vec3b codeOf(int x, int y) {
  return cv::Vec3b(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

cv::Point decode(const cv::Vec3b& pixel) {
  return {pixel[0] + ((pixel[2] >> 4) << 8), pixel[1] + ((pixel[2] & 15) << 8)};
}

cv::Mat codedPhoto() {
  cv::Mat photo(kPhotoSize, CV_8UC3);
  for (int y = 0; y < photo.rows; ++y)
    for (int x = 0; x < photo.cols; ++x)
      photo.at<cv::Vec3b>(y, x) = codeOf(x, y);
  return photo;
}

class ViewportTest : public ::testing::Test {
 protected:
  void start() {
    ASSERT_FALSE(session.display().empty());
    ASSERT_TRUE(cv::imwrite(session.workPath("big.png"), codedPhoto()));
    session.copyIn(sourcePath("label_list.txt"));
    session.launch(SCRIBELINE_BINARY, {"big.png"});
    ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
        << session.output() << session.errorOutput();
    ASSERT_TRUE(session.waitForWindowSize("Scribeline", kFittedWindow))
        << session.windowSize("Scribeline");
  }

  // Pen of radius 1 (a plus of five pixels) in label 5.
  void takePen() {
    session.click("Toolbox", 100, 5 * 20 + 10);
    session.key("Scribeline", "2");
    ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
    session.key("Scribeline", "comma");
    session.key("Scribeline", "comma");
    ASSERT_TRUE(session.waitForOutput("current pen radius = 1\n"));
  }

  // Waits until the program has handled everything sent so far: a key is
  // handled after the pointer events before it.
  void settle() {
    std::string radius;
    session.key("Scribeline", "period");
    ASSERT_TRUE(session.waitForLine("current pen radius = ", &radius));
    session.key("Scribeline", "comma");
    ASSERT_TRUE(session.waitForLine("current pen radius = ", &radius));
  }

  // The photo pixel the main window shows at a window point. The pen's
  // outline is drawn around the pointer, so the pointer is moved to a
  // corner first, away from every point looked at.
  cv::Point shownAt(cv::Point at) {
    session.moveTo("Scribeline", 3, 3);
    settle();
    const cv::Mat shot = session.capture("Scribeline");
    if (!cv::Rect({0, 0}, shot.size()).contains(at)) return {-1, -1};
    return decode(shot.at<cv::Vec3b>(at));
  }

  XSession session{kScreen.width, kScreen.height};
};

// The saved mask holds exactly the plusses of radius-1 pen clicks at the
// given photo pixels.
void expectPlusses(const cv::Mat& mask, const std::vector<cv::Point>& at) {
  ASSERT_EQ(mask.size(), kPhotoSize);
  cv::Mat expected(kPhotoSize, CV_8UC3, cv::Scalar(0, 0, 0));
  for (const cv::Point& p : at)
    for (const cv::Point& d :
         {cv::Point(0, 0), cv::Point(1, 0), cv::Point(-1, 0), cv::Point(0, 1),
          cv::Point(0, -1)})
      expected.at<cv::Vec3b>(p + d) = kLabel5;
  cv::Mat differs;
  cv::compare(mask.reshape(1), expected.reshape(1), differs, cv::CMP_NE);
  EXPECT_EQ(cv::countNonZero(differs), 0);
  for (const cv::Point& p : at) EXPECT_EQ(mask.at<cv::Vec3b>(p), kLabel5) << p;
}

TEST_F(ViewportTest, ZoomAndPanKeepPressesOnThePixelUnderThePointer) {
  start();
  takePen();
  const cv::Point pointer(400, 300);
  // Six notches from 0.548: 0.707, 1, 1.41, 2, 2.83, 4 screen pixels per
  // photo pixel, around the pointer.
  session.wheel("Scribeline", pointer.x, pointer.y, 6);
  settle();
  const cv::Point first = shownAt(pointer);
  const double fitted = double(kFittedWindow.width) / kPhotoSize.width;
  EXPECT_NEAR(first.x, (pointer.x + 0.5) / fitted, 2.0);
  EXPECT_NEAR(first.y, (pointer.y + 0.5) / fitted, 2.0);
  EXPECT_EQ(shownAt(pointer + cv::Point(40, 20)), first + cv::Point(10, 5))
      << "4 screen pixels per photo pixel";
  session.click("Scribeline", pointer.x, pointer.y);

  // The picture follows a middle-button drag.
  const cv::Point dropped = pointer + cv::Point(-150, -100);
  session.drag("Scribeline", {pointer, pointer + cv::Point(-70, -50), dropped},
               true, 2);
  settle();
  EXPECT_EQ(shownAt(dropped), first);
  // Right brings an eighth of the window (137 screen pixels, 34 photo
  // pixels) from the right into sight.
  session.key("Scribeline", "Right");
  settle();
  const cv::Point second = shownAt(dropped);
  EXPECT_NEAR(second.x, first.x + 34, 1);
  EXPECT_EQ(second.y, first.y);
  session.click("Scribeline", dropped.x, dropped.y);

  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("big.png_Mask.png");
  expectPlusses(saved, {first, second});
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

// The toolbox stands beside the main window, "S" keeps the 100% window
// within the screen with every part reachable, and the "Mask" window opens
// where it hides nothing of the main picture, or, with no room left, away
// from the point last worked on.
TEST_F(ViewportTest, WindowsStayOnTheScreenAndOffEachOther) {
  start();
  const cv::Rect screen({0, 0}, kScreen);
  const cv::Rect toolbox = session.windowRect("Toolbox");
  EXPECT_EQ(toolbox, cv::Rect(0, 0, 180, 500));
  EXPECT_TRUE((session.windowRect("Scribeline") & toolbox).empty());
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  settle();
  const cv::Rect mask = session.windowRect("Mask");
  EXPECT_TRUE((mask & session.windowRect("Scribeline")).empty()) << mask;
  EXPECT_TRUE((mask & toolbox).empty()) << mask;
  EXPECT_EQ(mask & screen, mask);
  session.closeWindow("Mask");

  const unsigned long fitted = session.waitForWindow("Scribeline");
  session.key("Scribeline", "S");
  ASSERT_NE(session.waitForNewWindow("Scribeline", fitted), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", {1096, 1024}))
      << session.windowSize("Scribeline");
  const cv::Rect main = session.windowRect("Scribeline");
  EXPECT_EQ(main & screen, main);
  EXPECT_TRUE((main & toolbox).empty());
  // 1:1, and the far corner can be brought into sight.
  takePen();
  for (int i = 0; i < 12; ++i) session.key("Scribeline", "Right");
  for (int i = 0; i < 4; ++i) session.key("Scribeline", "Down");
  settle();
  EXPECT_EQ(shownAt({1095, 1023}), cv::Point(1999, 1499));
  EXPECT_EQ(shownAt({1094, 1023}), cv::Point(1998, 1499));

  // No room beside: the mask goes over the half away from the work.
  const cv::Point work(150, 600);
  session.click("Scribeline", work.x, work.y);
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  settle();
  EXPECT_FALSE(session.windowRect("Mask").contains(main.tl() + work))
      << session.windowRect("Mask");
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

}  // namespace
}  // namespace scribeline::e2e
