#include "app/toolbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture.h"
#include "palette/palette.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

std::string lines(int count, const std::string& prefix) {
  std::string text;
  for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + "\n";
  return text;
}

std::vector<std::string> numbered(int count, const std::string& prefix) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

struct ListRow {
  std::string description;
  std::string content;
  std::vector<std::string> names;
};

std::ostream& operator<<(std::ostream& out, const ListRow& row) {
  return out << row.description;
}

class LabelListTest : public testing::TestWithParam<ListRow> {};

TEST_P(LabelListTest, ReadsTheNames) {
  std::istringstream in(GetParam().content);
  EXPECT_EQ(readLabelNames(in), GetParam().names);
}

const std::string k254(254, 'a');
const std::string k300(300, 'a');
const std::string k5000(5000, 'a');

INSTANTIATE_TEST_SUITE_P(
    Files, LabelListTest,
    testing::Values(
        ListRow{"count below the names", "3\na\nb\nc\nd\ne\n", {"a", "b", "c"}},
        ListRow{"count equal", "3\na\nb\nc\n", {"a", "b", "c"}},
        ListRow{
            "count above the names", "5\na\nb\nc\n", {"a", "b", "c", "", ""}},
        ListRow{"count above 25", "30\n" + lines(27, "n"), numbered(25, "n")},
        ListRow{"negative count", "-1\n" + lines(27, "n"), numbered(25, "n")},
        ListRow{"zero count", "0\na\n", {}},
        ListRow{"words after the count", "2 labels below\nx\ny\n", {"x", "y"}},
        ListRow{"blank lines before the count, no final line feed",
                "  \n\n 2\nsky\nroad",
                {"sky", "road"}},
        ListRow{
            "name of 254 characters", "3\n" + k254 + "\nb\n", {k254, "b", ""}},
        ListRow{"over-long name", "3\n" + k300 + "\nb\nc\n", {k254, "b", "c"}},
        ListRow{"name of 5000 characters",
                "3\na\n" + k5000 + "\nc\n",
                {"a", k254, "c"}},
        ListRow{"over-long name ending in a carriage return",
                "2\r\n" + k300 + "\r\nb\r\n",
                {k254, "b"}},
        ListRow{"over-long count line", "2 " + k300 + "\nx\ny\n", {"x", "y"}},
        ListRow{"no count", "sky\nroad\n", {}}, ListRow{"empty file", "", {}},
        ListRow{"carriage returns", "2\r\nsky\r\nroad\r\n", {"sky", "road"}}));

// A list that cannot be read gives no names and names itself with the
// reason; a FIFO is refused at once instead of waiting for a writer.
struct UnreadableListRow {
  std::string name;
  std::string (*make)(const std::string& folder);  // returns the list's path
  std::string reason;
};

class UnreadableLabelListTest
    : public testing::TestWithParam<UnreadableListRow> {};

TEST_P(UnreadableLabelListTest, GivesNoNamesAndSaysWhy) {
  const TempFolder temp("scribeline-list");
  const std::string& folder = temp.path();
  const std::string path = GetParam().make(folder);
  std::string problem;
  EXPECT_TRUE(readLabelNames(path, &problem).empty());
  EXPECT_EQ(problem, path + ": " + GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, UnreadableLabelListTest,
    testing::Values(
        UnreadableListRow{"missing",
                          [](const std::string& folder) {
                            return folder + "/label_list.txt";
                          },
                          "No such file or directory"},
        UnreadableListRow{"folder",
                          [](const std::string& folder) {
                            mkdir((folder + "/label_list.txt").c_str(), 0755);
                            return folder + "/label_list.txt";
                          },
                          "a folder, not a regular file"},
        UnreadableListRow{"fifo",
                          [](const std::string& folder) {
                            mkfifo((folder + "/label_list.txt").c_str(), 0644);
                            return folder + "/label_list.txt";
                          },
                          "a FIFO, not a regular file"}),
    [](const testing::TestParamInfo<UnreadableListRow>& info) {
      return info.param.name;
    });

TEST(LabelListFileTest, RelativePathIsNamedInFull) {
  std::string problem;
  EXPECT_TRUE(readLabelNames("no_such_list.txt", &problem).empty());
  EXPECT_EQ(problem, std::filesystem::current_path().string() +
                         "/no_such_list.txt: No such file or directory");
}

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
  EXPECT_EQ(hookLog, "0:" + picked + "1:" + picked + "2:" + picked);
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
