#include "canvas/mouse.h"

#include "canvas/navigation.h"
#include "canvas/view.h"
#include "canvas/window_placement.h"

namespace scribeline {
namespace {

bool leftButtonEvent(int event) {
  return event == kLeftButtonDown || event == kLeftButtonUp;
}

// Hands the event to the current tool, after the release of a left drag it
// started that was missed outside the photo: a tool always sees a drag end.
void deliver(Workspace& workspace, int event, cv::Point photo, int flags) {
  Tool* tool = workspace.tools[workspace.currentTool].get();
  if (tool == nullptr) return;
  int& dragTool = workspace.leftDragTool;
  if (dragTool != workspace.currentTool) dragTool = -1;  // ended by onLeave
  if (dragTool >= 0 && !leftButtonEvent(event) &&
      (flags & kMouseFlagLeftButton) == 0) {
    dragTool = -1;
    tool->onMouse(workspace, kLeftButtonUp, photo, flags);
  }
  if (event == kLeftButtonDown) dragTool = workspace.currentTool;
  if (event == kLeftButtonUp) dragTool = -1;
  tool->onMouse(workspace, event, photo, flags);
}

int outlineRadius(const Workspace& workspace) {
  const Tool* tool = workspace.tools[workspace.currentTool].get();
  return tool == nullptr ? 0 : tool->pointerOutlineRadius(workspace);
}

// Shows the mask again when the outline in the "Mask" window was drawn or
// is to be drawn anew.
void redrawMaskOutline(Workspace& workspace, bool shownBefore) {
  if ((shownBefore || workspace.views.pointer.shownIn(kMaskWindow)) &&
      workspace.windows.isOpen(kMaskWindow))
    showMaskView(workspace.views, workspace.windows, workspace.mask);
}

}  // namespace

void refreshPointerOutline(Workspace& workspace) {
  PointerOutline& pointer = workspace.views.pointer;
  const bool shownBefore = pointer.shownIn(kMaskWindow);
  pointer.radius = outlineRadius(workspace);
  recomposeAndShow(workspace);
  redrawMaskOutline(workspace, shownBefore);
}

void onWindowMouse(Workspace& workspace, const std::string& window, int event,
                   int x, int y, int flags) {
  const cv::Mat& image = workspace.image;
  if (image.empty() || !workspace.toolsBuilt) return;
  WindowViews& views = workspace.views;
  // The view the window's picture was made with: the one the position
  // refers to (for a main window not drawn yet, the view it will have).
  const bool inMask = window == kMaskWindow;
  if (!inMask && views.main.photoSize() != image.size())
    mainView(views, workspace.windows, image.size());
  const Viewport& view = inMask ? views.mask : views.main;
  if (view.photoSize() != image.size()) return;
  switch (navigate(views, window, event, {x, y}, flags)) {
    case Navigation::ViewMoved:
      redrawViews(workspace);
      return;
    case Navigation::NothingMoved:
      return;
    case Navigation::NotNavigation:
      break;
  }
  if (window == kMainWindow) views.workPoint = {x, y};
  const cv::Point photo = view.toPhoto({x, y});
  if (photo.x < 0 || photo.x >= image.cols || photo.y < 0 ||
      photo.y >= image.rows)
    return;
  views.eventWindow = window;
  views.eventPoint = {x, y};
  deliver(workspace, event, photo, flags);
  PointerOutline& pointer = views.pointer;
  const bool shownBefore = pointer.shownIn(kMaskWindow);
  pointer = {window, photo, outlineRadius(workspace)};
  recomposeAndShow(workspace);
  redrawMaskOutline(workspace, shownBefore);
}

void onMainMouse(Workspace& workspace, int event, int x, int y, int flags) {
  onWindowMouse(workspace, kMainWindow, event, x, y, flags);
}

void registerMainMouse(Workspace& workspace, const std::string& window) {
  workspace.windows.setMouseHandler(
      window, [&workspace, window](int event, int x, int y, int flags) {
        onWindowMouse(workspace, window, event, x, y, flags);
      });
}

}  // namespace scribeline
