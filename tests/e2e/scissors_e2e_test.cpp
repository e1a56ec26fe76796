// The built program under its own X server, driven only through X events:
// the iScissor tool outlines a dark square, fills it with "N", saves with
// "M" and again at exit.
#include <gtest/gtest.h>

#include <chrono>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

// Palette colours as stored (blue, green, red): label 5 is red 128, green 0,
// blue 128; label 0 is black.
const cv::Vec3b kLabel5(128, 0, 128);
const cv::Vec3b kLabel0(0, 0, 0);
const cv::Size kPhotoSize(300, 200);
// The dark square: columns 100 to 199, rows 60 to 139.
const cv::Rect kSquare(100, 60, 100, 80);

cv::Mat darkSquarePhoto() {
  cv::Mat photo(kPhotoSize, CV_8UC3, cv::Scalar(190, 200, 210));
  photo(kSquare).setTo(cv::Scalar(30, 40, 35));
  return photo;
}

int countPreviewPixels(const cv::Mat& picture) {
  int count = 0;
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.cols; ++x)
      if (picture.at<cv::Vec3b>(y, x) == cv::Vec3b(0, 0, 255)) ++count;
  return count;
}

// Inside the square, two pixels in from its edge, the mask holds label 5;
// outside, two pixels away from it, label 0; nothing else anywhere.
void expectFilledSquare(const cv::Mat& mask) {
  ASSERT_EQ(mask.type(), CV_8UC3);
  ASSERT_EQ(mask.size(), kPhotoSize);
  const cv::Rect inner(kSquare.x + 2, kSquare.y + 2, kSquare.width - 4,
                       kSquare.height - 4);
  const cv::Rect outer(kSquare.x - 2, kSquare.y - 2, kSquare.width + 4,
                       kSquare.height + 4);
  int wrong = 0;
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
      const bool ok = inner.contains({x, y}) ? pixel == kLabel5
                      : !outer.contains({x, y})
                          ? pixel == kLabel0
                          : pixel == kLabel5 || pixel == kLabel0;
      if (!ok && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") " << pixel;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(ScissorsE2e, OutlineTheSquareFillItSaveAndSaveAgainAtExit) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  ASSERT_TRUE(cv::imwrite(session.workPath("square.png"), darkSquarePhoto()));
  session.writeFile("label_list.txt", "2\nbackground\nsquare\n");
  session.launch(SCRIBELINE_BINARY, {"square.png"});
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
      << session.output() << session.errorOutput();
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
  ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", kPhotoSize));

  session.click("Toolbox", 100, 5 * 20 + 10);  // label 5
  const cv::Point corners[] = {{100, 60}, {199, 60}, {199, 139}, {100, 139}};
  for (const cv::Point& corner : corners)
    session.click("Scribeline", corner.x, corner.y);

  // The live-wire follows the pointer in red.
  session.moveTo("Scribeline", 150, 60);
  int previewPixels = 0;
  for (int i = 0; i < 50 && previewPixels == 0; ++i) {
    previewPixels = countPreviewPixels(session.capture("Scribeline"));
    if (previewPixels == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_GT(previewPixels, 0) << "no live-wire shown";

  session.key("Scribeline", "ctrl+Return");
  session.key("Scribeline", "N");
  session.key("Scribeline", "M");
  const std::string maskPath = session.workPath("square.png_Mask.png");
  const cv::Mat saved = session.waitForPicture("square.png_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  expectFilledSquare(saved);

  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.waitForOutput("Exiting ...\n"));
  ASSERT_TRUE(session.answer("Save?", true));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_NE(session.output().find("Saving mask tosquare.png_Mask.png\n"),
            std::string::npos)
      << session.output();
  expectFilledSquare(cv::imread(maskPath, cv::IMREAD_UNCHANGED));
}

}  // namespace
}  // namespace scribeline::e2e
