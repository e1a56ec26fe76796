// The lSnapper tool in the built program under its own X server: one stroke
// of each of two labels over a two-colour photograph relabels both halves,
// as the "Mask" window and the saved mask show.
#include <gtest/gtest.h>

#include <chrono>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Size kPhotoSize(240, 160);
// Palette colours as stored (B, G, R): label 1 red 128, label 2 green 128.
const cv::Vec3b kLabel1(0, 0, 128);
const cv::Vec3b kLabel2(0, 128, 0);

// Left half red, right half blue.
cv::Mat twoColourPhoto() {
  cv::Mat photo(kPhotoSize, CV_8UC3, cv::Scalar(0, 0, 200));
  photo(cv::Rect(kPhotoSize.width / 2, 0, kPhotoSize.width / 2,
                 kPhotoSize.height)) = cv::Scalar(200, 0, 0);
  return photo;
}

// Counts the pixels of `picture` (the photograph's size) whose colour is not
// that of their half.
int wrongPixels(const cv::Mat& picture) {
  int wrong = 0;
  for (int y = 0; y < picture.rows; ++y) {
    for (int x = 0; x < picture.cols; ++x) {
      const cv::Vec3b expected = x < kPhotoSize.width / 2 ? kLabel1 : kLabel2;
      if (picture.at<cv::Vec3b>(y, x) != expected) ++wrong;
    }
  }
  return wrong;
}

TEST(SnappingSession, OneStrokePerLabelPaintsBothHalves) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  ASSERT_TRUE(cv::imwrite(session.workPath("halves.png"), twoColourPhoto()));
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {"halves.png"});
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
      << session.output() << session.errorOutput();
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
  ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
  session.setPictureSize("Scribeline", kPhotoSize);

  session.key("Scribeline", "1");
  ASSERT_TRUE(session.waitForOutput("Current Tool = lSnapper\n"));
  // Each stroke runs across its half to near the colour edge, which the
  // smoothing turns into narrow superpixels of their own.
  session.click("Toolbox", 100, 1 * 20 + 10);
  session.drag("Scribeline", {{10, 80}, {60, 80}, {117, 80}});
  ASSERT_NE(session.waitForWindow("Mask"), 0u)
      << "the first solve opens \"Mask\"";
  session.click("Toolbox", 100, 2 * 20 + 10);
  session.drag("Scribeline", {{230, 80}, {180, 80}, {123, 80}});

  // The "Mask" window shows the mask at 100%; wait for the second solve.
  cv::Mat shown;
  for (int i = 0; i < 100; ++i) {
    shown = session.capture("Mask");
    if (!shown.empty() && shown.cols >= kPhotoSize.width &&
        shown.rows >= kPhotoSize.height &&
        wrongPixels(shown(cv::Rect(cv::Point(0, 0), kPhotoSize))) == 0) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_GE(shown.cols, kPhotoSize.width);
  ASSERT_GE(shown.rows, kPhotoSize.height);
  EXPECT_EQ(wrongPixels(shown(cv::Rect(cv::Point(0, 0), kPhotoSize))), 0);

  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("halves.png_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  ASSERT_EQ(saved.size(), kPhotoSize);
  EXPECT_EQ(wrongPixels(saved), 0);

  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

}  // namespace
}  // namespace scribeline::e2e
