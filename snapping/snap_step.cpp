#include "snapping/snap_step.h"

#include <algorithm>

#include "canvas/run_length.h"

namespace scribeline {

SnapStep::SnapStep(LSnapper& snapper, int label, size_t index, Change change,
                   Stroke stroke, const std::vector<int>& labelsBefore,
                   std::vector<SuperpixelSplit> splitsBefore)
    : snapper_(snapper),
      label_(label),
      index_(index),
      change_(change),
      stroke_(std::move(stroke)),
      otherSplits_(std::move(splitsBefore)) {
  const std::vector<int>& after = snapper.superpixelLabels;
  std::vector<int> delta(after.size());
  for (size_t s = 0; s < after.size(); ++s)
    delta[s] = after[s] ^ labelsBefore[s];
  encodeRuns(reinterpret_cast<const uint8_t*>(delta.data()), delta.size(),
             sizeof(int), labelDelta_);
  labelDelta_.shrink_to_fit();
}

void SnapStep::insertStroke() {
  std::vector<Stroke>& strokes = snapper_.labelStrokes[label_];
  strokes.insert(strokes.begin() + std::min(index_, strokes.size()), stroke_);
}

void SnapStep::eraseStroke() {
  std::vector<Stroke>& strokes = snapper_.labelStrokes[label_];
  if (index_ < strokes.size()) strokes.erase(strokes.begin() + index_);
}

void SnapStep::flipLabels() {
  std::vector<int>& labels = snapper_.superpixelLabels;
  decodeRuns(labelDelta_.data(), labelDelta_.size(), labels.size(), sizeof(int),
             reinterpret_cast<uint8_t*>(labels.data()), true);
  snapper_.splits.swap(otherSplits_);
}

void SnapStep::undo() {
  flipLabels();
  if (change_ == Change::StrokeAdded) {
    eraseStroke();
  } else {
    insertStroke();
  }
}

void SnapStep::redo() {
  flipLabels();
  if (change_ == Change::StrokeAdded) {
    insertStroke();
  } else {
    eraseStroke();
  }
}

size_t SnapStep::bytes() const {
  size_t splitBytes = otherSplits_.capacity() * sizeof(SuperpixelSplit);
  for (const SuperpixelSplit& split : otherSplits_)
    splitBytes += split.runs.capacity() * sizeof(LabelRun);
  return sizeof(*this) + labelDelta_.capacity() +
         stroke_.capacity() * sizeof(cv::Point) + splitBytes;
}

}  // namespace scribeline
