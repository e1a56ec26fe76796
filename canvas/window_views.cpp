#include "canvas/window_views.h"

#include <algorithm>

#include "canvas/mouse.h"
#include "canvas/view.h"
#include "canvas/workspace.h"

namespace scribeline {

namespace {

// The toolbox's picture before it is first drawn (its fixed size).
const cv::Size kToolboxPicture(180, 500);
// Stands for an unknown free area: no limit on any side.
const cv::Rect kUnlimitedArea(0, 0, 1 << 15, 1 << 15);

bool maskWindowOpen(Workspace& workspace) {
  return !workspace.windows.pictureArea(kMaskWindow).empty();
}

void syncView(Viewport& view, cv::Size photo, cv::Size window) {
  if (view.photoSize() != photo || view.empty())
    view = Viewport(photo, window);
  else
    view.resize(window);
}

// Places the "Mask" window for a picture of the main view's size, beside
// the main window where the screen has room.
void placeMask(Workspace& workspace) {
  WindowViews& views = workspace.views;
  const ScreenLayout layout = screenLayout(workspace);
  const Viewport& main = mainView(workspace);
  cv::Rect mainArea = workspace.windows.pictureArea(kMainWindow);
  if (mainArea.empty())
    mainArea = mainPicture(layout, workspace.image.size(), views.mainMode);
  const cv::Point work =
      mainArea.tl() + (views.workPoint.x >= 0 ? views.workPoint : cv::Point());
  const cv::Rect picture =
      maskPicture(layout, mainArea, main.windowSize(), work);
  views.maskPlanned = picture.size();
  workspace.windows.placeWindow(kMaskWindow, frameTopLeft(layout, picture),
                                picture.size());
}

// Both windows after the view moved.
void redrawViews(Workspace& workspace) {
  recomposeAndShow(workspace);
  if (maskWindowOpen(workspace)) showMaskView(workspace);
}

}  // namespace

Viewport& mainView(Workspace& workspace) {
  WindowViews& views = workspace.views;
  const cv::Size photo = workspace.image.size();
  cv::Size window = views.mainPlanned;
  if (views.mainMode == WindowMode::FreeScale) {
    const cv::Size area = workspace.windows.pictureArea(kMainWindow).size();
    if (!area.empty()) window = area;
  }
  if (window.empty()) {
    window = mainPicture(screenLayout(workspace), photo, views.mainMode).size();
    views.mainPlanned = window;
  }
  Viewport& view = views.main;
  if (view.photoSize() != photo || view.windowSize() != window) {
    syncView(view, photo, window);
    views.focus = view.focus();
  }
  return view;
}

ScreenLayout screenLayout(Workspace& workspace) {
  ScreenLayout layout;
  layout.freeArea = workspace.windows.freeArea();
  if (layout.freeArea.empty()) layout.freeArea = kUnlimitedArea;
  const cv::Rect frame = workspace.windows.windowFrame(kToolboxWindow);
  const cv::Rect picture = workspace.windows.pictureArea(kToolboxWindow);
  if (!frame.empty() && !picture.empty()) {
    layout.decoration = cv::Size(std::max(0, frame.width - picture.width),
                                 std::max(0, frame.height - picture.height));
  }
  layout.toolboxPicture = workspace.toolboxImage.empty()
                              ? kToolboxPicture
                              : workspace.toolboxImage.size();
  return layout;
}

void placeToolbox(Workspace& workspace) {
  if (!workspace.windows.pictureArea(kToolboxWindow).empty()) return;
  workspace.windows.placeWindow(kToolboxWindow,
                                toolboxFrame(screenLayout(workspace)).tl(), {});
}

void openMainWindow(Workspace& workspace, WindowMode mode) {
  WindowViews& views = workspace.views;
  views.mainMode = mode;
  workspace.windows.createWindow(kMainWindow, mode);
  const ScreenLayout layout = screenLayout(workspace);
  const cv::Rect picture = mainPicture(layout, workspace.image.size(), mode);
  views.mainPlanned = picture.size();
  workspace.windows.placeWindow(kMainWindow, frameTopLeft(layout, picture),
                                picture.size());
  Viewport& view = views.main;
  syncView(view, workspace.image.size(), picture.size());
  if (mode == WindowMode::FreeScale)
    view.fit();
  else
    view.showActualSize();
  views.focus = view.focus();
  registerMainMouse(workspace, kMainWindow);
}

void openMaskWindow(Workspace& workspace, WindowMode mode) {
  workspace.views.maskMode = mode;
  workspace.windows.createWindow(kMaskWindow, mode);
  placeMask(workspace);
}

void showMaskView(Workspace& workspace) {
  WindowViews& views = workspace.views;
  if (workspace.mask.empty()) return;
  if (!maskWindowOpen(workspace)) {
    views.maskMode = WindowMode::Scale100;
    workspace.windows.createWindow(kMaskWindow, WindowMode::Scale100);
    placeMask(workspace);
  } else if (views.maskPlanned.empty()) {
    placeMask(workspace);
  }
  cv::Size size = views.maskPlanned;
  if (views.maskMode == WindowMode::FreeScale) {
    const cv::Size area = workspace.windows.pictureArea(kMaskWindow).size();
    if (!area.empty()) size = area;
  }
  mainView(workspace);
  syncView(views.mask, workspace.mask.size(), size);
  views.mask.setFocus(views.focus);
  renderNearest(workspace.mask, views.mask, views.maskColumns, views.maskRows,
                views.maskPicture);
  workspace.windows.showImage(kMaskWindow, views.maskPicture);
}

bool navigate(Workspace& workspace, const std::string& window, int event,
              cv::Point at, int flags) {
  WindowViews& views = workspace.views;
  const bool inMask = window == kMaskWindow;
  Viewport& view = inMask ? views.mask : views.main;
  const Viewport before = view;
  switch (event) {
    case kMouseWheel: {
      views.wheelRest += wheelDelta(flags);
      const int steps = views.wheelRest / kWheelNotch;
      views.wheelRest -= steps * kWheelNotch;
      if (steps == 0) return true;
      view.zoomSteps(steps, at);
      break;
    }
    case kMiddleButtonDown:
      views.panWindow = window;
      views.panFrom = at;
      return true;
    case kMiddleButtonUp:
      if (views.panWindow != window) return true;
      views.panWindow.clear();
      view.pan(at - views.panFrom);
      break;
    case kMouseMove:
      if (views.panWindow.empty()) return false;
      // A release missed outside the window ends the drag.
      if ((flags & kMouseFlagMiddleButton) == 0 || views.panWindow != window) {
        views.panWindow.clear();
        return false;
      }
      view.pan(at - views.panFrom);
      views.panFrom = at;
      break;
    default:
      return false;
  }
  if (view.offset() == before.offset() && view.scale() == before.scale() &&
      view.fitted() == before.fitted())
    return true;  // nothing moved (a limit, or a click without a drag)
  views.focus = view.focus();
  if (inMask) views.main.setFocus(views.focus);
  redrawViews(workspace);
  return true;
}

void panStep(Workspace& workspace, cv::Point direction) {
  Viewport& view = mainView(workspace);
  const cv::Size window = view.windowSize();
  view.pan({-direction.x * std::max(1, window.width / 8),
            -direction.y * std::max(1, window.height / 8)});
  workspace.views.focus = view.focus();
  redrawViews(workspace);
}

cv::Rect prepareView(const Viewport& view, std::vector<int>& columns,
                     std::vector<int>& rows, cv::Mat& picture) {
  const cv::Size window = view.windowSize();
  picture.create(window, CV_8UC3);
  columns.resize(window.width);
  rows.resize(window.height);
  for (int x = 0; x < window.width; ++x) columns[x] = view.toPhoto({x, 0}).x;
  for (int y = 0; y < window.height; ++y) rows[y] = view.toPhoto({0, y}).y;
  const cv::Rect inside = view.photoArea() & cv::Rect({0, 0}, window);
  if (inside.size() != window) picture.setTo(kSurroundColour);
  return inside;
}

cv::Rect renderNearest(const cv::Mat& source, const Viewport& view,
                       std::vector<int>& columns, std::vector<int>& rows,
                       cv::Mat& picture) {
  CV_Assert(source.type() == CV_8UC3 && source.size() == view.photoSize());
  const cv::Rect inside = prepareView(view, columns, rows, picture);
  if (inside.empty()) return inside;
  cv::Mat part = picture(inside);
  samplePixels(source, columns, rows, inside, part);
  return inside;
}

void samplePixels(const cv::Mat& source, const std::vector<int>& columns,
                  const std::vector<int>& rows, const cv::Rect& inside,
                  cv::Mat& out, cv::Point origin) {
  out.create(inside.size(), CV_8UC3);
  const int* column = columns.data() + inside.x;
  const int first = column[0] - origin.x;
  // One to one: whole rows at once.
  const bool rowCopies =
      column[inside.width - 1] - column[0] == inside.width - 1;
  for (int y = 0; y < inside.height; ++y) {
    const cv::Vec3b* from =
        source.ptr<cv::Vec3b>(rows[inside.y + y] - origin.y);
    cv::Vec3b* to = out.ptr<cv::Vec3b>(y);
    if (rowCopies) {
      std::copy(from + first, from + first + inside.width, to);
      continue;
    }
    for (int x = 0; x < inside.width; ++x) to[x] = from[column[x] - origin.x];
  }
}

void markMaskChanged(Workspace& workspace, cv::Rect photoArea) {
  const cv::Rect whole({0, 0}, workspace.mask.size());
  photoArea = photoArea.empty() ? whole : photoArea & whole;
  cv::Rect& changed = workspace.views.maskChanged;
  changed = changed.empty() ? photoArea : changed | photoArea;
}

}  // namespace scribeline
