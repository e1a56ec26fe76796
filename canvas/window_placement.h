#pragma once

#include <opencv2/core.hpp>

#include "canvas/viewport.h"
#include "canvas/window_layout.h"
#include "canvas/window_names.h"
#include "canvas/window_views.h"
#include "ui/window_system.h"

namespace scribeline {

// Opening and placing the main, "Mask" and "Toolbox" windows through the
// window system, and keeping each view the size of its window's picture.
// `photo` is the size of the photo (and of the mask) the windows show.

// The main view, brought up to date with the photo and with the size of the
// main window's picture area (the user may have resized a free-scale
// window); fitted when new.
Viewport& mainView(WindowViews& views, WindowSystem& windows, cv::Size photo);

// The screen as the window system describes it (an unknown free area counts
// as unlimited), with the frames measured on the open toolbox.
ScreenLayout screenLayout(WindowSystem& windows);

// Places the toolbox at the free area's top-left corner when it is not open.
void placeToolbox(WindowSystem& windows);

// Opens the main window in the mode, placed beside the toolbox, with the
// whole photo fitted (free scale) or at 1:1 around the current centre
// (100%). Does not draw; the caller gives it its mouse handler.
void openMainWindow(WindowViews& views, WindowSystem& windows, cv::Size photo,
                    WindowMode mode);

// Opens the "Mask" window in the mode (it must be closed), placed where it
// does not hide the main picture when the screen has room.
void openMaskWindow(WindowViews& views, WindowSystem& windows, cv::Size photo,
                    WindowMode mode);

// Shows `mask` (the photo's size) through the "Mask" window's view, which
// follows the main view; opens the window at 100% first when it is closed.
// An empty mask shows nothing.
void showMaskView(WindowViews& views, WindowSystem& windows,
                  const cv::Mat& mask);

}  // namespace scribeline
