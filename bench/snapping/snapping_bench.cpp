// Lazy snapping against OpenCV peers, on the 4 MP and 18 MP photographs:
//   start-up:   IScissor link costs + over-segmentation + superpixel model,
//               against IntelligentScissorsMB::applyImage + GraphSegmentation
//   stroke:     runSnapper + rebuildMaskFromSuperpixels with strokes of 3
//               labels, against one cv::Mat::copyTo of the photograph
//   shared:     the same with two more labels' strokes in the largest
//               superpixel, which the solve splits among the labels
// The ratios are printed after the runs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/segmentation.hpp>
#include <opencv2/ximgproc/segmentation.hpp>
#include <string>
#include <vector>

#include "scissors/iscissor.h"
#include "snapping/lsnapper.h"
#include "tests/support/photos.h"

namespace scribeline {
namespace {

struct Photo {
  std::string label;  // "4MP" or "18MP"
  std::string name;
};

const Photo kPhotos[] = {
    {"4MP", "ladybird_2560x1600.jpg"},
    {"18MP", "elephants_5640x3172.jpg"},
};

double seconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The snapper built by the last start-up run of each photo, reused by the
// stroke benchmarks.
std::map<std::string, std::unique_ptr<LSnapper>>& builtSnappers() {
  static std::map<std::string, std::unique_ptr<LSnapper>> snappers;
  return snappers;
}

// The program prepares its tools side by side (see buildTools in
// app/session.cpp): the scissors' link costs on one thread while this one
// over-segments and builds the snapper model. The per-part counters are the
// times of each thread on its own.
void benchStartup(benchmark::State& state, const cv::Mat& image,
                  const std::string& key) {
  double scissorSeconds = 0, snapperSeconds = 0;
  for (auto _ : state) {
    std::future<double> scissorTime = std::async(std::launch::async, [&image] {
      const double t0 = seconds();
      IScissor scissor(image);
      benchmark::DoNotOptimize(&scissor);
      return seconds() - t0;
    });
    const double t1 = seconds();
    auto snapper = std::make_unique<LSnapper>(image, 25);
    initSnapper(*snapper, 0.5f, 500.0f, 20, 12345);
    snapperSeconds += seconds() - t1;
    scissorSeconds += scissorTime.get();
    builtSnappers()[key] = std::move(snapper);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["iscissor_s"] = scissorSeconds / runs;
  state.counters["initSnapper_s"] = snapperSeconds / runs;
  state.counters["superpixels"] = builtSnappers()[key]->n;
}

void benchStartupPeer(benchmark::State& state, const cv::Mat& image) {
  for (auto _ : state) {
    cv::segmentation::IntelligentScissorsMB scissors;
    scissors.applyImage(image);
    cv::Mat segments;
    cv::ximgproc::segmentation::createGraphSegmentation(0.5, 500, 20)
        ->processImage(image, segments);
    benchmark::DoNotOptimize(segments.data);
  }
}

void benchModel(benchmark::State& state, const cv::Mat& image,
                const std::string& key) {
  const LSnapper& built = *builtSnappers().at(key);
  for (auto _ : state) {
    LSnapper snapper(image, 25);
    snapper.superpixelMap = built.superpixelMap;
    snapper.n = built.n;
    buildSnapperModel(snapper);
    benchmark::DoNotOptimize(snapper.superpixels.data());
  }
}

// Three labels' strokes at fixed places of the photograph, each a polyline
// over a fifth of its width.
void drawThreeLabels(LSnapper& snapper) {
  const int w = snapper.image.cols, h = snapper.image.rows;
  for (auto& strokes : snapper.labelStrokes) strokes.clear();
  auto polyline = [&](double x0, double y0, double x1, double y1) {
    Stroke stroke;
    for (int k = 0; k <= 20; ++k) {
      const double t = k / 20.0;
      stroke.push_back(
          cv::Point(static_cast<int>((x0 + (x1 - x0) * t) * (w - 1)),
                    static_cast<int>((y0 + (y1 - y0) * t) * (h - 1))));
    }
    return stroke;
  };
  snapper.labelStrokes[1].push_back(polyline(0.05, 0.10, 0.25, 0.20));
  snapper.labelStrokes[1].push_back(polyline(0.10, 0.80, 0.30, 0.90));
  snapper.labelStrokes[2].push_back(polyline(0.40, 0.45, 0.60, 0.55));
  snapper.labelStrokes[3].push_back(polyline(0.70, 0.15, 0.90, 0.30));
  snapper.labelStrokes[3].push_back(polyline(0.75, 0.70, 0.95, 0.85));
}

// A fingerprint of the labelling, so that a faster solve can be seen to give
// the same result (six digits: a counter is printed rounded).
void countLabellingFingerprint(benchmark::State& state,
                               const LSnapper& snapper) {
  std::uint32_t hash = 2166136261u;
  for (int label : snapper.superpixelLabels) {
    hash = (hash ^ static_cast<std::uint32_t>(label)) * 16777619u;
  }
  state.counters["labels_fnv"] = hash % 1000000;
}

// fromZero: every iteration starts from the all-0 labelling and no kept flow,
// as the first stroke of a session does; otherwise each starts from the
// previous result and the flows its solve left.
void benchStroke(benchmark::State& state, const std::string& key,
                 bool fromZero) {
  LSnapper& snapper = *builtSnappers().at(key);
  drawThreeLabels(snapper);
  cv::Mat mask(snapper.image.size(), CV_8UC3, cv::Scalar(0, 0, 0));
  for (auto _ : state) {
    if (fromZero) {
      state.PauseTiming();
      std::fill(snapper.superpixelLabels.begin(),
                snapper.superpixelLabels.end(), 0);
      snapper.solver->forgetFlows();
      state.ResumeTiming();
    }
    // The label order of the moves, the same in every run.
    runSnapper(snapper, 0.3f, 12345);
    rebuildMaskFromSuperpixels(snapper, mask);
    benchmark::DoNotOptimize(mask.data);
  }
  countLabellingFingerprint(state, snapper);
}

// The usual stroke of a session: strokes of three labels are on the photo
// except the newest stroke of `label`, and their solve is what the labels and
// the solver's kept flows hold; the stroke is drawn and solved. Label 2 has a
// single stroke, so that stroke brings a label in; label 3 has two, so its
// second adds to a label.
void benchStrokeAdded(benchmark::State& state, const std::string& key,
                      int label) {
  LSnapper& snapper = *builtSnappers().at(key);
  drawThreeLabels(snapper);
  const Stroke added = snapper.labelStrokes[label].back();
  snapper.labelStrokes[label].pop_back();
  auto solveWithout = [&] {
    std::fill(snapper.superpixelLabels.begin(), snapper.superpixelLabels.end(),
              0);
    snapper.solver->forgetFlows();
    runSnapper(snapper, 0.3f, 12345);
  };
  cv::Mat mask(snapper.image.size(), CV_8UC3, cv::Scalar(0, 0, 0));
  for (auto _ : state) {
    state.PauseTiming();
    solveWithout();
    snapper.labelStrokes[label].push_back(added);
    state.ResumeTiming();
    runSnapper(snapper, 0.3f, 12345);
    rebuildMaskFromSuperpixels(snapper, mask);
    benchmark::DoNotOptimize(mask.data);
    state.PauseTiming();
    snapper.labelStrokes[label].pop_back();
    state.ResumeTiming();
  }
  countLabellingFingerprint(state, snapper);
}

// The largest superpixel of the photo (the ladybird's blurred background
// covers most of it).
int largestSuperpixel(const LSnapper& snapper) {
  int largest = 0;
  for (int s = 1; s < snapper.n; ++s) {
    if (snapper.superpixels[s].count > snapper.superpixels[largest].count)
      largest = s;
  }
  return largest;
}

// The pixel at place k of superpixel s's raster order, as (x, y).
cv::Point pixelOf(const LSnapper& snapper, int s, size_t k) {
  cv::Point found(-1, -1);
  size_t place = 0;
  forEachPixelOf(snapper.superpixels[s], s, snapper.superpixelMap.data(),
                 snapper.image.cols, [&](int row, int col) {
                   if (place++ == k) found = cv::Point(col, row);
                 });
  return found;
}

// A short stroke of `label` through the pixel `centre`.
void strokeAt(LSnapper& snapper, int label, cv::Point centre) {
  snapper.labelStrokes[label].push_back(
      {centre - cv::Point(10, 0), centre + cv::Point(10, 0)});
}

// Strokes of labels 4 and 5 inside the largest superpixel, at a quarter and
// three quarters of its pixels in raster order, beside the three labels'
// strokes.
void drawSharedSuperpixel(LSnapper& snapper) {
  drawThreeLabels(snapper);
  const int largest = largestSuperpixel(snapper);
  const size_t count = snapper.superpixels[largest].count;
  strokeAt(snapper, 4, pixelOf(snapper, largest, count / 4));
  strokeAt(snapper, 5, pixelOf(snapper, largest, count * 3 / 4));
}

// A fingerprint of the mask, so that a faster split can be seen to give the
// same pixels.
void countMaskFingerprint(benchmark::State& state, const cv::Mat& mask) {
  std::uint32_t hash = 2166136261u;
  for (int y = 0; y < mask.rows; ++y) {
    const unsigned char* row = mask.ptr(y);
    for (size_t b = 0; b < mask.cols * mask.elemSize(); ++b) {
      hash = (hash ^ row[b]) * 16777619u;
    }
  }
  state.counters["mask_fnv"] = hash % 1000000;
}

// A solve whose strokes share out the largest superpixel among labels,
// against the same solve without the strokes in that superpixel's labels;
// the counters give the split alone and the pixels it shares out.
void benchSharedSuperpixel(benchmark::State& state, const std::string& key) {
  LSnapper& snapper = *builtSnappers().at(key);
  drawSharedSuperpixel(snapper);
  cv::Mat mask(snapper.image.size(), CV_8UC3, cv::Scalar(0, 0, 0));
  double splitSeconds = 0;
  for (auto _ : state) {
    runSnapper(snapper, 0.3f, 12345);
    rebuildMaskFromSuperpixels(snapper, mask);
    benchmark::DoNotOptimize(mask.data);
    state.PauseTiming();
    const double t0 = seconds();
    const std::vector<SuperpixelSplit> splits = splitSharedSuperpixels(
        snapper.image, snapper.labelStrokes, snapper.superpixelMap.data(),
        snapper.superpixels, snapper.superpixelLabels);
    splitSeconds += seconds() - t0;
    benchmark::DoNotOptimize(splits.data());
    state.ResumeTiming();
  }
  size_t splitPixels = 0;
  for (const SuperpixelSplit& split : snapper.splits)
    splitPixels += snapper.superpixels[split.superpixel].count;
  state.counters["split_ms"] =
      1000 * splitSeconds / static_cast<double>(state.iterations());
  state.counters["splits"] = static_cast<double>(snapper.splits.size());
  state.counters["split_share"] =
      static_cast<double>(splitPixels) / snapper.image.total();
  countLabellingFingerprint(state, snapper);
  countMaskFingerprint(state, mask);
}

void benchCopy(benchmark::State& state, const cv::Mat& image) {
  cv::Mat copy(image.size(), image.type());
  for (auto _ : state) {
    image.copyTo(copy);
    benchmark::DoNotOptimize(copy.data);
    benchmark::ClobberMemory();
  }
}

// Keeps every run's real and CPU time per iteration so that the ratios can
// be printed at the end. The real-time ratio is the target; the CPU-time one
// (all threads of the process) shows how much a busy machine distorted it.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      times_[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                      run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatio(const std::string& what, const std::string& ours,
                  const std::string& peer, double target) const {
    const auto a = times_.find(ours), b = times_.find(peer);
    if (a == times_.end() || b == times_.end() || b->second.real <= 0) return;
    std::printf(
        "%-30s real %10.3f / %10.3f ms = %7.3f   cpu %10.3f / %10.3f ms = %7.3f"
        "   (target <= %g)\n",
        what.c_str(), a->second.real, b->second.real,
        a->second.real / b->second.real, a->second.cpu, b->second.cpu,
        a->second.cpu / b->second.cpu, target);
  }

 private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> times_;
};

}  // namespace
}  // namespace scribeline

int main(int argc, char** argv) {
  using namespace scribeline;
  benchmark::Initialize(&argc, argv);
  std::vector<std::pair<std::string, cv::Mat>> photos;
  for (const Photo& photo : kPhotos) {
    const std::string path = findPhoto(photo.name);
    cv::Mat image =
        path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
    if (image.empty()) {
      std::printf("skipping %s: %s not found\n", photo.label.c_str(),
                  photo.name.c_str());
      continue;
    }
    photos.emplace_back(photo.label, image);
  }
  for (const auto& [label, image] : photos) {
    const int slowRuns = image.total() > 8000000 ? 1 : 3;
    benchmark::RegisterBenchmark(("StartupPeer/" + label).c_str(),
                                 benchStartupPeer, image)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(slowRuns);
    benchmark::RegisterBenchmark(("Startup/" + label).c_str(), benchStartup,
                                 image, label)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(slowRuns);
    benchmark::RegisterBenchmark(("SnapperModel/" + label).c_str(), benchModel,
                                 image, label)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("CopyTo/" + label).c_str(), benchCopy, image)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("StrokeFirstSolve/" + label).c_str(),
                                 benchStroke, label, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("StrokeNextSolve/" + label).c_str(),
                                 benchStroke, label, false)
        ->Unit(benchmark::kMillisecond);
    for (int added : {2, 3}) {
      benchmark::RegisterBenchmark(
          ("StrokeAdded/" + label + "/label" + std::to_string(added)).c_str(),
          benchStrokeAdded, label, added)
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark(("SharedSuperpixelSolve/" + label).c_str(),
                                 benchSharedSuperpixel, label)
        ->Unit(benchmark::kMillisecond);
  }
  // The 4 MP photo enlarged to 18 MP, whose blurred background stays one
  // superpixel over most of the photo: the split at its largest.
  for (const auto& [label, image] : photos) {
    if (label != "4MP") continue;
    cv::Mat large;
    cv::resize(image, large, cv::Size(5640, 3172), 0, 0, cv::INTER_LINEAR);
    const std::string key = "4MPat18MP";
    benchmark::RegisterBenchmark(("Startup/" + key).c_str(), benchStartup,
                                 large, key)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("StrokeNextSolve/" + key).c_str(),
                                 benchStroke, key, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("SharedSuperpixelSolve/" + key).c_str(),
                                 benchSharedSuperpixel, key)
        ->Unit(benchmark::kMillisecond);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  for (const auto& entry : photos) {
    const std::string& label = entry.first;
    reporter.printRatio(
        "start-up " + label,
        "Startup/" + label + "/iterations:" +
            std::to_string(entry.second.total() > 8000000 ? 1 : 3),
        "StartupPeer/" + label + "/iterations:" +
            std::to_string(entry.second.total() > 8000000 ? 1 : 3),
        0.3);
    reporter.printRatio("first stroke solve+show " + label,
                        "StrokeFirstSolve/" + label, "CopyTo/" + label, 20);
    reporter.printRatio("next stroke solve+show " + label,
                        "StrokeNextSolve/" + label, "CopyTo/" + label, 20);
    for (int added : {2, 3}) {
      reporter.printRatio(
          "added label-" + std::to_string(added) + " stroke " + label,
          "StrokeAdded/" + label + "/label" + std::to_string(added),
          "CopyTo/" + label, 20);
    }
  }
  benchmark::Shutdown();
  return 0;
}
