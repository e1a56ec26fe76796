// One redraw of the main view (composeView + showView into the scripted
// window system) on a 12-megapixel photograph with the mask overlay on, at
// every opacity the keys can reach, against one cv::Mat::copyTo of that
// photograph.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "canvas/opacity.h"
#include "canvas/view.h"
#include "palette/palette.h"
#include "tests/support/photos.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Size kPhotoSize(4000, 3000);

// The ladybird photograph resized to 12 megapixels; empty when it is not
// found.
const cv::Mat& photo() {
  static const cv::Mat resized = [] {
    const std::string path = findPhoto("ladybird_2560x1600.jpg");
    const cv::Mat loaded =
        path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
    if (loaded.empty()) return cv::Mat();
    cv::Mat out;
    cv::resize(loaded, out, kPhotoSize, 0, 0, cv::INTER_LINEAR);
    return out;
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

struct Timing {
  double wall = 0.0;  // seconds per iteration
  double cpu = 0.0;   // seconds of process CPU time per iteration
};

// Process CPU time, so that the work of the parallel_for_ helper threads is
// counted, not only that of the benchmark thread.
double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) +
         1e-9 * static_cast<double>(now.tv_nsec);
}

double wallSeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The copyTo timing of this run; redraw ratios are taken against it.
Timing copyTiming;

template <typename Body>
Timing timeLoop(benchmark::State& state, Body body) {
  const double wallStart = wallSeconds(), cpuStart = processCpuSeconds();
  std::int64_t iterations = 0;
  for (auto _ : state) {
    body();
    ++iterations;
  }
  Timing timing;
  if (iterations == 0) return timing;
  timing.wall = (wallSeconds() - wallStart) / static_cast<double>(iterations);
  timing.cpu =
      (processCpuSeconds() - cpuStart) / static_cast<double>(iterations);
  return timing;
}

void BM_CopyTo(benchmark::State& state) {
  if (photo().empty()) return state.SkipWithError("no ladybird photograph");
  cv::Mat target(kPhotoSize, CV_8UC3);
  copyTiming = timeLoop(state, [&] {
    photo().copyTo(target);
    benchmark::DoNotOptimize(target.data);
    benchmark::ClobberMemory();
  });
}
BENCHMARK(BM_CopyTo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One redraw per iteration at reachableOpacities()[range(0)]. The counters
// wall_x_copy and cpu_x_copy are the ratios to BM_CopyTo of this run (CPU
// time of the whole process, helper threads included).
void BM_RedrawWithOverlay(benchmark::State& state) {
  if (photo().empty()) return state.SkipWithError("no ladybird photograph");
  const double opacity = reachableOpacities().at(state.range(0));
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = photo();
  workspace.mask = stripedMask();
  workspace.maskOverlay = true;
  workspace.maskOpacity = opacity;
  workspace.currentTool = kToolPen;
  workspace.tools[kToolPen] = std::make_unique<Tool>();
  windows.createWindow(kMainWindow, WindowMode::FreeScale);
  const Timing redraw = timeLoop(state, [&] {
    composeView(workspace);
    showView(workspace);
    benchmark::ClobberMemory();
  });
  char label[32];
  std::snprintf(label, sizeof label, "opacity %.17g", opacity);
  state.SetLabel(label);
  if (copyTiming.wall > 0.0 && copyTiming.cpu > 0.0) {
    state.counters["wall_x_copy"] = redraw.wall / copyTiming.wall;
    state.counters["cpu_x_copy"] = redraw.cpu / copyTiming.cpu;
  }
}
BENCHMARK(BM_RedrawWithOverlay)
    ->DenseRange(0, static_cast<int>(reachableOpacities().size()) - 1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
