#include "canvas/mask_cleanup.h"

#include <gtest/gtest.h>

#include <map>
#include <opencv2/imgproc.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "canvas/mask_steps.h"
#include "palette/palette.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// Mask pictures: '.' is white, a digit the colour of that label, 'x' a
// colour outside the palette. Mark pictures: a digit marks the pen's paint
// of that label, '.' no mark.
using Picture = std::vector<std::string>;

const cv::Vec3b kOddColour(1, 2, 3);

cv::Vec3b colourOf(char symbol) {
  if (symbol == '.') return cv::Vec3b(255, 255, 255);
  if (symbol == 'x') return kOddColour;
  return labelPixel(symbol - '0');
}

cv::Mat maskOf(const Picture& picture) {
  cv::Mat mask(static_cast<int>(picture.size()),
               static_cast<int>(picture[0].size()), CV_8UC3);
  for (int y = 0; y < mask.rows; ++y)
    for (int x = 0; x < mask.cols; ++x)
      mask.at<cv::Vec3b>(y, x) = colourOf(picture[y][x]);
  return mask;
}

cv::Mat marksOf(const Picture& picture) {
  if (picture.empty()) return {};
  cv::Mat marks(static_cast<int>(picture.size()),
                static_cast<int>(picture[0].size()), CV_8UC1);
  for (int y = 0; y < marks.rows; ++y)
    for (int x = 0; x < marks.cols; ++x)
      marks.at<uchar>(y, x) =
          picture[y][x] == '.' ? 0 : picture[y][x] - '0' + 1;
  return marks;
}

Picture pictureOf(const cv::Mat& mask) {
  Picture picture;
  for (int y = 0; y < mask.rows; ++y) {
    std::string row;
    for (int x = 0; x < mask.cols; ++x) {
      char symbol = '?';
      for (char s : std::string(".x0123456789"))
        if (colourOf(s) == mask.at<cv::Vec3b>(y, x)) symbol = s;
      row += symbol;
    }
    picture.push_back(row);
  }
  return picture;
}

struct CleanupCase {
  const char* name;
  int minimumSize;
  Picture mask;
  Picture marks;  // empty: the pen never painted
  Picture cleaned;
  int islands, holes, pixels;
};

void PrintTo(const CleanupCase& c, std::ostream* os) { *os << c.name; }

class MaskCleanup : public testing::TestWithParam<CleanupCase> {};

TEST_P(MaskCleanup, CleansRegionsBelowTheMinimum) {
  const CleanupCase& c = GetParam();
  cv::Mat mask = maskOf(c.mask);
  const CleanupCount count = cleanUpMask(mask, marksOf(c.marks), c.minimumSize);
  EXPECT_EQ(pictureOf(mask), c.cleaned);
  EXPECT_EQ(count.islands, c.islands);
  EXPECT_EQ(count.holes, c.holes);
  EXPECT_EQ(count.pixels, c.pixels);
  // What is left has nothing more to clean.
  const CleanupCount again = cleanUpMask(mask, marksOf(c.marks), c.minimumSize);
  EXPECT_EQ(again.pixels, 0);
  EXPECT_EQ(pictureOf(mask), c.cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, MaskCleanup,
    testing::Values(
        // Regions of 2, 3 and 4 pixels against a minimum of 3: only the one
        // below it goes, as a hole of label 1.
        CleanupCase{"BelowAtAndAboveTheMinimum",
                    3,
                    {"1111111111", "1221334411", "1111314411", "1111111111"},
                    {},
                    {"1111111111", "1111334411", "1111314411", "1111111111"},
                    0,
                    1,
                    2},
        // The island shares 4 edges with label 2 and 2 with the much larger
        // region of label 1: it takes label 2.
        CleanupCase{
            "LongestBorderWinsNotLargestRegion",
            3,
            {"1111111", "1222111", "1223111", "1223111", "1222111", "1111111"},
            {},
            {"1111111", "1222111", "1222111", "1222111", "1222111", "1111111"},
            1,
            0,
            2},
        // Equal borders with labels 4 and 2, both regions of 5 pixels: the
        // lower number wins.
        CleanupCase{"EqualBordersGoToTheLowerLabel",
                    3,
                    {"4444", "4332", "2222"},
                    {},
                    {"4444", "4222", "2222"},
                    1,
                    0,
                    2},
        // Pixels meeting at a corner are apart: two single pixels.
        CleanupCase{"RegionsAreFourConnected",
                    2,
                    {"1111", "1211", "1121", "1111"},
                    {},
                    {"1111", "1111", "1111", "1111"},
                    0,
                    2,
                    2},
        // A ring of 2 (16 pixels) around a core of 3 (9 pixels) inside 1.
        // Below 26 the whole hole (25 pixels) becomes 1, the core first;
        // below 10 only the core goes, into the ring; at 9 nothing.
        CleanupCase{
            "NestedHoleSmallerThanTheMinimum",
            26,
            {"111111111", "111111111", "112222211", "112333211", "112333211",
             "112333211", "112222211", "111111111", "111111111"},
            {},
            {"111111111", "111111111", "111111111", "111111111", "111111111",
             "111111111", "111111111", "111111111", "111111111"},
            0,
            2,
            25},
        CleanupCase{
            "OnlyTheInnerHoleBelowTheMinimum",
            10,
            {"111111111", "111111111", "112222211", "112333211", "112333211",
             "112333211", "112222211", "111111111", "111111111"},
            {},
            {"111111111", "111111111", "112222211", "112222211", "112222211",
             "112222211", "112222211", "111111111", "111111111"},
            0,
            1,
            9},
        CleanupCase{"NestedHoleAtTheMinimum",
                    9,
                    {"1111111", "1222221", "1233321", "1233321", "1233321",
                     "1222221", "1111111"},
                    {},
                    {"1111111", "1222221", "1233321", "1233321", "1233321",
                     "1222221", "1111111"},
                    0,
                    0,
                    0},
        // A hole holding white and a label side by side, 4 pixels in all.
        CleanupCase{"HoleOfSeveralLabelsAndNoLabel",
                    5,
                    {"666666", "6..726", "666666"},
                    {},
                    {"666666", "666666", "666666"},
                    1,
                    2,
                    4},
        // No label never spreads: a small labelled island in white stays, so
        // does one whose longest border is with white; a small white region
        // takes its labelled neighbour.
        CleanupCase{
            "NoLabelNeverSpreads",
            3,
            {"......", ".5....", "......", "33333.", "3.3.3.", "33333."},
            {},
            {"......", ".5....", "......", "33333.", "33333.", "33333."},
            0,
            2,
            2},
        CleanupCase{"IslandAgainstNoLabelAndALabel",
                    3,
                    {"......", "..5...", "777777", "777777"},
                    {},
                    {"......", "..5...", "777777", "777777"},
                    0,
                    0,
                    0},
        CleanupCase{"IslandMostlyAgainstALabelTakesIt",
                    3,
                    {"......", "778777", "777777"},
                    {},
                    {"......", "777777", "777777"},
                    1,
                    0,
                    1},
        // The edge is no neighbour: islands in a corner and along an edge
        // take the label they touch inside the photo.
        CleanupCase{"IslandsTouchingTheEdge",
                    3,
                    {"21111", "11111", "11113", "11113"},
                    {},
                    {"11111", "11111", "11111", "11111"},
                    2,
                    0,
                    3},
        // A region alone in the photo has no neighbour to take.
        CleanupCase{"RegionWithoutNeighbourStays",
                    10,
                    {"444", "444"},
                    {},
                    {"444", "444"},
                    0,
                    0,
                    0},
        // The pen's island stays, and so does the whole region holding one
        // pen pixel; a mark whose label the pixel no longer holds protects
        // nothing.
        CleanupCase{"PenPaintStays",
                    4,
                    {"1111111", "1211331", "1111111", "1111441", "1111111"},
                    {".......", ".2...3.", ".......", "....3..", "......."},
                    {"1111111", "1211331", "1111111", "1111111", "1111111"},
                    0,
                    1,
                    2},
        // Small white regions around a pen region take its label; the pen
        // region itself is not taken by the larger label around it.
        CleanupCase{"PenPaintVotesAsItsLabel",
                    10,
                    {"22222222", "2233.322", "22333322", "22222222"},
                    {"........", "..33.3..", "..3333..", "........"},
                    {"22222222", "22333322", "22333322", "22222222"},
                    1,
                    0,
                    1},
        // Colours outside the palette are cleaned like labels.
        CleanupCase{"ColoursOutsideThePalette",
                    2,
                    {"xxxx", "x1xx", "xxxx"},
                    {},
                    {"xxxx", "xxxx", "xxxx"},
                    0,
                    1,
                    1}),
    [](const testing::TestParamInfo<CleanupCase>& info) {
      return std::string(info.param.name);
    });

// Random masks of three labels and white, with random pen paint, checked
// with regions found by OpenCV: pen paint and white are never created or
// changed wrongly, and every region left below the minimum without pen paint
// has no labelled neighbour or a longer border with white than with any
// label.
TEST(MaskCleanupRandom, WhatRemainsSmallHasNoLabelToTake) {
  std::mt19937 random(20261211);
  for (int round = 0; round < 300; ++round) {
    const int width = 4 + random() % 12, height = 3 + random() % 10;
    const int minimum = 2 + random() % 9;
    Picture picture(height, std::string(width, '.'));
    Picture marks(height, std::string(width, '.'));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        // Mostly copies of a neighbour, so that regions of many sizes form.
        const int pick = random() % 10;
        char& here = picture[y][x];
        if (pick < 4 && x > 0) {
          here = picture[y][x - 1];
        } else if (pick < 8 && y > 0) {
          here = picture[y - 1][x];
        } else {
          here = ".123"[random() % 4];
        }
        if (here != '.' && random() % 12 == 0) marks[y][x] = here;
      }
    }
    const cv::Mat before = maskOf(picture);
    cv::Mat mask = before.clone();
    const cv::Mat penMarks = marksOf(marks);
    cleanUpMask(mask, penMarks, minimum);
    SCOPED_TRACE("round " + std::to_string(round));

    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const cv::Vec3b now = mask.at<cv::Vec3b>(y, x);
        if (now == before.at<cv::Vec3b>(y, x)) continue;
        ASSERT_FALSE(marks[y][x] != '.' && marks[y][x] == picture[y][x])
            << "pen paint changed at " << x << "," << y;
        ASSERT_NE(now, colourOf('.')) << "white spread to " << x << "," << y;
      }
    }
    // The regions left, each colour on its own.
    const Picture after = pictureOf(mask);
    for (char colour : std::string(".123")) {
      cv::Mat plane(height, width, CV_8UC1);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          plane.at<uchar>(y, x) = after[y][x] == colour;
      cv::Mat regions;
      const int count = cv::connectedComponents(plane, regions, 4, CV_32S);
      for (int region = 1; region < count; ++region) {
        int size = 0;
        bool pen = false;
        std::map<char, int> borders;
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            if (regions.at<int>(y, x) != region) continue;
            ++size;
            pen = pen || (marks[y][x] == colour && picture[y][x] == colour);
            const cv::Point steps[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (const cv::Point step : steps) {
              const int nx = x + step.x, ny = y + step.y;
              if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
              if (after[ny][nx] != colour) ++borders[after[ny][nx]];
            }
          }
        }
        if (size >= minimum || pen) continue;
        int bestLabel = 0;
        for (const auto& [neighbour, length] : borders)
          if (neighbour != '.') bestLabel = std::max(bestLabel, length);
        EXPECT_TRUE(bestLabel == 0 || borders['.'] > bestLabel)
            << "a region of " << size << " pixels of '" << colour
            << "' is left, minimum " << minimum;
      }
    }
  }
}

TEST(MaskCleanupSize, DefaultIsATenThousandthOfThePhotoWithAFloor) {
  EXPECT_EQ(defaultCleanupSize(18'000'000), 1800);
  EXPECT_EQ(defaultCleanupSize(4'000'000), 400);
  EXPECT_EQ(defaultCleanupSize(100), 64);
}

struct CleanupWorkspace : testing::Test {
  CleanupWorkspace() : workspace(windows, console) {
    workspace.image = cv::Mat(4, 6, CV_8UC3, cv::Scalar::all(9));
    workspace.mask = maskOf({"111111", "121131", "111111", "111111"});
    workspace.cleanupSize = 2;
    startMaskHistory(workspace);
  }
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
};

// Both holes go in one step of the history, which one undo takes back.
TEST_F(CleanupWorkspace, OneUndoStepAndAConsoleLine) {
  const cv::Mat before = workspace.mask.clone();
  cleanUpWorkspaceMask(workspace);
  EXPECT_EQ(pictureOf(workspace.mask),
            Picture({"111111", "111111", "111111", "111111"}));
  EXPECT_EQ(console.str(),
            "clean-up below 2 pixels: 0 islands and 2 holes changed, 2 "
            "pixels\n");
  EXPECT_EQ(workspace.history.undoCount(), 1u);
  ASSERT_TRUE(undoMaskStep(workspace));
  EXPECT_EQ(cv::norm(workspace.mask, before, cv::NORM_INF), 0);

  console.str("");
  workspace.cleanupSize = 0;  // the default: 64 here
  redoMaskStep(workspace);
  cleanUpWorkspaceMask(workspace);
  EXPECT_EQ(console.str(), "clean-up below 64 pixels: nothing changed\n");
  EXPECT_EQ(workspace.history.undoCount(), 1u);
}

TEST_F(CleanupWorkspace, SizeHalvesAndDoublesWithinTwoAndThePhoto) {
  workspace.mask = cv::Mat(100, 100, CV_8UC3, cv::Scalar::all(255));
  workspace.cleanupSize = 0;
  raiseCleanupSize(workspace);  // from the default, 64
  lowerCleanupSize(workspace);
  for (int i = 0; i < 7; ++i) lowerCleanupSize(workspace);
  EXPECT_EQ(workspace.cleanupSize, 2);
  workspace.cleanupSize = 8000;
  raiseCleanupSize(workspace);  // the photo has 10000 pixels
  std::istringstream lines(console.str());
  std::vector<std::string> said;
  for (std::string line; std::getline(lines, line);) said.push_back(line);
  ASSERT_EQ(said.size(), 10u);
  EXPECT_EQ(said[0], "current clean-up size = 128 pixels");
  EXPECT_EQ(said[1], "current clean-up size = 64 pixels");
  EXPECT_EQ(said[7], "current clean-up size = 2 pixels");
  EXPECT_EQ(said[8], "current clean-up size = 2 pixels");
  EXPECT_EQ(said[9], "current clean-up size = 10000 pixels");
}

}  // namespace
}  // namespace scribeline
