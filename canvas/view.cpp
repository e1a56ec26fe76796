#include "canvas/view.h"

namespace scribeline {

void composeView(Workspace& workspace) {
  workspace.viewImage.release();
  if (workspace.image.empty()) return;
  // The picture is built in storage kept between redraws; the window system
  // copies what it shows, so reusing it after showView is safe.
  cv::Mat& picture = workspace.viewScratch.picture;
  const bool blend = workspace.maskOverlay && !workspace.mask.empty() &&
                     workspace.mask.size() == workspace.image.size() &&
                     workspace.mask.type() == workspace.image.type();
  if (blend) {
    // Every pixel is blended, so the copy of the photograph is folded into
    // the blend.
    blendMask(workspace.image, workspace.mask, workspace.maskOpacity,
              workspace.viewScratch, picture);
  } else {
    workspace.image.copyTo(picture);
  }
  workspace.viewImage = picture;
  if (Tool* tool = workspace.tools[workspace.currentTool].get())
    tool->drawOverlay(workspace);
}

void showView(Workspace& workspace) {
  if (workspace.viewImage.empty()) return;
  workspace.windows.showImage(kMainWindow, workspace.viewImage);
  workspace.viewImage.release();
}

void recomposeAndShow(Workspace& workspace) {
  composeView(workspace);
  showView(workspace);
}

}  // namespace scribeline
