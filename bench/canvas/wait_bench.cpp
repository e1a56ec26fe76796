// What a user waits for, through the real window layer: the program runs on
// the 18-megapixel elephants under its own Xvfb (a 1920 x 1200 screen), and
// each iteration does one thing, then sends a key and times until the
// program has answered that key on its console. The peer is the key alone;
// the difference is what the thing costs the user before the next key.
//
// Things: a label pick in the toolbox, one wheel step (alternately in and
// out, around one point), a middle-button pan (alternately left and right).
// Counters: ms_over_key, the mean wait above BM_KeyAlone of this run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "bench/program_timing.h"
#include "tests/e2e/x_session.h"
#include "tests/support/photos.h"

namespace scribeline::e2e {
namespace {

// One program for the whole run (start-up on 18 MP takes a while).
XSession* session() {
  static std::unique_ptr<XSession> shared = [] {
    auto started = std::make_unique<XSession>(1920, 1200);
    const std::string path = findPhoto("elephants_5640x3172.jpg");
    if (path.empty() || started->display().empty()) return started;
    started->copyIn(path, "photo.jpg");
    started->launch(SCRIBELINE_BINARY, {"photo.jpg"});
    if (!started->waitForOutput("\n\nCurrent Tool = iScissor\n", 600))
      started.reset();
    return started;
  }();
  return shared.get();
}

double keyAlone = 0.0;

template <typename Action>
void timeAfter(benchmark::State& state, Action action) {
  XSession* program = session();
  if (program == nullptr) return state.SkipWithError("program did not start");
  double total = 0.0;
  int count = 0;
  for (auto _ : state) {
    action(*program, count);
    const double waited = keyRoundTrip(*program);
    state.SetIterationTime(waited);
    total += waited;
    ++count;
  }
  if (count == 0) return;
  if (keyAlone == 0.0) keyAlone = total / count;
  state.counters["ms_over_key"] = 1000.0 * (total / count - keyAlone);
}

void BM_KeyAlone(benchmark::State& state) {
  timeAfter(state, [](XSession&, int) {});
}
BENCHMARK(BM_KeyAlone)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

void BM_AfterLabelPick(benchmark::State& state) {
  timeAfter(state, [](XSession& program, int i) {
    program.click("Toolbox", 100, (3 + i % 5) * 20 + 10);
  });
}
BENCHMARK(BM_AfterLabelPick)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

void BM_AfterWheelStep(benchmark::State& state) {
  timeAfter(state, [](XSession& program, int i) {
    program.wheel("Scribeline", 700, 400, i % 2 == 0 ? 1 : -1);
  });
}
BENCHMARK(BM_AfterWheelStep)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// Panned at 1:1 ("S"), where every pixel of the window changes.
void BM_AfterPan(benchmark::State& state) {
  XSession* program = session();
  if (program != nullptr && !program->output().empty()) {
    const unsigned long fitted = program->waitForWindow("Scribeline");
    program->key("Scribeline", "S");
    program->waitForNewWindow("Scribeline", fitted);
    keyRoundTrip(*program);
  }
  timeAfter(state, [](XSession& program, int i) {
    const int shift = i % 2 == 0 ? -200 : 200;
    program.drag("Scribeline", {{600, 400}, {600 + shift, 400}}, true, 2);
  });
}
BENCHMARK(BM_AfterPan)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scribeline::e2e

BENCHMARK_MAIN();
