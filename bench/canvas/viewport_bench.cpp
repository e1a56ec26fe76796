// One redraw of the main view (composeView + showView into the scripted
// window system of a 1920 x 1200 screen, mask overlay on) through the
// viewport, against one cv::Mat::copyTo of the same photo in the same run:
// the 18-megapixel elephants fitted and zoomed in to 4:1, and the
// 4-megapixel ladybird fitted, the latter also against the redraw of the
// whole photo that every redraw was before (blend of every pixel and a show
// of the full-size picture).
//
// Counters: x_copy, wall time per redraw over wall time per copyTo of the
// photo (BM_CopyTo with the same photo argument); x_whole, over the
// whole-photo redraw of BM_WholePhotoRedraw.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>

#include "canvas/view.h"
#include "canvas/window_placement.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "tests/support/photos.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const char* const kPhotos[] = {"elephants_5640x3172.jpg",
                               "ladybird_2560x1600.jpg"};

const cv::Mat& photo(int which) {
  static std::map<int, cv::Mat> loaded;
  cv::Mat& entry = loaded[which];
  if (entry.empty()) {
    const std::string path = findPhoto(kPhotos[which]);
    if (!path.empty()) entry = cv::imread(path, cv::IMREAD_COLOR);
  }
  return entry;
}

// Label stripes, so that the blend meets many byte pairs.
cv::Mat stripedMask(cv::Size size) {
  cv::Mat mask(size, CV_8UC3);
  for (int y = 0; y < mask.rows; ++y)
    mask.row(y).setTo(labelColor((y / 37) % numLabels));
  return mask;
}

double seconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Wall seconds per iteration of `body`.
template <typename Body>
double timeLoop(benchmark::State& state, Body body) {
  const double start = seconds();
  std::int64_t iterations = 0;
  for (auto _ : state) {
    body();
    ++iterations;
  }
  return iterations == 0 ? 0.0 : (seconds() - start) / iterations;
}

// Per photo: copyTo and whole-photo redraw times of this run.
std::map<int, double> copySeconds, wholeSeconds;

void BM_CopyTo(benchmark::State& state) {
  const cv::Mat& source = photo(state.range(0));
  if (source.empty()) return state.SkipWithError("photo missing");
  cv::Mat target(source.size(), CV_8UC3);
  copySeconds[state.range(0)] = timeLoop(state, [&] {
    source.copyTo(target);
    benchmark::DoNotOptimize(target.data);
    benchmark::ClobberMemory();
  });
  state.SetLabel(kPhotos[state.range(0)]);
}
BENCHMARK(BM_CopyTo)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// The redraw as it was: every pixel of the photo blended and the full-size
// picture shown.
void BM_WholePhotoRedraw(benchmark::State& state) {
  const cv::Mat& source = photo(state.range(0));
  if (source.empty()) return state.SkipWithError("photo missing");
  const cv::Mat mask = stripedMask(source.size());
  ScriptedWindowSystem windows;
  ViewScratch scratch;
  cv::Mat picture;
  wholeSeconds[state.range(0)] = timeLoop(state, [&] {
    blendMask(source, mask, kStartOpacity, scratch, picture);
    windows.showImage(kMainWindow, picture);
    benchmark::ClobberMemory();
  });
  state.SetLabel(kPhotos[state.range(0)]);
}
BENCHMARK(BM_WholePhotoRedraw)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// range(0): photo; range(1): wheel notches in from the fitted view.
void BM_ViewportRedraw(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const cv::Mat& source = photo(which);
  if (source.empty()) return state.SkipWithError("photo missing");
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = source;
  workspace.mask = stripedMask(source.size());
  workspace.maskOverlay = true;
  workspace.currentTool = kToolPen;
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  openMainWindow(workspace.views, windows, source.size(),
                 WindowMode::FreeScale);
  Viewport& view = mainView(workspace.views, windows, source.size());
  view.zoomSteps(static_cast<int>(state.range(1)),
                 {view.windowSize().width / 2, view.windowSize().height / 2});
  workspace.views.focus = view.focus();
  recomposeAndShow(workspace);  // the reduction of this zoom level is kept
  const double redraw = timeLoop(state, [&] {
    composeView(workspace);
    showView(workspace);
    benchmark::ClobberMemory();
  });
  state.SetLabel(std::string(kPhotos[which]) + " at " +
                 std::to_string(view.scale()).substr(0, 5));
  if (copySeconds[which] > 0)
    state.counters["x_copy"] = redraw / copySeconds[which];
  if (wholeSeconds[which] > 0)
    state.counters["x_whole"] = redraw / wholeSeconds[which];
}
BENCHMARK(BM_ViewportRedraw)
    ->Args({0, 0})
    ->Args({0, 6})
    ->Args({0, 12})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
