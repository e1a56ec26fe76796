// One redraw of the main view (composeView + showView into the scripted
// window system) on a 12-megapixel photograph with the mask overlay on,
// against one cv::Mat::copyTo of that photograph.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/palette.h"
#include "canvas/view.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Size kPhotoSize(4000, 3000);

// The ladybird photograph resized to 12 megapixels; empty when none of the
// known places holds it.
const cv::Mat& photo() {
  static const cv::Mat resized = [] {
    const std::vector<std::string> places = {
        "../shared/images/ladybird_2560x1600.jpg",
        "/work/shared/images/ladybird_2560x1600.jpg",
        "/usr/share/backgrounds/mate/nature/LadyBird.jpg"};
    for (const std::string& place : places) {
      cv::Mat loaded = cv::imread(place, cv::IMREAD_COLOR);
      if (loaded.empty()) continue;
      cv::Mat out;
      cv::resize(loaded, out, kPhotoSize, 0, 0, cv::INTER_LINEAR);
      return out;
    }
    return cv::Mat();
  }();
  return resized;
}

// A mask of label stripes, so that the blend meets many byte pairs.
cv::Mat stripedMask() {
  cv::Mat mask(kPhotoSize, CV_8UC3);
  for (int y = 0; y < mask.rows; ++y)
    mask.row(y).setTo(labelColor((y / 37) % numLabels));
  return mask;
}

void BM_CopyTo(benchmark::State& state) {
  if (photo().empty()) return state.SkipWithError("no ladybird photograph");
  cv::Mat target(kPhotoSize, CV_8UC3);
  for (auto _ : state) {
    photo().copyTo(target);
    benchmark::DoNotOptimize(target.data);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyTo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RedrawWithOverlay(benchmark::State& state) {
  if (photo().empty()) return state.SkipWithError("no ladybird photograph");
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = photo();
  workspace.mask = stripedMask();
  workspace.maskOverlay = true;
  // 0.40 is the start-up opacity; 0.45 is one where some byte pairs land
  // on exact halves and take the table path.
  workspace.maskOpacity = state.range(0) / 100.0;
  workspace.currentTool = kToolPen;
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  windows.createWindow(kMainWindow, WindowMode::FreeScale);
  for (auto _ : state) {
    composeView(workspace);
    showView(workspace);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RedrawWithOverlay)
    ->Arg(40)
    ->Arg(45)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
