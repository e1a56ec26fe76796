#include "app/toolbox.h"

#include <gtest/gtest.h>

#include <fstream>

#include "fixture.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

const cv::Vec3b kWhite(255, 255, 255), kRed(0, 0, 255);

cv::Vec3b paletteBgr(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(colour[0], colour[1], colour[2]);
}

int countColour(const cv::Mat& picture, cv::Rect area, cv::Vec3b colour) {
  int count = 0;
  for (int y = area.y; y < area.y + area.height; ++y)
    for (int x = area.x; x < area.x + area.width; ++x)
      count += picture.at<cv::Vec3b>(y, x) == colour;
  return count;
}

class ToolboxPictureTest : public testing::Test {
 protected:
  void SetUp() override {
    names = {"background", "", std::string(60, 'W')};
    renderToolbox(picture, 5, names);
  }
  cv::Rect rowArea(int label, int x, int width) const {
    return cv::Rect(x, label * 20, width, 20);
  }
  std::vector<std::string> names;
  cv::Mat picture;
};

TEST_F(ToolboxPictureTest, RowsHaveWhiteNumberBlocksAndColourBlocks) {
  ASSERT_EQ(picture.size(), cv::Size(180, 500));
  ASSERT_EQ(picture.type(), CV_8UC3);
  for (int label = 0; label < numLabels; ++label) {
    SCOPED_TRACE("label " + std::to_string(label));
    const int top = label * 20;
    EXPECT_EQ(picture.at<cv::Vec3b>(top, 39), kWhite);
    EXPECT_EQ(picture.at<cv::Vec3b>(top + 19, 0), kWhite);
    EXPECT_EQ(picture.at<cv::Vec3b>(top, 40), paletteBgr(label));
    EXPECT_EQ(picture.at<cv::Vec3b>(top + 19, 179), paletteBgr(label));
    // The number, in the row's colour, is all the white block holds besides
    // the marker.
    const cv::Rect numberArea = rowArea(label, 15, 25);
    const int numberPixels =
        countColour(picture, numberArea, paletteBgr(label));
    EXPECT_GT(numberPixels, 5);
    EXPECT_EQ(numberPixels + countColour(picture, numberArea, kWhite), 25 * 20);
  }
}

TEST_F(ToolboxPictureTest, MarkerStandsInTheCurrentRowOnly) {
  EXPECT_GT(countColour(picture, rowArea(5, 0, 15), kRed), 3);
  EXPECT_EQ(countColour(picture, cv::Rect(0, 0, 180, 500), kRed),
            countColour(picture, rowArea(5, 0, 15), kRed));
  renderToolbox(picture, 24, names);  // the old marker is painted over
  EXPECT_EQ(countColour(picture, rowArea(5, 0, 15), kRed), 0);
  EXPECT_GT(countColour(picture, rowArea(24, 0, 15), kRed), 3);
}

TEST_F(ToolboxPictureTest, NamesAreWhiteOnTheColourBlock) {
  EXPECT_GT(countColour(picture, rowArea(0, 45, 135), kWhite), 20);  // on black
  EXPECT_EQ(countColour(picture, rowArea(1, 40, 140), kWhite),
            0);  // empty name
  for (int label = 3; label < numLabels; ++label)
    EXPECT_EQ(countColour(picture, rowArea(label, 40, 140), kWhite), 0);
  // A long name runs to the right edge and is cut there.
  EXPECT_GT(countColour(picture, rowArea(2, 170, 10), kWhite), 0);
  EXPECT_EQ(picture.at<cv::Vec3b>(2 * 20 + 19, 179), paletteBgr(2));
}

struct PickRow {
  int event, y;
  int label;  // -1: ignored
};

class ToolboxPickTest : public WorkspaceFixture,
                        public testing::WithParamInterface<PickRow> {};

TEST_P(ToolboxPickTest, PicksTheRowLabel) {
  const PickRow row = GetParam();
  workspace.currentLabel = 7;
  onToolboxMouse(workspace, row.event, 100, row.y);
  if (row.label < 0) {
    EXPECT_EQ(workspace.currentLabel, 7);
    EXPECT_EQ(hookLog, "");
    EXPECT_EQ(windows.showCount(kToolboxWindow), 0);
    return;
  }
  EXPECT_EQ(workspace.currentLabel, row.label);
  const std::string picked = "picked" + std::to_string(row.label) + " ";
  EXPECT_EQ(hookLog,
            "0:" + picked + "1:" + picked + "2:" + picked + "3:" + picked);
  EXPECT_EQ(windows.showCount(kToolboxWindow), 1);
  EXPECT_GT(countColour(windows.lastShown(kToolboxWindow),
                        cv::Rect(0, row.label * 20, 15, 20), kRed),
            3);
}

INSTANTIATE_TEST_SUITE_P(Presses, ToolboxPickTest,
                         testing::Values(PickRow{kLeftButtonDown, 0, 0},
                                         PickRow{kLeftButtonDown, 19, 0},
                                         PickRow{kLeftButtonDown, 20, 1},
                                         PickRow{kLeftButtonDown, 105, 5},
                                         PickRow{kLeftButtonDown, 480, 24},
                                         PickRow{kLeftButtonDown, 499, 24},
                                         PickRow{kLeftButtonDown, 500, -1},
                                         PickRow{kLeftButtonDown, -1, -1},
                                         PickRow{kLeftButtonUp, 100, -1},
                                         PickRow{kMouseMove, 100, -1},
                                         PickRow{2, 100, -1}));

TEST_F(WorkspaceFixture, ToolboxRereadsTheLabelListAtEveryDrawing) {
  drawToolbox(workspace);
  const cv::Mat withoutList = windows.lastShown(kToolboxWindow);
  EXPECT_EQ(countColour(withoutList, cv::Rect(40, 0, 140, 500), kWhite), 0);
  std::ofstream(workspace.labelListPath) << "1\nbackground\n";
  drawToolbox(workspace);
  EXPECT_GT(countColour(windows.lastShown(kToolboxWindow),
                        cv::Rect(45, 0, 135, 20), kWhite),
            20);
}

}  // namespace
}  // namespace scribeline

namespace scribeline {
namespace {

// A missing list is named once, at the first drawing (start-up); the picks
// after it redraw without a word. Names show as soon as the list is there.
TEST_F(WorkspaceFixture, MissingLabelListIsNamedOnceOnTheConsole) {
  workspace.toolboxImage.release();  // as before start-up's first drawing
  drawToolbox(workspace);
  onToolboxMouse(workspace, kLeftButtonDown, 100, 45);
  drawToolbox(workspace);
  EXPECT_EQ(console.str(), "Scribeline: no label names, cannot read " +
                               workspace.labelListPath +
                               ": No such file or directory\n");
  std::ofstream(workspace.labelListPath) << "1\nbackground\n";
  drawToolbox(workspace);
  EXPECT_GT(countColour(windows.lastShown(kToolboxWindow),
                        cv::Rect(45, 0, 135, 20), kWhite),
            20);
}

// A name far too long for its row is cut at the picture's edge, and the
// names after it are shown as usual.
TEST_F(WorkspaceFixture, LongNameLeavesTheLaterNamesAlone) {
  std::ofstream(workspace.labelListPath)
      << "3\n"
      << std::string(5000, 'W') << "\nsky\nroad\n";
  drawToolbox(workspace);
  const cv::Mat picture = windows.lastShown(kToolboxWindow);
  EXPECT_GT(countColour(picture, cv::Rect(170, 0, 10, 20), kWhite), 0);
  EXPECT_GT(countColour(picture, cv::Rect(45, 20, 135, 20), kWhite), 10);
  EXPECT_GT(countColour(picture, cv::Rect(45, 40, 135, 20), kWhite), 10);
  EXPECT_EQ(console.str(), "");
}

}  // namespace
}  // namespace scribeline
