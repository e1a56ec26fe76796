// Link-cost construction and the live-wire search against OpenCV's
// IntelligentScissorsMB (applyImage and buildMap) on the same photographs, in
// the same run: the whole-image search, and the search on demand as the tool
// drives it (a press, then the preview 300 pixels away; a traced edge with
// presses along it; the pointer straight to the far corner). Prints the
// ratios ours / peer at the end.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc/segmentation.hpp>
#include <string>
#include <vector>

#include "scissors/iscissor.h"
#include "tests/support/photos.h"

namespace {

struct Photo {
  const char* name;
  const char* file;
};

const Photo kPhotos[] = {
    {"ladybird", "ladybird_2560x1600.jpg"},
    {"elephants", "elephants_5640x3172.jpg"},
};

// CPU time of the whole process so far (user and system, every thread), in
// milliseconds. On a machine shared with other work it is steadier than the
// wall-clock time.
double processCpuMilliseconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Measures the process CPU time of the timed loop of one benchmark.
class ProcessCpuClock {
 public:
  ProcessCpuClock() : start_(processCpuMilliseconds()) {}
  void report(benchmark::State& state) const {
    state.counters["process_cpu_ms"] = (processCpuMilliseconds() - start_) /
                                       static_cast<double>(state.iterations());
  }

 private:
  double start_;
};

// The photograph, loaded once; empty when no copy of it exists.
const cv::Mat& photo(const Photo& which) {
  static std::map<std::string, cv::Mat> loaded;
  auto found = loaded.find(which.name);
  if (found != loaded.end()) return found->second;
  const std::string path = scribeline::findPhoto(which.file);
  cv::Mat image;
  if (!path.empty()) image = cv::imread(path, cv::IMREAD_COLOR);
  return loaded.emplace(which.name, image).first->second;
}

bool skipWithoutPhoto(benchmark::State& state, const cv::Mat& image,
                      const Photo& which) {
  if (!image.empty()) return false;
  state.SkipWithError(
      (std::string("photograph not found: ") + which.file).c_str());
  return true;
}

void linkCosts(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  double bytesPerPixel = 0.0;
  // One untimed construction first, so that every timed one finds the
  // memory system in the same state (the peer's buffers are reused by the
  // allocator from its second run on as well).
  { scribeline::IScissor warmUp(image); }
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scribeline::IScissor scissor(image);
    benchmark::DoNotOptimize(scissor.linkCost(0, 0, 0));
    bytesPerPixel = scissor.bytesPerPixel();
  }
  cpu.report(state);
  state.counters["bytes_per_pixel"] = bytesPerPixel;
}

void peerApplyImage(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  {
    cv::segmentation::IntelligentScissorsMB warmUp;
    warmUp.applyImage(image);
  }
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    cv::segmentation::IntelligentScissorsMB tool;
    tool.applyImage(image);
    benchmark::ClobberMemory();
  }
  cpu.report(state);
}

void search(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  scribeline::IScissor scissor(image);
  const int x = image.cols / 2;
  const int y = image.rows / 2;
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scissor.searchFromSeed(x, y);
    benchmark::DoNotOptimize(scissor.predecessor(cv::Point(0, 0)));
  }
  cpu.report(state);
  state.counters["bytes_per_pixel"] = scissor.bytesPerPixel();
}

// A press at the centre, then the preview at a pixel 300 pixels to its right.
void pressAndNearPreview(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  scribeline::IScissor scissor(image);
  const cv::Point press(image.cols / 2, image.rows / 2);
  const cv::Point pointer(press.x + 300, press.y);
  std::size_t settled = 0;
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scissor.seedSearch(press.x, press.y);
    benchmark::DoNotOptimize(scissor.pathToSeed(pointer));
    settled = scissor.settledCount();
  }
  cpu.report(state);
  state.counters["settled_pixels"] = static_cast<double>(settled);
}

// Tracing an edge as an annotator does: a press, then 60 pointer moves of 25
// pixels along a 1,500-pixel line through the centre, each showing the
// preview, and a press committing the segment every 300 pixels.
void tracedLine(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  scribeline::IScissor scissor(image);
  const cv::Point start(image.cols / 2 - 750, image.rows / 2);
  constexpr int kMoves = 60;
  constexpr int kStep = 25;
  constexpr int kMovesPerSegment = 300 / kStep;
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scissor.startContour(start, 1);
    scissor.seedSearch(start.x, start.y);
    for (int move = 1; move <= kMoves; ++move) {
      const cv::Point pointer(start.x + move * kStep, start.y);
      benchmark::DoNotOptimize(scissor.pathToSeed(pointer));
      if (move % kMovesPerSegment == 0) {
        benchmark::DoNotOptimize(scissor.appendSegment(pointer));
        scissor.seedSearch(pointer.x, pointer.y);
      }
    }
    scissor.removeLastContour();
  }
  cpu.report(state);
}

// The worst case on demand: a press in one corner, the pointer at once in the
// opposite one, so that nearly the whole photograph is settled.
void pressAndFarCorner(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  scribeline::IScissor scissor(image);
  const cv::Point pointer(image.cols - 1, image.rows - 1);
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scissor.seedSearch(0, 0);
    benchmark::DoNotOptimize(scissor.pathToSeed(pointer));
  }
  cpu.report(state);
  state.counters["bytes_per_pixel"] = scissor.bytesPerPixel();
}

// The whole-image search from the same corner, for the worst case above.
void searchFromCorner(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  scribeline::IScissor scissor(image);
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    scissor.searchFromSeed(0, 0);
    benchmark::DoNotOptimize(scissor.predecessor(cv::Point(0, 0)));
  }
  cpu.report(state);
}

void peerBuildMap(benchmark::State& state, const Photo* which) {
  const cv::Mat& image = photo(*which);
  if (skipWithoutPhoto(state, image, *which)) return;
  cv::segmentation::IntelligentScissorsMB tool;
  tool.applyImage(image);
  const cv::Point centre(image.cols / 2, image.rows / 2);
  tool.buildMap(centre);
  const ProcessCpuClock cpu;
  for (auto _ : state) {
    tool.buildMap(centre);
    benchmark::ClobberMemory();
  }
  cpu.report(state);
}

// Console output as usual, plus the best real time of every benchmark over
// its repetitions, kept by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.run_name.function_name;
      const Times measured{run.GetAdjustedRealTime(),
                           run.counters.at("process_cpu_ms")};
      auto known = times_.find(name);
      if (known == times_.end()) {
        times_[name] = measured;
      } else {
        known->second.real = std::min(known->second.real, measured.real);
        known->second.cpu = std::min(known->second.cpu, measured.cpu);
      }
    }
  }

  void printRatios() const {
    std::printf(
        "\nbest of the repetitions; ratio ours / OpenCV IntelligentScissorsMB,"
        " or ours / ours where named\n%-10s %-34s %29s %10s %29s %8s\n",
        "photo", "what", "wall-clock ours / peer", "ratio",
        "process CPU ours / peer", "ratio");
    for (const Photo& which : kPhotos) {
      printRatio(which.name, "link costs / applyImage", "linkCosts",
                 "peerApplyImage");
      printRatio(which.name, "searchFromSeed / buildMap", "search",
                 "peerBuildMap");
      printRatio(which.name, "press, preview at 300 / buildMap",
                 "pressAndNearPreview", "peerBuildMap");
      printRatio(which.name, "traced line / buildMap", "tracedLine",
                 "peerBuildMap");
      printRatio(which.name, "press, far corner / buildMap",
                 "pressAndFarCorner", "peerBuildMap");
      printRatio(which.name, "far corner / searchFromSeed there",
                 "pressAndFarCorner", "searchFromCorner");
    }
  }

 private:
  void printRatio(const std::string& photoName, const char* what,
                  const std::string& ours, const std::string& peer) const {
    const auto mine = times_.find(ours + "/" + photoName);
    const auto theirs = times_.find(peer + "/" + photoName);
    if (mine == times_.end() || theirs == times_.end()) return;
    const Times& a = mine->second;
    const Times& b = theirs->second;
    std::printf(
        "%-10s %-34s %12.1f / %9.1f ms %10.3f %12.1f / %9.1f ms %8.3f\n",
        photoName.c_str(), what, a.real, b.real, a.real / b.real, a.cpu, b.cpu,
        a.cpu / b.cpu);
  }

  struct Times {
    double real;  // wall-clock milliseconds per iteration
    double cpu;   // process CPU milliseconds per iteration
  };
  std::map<std::string, Times> times_;
};

void registerAll() {
  using Function = void (*)(benchmark::State&, const Photo*);
  struct Entry {
    const char* name;
    Function function;
  };
  const Entry entries[] = {
      {"linkCosts", linkCosts},
      {"peerApplyImage", peerApplyImage},
      {"search", search},
      {"pressAndNearPreview", pressAndNearPreview},
      {"tracedLine", tracedLine},
      {"pressAndFarCorner", pressAndFarCorner},
      {"searchFromCorner", searchFromCorner},
      {"peerBuildMap", peerBuildMap},
  };
  for (const Photo& which : kPhotos) {
    for (const Entry& entry : entries) {
      // Both engines may use worker threads: compare wall-clock time.
      benchmark::RegisterBenchmark(
          (std::string(entry.name) + "/" + which.name).c_str(), entry.function,
          &which)
          ->UseRealTime()
          ->Repetitions(3)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerAll();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
