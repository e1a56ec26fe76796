#include "snapping/snapper_tool.h"

#include <cstdint>
#include <new>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <unordered_map>
#include <utility>

#include "canvas/mask_steps.h"
#include "canvas/replaced_pixels.h"
#include "canvas/view.h"
#include "canvas/window_placement.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "snapping/snap_step.h"

namespace scribeline {

namespace {

constexpr float kSigma = 0.5f;
constexpr float kK = 500.0f;
constexpr int kMinSize = 20;
constexpr int kStrokeThickness = 5;

// The colour each superpixel has under a labelling of the superpixels.
std::vector<cv::Vec3b> superpixelColours(const std::vector<int>& labels) {
  std::vector<cv::Vec3b> colours(labels.size());
  for (size_t s = 0; s < colours.size(); ++s)
    colours[s] = labelPixel(labels[s]);
  return colours;
}

// The paint of `mask` that a solve replaces: the pixels where the mask differs
// from what the snapper's labelling before the solve painted there (paint
// that came from elsewhere: the pen, the scissors; before the first solve
// every label is 0, the blank mask) and from what the labelling after it
// paints there (rebuildMaskFromSuperpixels), counted before the rebuild. One
// pass over the rows by the superpixels' colours; the pixels of a superpixel
// split before or after the solve are then counted again by their splits'
// colours. Nothing when the mask is not the photo's size.
std::int64_t replacedBySolve(const LSnapper& snapper, const cv::Mat& mask,
                             const std::vector<int>& labelsBefore,
                             const std::vector<SuperpixelSplit>& splitsBefore) {
  if (mask.size() != snapper.image.size() || mask.type() != CV_8UC3) return 0;
  const std::vector<cv::Vec3b> before = superpixelColours(labelsBefore);
  const std::vector<cv::Vec3b> after =
      superpixelColours(snapper.superpixelLabels);
  const int* map = snapper.superpixelMap.data();
  const auto replaces = [](cv::Vec3b pixel, cv::Vec3b was, cv::Vec3b is) {
    return static_cast<std::int64_t>((pixel != was) & (pixel != is));
  };
  // The row pass compares each pixel's three bytes as one number.
  const auto packed = [](const uchar* colour) {
    return std::uint32_t{colour[0]} | std::uint32_t{colour[1]} << 8 |
           std::uint32_t{colour[2]} << 16;
  };
  std::vector<std::uint32_t> was(before.size()), is(after.size());
  for (size_t k = 0; k < before.size(); ++k) {
    was[k] = packed(before[k].val);
    is[k] = packed(after[k].val);
  }
  std::vector<std::int64_t> rowCounts(static_cast<size_t>(mask.rows), 0);
  cv::parallel_for_(cv::Range(0, mask.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const int* superpixel = map + static_cast<size_t>(y) * mask.cols;
      const uchar* pixel = mask.ptr(y);
      std::int64_t count = 0;
      for (int x = 0; x < mask.cols; ++x, pixel += 3) {
        const std::uint32_t value = packed(pixel);
        const int s = superpixel[x];
        count += (value != was[s]) & (value != is[s]);
      }
      rowCounts[y] = count;
    }
  });
  std::int64_t replaced = 0;
  for (const std::int64_t count : rowCounts) replaced += count;
  // Split pixels by index: their colours before and after the solve.
  std::unordered_map<size_t, std::pair<cv::Vec3b, cv::Vec3b>> split;
  const auto entry = [&](int row, int col) -> std::pair<cv::Vec3b, cv::Vec3b>& {
    const size_t at = static_cast<size_t>(row) * mask.cols + col;
    return split.try_emplace(at, before[map[at]], after[map[at]]).first->second;
  };
  forEachSplitPixel(splitsBefore, snapper.superpixels, map, mask.cols,
                    [&](int row, int col, cv::Vec3b colour) {
                      entry(row, col).first = colour;
                    });
  forEachSplitPixel(snapper.splits, snapper.superpixels, map, mask.cols,
                    [&](int row, int col, cv::Vec3b colour) {
                      entry(row, col).second = colour;
                    });
  for (const auto& [at, colours] : split) {
    const int row = static_cast<int>(at / mask.cols);
    const int col = static_cast<int>(at % mask.cols);
    const cv::Vec3b pixel = mask.at<cv::Vec3b>(row, col);
    replaced += replaces(pixel, colours.first, colours.second) -
                replaces(pixel, before[map[at]], after[map[at]]);
  }
  return replaced;
}

}  // namespace

void drawStrokeOverlay(PhotoOverlay& overlay,
                       const LabelStrokes& labelStrokes) {
  for (int label = 0; label < static_cast<int>(labelStrokes.size()); ++label) {
    const cv::Scalar colour = labelColor(label);
    for (const Stroke& stroke : labelStrokes[label]) {
      for (size_t k = 1; k < stroke.size(); ++k) {
        overlay.drawLine(stroke[k - 1], stroke[k], colour, kStrokeThickness,
                         cv::LINE_8);
      }
    }
  }
}

Preparation SnapperTool::prepare(Workspace& workspace) {
  snapper_ = std::make_shared<LSnapper>(workspace.image, numLabels);
  snapper_->currentStrokes = &snapper_->labelStrokes[workspace.currentLabel];
  return [snapper = snapper_, seed = std::random_device{}()] {
    initSnapper(*snapper, kSigma, kK, kMinSize, seed);
  };
}

void SnapperTool::onPrepared(Workspace& workspace) {
  ready_ = true;
  std::vector<std::function<void(Workspace&)>> held;
  held.swap(held_);
  for (auto& work : held) work(workspace);
}

void SnapperTool::drawOverlay(Workspace& workspace) {
  drawStrokeOverlay(workspace.views.overlay, snapper_->labelStrokes);
}

void SnapperTool::onMouse(Workspace& workspace, int event, cv::Point point,
                          int) {
  switch (event) {
    case kLeftButtonDown:
      if (strokeUnderWay_ != nullptr) return;
      snapper_->currentStrokes->push_back(Stroke{point});
      strokeUnderWay_ = snapper_->currentStrokes;
      return;
    case kMouseMove:
      if (strokeUnderWay_ != nullptr) strokeUnderWay_->back().push_back(point);
      return;
    case kLeftButtonUp:
      if (strokeUnderWay_ == nullptr) return;
      strokeUnderWay_->back().push_back(point);
      endStroke(workspace);
      return;
    default:
      return;
  }
}

// A stroke ended before the model is ready is kept and shown, and solved, with
// the redraw the event that ended it gives, once the model is.
void SnapperTool::endStroke(Workspace& workspace) {
  std::vector<Stroke>& strokes = *strokeUnderWay_;
  strokeUnderWay_ = nullptr;
  if (ready_) {
    solveStrokeAdded(workspace, strokes);
    return;
  }
  held_.push_back([this, &strokes](Workspace& workspace) {
    solveStrokeAdded(workspace, strokes);
    recomposeAndShow(workspace);
  });
}

void SnapperTool::solveStrokeAdded(Workspace& workspace,
                                   std::vector<Stroke>& strokes) {
  if (!solveAndShow(workspace, strokes, strokes.size() - 1,
                    SnapStep::Change::StrokeAdded, strokes.back())) {
    strokes.pop_back();  // taken back: the mask shows the solve before it
  }
}

int SnapperTool::labelOf(const std::vector<Stroke>& strokes) const {
  return static_cast<int>(&strokes - snapper_->labelStrokes.data());
}

bool SnapperTool::solveAndShow(Workspace& workspace,
                               const std::vector<Stroke>& strokes, size_t index,
                               SnapStep::Change change, Stroke stroke) {
  const std::vector<int> labelsBefore = snapper_->superpixelLabels;
  std::int64_t replaced = 0;
  std::vector<SuperpixelSplit> splitsBefore = snapper_->splits;
  {
    BusyPointer busy(workspace.windows);
    try {
      runSnapper(*snapper_, kLambda);
      replaced = replacedBySolve(*snapper_, workspace.mask, labelsBefore,
                                 splitsBefore);
    } catch (const std::bad_alloc&) {
      // runSnapper left the labels as it found them; the mask is untouched.
      say(workspace, "Could not solve the stroke: not enough memory\n");
      return false;
    }
    rebuildMaskFromSuperpixels(*snapper_, workspace.mask);
  }
  // The step shows the mask when its window is open; a solve opens it.
  recordMaskStep(workspace,
                 std::make_unique<SnapStep>(
                     *snapper_, labelOf(strokes), index, change,
                     std::move(stroke), labelsBefore, std::move(splitsBefore)));
  if (!workspace.windows.isOpen(kMaskWindow))
    showMaskView(workspace.views, workspace.windows, workspace.mask);
  reportReplacedPixels(workspace, replaced);
  return true;
}

void SnapperTool::onBackspace(Workspace& workspace) {
  std::vector<Stroke>& strokes = *snapper_->currentStrokes;
  if (strokeUnderWay_ != nullptr || strokes.empty()) return;
  if (!ready_) {
    held_.push_back([this](Workspace& workspace) {
      onBackspace(workspace);
      recomposeAndShow(workspace);
    });
    return;
  }
  Stroke removed = std::move(strokes.back());
  strokes.pop_back();
  if (!solveAndShow(workspace, strokes, strokes.size(),
                    SnapStep::Change::StrokeRemoved, removed)) {
    strokes.push_back(std::move(removed));
  }
}

void SnapperTool::onLeave(Workspace& workspace) {
  if (strokeUnderWay_ == nullptr) return;
  endStroke(workspace);
  recomposeAndShow(workspace);
}

void SnapperTool::onLabelPicked(Workspace& workspace) {
  if (snapper_) {
    snapper_->currentStrokes = &snapper_->labelStrokes[workspace.currentLabel];
  }
}

}  // namespace scribeline
