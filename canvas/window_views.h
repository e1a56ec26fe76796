#pragma once

#include <future>
#include <map>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

#include "canvas/photo_overlay.h"
#include "canvas/pointer_outline.h"
#include "canvas/viewport.h"
#include "ui/window_system.h"

namespace scribeline {

// What the main window and the "Mask" window show of the photo and the mask,
// and the navigation state of the wheel, the middle button and the arrow
// keys. The "Mask" window follows the main window: both share `focus`, the
// scale and centre of the window navigated last.
//
// Placing and opening the windows: canvas/window_placement.h; the wheel, the
// middle button and the arrow keys: canvas/navigation.h; the main picture
// and the reduced copies below: canvas/view.h.
struct WindowViews {
  Viewport main;
  Viewport mask;
  Viewport::Focus focus;
  WindowMode mainMode = WindowMode::FreeScale;
  WindowMode maskMode = WindowMode::Scale100;
  // The picture sizes the windows were placed with (100% windows keep them).
  cv::Size mainPlanned;
  cv::Size maskPlanned;
  // The tool's drawing over the main picture, between composeView and
  // showView.
  PhotoOverlay overlay;
  // The pointer's last photo pixel and the outline drawn around it.
  PointerOutline pointer;
  // A middle-button drag under way: its window and the pointer's last place.
  std::string panWindow;
  cv::Point panFrom;
  // Wheel turn that does not amount to a notch yet (fine-grained wheels).
  int wheelRest = 0;
  // The window and window pixel of the mouse event being handed to the
  // current tool: screen measures of a drag, whatever the zoom.
  std::string eventWindow;
  cv::Point eventPoint;
  // Main-window pixel of the last mouse event there: where the work is.
  cv::Point workPoint{-1, -1};
  // The photo reduced onto the grids of the reduced zoom levels met so far,
  // by grid width and height, for the photo reducedFrom (held, so that no
  // other photo can take its place in memory while the reductions stand).
  std::map<std::pair<int, int>, cv::Mat> reducedPhotos;
  cv::Mat reducedFrom;
  // The reduction onto aheadGrid of the photo aheadFrom, under way on a
  // thread of its own (reduceMainViewAhead) until a redraw takes it, and
  // those started for grids the view did not get (their threads are waited
  // for only as the views go).
  std::future<cv::Mat> reducedAhead;
  cv::Size aheadGrid;
  cv::Mat aheadFrom;
  std::vector<std::future<cv::Mat>> aheadDropped;
  // The mask sampled onto the main view's grid while the view is reduced,
  // for the mask reducedMaskFrom (held, as reducedFrom); the cells over
  // maskChanged (photo pixels, see markMaskChanged) are sampled again at the
  // next redraw.
  cv::Mat reducedMask;
  cv::Mat reducedMaskFrom;
  cv::Rect maskChanged;
  // Storage reused by every redraw.
  std::vector<int> columns, rows, maskColumns, maskRows;
  cv::Mat photoPart, maskPart, maskPicture;
};

}  // namespace scribeline
