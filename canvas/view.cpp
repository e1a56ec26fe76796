#include "canvas/view.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "canvas/window_views.h"

namespace scribeline {

namespace {

// The photo reduced to `size`: averaged over whole blocks of pixels (the
// library's fast case of area averaging), then interpolated the rest of the
// way, which is less than a halving. Costs about one copy of the photo, a
// third of an area average to an arbitrary size.
void reducePhoto(const cv::Mat& photo, cv::Size size, cv::Mat& out) {
  const int factor = std::min(photo.cols / size.width, photo.rows / size.height);
  if (factor < 2) {
    cv::resize(photo, out, size, 0, 0, cv::INTER_LINEAR);
    return;
  }
  const cv::Size blocks(photo.cols / factor, photo.rows / factor);
  cv::Mat averaged;
  cv::resize(photo(cv::Rect({0, 0}, blocks * factor)), averaged, blocks, 0, 0,
             cv::INTER_AREA);
  cv::resize(averaged, out, size, 0, 0, cv::INTER_LINEAR);
}

// The photo reduced onto the view's grid. Each zoom level's reduction is
// made once and kept (the levels below 1:1 are few, and together smaller
// than the photo), so that a redraw only copies the window's part of it.
const cv::Mat& reducedPhoto(Workspace& workspace, const Viewport& view) {
  WindowViews& views = workspace.views;
  if (views.reducedFrom.data != workspace.image.data) {
    views.reducedPhotos.clear();
    views.reducedFrom = workspace.image;
  }
  const cv::Size grid = view.scaledSize();
  cv::Mat& reduced = views.reducedPhotos[{grid.width, grid.height}];
  if (reduced.empty()) reducePhoto(workspace.image, grid, reduced);
  return reduced;
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
