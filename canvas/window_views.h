#pragma once

#include <map>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

#include "canvas/photo_overlay.h"
#include "canvas/viewport.h"
#include "canvas/window_layout.h"
#include "ui/window_system.h"

namespace scribeline {

struct Workspace;

// What the main window and the "Mask" window show of the photo and the mask,
// and the navigation state of the wheel, the middle button and the arrow
// keys. The "Mask" window follows the main window: both share `focus`, the
// scale and centre of the window navigated last.
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
  // A middle-button drag under way: its window and the pointer's last place.
  std::string panWindow;
  cv::Point panFrom;
  // Wheel turn that does not amount to a notch yet (fine-grained wheels).
  int wheelRest = 0;
  // Main-window pixel of the last mouse event there: where the work is.
  cv::Point workPoint{-1, -1};
  // The photo reduced onto the grids of the reduced zoom levels met so far,
  // by grid width and height, for the photo reducedFrom (held, so that no
  // other photo can take its place in memory while the reductions stand).
  std::map<std::pair<int, int>, cv::Mat> reducedPhotos;
  cv::Mat reducedFrom;
  // The mask sampled onto the main view's grid while the view is reduced,
  // for the mask reducedMaskFrom; the cells over maskChanged (photo pixels)
  // are sampled again at the next redraw.
  cv::Mat reducedMask;
  cv::Mat reducedMaskFrom;
  cv::Rect maskChanged;
  // Storage reused by every redraw.
  std::vector<int> columns, rows, maskColumns, maskRows;
  cv::Mat photoPart, maskPart, maskPicture;
};

// Colour of the window pixels around a photo smaller than its window.
const cv::Scalar kSurroundColour(48, 48, 48);

// The main view, brought up to date with the photo and with the size of the
// main window's picture area (the user may have resized a free-scale
// window); fitted when new.
Viewport& mainView(Workspace& workspace);

// The screen as the window system describes it (an unknown free area counts
// as unlimited), with the frames measured on the open toolbox.
ScreenLayout screenLayout(Workspace& workspace);

// Places the toolbox at the free area's top-left corner when it is not open.
void placeToolbox(Workspace& workspace);

// Opens the main window in the mode, placed beside the toolbox, with the
// whole photo fitted (free scale) or at 1:1 around the current centre
// (100%), and onMainMouse as its handler. Does not draw.
void openMainWindow(Workspace& workspace, WindowMode mode);

// Opens the "Mask" window in the mode (it must be closed), placed where it
// does not hide the main picture when the screen has room.
void openMaskWindow(Workspace& workspace, WindowMode mode);

// Shows the mask through the "Mask" window's view, which follows the main
// view; opens the window at 100% first when it is closed.
void showMaskView(Workspace& workspace);

// Navigation by mouse in the main or "Mask" window (`at` in the pixels of
// its picture): the wheel zooms around the pointer, a middle-button drag
// pans. Returns false for events that are not navigation.
bool navigate(Workspace& workspace, const std::string& window, int event,
              cv::Point at, int flags);

// Arrow keys: pans the main view an eighth of its window in the direction
// (-1, 0 or 1 per axis: the side of the photo to bring into sight).
void panStep(Workspace& workspace, cv::Point direction);

// Makes `picture` the view's window size with kSurroundColour around the
// photo, and fills `columns` and `rows` with the photo column and row of
// every window column and row. Returns the part of the window that shows the
// photo, which is left for the caller to fill.
cv::Rect prepareView(const Viewport& view, std::vector<int>& columns,
                     std::vector<int>& rows, cv::Mat& picture);

// Fills `picture` (made the view's window size) with `source` seen through
// `view`, one source pixel per window pixel (the nearest), and
// kSurroundColour around the photo. `columns` and `rows` receive the source
// column and row of every window column and row. Returns the part of the
// window that shows the photo.
cv::Rect renderNearest(const cv::Mat& source, const Viewport& view,
                       std::vector<int>& columns, std::vector<int>& rows,
                       cv::Mat& picture);
// out := the pixels of `source` at the given columns and rows of the window
// part `inside`, less `origin` (8-bit BGR, made inside's size).
void samplePixels(const cv::Mat& source, const std::vector<int>& columns,
                  const std::vector<int>& rows, const cv::Rect& inside,
                  cv::Mat& out, cv::Point origin = {});

// Tells the views that the mask changed within `photoArea` (photo pixels;
// the whole mask when empty). Every writer of `mask` outside the key
// commands calls it (the key loop tells it after every command): the
// reduced view keeps a sampled copy of the mask.
void markMaskChanged(Workspace& workspace, cv::Rect photoArea = {});

}  // namespace scribeline
