#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// State that belongs to a mask step besides its pixels, such as the stroke
// whose solve the step holds. undo() and redo() run after the step's pixels
// are restored and reapplied; they must exactly invert each other.
class StepCompanion {
 public:
  virtual ~StepCompanion() = default;
  virtual void undo() = 0;
  virtual void redo() = 0;
  // Memory the companion holds, counted against the history's bound.
  virtual size_t bytes() const = 0;
};

// Undo and redo of a mask, step by step, exact to the byte.
//
// The history keeps the mask as it was at the last recorded step (the
// "recorded state", one full copy) and, per step, only the tiles that changed:
// the XOR of their old and new bytes, run-length coded. XOR makes one record
// serve both ways, and since a step's tiles are mostly unchanged pixels or
// one colour swapped for another, they code to a few bytes per row.
//
// Memory: the steps together stay within the budget (by default one byte per
// mask pixel, but never less than kLeastBudget, so that small masks keep a
// long history too); recording past it drops the oldest steps, down to none if
// a single step is larger than the whole budget. Steps undone and not redone
// are dropped by the next record.
//
// The caller keeps the mask equal to the recorded state between a record and
// the next change it records: undo and redo rewrite only the tiles of the
// step, from the recorded state.
class MaskHistory {
 public:
  static constexpr int kTileSize = 64;
  static constexpr size_t kLeastBudget = size_t{4} << 20;

  MaskHistory() = default;
  MaskHistory(const MaskHistory&) = delete;
  MaskHistory& operator=(const MaskHistory&) = delete;

  // Starts over from `mask` (cloned): no steps. The budget becomes the
  // default above unless budgetBytes is given.
  void reset(const cv::Mat& mask, size_t budgetBytes = 0);
  // As reset, but the history keeps `baseline` itself, not a copy: nothing
  // else may write its pixels. Saves the copy of a whole mask where the
  // caller has one to give away (a blank mask made for the purpose).
  void adopt(cv::Mat baseline, size_t budgetBytes = 0);

  // Records the change from the recorded state to `mask` as one step, with
  // its companion. A change of no pixel without a companion makes no step.
  // Returns whether a step was made. REQUIRES: reset() was called with a mask
  // of the same size and type.
  bool record(const cv::Mat& mask,
              std::unique_ptr<StepCompanion> companion = nullptr);

  // Whether `mask` differs from the recorded state.
  bool differs(const cv::Mat& mask) const;

  // Undoes the newest step into `mask` (then the companion's undo); returns
  // false, changing nothing, when there is none.
  bool undo(cv::Mat& mask);
  // Redoes the step undone last; false when there is none.
  bool redo(cv::Mat& mask);

  size_t undoCount() const { return undoable_.size(); }
  // The companion of the newest step that can be undone; null when there is
  // none or it has none.
  const StepCompanion* newestCompanion() const {
    return undoable_.empty() ? nullptr : undoable_.back().companion.get();
  }
  size_t redoCount() const { return redoable_.size(); }
  // The smallest rectangle holding every tile the last record, undo or redo
  // changed: what a copy of the mask kept elsewhere must take again. Empty
  // when that call changed no pixel, and after reset().
  const cv::Rect& changedArea() const { return changedArea_; }
  // Memory held by the steps (code, tile lists, companions).
  size_t bytes() const { return bytes_; }
  size_t budget() const { return budget_; }
  const cv::Mat& recordedState() const { return recorded_; }

 private:
  struct Step {
    std::vector<uint32_t> tiles;    // tile numbers, row-major
    std::vector<uint32_t> offsets;  // start of each tile's code, and the end
    std::vector<uint8_t> code;
    std::unique_ptr<StepCompanion> companion;
    size_t bytes() const;
  };

  cv::Rect tileRect(uint32_t tile) const;
  // XORs the step's tiles into the recorded state and copies them to mask.
  void apply(const Step& step, cv::Mat& mask);
  void dropOldestPastBudget();

  cv::Mat recorded_;
  int tilesAcross_ = 0;
  // The steps that can be undone, oldest first, and those undone that can be
  // redone, the one undone last at the back.
  std::deque<Step> undoable_;
  std::vector<Step> redoable_;
  cv::Rect changedArea_;
  size_t bytes_ = 0;
  size_t budget_ = 0;
  std::vector<uint8_t> scratch_;
};

}  // namespace scribeline
