#include "canvas/history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "canvas/run_length.h"

namespace scribeline {
namespace {

size_t rowBytes(const cv::Mat& mat, int columns) {
  return static_cast<size_t>(columns) * mat.elemSize();
}

}  // namespace

size_t MaskHistory::Step::bytes() const {
  return code.capacity() + (tiles.capacity() + offsets.capacity()) * 4 +
         sizeof(Step) + (companion ? companion->bytes() : 0);
}

void MaskHistory::reset(const cv::Mat& mask, size_t budgetBytes) {
  adopt(mask.clone(), budgetBytes);
}

void MaskHistory::adopt(cv::Mat baseline, size_t budgetBytes) {
  recorded_ = std::move(baseline);
  tilesAcross_ = (recorded_.cols + kTileSize - 1) / kTileSize;
  undoable_.clear();
  redoable_.clear();
  changedArea_ = cv::Rect();
  bytes_ = 0;
  budget_ = budgetBytes != 0
                ? budgetBytes
                : std::max<size_t>(recorded_.total(), kLeastBudget);
}

cv::Rect MaskHistory::tileRect(uint32_t tile) const {
  const int x = static_cast<int>(tile % tilesAcross_) * kTileSize;
  const int y = static_cast<int>(tile / tilesAcross_) * kTileSize;
  return cv::Rect(x, y, std::min(kTileSize, recorded_.cols - x),
                  std::min(kTileSize, recorded_.rows - y));
}

bool MaskHistory::differs(const cv::Mat& mask) const {
  const size_t bytes = rowBytes(mask, mask.cols);
  for (int y = 0; y < mask.rows; ++y) {
    if (std::memcmp(mask.ptr(y), recorded_.ptr(y), bytes) != 0) return true;
  }
  return false;
}

bool MaskHistory::record(const cv::Mat& mask,
                         std::unique_ptr<StepCompanion> companion) {
  CV_Assert(mask.size() == recorded_.size() && mask.type() == recorded_.type());
  changedArea_ = cv::Rect();
  Step step;
  const size_t elementSize = mask.elemSize();
  const int tilesDown = (mask.rows + kTileSize - 1) / kTileSize;
  std::vector<bool> changed(static_cast<size_t>(tilesAcross_));
  for (int band = 0; band < tilesDown; ++band) {
    // Which tiles of this band of rows differ: whole rows first, as most rows
    // of most steps are unchanged.
    std::fill(changed.begin(), changed.end(), false);
    bool any = false;
    const int top = band * kTileSize;
    const int bottom = std::min(mask.rows, top + kTileSize);
    for (int y = top; y < bottom; ++y) {
      const uint8_t* now = mask.ptr(y);
      const uint8_t* before = recorded_.ptr(y);
      if (std::memcmp(now, before, rowBytes(mask, mask.cols)) == 0) continue;
      for (int t = 0; t < tilesAcross_; ++t) {
        if (changed[t]) continue;
        const int x = t * kTileSize;
        const size_t offset = static_cast<size_t>(x) * elementSize;
        const int width = std::min(kTileSize, mask.cols - x);
        if (std::memcmp(now + offset, before + offset, rowBytes(mask, width)) !=
            0) {
          changed[t] = any = true;
        }
      }
    }
    if (!any) continue;
    for (int t = 0; t < tilesAcross_; ++t) {
      if (!changed[t]) continue;
      const uint32_t tile = static_cast<uint32_t>(band * tilesAcross_ + t);
      const cv::Rect rect = tileRect(tile);
      changedArea_ |= rect;
      const size_t width = rowBytes(mask, rect.width);
      scratch_.resize(width * rect.height);
      for (int r = 0; r < rect.height; ++r) {
        const uint8_t* now = mask.ptr(rect.y + r) + rect.x * elementSize;
        uint8_t* before = recorded_.ptr(rect.y + r) + rect.x * elementSize;
        uint8_t* delta = scratch_.data() + r * width;
        for (size_t b = 0; b < width; ++b) delta[b] = now[b] ^ before[b];
        std::memcpy(before, now, width);
      }
      step.tiles.push_back(tile);
      step.offsets.push_back(static_cast<uint32_t>(step.code.size()));
      encodeRuns(scratch_.data(), rect.area(), elementSize, step.code);
    }
  }
  if (step.tiles.empty() && !companion) return false;
  step.offsets.push_back(static_cast<uint32_t>(step.code.size()));
  step.code.shrink_to_fit();
  step.companion = std::move(companion);
  for (const Step& dropped : redoable_) bytes_ -= dropped.bytes();
  redoable_.clear();
  bytes_ += step.bytes();
  undoable_.push_back(std::move(step));
  dropOldestPastBudget();
  return true;
}

void MaskHistory::apply(const Step& step, cv::Mat& mask) {
  const size_t elementSize = recorded_.elemSize();
  for (size_t i = 0; i < step.tiles.size(); ++i) {
    const cv::Rect rect = tileRect(step.tiles[i]);
    changedArea_ |= rect;
    const size_t width = rowBytes(recorded_, rect.width);
    scratch_.resize(width * rect.height);
    const size_t begin = step.offsets[i];
    const size_t read =
        decodeRuns(step.code.data() + begin, step.offsets[i + 1] - begin,
                   rect.area(), elementSize, scratch_.data(), false);
    CV_Assert(read == step.offsets[i + 1] - begin);
    for (int r = 0; r < rect.height; ++r) {
      uint8_t* recorded = recorded_.ptr(rect.y + r) + rect.x * elementSize;
      const uint8_t* delta = scratch_.data() + r * width;
      for (size_t b = 0; b < width; ++b) recorded[b] ^= delta[b];
      std::memcpy(mask.ptr(rect.y + r) + rect.x * elementSize, recorded, width);
    }
  }
}

bool MaskHistory::undo(cv::Mat& mask) {
  changedArea_ = cv::Rect();
  if (undoable_.empty()) return false;
  Step step = std::move(undoable_.back());
  undoable_.pop_back();
  apply(step, mask);
  if (step.companion) step.companion->undo();
  redoable_.push_back(std::move(step));
  return true;
}

bool MaskHistory::redo(cv::Mat& mask) {
  changedArea_ = cv::Rect();
  if (redoable_.empty()) return false;
  Step step = std::move(redoable_.back());
  redoable_.pop_back();
  apply(step, mask);
  if (step.companion) step.companion->redo();
  undoable_.push_back(std::move(step));
  return true;
}

void MaskHistory::dropOldestPastBudget() {
  while (bytes_ > budget_ && !undoable_.empty()) {
    bytes_ -= undoable_.front().bytes();
    undoable_.pop_front();
  }
}

}  // namespace scribeline
