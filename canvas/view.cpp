#include "canvas/view.h"

#include <opencv2/imgproc.hpp>

#include "canvas/window_views.h"

namespace scribeline {

namespace {

// The photo reduced onto the view's grid, kept while grid and photo stay:
// an area average, made once per zoom level instead of once per redraw.
const cv::Mat& reducedPhoto(Workspace& workspace, const Viewport& view) {
  WindowViews& views = workspace.views;
  if (views.reducedPhoto.size() != view.scaledSize() ||
      views.reducedFrom != workspace.image.data) {
    cv::resize(workspace.image, views.reducedPhoto, view.scaledSize(), 0, 0,
               cv::INTER_AREA);
    views.reducedFrom = workspace.image.data;
  }
  return views.reducedPhoto;
}

}  // namespace

void composeView(Workspace& workspace) {
  workspace.viewImage.release();
  WindowViews& views = workspace.views;
  views.overlay.finish();
  if (workspace.image.empty()) return;
  const Viewport& view = mainView(workspace);
  // The picture is built in storage kept between redraws; the window system
  // copies what it shows, so reusing it after showView is safe.
  cv::Mat& picture = workspace.viewScratch.picture;
  const std::vector<int>& columns = views.columns;
  const std::vector<int>& rows = views.rows;
  const cv::Rect inside =
      prepareView(view, views.columns, views.rows, picture);
  if (!inside.empty()) {
    const bool blend = workspace.maskOverlay && !workspace.mask.empty() &&
                       workspace.mask.size() == workspace.image.size() &&
                       workspace.mask.type() == workspace.image.type();
    const bool reduced =
        view.scaledSize().width < workspace.image.cols ||
        view.scaledSize().height < workspace.image.rows;
    cv::Mat target = picture(inside);
    cv::Mat photoPart;
    if (reduced) {
      photoPart = reducedPhoto(workspace, view)(
          cv::Rect(inside.tl() + view.offset(), inside.size()));
    } else if (blend) {
      samplePixels(workspace.image, columns, rows, inside, views.photoPart);
      photoPart = views.photoPart;
    } else {
      samplePixels(workspace.image, columns, rows, inside, target);
    }
    if (blend) {
      // Every pixel shown is blended, so the copy of the photo is folded
      // into the blend.
      samplePixels(workspace.mask, columns, rows, inside, views.maskPart);
      blendMask(photoPart, views.maskPart, workspace.maskOpacity,
                workspace.viewScratch, target);
    } else if (!photoPart.empty()) {
      photoPart.copyTo(target);
    }
  }
  workspace.viewImage = picture;
  views.overlay.begin(picture, view);
  if (Tool* tool = workspace.tools[workspace.currentTool].get())
    tool->drawOverlay(workspace);
}

void showView(Workspace& workspace) {
  if (workspace.viewImage.empty()) return;
  workspace.views.overlay.finish();
  workspace.windows.showImage(kMainWindow, workspace.viewImage);
  workspace.viewImage.release();
}

void recomposeAndShow(Workspace& workspace) {
  composeView(workspace);
  showView(workspace);
}

}  // namespace scribeline
