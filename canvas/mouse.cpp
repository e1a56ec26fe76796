#include "canvas/mouse.h"

#include "canvas/view.h"

namespace scribeline {

void onMainMouse(Workspace& workspace, int event, int x, int y, int flags) {
  const cv::Mat& image = workspace.image;
  if (image.empty() || !workspace.toolsBuilt) return;
  if (x < 0 || x >= image.cols || y < 0 || y >= image.rows) return;
  composeView(workspace);
  if (Tool* tool = workspace.tools[workspace.currentTool].get())
    tool->onMouse(workspace, event, cv::Point(x, y), flags);
  showView(workspace);
}

void registerMainMouse(Workspace& workspace, const std::string& window) {
  workspace.windows.setMouseHandler(
      window, [&workspace](int event, int x, int y, int flags) {
        onMainMouse(workspace, event, x, y, flags);
      });
}

}  // namespace scribeline
