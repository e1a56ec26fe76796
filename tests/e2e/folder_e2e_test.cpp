// A folder of photos through real windows: PageDown and PageUp step between
// them, "Save?" comes only for a photo whose mask changed, and each photo's
// mask goes to its own file.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Size kPhotoSize(240, 160);
const cv::Vec3b kLabel5(128, 0, 128);  // (blue, green, red) as stored

// Waits for the photo's line and the end of its start-up, which names the
// tool in use (kept from the photo left).
void expectPhotoStarted(XSession& session, const std::string& place,
                        const std::string& tool) {
  ASSERT_TRUE(session.waitForOutput(place + "\n")) << session.output();
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = " + tool + "\n"))
      << session.output();
}

// Picks label 5, takes the pen and draws one straight stroke.
void paintStroke(XSession& session) {
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  session.drag("Scribeline", {{40, 80}, {200, 80}});
}

TEST(FolderE2e, PageKeysStepAskOnlyForChangedMasksAndSaveEachToItsFile) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  std::filesystem::create_directory(session.workPath("photos"));
  const std::vector<std::string> names = {"a.png", "b.png", "c.png"};
  for (size_t i = 0; i < names.size(); ++i) {
    const cv::Mat photo(kPhotoSize, CV_8UC3,
                        cv::Scalar(60 * i, 120, 200 - 60 * i));
    ASSERT_TRUE(cv::imwrite(session.workPath("photos/" + names[i]), photo));
  }
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {"photos"});

  expectPhotoStarted(session, "photo 1 of 3: a.png", "iScissor");
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", kPhotoSize));
  paintStroke(session);
  session.key("Scribeline", "Page_Down");
  ASSERT_TRUE(session.answer("Save?", true)) << session.output();
  ASSERT_TRUE(session.waitForOutput("Saving mask tophotos/a.png_Mask.png\n"));

  // b is left unchanged: PageDown goes on without a question (one would
  // hold the program before c's line).
  expectPhotoStarted(session, "photo 2 of 3: b.png", "pen");
  session.key("Scribeline", "Page_Down");
  expectPhotoStarted(session, "photo 3 of 3: c.png", "pen");
  EXPECT_FALSE(session.hasWindow("Save?"));

  paintStroke(session);
  session.key("Scribeline", "Page_Up");
  ASSERT_TRUE(session.answer("Save?", true)) << session.output();
  ASSERT_TRUE(session.waitForOutput("Saving mask tophotos/c.png_Mask.png\n"));
  expectPhotoStarted(session, "photo 2 of 3: b.png", "pen");
  session.key("Scribeline", "Page_Up");
  // a has its mask now: its start offers it.
  ASSERT_TRUE(session.answer("Load?", true)) << session.output();
  expectPhotoStarted(session, "photo 1 of 3: a.png", "pen");
  EXPECT_NE(session.waitForWindow("Mask"), 0u);

  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);

  for (const std::string name : {"a.png", "c.png"}) {
    const cv::Mat mask = cv::imread(
        session.workPath("photos/" + name + "_Mask.png"), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(mask.size(), kPhotoSize) << name;
    EXPECT_EQ(mask.at<cv::Vec3b>(80, 120), kLabel5) << name;
    EXPECT_EQ(mask.at<cv::Vec3b>(20, 120), cv::Vec3b(0, 0, 0)) << name;
  }
  EXPECT_FALSE(
      std::filesystem::exists(session.workPath("photos/b.png_Mask.png")));
}

}  // namespace
}  // namespace scribeline::e2e
