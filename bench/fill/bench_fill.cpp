// The fill tool on the 18-megapixel elephants, through the mouse dispatch of
// the main window on a 1920 x 1200 screen (the scripted window system), so
// that every figure includes the redraw the event causes:
//
//   BM_PlainMove   a pointer move with no press: the redraw alone, what any
//                  plain key or move costs;
//   BM_FillPress   a press that starts a fill at the tolerance given;
//   BM_FillUpdate  a move of 8 screen pixels up during a press: the
//                  tolerance rises by 8 and the region grows, from 20 up to
//                  the largest tolerance, then the press starts over (not
//                  timed). Counters max_ms and max_cpu_ms: the slowest
//                  update of the run, in wall and in thread CPU time;
//   BM_FillLower   a move of 8 screen pixels down: a threshold only.
//
// The second argument is the view: 0 the photo fitted, 1 at 1:1.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>

#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "canvas/window_placement.h"
#include "canvas/workspace.h"
#include "fill/fill_tool.h"
#include "tests/support/photos.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Mat& elephants() {
  static const cv::Mat photo = [] {
    const std::string path = findPhoto("elephants_5640x3172.jpg");
    return path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
  }();
  return photo;
}

// On the big elephant's body.
const cv::Point kSeed(3120, 1200);
constexpr int kStepPixels = 8;

struct Session {
  explicit Session(bool actualSize) : workspace(windows, console) {
    workspace.image = elephants();
    workspace.mask =
        cv::Mat(workspace.image.size(), CV_8UC3, cv::Scalar::all(255));
    workspace.tools[kToolFill] = std::make_unique<FillTool>();
    workspace.currentTool = kToolFill;
    workspace.toolsBuilt = true;
    openMainWindow(workspace.views, windows, workspace.image.size(),
                   WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
    startMaskHistory(workspace);
    if (actualSize) workspace.views.main.showActualSize();
    // The seed in the middle of the window, with room above and below.
    const cv::Point centre(workspace.views.main.windowSize().width / 2,
                           workspace.views.main.windowSize().height / 2);
    if (actualSize) {
      workspace.views.main.pan(centre -
                               workspace.views.main.toWindowCentre(kSeed));
    }
    seed = workspace.views.main.toWindowCentre(kSeed);
  }
  void send(int event, cv::Point p, int flags) {
    windows.sendMouse(kMainWindow, event, p.x, p.y, flags);
  }
  void press() { send(kLeftButtonDown, seed, kMouseFlagLeftButton); }
  // Ends a press without writing it.
  void discard() { workspace.tools[kToolFill]->onBackspace(workspace); }
  const FillTool& fill() const {
    return static_cast<const FillTool&>(*workspace.tools[kToolFill]);
  }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
  cv::Point seed;
};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

// CPU time of this thread: the work of one update, whatever else the
// machine runs.
double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) +
         1e-9 * static_cast<double>(now.tv_nsec);
}

void BM_PlainMove(benchmark::State& state) {
  if (elephants().empty()) return state.SkipWithError("no elephants photo");
  Session session(state.range(0) != 0);
  int k = 0;
  for (auto _ : state) {
    session.send(kMouseMove, session.seed + cv::Point(0, (k++ & 1)), 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PlainMove)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FillPress(benchmark::State& state) {
  if (elephants().empty()) return state.SkipWithError("no elephants photo");
  Session session(state.range(1) != 0);
  session.workspace.fillTolerance = static_cast<int>(state.range(0));
  size_t area = 0;
  for (auto _ : state) {
    session.press();
    benchmark::ClobberMemory();
    state.PauseTiming();
    area = session.fill().region().area();
    session.discard();
    state.ResumeTiming();
  }
  state.counters["region_px"] = static_cast<double>(area);
}
BENCHMARK(BM_FillPress)
    ->ArgsProduct({{20, 60}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_FillUpdate(benchmark::State& state) {
  if (elephants().empty()) return state.SkipWithError("no elephants photo");
  Session session(state.range(0) != 0);
  const int room = session.workspace.views.main.windowSize().height;
  double slowest = 0.0, slowestCpu = 0.0;
  cv::Point at = session.seed;
  session.press();
  for (auto _ : state) {
    if (session.fill().region().tolerance() >= kMaxFillTolerance ||
        at.y - kStepPixels < 0) {
      state.PauseTiming();
      session.discard();
      at = cv::Point(session.seed.x, room - 1);
      session.send(kMouseMove, at, 0);
      session.send(kLeftButtonDown, at, kMouseFlagLeftButton);
      state.ResumeTiming();
    }
    at.y -= kStepPixels;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    session.send(kMouseMove, at, kMouseFlagLeftButton);
    slowest = std::max(slowest, seconds(start));
    slowestCpu = std::max(slowestCpu, threadCpuSeconds() - cpuStart);
  }
  state.counters["max_ms"] = 1e3 * slowest;
  state.counters["max_cpu_ms"] = 1e3 * slowestCpu;
}
BENCHMARK(BM_FillUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FillLower(benchmark::State& state) {
  if (elephants().empty()) return state.SkipWithError("no elephants photo");
  Session session(state.range(0) != 0);
  session.workspace.fillTolerance = 60;
  session.press();
  cv::Point at = session.seed;
  int k = 0;
  for (auto _ : state) {
    // Down then up again by the same: the second only thresholds as well.
    at.y += (k++ & 1) ? -kStepPixels : kStepPixels;
    session.send(kMouseMove, at, kMouseFlagLeftButton);
  }
}
BENCHMARK(BM_FillLower)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
