// The undo history against a plain list of every recorded mask: painting,
// recording, undoing and redoing in any order, with budgets small enough to
// drop old steps, always gives back exactly the masks that were recorded,
// and a step is undone or redone exactly when the history says it has one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <vector>

#include "canvas/history.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t next() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
};

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  // Sizes across the 64-pixel tiles, so that steps span several.
  const int cols = 1 + in.next() % 150, rows = 1 + in.next() % 150;
  const size_t budget = 64 + size_t{in.next()} * 16;
  const cv::Vec3b colours[4] = {
      {0, 0, 0}, {0, 0, 128}, {0, 128, 0}, {128, 128, 192}};

  cv::Mat mask(rows, cols, CV_8UC3, cv::Scalar::all(0));
  scribeline::MaskHistory history;
  history.reset(mask, budget);
  std::vector<cv::Mat> states{mask.clone()};  // every recorded state
  size_t at = 0;                              // the state the mask is in

  for (int op = 0; op < 64 && in.size > 0; ++op) {
    switch (in.next() % 3) {
      case 0: {  // paint a rectangle and record it
        const int x = in.next() % cols, y = in.next() % rows;
        const int w = 1 + in.next() % (cols - x),
                  h = 1 + in.next() % (rows - y);
        mask(cv::Rect(x, y, w, h)).setTo(colours[in.next() % 4]);
        const bool changed = !same(mask, states[at]);
        if (history.record(mask) != changed) std::abort();
        if (changed) {
          // A step drops the steps undone before it.
          states.resize(at + 1);
          states.push_back(mask.clone());
          ++at;
          if (history.redoCount() != 0) std::abort();
        }
        break;
      }
      case 1: {
        const bool had = history.undoCount() > 0;
        if (history.undo(mask) != had) std::abort();
        if (had) --at;
        break;
      }
      case 2: {
        const bool had = history.redoCount() > 0;
        if (history.redo(mask) != had) std::abort();
        if (had) ++at;
        break;
      }
    }
    if (!same(mask, states[at])) std::abort();
    if (history.undoCount() > at ||
        history.redoCount() > states.size() - 1 - at)
      std::abort();
    if (history.bytes() > history.budget()) std::abort();
  }
  return 0;
}
