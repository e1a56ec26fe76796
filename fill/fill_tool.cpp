#include "fill/fill_tool.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "canvas/mask_steps.h"
#include "canvas/view.h"
#include "canvas/workspace.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// Marks a step of the history as a fill, for Backspace. The pixels are all
// the step holds.
class FillStep : public StepCompanion {
 public:
  void undo() override {}
  void redo() override {}
  size_t bytes() const override { return sizeof(*this); }
};

}  // namespace

void FillTool::onMouse(Workspace& workspace, int event, cv::Point point,
                       int flags) {
  (void)flags;
  const WindowViews& views = workspace.views;
  switch (event) {
    case kLeftButtonDown:
      if (growth_.active()) return;
      label_ = workspace.currentLabel;
      window_ = views.eventWindow;
      lastRow_ = views.eventPoint.y;
      growth_.start(workspace.image, point, workspace.fillTolerance);
      return;
    case kMouseMove: {
      if (!growth_.active()) return;
      if (views.eventWindow != window_) {
        window_ = views.eventWindow;
        lastRow_ = views.eventPoint.y;
        return;
      }
      const int rise = lastRow_ - views.eventPoint.y;
      lastRow_ = views.eventPoint.y;
      growth_.setTolerance(growth_.tolerance() +
                           rise * kFillTolerancePerScreenPixel);
      return;
    }
    case kLeftButtonUp:
      // The region shown is written: the release's own position does not
      // move the tolerance (it may stand for a release missed elsewhere).
      if (growth_.active()) commit(workspace);
      return;
    default:
      return;
  }
}

void FillTool::commit(Workspace& workspace) {
  cv::Mat& mask = workspace.mask;
  bool changed = false;
  if (mask.size() == growth_.photo().size() && mask.type() == CV_8UC3) {
    const cv::Rect box = growth_.bounds();
    const cv::Vec3b paint = labelPixel(label_);
    for (int y = box.y; y < box.y + box.height; ++y) {
      const std::uint16_t* keys = growth_.keyRow(y);
      cv::Vec3b* row = mask.ptr<cv::Vec3b>(y);
      for (int x = box.x; x < box.x + box.width; ++x) {
        if (!growth_.inRegion(keys[x]) || row[x] == paint) continue;
        row[x] = paint;
        changed = true;
      }
    }
  }
  growth_.clear();
  if (changed) recordMaskStep(workspace, std::make_unique<FillStep>());
}

// Drawn straight onto the main picture, window pixel by window pixel through
// the main view (the region may cover millions of photo pixels; a window
// pixel shows the photo pixel the view maps it to, as the photo and the mask
// are sampled): the label's colour half over the photo.
void FillTool::drawOverlay(Workspace& workspace) {
  if (!growth_.active() || growth_.photo().data != workspace.image.data) return;
  cv::Mat& picture = workspace.viewImage;
  const Viewport& view = workspace.views.main;
  if (picture.empty() || picture.size() != view.windowSize()) return;
  const cv::Rect box = growth_.bounds();
  if (box.empty()) return;
  const cv::Rect reach =
      (view.toWindow(box.tl()) | view.toWindow(box.br() - cv::Point(1, 1))) &
      cv::Rect({0, 0}, picture.size());
  if (reach.empty()) return;
  std::vector<int> columns(reach.width);
  for (int i = 0; i < reach.width; ++i)
    columns[i] = view.toPhoto({reach.x + i, 0}).x;
  const cv::Vec3b colour = labelPixel(label_);
  for (int wy = reach.y; wy < reach.y + reach.height; ++wy) {
    const int y = view.toPhoto({0, wy}).y;
    if (y < box.y || y >= box.y + box.height) continue;
    const std::uint16_t* keys = growth_.keyRow(y);
    cv::Vec3b* row = picture.ptr<cv::Vec3b>(wy) + reach.x;
    for (int i = 0; i < reach.width; ++i) {
      const int x = columns[i];
      if (x < box.x || x >= box.x + box.width || !growth_.inRegion(keys[x]))
        continue;
      for (int c = 0; c < 3; ++c)
        row[i][c] = static_cast<uchar>((row[i][c] + colour[c] + 1) / 2);
    }
  }
}

void FillTool::onBackspace(Workspace& workspace) {
  if (growth_.active()) {
    growth_.clear();
    return;
  }
  if (dynamic_cast<const FillStep*>(workspace.history.newestCompanion()))
    undoMaskStep(workspace);
}

void FillTool::onLeave(Workspace& workspace) {
  if (!growth_.active()) return;
  growth_.clear();
  // The region drawn over the photo goes at once.
  recomposeAndShow(workspace);
}

}  // namespace scribeline
