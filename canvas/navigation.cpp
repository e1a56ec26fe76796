#include "canvas/navigation.h"

#include <algorithm>

#include "canvas/window_names.h"
#include "canvas/window_placement.h"

namespace scribeline {

Navigation navigate(WindowViews& views, const std::string& window, int event,
                    cv::Point at, int flags) {
  const bool inMask = window == kMaskWindow;
  Viewport& view = inMask ? views.mask : views.main;
  const Viewport before = view;
  switch (event) {
    case kMouseWheel: {
      views.wheelRest += wheelDelta(flags);
      const int steps = views.wheelRest / kWheelNotch;
      views.wheelRest -= steps * kWheelNotch;
      if (steps == 0) return Navigation::NothingMoved;
      view.zoomSteps(steps, at);
      break;
    }
    case kMiddleButtonDown:
      views.panWindow = window;
      views.panFrom = at;
      return Navigation::NothingMoved;
    case kMiddleButtonUp:
      if (views.panWindow != window) return Navigation::NothingMoved;
      views.panWindow.clear();
      view.pan(at - views.panFrom);
      break;
    case kMouseMove:
      if (views.panWindow.empty()) return Navigation::NotNavigation;
      // A release missed outside the window ends the drag.
      if ((flags & kMouseFlagMiddleButton) == 0 || views.panWindow != window) {
        views.panWindow.clear();
        return Navigation::NotNavigation;
      }
      view.pan(at - views.panFrom);
      views.panFrom = at;
      break;
    default:
      return Navigation::NotNavigation;
  }
  if (view.offset() == before.offset() && view.scale() == before.scale() &&
      view.fitted() == before.fitted())
    return Navigation::NothingMoved;
  views.focus = view.focus();
  if (inMask) views.main.setFocus(views.focus);
  return Navigation::ViewMoved;
}

void panStep(WindowViews& views, WindowSystem& windows, cv::Size photo,
             cv::Point direction) {
  Viewport& view = mainView(views, windows, photo);
  const cv::Size window = view.windowSize();
  view.pan({-direction.x * std::max(1, window.width / 8),
            -direction.y * std::max(1, window.height / 8)});
  views.focus = view.focus();
}

}  // namespace scribeline
