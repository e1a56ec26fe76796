#include <opencv2/imgproc.hpp>
#include <utility>
#include <vector>

#include "palette/palette.h"
#include "scissors/iscissor.h"

namespace scribeline {

namespace {

const cv::Vec3b kWhite(255, 255, 255);

// Paints (0, 0) and every white pixel 4-connected to it through white pixels
// with the colour of label 0. A pixel is painted when it is pushed, so the
// stack never holds a position twice.
void fillOutside(cv::Mat& mask) {
  const cv::Vec3b black = labelPixel(0);
  std::vector<std::pair<int, int>> stack;
  mask.at<cv::Vec3b>(0, 0) = black;
  stack.emplace_back(0, 0);
  const int neighbourDx[4] = {-1, 0, +1, 0};
  const int neighbourDy[4] = {0, -1, 0, +1};
  while (!stack.empty()) {
    const auto [x, y] = stack.back();
    stack.pop_back();
    for (int i = 0; i < 4; ++i) {
      const int nx = x + neighbourDx[i];
      const int ny = y + neighbourDy[i];
      if (nx < 0 || ny < 0 || nx >= mask.cols || ny >= mask.rows) continue;
      cv::Vec3b& pixel = mask.at<cv::Vec3b>(ny, nx);
      if (pixel != kWhite) continue;
      pixel = black;
      stack.emplace_back(nx, ny);
    }
  }
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

void IScissor::updateMaskFromContours(cv::Mat& mask, bool filled) const {
  if (width_ == 0 || height_ == 0) return;
  mask.create(height_, width_, CV_8UC3);
  mask.setTo(cv::Scalar(kWhite[0], kWhite[1], kWhite[2]));

  for (const Contour& contour : contours_) {
    if (!contour.closed || contour.points.empty()) continue;
    const cv::Scalar colour = labelColor(contour.label);
    const cv::Vec3b pixel = labelPixel(contour.label);
    for (const cv::Point& point : contour.points) {
      if (inside(point.x, point.y))
        mask.at<cv::Vec3b>(point.y, point.x) = pixel;
    }
    cv::line(mask, contour.points.front(), contour.points.back(), colour, 1,
             cv::LINE_8, 0);
  }

  if (!filled) return;
  fillOutside(mask);
  fillInside(mask);
}

}  // namespace scribeline
