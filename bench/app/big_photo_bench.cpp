// Memory and waits on big photos, through the real program and window layer:
// the program runs under its own Xvfb (1920 x 1080, no window manager) on the
// 4 MP ladybird, the 18 MP elephants and the elephants enlarged to 103 MP
// (bench_photos.h), one photo after the other.
//
// Per photo:
// - Prepared: launch until every tool is ready (the start-up's last line,
//   "Current Tool = iScissor"). Counters: over_imread (that time divided by
//   cv::imread of the photo, measured here), peak_B_px and resident_B_px
//   (VmHWM and VmRSS of the program then, per photo pixel).
// - KeyAlone: a key ("." prints the pen radius) until its line is printed;
//   the peer of every wait below, each reported as ms_over_key: the mean
//   time from an action to the answer of a key sent right after it, less
//   the key alone.
// - Scissors: at the fitted view, a press; the pointer moved 110 screen
//   pixels (the live-wire shown); a click there (the segment fixed); a click
//   300 screen pixels further on (a long segment); Enter. Counters per step.
// - Strokes: lazy-snapping strokes after the first, alternating labels.
// - LabelPick, WheelStep, Pan (at 1:1, "S").
// - AfterWork: peak_B_px and resident_B_px once all of the above is done
//   (Scissors and Strokes report them too, as they end).
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "bench/app/bench_photos.h"
#include "bench/program_timing.h"
#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

// A field of /proc/<pid>/status in bytes ("VmHWM", "VmRSS"); -1 if unread.
double statusBytes(int pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return 1024.0 * std::stod(line.substr(field.size() + 1));
  }
  return -1;
}

struct Program {
  std::unique_ptr<XSession> session;
  double pixels = 0;
  double prepareSeconds = -1;
  double imreadSeconds = -1;
  double keyAlone = 0;
};

// The program on the named photo; the one on the previous photo is ended
// first (two big photos at once would not fit).
Program* program(const std::string& name) {
  static std::string current;
  static std::unique_ptr<Program> running;
  if (current == name) return running.get();
  running.reset();
  current = name;
  const std::string photo = photoPath(name);
  if (photo.empty()) return nullptr;
  auto started = std::make_unique<Program>();
  const double readStart = seconds();
  const cv::Mat image = cv::imread(photo, cv::IMREAD_COLOR);
  started->imreadSeconds = seconds() - readStart;
  started->pixels = static_cast<double>(image.total());
  started->session = std::make_unique<XSession>(1920, 1080);
  XSession& session = *started->session;
  if (session.display().empty()) return nullptr;
  const std::string as = "photo" + photo.substr(photo.rfind('.'));
  session.copyIn(photo, as);
  const double start = seconds();
  session.launch(SCRIBELINE_BINARY, {as});
  if (!session.waitForOutput("\n\nCurrent Tool = iScissor\n", 1200))
    return nullptr;
  started->prepareSeconds = seconds() - start;
  running = std::move(started);
  return running.get();
}

// Seconds from the start of `action` to the answer of the key after it,
// less the key alone.
template <typename Action>
double waitAfter(Program& program, Action action) {
  const double start = seconds();
  action(*program.session);
  keyRoundTrip(*program.session);
  return seconds() - start - program.keyAlone;
}

void memoryCounters(benchmark::State& state, const Program& program) {
  const int pid = program.session->programPid();
  state.counters["peak_B_px"] = statusBytes(pid, "VmHWM") / program.pixels;
  state.counters["resident_B_px"] = statusBytes(pid, "VmRSS") / program.pixels;
}

void prepared(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  for (auto _ : state) state.SetIterationTime(started->prepareSeconds);
  state.counters["imread_s"] = started->imreadSeconds;
  state.counters["over_imread"] =
      started->prepareSeconds / started->imreadSeconds;
  memoryCounters(state, *started);
}

void keyAlone(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  double total = 0;
  for (auto _ : state) {
    const double waited = keyRoundTrip(*started->session);
    state.SetIterationTime(waited);
    total += waited;
  }
  started->keyAlone = total / static_cast<double>(state.iterations());
}

void scissors(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  XSession& session = *started->session;
  const cv::Size window = session.windowSize("Scribeline");
  double press = 0, preview = 0, commit = 0, longSegment = 0;
  int i = 0;
  for (auto _ : state) {
    const cv::Point start(window.width / 5, window.height / 4 + 60 * i);
    const cv::Point near = start + cv::Point(110, 0);
    const cv::Point far = near + cv::Point(300, 0);
    const double p = waitAfter(*started, [&](XSession& s) {
      s.click("Scribeline", start.x, start.y);
    });
    const double m = waitAfter(
        *started, [&](XSession& s) { s.moveTo("Scribeline", near.x, near.y); });
    const double c = waitAfter(
        *started, [&](XSession& s) { s.click("Scribeline", near.x, near.y); });
    const double l = waitAfter(*started, [&](XSession& s) {
      s.moveTo("Scribeline", far.x, far.y);
      s.click("Scribeline", far.x, far.y);
    });
    session.key("Scribeline", "Return");
    state.SetIterationTime(p + m + c + l);
    press += p, preview += m, commit += c, longSegment += l;
    ++i;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["press_ms_over_key"] = 1000 * press / n;
  state.counters["preview_ms_over_key"] = 1000 * preview / n;
  state.counters["commit_ms_over_key"] = 1000 * commit / n;
  state.counters["long_ms_over_key"] = 1000 * longSegment / n;
  memoryCounters(state, *started);
}

void strokes(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  XSession& session = *started->session;
  const cv::Size window = session.windowSize("Scribeline");
  session.key("Scribeline", "1");
  auto stroke = [&](int i) {
    session.click("Toolbox", 100, (1 + i % 3) * 20 + 10);
    const cv::Point from(window.width / 3 + 90 * (i % 6),
                         window.height / 2 + 40 * (i % 4));
    session.drag("Scribeline", {from, from + cv::Point(60, 8)});
  };
  stroke(0);  // the first solve builds what later ones reuse
  keyRoundTrip(session);
  double total = 0;
  int i = 1;
  for (auto _ : state) {
    const double waited = waitAfter(*started, [&](XSession&) { stroke(i); });
    state.SetIterationTime(waited);
    total += waited;
    ++i;
  }
  state.counters["ms_over_key"] =
      1000 * total / static_cast<double>(state.iterations());
  memoryCounters(state, *started);
  session.key("Scribeline", "0");
}

template <typename Action>
void simpleWait(benchmark::State& state, const std::string& name,
                Action action) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  double total = 0;
  int i = 0;
  for (auto _ : state) {
    const double waited =
        waitAfter(*started, [&](XSession& session) { action(session, i); });
    state.SetIterationTime(waited);
    total += waited;
    ++i;
  }
  state.counters["ms_over_key"] =
      1000 * total / static_cast<double>(state.iterations());
}

void pan(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  XSession& session = *started->session;
  const unsigned long fitted = session.waitForWindow("Scribeline");
  session.key("Scribeline", "S");
  session.waitForNewWindow("Scribeline", fitted);
  keyRoundTrip(session);
  simpleWait(state, name, [](XSession& s, int i) {
    const int shift = i % 2 == 0 ? -200 : 200;
    s.drag("Scribeline", {{600, 400}, {600 + shift, 400}}, true, 2);
  });
}

void afterWork(benchmark::State& state, const std::string& name) {
  Program* started = program(name);
  if (started == nullptr) return state.SkipWithError("program did not start");
  for (auto _ : state) state.SetIterationTime(0);
  memoryCounters(state, *started);
}

void registerAll() {
  const char* photos[][2] = {{"4MP", "ladybird_2560x1600.jpg"},
                             {"18MP", "elephants_5640x3172.jpg"},
                             {"103MP", "elephants_100MP"}};
  for (const auto& photo : photos) {
    const std::string label = photo[0], file = photo[1];
    auto add = [&](const std::string& what, int iterations, auto run) {
      benchmark::RegisterBenchmark(
          (what + "/" + label).c_str(),
          [file, run](benchmark::State& state) { run(state, file); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(iterations);
    };
    add("Prepared", 1, prepared);
    add("KeyAlone", 10, keyAlone);
    add("Scissors", 4, scissors);
    add("Strokes", 4, strokes);
    add("LabelPick", 6, [](benchmark::State& state, const std::string& f) {
      simpleWait(state, f, [](XSession& s, int i) {
        s.click("Toolbox", 100, (3 + i % 5) * 20 + 10);
      });
    });
    add("WheelStep", 6, [](benchmark::State& state, const std::string& f) {
      simpleWait(state, f, [](XSession& s, int i) {
        s.wheel("Scribeline", 700, 400, i % 2 == 0 ? 1 : -1);
      });
    });
    add("Pan", 6, pan);
    add("AfterWork", 1, afterWork);
  }
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
