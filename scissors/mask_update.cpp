#include "scissors/mask_update.h"

#include <opencv2/imgproc.hpp>
#include <utility>
#include <vector>

#include "palette/palette.h"
#include "scissors/iscissor.h"

namespace scribeline {

namespace {

const cv::Vec3b kWhite(255, 255, 255);

// Paints every white pixel 4-connected through white pixels to a white pixel
// of the image's border with the colour of label 0: the outside of every
// closed outline, which reaches the border wherever an outline does not run
// along it. An outline that touches the border thus keeps its own inside,
// and without one touching it the border is one white ring, so the result is
// that of a fill from the top-left pixel alone. A pixel is painted when it
// is pushed, so the stack never holds a position twice.
void fillOutside(cv::Mat& mask) {
  const cv::Vec3b black = labelPixel(0);
  std::vector<std::pair<int, int>> stack;
  const auto push = [&](int x, int y) {
    cv::Vec3b& pixel = mask.at<cv::Vec3b>(y, x);
    if (pixel != kWhite) return;
    pixel = black;
    stack.emplace_back(x, y);
  };
  const int neighbourDx[4] = {-1, 0, +1, 0};
  const int neighbourDy[4] = {0, -1, 0, +1};
  const auto flood = [&] {
    while (!stack.empty()) {
      const auto [x, y] = stack.back();
      stack.pop_back();
      for (int i = 0; i < 4; ++i) {
        const int nx = x + neighbourDx[i];
        const int ny = y + neighbourDy[i];
        if (nx < 0 || ny < 0 || nx >= mask.cols || ny >= mask.rows) continue;
        push(nx, ny);
      }
    }
  };
  // Clockwise from the top-left pixel, flooding from each seed before the
  // next, so that the stack stays as deep as a fill from one pixel.
  for (int x = 0; x < mask.cols; ++x) push(x, 0), flood();
  for (int y = 1; y < mask.rows; ++y) push(mask.cols - 1, y), flood();
  for (int x = mask.cols - 2; x >= 0; --x) push(x, mask.rows - 1), flood();
  for (int y = mask.rows - 2; y >= 1; --y) push(0, y), flood();
}

// Every white pixel takes the colour of the nearest non-white pixel to its
// left in its row, or the colour of label 0 when there is none.
void fillInside(cv::Mat& mask) {
  const cv::Vec3b black = labelPixel(0);
  for (int y = 0; y < mask.rows; ++y) {
    cv::Vec3b* row = mask.ptr<cv::Vec3b>(y);
    cv::Vec3b carried = black;
    for (int x = 0; x < mask.cols; ++x) {
      if (row[x] == kWhite) {
        row[x] = carried;
      } else {
        carried = row[x];
      }
    }
  }
}

}  // namespace

void writeContoursIntoMask(const std::vector<Contour>& contours, cv::Size size,
                           bool filled, cv::Mat& mask) {
  if (size.width <= 0 || size.height <= 0) return;
  mask.create(size, CV_8UC3);
  mask.setTo(cv::Scalar(kWhite[0], kWhite[1], kWhite[2]));
  const cv::Rect area({0, 0}, size);

  for (const Contour& contour : contours) {
    if (!contour.closed || contour.points.empty()) continue;
    const cv::Scalar colour = labelColor(contour.label);
    const cv::Vec3b pixel = labelPixel(contour.label);
    for (const cv::Point& point : contour.points) {
      if (area.contains(point)) mask.at<cv::Vec3b>(point) = pixel;
    }
    cv::line(mask, contour.points.front(), contour.points.back(), colour, 1,
             cv::LINE_8, 0);
  }

  if (!filled) return;
  fillOutside(mask);
  fillInside(mask);
}

void IScissor::updateMaskFromContours(cv::Mat& mask, bool filled) const {
  writeContoursIntoMask(contours_, cv::Size(width_, height_), filled, mask);
}

}  // namespace scribeline
