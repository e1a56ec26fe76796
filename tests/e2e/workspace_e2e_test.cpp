// The built program under its own X server, driven only through X events:
// a whole session with the pen, the missing display, and the keys that need
// their case or Ctrl.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

// Label 5's palette colour, red 128, green 0, blue 128, as stored (B, G, R).
const cv::Vec3b kLabel5(128, 0, 128);
const cv::Size kSampleSize(600, 400);

class WorkspaceTest : public ::testing::Test {
 protected:
  // Starts the program on the shipped sample in a fresh folder and waits for
  // the end of start-up.
  void start() {
    ASSERT_FALSE(session.display().empty());
    session.copyIn(sourcePath("sample.JPG"));
    session.copyIn(sourcePath("label_list.txt"));
    session.launch(SCRIBELINE_BINARY, {});
    ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
        << session.output() << session.errorOutput();
    ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
    ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
  }

  // Waits until the file exists and can be read as a picture.
  cv::Mat waitForPicture(const std::string& name) {
    const std::string path = session.workPath(name);
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(path)) {
        cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (!picture.empty()) return picture;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

  XSession session;
};

// Every pixel the stroke from (100, 100) to (300, 100) and on to (300, 200)
// with the pen of radius 3 must have painted, every pixel it cannot have
// reached, and the colour of everything painted.
void expectPenStroke(const cv::Mat& mask) {
  ASSERT_EQ(mask.type(), CV_8UC3);
  ASSERT_EQ(mask.size(), kSampleSize);
  for (int x = 100; x <= 300; ++x) {
    EXPECT_EQ(mask.at<cv::Vec3b>(100, x), kLabel5) << "x " << x;
  }
  for (int y = 100; y <= 200; ++y) {
    EXPECT_EQ(mask.at<cv::Vec3b>(y, 300), kLabel5) << "y " << y;
  }
  // The disc at the press: radius 3 around (100, 100).
  EXPECT_EQ(mask.at<cv::Vec3b>(97, 100), kLabel5);
  EXPECT_EQ(mask.at<cv::Vec3b>(103, 100), kLabel5);
  EXPECT_EQ(mask.at<cv::Vec3b>(100, 97), kLabel5);
  // Nothing further than the radius (and a pixel of rounding) from the path
  // is painted, and nothing painted has another colour.
  cv::Mat reach(kSampleSize, CV_8UC1, cv::Scalar(0));
  cv::line(reach, {100, 100}, {300, 100}, cv::Scalar(255), 2 * 4 + 1);
  cv::line(reach, {300, 100}, {300, 200}, cv::Scalar(255), 2 * 4 + 1);
  int painted = 0;
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
      if (pixel == cv::Vec3b(0, 0, 0)) continue;
      ++painted;
      EXPECT_EQ(pixel, kLabel5) << "at " << x << "," << y;
      EXPECT_NE(reach.at<uchar>(y, x), 0) << "at " << x << "," << y;
    }
  }
  EXPECT_GE(painted, 300 * 3);
}

TEST_F(WorkspaceTest, PenSessionSavesTheMaskAndEndsAfterSaveQuestion) {
  start();
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  session.drag("Scribeline", {{100, 100}, {200, 100}, {300, 100}, {300, 150},
                              {300, 200}});
  session.key("Scribeline", "M");
  const cv::Mat saved = waitForPicture("sample.JPG_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  expectPenStroke(saved);

  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.waitForOutput("Exiting ...\n"));
  ASSERT_TRUE(session.answer("Save?", true));
  EXPECT_EQ(session.waitForExit(), 1);
  const std::string& console = session.output();
  const std::string tail =
      "\n\nCurrent Tool = iScissor\n"
      "Current Tool = pen\n"
      "Exiting ...\n"
      "Saving mask tosample.JPG_Mask.png\n"
      "Bye Bye :)\n";
  ASSERT_GE(console.size(), tail.size());
  EXPECT_EQ(console.substr(console.size() - tail.size()), tail);
  EXPECT_EQ(console.find("Scribeline\n\nUsage: "), 0u);
  EXPECT_NE(console.find("\nOver-segmenting.... DONE\n\nHot keys: \n"),
            std::string::npos);
  const cv::Mat final = cv::imread(session.workPath("sample.JPG_Mask.png"),
                                   cv::IMREAD_UNCHANGED);
  expectPenStroke(final);
}

TEST_F(WorkspaceTest, NoAtExitLeavesNothingWritten) {
  start();
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_FALSE(std::filesystem::exists(session.workPath("sample.JPG_Mask.png")));
  const std::string& console = session.output();
  EXPECT_EQ(console.substr(console.find("Exiting ...")),
            "Exiting ...\nBye Bye :)\n");
}

// "m" opens the mask window and writes nothing; "M" (Shift+m) saves at once.
// Ctrl+Enter and Enter are codes of their own, so neither is taken as a
// letter command.
TEST_F(WorkspaceTest, LetterCaseAndCtrlReachTheCommands) {
  start();
  session.key("Scribeline", "m");
  EXPECT_NE(session.waitForWindow("Mask"), 0u);
  session.key("Scribeline", "ctrl+Return");
  session.key("Scribeline", "Return");
  session.key("Scribeline", "period");
  ASSERT_TRUE(session.waitForOutput("current pen radius = 4\n"));
  EXPECT_FALSE(std::filesystem::exists(session.workPath("sample.JPG_Mask.png")));
  session.key("Scribeline", "M");
  const cv::Mat saved = waitForPicture("sample.JPG_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  EXPECT_EQ(cv::countNonZero(saved.reshape(1)), 0) << "the mask is blank";
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

// The user closes every window: the program asks "Save?" as after Escape and
// ends instead of waiting for keys that cannot come.
TEST_F(WorkspaceTest, ClosingEveryWindowEndsLikeEscape) {
  start();
  session.closeWindow("Toolbox");
  session.closeWindow("Scribeline");
  ASSERT_TRUE(session.waitForOutput("Exiting ...\n", 30));
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

TEST(WorkspaceWithoutDisplay, SaysSoInOneLineAndEndsWithStatus2) {
  XSession session;
  session.copyIn(sourcePath("sample.JPG"));
  session.launch(SCRIBELINE_BINARY, {"sample.JPG"}, /*withDisplay=*/false);
  EXPECT_EQ(session.waitForExit(), 2);
  const std::string& console = session.output();
  // The banner comes first; after it, exactly one line.
  const size_t bannerEnd = console.find("[3] iScissor");
  ASSERT_NE(bannerEnd, std::string::npos) << console;
  const std::string after = console.substr(console.find("\n\n", bannerEnd) + 2);
  EXPECT_EQ(after,
            "Scribeline: cannot open a display (the DISPLAY environment "
            "variable is not set)\n");
}

}  // namespace
}  // namespace scribeline::e2e
