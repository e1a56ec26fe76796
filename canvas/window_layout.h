#pragma once

#include <opencv2/core.hpp>

#include "ui/window_system.h"

namespace scribeline {

// Where the windows go on the screen, so that none covers another's
// picture where the screen has room: the toolbox at the free area's top-left
// corner, the main window beside it, the "Mask" window in the largest space
// left. Pure arithmetic over rectangles in screen pixels; a window's frame
// is its picture area grown by `decoration` (borders and title bar, zero
// with no window manager), with the picture area at its bottom-right.
struct ScreenLayout {
  cv::Rect freeArea;
  cv::Size decoration;
  cv::Size toolboxPicture;
};

// Space kept between neighbouring windows.
constexpr int kWindowGap = 4;
// The smallest "Mask" picture worth placing beside the main window rather
// than over the half of it away from the work.
const cv::Size kSmallestMaskPicture(240, 160);

// The toolbox's frame.
cv::Rect toolboxFrame(const ScreenLayout& layout);

// The main window's picture area: beside the toolbox, the photo fitted into
// the rest of the free area (never enlarged) for a free-scale window, or
// the photo at 100% cut to that room.
cv::Rect mainPicture(const ScreenLayout& layout, cv::Size photo,
                     WindowMode mode);

// The "Mask" window's picture area, at most `wanted` large: in the largest
// part of the free area outside the toolbox's and the main window's frames
// when that part holds kSmallestMaskPicture; otherwise over the half of the
// main picture that does not hold `workPoint` (a screen point).
cv::Rect maskPicture(const ScreenLayout& layout, const cv::Rect& mainPicture,
                     cv::Size wanted, cv::Point workPoint);

// The frame top-left that puts a picture area where `picture` says.
cv::Point frameTopLeft(const ScreenLayout& layout, const cv::Rect& picture);

}  // namespace scribeline
