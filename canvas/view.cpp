#include "canvas/view.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "canvas/sampling.h"
#include "canvas/window_layout.h"
#include "canvas/window_placement.h"

namespace scribeline {

namespace {

// The photo reduced to `size`: averaged over whole blocks of pixels (the
// library's fast case of area averaging), then interpolated the rest of the
// way, which is less than a halving. Costs about one copy of the photo, a
// third of an area average to an arbitrary size.
void reducePhoto(const cv::Mat& photo, cv::Size size, cv::Mat& out) {
  const int factor =
      std::min(photo.cols / size.width, photo.rows / size.height);
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
  if (reduced.empty() && views.reducedAhead.valid() &&
      views.aheadGrid == grid && views.aheadFrom.data == workspace.image.data) {
    reduced = views.reducedAhead.get();
    views.aheadFrom.release();
  }
  if (reduced.empty()) reducePhoto(workspace.image, grid, reduced);
  return reduced;
}

// The mask sampled onto the view's grid (nearest pixel, so every cell holds
// a label colour), kept up to date through markMaskChanged.
const cv::Mat& reducedMask(Workspace& workspace, const Viewport& view) {
  WindowViews& views = workspace.views;
  const cv::Size grid = view.scaledSize();
  const cv::Rect changed =
      views.maskChanged & cv::Rect({0, 0}, workspace.mask.size());
  views.maskChanged = cv::Rect();
  cv::Rect cells;
  if (views.reducedMaskFrom.data != workspace.mask.data ||
      views.reducedMask.size() != grid) {
    views.reducedMask.create(grid, CV_8UC3);
    views.reducedMaskFrom = workspace.mask;
    cells = cv::Rect({0, 0}, grid);
  } else if (!changed.empty()) {
    const cv::Point offset = view.offset();
    const cv::Rect first = view.toWindow(changed.tl()) + offset;
    const cv::Rect last =
        view.toWindow(changed.br() - cv::Point(1, 1)) + offset;
    cells = cv::Rect(first.tl(), last.br()) & cv::Rect({0, 0}, grid);
  }
  if (cells.empty()) return views.reducedMask;
  // The cells as window pixels of a view whose window is the whole grid.
  std::vector<int> columns(grid.width), rows(grid.height);
  for (int c = cells.x; c < cells.x + cells.width; ++c)
    columns[c] = view.toPhoto({c - view.offset().x, 0}).x;
  for (int r = cells.y; r < cells.y + cells.height; ++r)
    rows[r] = view.toPhoto({0, r - view.offset().y}).y;
  cv::Mat part = views.reducedMask(cells);
  samplePixels(workspace.mask, columns, rows, cells, part);
  return views.reducedMask;
}

}  // namespace

void composeView(Workspace& workspace) {
  workspace.viewImage.release();
  WindowViews& views = workspace.views;
  views.overlay.finish();
  if (workspace.image.empty()) return;
  const Viewport& view =
      mainView(views, workspace.windows, workspace.image.size());
  // The picture is built in storage kept between redraws; the window system
  // copies what it shows, so reusing it after showView is safe.
  cv::Mat& picture = workspace.viewScratch.picture;
  const std::vector<int>& columns = views.columns;
  const std::vector<int>& rows = views.rows;
  const cv::Rect inside = prepareView(view, views.columns, views.rows, picture);
  if (!inside.empty()) {
    const bool blend = workspace.maskOverlay && !workspace.mask.empty() &&
                       workspace.mask.size() == workspace.image.size() &&
                       workspace.mask.type() == workspace.image.type();
    const bool reduced = view.scaledSize().width < workspace.image.cols ||
                         view.scaledSize().height < workspace.image.rows;
    cv::Mat target = picture(inside);
    if (reduced) {
      // Both reductions are kept: a redraw blends or copies the window's
      // part of them.
      const cv::Rect cells(inside.tl() + view.offset(), inside.size());
      const cv::Mat photoPart = reducedPhoto(workspace, view)(cells);
      if (blend) {
        blendMask(photoPart, reducedMask(workspace, view)(cells),
                  workspace.maskOpacity, workspace.viewScratch, target);
      } else {
        photoPart.copyTo(target);
      }
    } else {
      // One to one or enlarged: the photo pixels in sight are blended once
      // each, then spread over their blocks of window pixels.
      const cv::Point first(columns[inside.x], rows[inside.y]);
      const cv::Point last(columns[inside.x + inside.width - 1],
                           rows[inside.y + inside.height - 1]);
      const cv::Rect shown(first, last + cv::Point(1, 1));
      if (blend) {
        blendMask(workspace.image(shown), workspace.mask(shown),
                  workspace.maskOpacity, workspace.viewScratch,
                  views.photoPart);
        samplePixels(views.photoPart, columns, rows, inside, target, first);
      } else {
        samplePixels(workspace.image, columns, rows, inside, target);
      }
    }
  }
  workspace.viewImage = picture;
  views.overlay.begin(picture, view);
  if (Tool* tool = workspace.tools[workspace.currentTool].get())
    tool->drawOverlay(workspace);
}

void reduceMainViewAhead(Workspace& workspace) {
  const cv::Mat& photo = workspace.image;
  if (photo.empty()) return;
  Viewport view(photo.size(),
                mainPicture(screenLayout(workspace.windows), photo.size(),
                            WindowMode::FreeScale)
                    .size());
  view.fit();
  const cv::Size grid = view.scaledSize();
  if (grid.width >= photo.cols && grid.height >= photo.rows) return;
  WindowViews& views = workspace.views;
  if (views.reducedAhead.valid()) {
    if (views.aheadGrid == grid && views.aheadFrom.data == photo.data) return;
    views.aheadDropped.push_back(std::move(views.reducedAhead));
  }
  views.aheadGrid = grid;
  views.aheadFrom = photo;
  views.reducedAhead = std::async(std::launch::async, [photo, grid] {
    cv::Mat reduced;
    reducePhoto(photo, grid, reduced);
    return reduced;
  });
}

void showView(Workspace& workspace) {
  if (workspace.viewImage.empty()) return;
  WindowViews& views = workspace.views;
  views.overlay.finish();
  if (views.pointer.shownIn(kMainWindow))
    drawDiscOutline(workspace.viewImage, views.main, views.pointer.photo,
                    views.pointer.radius);
  workspace.windows.showImage(kMainWindow, workspace.viewImage);
  workspace.viewImage.release();
}

void recomposeAndShow(Workspace& workspace) {
  composeView(workspace);
  showView(workspace);
}

void redrawViews(Workspace& workspace) {
  recomposeAndShow(workspace);
  if (!workspace.windows.pictureArea(kMaskWindow).empty())
    showMaskView(workspace.views, workspace.windows, workspace.mask);
}

void markMaskChanged(WindowViews& views, cv::Rect photoArea) {
  if (photoArea.empty()) return;
  cv::Rect& changed = views.maskChanged;
  changed = changed.empty() ? photoArea : changed | photoArea;
}

}  // namespace scribeline
