#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "canvas/window_views.h"
#include "ui/window_system.h"

namespace scribeline {

// What navigate made of a mouse event.
enum class Navigation {
  NotNavigation,  // not the wheel or the middle button: for the tool
  NothingMoved,   // navigation that moved no view (a limit, a click)
  ViewMoved,      // the views moved: both windows are to be redrawn
};

// Navigation by mouse in the main or "Mask" window (`at` in the pixels of
// its picture): the wheel zooms around the pointer, a middle-button drag
// pans. The view of the other window follows through `focus`.
// REQUIRES: the window's view is that of its last picture.
Navigation navigate(WindowViews& views, const std::string& window, int event,
                    cv::Point at, int flags);

// Arrow keys: pans the main view (brought up to date first, see mainView)
// an eighth of its window in the direction (-1, 0 or 1 per axis: the side
// of the photo to bring into sight). The caller redraws.
void panStep(WindowViews& views, WindowSystem& windows, cv::Size photo,
             cv::Point direction);

}  // namespace scribeline
