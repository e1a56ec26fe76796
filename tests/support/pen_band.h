// The pen's paint as the definition gives it, pixel by pixel: a disc of the
// radius at a position, and between two positions every pixel within the
// radius of the segment joining them.
#pragma once

#include <algorithm>
#include <opencv2/core.hpp>

namespace scribeline {

// Squared Euclidean distance of p to the segment [a, b].
inline double squaredDistanceToSegment(cv::Point2d p, cv::Point2d a,
                                       cv::Point2d b) {
  const cv::Point2d d = b - a;
  const double length2 = d.dot(d);
  const double t =
      length2 == 0 ? 0 : std::clamp((p - a).dot(d) / length2, 0.0, 1.0);
  const cv::Point2d nearest = a + t * d;
  return (p - nearest).dot(p - nearest);
}

// Paints every pixel of `picture` (8-bit BGR) within `radius` of [a, b].
inline void paintBand(cv::Mat& picture, cv::Point a, cv::Point b, int radius,
                      const cv::Scalar& colour) {
  const cv::Vec3b paint(colour[0], colour[1], colour[2]);
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.cols; ++x)
      if (squaredDistanceToSegment({double(x), double(y)}, a, b) <=
          radius * radius + 1e-9)
        picture.at<cv::Vec3b>(y, x) = paint;
}

}  // namespace scribeline
