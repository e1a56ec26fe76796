// The mask history on the 18 MP photograph: 100 typical steps (pen drags,
// lazy-snapping strokes and their solves, Backspace solves, "n" and "N"
// rewrites), each recorded as a step, then all undone. Reported: the bytes
// the history holds per photo pixel after the 100 steps (bound: 1), the
// steps it kept, and the time of one record and one undo against one
// cv::Mat::copyTo of the mask, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "canvas/history.h"
#include "canvas/pen.h"
#include "palette/palette.h"
#include "snapping/lsnapper.h"
#include "tests/support/photos.h"

namespace scribeline {
namespace {

constexpr int kSteps = 100;
constexpr unsigned kSeed = 20261210;

// The 18 MP photograph; empty when it is not found.
const cv::Mat& photo() {
  static const cv::Mat loaded = [] {
    const std::string path = findPhoto("elephants_5640x3172.jpg");
    return path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
  }();
  return loaded;
}

double now() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

cv::Point randomPoint(std::mt19937& random, cv::Size size, int margin) {
  return cv::Point(margin + random() % (size.width - 2 * margin),
                   margin + random() % (size.height - 2 * margin));
}

// A closed polygon of a few hundred pixels across, as a scissors contour.
std::vector<cv::Point> randomOutline(std::mt19937& random, cv::Size size) {
  const cv::Point centre = randomPoint(random, size, 600);
  std::vector<cv::Point> outline;
  for (int k = 0; k < 12; ++k) {
    const double angle = k * CV_PI / 6;
    const int radius = 150 + random() % 400;
    outline.emplace_back(centre.x + static_cast<int>(radius * std::cos(angle)),
                         centre.y + static_cast<int>(radius * std::sin(angle)));
  }
  return outline;
}

// What "n" and "N" write: white, the closed contours in their labels'
// colours, and with filling the outside black and the insides in colour.
void rewriteFromContours(cv::Mat& mask,
                         const std::vector<std::vector<cv::Point>>& outlines,
                         const std::vector<int>& labels, bool filled) {
  mask.setTo(cv::Scalar::all(255));
  if (filled) mask.setTo(cv::Scalar::all(0));
  for (size_t c = 0; c < outlines.size(); ++c) {
    if (filled) {
      cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{outlines[c]},
                   labelColor(labels[c]));
    } else {
      cv::polylines(mask, outlines[c], true, labelColor(labels[c]), 1);
    }
  }
}

struct Result {
  double recordSeconds = 0;
  double undoSeconds = 0;
  size_t bytes = 0;
  size_t kept = 0;
  bool exact = false;
};

// The 100 steps: the kinds in a fixed, seeded order.
Result runSteps() {
  const cv::Mat& image = photo();
  LSnapper snapper(image, 25);
  initSnapper(snapper, 0.5f, 500.0f, 20, kSeed);
  cv::Mat mask = cv::Mat::zeros(image.size(), CV_8UC3);
  const cv::Mat start = mask.clone();
  MaskHistory history;
  history.reset(mask);

  std::mt19937 random(kSeed);
  std::vector<std::vector<cv::Point>> outlines;
  std::vector<int> outlineLabels;
  Result result;
  for (int step = 0; step < kSteps; ++step) {
    const int kind = step % 10;  // 4 pen, 3 strokes, 1 Backspace, n, N
    const int label = 1 + random() % 24;
    if (kind < 4) {
      const int radius = 3 + random() % 12;
      cv::Point last = randomPoint(random, image.size(), 400);
      paintPenDisc(mask, last, radius, label);
      for (int k = 0; k < 6; ++k) {
        const cv::Point next =
            last + cv::Point(static_cast<int>(random() % 301) - 150,
                             static_cast<int>(random() % 301) - 150);
        paintPenDisc(mask, next, radius, label);
        paintPenLine(mask, next, last, radius, label);
        last = next;
      }
    } else if (kind < 8) {
      std::vector<Stroke>& strokes = snapper.labelStrokes[label % 6];
      if (kind == 7 && !strokes.empty()) {
        strokes.pop_back();
      } else {
        const cv::Point from = randomPoint(random, image.size(), 300);
        strokes.push_back(Stroke{from, from + cv::Point(200, 40)});
      }
      runSnapper(snapper, 0.3f);
      rebuildMaskFromSuperpixels(snapper, mask);
    } else {
      outlines.push_back(randomOutline(random, image.size()));
      outlineLabels.push_back(label);
      rewriteFromContours(mask, outlines, outlineLabels, kind == 9);
    }
    const double before = now();
    history.record(mask);
    result.recordSeconds += now() - before;
  }
  result.bytes = history.bytes();
  result.kept = history.undoCount();
  const double before = now();
  while (history.undo(mask)) {
  }
  result.undoSeconds = now() - before;
  result.exact = result.kept == static_cast<size_t>(kSteps) &&
                 cv::norm(mask, start, cv::NORM_INF) == 0;
  return result;
}

double copySeconds = 0;

void BM_CopyMask(benchmark::State& state) {
  if (photo().empty()) {
    state.SkipWithError("elephants_5640x3172.jpg not found");
    return;
  }
  cv::Mat mask(photo().size(), CV_8UC3, cv::Scalar(0, 128, 128));
  cv::Mat copy;
  mask.copyTo(copy);
  double total = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const double before = now();
    mask.copyTo(copy);
    total += now() - before;
    ++runs;
    benchmark::DoNotOptimize(copy.data);
  }
  copySeconds = total / runs;
}
BENCHMARK(BM_CopyMask)->Unit(benchmark::kMillisecond);

void BM_HundredSteps(benchmark::State& state) {
  if (photo().empty()) {
    state.SkipWithError("elephants_5640x3172.jpg not found");
    return;
  }
  Result result;
  for (auto _ : state) result = runSteps();
  const double pixels = static_cast<double>(photo().total());
  state.counters["bytes_per_pixel"] = result.bytes / pixels;
  state.counters["steps_kept"] = static_cast<double>(result.kept);
  state.counters["record_ms"] = 1000 * result.recordSeconds / kSteps;
  state.counters["undo_ms"] =
      1000 * result.undoSeconds / std::max<size_t>(1, result.kept);
  state.counters["exact"] = result.exact ? 1 : 0;
  std::printf(
      "history of %d steps: %.3f bytes per pixel (%zu bytes), %zu kept, "
      "%s; per step: record %.2f ms, undo %.2f ms; copyTo of the mask "
      "%.2f ms; ratios %.2f and %.2f\n",
      kSteps, result.bytes / pixels, result.bytes, result.kept,
      result.exact ? "undone exactly" : "NOT undone exactly",
      1000 * result.recordSeconds / kSteps,
      1000 * result.undoSeconds / std::max<size_t>(1, result.kept),
      1000 * copySeconds, result.recordSeconds / kSteps / copySeconds,
      result.undoSeconds / std::max<size_t>(1, result.kept) / copySeconds);
}
BENCHMARK(BM_HundredSteps)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
