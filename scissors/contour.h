#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// A chain of pixels drawn with the scissors: live-wire segments joined where
// the user pressed. Consecutive points are 8-neighbours.
struct Contour {
  bool closed = false;            // finished as closed (Ctrl+Enter)
  std::vector<cv::Point> points;  // x column, y row, from the start point on
  int label = 0;                  // the label current when it was started
};

}  // namespace scribeline
