// Work is never lost to a hasty key or to a second instance, through real
// windows: Escape (or the close button) in "Save?" goes back to the photo;
// a photo open in one instance is named to a second one, which asks "Open
// anyway?"; two instances share a folder photo by photo; the lock goes at
// every end, and one left by a killed process is taken over.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/sample_session.h"
#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Vec3b kLabel5(128, 0, 128);  // palette colour, stored B, G, R
const char kLock[] = "sample.JPG_Mask.lock";

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string contentOf(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A pen stroke in label 5 along row `y`, then "m": once the "Mask" window
// is there, the program has handled the drag.
void paintRow(XSession& session, int y) {
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  session.drag("Scribeline", {{100, y}, {300, y}});
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
}

// Escape in "Save?" and its window's close button each put the question
// aside: the program says so and goes on with the work (the photo's window
// open again when its closing asked); a later Yes saves all of it.
TEST(SaveQuestionE2e, PuttingItAsideGoesBackToThePhotoWithTheWork) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  startOnSample(session, {"sample.JPG"});
  waitUntilReady(session);
  paintRow(session, 100);

  session.key("Scribeline", "Escape");
  ASSERT_NE(session.waitForWindow("Save?"), 0u);
  session.key("Save?", "Escape");
  ASSERT_TRUE(session.waitForOutput("Not exiting: back to the photo\n"))
      << session.output();
  EXPECT_TRUE(session.running());

  session.key("Scribeline", "Escape");
  ASSERT_NE(session.waitForWindow("Save?"), 0u);
  session.closeWindow("Save?");
  ASSERT_TRUE(session.waitForOutput("Not exiting: back to the photo\n"))
      << session.output();
  EXPECT_FALSE(session.hasWindow("Save?"));

  // Closing the photo's window asks as Escape does; put aside, the window
  // opens again.
  const unsigned long closed = session.waitForWindow("Scribeline");
  session.closeWindow("Scribeline");
  ASSERT_NE(session.waitForWindow("Save?"), 0u);
  session.key("Save?", "Escape");
  ASSERT_TRUE(session.waitForOutput("Not exiting: back to the photo\n"))
      << session.output();
  ASSERT_NE(session.waitForNewWindow("Scribeline", closed), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", kSampleSize));

  paintRow(session, 300);  // the photo's window takes the work again
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", true));
  EXPECT_EQ(session.waitForExit(), 1);
  const cv::Mat saved =
      cv::imread(session.workPath("sample.JPG_Mask.png"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.size(), kSampleSize);
  for (const int y : {100, 300})
    for (int x = 100; x <= 300; x += 50)
      EXPECT_EQ(saved.at<cv::Vec3b>(y, x), kLabel5) << x << ", " << y;
  EXPECT_EQ(saved.at<cv::Vec3b>(200, 200), cv::Vec3b(0, 0, 0));
  EXPECT_FALSE(exists(session.workPath(kLock)));
}

// A second instance, given the photo through a symbolic link on another
// display, names the first and asks; No ends it (status 1), Yes opens the
// photo. The first instance's lock stays until the first one ends.
TEST(PhotoLockE2e, ASecondInstanceIsToldWhoHasThePhotoAndAsked) {
  XSession first;
  ASSERT_FALSE(first.display().empty());
  startOnSample(first, {"sample.JPG"});
  waitUntilReady(first);
  const std::string lock = first.workPath(kLock);
  ASSERT_TRUE(exists(lock));
  const std::string lockText = contentOf(lock);
  const std::string resolvedLock =
      std::filesystem::canonical(first.workPath("sample.JPG")).string() +
      "_Mask.lock";

  XSession second;
  ASSERT_FALSE(second.display().empty());
  ASSERT_EQ(symlink(first.workPath("sample.JPG").c_str(),
                    second.workPath("link.jpg").c_str()),
            0);
  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "Yes" : "No");
    second.launch(SCRIBELINE_BINARY, {"link.jpg"});
    std::string held;
    ASSERT_TRUE(second.waitForLine(
        "Scribeline: link.jpg is open in another Scribeline (", &held))
        << second.output();
    EXPECT_NE(held.find("; lock file " + resolvedLock + ")"), std::string::npos)
        << held;
    ASSERT_TRUE(second.answer("Open anyway?", open));
    if (!open) {
      ASSERT_TRUE(second.waitForOutput("Scribeline: link.jpg was not opened\n"))
          << second.output();
      EXPECT_EQ(second.waitForExit(), 1);
      EXPECT_FALSE(second.hasWindow("Scribeline"));
      continue;
    }
    ASSERT_TRUE(
        second.waitForOutput("Scribeline: two instances now share link.jpg"))
        << second.output();
    waitUntilReady(second);
    second.key("Scribeline", "Escape");
    ASSERT_TRUE(second.answer("Save?", false));
    EXPECT_EQ(second.waitForExit(), 1);
  }
  EXPECT_EQ(contentOf(lock), lockText);

  first.key("Scribeline", "Escape");
  ASSERT_TRUE(first.answer("Save?", false));
  EXPECT_EQ(first.waitForExit(), 1);
  EXPECT_FALSE(exists(lock));
}

// Two instances on one folder: each passes over the photo the other has
// open, stepping either way.
TEST(PhotoLockE2e, TwoInstancesShareAFolderPhotoByPhoto) {
  XSession first;
  ASSERT_FALSE(first.display().empty());
  std::filesystem::create_directory(first.workPath("photos"));
  for (const char* name : {"a.png", "b.png"})
    ASSERT_TRUE(
        cv::imwrite(first.workPath(std::string("photos/") + name),
                    cv::Mat(160, 240, CV_8UC3, cv::Scalar(40, 90, 160))));
  first.copyIn(sourcePath("label_list.txt"));
  first.launch(SCRIBELINE_BINARY, {"photos"});
  ASSERT_TRUE(first.waitForOutput("photo 1 of 2: a.png\n")) << first.output();
  ASSERT_TRUE(first.waitForOutput("\n\nCurrent Tool = iScissor\n"));

  XSession second;
  ASSERT_FALSE(second.display().empty());
  second.launch(SCRIBELINE_BINARY, {first.workPath("photos")});
  std::string rest;
  ASSERT_TRUE(second.waitForLine(
      "photo 1 of 2: a.png is open in another Scribeline (", &rest))
      << second.output();
  ASSERT_TRUE(second.waitForOutput("photo 2 of 2: b.png\n")) << second.output();
  ASSERT_TRUE(second.waitForOutput("\n\nCurrent Tool = iScissor\n"));
  ASSERT_NE(second.waitForWindow("Scribeline"), 0u);
  second.key("Scribeline", "Page_Up");
  ASSERT_TRUE(second.waitForLine(
      "photo 1 of 2: a.png is open in another Scribeline (", &rest))
      << second.output();
  ASSERT_TRUE(second.waitForOutput("photo 2 of 2: b.png is the first\n"))
      << second.output();

  ASSERT_NE(first.waitForWindow("Scribeline"), 0u);
  first.key("Scribeline", "Page_Down");
  ASSERT_TRUE(first.waitForLine(
      "photo 2 of 2: b.png is open in another Scribeline (", &rest))
      << first.output();
  ASSERT_TRUE(first.waitForOutput("photo 1 of 2: a.png is the last\n"))
      << first.output();

  for (XSession* session : {&first, &second}) {
    session->key("Scribeline", "Escape");
    ASSERT_TRUE(session->answer("Save?", false));
    EXPECT_EQ(session->waitForExit(), 1);
  }
  for (const char* name : {"a.png", "b.png"})
    EXPECT_FALSE(
        exists(first.workPath(std::string("photos/") + name) + "_Mask.lock"))
        << name;
}

class PhotoLockEndTest : public testing::TestWithParam<AbruptEnd> {};

// Signals and the loss of the display remove the lock on the way out; a
// process killed outright cannot, and the next start takes its stale lock
// over with a line naming it.
TEST_P(PhotoLockEndTest, TheLockGoesOrIsTakenOverNextTime) {
  const AbruptEnd& end = GetParam();
  XSession session;
  ASSERT_FALSE(session.display().empty());
  startOnSample(session, {"sample.JPG"});
  waitUntilReady(session);
  const std::string lock = session.workPath(kLock);
  ASSERT_TRUE(exists(lock));
  endAbruptly(session, end);
  EXPECT_EQ(session.waitForExit(), end.status) << session.output();
  if (end.signal != SIGKILL) {
    EXPECT_FALSE(exists(lock));
    return;
  }
  ASSERT_TRUE(exists(lock));
  session.launch(SCRIBELINE_BINARY, {"sample.JPG"});
  std::string rest;
  ASSERT_TRUE(
      session.waitForLine("Scribeline: took over the stale lock " +
                              std::filesystem::canonical(lock).string() + " (",
                          &rest))
      << session.output();
  EXPECT_NE(rest.find("): that process has ended"), std::string::npos) << rest;
  waitUntilReady(session);
  EXPECT_TRUE(exists(lock));
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_FALSE(exists(lock));
}

INSTANTIATE_TEST_SUITE_P(Ends, PhotoLockEndTest,
                         testing::Values(AbruptEnd{"SIGTERM", SIGTERM, 143},
                                         AbruptEnd{"SIGINT", SIGINT, 130},
                                         AbruptEnd{"display_lost", 0, 129},
                                         AbruptEnd{"SIGKILL", SIGKILL, 137}),
                         [](const testing::TestParamInfo<AbruptEnd>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace scribeline::e2e
