#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "canvas/viewport.h"

namespace scribeline {

// Where the pointer was last seen over a photo pixel, and the radius (photo
// pixels) of the disc outline drawn around it there: the reach of a pen
// dab, so that its size is seen before painting. No outline while the
// radius is 0 (the current tool wants none).
struct PointerOutline {
  std::string window;  // kMainWindow or kMaskWindow; empty: not seen yet
  cv::Point photo;
  int radius = 0;

  bool shownIn(const std::string& name) const {
    return radius > 0 && window == name;
  }
};

// Draws the outline of the disc of `radius` photo pixels around the photo
// pixel `centre` onto `picture`, which shows the photo through `view`: the
// circle that encloses the disc's pixels at the view's scale, a white line
// on a dark rim, so that it shows on light and dark photos alike.
void drawDiscOutline(cv::Mat& picture, const Viewport& view, cv::Point centre,
                     int radius);

}  // namespace scribeline
