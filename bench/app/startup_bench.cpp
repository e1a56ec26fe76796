// How long a user waits from launch, through the real window layer: the
// program runs under its own Xvfb (a 1920 x 1080 screen, no window manager)
// on a photo, and the clock runs from the launch until the program has
// answered a key ("2", which prints "Current Tool = pen") sent once its main
// window is up. The peers, measured in the same run: the program's own time
// on a 64 x 48 photo (the floor: process, Qt and window start) and
// cv::imread of the photo, in this process.
//
// Benchmarks:
// - Shown/<photo>: launch to photo shown and a key answered. Counter
//   over_bound: that time divided by floor + 1.5 x imread.
// - ScissorsUsable/<photo>: launch to a scissors press on the middle of the
//   photo handled (a key sent after the press is answered only once the
//   press has been, on the program's one thread). Counter over_bound: its
//   time beyond the floor divided by 2 x imread.
// - SnappingReady/<photo>: launch to a lazy-snapping stroke solved (the
//   stroke, then a key, answered).
//
// The 100 MP photo is the 18 MP one enlarged 2.4 times (bench_photos.h).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "bench/app/bench_photos.h"
#include "bench/program_timing.h"
#include "tests/e2e/x_session.h"
#include "tests/support/photos.h"

namespace scribeline::e2e {
namespace {

// What the user does once the main window is up, before the key.
using FirstAction = std::function<void(XSession&)>;

// Seconds from launch until the key sent after `action` is answered; a
// negative value when the program did not get there.
double launchToAnswer(const std::string& photo, const FirstAction& action) {
  XSession session(1920, 1080);
  if (session.display().empty()) return -1;
  session.copyIn(photo, "photo" + photo.substr(photo.rfind('.')));
  const double start = seconds();
  session.launch(SCRIBELINE_BINARY, {"photo" + photo.substr(photo.rfind('.'))});
  if (session.waitForWindow("Scribeline", 600) == 0) return -1;
  if (action) action(session);
  session.key("Scribeline", "2");
  if (!session.waitForOutput("Current Tool = pen\n", 600)) return -1;
  // The session ends the program with the server.
  return seconds() - start;
}

double imreadSeconds(const std::string& photo) {
  const double start = seconds();
  const cv::Mat image = cv::imread(photo, cv::IMREAD_COLOR);
  const double elapsed = seconds() - start;
  return image.empty() ? -1 : elapsed;
}

// The floor, measured once per run (the mean of five launches: a launch
// varies by a tenth of a second from one to the next).
double floorSeconds() {
  static const double floor = [] {
    const std::string tiny = photoPath("tiny");
    double total = 0;
    for (int i = 0; i < 5; ++i) total += launchToAnswer(tiny, {});
    return total / 5;
  }();
  return floor;
}

void pressMiddle(XSession& session) {
  const cv::Size size = session.windowSize("Scribeline");
  session.click("Scribeline", size.width / 2, size.height / 2);
}

void strokeMiddle(XSession& session) {
  session.key("Scribeline", "1");
  const cv::Size size = session.windowSize("Scribeline");
  const cv::Point middle(size.width / 2, size.height / 2);
  session.drag("Scribeline",
               {middle, middle + cv::Point(40, 0), middle + cv::Point(80, 10)});
}

enum class Measure { Shown, ScissorsUsable, SnappingReady };

void startUp(benchmark::State& state, const std::string& name,
             Measure measure) {
  const std::string photo = photoPath(name);
  if (photo.empty()) return state.SkipWithError("photo missing");
  const double floor = floorSeconds();
  if (floor < 0) return state.SkipWithError("the program did not start");
  FirstAction action;
  if (measure == Measure::ScissorsUsable) action = pressMiddle;
  if (measure == Measure::SnappingReady) action = strokeMiddle;
  double total = 0, reads = 0;
  for (auto _ : state) {
    const double elapsed = launchToAnswer(photo, action);
    if (elapsed < 0) return state.SkipWithError("no answer to the key");
    state.SetIterationTime(elapsed);
    total += elapsed;
    reads += imreadSeconds(photo);
  }
  const double mean = total / state.iterations();
  const double imread = reads / state.iterations();
  state.counters["floor_s"] = floor;
  state.counters["imread_s"] = imread;
  if (measure == Measure::Shown)
    state.counters["over_bound"] = mean / (floor + 1.5 * imread);
  if (measure == Measure::ScissorsUsable)
    state.counters["over_bound"] = (mean - floor) / (2 * imread);
}

void registerAll() {
  const struct {
    const char* name;
    const char* photo;
  } photos[] = {
      {"ladybird_4MP", "ladybird_2560x1600.jpg"},
      {"elephants_18MP", "elephants_5640x3172.jpg"},
      {"elephants_100MP", "elephants_100MP"},
  };
  for (const auto& photo : photos) {
    const std::string name = photo.name, file = photo.photo;
    benchmark::RegisterBenchmark(("Shown/" + name).c_str(),
                                 [file](benchmark::State& state) {
                                   startUp(state, file, Measure::Shown);
                                 })
        ->UseManualTime()
        ->Unit(benchmark::kSecond)
        ->Iterations(5);
  }
  const std::string elephants = "elephants_5640x3172.jpg";
  benchmark::RegisterBenchmark("ScissorsUsable/elephants_18MP",
                               [elephants](benchmark::State& state) {
                                 startUp(state, elephants,
                                         Measure::ScissorsUsable);
                               })
      ->UseManualTime()
      ->Unit(benchmark::kSecond)
      ->Iterations(2);
  benchmark::RegisterBenchmark("SnappingReady/elephants_18MP",
                               [elephants](benchmark::State& state) {
                                 startUp(state, elephants,
                                         Measure::SnappingReady);
                               })
      ->UseManualTime()
      ->Unit(benchmark::kSecond)
      ->Iterations(2);
}

}  // namespace
}  // namespace scribeline::e2e

int main(int argc, char** argv) {
  scribeline::e2e::registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
