#include "canvas/window_placement.h"

#include <algorithm>

#include "canvas/sampling.h"

namespace scribeline {

namespace {

// The toolbox's picture, of a fixed size.
const cv::Size kToolboxPicture(180, 500);
// Stands for an unknown free area: no limit on any side.
const cv::Rect kUnlimitedArea(0, 0, 1 << 15, 1 << 15);

bool maskWindowOpen(WindowSystem& windows) {
  return !windows.pictureArea(kMaskWindow).empty();
}

void syncView(Viewport& view, cv::Size photo, cv::Size window) {
  if (view.photoSize() != photo || view.empty())
    view = Viewport(photo, window);
  else
    view.resize(window);
}

// Places the "Mask" window for a picture of the main view's size, beside
// the main window where the screen has room.
void placeMask(WindowViews& views, WindowSystem& windows, cv::Size photo) {
  const ScreenLayout layout = screenLayout(windows);
  const Viewport& main = mainView(views, windows, photo);
  cv::Rect mainArea = windows.pictureArea(kMainWindow);
  if (mainArea.empty()) mainArea = mainPicture(layout, photo, views.mainMode);
  const cv::Point work =
      mainArea.tl() + (views.workPoint.x >= 0 ? views.workPoint : cv::Point());
  const cv::Rect picture =
      maskPicture(layout, mainArea, main.windowSize(), work);
  views.maskPlanned = picture.size();
  windows.placeWindow(kMaskWindow, frameTopLeft(layout, picture),
                      picture.size());
}

}  // namespace

Viewport& mainView(WindowViews& views, WindowSystem& windows, cv::Size photo) {
  cv::Size window = views.mainPlanned;
  if (views.mainMode == WindowMode::FreeScale) {
    const cv::Size area = windows.pictureArea(kMainWindow).size();
    if (!area.empty()) window = area;
  }
  if (window.empty()) {
    window = mainPicture(screenLayout(windows), photo, views.mainMode).size();
    views.mainPlanned = window;
  }
  Viewport& view = views.main;
  if (view.photoSize() != photo || view.windowSize() != window) {
    syncView(view, photo, window);
    views.focus = view.focus();
  }
  return view;
}

ScreenLayout screenLayout(WindowSystem& windows) {
  ScreenLayout layout;
  layout.freeArea = windows.freeArea();
  if (layout.freeArea.empty()) layout.freeArea = kUnlimitedArea;
  const cv::Rect frame = windows.windowFrame(kToolboxWindow);
  const cv::Rect picture = windows.pictureArea(kToolboxWindow);
  if (!frame.empty() && !picture.empty()) {
    layout.decoration = cv::Size(std::max(0, frame.width - picture.width),
                                 std::max(0, frame.height - picture.height));
  }
  layout.toolboxPicture = kToolboxPicture;
  return layout;
}

void placeToolbox(WindowSystem& windows) {
  if (!windows.pictureArea(kToolboxWindow).empty()) return;
  windows.placeWindow(kToolboxWindow, toolboxFrame(screenLayout(windows)).tl(),
                      {});
}

void openMainWindow(WindowViews& views, WindowSystem& windows, cv::Size photo,
                    WindowMode mode) {
  views.mainMode = mode;
  windows.createWindow(kMainWindow, mode);
  const ScreenLayout layout = screenLayout(windows);
  const cv::Rect picture = mainPicture(layout, photo, mode);
  views.mainPlanned = picture.size();
  windows.placeWindow(kMainWindow, frameTopLeft(layout, picture),
                      picture.size());
  Viewport& view = views.main;
  syncView(view, photo, picture.size());
  if (mode == WindowMode::FreeScale)
    view.fit();
  else
    view.showActualSize();
  views.focus = view.focus();
}

void openMaskWindow(WindowViews& views, WindowSystem& windows, cv::Size photo,
                    WindowMode mode) {
  views.maskMode = mode;
  windows.createWindow(kMaskWindow, mode);
  placeMask(views, windows, photo);
}

void showMaskView(WindowViews& views, WindowSystem& windows,
                  const cv::Mat& mask) {
  if (mask.empty()) return;
  const cv::Size photo = mask.size();
  if (!maskWindowOpen(windows)) {
    views.maskMode = WindowMode::Scale100;
    windows.createWindow(kMaskWindow, WindowMode::Scale100);
    placeMask(views, windows, photo);
  } else if (views.maskPlanned.empty()) {
    placeMask(views, windows, photo);
  }
  cv::Size size = views.maskPlanned;
  if (views.maskMode == WindowMode::FreeScale) {
    const cv::Size area = windows.pictureArea(kMaskWindow).size();
    if (!area.empty()) size = area;
  }
  mainView(views, windows, photo);
  syncView(views.mask, photo, size);
  views.mask.setFocus(views.focus);
  renderNearest(mask, views.mask, views.maskColumns, views.maskRows,
                views.maskPicture);
  if (views.pointer.shownIn(kMaskWindow))
    drawDiscOutline(views.maskPicture, views.mask, views.pointer.photo,
                    views.pointer.radius);
  windows.showImage(kMaskWindow, views.maskPicture);
}

}  // namespace scribeline
