// Unsaved work through abrupt ends: the built program under its own X
// server is ended by a signal or by the loss of its display, writes its
// autosave, and the next run recovers it; a clean end leaves no autosave.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "tests/e2e/sample_session.h"
#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Vec3b kLabel5(128, 0, 128);  // palette colour, stored B, G, R
const char kAutosave[] = "sample.JPG_Mask.autosave.png";

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Pen work in label 5 along one straight line, then "m": once the "Mask"
// window is there, the program has handled the drag.
void paintWithPen(XSession& session) {
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  session.drag("Scribeline", {{100, 200}, {300, 200}});
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
}

void expectPenWork(const cv::Mat& mask) {
  ASSERT_EQ(mask.size(), kSampleSize);
  ASSERT_EQ(mask.type(), CV_8UC3);
  for (int x = 100; x <= 300; x += 20)
    EXPECT_EQ(mask.at<cv::Vec3b>(200, x), kLabel5) << "x " << x;
  EXPECT_EQ(mask.at<cv::Vec3b>(100, 200), cv::Vec3b(0, 0, 0));
}

class AbruptEndTest : public testing::TestWithParam<AbruptEnd> {};

// The autosave holds the pen work, one line names it, the status tells the
// cause; the next run asks "Recover?" before anything else, and Yes brings
// the work back as the mask (saved at the end here, to be read).
TEST_P(AbruptEndTest, WorkSurvivesAndIsRecovered) {
  const AbruptEnd& end = GetParam();
  cv::Mat kept;
  {
    XSession session;
    ASSERT_FALSE(session.display().empty());
    startOnSample(session);
    waitUntilReady(session);
    paintWithPen(session);
    endAbruptly(session, end);
    EXPECT_EQ(session.waitForExit(), end.status) << session.output();
    const std::string path = session.workPath(kAutosave);
    // Named as the photo was: the program was started without a path.
    EXPECT_NE(session.output().find("Autosaved the mask to " +
                                    std::string(kAutosave) + "\n"),
              std::string::npos)
        << session.output();
    kept = cv::imread(path, cv::IMREAD_UNCHANGED);
    expectPenWork(kept);
  }
  if (HasFailure()) return;

  XSession next;
  ASSERT_FALSE(next.display().empty());
  cv::imwrite(next.workPath(kAutosave), kept);
  startOnSample(next);
  ASSERT_TRUE(next.answer("Recover?", true));
  waitUntilReady(next);
  ASSERT_NE(next.waitForWindow("Mask"), 0u);  // opened as after a load
  next.key("Scribeline", "Escape");
  ASSERT_TRUE(next.answer("Save?", true));
  EXPECT_EQ(next.waitForExit(), 1);
  const cv::Mat saved =
      cv::imread(next.workPath("sample.JPG_Mask.png"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.size(), kept.size());
  EXPECT_EQ(cv::norm(saved, kept, cv::NORM_INF), 0);
  EXPECT_FALSE(exists(next.workPath(kAutosave)));  // a clean end
}

INSTANTIATE_TEST_SUITE_P(Ends, AbruptEndTest,
                         testing::Values(AbruptEnd{"SIGTERM", SIGTERM, 143},
                                         AbruptEnd{"display_lost", 0, 129}),
                         [](const testing::TestParamInfo<AbruptEnd>& info) {
                           return std::string(info.param.name);
                         });

// No to "Recover?" keeps the autosave while the program runs (and asks
// "Load?" next, as there is a mask file), and keeps it for good as its
// declined copy ("~"); the clean end removes only the autosave.
TEST(AutosaveE2eTest, NoKeepsTheAutosaveUntilACleanEnd) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  const cv::Mat work(kSampleSize, CV_8UC3, cv::Scalar(128, 0, 128));
  cv::imwrite(session.workPath(kAutosave), work);
  cv::imwrite(session.workPath("sample.JPG_Mask.png"),
              cv::Mat::zeros(kSampleSize, CV_8UC3));
  startOnSample(session);
  ASSERT_TRUE(session.answer("Recover?", false));
  ASSERT_TRUE(session.answer("Load?", false));
  waitUntilReady(session);
  EXPECT_TRUE(exists(session.workPath(kAutosave)));
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_FALSE(exists(session.workPath(kAutosave)));
  EXPECT_TRUE(exists(session.workPath("sample.JPG_Mask.png")));
  const cv::Mat declined = cv::imread(
      session.workPath(std::string(kAutosave) + "~"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(declined.size(), kSampleSize);
  EXPECT_EQ(cv::norm(declined, work, cv::NORM_INF), 0);
}

}  // namespace
}  // namespace scribeline::e2e
