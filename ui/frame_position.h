#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// The frame top-left corner nearest to `topLeft` at which a frame of the
// size `frame` lies in `area` (the screen's free area): moved left and up
// so that it ends within the area, then right and down so that it starts
// within it. The start wins: a frame larger than the area keeps its title
// bar and left edge in sight. An empty area leaves the corner as it is.
cv::Point keepFrameInArea(cv::Point topLeft, cv::Size frame,
                          const cv::Rect& area);

}  // namespace scribeline
