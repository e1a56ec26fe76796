// The built program under its own X server, driven only through X events:
// a whole session with the pen, the missing display, and the keys that need
// their case or Ctrl.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

// Palette colours as stored (blue, green, red): label 5 is red 128, green 0,
// blue 128; label 7 is grey 128.
const cv::Vec3b kLabel5(128, 0, 128);
const cv::Vec3b kLabel7(128, 128, 128);
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
    ASSERT_TRUE(session.waitForWindowSize("Scribeline", kSampleSize));
  }

  XSession session;
};

// A pen stroke along straight segments, each from one point to the next.
// The tests drag straight strokes only: Qt may merge queued pointer moves,
// and a straight stroke paints the same line whichever of its inner points
// the program sees.
using Stroke = std::vector<cv::Point>;

// Every pixel on the strokes' segments is painted (with the pen's radius 3
// also the disc's edge at each stroke's start); nothing farther than the
// radius, and a pixel of rounding, from them is; everything painted has the
// label's colour.
void expectPenStrokes(const cv::Mat& mask, const std::vector<Stroke>& strokes,
                      cv::Vec3b colour) {
  ASSERT_EQ(mask.type(), CV_8UC3);
  ASSERT_EQ(mask.size(), kSampleSize);
  cv::Mat reach(kSampleSize, CV_8UC1, cv::Scalar(0));
  for (const Stroke& stroke : strokes) {
    const cv::Point start = stroke.front();
    for (const cv::Point& edge :
         {start + cv::Point(0, -3), start + cv::Point(0, 3),
          start + cv::Point(-3, 0)}) {
      EXPECT_EQ(mask.at<cv::Vec3b>(edge), colour) << "disc edge " << edge;
    }
    for (size_t i = 1; i < stroke.size(); ++i) {
      cv::LineIterator on(mask, stroke[i - 1], stroke[i]);
      for (int n = 0; n < on.count; ++n, ++on) {
        EXPECT_EQ(mask.at<cv::Vec3b>(on.pos()), colour) << "at " << on.pos();
      }
      cv::line(reach, stroke[i - 1], stroke[i], cv::Scalar(255), 2 * 4 + 1);
    }
  }
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
      if (pixel == cv::Vec3b(0, 0, 0)) continue;
      EXPECT_EQ(pixel, colour) << "at " << x << "," << y;
      EXPECT_NE(reach.at<uchar>(y, x), 0) << "stray paint at " << x << "," << y;
    }
  }
}

TEST_F(WorkspaceTest, PenSessionSavesTheMaskAndEndsAfterSaveQuestion) {
  start();
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  const Stroke across{{100, 100}, {200, 100}, {300, 100}};
  const Stroke down{{300, 120}, {300, 200}};
  session.drag("Scribeline", across);
  session.drag("Scribeline", down);
  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("sample.JPG_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  expectPenStrokes(saved, {across, down}, kLabel5);

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
  const cv::Mat final =
      cv::imread(session.workPath("sample.JPG_Mask.png"), cv::IMREAD_UNCHANGED);
  expectPenStrokes(final, {across, down}, kLabel5);
}

TEST_F(WorkspaceTest, NoAtExitLeavesNothingWritten) {
  start();
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_FALSE(
      std::filesystem::exists(session.workPath("sample.JPG_Mask.png")));
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
  EXPECT_FALSE(
      std::filesystem::exists(session.workPath("sample.JPG_Mask.png")));
  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("sample.JPG_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  EXPECT_EQ(cv::countNonZero(saved.reshape(1)), 0) << "the mask is blank";
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

// Windows the keys re-create, and a toolbox the user closed and "t" brought
// back, keep their mouse handling: the pick and the pen work in them.
TEST_F(WorkspaceTest, WindowsReopenedByKeysKeepWorking) {
  start();
  session.closeWindow("Toolbox");
  for (int i = 0; i < 250 && session.hasWindow("Toolbox"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(session.hasWindow("Toolbox"));
  session.key("Scribeline", "t");
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
  session.click("Toolbox", 10, 7 * 20);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));

  unsigned long mainWindow = session.waitForWindow("Scribeline");
  session.key("Scribeline", "S");
  ASSERT_NE(session.waitForNewWindow("Scribeline", mainWindow), 0u);
  const Stroke inMain{{50, 50}, {250, 50}};
  session.drag("Scribeline", inMain);
  session.key("Scribeline", "x");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Mask", kSampleSize));
  const Stroke inMask{{300, 300}, {400, 300}, {500, 300}};
  session.drag("Mask", inMask);
  mainWindow = session.waitForWindow("Scribeline");
  session.key("Scribeline", "s");
  ASSERT_NE(session.waitForNewWindow("Scribeline", mainWindow), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", kSampleSize));
  const Stroke afterFreeScale{{50, 370}, {150, 370}};
  session.drag("Scribeline", afterFreeScale);

  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("sample.JPG_Mask.png");
  ASSERT_FALSE(saved.empty()) << "\"M\" wrote no mask";
  expectPenStrokes(saved, {inMain, inMask, afterFreeScale}, kLabel7);
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
}

// A saved mask of the photo's size is offered with "Load?" before any window
// is open. Yes shows it in "Mask" and it is the mask "M" saves, colours off
// the palette included; No starts blank, leaving the file as it was until
// "M" saves the blank mask over it.
class LoadQuestionTest : public WorkspaceTest,
                         public ::testing::WithParamInterface<bool> {};

TEST_P(LoadQuestionTest, DecidesTheStartingMask) {
  const bool load = GetParam();
  ASSERT_FALSE(session.display().empty());
  cv::Mat stored(kSampleSize, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::rectangle(stored, {10, 20, 200, 100}, cv::Scalar(128, 0, 128),
                cv::FILLED);
  cv::rectangle(stored, {400, 300, 50, 50}, cv::Scalar(1, 2, 3), cv::FILLED);
  const std::string maskPath = session.workPath("sample.JPG_Mask.png");
  ASSERT_TRUE(cv::imwrite(maskPath, stored));
  session.copyIn(sourcePath("sample.JPG"));
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {});
  ASSERT_TRUE(session.answer("Load?", load)) << session.output();
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"));
  // "Mask" opens before the main window, which is mapped after it.
  ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
  EXPECT_EQ(session.hasWindow("Mask"), load);
  EXPECT_EQ(cv::norm(cv::imread(maskPath, cv::IMREAD_UNCHANGED), stored,
                     cv::NORM_INF),
            0);

  session.key("Scribeline", "M");
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  const cv::Mat expected =
      load ? stored : cv::Mat(kSampleSize, CV_8UC3, cv::Scalar(0, 0, 0));
  const cv::Mat saved = cv::imread(maskPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.size(), kSampleSize);
  EXPECT_EQ(cv::norm(saved, expected, cv::NORM_INF), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, LoadQuestionTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Yes" : "No");
                         });

// A photograph larger than the screen opens in a main window beside the
// toolbox, scaled to fit the rest of the screen with its aspect ratio, and
// the pen paints where the pointer is in the photograph's pixels.
TEST_F(WorkspaceTest, LargePhotoFitsTheScreenAndPaintsWherePointed) {
  ASSERT_FALSE(session.display().empty());
  const cv::Size photoSize(3200, 1200);  // the 1600 x 1200 screen shows half
  cv::Mat photo(photoSize, CV_8UC3);
  for (int y = 0; y < photo.rows; ++y) {
    for (int x = 0; x < photo.cols; ++x) {
      photo.at<cv::Vec3b>(y, x) =
          cv::Vec3b(x * 255 / photo.cols, y * 255 / photo.rows, 90);
    }
  }
  ASSERT_TRUE(cv::imwrite(session.workPath("large.png"), photo));
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {"large.png"});
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
      << session.output() << session.errorOutput();
  // 1600 - 180 (toolbox) - 4 (gap) = 1416 wide.
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", {1416, 531}))
      << session.windowSize("Scribeline");
  EXPECT_EQ(session.windowRect("Scribeline").tl(), cv::Point(184, 0));
  session.setPictureSize("Scribeline", photoSize);

  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  for (int i = 0; i < 5; ++i) session.key("Scribeline", "period");
  ASSERT_TRUE(session.waitForOutput("current pen radius = 8\n"));
  const cv::Point from(400, 300), to(2800, 900);
  session.drag("Scribeline", {from, to});
  session.key("Scribeline", "M");
  const cv::Mat saved = session.waitForPicture("large.png_Mask.png");
  ASSERT_EQ(saved.size(), photoSize);

  // A window pixel covers more than two photo pixels: the stroke may lie a
  // pixel or two off the line asked for, well within the pen's radius of 8.
  cv::Mat onLine(photoSize, CV_8UC1, cv::Scalar(0));
  cv::line(onLine, from, to, cv::Scalar(255), 1);
  cv::Mat reach(photoSize, CV_8UC1, cv::Scalar(0));
  cv::line(reach, from, to, cv::Scalar(255), 2 * (8 + 3) + 1);
  int missed = 0, stray = 0, wrong = 0;
  for (int y = 0; y < saved.rows; ++y) {
    for (int x = 0; x < saved.cols; ++x) {
      const cv::Vec3b pixel = saved.at<cv::Vec3b>(y, x);
      const bool painted = pixel != cv::Vec3b(0, 0, 0);
      if (onLine.at<uchar>(y, x) != 0 && !painted) ++missed;
      if (painted && reach.at<uchar>(y, x) == 0) ++stray;
      if (painted && pixel != kLabel5) ++wrong;
    }
  }
  EXPECT_EQ(missed, 0);
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(wrong, 0);
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
