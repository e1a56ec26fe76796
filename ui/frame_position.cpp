#include "ui/frame_position.h"

#include <algorithm>

namespace scribeline {

cv::Point keepFrameInArea(cv::Point topLeft, cv::Size frame,
                          const cv::Rect& area) {
  if (area.empty()) return topLeft;
  cv::Point at = topLeft;
  at.x = std::min(at.x, area.x + area.width - frame.width);
  at.y = std::min(at.y, area.y + area.height - frame.height);
  at.x = std::max(at.x, area.x);
  at.y = std::max(at.y, area.y);
  return at;
}

}  // namespace scribeline
