#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "palette/palette.h"
#include "scissors/iscissor.h"

namespace scribeline {
namespace {

// Mask pictures: '.' is white, a digit is the colour of that label.
using Picture = std::vector<std::string>;

cv::Vec3b colourOf(char symbol) {
  if (symbol == '.') return cv::Vec3b(255, 255, 255);
  const cv::Scalar colour = labelColor(symbol - '0');
  return cv::Vec3b(colour[0], colour[1], colour[2]);
}

char symbolOf(const cv::Vec3b& pixel) {
  for (char symbol : std::string(".0123456789")) {
    if (colourOf(symbol) == pixel) return symbol;
  }
  return '?';
}

Picture pictureOf(const cv::Mat& mask) {
  Picture picture;
  for (int y = 0; y < mask.rows; ++y) {
    std::string row;
    for (int x = 0; x < mask.cols; ++x)
      row += symbolOf(mask.at<cv::Vec3b>(y, x));
    picture.push_back(row);
  }
  return picture;
}

// The outline of the rectangle with corners (x0, y0) and (x1, y1) as one
// 8-connected chain, clockwise from the top-left corner, ending next to it.
std::vector<cv::Point> rectangleOutline(int x0, int y0, int x1, int y1) {
  std::vector<cv::Point> points;
  for (int x = x0; x < x1; ++x) points.emplace_back(x, y0);
  for (int y = y0; y < y1; ++y) points.emplace_back(x1, y);
  for (int x = x1; x > x0; --x) points.emplace_back(x, y1);
  for (int y = y1; y > y0; --y) points.emplace_back(x0, y);
  return points;
}

Contour closedContour(std::vector<cv::Point> points, int label,
                      bool closed = true) {
  Contour contour;
  contour.closed = closed;
  contour.points = std::move(points);
  contour.label = label;
  return contour;
}

struct MaskCase {
  const char* name;
  int width, height;
  std::vector<Contour> contours;
  Picture outlines;  // after "n"
  Picture filled;    // after "N"
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << c.name; }

class MaskUpdate : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskUpdate, OutlinesAndFill) {
  const MaskCase& c = GetParam();
  const cv::Mat image(c.height, c.width, CV_8UC3, cv::Scalar::all(0));
  IScissor scissor(image);
  scissor.contours() = c.contours;
  // Earlier mask content of any colour is discarded.
  cv::Mat mask(c.height, c.width, CV_8UC3, cv::Scalar(1, 2, 3));

  scissor.updateMaskFromContours(mask, false);
  EXPECT_EQ(pictureOf(mask), c.outlines);
  scissor.updateMaskFromContours(mask, true);
  EXPECT_EQ(pictureOf(mask), c.filled);
  // The contours are not consumed: writing again gives the same mask.
  scissor.updateMaskFromContours(mask, true);
  EXPECT_EQ(pictureOf(mask), c.filled);
}

INSTANTIATE_TEST_SUITE_P(
    Scissors, MaskUpdate,
    ::testing::Values(
        MaskCase{"SquareOutline",
                 8,
                 7,
                 {closedContour(rectangleOutline(2, 1, 5, 4), 1)},
                 {"........", "..1111..", "..1..1..", "..1..1..", "..1111..",
                  "........", "........"},
                 {"00000000", "00111100", "00111100", "00111100", "00111100",
                  "00000000", "00000000"}},
        MaskCase{"NoContour",
                 5,
                 3,
                 {},
                 {".....", ".....", "....."},
                 {"00000", "00000", "00000"}},
        MaskCase{"OpenContoursAreSkipped",
                 6,
                 5,
                 {closedContour(rectangleOutline(1, 1, 4, 3), 2, false)},
                 {"......", "......", "......", "......", "......"},
                 {"000000", "000000", "000000", "000000", "000000"}},
        // The inner contour's colour carries on to its right, up to the outer
        // outline: each white pixel takes the nearest outline on its left.
        MaskCase{"NestedContoursOfTwoLabels",
                 10,
                 9,
                 {closedContour(rectangleOutline(1, 1, 8, 7), 1),
                  closedContour(rectangleOutline(3, 3, 6, 5), 2)},
                 {"..........", ".11111111.", ".1......1.", ".1.2222.1.",
                  ".1.2..2.1.", ".1.2222.1.", ".1......1.", ".11111111.",
                  ".........."},
                 {"0000000000", "0111111110", "0111111110", "0112222210",
                  "0112222210", "0112222210", "0111111110", "0111111110",
                  "0000000000"}},
        // A line from the top to the bottom border encloses nothing: both
        // sides reach the border and are outside.
        MaskCase{"LineFromBorderToBorder",
                 7,
                 4,
                 {closedContour({{3, 0}, {3, 1}, {3, 2}, {3, 3}}, 3)},
                 {"...3...", "...3...", "...3...", "...3..."},
                 {"0003000", "0003000", "0003000", "0003000"}},
        // An outline through (0, 0) keeps its colour there, and fills only
        // its own inside.
        MaskCase{"OutlineThroughTheCorner",
                 6,
                 5,
                 {closedContour(rectangleOutline(0, 0, 2, 2), 4)},
                 {"444...", "4.4...", "444...", "......", "......"},
                 {"444000", "444000", "444000", "000000", "000000"}},
        // A C-shaped outline touching the right edge twice: the cavity
        // between it and the edge is outside, its body inside.
        MaskCase{"CavityOpenToTheRightEdge",
                 9,
                 7,
                 {closedContour({{8, 1}, {7, 1}, {6, 1}, {5, 1}, {4, 1}, {3, 1},
                                 {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {3, 5},
                                 {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {8, 4},
                                 {7, 4}, {6, 4}, {5, 4}, {5, 3}, {5, 2}, {6, 2},
                                 {7, 2}, {8, 2}},
                                2)},
                 {".........", "..2222222", "..2..2222", "..2..2...",
                  "..2..2222", "..2222222", "........."},
                 {"000000000", "002222222", "002222222", "002222000",
                  "002222222", "002222222", "000000000"}},
        // A diagonal across the top-right corner encloses nothing: the
        // corner it cuts off is outside.
        MaskCase{
            "DiagonalAcrossTheTopRightCorner",
            9,
            5,
            {closedContour({{6, 0}, {7, 1}, {8, 2}}, 2)},
            {"......2..", ".......2.", "........2", ".........", "........."},
            {"000000200", "000000020", "000000002", "000000000", "000000000"}},
        // Along the top and right edges, closed by the diagonal back: the
        // triangle in the corner is inside.
        MaskCase{
            "TriangleInTheTopRightCorner",
            9,
            5,
            {closedContour(
                {{5, 0}, {6, 0}, {7, 0}, {8, 0}, {8, 1}, {8, 2}, {8, 3}}, 5)},
            {".....5555", "......5.5", ".......55", "........5", "........."},
            {"000005555", "000000555", "000000055", "000000005", "000000000"}},
        // Closing lines are drawn; the later contour wins where they cross.
        MaskCase{"ClosingLineAndOverlap",
                 6,
                 4,
                 {closedContour({{1, 1}, {2, 1}, {3, 1}, {4, 1}}, 1),
                  closedContour({{3, 0}, {3, 1}, {3, 2}}, 2)},
                 {"...2..", ".1121.", "...2..", "......"},
                 {"000200", "011210", "000200", "000000"}}),
    [](const ::testing::TestParamInfo<MaskCase>& info) {
      return std::string(info.param.name);
    });

TEST(MaskUpdateSize, MaskOfAnotherSizeIsReallocated) {
  const cv::Mat image(4, 5, CV_8UC3, cv::Scalar::all(0));
  IScissor scissor(image);
  cv::Mat mask;
  scissor.updateMaskFromContours(mask, true);
  ASSERT_EQ(mask.size(), image.size());
  ASSERT_EQ(mask.type(), CV_8UC3);
  EXPECT_EQ(cv::countNonZero(mask.reshape(1)), 0);
}

}  // namespace
}  // namespace scribeline
