#include "canvas/pointer_outline.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace scribeline {

void drawDiscOutline(cv::Mat& picture, const Viewport& view, cv::Point centre,
                     int radius) {
  if (picture.empty() || view.empty() || radius <= 0) return;
  // The disc's pixels reach radius + 1/2 photo pixels from the centre
  // pixel's middle; drawn with 4 bits of subpixel precision.
  constexpr int kShift = 4;
  constexpr double kUnit = 1 << kShift;
  const cv::Rect block = view.toWindow(centre);
  const cv::Point middle(
      static_cast<int>(std::lround((block.x + block.width / 2.0) * kUnit)),
      static_cast<int>(std::lround((block.y + block.height / 2.0) * kUnit)));
  const int reach = static_cast<int>(
      std::lround(std::max(1.0, (radius + 0.5) * view.scale()) * kUnit));
  // A one-pixel white line between two one-pixel dark ones.
  const cv::Scalar dark(0, 0, 0), white(255, 255, 255);
  cv::circle(picture, middle, reach + (1 << kShift), dark, 1, cv::LINE_8,
             kShift);
  if (reach > (1 << kShift))
    cv::circle(picture, middle, reach - (1 << kShift), dark, 1, cv::LINE_8,
               kShift);
  cv::circle(picture, middle, reach, white, 1, cv::LINE_8, kShift);
}

}  // namespace scribeline
