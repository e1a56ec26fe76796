// The fill in a whole run of the program over the scripted window system:
// registered as tool 3, zoomed in, its region saved with the mask.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>

#include "app/program.h"
#include "palette/palette.h"
#include "tests/app/fixture.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// A 60 x 40 photo in two halves whose colours lie 30 apart; the main window
// shows it at 1:1, then 4:1 around its centre after four wheel notches.
TEST(FillSessionTest, ZoomedPressAndDragFillInScreenPixels) {
  TempFolder temp{"scribeline-fill"};
  const std::string imagePath = temp.path() + "/halves.png";
  cv::Mat photo(40, 60, CV_8UC3, cv::Scalar(100, 130, 100));
  photo.colRange(0, 30).setTo(cv::Scalar(100, 100, 100));
  ASSERT_TRUE(cv::imwrite(imagePath, photo));
  ProgramSettings settings;
  settings.labelListPath = temp.path() + "/label_list.txt";
  std::ofstream(settings.labelListPath) << "2\nbackground\nperson\n";

  auto windows = std::make_shared<ScriptedWindowSystem>();
  pushToolsReady(*windows);
  windows->pushClick(kToolboxWindow, 90, 105);  // label 5
  windows->pushKey('3');
  windows->pushKey(']');  // 25: one half
  windows->pushWheel(kMainWindow, 30, 20, 4);
  // 8 screen pixels up, 2 photo rows: 33 takes both halves.
  windows->pushDrag(kMainWindow, {{10, 30}, {10, 26}, {10, 22}});
  windows->pushKey('M');
  windows->pushKey(27);
  windows->pushAnswer(false);

  std::ostringstream console;
  const char* argv[] = {"scribeline", imagePath.c_str()};
  EXPECT_EQ(
      runProgram(
          2, argv, console, [&](std::string*) { return windows; }, settings),
      1);
  const std::string text = console.str();
  EXPECT_NE(text.find("Current Tool = fill\ncurrent fill tolerance = 25\n"),
            std::string::npos)
      << text;
  const cv::Mat saved =
      cv::imread(imagePath + "_Mask.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.size(), photo.size());
  const cv::Mat expected(photo.size(), CV_8UC3, labelColor(5));
  EXPECT_EQ(cv::norm(saved, expected, cv::NORM_INF), 0);
}

}  // namespace
}  // namespace scribeline
